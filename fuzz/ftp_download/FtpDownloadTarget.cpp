// The download side of Live Update over arbitrary input: the text of a BIOS
// entry and of a site address (as an information file supplies them) split
// and joined as the flow does, and a transfer whose listed size, read
// sizes, drop point and bytes come from the input. Bits of the drop word
// also keep the address's own host (no server override), hand the joined
// address itself to the downloader (so its own URL
// check decides) and make the network or the disk fail: no session,
// refused or unresolved connections, a file the listing lacks, a disk that
// takes no writes. A transfer may succeed only with exactly the listed
// bytes on disk and never after such a failure, and the percent shown
// never passes 100.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/fake/FakeFtpPort.h"
#include "platform/fake/Fakes.h"
#include "tessaro/app/LiveUpdatePresenter.h"
#include "tessaro/liveupdate/FtpDownloader.h"
#include "tests/support/BuiltinStrings.h"

namespace {

void Check(bool b) {
  if (!b) abort();
}

struct SPercentSinks : IDisplaySinks {
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int nPos) override { Check(nPos >= 0 && nPos <= 100); }
  void SetStatusText(const std::string&) override {}
  void SetPercentText(const std::string& str) override {
    const int n = atoi(str.c_str());
    Check(n >= 0 && n <= 100);
  }
};

uint32_t Take32(const uint8_t*& p, size_t& n) {
  uint32_t v = 0;
  for (int i = 0; i < 4 && n; ++i, --n) v = (v << 8) | *p++;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  // The first line is a site address, the second a BIOS entry.
  const std::string strText(reinterpret_cast<const char*>(pData), nSize);
  const size_t nLine = strText.find('\n');
  const std::string strSite = strText.substr(0, nLine);
  const std::string strEntry =
      nLine == std::string::npos ? std::string() : strText.substr(nLine + 1);
  const SBiosEntry entry = ParseBiosEntry(strEntry);
  // The drop word (bytes 8 to 11, read again below) also says whether a
  // server override replaces the address's host.
  const uint8_t* pPeek = pData + (nSize > 8 ? 8 : nSize);
  size_t nPeek = nSize > 8 ? nSize - 8 : 0;
  const bool bOwnHost = Take32(pPeek, nPeek) & 0x20000;
  const std::string strUrl =
      WithServer(strSite, bOwnHost ? std::string() : "127.0.0.1:2121") + entry.strFile;
  SFtpUrl url;
  bool bNotFtp = false;
  if (ParseFtpUrl(strUrl, &url, &bNotFtp)) {
    Check(!url.strServer.empty() && url.wPort != 0);
    Check(!url.strPath.empty() && url.strPath[0] == '/');
  }

  // The transfer: listed size, read size, drop point, then the file.
  const uint8_t* p = pData;
  size_t n = nSize;
  CFakeFtpPort ftp;
  const uint32_t dwListed = Take32(p, n) % (2 * 1024 * 1024);
  ftp.m_nReadSize = 1 + Take32(p, n) % 8192;
  const uint32_t dwDrop = Take32(p, n);
  if (dwDrop & 1) ftp.m_qwDropAfter = dwDrop % (nSize + 1);
  // The address the downloader gets: the fixed one, or the joined one
  // with the file served where it points.
  std::string strDownloadUrl = "ftp://h/bios.bin", strServed = "/bios.bin";
  if (dwDrop & 0x100) {
    strDownloadUrl = strUrl;
    SFtpUrl served;
    bool bNot = false;
    if (ParseFtpUrl(strUrl, &served, &bNot)) strServed = served.strPath;
  }
  const bool bNoSession = dwDrop & 0x200;
  const bool bUnlisted = dwDrop & 0x400;
  ftp.m_bNoSession = bNoSession;
  const int nRefused = static_cast<int>((dwDrop >> 12) & 3);  // 3: every attempt fails
  ftp.m_nConnectFailures = nRefused;
  ftp.m_dwConnectError = dwDrop & 0x4000 ? 12007 : 12029;  // name not resolved / refused
  if (dwDrop & 0x8000) ftp.m_strErrorText = "The server name could not be resolved";
  if (!bUnlisted) {
    ftp.m_mapFiles[strServed].assign(p, p + n);
    ftp.m_mapListedSizes[strServed] = dwListed;
  }
  CFakeFileSystem files;
  files.m_bFailWrites = dwDrop & 0x10000;
  CFakeModulePort modules;
  UseBuiltinStrings(&modules);
  CResources resources(modules);
  CFakeUi ui;
  CMessageHelper messages(resources, ui);
  SPercentSinks sinks;
  CFtpDownloader download(ftp, files, messages, resources, sinks, strDownloadUrl, "C:\\t");
  download.Run();
  Check(download.IsThreadDone());
  if (download.IsSucceeded() && !download.IsFailed()) {
    Check(!bNoSession && !bUnlisted && nRefused < 3 && (!files.m_bFailWrites || dwListed == 0));
    Check(download.GetBytesRead() == dwListed);
    Check(files.m_mapFiles["C:\\t"].size() == dwListed);
    Check(dwListed == 0 || memcmp(files.m_mapFiles["C:\\t"].data(), p, dwListed) == 0);
  }
  return 0;
}
