// The Live Update download over WinINet against a real FTP server on this
// machine (tests/ftp/ftpserver.py, started by the ftp_server fixture): the
// downloaded file lands on disk through the Win32 file system, message
// boxes and display updates are recorded. The server's first folder picks
// its behaviour: /pub/ sends normally, /drop/ resets the data connection
// half-way, /slow/ sends 64 KiB a second, /pause/ stops after 64 KiB and
// /resume-2/ goes on after two seconds.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fake/Fakes.h"
#include "platform/win/FtpPort_win.h"
#include "platform/win/Platform_win.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/liveupdate/FtpDownloader.h"
#include "tests/support/Wait_win.h"
#include "tests/support/WinePath_win.h"

namespace {

constexpr uint32_t kErrorCannotConnect = 12029;  // WinINet's "connection refused"
constexpr uint32_t kHeldAfter = 64 * 1024;       // bytes /pause/ and /resume-N/ send first

// Where the fixture keeps the server's root and port: a Unix path in the
// environment, reached through Wine's Z: drive.
std::string StateDir() { return WindowsPathFromEnv("TESSARO_FTP_STATE", ""); }

std::string ReadWord(const std::string& strPath) {
  std::ifstream in(strPath);
  std::string str;
  in >> str;
  return str;
}

std::vector<uint8_t> ReadAll(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& strPath) {
  return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Bytes that differ from one 4096-byte block to the next, so that a lost,
// repeated or misplaced block shows.
std::vector<uint8_t> Bytes(size_t nSize, uint32_t dwSeed) {
  std::vector<uint8_t> vec(nSize);
  uint32_t dw = dwSeed * 2654435761u + 1;
  for (uint8_t& by : vec) {
    dw = dw * 1664525u + 1013904223u;
    by = static_cast<uint8_t>(dw >> 24);
  }
  return vec;
}

struct SRecordingSinks : IDisplaySinks {
  std::mutex mutex;  // the download runs on its own thread in some tests
  std::vector<std::string> vecStatus;
  std::string strPercent;
  int nPos = -1;
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int n) override {
    std::lock_guard<std::mutex> lock(mutex);
    nPos = n;
  }
  void SetStatusText(const std::string& str) override {
    std::lock_guard<std::mutex> lock(mutex);
    vecStatus.push_back(str);
  }
  void SetPercentText(const std::string& str) override {
    std::lock_guard<std::mutex> lock(mutex);
    strPercent = str;
  }
  bool SawStatus(const std::string& str) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string& s : vecStatus)
      if (s == str) return true;
    return false;
  }
};

// The WinINet port with its connection attempts counted.
class CCountingFtpPort : public IFtpPort {
 public:
  std::atomic<int> m_nConnects{0};

  std::unique_ptr<IFtpSession> OpenSession(std::function<void(uint32_t)> fnStatus) override {
    std::unique_ptr<IFtpSession> pSession = GetWin32FtpPort().OpenSession(std::move(fnStatus));
    if (!pSession) return nullptr;
    return std::unique_ptr<IFtpSession>(new CSession(*this, std::move(pSession)));
  }

 private:
  class CSession : public IFtpSession {
   public:
    CSession(CCountingFtpPort& port, std::unique_ptr<IFtpSession> pInner)
        : m_port(port), m_pInner(std::move(pInner)) {}
    std::unique_ptr<IFtpConnection> Connect(const std::string& strServer, uint16_t wPort) override {
      ++m_port.m_nConnects;
      return m_pInner->Connect(strServer, wPort);
    }
    uint32_t LastError() const override { return m_pInner->LastError(); }
    std::string ErrorText(uint32_t dwError) override { return m_pInner->ErrorText(dwError); }
    void Autodial() override { m_pInner->Autodial(); }
    void Interrupt() override { m_pInner->Interrupt(); }

   private:
    CCountingFtpPort& m_port;
    std::unique_ptr<IFtpSession> m_pInner;
  };
};

class Win32FtpDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strState = StateDir();
    ASSERT_FALSE(m_strState.empty()) << "TESSARO_FTP_STATE is not set (ctest sets it)";
    m_strPort = ReadWord(m_strState + "\\port");
    ASSERT_FALSE(m_strPort.empty())
        << "no FTP server: the ftp_server fixture writes " << m_strState << "\\port";
    CreateDirectoryA((m_strState + "\\out").c_str(), nullptr);
  }

  // A file on the server, below the folder that picks its behaviour; the
  // FTP path of it.
  std::string Serve(const std::string& strFolder, const std::string& strName,
                    const std::vector<uint8_t>& vecData) {
    const std::string strDir = m_strState + "\\root\\" + strFolder;
    CreateDirectoryA(strDir.c_str(), nullptr);
    std::ofstream out(strDir + "\\" + strName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(vecData.data()),
              static_cast<std::streamsize>(vecData.size()));
    return "/" + strFolder + "/" + strName;
  }
  std::string Url(const std::string& strPath, const std::string& strPort = "") const {
    return "ftp://127.0.0.1:" + (strPort.empty() ? m_strPort : strPort) + strPath;
  }
  std::string Target(const std::string& strName) const { return m_strState + "\\out\\" + strName; }

  CFtpDownloader& Make(const std::string& strUrl, const std::string& strTarget) {
    DeleteFileA(strTarget.c_str());
    m_pDownloader.reset(new CFtpDownloader(m_ftp, *m_platform.pFiles, m_messages, m_resources,
                                           m_sinks, strUrl, strTarget));
    return *m_pDownloader;
  }
  // One download to its end, on this thread.
  CFtpDownloader& Run(const std::string& strUrl, const std::string& strTarget) {
    CFtpDownloader& download = Make(strUrl, strTarget);
    download.Run();
    EXPECT_TRUE(download.IsThreadDone());
    return download;
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> vec;
    for (const CFakeUi::SBox& box : m_ui.m_vecBoxes) vec.push_back(box.strText);
    return vec;
  }

  std::string m_strState;
  std::string m_strPort;
  SPlatform& m_platform = GetWin32Platform();
  CCountingFtpPort m_ftp;
  CFakeUi m_ui;
  CResources m_resources{*m_platform.pModules};
  CMessageHelper m_messages{m_resources, m_ui};
  SRecordingSinks m_sinks;
  std::unique_ptr<CFtpDownloader> m_pDownloader;
};

TEST_F(Win32FtpDownload, WholeFilesArriveIntact) {
  // Exactly 4096 x k bytes ends with one read of nothing; an empty file is
  // that read alone.
  const size_t aSizes[] = {512 * 1024, 4096 * 13, 0, 4097};
  for (size_t nSize : aSizes) {
    const std::string strName = "whole-" + std::to_string(nSize) + ".bin";
    const std::vector<uint8_t> vecData = Bytes(nSize, static_cast<uint32_t>(nSize));
    const std::string strPath = Serve("pub", strName, vecData);
    CFtpDownloader& download = Run(Url(strPath), Target(strName));
    EXPECT_TRUE(download.IsSucceeded()) << nSize;
    EXPECT_FALSE(download.IsFailed()) << nSize;
    EXPECT_FALSE(download.IsAbortRequested()) << nSize;
    EXPECT_EQ(nSize, download.GetTotalSize());
    EXPECT_EQ(nSize, download.GetBytesRead());
    EXPECT_TRUE(vecData == ReadAll(Target(strName))) << nSize;
    EXPECT_EQ("100%", m_sinks.strPercent) << nSize;
  }
  EXPECT_EQ(std::vector<std::string>(), Boxes());
  EXPECT_EQ(4, m_ftp.m_nConnects.load());
  // WinINet's status reports reach the status line as texts.
  EXPECT_TRUE(m_sinks.SawStatus("Connecting to server..."));
  EXPECT_TRUE(m_sinks.SawStatus("Connected to server!"));
}

TEST_F(Win32FtpDownload, AddressWithoutSchemeIsFtp) {
  const std::vector<uint8_t> vecData = Bytes(10000, 7);
  const std::string strPath = Serve("pub", "noscheme.bin", vecData);
  CFtpDownloader& download = Run("127.0.0.1:" + m_strPort + strPath, Target("noscheme.bin"));
  EXPECT_TRUE(download.IsSucceeded());
  EXPECT_TRUE(vecData == ReadAll(Target("noscheme.bin")));
}

TEST_F(Win32FtpDownload, MissingFileIsReportedAsNotFound) {
  Serve("pub", "present.bin", Bytes(100, 1));  // the folder exists, the file does not
  CFtpDownloader& download = Run(Url("/pub/absent.bin"), Target("absent.bin"));
  EXPECT_EQ(std::vector<std::string>{"Cannot find the selected file.\nPlease retry later."},
            Boxes());
  ASSERT_EQ(1u, m_ui.m_vecBoxes.size());
  EXPECT_EQ("Tessaro (Download)", m_ui.m_vecBoxes[0].strCaption);
  EXPECT_TRUE(download.IsSucceeded());
  EXPECT_TRUE(download.IsFailed());
  EXPECT_FALSE(download.IsTransferring());
  EXPECT_FALSE(FileExists(Target("absent.bin")));
}

TEST_F(Win32FtpDownload, DroppedDataConnectionFailsAndKeepsThePart) {
  const size_t nSize = 512 * 1024;
  const std::vector<uint8_t> vecData = Bytes(nSize, 3);
  CFtpDownloader& download = Run(Url(Serve("drop", "dropped.bin", vecData)), Target("dropped.bin"));
  EXPECT_TRUE(download.IsFailed());
  EXPECT_FALSE(download.IsSucceeded());
  EXPECT_FALSE(download.IsAbortRequested());
  EXPECT_EQ(nSize / 2, download.GetBytesRead());
  // What arrived is on disk, and it is the start of the file.
  const std::vector<uint8_t> vecPart = ReadAll(Target("dropped.bin"));
  EXPECT_EQ(download.GetBytesRead(), vecPart.size());
  EXPECT_TRUE(std::equal(vecPart.begin(), vecPart.end(), vecData.begin()));
  EXPECT_EQ(std::vector<std::string>(), Boxes());
}

TEST_F(Win32FtpDownload, RefusedConnectionIsTriedThreeTimesThenAborted) {
  const std::string strRefused = ReadWord(m_strState + "\\refused-port");
  ASSERT_FALSE(strRefused.empty());
  CFtpDownloader& download = Run(Url("/pub/any.bin", strRefused), Target("refused.bin"));
  EXPECT_EQ(3, m_ftp.m_nConnects.load());
  EXPECT_TRUE(download.IsAbortRequested());
  EXPECT_FALSE(download.IsSucceeded());
  // The system's text for the failure (WinINet's "cannot connect"), or the
  // program's own when the system has none; then the abort.
  std::unique_ptr<IFtpSession> pSession = GetWin32FtpPort().OpenSession(nullptr);
  ASSERT_TRUE(pSession);
  std::string strError = pSession->ErrorText(kErrorCannotConnect);
  std::printf("error text of %u: \"%s\"\n", kErrorCannotConnect, strError.c_str());
  if (strError.empty()) strError = m_resources.GetString(kMsgNoInternetSession);
  EXPECT_EQ((std::vector<std::string>{strError, "Download Abort!"}), Boxes());
  for (const CFakeUi::SBox& box : m_ui.m_vecBoxes) EXPECT_EQ("Tessaro (Download)", box.strCaption);
  EXPECT_FALSE(FileExists(Target("refused.bin")));
}

TEST_F(Win32FtpDownload, TransferGoesOnAfterTheServerPaused) {
  const std::vector<uint8_t> vecData = Bytes(256 * 1024, 5);
  CFtpDownloader& download =
      Run(Url(Serve("resume-2", "resumed.bin", vecData)), Target("resumed.bin"));
  EXPECT_TRUE(download.IsSucceeded());
  EXPECT_FALSE(download.IsFailed());
  EXPECT_TRUE(vecData == ReadAll(Target("resumed.bin")));
}

TEST_F(Win32FtpDownload, StopDuringTheTransferKeepsThePartAndSaysSo) {
  // 64 KiB a second: the stop comes while most of the file is still due.
  const std::vector<uint8_t> vecData = Bytes(512 * 1024, 9);
  CFtpDownloader& download =
      Make(Url(Serve("slow", "stopped.bin", vecData)), Target("stopped.bin"));
  ASSERT_TRUE(download.Start(GetWin32ThreadPort()));
  EXPECT_TRUE(WaitFor([&download]() { return download.GetBytesRead() >= 16 * 1024; }, 10000));
  download.RequestAbort();
  // The transfer ends before its next read, silently: the owner that
  // stopped it reports the abort when it deletes the download.
  EXPECT_TRUE(WaitFor([&download]() { return download.IsThreadDone(); }, 10000));
  EXPECT_EQ(std::vector<std::string>(), Boxes());
  EXPECT_TRUE(download.IsAbortRequested());
  EXPECT_FALSE(download.IsSucceeded());
  EXPECT_FALSE(download.IsFailed());
  const uint32_t dwBytes = download.GetBytesRead();
  EXPECT_LT(dwBytes, vecData.size());
  m_pDownloader.reset();
  EXPECT_EQ(std::vector<std::string>{"Download Abort!"}, Boxes());
  const std::vector<uint8_t> vecPart = ReadAll(Target("stopped.bin"));
  EXPECT_EQ(dwBytes, vecPart.size());
  EXPECT_TRUE(std::equal(vecPart.begin(), vecPart.end(), vecData.begin()));
}

TEST_F(Win32FtpDownload, StalledTransferIsStoppedWithinTheBoundedWait) {
  // The server holds the transfer after 64 KiB; the worker sits in a read
  // that only closing its session (or ending the thread) can end.
  const std::vector<uint8_t> vecData = Bytes(512 * 1024, 15);
  CFtpDownloader& download =
      Make(Url(Serve("pause", "stalled.bin", vecData)), Target("stalled.bin"));
  ASSERT_TRUE(download.Start(GetWin32ThreadPort()));
  EXPECT_TRUE(WaitFor([&download]() { return download.GetBytesRead() >= kHeldAfter; }, 10000));
  EXPECT_FALSE(WaitFor([&download]() { return download.IsThreadDone(); }, 500))
      << "the transfer did not stall";
  download.RequestAbort();
  const DWORD dwStart = GetTickCount();
  m_pDownloader.reset();
  const DWORD dwStopMs = GetTickCount() - dwStart;
  std::printf("stalled download stopped in %lu ms\n", static_cast<unsigned long>(dwStopMs));
  EXPECT_LT(dwStopMs, CFtpDownloader::kStopWaitMs + 3000);
  EXPECT_EQ(std::vector<std::string>{"Download Abort!"}, Boxes());
  EXPECT_TRUE(FileExists(Target("stalled.bin")));

  // The program goes on: the next download works.
  const std::vector<uint8_t> vecNext = Bytes(100000, 17);
  CFtpDownloader& next = Run(Url(Serve("pub", "next.bin", vecNext)), Target("next.bin"));
  EXPECT_TRUE(next.IsSucceeded());
  EXPECT_TRUE(vecNext == ReadAll(Target("next.bin")));
}

// A read of the stalled /pause/ transfer, on a thread of its own.
struct SStalledRead {
  IFtpFile* pFile = nullptr;
  std::atomic<uint32_t> dwBytes{0};
  std::atomic<int> nReads{0};       // reads begun
  std::atomic<bool> bEnded{false};  // the loop ended (a read failed or returned nothing)
  std::atomic<bool> bFailed{false};

  static DWORD WINAPI Main(LPVOID pv) {
    SStalledRead& read = *static_cast<SStalledRead*>(pv);
    std::vector<uint8_t> vec(4096);
    for (;;) {
      uint32_t n = 0;
      ++read.nReads;
      if (!read.pFile->Read(vec.data(), 4096, &n)) {
        read.bFailed = true;
        break;
      }
      if (n == 0) break;
      read.dwBytes += n;
    }
    read.bEnded = true;
    return 0;
  }
};

TEST_F(Win32FtpDownload, InterruptEndsTheSessionOfAStalledTransfer) {
  const std::string strPath = Serve("pause", "held.bin", Bytes(512 * 1024, 11));
  std::unique_ptr<IFtpSession> pSession = GetWin32FtpPort().OpenSession(nullptr);
  ASSERT_TRUE(pSession);
  std::unique_ptr<IFtpConnection> pConnection =
      pSession->Connect("127.0.0.1", static_cast<uint16_t>(std::stoi(m_strPort)));
  ASSERT_TRUE(pConnection) << pSession->LastError();
  uint64_t qwSize = 0;
  ASSERT_TRUE(pConnection->FindFile(strPath, &qwSize));
  EXPECT_EQ(512u * 1024, qwSize);
  std::unique_ptr<IFtpFile> pFile = pConnection->OpenFile(strPath);
  ASSERT_TRUE(pFile);

  SStalledRead read;
  read.pFile = pFile.get();
  HANDLE hThread = CreateThread(nullptr, 0, SStalledRead::Main, &read, 0, nullptr);
  ASSERT_TRUE(hThread != nullptr);
  // The server's first 64 KiB arrive, then the next read waits for data
  // that does not come.
  EXPECT_TRUE(WaitFor([&read]() { return read.dwBytes >= kHeldAfter || read.bEnded; }, 10000));
  EXPECT_EQ(kHeldAfter, read.dwBytes.load());
  EXPECT_FALSE(WaitFor([&read]() { return read.bEnded.load(); }, 500)) << "the read did not stall";

  pSession->Interrupt();
  const bool bReturned = WaitForSingleObject(hThread, 3000) == WAIT_OBJECT_0;
  // Windows ends the blocked read when its handles close; Wine has been
  // seen to leave it blocked, where only ending the thread helps.
  if (!bReturned) TerminateThread(hThread, 1);
  WaitForSingleObject(hThread, 5000);
  CloseHandle(hThread);
  std::printf("interrupt of a stalled read: %s\n",
              bReturned ? "the read returned" : "the read stayed blocked; thread terminated");
  RecordProperty("interrupt_ended_blocked_read", bReturned ? "yes" : "no");
  if (bReturned) {
    EXPECT_TRUE(read.bFailed) << "an interrupted read must not look like the end";
  }

  // Everything after the interrupt fails, at once.
  uint32_t n = 0;
  uint8_t aBuffer[16];
  EXPECT_FALSE(pFile->Read(aBuffer, sizeof(aBuffer), &n));
  EXPECT_FALSE(pConnection->FindFile(strPath, &qwSize));
  EXPECT_FALSE(pConnection->OpenFile(strPath));
  EXPECT_FALSE(pSession->Connect("127.0.0.1", static_cast<uint16_t>(std::stoi(m_strPort))));
  pSession->Interrupt();  // a second time is harmless
  pFile.reset();
  pConnection.reset();
  pSession.reset();

  // The program goes on: a new download works.
  const std::vector<uint8_t> vecData = Bytes(100000, 13);
  CFtpDownloader& download = Run(Url(Serve("pub", "after.bin", vecData)), Target("after.bin"));
  EXPECT_TRUE(download.IsSucceeded());
  EXPECT_TRUE(vecData == ReadAll(Target("after.bin")));
}

}  // namespace
