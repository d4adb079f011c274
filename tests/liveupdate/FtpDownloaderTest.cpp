// The FTP download of Live Update against a scripted server: whole files
// in short reads, the exact and empty sizes, a missing file, a dropped
// connection, a stop in the middle, failed connections and addresses that
// are not FTP.
#include <gtest/gtest.h>

#include "platform/fake/FakeFtpPort.h"
#include "platform/fake/Fakes.h"
#include "tessaro/liveupdate/FtpDownloader.h"
#include "tests/support/BuiltinStrings.h"

namespace {

const char kTarget[] = "C:\\Tessaro\\bios.tmp";

struct SSinks : IDisplaySinks {
  std::vector<std::string> vecStatus;
  std::string strPercent;
  int nPos = -1;
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int n) override { nPos = n; }
  void SetStatusText(const std::string& str) override { vecStatus.push_back(str); }
  void SetPercentText(const std::string& str) override { strPercent = str; }
};

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> vec(n);
  for (size_t i = 0; i < n; ++i) vec[i] = static_cast<uint8_t>(i * 31 + 7);
  return vec;
}

class FtpDownloader : public ::testing::Test {
 protected:
  FtpDownloader() { UseBuiltinStrings(&m_modules); }
  // Runs one download to its end.
  CFtpDownloader& Run(const std::string& strUrl) {
    m_pDownloader.reset(
        new CFtpDownloader(m_ftp, m_files, m_messages, m_resources, m_sinks, strUrl, kTarget));
    m_pDownloader->Run();
    EXPECT_TRUE(m_pDownloader->IsThreadDone());
    return *m_pDownloader;
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> vec;
    for (const CFakeUi::SBox& box : m_ui.m_vecBoxes) vec.push_back(box.strText);
    return vec;
  }

  CFakeFtpPort m_ftp;
  CFakeFileSystem m_files;
  CFakeModulePort m_modules;
  CFakeUi m_ui;
  CResources m_resources{m_modules};
  CMessageHelper m_messages{m_resources, m_ui};
  SSinks m_sinks;
  std::unique_ptr<CFtpDownloader> m_pDownloader;
};

TEST_F(FtpDownloader, WholeFilesArriveWhateverTheReadSizes) {
  struct SCase {
    size_t nSize;
    uint32_t nReadSize;
  } aCases[] = {{3 * 4096, 4096}, {0, 4096}, {1, 4096}, {10000, 1000}, {8192, 1}, {5000, 4096}};
  for (const SCase& c : aCases) {
    m_ftp.m_mapFiles["/pub/bios.rom"] = Bytes(c.nSize);
    m_ftp.m_nReadSize = c.nReadSize;
    m_files.m_mapFiles.erase(kTarget);
    CFtpDownloader& download = Run("ftp://ftp.example.com/pub/bios.rom");
    EXPECT_TRUE(download.IsSucceeded()) << c.nSize << "/" << c.nReadSize;
    EXPECT_FALSE(download.IsFailed());
    EXPECT_FALSE(download.IsAbortRequested());
    EXPECT_EQ(c.nSize, download.GetBytesRead());
    EXPECT_EQ(Bytes(c.nSize), m_files.m_mapFiles[kTarget]);
    EXPECT_EQ("100%", m_sinks.strPercent);  // an empty file too
  }
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());
  // The session's status codes reach the status line as texts.
  EXPECT_EQ("Resolving name...", m_sinks.vecStatus[0]);
  EXPECT_EQ("Connected to server!", m_sinks.vecStatus[3]);
}

TEST_F(FtpDownloader, AddressesAreSplitAndOnlyFtpIsAccepted) {
  m_ftp.m_mapFiles["/pub/x.sys"] = Bytes(10);
  Run("ftp.example.com/pub/x.sys");  // no scheme: as if "ftp://" stood in front
  EXPECT_TRUE(m_pDownloader->IsSucceeded());
  Run("FTP://127.0.0.1:2121/pub/x.sys");  // a port is honoured
  EXPECT_TRUE(m_pDownloader->IsSucceeded());
  EXPECT_EQ((std::vector<std::string>{"ftp.example.com:21", "127.0.0.1:2121"}),
            m_ftp.m_vecConnects);
  for (const char* pszUrl : {"http://ftp.example.com/pub/x.sys", "ftp:///pub/x.sys"}) {
    m_ui.m_vecBoxes.clear();
    Run(pszUrl);
    EXPECT_EQ(std::vector<std::string>{"Please enter a valid FTP URL."}, Boxes()) << pszUrl;
    EXPECT_FALSE(m_pDownloader->IsSucceeded()) << pszUrl;
  }
  EXPECT_EQ(2u, m_ftp.m_vecConnects.size());  // neither was connected
}

TEST_F(FtpDownloader, MissingFileAndDroppedConnectionFail) {
  Run("ftp://ftp.example.com/pub/none.rom");
  EXPECT_EQ(std::vector<std::string>{"Cannot find the selected file.\nPlease retry later."},
            Boxes());
  EXPECT_TRUE(m_pDownloader->IsSucceeded() && m_pDownloader->IsFailed());
  EXPECT_FALSE(m_pDownloader->IsTransferring());

  m_ui.m_vecBoxes.clear();
  m_ftp.m_mapFiles["/pub/bios.rom"] = Bytes(20000);
  m_ftp.m_qwDropAfter = 6000;
  Run("ftp://ftp.example.com/pub/bios.rom");
  EXPECT_TRUE(m_pDownloader->IsFailed());
  EXPECT_FALSE(m_pDownloader->IsSucceeded());
  EXPECT_EQ(6000u, m_pDownloader->GetBytesRead());
  EXPECT_EQ(6000u, m_files.m_mapFiles[kTarget].size());  // the partial file stays
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());

  // A file longer than its listing is not the file that was listed.
  m_ftp.m_qwDropAfter = ~0ull;
  m_ftp.m_mapListedSizes["/pub/bios.rom"] = 10000;
  Run("ftp://ftp.example.com/pub/bios.rom");
  EXPECT_TRUE(m_pDownloader->IsFailed());
  EXPECT_FALSE(m_pDownloader->IsSucceeded());
}

TEST_F(FtpDownloader, StopInTheMiddleLeavesThePartialFileAndSaysSo) {
  m_ftp.m_mapFiles["/pub/bios.rom"] = Bytes(64 * 1024);
  m_ftp.m_fnOnRead = [this](uint64_t qwSent) {
    if (qwSent == 8192) m_pDownloader->RequestAbort();
  };
  Run("ftp://ftp.example.com/pub/bios.rom");
  EXPECT_FALSE(m_pDownloader->IsSucceeded());
  EXPECT_FALSE(m_pDownloader->IsFailed());
  EXPECT_TRUE(m_pDownloader->IsAbortRequested());
  EXPECT_EQ(8192u, m_files.m_mapFiles[kTarget].size());
  // The worker stays silent; deleting the download reports the abort.
  EXPECT_TRUE(Boxes().empty());
  m_pDownloader.reset();
  ASSERT_EQ(std::vector<std::string>{"Download Abort!"}, Boxes());
  EXPECT_EQ("Tessaro (Download)", m_ui.m_vecBoxes[0].strCaption);
}

TEST_F(FtpDownloader, ConnectionsAreTriedThreeTimes) {
  m_ftp.m_mapFiles["/pub/x.sys"] = Bytes(10);
  m_ftp.m_nConnectFailures = 2;
  Run("ftp://ftp.example.com/pub/x.sys");
  EXPECT_TRUE(m_pDownloader->IsSucceeded());
  EXPECT_EQ(3u, m_ftp.m_vecConnects.size());

  // Three failures: the system's text, then the abort notice.
  m_ftp.m_vecConnects.clear();
  m_ftp.m_nConnectFailures = 3;
  m_ftp.m_dwConnectError = 12007;  // name not resolved: dial up first
  m_ftp.m_strErrorText = "The server name could not be resolved";
  Run("ftp://ftp.example.com/pub/x.sys");
  EXPECT_EQ(3u, m_ftp.m_vecConnects.size());
  EXPECT_EQ(3, m_ftp.m_nAutodials);
  EXPECT_EQ((std::vector<std::string>{"The server name could not be resolved", "Download Abort!"}),
            Boxes());

  // Without a text of its own the failure says the session could not open.
  m_ui.m_vecBoxes.clear();
  m_ftp.m_nConnectFailures = 3;
  m_ftp.m_strErrorText.clear();
  Run("ftp://ftp.example.com/pub/x.sys");
  EXPECT_EQ(0u, Boxes()[0].find("Cannot open an Internet Session."));

  m_ui.m_vecBoxes.clear();
  m_ftp.m_bNoSession = true;
  Run("ftp://ftp.example.com/pub/x.sys");
  EXPECT_EQ(0u, Boxes()[0].find("Cannot open an Internet Session."));
}

}  // namespace
