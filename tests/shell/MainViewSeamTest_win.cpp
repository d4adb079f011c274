// The main window's timer and posting seam on the real window: a numbered
// timer's ticks reach the presenter on the window's thread, work posted
// from another thread runs there in order, and a stopped timer stays
// quiet.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "platform/win/Platform_win.h"
#include "tessaro/app/MainPresenter.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/Resources.h"
#include "tessaro/shell/TessaroDlg_win.h"
#include "tests/shell/WindowReadyBoard_win.h"
#include "tests/support/Wait_win.h"

namespace {

// The window, counting the ticks of each timer on its own thread before
// the presenter sees them. The test's timers are numbered apart from Live
// Update's, which the presenter stops when no download runs.
class CCountingDlg : public CTessaroDlg {
 public:
  using CTessaroDlg::CTessaroDlg;
  unsigned Ticks(int nTimer) const { return m_mapTicks.count(nTimer) ? m_mapTicks.at(nTimer) : 0; }

 protected:
  bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) override {
    if (nMsg == WM_TIMER) ++m_mapTicks[static_cast<int>(wParam)];
    return CTessaroDlg::OnMessage(nMsg, wParam, lParam, pResult);
  }

 private:
  std::map<int, unsigned> m_mapTicks;
};

constexpr int kTimerA = 7;
constexpr int kTimerB = 8;

TEST(MainViewSeam, TimerTicksAndPostedWorkRunOnTheWindowsThread) {
  SPlatform& platform = GetWin32Platform();
  CResources resources(*platform.pModules);
  CNoBoardEngine engine;
  CWindowReadyBoard board;
  CMainPresenter presenter(platform, resources, engine, board);
  CCountingDlg dialog(nullptr, presenter, resources);
  const DWORD dwWindowThread = GetCurrentThreadId();

  std::vector<int> vecOrder;      // written on the window's thread only
  std::vector<DWORD> vecThreads;  // the thread each posted work ran on
  std::atomic<unsigned> nTicksAtStop{0};
  std::atomic<bool> bTicked{false}, bStopped{false}, bOtherTicked{false};
  std::thread worker;

  board.m_fnReady = [&] {
    dialog.StartTimer(kTimerA, 20);
    worker = std::thread([&] {
      // The window counts ticks on its own thread; ask it there.
      auto TicksReach = [&](int nTimer, unsigned nCount, std::atomic<bool>* pbFlag) {
        return WaitFor(
            [&] {
              dialog.PostToWindow([&, nTimer, nCount, pbFlag] {
                if (dialog.Ticks(nTimer) >= nCount) *pbFlag = true;
              });
              return pbFlag->load();
            },
            10000, 10);
      };
      TicksReach(kTimerA, 3, &bTicked);
      for (int n = 1; n <= 3; ++n)
        dialog.PostToWindow([&, n] {
          vecOrder.push_back(n);
          vecThreads.push_back(GetCurrentThreadId());
        });
      // Stop the first timer and let the second tick a few times: any
      // stray tick of the first would have arrived among them.
      dialog.PostToWindow([&] {
        dialog.StopTimer(kTimerA);
        nTicksAtStop = dialog.Ticks(kTimerA);
        bStopped = true;
        dialog.StartTimer(kTimerB, 20);
      });
      TicksReach(kTimerB, 5, &bOtherTicked);
      dialog.PostToWindow([&] { dialog.CloseWindow(); });
    });
  };
  dialog.DoModal();
  worker.join();

  EXPECT_TRUE(bTicked) << "no three ticks of the first timer within 10 s";
  ASSERT_TRUE(bStopped);
  EXPECT_EQ((std::vector<int>{1, 2, 3}), vecOrder);
  for (DWORD dwThread : vecThreads) EXPECT_EQ(dwWindowThread, dwThread);
  EXPECT_EQ(nTicksAtStop.load(), dialog.Ticks(kTimerA)) << "ticks after StopTimer";
  EXPECT_TRUE(bOtherTicked) << "no five ticks of the second timer within 10 s";
}

}  // namespace
