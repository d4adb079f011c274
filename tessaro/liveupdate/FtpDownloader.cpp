#include "tessaro/liveupdate/FtpDownloader.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace {

constexpr int kConnectAttempts = 3;
constexpr uint32_t kErrorNameNotResolved = 12007;
// Listed sizes beyond this are not believed: the counters are 32-bit.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;

std::string Lower(std::string str) {
  for (char& c : str) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return str;
}

// "scheme://rest": the scheme, or empty without one.
std::string SchemeOf(const std::string& strUrl, std::string* pstrRest) {
  const size_t nSep = strUrl.find("://");
  if (nSep == std::string::npos) {
    *pstrRest = strUrl;
    return std::string();
  }
  *pstrRest = strUrl.substr(nSep + 3);
  return Lower(strUrl.substr(0, nSep));
}

}  // namespace

bool ParseFtpUrl(const std::string& strUrl, SFtpUrl* pUrl, bool* pbNotFtp) {
  *pbNotFtp = false;
  std::string strRest;
  const std::string strScheme = SchemeOf(strUrl, &strRest);
  if (!strScheme.empty() && strScheme != "ftp") {
    *pbNotFtp = true;
    return false;
  }
  const size_t nSlash = strRest.find('/');
  std::string strHost = strRest.substr(0, nSlash);
  pUrl->strPath = nSlash == std::string::npos ? "/" : strRest.substr(nSlash);
  pUrl->wPort = 21;
  const size_t nColon = strHost.find(':');
  if (nColon != std::string::npos) {
    const std::string strPort = strHost.substr(nColon + 1);
    strHost.resize(nColon);
    unsigned long nPort = 0;
    for (char c : strPort) {
      if (!std::isdigit(static_cast<unsigned char>(c)) || nPort > 65535) {
        nPort = 0;
        break;
      }
      nPort = nPort * 10 + static_cast<unsigned long>(c - '0');
    }
    if (nPort == 0 || nPort > 65535) return false;
    pUrl->wPort = static_cast<uint16_t>(nPort);
  }
  pUrl->strServer = strHost;
  if (strHost.empty()) {
    *pbNotFtp = true;
    return false;
  }
  return true;
}

std::string FtpStatusText(const CResources& resources, uint32_t dwStatus) {
  struct SStatus {
    uint32_t dwStatus;
    uint32_t nText;
  };
  static const SStatus s_aStatus[] = {
      {10, 710}, {11, 711}, {20, 712}, {21, 713}, {30, 714}, {31, 715},  {40, 716},
      {41, 717}, {50, 718}, {51, 719}, {60, 720}, {70, 721}, {100, 722},
  };
  for (const SStatus& status : s_aStatus)
    if (status.dwStatus == dwStatus) return resources.GetString(status.nText);
  return std::string();
}

CFtpDownloader::CFtpDownloader(IFtpPort& ftp, IFileSystem& files, CMessageHelper& messages,
                               const CResources& resources, IDisplaySinks& sinks,
                               std::string strUrl, std::string strTarget)
    : m_ftp(ftp),
      m_files(files),
      m_Msg(messages),
      m_resources(resources),
      m_sinks(sinks),
      m_strUrl(std::move(strUrl)),
      m_strTarget(std::move(strTarget)) {}

CFtpDownloader::~CFtpDownloader() {
  if (m_pThread && !m_bThreadDone) {
    m_bClosing = true;
    m_bAbort = true;
    {
      std::lock_guard<std::mutex> lock(m_mutexSession);
      if (m_pSession) m_pSession->Interrupt();
    }
    if (!m_pThread->Wait(kStopWaitMs) && m_pThread->Terminate()) {
      // Whatever the worker held is lost with it; the session it was using
      // must not be touched again.
      (void)m_pSession.release();
      m_bThreadDone = true;
    }
  }
  m_pThread.reset();
  if (m_bOwnerAbort) m_Msg.ShowError(kMsgDownloadAbort, kCaptionDownload);
}

void CFtpDownloader::RequestAbort() {
  if (!m_bThreadDone) m_bOwnerAbort = true;
  m_bAbort = true;
}

bool CFtpDownloader::Start(IThreadPort& threads) {
  m_pThread = threads.Start([this] { Run(); });
  if (m_pThread) return true;
  m_bFailed = true;
  m_bThreadDone = true;
  return false;
}

void CFtpDownloader::ShowError(uint32_t nId) {
  if (!m_bClosing) m_Msg.ShowError(nId, kCaptionDownload);
}

void CFtpDownloader::ShowError(const std::string& strText) {
  if (!m_bClosing) m_Msg.ShowError(strText, kCaptionDownload);
}

void CFtpDownloader::SetSession(std::unique_ptr<IFtpSession> pSession) {
  std::unique_ptr<IFtpSession> pOld;
  {
    std::lock_guard<std::mutex> lock(m_mutexSession);
    pOld.swap(m_pSession);
    m_pSession = std::move(pSession);
  }
  // Closed outside the lock: closing may take the network's time.
}

void CFtpDownloader::Run() {
  m_bSucceeded = false;
  m_bFailed = false;
  SetSession(m_ftp.OpenSession(
      [this](uint32_t dwStatus) { m_sinks.SetStatusText(FtpStatusText(m_resources, dwStatus)); }));
  if (!m_pSession) {
    ShowError(kMsgNoInternetSession);
  } else {
    // An owner that stops the download before the session existed could
    // not interrupt it: the abort flag stops the work instead.
    if (!m_bAbort) Download();
  }
  if (m_bAbort && !m_bOwnerAbort) ShowError(kMsgDownloadAbort);
  SetSession(nullptr);
  m_bThreadDone = true;
}

void CFtpDownloader::Download() {
  SFtpUrl url;
  bool bNotFtp = false;
  if (!ParseFtpUrl(m_strUrl, &url, &bNotFtp)) {
    ShowError(bNotFtp ? kMsgNotFtpUrl : kMsgNoInternetSession);
    return;
  }
  std::unique_ptr<IFtpConnection> pConnection;
  std::string strError;
  for (int nAttempt = 0; nAttempt < kConnectAttempts && !pConnection; ++nAttempt) {
    pConnection = m_pSession->Connect(url.strServer, url.wPort);
    if (pConnection) break;
    const uint32_t dwError = m_pSession->LastError();
    if (dwError == kErrorNameNotResolved) m_pSession->Autodial();
    strError = m_pSession->ErrorText(dwError);
  }
  if (!pConnection) {
    if (strError.empty())
      ShowError(kMsgNoInternetSession);
    else
      ShowError(strError);
    m_bAbort = true;
    return;
  }
  uint64_t qwSize = 0;
  if (!pConnection->FindFile(url.strPath, &qwSize) || qwSize > kMaxFileSize) {
    ShowError(kMsgNoFileOnServer);
    m_bSucceeded = true;
    m_bFailed = true;
    return;
  }
  m_dwTotalSize = static_cast<uint32_t>(qwSize);
  Transfer(*pConnection, url.strPath);
}

void CFtpDownloader::Transfer(IFtpConnection& connection, const std::string& strPath) {
  m_bTransferring = true;
  m_dwBytesRead = 0;
  std::unique_ptr<IFile> pTarget = m_files.Open(m_strTarget, EFileMode::CreateAlways);
  if (!pTarget) {
    ShowError(FormatText("Unable to create file %s", m_strTarget));
    m_bAbort = true;
    return;
  }
  std::unique_ptr<IFtpFile> pRemote = connection.OpenFile(strPath);
  m_sinks.SetProgressRange(0, 100);
  m_sinks.SetProgressPos(0);
  m_sinks.SetPercentText("0%");
  bool bBroken = !pRemote;
  std::vector<uint8_t> vecChunk(kChunk);
  // Reads go on until one returns nothing: a read may return fewer bytes
  // than asked before the end of the file (data arrives as the network
  // delivers it), so a short read is no end mark.
  while (!bBroken && !m_bAbort) {
    uint32_t nRead = 0;
    if (!pRemote->Read(vecChunk.data(), kChunk, &nRead)) {
      bBroken = true;
      break;
    }
    if (nRead == 0) break;
    // More than the listing promised is a different file: stop there.
    if (m_dwBytesRead + static_cast<uint64_t>(nRead) > m_dwTotalSize ||
        !pTarget->Write(vecChunk.data(), nRead)) {
      bBroken = true;
      break;
    }
    m_dwBytesRead += nRead;
    const int nPercent =
        m_dwTotalSize ? static_cast<int>(m_dwBytesRead * 100.0 / m_dwTotalSize) : 100;
    m_sinks.SetProgressPos(nPercent);
    char szPercent[16];
    std::snprintf(szPercent, sizeof(szPercent), "%d%%", nPercent);
    m_sinks.SetPercentText(szPercent);
  }
  pRemote.reset();
  pTarget.reset();
  if (m_bAbort) return;  // the partial file stays; the next download overwrites it
  // An empty file is whole at once: 100 %, where a percentage of its size
  // would divide by zero.
  if (!bBroken && m_dwTotalSize == 0) {
    m_sinks.SetProgressPos(100);
    m_sinks.SetPercentText("100%");
  }
  if (!bBroken && m_dwBytesRead == m_dwTotalSize)
    m_bSucceeded = true;
  else
    m_bFailed = true;
}
