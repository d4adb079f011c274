// Fakes of the application's own interfaces: a main window that records
// what the presenter shows, a scripted engine, board and family probe.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/fake/Fakes.h"
#include "tessaro/app/ControlIds.h"
#include "tessaro/app/MainPresenter.h"
#include "tessaro/core/StringTable.h"
#include "tessaro/core/Switches.h"
#include "tessaro/app/TessaroApp.h"
#include "tests/support/ProgramStateScope.h"

class CFakeMainView : public IMainView {
 public:
  std::map<int, std::string> m_mapTexts;
  std::map<int, bool> m_mapEnabled;
  std::map<int, bool> m_mapShown;
  std::vector<std::string> m_vecEvents;  // calls that are not plain state
  int m_nRepaints = 0;
  int m_nExitCode = -1;
  // What the settings dialog's user does: ids clicked, then OK or Cancel.
  std::vector<int> m_vecSettingClicks;
  bool m_bSettingDefault = false;
  bool m_bSettingOk = true;
  // What the settings dialog showed when it opened.
  std::map<int, bool> m_mapSettingChecks, m_mapSettingEnabled, m_mapSettingShown;
  std::map<int, uint32_t> m_mapTimers;  // running timers and their intervals (ms)

  WindowRef Handle() const override { return 0x1234; }
  void SetText(int nId, const std::string& strText) override { m_mapTexts[nId] = strText; }
  void EnableControl(int nId, bool bEnable) override { m_mapEnabled[nId] = bEnable; }
  void ShowControl(int nId, bool bShow) override { m_mapShown[nId] = bShow; }
  void Repaint() override { ++m_nRepaints; }
  void CloseWindow() override { m_vecEvents.push_back("close"); }
  void EndProgram(int nExitCode) override {
    m_nExitCode = nExitCode;
    m_vecEvents.push_back("end");
  }
  void ShowAbout() override { m_vecEvents.push_back("about"); }
  void RunAmiSettings(CAmiSettings* pSettings) override { RunSettings(pSettings, "ami"); }
  void RunAwardSettings(CAwardSettings* pSettings) override { RunSettings(pSettings, "award"); }
  void OpenAddress(const std::string& strAddress) override {
    m_vecEvents.push_back("open " + strAddress);
  }
  void SetProgressRange(int nLower, int nUpper) override {
    m_vecEvents.push_back("range " + std::to_string(nLower) + " " + std::to_string(nUpper));
  }
  void SetProgressPos(int nPos) override {
    m_vecEvents.push_back("progress " + std::to_string(nPos));
  }
  void SetStatusText(const std::string& strText) override { m_mapTexts[IDC_STATUS] = strText; }
  void SetPercentText(const std::string& strText) override { m_mapTexts[IDC_PERCENT] = strText; }
  void StartTimer(int nTimerId, uint32_t dwIntervalMs) override {
    m_mapTimers[nTimerId] = dwIntervalMs;
  }
  void StopTimer(int nTimerId) override { m_mapTimers.erase(nTimerId); }
  void PostToWindow(std::function<void()> work) override {
    std::lock_guard<std::mutex> lock(m_mutexPosted);
    m_vecPosted.push_back(std::move(work));
  }
  // Live Update's dialogs: what they were shown and what the user picks.
  std::vector<std::vector<SBiosListRow>> m_vecBiosLists;
  std::vector<std::vector<std::string>> m_vecSiteLists;
  int m_nBiosChoice = 0;  // -1: Quit
  int m_nSiteChoice = 0;
  // The time-out dialog's user: runs while the dialog is open (it may tick
  // the window's timers) and answers Wait (true) or Abort (false), unless
  // EndTimeoutDialog closed the dialog first.
  std::function<bool()> m_fnTimeoutDialog;
  int m_nTimeoutDialogs = 0;
  bool m_bTimeoutEnded = false;
  bool m_bTimeoutEndedWaiting = false;

  int ChooseBiosEntry(const std::vector<SBiosListRow>& vecRows) override {
    m_vecBiosLists.push_back(vecRows);
    return m_nBiosChoice;
  }
  int ChooseSite(const std::vector<std::string>& vecSites) override {
    m_vecSiteLists.push_back(vecSites);
    return m_nSiteChoice;
  }
  bool RunTimeoutDialog() override {
    ++m_nTimeoutDialogs;
    m_bTimeoutEnded = false;
    const bool bAnswer = m_fnTimeoutDialog ? m_fnTimeoutDialog() : false;
    return m_bTimeoutEnded ? m_bTimeoutEndedWaiting : bAnswer;
  }
  void EndTimeoutDialog(bool bKeepWaiting) override {
    m_bTimeoutEnded = true;
    m_bTimeoutEndedWaiting = bKeepWaiting;
  }

  // The window's message loop: runs what was posted, oldest first.
  size_t RunPosted() {
    std::vector<std::function<void()>> vec;
    {
      std::lock_guard<std::mutex> lock(m_mutexPosted);
      vec.swap(m_vecPosted);
    }
    for (auto& work : vec) work();
    return vec.size();
  }

  bool Enabled(int nId) const {
    auto it = m_mapEnabled.find(nId);
    return it == m_mapEnabled.end() || it->second;
  }

 private:
  std::mutex m_mutexPosted;
  std::vector<std::function<void()>> m_vecPosted;

  class CDialogView : public ISettingsView {
   public:
    std::map<int, bool> mapChecks, mapEnabled, mapShown;
    void SetCheck(int nId, bool b) override { mapChecks[nId] = b; }
    bool GetCheck(int nId) const override {
      auto it = mapChecks.find(nId);
      return it != mapChecks.end() && it->second;
    }
    void EnableControl(int nId, bool b) override { mapEnabled[nId] = b; }
    void ShowControl(int nId, bool b) override { mapShown[nId] = b; }
  };

  template <class T>
  void RunSettings(T* pSettings, const char* pszKind) {
    m_vecEvents.push_back(std::string("settings ") + pszKind);
    CDialogView dialog;
    pSettings->OnInit(dialog);
    m_mapSettingChecks = dialog.mapChecks;
    m_mapSettingEnabled = dialog.mapEnabled;
    m_mapSettingShown = dialog.mapShown;
    if (m_bSettingDefault) pSettings->OnDefault(dialog);
    for (int nId : m_vecSettingClicks) {
      // An auto check box flips its own check before it notifies.
      dialog.mapChecks[nId] = !dialog.GetCheck(nId);
      pSettings->OnClick(dialog, nId);
    }
    if (m_bSettingOk)
      pSettings->OnOk();
    else
      pSettings->OnCancel();
  }
};

class CFakeEngine : public IBiosEngine {
 public:
  EBiosFamily m_eFamily = EBiosFamily::Award;
  std::string m_strVersion = "6A79AM4C-00";
  std::string m_strPartNumber;
  std::string m_strDate = "10/20/2009";
  std::string m_strFlash = "SST 49LF004A";
  std::string m_strBiosId = "6A79AM4C";
  uint32_t m_nPrepareResult = 0;
  uint32_t m_nUpdateResult = 0;
  std::vector<std::string> m_vecCalls;
  FlashOptions m_updateOptions{};
  std::string m_strRebootSeen;
  // Button states the main window had while the engine worked.
  const CFakeMainView* m_pView = nullptr;
  std::vector<bool> m_vecCloseEnabledDuringWork;

  EBiosFamily Family() const override { return m_eFamily; }
  std::string VersionText() const override { return m_strVersion; }
  std::string PartNumberText() const override { return m_strPartNumber; }
  std::string DateText() const override { return m_strDate; }
  std::string FlashPartName() const override { return m_strFlash; }
  bool GetBiosId(std::string* pstrId) const override {
    *pstrId = m_strBiosId;
    return m_eFamily != EBiosFamily::None;
  }
  uint32_t Prepare(IDisplaySinks&) override {
    m_vecCalls.push_back("prepare");
    return m_nPrepareResult;
  }
  bool ChooseOpenFile(WindowRef, std::string* pstrPath) override {
    m_vecCalls.push_back("open-dialog");
    *pstrPath = m_strChosen;
    return !m_strChosen.empty();
  }
  bool ChooseSaveFile(WindowRef, std::string* pstrPath) override {
    m_vecCalls.push_back("save-dialog");
    *pstrPath = m_strChosen;
    return !m_strChosen.empty();
  }
  uint32_t Update(const std::string& strPath, FlashOptions* pOptions, const std::string& strReboot,
                  IDisplaySinks& sinks) override {
    m_vecCalls.push_back("update " + strPath);
    m_updateOptions = *pOptions;
    m_strRebootSeen = strReboot;
    sinks.SetStatusText("BIOS Flash Success!");
    RecordButtons();
    return m_nUpdateResult;
  }
  uint32_t Save(const std::string& strPath, bool bAutomatic, IDisplaySinks&) override {
    m_vecCalls.push_back(std::string(bAutomatic ? "autosave " : "save ") + strPath);
    RecordButtons();
    return 0;
  }
  // The family's loader as a plain read of the file from m_pFiles: the
  // file must have m_nImageSize bytes when that is set.
  CFakeFileSystem* m_pFiles = nullptr;
  size_t m_nImageSize = 0;
  bool SumImageFile(const std::string& strPath, IDisplaySinks&, uint16_t* pwSum) override {
    m_vecCalls.push_back("sum " + strPath);
    if (!m_pFiles) return false;
    auto it = m_pFiles->m_mapFiles.find(strPath);
    if (it == m_pFiles->m_mapFiles.end()) return false;
    if (m_nImageSize && it->second.size() != m_nImageSize) return false;
    uint16_t wSum = 0;
    for (uint8_t by : it->second) wSum = static_cast<uint16_t>(wSum + by);
    *pwSum = wSum;
    return true;
  }
  std::string m_strChosen = "C:\\bios\\new.bin";

 private:
  void RecordButtons() {
    if (m_pView) m_vecCloseEnabledDuringWork.push_back(m_pView->Enabled(IDC_CLOSE));
  }
};

// Live Update's file steps are the real reader's (CBoardInfo, used by the
// flow tests); here they are those of a board without a file.
class CFakeBoardInfo : public CNoBoardInfo {
 public:
  std::string m_strSid = "8089";
  SUpdateRestrictions m_modelFlags;
  SUpdateRestrictions m_fileFlags;
  std::string m_strRebootMessage;
  std::vector<std::string> m_vecCalls;

  std::string IdentifyBoard() override {
    m_vecCalls.push_back("identify");
    return m_strSid;
  }
  void ReadModelFlags(const std::string& strSid, SUpdateRestrictions* pFlags) override {
    m_vecCalls.push_back("model-flags " + strSid);
    *pFlags = m_modelFlags;
  }
  void ReadUpdateFileFlags(SUpdateRestrictions* pFlags, std::string* pstrReboot) override {
    m_vecCalls.push_back("file-flags");
    *pFlags = m_fileFlags;
    *pstrReboot = m_strRebootMessage;
  }
  void EncodeInfoFile(WindowRef) override { m_vecCalls.push_back("encode"); }
  void DecodeInfoFile(WindowRef) override { m_vecCalls.push_back("decode"); }
};

// A platform of fakes with the program's built-in string table; the
// program-wide state is as at program start for its lifetime.
struct SFakePlatform {
  CProgramStateScope state;
  CFakeFileSystem files;
  CFakeRegistry registry;
  CFakeSystem system;
  CFakePowerPort power;
  CFakeModulePort modules;
  CFakeUi ui;
  SPlatform platform;

  SFakePlatform() {
    platform.pFiles = &files;
    platform.pRegistry = &registry;
    platform.pSystem = &system;
    platform.pPower = &power;
    platform.pModules = &modules;
    platform.pUi = &ui;
    platform.pFileDialogs = &ui;
    size_t nCount = 0;
    const SStringEntry* pEntries = GetBuiltinStrings(&nCount);
    for (size_t i = 0; i < nCount; ++i)
      modules.m_mapStrings[CFakeModulePort::kSelf][pEntries[i].nId] = pEntries[i].pszText;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> vec;
    for (const CFakeUi::SBox& box : ui.m_vecBoxes) vec.push_back(box.strText);
    return vec;
  }
};
