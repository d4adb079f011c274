// Live Update as the main window drives it: the one-click and the
// step-by-step buttons, Stop, and the window's timers that watch a
// download running beside the window's thread. The transfers themselves
// and the choice of BIOS belong to the Live Update engine; this class owns
// the window's side of the flow: whether an update is running (which keeps
// Stop enabled while the other buttons are not) and which mode it runs in.
#pragma once

#include <cstdint>

class CMainPresenter;
class IMainView;

// The window's timers, each polling at kLiveUpdateTickMs.
constexpr int kTimerInfoDownload = 1;  // the information file's download
constexpr int kTimerBiosDownload = 2;  // the BIOS image's download
constexpr int kTimerStallDialog = 3;   // the stalled-transfer dialog's watch
constexpr unsigned kLiveUpdateTickMs = 100;

// A transfer that stops moving: each tick of a download's timer compares
// the bytes read with the previous tick; kStallTicks ticks without a change
// (180 s at 100 ms) mean the server has stalled and the time-out dialog
// asks the user. Ticks before the byte transfer has begun (connecting)
// count nothing: the connection has no time-out of its own here. Each
// download timer keeps its own watch.
class CStallWatch {
 public:
  static constexpr unsigned kStallTicks = 1800;

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

class CLiveUpdatePresenter {
 public:
  // main is the window's presenter, whose save and update workflows a
  // finished download hands over to.
  explicit CLiveUpdatePresenter(CMainPresenter& main) : m_main(main) {}
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
  // Ticks each timer has received (what the download watch counts).
  unsigned Ticks(int nTimerId) const;

 private:
  CMainPresenter& m_main;
  bool m_bLiveUpdate = false;
  bool m_bOneClick = false;
  unsigned m_anTicks[3] = {0, 0, 0};
};
