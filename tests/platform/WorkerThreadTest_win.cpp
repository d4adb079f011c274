// Worker threads of the system, and a download whose server stops sending
// inside a read that nothing interrupts: deleting the download must end
// the worker by force within its bounded wait, report the abort once and
// leave the program able to start the next download.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "platform/ThreadPort.h"
#include "platform/fake/FakeFtpPort.h"
#include "platform/fake/Fakes.h"
#include "platform/win/Platform_win.h"
#include "tessaro/liveupdate/FtpDownloader.h"
#include "tests/support/BuiltinStrings.h"
#include "tests/support/Wait_win.h"

namespace {

TEST(Win32WorkerThread, WaitsWithATimeLimitAndEndsAStuckThread) {
  HANDLE hRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> bEnded{false};
  std::unique_ptr<IWorkerThread> pThread = GetWin32ThreadPort().Start([&] {
    WaitForSingleObject(hRelease, INFINITE);
    bEnded = true;
  });
  ASSERT_TRUE(pThread);
  EXPECT_FALSE(pThread->Wait(50));
  EXPECT_TRUE(pThread->Terminate());
  EXPECT_TRUE(pThread->Wait(0));
  EXPECT_FALSE(bEnded);

  std::unique_ptr<IWorkerThread> pQuick = GetWin32ThreadPort().Start([&] { bEnded = true; });
  EXPECT_TRUE(pQuick->Wait(5000));
  EXPECT_TRUE(bEnded);
  CloseHandle(hRelease);
}

struct SNoSinks : IDisplaySinks {
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int) override {}
  void SetStatusText(const std::string&) override {}
  void SetPercentText(const std::string&) override {}
};

TEST(Win32WorkerThread, DeletingADownloadStuckInAReadEndsItsWorker) {
  CFakeModulePort modules;
  UseBuiltinStrings(&modules);
  CResources resources(modules);
  CFakeUi ui;
  CMessageHelper messages(resources, ui);
  CFakeFileSystem files;
  SNoSinks sinks;
  CFakeFtpPort ftp;
  ftp.m_mapFiles["/pub/bios.rom"] = std::vector<uint8_t>(64 * 1024, 0x5A);
  // After 8 KB the server goes quiet and the read never returns, whatever
  // happens to the session (as a stalled WinINet read under Wine).
  HANDLE hNever = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ftp.m_fnBeforeRead = [hNever](uint64_t qwSent) {
    if (qwSent >= 8192) WaitForSingleObject(hNever, INFINITE);
  };
  std::unique_ptr<CFtpDownloader> pDownload(new CFtpDownloader(
      ftp, files, messages, resources, sinks, "ftp://ftp.example.com/pub/bios.rom", "C:\\t.bin"));
  ASSERT_TRUE(pDownload->Start(GetWin32ThreadPort()));
  ASSERT_TRUE(WaitFor([&] { return pDownload->GetBytesRead() >= 8192; }, 5000, 5));

  pDownload->RequestAbort();
  const DWORD dwStart = GetTickCount();
  pDownload.reset();
  const DWORD dwTook = GetTickCount() - dwStart;
  EXPECT_GE(dwTook, CFtpDownloader::kStopWaitMs - 100);
  EXPECT_LT(dwTook, CFtpDownloader::kStopWaitMs + 3000);
  EXPECT_EQ(1, ftp.m_nInterrupts.load());
  ASSERT_EQ(1u, ui.m_vecBoxes.size());
  EXPECT_EQ("Download Abort!", ui.m_vecBoxes[0].strText);
  EXPECT_EQ(8192u, files.m_mapFiles["C:\\t.bin"].size());

  // The next download runs as if nothing had happened.
  ftp.m_fnBeforeRead = nullptr;
  ftp.m_bInterrupted = false;
  CFtpDownloader next(ftp, files, messages, resources, sinks, "ftp://ftp.example.com/pub/bios.rom",
                      "C:\\u.bin");
  ASSERT_TRUE(next.Start(GetWin32ThreadPort()));
  ASSERT_TRUE(WaitFor([&] { return next.IsThreadDone(); }, 5000, 5));
  EXPECT_TRUE(next.IsSucceeded());
  EXPECT_EQ(64u * 1024, files.m_mapFiles["C:\\u.bin"].size());
  CloseHandle(hNever);
}

}  // namespace
