#include "platform/win/FtpPort_win.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cctype>
#include <utility>

namespace {

// The context every handle below the session carries: WinINet reports
// status only for handles whose context is not 0.
constexpr DWORD_PTR kContext = 1;

// What a session shares with its connections and files. A connection or a
// file may outlive the session object (the caller drops them in any
// order), so they hold this, not the session.
struct SSessionState {
  // The root handle; null once it was closed. Closing the root closes
  // every handle below it, so the others are only closed while it lives.
  std::atomic<HINTERNET> hRoot{nullptr};
  // Off once the session is interrupted or destroyed: whatever WinINet
  // still reports then must not reach the caller's sinks.
  std::atomic<bool> bReportStatus{true};
  std::function<void(uint32_t)> fnStatus;

  bool IsOpen() const { return hRoot.load() != nullptr; }
  // Closes the root exactly once, whichever thread comes first.
  void CloseRoot() {
    HINTERNET h = hRoot.exchange(nullptr);
    if (h) InternetCloseHandle(h);
  }
  // Closes a handle below the root, unless closing the root already did.
  // (A child closed in the very instant the root is closed from another
  // thread is closed twice; WinINet refuses the second close as an unknown
  // handle.)
  void CloseChild(HINTERNET h) {
    if (h && IsOpen()) InternetCloseHandle(h);
  }
};

// The session whose call runs on this thread. Without asynchronous mode,
// WinINet reports a call's status on the thread that made the call, so this
// finds the session without putting pointers into the handles' contexts
// (which stay 1); statuses raised on another thread (the handles closed by
// an interrupt) find none and are dropped.
thread_local SSessionState* t_pReporting = nullptr;

class CStatusScope {
 public:
  explicit CStatusScope(SSessionState* pState) : m_pPrevious(t_pReporting) {
    t_pReporting = pState;
  }
  ~CStatusScope() { t_pReporting = m_pPrevious; }
  CStatusScope(const CStatusScope&) = delete;
  CStatusScope& operator=(const CStatusScope&) = delete;

 private:
  SSessionState* m_pPrevious;
};

void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR dwContext, DWORD dwStatus, LPVOID, DWORD) {
  SSessionState* pState = t_pReporting;
  if (dwContext != kContext || !pState || !pState->bReportStatus || !pState->fnStatus) return;
  pState->fnStatus(dwStatus);
}

// The last part of a path; a listing names a file with or without its
// folder.
std::string BaseName(const std::string& strPath) {
  const size_t nSlash = strPath.find_last_of("/\\");
  return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

bool SameNameIgnoringCase(const std::string& strA, const std::string& strB) {
  if (strA.size() != strB.size()) return false;
  for (size_t i = 0; i < strA.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(strA[i])) !=
        std::tolower(static_cast<unsigned char>(strB[i])))
      return false;
  return true;
}

class CWinFtpFile : public IFtpFile {
 public:
  CWinFtpFile(std::shared_ptr<SSessionState> pState, HINTERNET hFile)
      : m_pState(std::move(pState)), m_hFile(hFile) {}
  ~CWinFtpFile() override {
    // Closing the file ends the transfer; the server's answer on the
    // control connection comes with status reports.
    CStatusScope scope(m_pState.get());
    m_pState->CloseChild(m_hFile);
  }
  CWinFtpFile(const CWinFtpFile&) = delete;
  CWinFtpFile& operator=(const CWinFtpFile&) = delete;

  bool Read(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) override {
    *pnRead = 0;
    if (!m_pState->IsOpen()) return false;
    CStatusScope scope(m_pState.get());
    DWORD dwRead = 0;
    const BOOL bOk = InternetReadFile(m_hFile, pBuffer, nBytes, &dwRead);
    // A read that an interrupt cut short may still say "no more data";
    // it is a failure all the same, never the end of the file.
    if (!bOk || !m_pState->IsOpen()) return false;
    *pnRead = dwRead;
    return true;
  }

 private:
  std::shared_ptr<SSessionState> m_pState;
  HINTERNET m_hFile;
};

class CWinFtpConnection : public IFtpConnection {
 public:
  CWinFtpConnection(std::shared_ptr<SSessionState> pState, HINTERNET hConnection)
      : m_pState(std::move(pState)), m_hConnection(hConnection) {}
  ~CWinFtpConnection() override {
    CStatusScope scope(m_pState.get());
    m_pState->CloseChild(m_hConnection);
  }
  CWinFtpConnection(const CWinFtpConnection&) = delete;
  CWinFtpConnection& operator=(const CWinFtpConnection&) = delete;

  bool FindFile(const std::string& strPath, uint64_t* pqwSize) override {
    if (!m_pState->IsOpen()) return false;
    CStatusScope scope(m_pState.get());
    WIN32_FIND_DATAA data;
    ZeroMemory(&data, sizeof(data));
    HINTERNET hFind =
        FtpFindFirstFileA(m_hConnection, strPath.c_str(), &data, INTERNET_FLAG_RELOAD, kContext);
    if (!hFind) return false;
    // The listing should hold just the file, but a server may list the
    // whole folder, and a folder of that name is not the file. The exact
    // name wins; a name that differs only in case is taken when there is
    // no exact one (servers of case-blind file systems list the stored
    // spelling).
    const std::string strName = BaseName(strPath);
    bool bExact = false, bFound = false;
    uint64_t qwSize = 0;
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::string strListed = BaseName(data.cFileName);
      const bool bSame = strListed == strName;
      if (bSame || (!bFound && SameNameIgnoringCase(strListed, strName))) {
        bFound = true;
        bExact = bSame;
        qwSize = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      }
    } while (!bExact && InternetFindNextFileA(hFind, &data));
    // FTP runs one transfer at a time per connection: the listing must be
    // over before the file is opened.
    m_pState->CloseChild(hFind);
    if (!bFound || !m_pState->IsOpen()) return false;
    *pqwSize = qwSize;
    return true;
  }

  std::unique_ptr<IFtpFile> OpenFile(const std::string& strPath) override {
    if (!m_pState->IsOpen()) return nullptr;
    CStatusScope scope(m_pState.get());
    HINTERNET hFile = FtpOpenFileA(
        m_hConnection, strPath.c_str(), GENERIC_READ,
        FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, kContext);
    if (!hFile) return nullptr;
    return std::unique_ptr<IFtpFile>(new CWinFtpFile(m_pState, hFile));
  }

 private:
  std::shared_ptr<SSessionState> m_pState;
  HINTERNET m_hConnection;
};

class CWinFtpSession : public IFtpSession {
 public:
  explicit CWinFtpSession(std::shared_ptr<SSessionState> pState) : m_pState(std::move(pState)) {}
  ~CWinFtpSession() override {
    m_pState->bReportStatus = false;
    m_pState->CloseRoot();
  }
  CWinFtpSession(const CWinFtpSession&) = delete;
  CWinFtpSession& operator=(const CWinFtpSession&) = delete;

  std::unique_ptr<IFtpConnection> Connect(const std::string& strServer, uint16_t wPort) override {
    HINTERNET hRoot = m_pState->hRoot.load();
    if (!hRoot) {
      m_dwError = ERROR_INTERNET_OPERATION_CANCELLED;
      return nullptr;
    }
    CStatusScope scope(m_pState.get());
    // Anonymous (no user, no password), active mode (no passive flag).
    HINTERNET hConnection = InternetConnectA(hRoot, strServer.c_str(), wPort, nullptr, nullptr,
                                             INTERNET_SERVICE_FTP, 0, kContext);
    if (!hConnection) {
      m_dwError = GetLastError();
      return nullptr;
    }
    return std::unique_ptr<IFtpConnection>(new CWinFtpConnection(m_pState, hConnection));
  }

  uint32_t LastError() const override { return m_dwError; }

  std::string ErrorText(uint32_t dwError) override {
    // WinINet's own errors are described in its module, the others by the
    // system.
    char szText[1024];
    DWORD dwLength = FormatMessageA(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleA("wininet.dll"), dwError, 0, szText, sizeof(szText), nullptr);
    if (dwLength >= sizeof(szText)) dwLength = 0;
    std::string strText(szText, dwLength);
    while (!strText.empty() && (strText.back() == '\r' || strText.back() == '\n'))
      strText.pop_back();
    return strText;
  }

  void Autodial() override { InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, 0); }

  void Interrupt() override {
    // Statuses of the handles closed here would arrive on the caller's
    // thread, beside the transfer that owns the sinks: drop them.
    m_pState->bReportStatus = false;
    m_pState->CloseRoot();
  }

 private:
  std::shared_ptr<SSessionState> m_pState;
  uint32_t m_dwError = 0;
};

class CWinFtpPort : public IFtpPort {
 public:
  std::unique_ptr<IFtpSession> OpenSession(std::function<void(uint32_t)> fnStatus) override {
    // The system's own proxy settings, no proxy named here.
    HINTERNET hRoot = InternetOpenA("Tessaro", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!hRoot) return nullptr;
    auto pState = std::make_shared<SSessionState>();
    pState->fnStatus = std::move(fnStatus);
    pState->hRoot = hRoot;
    // Without the status reports the transfer still works; the status line
    // just stays as it is.
    InternetSetStatusCallbackA(hRoot, OnInternetStatus);
    return std::unique_ptr<IFtpSession>(new CWinFtpSession(std::move(pState)));
  }
};

}  // namespace

IFtpPort& GetWin32FtpPort() {
  static CWinFtpPort s_port;
  return s_port;
}
