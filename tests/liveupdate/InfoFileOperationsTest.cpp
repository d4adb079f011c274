// Whole-file operations: developer conversions, checksum test, date and
// version comparisons, refresh of the local copy, program-version check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/fake/Fakes.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/core/StringTable.h"
#include "tessaro/core/Switches.h"
#include "tessaro/liveupdate/InfoFileOperations.h"
#include "tests/support/ProgramStateScope.h"

namespace {

const char kSystemDir[] = "C:\\windows\\system32\\";
const char kLocal[] = "C:\\windows\\system32\\Tessaro.sys";
const char kDownload[] = "C:\\temp\\temp.sys";

std::vector<uint8_t> Bytes(const std::string& str) { return {str.begin(), str.end()}; }

std::vector<uint8_t> Stored(const std::string& strText) {
  return CInfoFileOperations::ToStoredForm(Bytes(strText));
}

std::string DatedFile(const std::string& strDate, const std::string& strExtra = "") {
  return "[GLOBAL]\r\ndate=" + strDate + "\r\n" + strExtra;
}

class COperationsTest : public ::testing::Test {
 protected:
  COperationsTest() {
    size_t nCount = 0;
    const SStringEntry* pEntries = GetBuiltinStrings(&nCount);
    for (size_t i = 0; i < nCount; ++i)
      m_modules.m_mapStrings[CFakeModulePort::kSelf][pEntries[i].nId] = pEntries[i].pszText;
  }

  std::string LocalText() {
    std::vector<uint8_t> vec = m_fs.m_mapFiles[kLocal];
    CBiosInfoFile::Decode(vec.data(), vec.size());
    return std::string(vec.begin(), vec.end() - 2);
  }

  CProgramStateScope m_state;
  CFakeFileSystem m_fs;
  CFakeUi m_ui;
  CFakeModulePort m_modules;
  CResources m_resources{m_modules};
  CMessageHelper m_messages{m_resources, m_ui};
  CBiosInfoFile m_info{m_fs};
  CInfoFileOperations m_ops{m_fs, &m_ui, m_messages, m_info, kSystemDir, "C:\\temp\\"};
};

TEST_F(COperationsTest, PathsComeFromTheDirectoriesAndTheStringTable) {
  EXPECT_EQ(kLocal, m_ops.LocalInfoFilePath());
  EXPECT_EQ(kDownload, m_ops.DownloadInfoFilePath());
}

TEST_F(COperationsTest, EncodeCommandWritesRotatedBytesAndTheirSum) {
  m_fs.m_mapFiles["in.ini"] = {0x80, 0x01, 0xFF};
  m_ui.m_queFileAnswers = {"in.ini", "out.sys"};
  m_ops.EncodeInfoFile();
  // 0x01 + 0x02 + 0xFF = 0x0102, stored little-endian.
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x02, 0xFF, 0x02, 0x01}), m_fs.m_mapFiles["out.sys"]);
  ASSERT_EQ(2u, m_ui.m_vecDialogs.size());
  EXPECT_FALSE(m_ui.m_vecDialogs[0].bSave);
  EXPECT_EQ("Information File", m_ui.m_vecDialogs[0].strTitle);
  EXPECT_EQ("Tessaro Information Files (*.ini)|*.ini|All Files (*.*)|*.*||",
            m_ui.m_vecDialogs[0].strFilter);
  EXPECT_EQ(".\\*.ini", m_ui.m_vecDialogs[0].strDefaultName);
  EXPECT_TRUE(m_ui.m_vecDialogs[1].bSave);
  EXPECT_EQ("Information File", m_ui.m_vecDialogs[1].strTitle);
  EXPECT_EQ("Tessaro Information Encryption Files (*.sys)|*.sys|All Files (*.*)|*.*||",
            m_ui.m_vecDialogs[1].strFilter);
  EXPECT_EQ(".\\Tessaro.sys", m_ui.m_vecDialogs[1].strDefaultName);
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());
}

TEST_F(COperationsTest, DecodeCommandRestoresTheTextWithTheDecodedChecksum) {
  m_fs.m_mapFiles["in.sys"] = Stored("[A]\r\nk=1\r\n");
  m_ui.m_queFileAnswers = {"in.sys", "out.ini"};
  m_ops.DecodeInfoFile();
  std::vector<uint8_t> vecOut = m_fs.m_mapFiles["out.ini"];
  ASSERT_EQ(12u, vecOut.size());
  EXPECT_EQ("[A]\r\nk=1\r\n", std::string(vecOut.begin(), vecOut.end() - 2));
  std::vector<uint8_t> vecSum(m_fs.m_mapFiles["in.sys"].end() - 2, m_fs.m_mapFiles["in.sys"].end());
  CBiosInfoFile::Decode(vecSum.data(), 2);
  EXPECT_EQ(vecSum, std::vector<uint8_t>(vecOut.end() - 2, vecOut.end()));
  EXPECT_EQ(".\\Tessaro.sys", m_ui.m_vecDialogs[0].strDefaultName);
  EXPECT_EQ(".\\*.ini", m_ui.m_vecDialogs[1].strDefaultName);
}

TEST_F(COperationsTest, ConversionsStopSilentlyOnCancelUnreadableOrOversizedSource) {
  m_fs.m_mapFiles["in.ini"] = Bytes("x");
  m_fs.m_mapFiles["big.ini"].assign(CBiosInfoFile::kMaxFileSize + 1, 'x');
  m_ui.m_queFileAnswers = {""};  // cancel the open dialog
  m_ops.EncodeInfoFile();
  m_ui.m_queFileAnswers = {"in.ini", ""};  // cancel the save dialog
  m_ops.EncodeInfoFile();
  m_ui.m_queFileAnswers = {"missing.ini", "out.sys"};
  m_ops.EncodeInfoFile();
  m_ui.m_queFileAnswers = {"big.ini", "out.sys"};
  m_ops.EncodeInfoFile();
  EXPECT_EQ(0u, m_fs.m_mapFiles.count("out.sys"));
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());
}

TEST_F(COperationsTest, ChecksumTestAcceptsTheStoredSumAndRefusesEverythingElse) {
  m_fs.m_mapFiles["good"] = Stored("[GLOBAL]\r\ndate=2005/3/9\r\n");
  EXPECT_TRUE(m_ops.VerifyInfoChecksum("good"));
  m_fs.m_mapFiles["bad"] = m_fs.m_mapFiles["good"];
  m_fs.m_mapFiles["bad"][0] ^= 1;
  EXPECT_FALSE(m_ops.VerifyInfoChecksum("bad"));
  m_fs.m_mapFiles["one"] = {0x00};
  m_fs.m_mapFiles["none"] = {};
  EXPECT_FALSE(m_ops.VerifyInfoChecksum("one"));
  EXPECT_FALSE(m_ops.VerifyInfoChecksum("none"));
  m_fs.m_mapFiles["two"] = {0x00, 0x00};  // empty text, sum 0
  EXPECT_TRUE(m_ops.VerifyInfoChecksum("two"));
  m_fs.m_mapFiles["big"] = Stored(std::string(CBiosInfoFile::kMaxFileSize - 1, 'x'));
  EXPECT_FALSE(m_ops.VerifyInfoChecksum("big"));
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());  // silent outside debug mode
}

TEST_F(COperationsTest, ChecksumTestShowsItsFiguresAndThePathInDebugMode) {
  m_state.SetDebug(true);
  m_fs.m_mapFiles["bad"] = {0x10, 0x20, 0x34, 0x12};
  EXPECT_FALSE(m_ops.VerifyInfoChecksum("bad"));
  ASSERT_EQ(1u, m_ui.m_vecBoxes.size());
  EXPECT_EQ(
      "dwChecksum : 00000030\nFile Checksum : 0030\nChecksum In File : 1234\n"
      "pcBuffer[dwLen - 1] : 12\npcBuffer[dwLen - 2] : 34",
      m_ui.m_vecBoxes[0].strText);
  EXPECT_EQ("Tessaro", m_ui.m_vecBoxes[0].strCaption);

  EXPECT_FALSE(m_ops.VerifyInfoChecksum("C:\\nowhere.sys"));
  ASSERT_EQ(3u, m_ui.m_vecBoxes.size());
  EXPECT_EQ("C:\\nowhere.sys", m_ui.m_vecBoxes[1].strText);
  EXPECT_EQ("Couldn't open the file!", m_ui.m_vecBoxes[2].strText);
  EXPECT_EQ("Tessaro", m_ui.m_vecBoxes[2].strCaption);
  EXPECT_EQ(kMbOk | kMbIconError, m_ui.m_vecBoxes[2].dwFlags);
}

TEST_F(COperationsTest, UnopenableFileIsReportedEvenOutsideDebugMode) {
  EXPECT_FALSE(m_ops.VerifyInfoChecksum("C:\\nowhere.sys"));
  ASSERT_EQ(1u, m_ui.m_vecBoxes.size());
  EXPECT_EQ("Couldn't open the file!", m_ui.m_vecBoxes[0].strText);
}

TEST(InfoDates, CompareNumberByNumber) {
  struct {
    const char* pszA;
    const char* pszB;
    int nExpected;
  } const cases[] = {
      {"", "", 0},
      {"", "2005/1/1", -1},
      {"2005/1/1", "", 1},
      {"2005/3/9", "2005/03/09", 0},
      {"2005/10/1", "2005/9/30", 1},
      {"2005/9/30", "2005/10/1", -1},
      {"2004/12/31", "2005/1/1", -1},
      {"2005/1/2", "2005/1/1", 1},
      {"2005", "2005/0/0", 0},
      {"x/y/z", "0/0/0", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.nExpected, CInfoFileOperations::CompareInfoDates(c.pszA, c.pszB))
        << c.pszA << " vs " << c.pszB;
}

TEST(ProgramVersions, CompareAsPlainByteStrings) {
  EXPECT_EQ(0, CInfoFileOperations::CompareProgramVersion("", ""));
  EXPECT_LT(CInfoFileOperations::CompareProgramVersion("", "1.0"), 0);
  EXPECT_GT(CInfoFileOperations::CompareProgramVersion("1.0", ""), 0);
  EXPECT_EQ(0, CInfoFileOperations::CompareProgramVersion("1.5.0.5", "1.5.0.5"));
  EXPECT_LT(CInfoFileOperations::CompareProgramVersion("1.5.0.5", "1.5.0.6"), 0);
  EXPECT_LT(CInfoFileOperations::CompareProgramVersion("1.5.0.10", "1.5.0.5"), 0);
  EXPECT_GT(CInfoFileOperations::CompareProgramVersion("1.5.0.5", "1.5.0.10"), 0);
}

TEST_F(COperationsTest, RefreshKeepsASameOrLaterLocalFileAndReplacesAnOlderOne) {
  m_fs.m_mapFiles[kDownload] = Stored(DatedFile("2005/3/9", "[M]\r\nk=new\r\n"));
  m_fs.m_mapFiles[kLocal] = Stored(DatedFile("2005/03/09", "[M]\r\nk=old\r\n"));
  ASSERT_TRUE(m_ops.RefreshLocalInfoFile(kDownload));
  EXPECT_EQ(DatedFile("2005/03/09", "[M]\r\nk=old\r\n"), LocalText());
  std::string strValue;
  m_info.GetString("M", "k", "", &strValue);
  EXPECT_EQ("old", strValue);

  m_fs.m_mapFiles[kLocal] = Stored(DatedFile("2005/2/28", "[M]\r\nk=old\r\n"));
  ASSERT_TRUE(m_ops.RefreshLocalInfoFile(kDownload));
  EXPECT_EQ(m_fs.m_mapFiles[kDownload], m_fs.m_mapFiles[kLocal]);
  m_info.GetString("M", "k", "", &strValue);
  EXPECT_EQ("new", strValue);
  EXPECT_EQ(0u, m_fs.m_mapFiles.count(std::string(kLocal) + ".new"));
}

TEST_F(COperationsTest, RefreshInstallsTheDownloadWhenThereIsNoLocalFile) {
  m_fs.m_mapFiles[kDownload] = Stored(DatedFile("2005/3/9"));
  ASSERT_TRUE(m_ops.RefreshLocalInfoFile(kDownload));
  EXPECT_EQ(m_fs.m_mapFiles[kDownload], m_fs.m_mapFiles[kLocal]);
  EXPECT_FALSE(m_ops.RefreshLocalInfoFile("C:\\temp\\missing.sys"));
}

TEST_F(COperationsTest, FailedRefreshLeavesTheLocalFileWholeAndReportsFailure) {
  m_fs.m_mapFiles[kDownload] = Stored(DatedFile("2006/1/1", "[M]\r\nk=new\r\n"));
  const std::vector<uint8_t> vecOld = Stored(DatedFile("2005/1/1", "[M]\r\nk=old\r\n"));
  m_fs.m_mapFiles[kLocal] = vecOld;
  m_fs.m_bFailCopies = true;
  EXPECT_FALSE(m_ops.RefreshLocalInfoFile(kDownload));
  EXPECT_EQ(vecOld, m_fs.m_mapFiles[kLocal]);
  EXPECT_EQ(0u, m_fs.m_mapFiles.count(std::string(kLocal) + ".new"));
  std::string strValue;
  m_info.GetString("M", "k", "", &strValue);
  EXPECT_EQ("old", strValue);  // the window keeps the file it has
}

TEST_F(COperationsTest, ProgramVersionCheckRefusesOnlyANewerRequiredVersion) {
  struct {
    const char* pszRequired;
    bool bAccepted;
  } const cases[] = {
      {"1.5.0.5", true},  {"1.5.0.4", true}, {"1.5.0.10", true},
      {"1.5.0.6", false}, {"1.6", false},    {nullptr, true},
  };
  for (const auto& c : cases) {
    std::string strGlobal = c.pszRequired ? "programver=" + std::string(c.pszRequired) : "x=1";
    m_fs.m_mapFiles[kLocal] = Stored("[GLOBAL]\r\n" + strGlobal + "\r\n[M]\r\nk=1\r\n");
    m_info.Clear();
    EXPECT_EQ(c.bAccepted, m_ops.CheckProgramVersion()) << (c.pszRequired ? c.pszRequired : "");
    EXPECT_EQ(c.bAccepted ? 1 : 0, m_info.GetInt("M", "k", 0));
  }
  m_fs.m_mapFiles.erase(kLocal);
  EXPECT_FALSE(m_ops.CheckProgramVersion());
}

}  // namespace
