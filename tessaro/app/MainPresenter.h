// The main window without its window: what it shows, which buttons are
// enabled, and the Save BIOS and Update From File workflows. The Win32
// dialog turns messages into calls of this class and this class's view
// calls into control updates.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Ports.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/app/LiveUpdatePresenter.h"
#include "tessaro/app/SettingsPresenter.h"

// What the main window's controls offer the presenter. The display sinks
// are the progress bar, the status line and the percent text.
class IMainView : public IDisplaySinks {
 public:
  virtual WindowRef Handle() const = 0;
  virtual void SetText(int nId, const std::string& strText) = 0;
  virtual void EnableControl(int nId, bool bEnable) = 0;
  virtual void ShowControl(int nId, bool bShow) = 0;
  // Paints the window now (the workflows run on the window's thread).
  virtual void Repaint() = 0;
  // Ends the modal main window (Close); the program then ends.
  virtual void CloseWindow() = 0;
  // Ends the process at once with the exit code.
  virtual void EndProgram(int nExitCode) = 0;
  virtual void ShowAbout() = 0;
  // Run the family's "Advance Setting" dialog modally over the presenter.
  virtual void RunAmiSettings(CAmiSettings* pSettings) = 0;
  virtual void RunAwardSettings(CAwardSettings* pSettings) = 0;
  // Opens an address in the default browser.
  virtual void OpenAddress(const std::string& strAddress) = 0;

  // Numbered timers of the window: after StartTimer, CMainPresenter::OnTimer
  // receives nTimerId every dwIntervalMs on the window's thread until
  // StopTimer. Starting a running timer restarts it; stopping a stopped one
  // does nothing.
  virtual void StartTimer(int nTimerId, uint32_t dwIntervalMs) = 0;
  virtual void StopTimer(int nTimerId) = 0;
  // Runs work on the window's thread, from its message loop, in the order
  // posted. Callable from any thread (a download worker reports this way);
  // work posted after the window is gone is dropped.
  virtual void PostToWindow(std::function<void()> work) = 0;

  // Live Update's dialogs, modal. The BIOS list ("Available BIOS"): the
  // chosen row, or -1 for Quit.
  virtual int ChooseBiosEntry(const std::vector<SBiosListRow>& vecRows) = 0;
  // The download sites ("Available FTP Site"): the chosen one, or -1.
  virtual int ChooseSite(const std::vector<std::string>& vecSites) = 0;
  // The time-out dialog of a stalled download: true when it ended with
  // Wait (the user's, or EndTimeoutDialog's), false for Abort. The
  // window's timers keep running while it is open.
  virtual bool RunTimeoutDialog() = 0;
  // Closes the open time-out dialog as if bKeepWaiting chose Wait.
  virtual void EndTimeoutDialog(bool bKeepWaiting) = 0;
};

// The program's download page, opened by the title button.
extern const char* const g_pszDownloadPage;

class CMainPresenter {
 public:
  CMainPresenter(SPlatform& platform, const CResources& resources, IBiosEngine& engine,
                 IBoardInfo& board);

  // Everything after the controls exist: tool buttons, options from the
  // registry, directories, the family's facts, board identification and
  // the board's restrictions.
  void OnInitDialog(IMainView& view);
  // A command from one of the main window's buttons.
  void OnCommand(IMainView& view, int nId);
  // A tick of one of the window's timers (they belong to Live Update).
  void OnTimer(IMainView& view, int nTimerId);
  // Whether the window may close now (not while a workflow runs).
  bool CanClose() const { return m_bButtonsEnabled; }

  void EnableButtons(IMainView& view, bool bEnable);
  void SetStatus(IMainView& view, uint32_t nStringId);
  void UpdateBios(IMainView& view, bool bFromDownload);
  void SaveBios(IMainView& view, bool bAutomatic);
  bool GetBiosId(std::string* pstrId) const;

  CLiveUpdatePresenter& LiveUpdate() { return m_LiveUpdate; }
  SPlatform& Platform() { return m_platform; }
  const CResources& Resources() const { return m_resources; }
  IBiosEngine& Engine() { return m_engine; }
  IBoardInfo& Board() { return m_board; }
  void SetRebootMessage(const std::string& strText) { m_strRebootMsg = strText; }

  const SUpdateRestrictions& Restrictions() const { return m_restrictions; }
  SUpdateRestrictions& Restrictions() { return m_restrictions; }
  const std::string& RebootMessage() const { return m_strRebootMsg; }
  const std::string& ProgramDir() const { return m_strProgramDir; }
  const std::string& SystemDir() const { return m_strSystemDir; }
  const std::string& TempDir() const { return m_strTempDir; }
  const std::string& InfoDownloadPath() const { return m_strInfoDownloadPath; }
  const std::string& BoardSid() const { return m_strBoardSID; }
  bool IsLiveUpdateRunning() const { return m_LiveUpdate.IsRunning(); }
  CMessageHelper& Messages() { return m_Msg; }

 private:
  void ShowFamilyFacts(IMainView& view);
  void OnSetting(IMainView& view);
  // The AMI engine's check before each operation; false when it failed
  // and the program is ending.
  bool PrepareEngine(IMainView& view);

  SPlatform& m_platform;
  const CResources& m_resources;
  IBiosEngine& m_engine;
  IBoardInfo& m_board;
  CMessageHelper m_Msg;

  std::string m_strTempDir;
  std::string m_strSystemDir;
  std::string m_strProgramDir;
  std::string m_strInfoDownloadPath;
  std::string m_strBoardSID;
  std::string m_strFlashName;
  std::string m_strRebootMsg;
  SUpdateRestrictions m_restrictions;
  bool m_bButtonsEnabled = true;
  CLiveUpdatePresenter m_LiveUpdate;
};

// The pieces of an Award BIOS version text for the labels 1029, 1039 and
// 1044: the text up to and including its last "-", the rest, and the
// board id when the rest ends in "00" (a board-neutral release whose
// variant only the board id tells).
struct SVersionPieces {
  std::string strHead;
  std::string strTail;
  std::string strBoard;
};
SVersionPieces SplitAwardVersion(const std::string& strVersion, const std::string& strBoardSid);
// The text up to and including its last "-" (empty without one).
std::string PrefixThroughLastDash(const std::string& strText);
