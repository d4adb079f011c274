// The Live Update server's files as the program reads them: the stored
// information file passes the download check, and the program's own reader
// and board matching find what the description lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/fake/Fakes.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/liveupdate/BiosInfoFile.h"
#include "tessaro/liveupdate/BoardIdentity.h"
#include "tessaro/liveupdate/InfoFileOperations.h"
#include "tests/sim/TempDir.h"
#include "tests/support/ProgramStateScope.h"
#include "tools/liveupdate/LiveUpdateTree.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& strPath) {
  std::ifstream file(strPath, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                              std::istreambuf_iterator<char>());
}

// A file of the demo boards the build writes (sim/boards/...).
std::vector<uint8_t> BoardFile(const std::string& strRelative) {
  const char* pszBinary = std::getenv("TESSARO_BINARY_DIR");
  return ReadFile(std::string(pszBinary ? pszBinary : ".") + "/sim/boards/" + strRelative);
}

bool Holds(const std::vector<uint8_t>& vec, const std::string& strText) {
  return std::string(vec.begin(), vec.end()).find(strText) != std::string::npos;
}

class CLiveUpdateTreeTest : public ::testing::Test {
 protected:
  // Loads the tree's information file the way a download is checked and
  // read: checksum test, then the reader with the stored form decoded.
  void LoadInfo() {
    m_fs.m_mapFiles[kDownload] = ReadFile(m_root.Path(kLiveUpdateInfoPath));
    ASSERT_TRUE(m_operations.VerifyInfoChecksum(kDownload));
    ASSERT_TRUE(m_info.Load(kDownload, INFO_DECODE));
  }
  uint32_t BuildUpdateList(const std::string& strModel, const std::string& strRevision,
                           int* pnEntries) {
    CFixedBiosIdentity bios(EBiosFamily::Award, strModel, strRevision);
    CBoardIdentity board(SBoardIdentityPorts(), bios, m_info, "", false);
    board.m_strBoardSID = m_strBoardSID;
    const uint32_t nResult = board.BuildUpdateList(strModel, pnEntries);
    m_vecEntries = board.m_arrBiosEntries;
    return nResult;
  }
  std::string Global(const char* pszKey) {
    std::string str;
    m_info.GetString("GLOBAL", pszKey, "", &str);
    return str;
  }

  static constexpr const char* kDownload = "C:\\temp\\temp.sys";
  CProgramStateScope m_state;
  CTempDir m_root;
  CFakeFileSystem m_fs;
  CFakeUi m_ui;
  CFakeModulePort m_modules;
  CResources m_resources{m_modules};
  CMessageHelper m_messages{m_resources, m_ui};
  CBiosInfoFile m_info{m_fs};
  CInfoFileOperations m_operations{m_fs,   nullptr,         m_messages,
                                   m_info, "C:\\windows\\", "C:\\temp\\"};
  std::string m_strBoardSID;
  std::vector<std::string> m_vecEntries;
};

TEST_F(CLiveUpdateTreeTest, DemoTreeOffersEachDemoBoardItsUpdate) {
  for (const char* pszBoard : {"award", "ami"}) {
    SCOPED_TRACE(pszBoard);
    const SLiveUpdateDemoBoard* pBoard = FindLiveUpdateDemoBoard(pszBoard);
    ASSERT_NE(nullptr, pBoard);
    const std::string strFolder = std::string(pszBoard) == "award" ? "demo/" : "ami/";
    // The board runs the revision the tree says is installed.
    EXPECT_TRUE(Holds(BoardFile(strFolder + "flash.bin"), pBoard->pszRunningIdentity));
    const std::vector<uint8_t> vecUpdate = BoardFile(strFolder + "update.bin");

    SLiveUpdateInfo info;
    std::string strError;
    EXPECT_FALSE(BuildLiveUpdateDemoInfo(*pBoard, "127.0.0.1:2121",
                                         BoardFile(strFolder + "flash.bin"), &info, &strError));
    ASSERT_TRUE(BuildLiveUpdateDemoInfo(*pBoard, "127.0.0.1:2121", vecUpdate, &info, &strError))
        << strError;
    info.bBetaCopy = true;
    ASSERT_TRUE(WriteLiveUpdateTree(info, m_root.Path(""), &strError)) << strError;
    LoadInfo();
    EXPECT_EQ(ReadFile(m_root.Path(kLiveUpdateInfoPath)),
              ReadFile(m_root.Path(kLiveUpdateBetaInfoPath)));
    EXPECT_EQ(1, m_info.GetInt("GLOBAL", "count", 0));
    EXPECT_EQ("ftp://127.0.0.1:2121/pub/bios/", Global("path01"));
    EXPECT_EQ(vecUpdate, ReadFile(m_root.Path(std::string("pub/bios/") + pBoard->pszFile)));

    int nEntries = 0;
    ASSERT_EQ(0u, BuildUpdateList(pBoard->pszModel, pBoard->pszInstalled, &nEntries));
    ASSERT_EQ(1, nEntries);
    // The checksum field is the 16-bit sum of every byte of the file.
    unsigned long dwSum = 0;
    for (uint8_t by : vecUpdate) dwSum += by;
    char szChecksum[8];
    std::snprintf(szChecksum, sizeof(szChecksum), "%04lX", dwSum & 0xFFFF);
    EXPECT_EQ(std::string(pBoard->pszFile) + "," + szChecksum + "," + pBoard->pszDate +
                  ",Newer BIOS for the demo board",
              m_vecEntries[0]);
    EXPECT_EQ(kMsgAlreadyUpToDate, BuildUpdateList(pBoard->pszModel, pBoard->pszNewer, &nEntries));
  }
}

TEST_F(CLiveUpdateTreeTest, SidVariantTwoRowsAndTwoSites) {
  SLiveUpdateInfo info;
  info.vecSites = {{"ftp://127.0.0.1:2121/pub/a/", true}, {"ftp://127.0.0.1:2121/pub/b/", false}};
  SLiveUpdateModel model;
  model.strModel = "KT9S";
  model.strBoardSID = "8089";
  model.vecSupport = {"F3", "F2", "F1"};
  SLiveUpdateBios newest;
  newest.strRevision = "F3";
  newest.strFile = "F3.BIN";
  newest.vecImage = {0xFF, 0xFF, 0x03};
  SLiveUpdateBios older = newest;
  older.strRevision = "F2";
  older.strFile = "F2.BIN";
  older.bChecksumOverride = true;
  older.wChecksum = 0xBEEF;
  older.bOnSites = false;
  newest.strNotes = "Fan table, memory";  // the row's last field may hold commas
  model.vecBios = {newest, older};
  model.vecExtraKeys = {{"NoClearCMOS", "1"}};
  info.vecModels = {model};
  std::string strError;
  ASSERT_TRUE(WriteLiveUpdateTree(info, m_root.Path(""), &strError)) << strError;
  LoadInfo();

  EXPECT_EQ(2, m_info.GetInt("GLOBAL", "count", 0));
  EXPECT_EQ("ftp://127.0.0.1:2121/pub/b/", Global("path02"));
  int nEntries = 0;
  EXPECT_EQ(kMsgModelNotSupported, BuildUpdateList("KT9S", "F1", &nEntries));
  m_strBoardSID = "8089";
  ASSERT_EQ(0u, BuildUpdateList("KT9S", "F1", &nEntries));
  EXPECT_EQ((std::vector<std::string>{"F3.BIN,0201,,Fan table, memory", "F2.BIN,BEEF,,"}),
            m_vecEntries);
  EXPECT_EQ(1, m_info.GetInt("KT9S8089", "NoClearCMOS", 0));
  // Only the first site holds files, and only those of rows on the sites.
  EXPECT_EQ(newest.vecImage, ReadFile(m_root.Path("pub/a/F3.BIN")));
  EXPECT_TRUE(ReadFile(m_root.Path("pub/a/F2.BIN")).empty());
  EXPECT_TRUE(ReadFile(m_root.Path("pub/b/F3.BIN")).empty());
}

TEST(LiveUpdateInfoText, RefusesWhatTheProgramWouldReadOtherwise) {
  struct {
    const char* pszName;
    void (*pfnBreak)(SLiveUpdateInfo*);
  } const cases[] = {
      {"comma in the date",
       [](SLiveUpdateInfo* p) { p->vecModels[0].vecBios[0].strDate = "6,20"; }},
      {"code of 4 characters", [](SLiveUpdateInfo* p) { p->vecModels[0].vecSupport[0] = "F10A"; }},
      {"blank in the model", [](SLiveUpdateInfo* p) { p->vecModels[0].strModel = "KT 9"; }},
      {"line break in a value", [](SLiveUpdateInfo* p) { p->strDate = "2004/6/21\r\n[X]"; }},
      {"'[' in an extra key",
       [](SLiveUpdateInfo* p) {
         p->vecModels[0].vecExtraKeys = {{"RebootMessage", "[GLOBAL]"}};
       }},
      {"site of another scheme", [](SLiveUpdateInfo* p) { p->vecSites[0].strUrl = "http://h/d/"; }},
      {"site leaving the root",
       [](SLiveUpdateInfo* p) { p->vecSites[0].strUrl = "ftp://h/../x/"; }},
      {"site without a closing '/'",
       [](SLiveUpdateInfo* p) { p->vecSites[0].strUrl = "ftp://h/d"; }},
      {"file in a folder",
       [](SLiveUpdateInfo* p) { p->vecModels[0].vecBios[0].strFile = "../x.bin"; }},
      {"row longer than 255",
       [](SLiveUpdateInfo* p) { p->vecModels[0].vecBios[0].strNotes = std::string(250, 'n'); }},
  };
  for (const auto& c : cases) {
    SLiveUpdateInfo info;
    info.vecSites = {{"ftp://h:21/d/", true}};
    SLiveUpdateModel model;
    model.strModel = "KT9S";
    model.vecSupport = {"F2", "F1"};
    model.vecBios.resize(1);
    model.vecBios[0].strRevision = "F2";
    model.vecBios[0].strFile = "F2.BIN";
    info.vecModels = {model};
    std::string strText, strError;
    ASSERT_TRUE(BuildInfoText(info, &strText, &strError)) << strError;
    c.pfnBreak(&info);
    EXPECT_FALSE(BuildInfoText(info, &strText, &strError)) << c.pszName;
    EXPECT_FALSE(strError.empty()) << c.pszName;
  }
}

}  // namespace
