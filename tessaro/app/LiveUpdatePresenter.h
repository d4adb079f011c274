// Live Update as the main window drives it: the one-click and the
// step-by-step buttons, Stop, and the window's timers that watch a
// download running beside the window's thread. The transfers, the
// information file and the BIOS families' loaders belong to the engines;
// this class owns the window's side of the flow: whether an update is
// running (which keeps Stop enabled while the other buttons are not),
// which mode it runs in, the running download and its stall watch, and the
// choice of BIOS file and site.
//
// The flow: information file (timer 1) -> its checks and the update list ->
// BIOS and site choice -> BIOS file (timer 2) -> its checksum -> backup ->
// flash. Every failure ends with the buttons enabled; Stop ends either
// download.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Ports.h"
#include "tessaro/core/BiosEngine.h"

class CFtpDownloader;
class CMainPresenter;
class IMainView;

// The window's timers, each polling at kLiveUpdateTickMs.
constexpr int kTimerInfoDownload = 1;  // the information file's download
constexpr int kTimerBiosDownload = 2;  // the BIOS image's download
constexpr int kTimerStallDialog = 3;   // the stalled-transfer dialog's watch
constexpr unsigned kLiveUpdateTickMs = 100;

// String ids of the flow.
constexpr uint32_t kStrInfoUrl = 606;      // the information file, public server
constexpr uint32_t kStrBetaInfoUrl = 607;  // the same on the beta server ("-beta")
constexpr uint32_t kStrDownloadingInfo = 723;
constexpr uint32_t kStrDownloadingBios = 724;
constexpr uint32_t kMsgChecksumError = 765;
constexpr uint32_t kMsgProgramTooOld = 796;
constexpr uint32_t kMsgAskDownload = 652;

// Where Live Update fetches from: a string value of the program's options
// key, "host" or "host:port", that replaces the host of the built-in
// information-file addresses (a local mirror, a test server). The sites of
// the BIOS files come from the information file itself.
constexpr const char* kLiveUpdateServerValue = "LiveUpdateServer";

// Still ticks of a running transfer before the time-out dialog asks: 1800
// (180 s at 100 ms). A build may set TESSARO_STALL_TICKS to shorten it;
// the Windows test builds do, so that a paused server raises the dialog
// within seconds.
#ifndef TESSARO_STALL_TICKS
#define TESSARO_STALL_TICKS 1800
#endif

// A transfer that stops moving: each tick of a download's timer compares
// the bytes read with the previous tick; kStallTicks ticks without a change
// mean the server has stalled and the time-out dialog asks the user. Ticks
// before the byte transfer has begun (connecting) count nothing: the
// connection has no time-out of its own here. Each download timer keeps
// its own watch.
class CStallWatch {
 public:
  static constexpr unsigned kStallTicks = TESSARO_STALL_TICKS;

  // One tick; true when this tick completes a stall (the count starts over
  // and the byte count is remembered for HasResumed).
  bool Tick(bool bTransferring, uint32_t dwBytesRead);
  // While the dialog is open: data has arrived since the stall.
  bool HasResumed(uint32_t dwBytesRead) const { return dwBytesRead > m_dwAtStall; }
  void Reset() { *this = CStallWatch(); }
  unsigned StillTicks() const { return m_nStillTicks; }

 private:
  bool m_bSeen = false;
  uint32_t m_dwLast = 0;
  uint32_t m_dwAtStall = 0;
  unsigned m_nStillTicks = 0;
};

// One row of the BIOS list dialog: fields 1, 3 and 4 of an entry.
struct SBiosListRow {
  std::string strFile;
  std::string strDate;
  std::string strNotes;
};

// The four comma-separated fields of a BIOS entry: file name, checksum
// (hexadecimal), build date and release notes (which may hold commas).
struct SBiosEntry {
  std::string strFile;
  uint16_t wChecksum = 0;
  std::string strDate;
  std::string strNotes;
};
SBiosEntry ParseBiosEntry(const std::string& strEntry);

// The built-in address with its host replaced by strServer ("host" or
// "host:port"); the address unchanged when strServer is empty.
std::string WithServer(const std::string& strUrl, const std::string& strServer);

class CLiveUpdatePresenter {
 public:
  // main is the window's presenter, whose save and update workflows a
  // finished download hands over to.
  explicit CLiveUpdatePresenter(CMainPresenter& main);
  ~CLiveUpdatePresenter();
  CLiveUpdatePresenter(const CLiveUpdatePresenter&) = delete;
  CLiveUpdatePresenter& operator=(const CLiveUpdatePresenter&) = delete;

  // Buttons 1001 (one click), 1002 (step by step) and 1018 (Stop).
  void OnOneClick(IMainView& view);
  void OnStepByStep(IMainView& view);
  void OnStop(IMainView& view);
  // A tick of timer 1, 2 or 3; other timers are not Live Update's.
  void OnTimer(IMainView& view, int nTimerId);

  // The update-running flag: while set, disabling the buttons enables Stop.
  bool IsRunning() const { return m_bLiveUpdate; }
  void SetRunning(bool bRunning) { m_bLiveUpdate = bRunning; }
  // True for the one-click mode, false for step by step.
  bool IsOneClick() const { return m_bOneClick; }
  bool IsDownloading() const { return m_pDownload != nullptr; }
  // The information file's address: 606, or 607 with "-beta", with the
  // registry's server when one is set.
  std::string InfoFileUrl() const;
  // What the last choice set: the BIOS file's address and checksum.
  const std::string& DownloadUrl() const { return m_strDownloadUrl; }
  uint16_t RomChecksum() const { return m_wRomChecksum; }

 private:
  class CWindowSinks;

  void Begin(IMainView& view);
  void StartInfoDownload(IMainView& view);
  void StartBiosDownload(IMainView& view);
  void StartDownload(IMainView& view, const std::string& strUrl, const std::string& strTarget,
                     int nTimerId);
  // Ends the running download as Stop does.
  void StopDownload(IMainView& view);
  void ResetProgress(IMainView& view);
  void End(IMainView& view);
  void OnStall(IMainView& view, int nTimerId);
  void AfterInfoDownload(IMainView& view);
  void AfterBiosDownload(IMainView& view);
  bool ChooseDownload(IMainView& view, const std::vector<std::string>& vecEntries);

  CMainPresenter& m_main;
  bool m_bLiveUpdate = false;
  bool m_bOneClick = false;
  std::unique_ptr<CWindowSinks> m_pSinks;
  std::unique_ptr<CFtpDownloader> m_pDownload;
  int m_nDownloadTimer = 0;
  CStallWatch m_stall;
  bool m_bStallDialogOpen = false;
  std::string m_strDownloadUrl;
  uint16_t m_wRomChecksum = 0;
};
