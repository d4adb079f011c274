// One file fetched from the maker's FTP server for Live Update: the URL is
// split and checked, the server connected (three attempts), the file's
// listed size taken, and its bytes copied into the target file in reads of
// 4096 bytes with progress on the window's sinks. Run() is the transfer
// itself, the worker thread's body once Start has begun it; the flags are
// read by the window's timer while it runs, so they are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/FtpPort.h"
#include "platform/Ports.h"
#include "platform/ThreadPort.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"

constexpr uint32_t kMsgNoFileOnServer = 778;
constexpr uint32_t kMsgNoInternetSession = 779;
constexpr uint32_t kMsgDownloadAbort = 780;
constexpr uint32_t kMsgNotFtpUrl = 799;

// The parts of an FTP address: "ftp://server[:port]/path".
struct SFtpUrl {
  std::string strServer;
  uint16_t wPort = 21;
  std::string strPath;  // from the first "/" after the server
};
// Splits an address; a text without a scheme is read as if "ftp://" stood
// in front. False (*pbNotFtp set) for another scheme or an empty server.
bool ParseFtpUrl(const std::string& strUrl, SFtpUrl* pUrl, bool* pbNotFtp);

// The status texts of the session's status codes; empty for others.
std::string FtpStatusText(const CResources& resources, uint32_t dwStatus);

class CFtpDownloader {
 public:
  static constexpr uint32_t kChunk = 4096;

  // How long deleting a running download waits for its worker once the
  // session's handles are closed, before it ends the thread by force.
  static constexpr uint32_t kStopWaitMs = 2000;

  CFtpDownloader(IFtpPort& ftp, IFileSystem& files, CMessageHelper& messages,
                 const CResources& resources, IDisplaySinks& sinks, std::string strUrl,
                 std::string strTarget);
  // A download still running is stopped: the abort flag set, the session
  // interrupted so that a blocked call returns, a bounded wait, and only
  // then the worker ended by force (a read stalled inside the system may
  // never return). When the owner had asked for the abort while the worker
  // still ran, "Download Abort!" is shown here, once, on the owner's thread.
  ~CFtpDownloader();
  CFtpDownloader(const CFtpDownloader&) = delete;
  CFtpDownloader& operator=(const CFtpDownloader&) = delete;

  // Runs the transfer on a worker thread; false when none could be started
  // (the download then ends at once as failed).
  bool Start(IThreadPort& threads);
  // The whole transfer; ends with the thread-done flag set.
  void Run();
  // The owner's Stop: the transfer ends before its next read. The worker
  // then stays silent; deleting the downloader reports the abort.
  void RequestAbort();

  uint32_t GetBytesRead() const { return m_dwBytesRead; }
  uint32_t GetTotalSize() const { return m_dwTotalSize; }
  bool IsTransferring() const { return m_bTransferring; }
  bool IsAbortRequested() const { return m_bAbort; }
  bool IsSucceeded() const { return m_bSucceeded; }
  bool IsFailed() const { return m_bFailed; }
  bool IsThreadDone() const { return m_bThreadDone; }

 private:
  void Download();
  void Transfer(IFtpConnection& connection, const std::string& strPath);
  void ShowError(uint32_t nId);
  void ShowError(const std::string& strText);
  void SetSession(std::unique_ptr<IFtpSession> pSession);

  IFtpPort& m_ftp;
  IFileSystem& m_files;
  CMessageHelper& m_Msg;
  const CResources& m_resources;
  IDisplaySinks& m_sinks;
  std::string m_strUrl;
  std::string m_strTarget;
  // The session is created and dropped by the worker and interrupted by
  // the owner's thread: m_mutexSession guards the pointer.
  std::mutex m_mutexSession;
  std::unique_ptr<IFtpSession> m_pSession;
  std::unique_ptr<IWorkerThread> m_pThread;
  // Set while the owner stops the worker: the worker shows nothing more.
  std::atomic<bool> m_bClosing{false};
  // The owner asked for the abort while the worker still ran.
  std::atomic<bool> m_bOwnerAbort{false};
  std::atomic<uint32_t> m_dwTotalSize{0};
  std::atomic<uint32_t> m_dwBytesRead{0};
  std::atomic<bool> m_bAbort{false};
  std::atomic<bool> m_bSucceeded{false};
  std::atomic<bool> m_bFailed{false};
  std::atomic<bool> m_bTransferring{false};
  std::atomic<bool> m_bThreadDone{false};
};
