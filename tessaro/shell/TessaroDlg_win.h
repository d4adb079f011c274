// The main window: a skinned dialog whose controls show what the main
// window presenter decides. Messages become presenter calls; presenter
// calls become control updates.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "tessaro/app/MainPresenter.h"
#include "tessaro/shell/SkinControls_win.h"
#include "tessaro/shell/TimeoutDlg_win.h"

class CTessaroDlg : public CSkinDialog, public IMainView {
 public:
  CTessaroDlg(HWND hParent, CMainPresenter& presenter, const CResources& resources);
  ~CTessaroDlg() override;

  // IMainView
  WindowRef Handle() const override { return reinterpret_cast<WindowRef>(m_hWnd); }
  void SetText(int nId, const std::string& strText) override;
  void EnableControl(int nId, bool bEnable) override;
  void ShowControl(int nId, bool bShow) override;
  void Repaint() override;
  void CloseWindow() override;
  void EndProgram(int nExitCode) override;
  void ShowAbout() override;
  void RunAmiSettings(CAmiSettings* pSettings) override;
  void RunAwardSettings(CAwardSettings* pSettings) override;
  void OpenAddress(const std::string& strAddress) override;
  void SetProgressRange(int nLower, int nUpper) override;
  void SetProgressPos(int nPos) override;
  void SetStatusText(const std::string& strText) override;
  void SetPercentText(const std::string& strText) override;
  void StartTimer(int nTimerId, uint32_t dwIntervalMs) override;
  void StopTimer(int nTimerId) override;
  void PostToWindow(std::function<void()> work) override;
  int ChooseBiosEntry(const std::vector<SBiosListRow>& vecRows) override;
  int ChooseSite(const std::vector<std::string>& vecSites) override;
  bool RunTimeoutDialog() override;
  void EndTimeoutDialog(bool bKeepWaiting) override;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int nId, int nCode) override;
  bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) override;

 private:
  void CreateLabels();
  void PlaceButtons();
  // Lines the three version pieces up one after the other.
  void LayOutVersion();
  // The value font, or a size smaller for a text too wide for it (the
  // longest flash part names), so that the text shows whole.
  void FitValueFont(int nId);
  // Runs the work PostToWindow queued, oldest first.
  void RunPostedWork();

  CMainPresenter& m_presenter;
  const CResources& m_resources;
  CSkinButton m_aButtons[9];
  HFONT m_hTitleFont = nullptr;
  HFONT m_hCaptionFont = nullptr;
  HFONT m_hValueFont = nullptr;
  HFONT m_hNarrowValueFont = nullptr;
  HFONT m_hStatusFont = nullptr;
  HICON m_hIcon = nullptr;
  // Work posted from other threads; guarded by m_mutexPosted.
  std::mutex m_mutexPosted;
  std::deque<std::function<void()>> m_queuePosted;
  // The time-out dialog while it is open.
  CTimeoutDlg* m_pTimeoutDlg = nullptr;
};
