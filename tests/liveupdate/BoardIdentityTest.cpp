// Board identity: disk controller SID, BIOS model and revision, WMI board
// version, model section matching, offered files and restrictions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/fake/FakeDeviceEnumPort.h"
#include "platform/fake/FakeWmiPort.h"
#include "platform/fake/Fakes.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/core/Switches.h"
#include "tessaro/liveupdate/BoardIdentity.h"
#include "tessaro/liveupdate/InfoFileOperations.h"
#include "tessaro/liveupdate/WmiQuery.h"
#include "tests/support/ProgramStateScope.h"

namespace {

const char kLocal[] = "C:\\windows\\system32\\Tessaro.sys";
const char kHdcId[] = "PCI\\VEN_8086&DEV_27C0&SUBSYS_80891043&REV_01";

class CBoardTest : public ::testing::Test {
 protected:
  CBoardTest() { m_modules.m_mapStrings[CFakeModulePort::kSelf][610] = "Tessaro"; }

  // Installs the text as the local information file and loads it.
  void UseInfo(const std::string& strText) {
    std::vector<uint8_t> vec(strText.begin(), strText.end());
    m_fs.m_mapFiles[kLocal] = CInfoFileOperations::ToStoredForm(vec);
    ASSERT_TRUE(m_info.Load(kLocal, INFO_DECODE));
  }
  // One listed model "M1" with the given keys.
  void UseModel(const std::string& strSupport, int nFiles, const std::string& strVersions,
                const std::string& strKeys) {
    UseInfo("[SUPPORT_MODEL]\r\nmodel01=M1\r\n[M1]\r\nsupport=" + strSupport + "\r\nfiles=" +
            std::to_string(nFiles) + "\r\nversions=" + strVersions + "\r\n" + strKeys);
  }
  SBoardIdentityPorts Ports() {
    SBoardIdentityPorts ports;
    ports.pFiles = &m_fs;
    ports.pRegistry = &m_registry;
    ports.pDevices = &m_devices;
    ports.pWmi = &m_wmi;
    ports.pUi = &m_ui;
    ports.pMessages = &m_messages;
    return ports;
  }
  void AddNtDevice(const std::string& strId, const std::string& strClass) {
    m_devices.m_vecDevices.push_back(CFakeDeviceEnumPort::Device(strId));
    if (strClass.empty()) return;
    const std::string strKey = "HKLM\\System\\CurrentControlSet\\Enum\\" + strId;
    m_registry.m_mapKeys[strKey];
    m_registry.m_mapKeys[strKey + "\\3&1&0"].mapValues["Class"] = {true, 0, strClass};
  }

  CProgramStateScope m_state;
  CFakeFileSystem m_fs;
  CFakeRegistry m_registry;
  CFakeDeviceEnumPort m_devices;
  CFakeWmiPort m_wmi;
  CFakeUi m_ui;
  CFakeModulePort m_modules;
  CResources m_resources{m_modules};
  CMessageHelper m_messages{m_resources, m_ui};
  CBiosInfoFile m_info{m_fs};
  SBoardIdentityPorts m_ports = Ports();
  CFixedBiosIdentity m_bios{EBiosFamily::Award, "AB9", "14"};
  CBoardIdentity m_board{m_ports, m_bios, m_info, kLocal, false};
};

// ------------------------------------------------------- disk controller --

TEST_F(CBoardTest, NtRouteFindsTheDiskControllerAndGrowsTheBuffer) {
  std::string strLongId = "ROOT\\" + std::string(600, 'X');
  AddNtDevice(strLongId, "System");
  m_devices.m_vecDevices.push_back({{}, kErrorInvalidData});  // no hardware id: skipped
  AddNtDevice("PCI\\VEN_1&DEV_2&SUBSYS_11111111", "");        // no device key: skipped
  AddNtDevice(kHdcId, "hdc");                                 // the class compares upper-cased
  std::string strSID;
  ASSERT_TRUE(m_board.GetBoardSID(&strSID));
  EXPECT_EQ("8089", strSID);
  // 256 bytes first, then the size the long id needs.
  ASSERT_GE(m_devices.m_vecBufferSizes.size(), 2u);
  EXPECT_EQ(256u, m_devices.m_vecBufferSizes[0]);
  EXPECT_EQ(strLongId.size() + 2, m_devices.m_vecBufferSizes[1]);
  EXPECT_EQ(0, m_devices.m_nListsOpen);
}

TEST_F(CBoardTest, NtRouteFailsOnOtherErrorsMissingControllerOrNoList) {
  std::string strSID = "keep";
  AddNtDevice("PCI\\VEN_1&DEV_2&SUBSYS_11111111", "SCSIAdapter");
  EXPECT_FALSE(m_board.GetBoardSID(&strSID));
  m_devices.m_vecDevices.insert(m_devices.m_vecDevices.begin(), {{}, kErrorAccessDenied});
  AddNtDevice(kHdcId, "HDC");
  EXPECT_FALSE(m_board.GetBoardSID(&strSID));
  m_devices.m_bListFails = true;
  EXPECT_FALSE(m_board.GetBoardSID(&strSID));
  EXPECT_EQ("keep", strSID);
  EXPECT_EQ(0, m_devices.m_nListsOpen);
}

TEST_F(CBoardTest, SidRuleNeverReadsPastAShortHardwareId) {
  struct {
    const char* pszId;
    const char* pszSID;
  } const cases[] = {
      {"PCI\\VEN_8086&DEV_27C0&SUBSYS_80891043", "8089"},
      {"PCI\\VEN_ABCD1234", "N_AB"},  // no SUBSYS_: from the seventh character
      {"PCI\\VEN_", "N_"},
      {"PCI\\VE", ""},
      {"PCI\\X&SUBSYS_12", "12"},
  };
  for (const auto& c : cases) {
    m_devices.m_vecDevices.clear();
    m_registry.m_mapKeys.clear();
    AddNtDevice(c.pszId, "HDC");
    std::string strSID = "?";
    EXPECT_TRUE(m_board.GetBoardSID(&strSID)) << c.pszId;
    EXPECT_EQ(c.pszSID, strSID) << c.pszId;
  }
}

TEST_F(CBoardTest, Win9xRouteReadsTheConfigurationManagerTree) {
  CBoardIdentity board(m_ports, m_bios, m_info, kLocal, true);
  auto& dyn = m_devices.m_dynData.m_mapKeys;
  dyn["HKLM\\Config Manager\\Enum"];
  dyn["HKLM\\Config Manager\\Enum\\C1000000"].mapValues["HardWareKey"] = {true, 0, "ROOT\\X"};
  dyn["HKLM\\Config Manager\\Enum\\C2000000"].mapValues["HardWareKey"] = {
      true, 0, "PCI\\VEN_8086&DEV_7010&SUBSYS_00000000\\BUS_00"};
  dyn["HKLM\\Config Manager\\Enum\\C3000000"].mapValues["HardWareKey"] = {true, 0, kHdcId};
  m_registry.m_mapKeys["HKLM\\Enum\\PCI\\VEN_8086&DEV_7010&SUBSYS_00000000\\BUS_00"]
      .mapValues["Class"] = {true, 0, "display"};
  m_registry.m_mapKeys[std::string("HKLM\\Enum\\") + kHdcId].mapValues["Class"] = {true, 0, "Hdc"};
  std::string strSID;
  ASSERT_TRUE(board.GetBoardSID(&strSID));
  EXPECT_EQ("8089", strSID);
  dyn.erase("HKLM\\Config Manager\\Enum\\C3000000");
  EXPECT_FALSE(board.GetBoardSID(&strSID));
}

// ------------------------------------------------------ model, revision --

TEST_F(CBoardTest, ModelAndRevisionComeFromTheDetectedFamily) {
  std::string strModel, strRevision;
  m_bios = {EBiosFamily::Ami, "P4X5A", "00"};
  ASSERT_TRUE(m_board.GetBiosModel(&strModel));
  ASSERT_TRUE(m_board.GetBiosRevision(&strRevision));
  EXPECT_EQ("P4X5A", strModel);
  EXPECT_EQ("00", strRevision);  // only Award asks WMI
  EXPECT_TRUE(m_wmi.m_vecCalls.empty());

  m_bios = {EBiosFamily::Award, "AB9", "00"};
  m_wmi.m_value.eType = SWmiValue::String;
  m_wmi.m_value.strValue = "REV:05)";
  ASSERT_TRUE(m_board.GetBiosRevision(&strRevision));
  EXPECT_EQ("05", strRevision);

  m_bios = {EBiosFamily::None, "", ""};
  EXPECT_FALSE(m_board.GetBiosModel(&strModel));
  EXPECT_FALSE(m_board.GetBiosRevision(&strRevision));
}

TEST(BoardVersionText, GivesTheNumberBetweenColonAndParenthesis) {
  struct {
    const char* pszVersion;
    const char* pszRevision;
  } const cases[] = {
      {"REV:05)", "05"}, {"Rev 1.xx (REV:5)", "05"},
      {"NULL", "00"},    {"", "00"},
      {"7)", "07"},      {"REV:)", "00"},
      {"REV:ab)", "00"}, {"REV: 12)", "12"},
      {"REV:05", "00"},  {"1.0", "00"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.pszRevision, CBoardIdentity::RevisionFromBoardVersion(c.pszVersion))
        << c.pszVersion;
}

TEST_F(CBoardTest, WmiQueryRunsTheComStepsInOrderAndReleasesThem) {
  m_wmi.m_value.eType = SWmiValue::Int32;
  m_wmi.m_value.nValue = 7;
  {
    CWmiQuery query(m_wmi, m_ui);
    ASSERT_TRUE(query.Connect(CWmiQuery::kCimNamespace));
    EXPECT_EQ("7", query.GetFirstInstanceProperty("Win32_BaseBoard", "Version"));
  }
  EXPECT_EQ((std::vector<std::string>{"CoInitialize", "InitializeSecurity", "Wait", "CreateLocator",
                                      "Connect \\\\.\\root\\cimv2", "EndWait", "Wait",
                                      "Get Win32_BaseBoard.Version 1000", "EndWait", "Release",
                                      "CoUninitialize"}),
            m_wmi.m_vecCalls);
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());
}

TEST_F(CBoardTest, WmiFailuresSayWhatFailedAndYieldNull) {
  struct {
    HResult CFakeWmiPort::*pStep;
    HResult hr;
    const char* pszMessage;
  } const cases[] = {
      {&CFakeWmiPort::m_hrInitialize, -1, "Failed to initialize OLE"},
      {&CFakeWmiPort::m_hrSecurity, -1, "Failed to fix security"},
      {&CFakeWmiPort::m_hrLocator, -1, "Failed to create IWbemLocator object"},
      {&CFakeWmiPort::m_hrConnect, -1, "Bad namespace"},
      {&CFakeWmiPort::m_hrEnum, -1, "CreateInstanceEnum() failed:"},
  };
  for (const auto& c : cases) {
    CFakeWmiPort wmi;
    CFakeUi ui;
    wmi.m_value.eType = SWmiValue::String;
    wmi.m_value.strValue = "REV:05)";
    wmi.*c.pStep = c.hr;
    std::string strText;
    {
      CWmiQuery query(wmi, ui);
      query.Connect(CWmiQuery::kCimNamespace);
      strText = query.GetFirstInstanceProperty("Win32_BaseBoard", "Version");
    }
    ASSERT_FALSE(ui.m_vecBoxes.empty()) << c.pszMessage;
    EXPECT_EQ(c.pszMessage, ui.m_vecBoxes[0].strText);
    EXPECT_EQ("", ui.m_vecBoxes[0].strCaption);
    EXPECT_EQ(kMbOk, ui.m_vecBoxes[0].dwFlags);
    if (c.pStep != &CFakeWmiPort::m_hrSecurity) {
      EXPECT_EQ("NULL", strText) << c.pszMessage;
    }
    // COM is uninitialised exactly when it was initialised.
    bool bUninit = !wmi.m_vecCalls.empty() && wmi.m_vecCalls.back() == "CoUninitialize";
    EXPECT_EQ(c.pStep != &CFakeWmiPort::m_hrInitialize, bUninit) << c.pszMessage;
    EXPECT_EQ(0, wmi.m_nServicesAlive);
  }
  // COM already initialised on the thread: security is left as it is.
  CFakeWmiPort wmi;
  wmi.m_hrInitialize = kSFalse;
  { CWmiQuery query(wmi, m_ui); }
  EXPECT_EQ((std::vector<std::string>{"CoInitialize", "CoUninitialize"}), wmi.m_vecCalls);
}

// ------------------------------------------------------------- matching --

const char kModels[] =
    "[SUPPORT_MODEL]\r\n"
    "model01=KT7 \r\n"
    "model02=AB9   \t(board)\r\n"
    "model03=IC7\r\n"
    "model04=IC78089\r\n"
    "model05=\r\n"
    "model06=LATE\r\n"
    "[KT7]\r\nsupport=10\r\n"
    "[AB9]\r\n"
    "support=16,15,14\r\nfiles=2\r\nversions=16,15\r\n"
    "16=ab9_16.bin,1A2B,2005/10/1\r\n15=ab9_15.bin,3C4D,2005/9/30\r\n"
    "NoClearCMOS=1\r\nNoFlashBootBlock=2\r\nNoClearDMI= 1\r\nRebootMessage=Unplug power\r\n"
    "[IC7]\r\nSID1=8089\r\nSID2=80AB\r\nsupport=99\r\n"
    "[IC78089]\r\nsupport=21,20\r\nfiles=1\r\nversions=21\r\n21=ic7_21.bin,0000\r\n";

TEST_F(CBoardTest, ModelSectionIsFoundByTheFirstTokenOfTheListEntry) {
  UseInfo(kModels);
  std::string strSection;
  ASSERT_TRUE(m_board.FindModelSection("AB9", &strSection));
  EXPECT_EQ("AB9", strSection);
  ASSERT_TRUE(m_board.FindModelSection("KT7", &strSection));
  EXPECT_EQ("KT7", strSection);
  EXPECT_FALSE(m_board.FindModelSection("LATE", &strSection));  // after the empty entry
  EXPECT_FALSE(m_board.FindModelSection("ab9", &strSection));
}

TEST_F(CBoardTest, ModelWithSidVariantsNeedsTheEntrySpellingModelAndSid) {
  UseInfo(kModels);
  std::string strSection;
  m_board.m_strBoardSID = "8089";
  ASSERT_TRUE(m_board.FindModelSection("IC7", &strSection));
  EXPECT_EQ("IC78089", strSection);
  m_board.m_strBoardSID = "80AB";  // listed as SID2, but no "IC780AB" entry
  EXPECT_FALSE(m_board.FindModelSection("IC7", &strSection));
  m_board.m_strBoardSID = "";  // the second walk meets the SID keys again and ends
  EXPECT_FALSE(m_board.FindModelSection("IC7", &strSection));
  int nEntries = 0;
  EXPECT_EQ(kMsgModelNotSupported, m_board.BuildUpdateList("IC7", &nEntries));
}

TEST_F(CBoardTest, UpdateListOffersTheRevisionsBeforeTheInstalledOne) {
  UseInfo(kModels);
  int nEntries = 0;
  ASSERT_EQ(0u, m_board.BuildUpdateList("AB9", &nEntries));
  EXPECT_EQ(2, nEntries);
  EXPECT_EQ((std::vector<std::string>{"16", "15", "14"}), m_board.m_arrSupport);
  EXPECT_EQ(3, m_board.m_nSupportCount);
  EXPECT_EQ((std::vector<std::string>{"ab9_16.bin,1A2B,2005/10/1", "ab9_15.bin,3C4D,2005/9/30"}),
            m_board.m_arrBiosEntries);
  EXPECT_TRUE(m_board.m_Restrictions.bNoClearCMOS);
  EXPECT_FALSE(m_board.m_Restrictions.bNoFlashBootBlock);  // on only when the value is 1
  EXPECT_TRUE(m_board.m_Restrictions.bNoClearDMI);         // read as atoi reads it
  EXPECT_FALSE(m_board.m_Restrictions.bNoFlashNvRam);
  EXPECT_EQ("Unplug power", m_board.m_strRebootMsg);

  m_bios.m_strRevision = "16";
  EXPECT_EQ(kMsgAlreadyUpToDate, m_board.BuildUpdateList("AB9", &nEntries));
  m_bios.m_strRevision = "13";
  EXPECT_EQ(kMsgBiosNotSupported, m_board.BuildUpdateList("AB9", &nEntries));
  EXPECT_EQ(kMsgModelNotSupported, m_board.BuildUpdateList("ZZ1", &nEntries));
  m_bios.m_eFamily = EBiosFamily::None;
  EXPECT_EQ(kMsgBiosNotSupported, m_board.BuildUpdateList("AB9", &nEntries));
}

TEST_F(CBoardTest, UpdateListFollowsFilesVersionsAndSupportRules) {
  struct {
    const char* pszName;
    const char* pszSection;
    const char* pszRevision;
    uint32_t nResult;
    std::vector<std::string> vecSupport;
    std::vector<std::string> vecEntries;
  } const cases[] = {
      {"files 0 with versions",
       "support=16,15,14\r\nfiles=0\r\nversions=16,15\r\n16=a\r\n",
       "14",
       kMsgNoFileInList,
       {"16", "15", "14"},
       {}},
      {"files missing",
       "support=16,14\r\nversions=16\r\n16=a\r\n",
       "14",
       kMsgNoFileInList,
       {"16", "14"},
       {}},
      {"files 1 examines the first code only",
       "support=16,15,14\r\nfiles=1\r\nversions=16,15\r\n"
       "16=a\r\n15=b\r\n",
       "14",
       0,
       {"16", "15", "14"},
       {"a"}},
      {"files beyond the list",
       "support=16,14\r\nfiles=2000000000\r\nversions=16\r\n16=a\r\n",
       "14",
       0,
       {"16", "14"},
       {"a"}},
      {"single code",
       "support=14\r\nfiles=1\r\nversions=14\r\n",
       "14",
       kMsgAlreadyUpToDate,
       {"14"},
       {}},
      {"empty support", "support=\r\nfiles=1\r\n", "14", kMsgBiosNotSupported, {}, {}},
      {"missing support", "files=1\r\n", "14", kMsgBiosNotSupported, {}, {}},
      {"long code without comma is the last code",
       "support=16,1234567\r\nfiles=1\r\n",
       "1234567",
       kMsgAlreadyUpToDate,
       {"16", "1234567"},
       {}},
      {"long single code",
       "support=ABCDEFG\r\nfiles=1\r\n",
       "ABCDEFG",
       kMsgAlreadyUpToDate,
       {"ABCDEFG"},
       {}},
      {"code absent from support is never offered",
       "support=16,14\r\nfiles=2\r\nversions=17,16\r\n17=x\r\n16=a\r\n",
       "14",
       0,
       {"16", "14"},
       {"a"}},
      {"offered code without its key gives an empty entry",
       "support=16,14\r\nfiles=1\r\nversions=16\r\n",
       "14",
       0,
       {"16", "14"},
       {""}},
  };
  for (const auto& c : cases) {
    UseInfo(std::string("[SUPPORT_MODEL]\r\nmodel01=M1\r\n[M1]\r\n") + c.pszSection);
    m_bios.m_strRevision = c.pszRevision;
    int nEntries = -1;
    EXPECT_EQ(c.nResult, m_board.BuildUpdateList("M1", &nEntries)) << c.pszName;
    if (!c.vecSupport.empty()) {
      EXPECT_EQ(c.vecSupport, m_board.m_arrSupport) << c.pszName;
    }
    EXPECT_EQ(c.vecEntries, m_board.m_arrBiosEntries) << c.pszName;
    if (c.nResult == 0) {
      EXPECT_EQ(static_cast<int>(c.vecEntries.size()), nEntries) << c.pszName;
    }
  }
}

TEST_F(CBoardTest, ListsStopAtTheirLimits) {
  // 200 support codes (a line of 809 characters) and 100 offered versions.
  std::string strSupport, strVersions, strKeys;
  for (int i = 0; i < 200; ++i) {
    std::string strCode = std::to_string(100 + i);
    strSupport += strCode + ",";
    if (i < 100) {
      strVersions += (i ? "," : "") + strCode;
      strKeys += strCode + "=file" + strCode + "\r\n";
    }
  }
  strSupport += "ZZ";
  UseModel(strSupport, 100, strVersions, strKeys);
  // "support" is read through a 256-byte buffer: 63 codes with their ',' and
  // a last one; the rest of the line is cut off.
  m_bios.m_strRevision = "162";
  int nEntries = 0;
  ASSERT_EQ(0u, m_board.BuildUpdateList("M1", &nEntries));
  EXPECT_EQ(64u, m_board.m_arrSupport.size());
  EXPECT_EQ(62, nEntries);  // codes 100..161 stand before 162

  // The 256-byte read bounds any list: of 500 one-character codes, 126 are
  // split off and the last three characters form the last code.
  std::string strShort;
  for (int i = 0; i < 500; ++i) strShort += "1,";
  UseInfo("[SUPPORT_MODEL]\r\nmodel01=M1\r\n[M1]\r\nsupport=" + strShort + "\r\nfiles=1\r\n");
  m_bios.m_strRevision = "1";
  EXPECT_EQ(kMsgAlreadyUpToDate, m_board.BuildUpdateList("M1", &nEntries));
  ASSERT_EQ(127u, m_board.m_arrSupport.size());
  EXPECT_EQ("1,1", m_board.m_arrSupport.back());
}

TEST_F(CBoardTest, CodeAbsentFromALongSupportListIsNeverOffered) {
  // 105 codes before the installed one: an absent code must not rank
  // before it, however far down the list it stands.
  std::string strSupport;
  for (int i = 0; i < 105; ++i) strSupport += "a,";
  UseModel(strSupport + "RR", 2, "Z,a", "Z=absent\r\na=listed\r\n");
  m_bios.m_strRevision = "RR";
  int nEntries = 0;
  ASSERT_EQ(0u, m_board.BuildUpdateList("M1", &nEntries));
  EXPECT_EQ((std::vector<std::string>{"listed"}), m_board.m_arrBiosEntries);
  EXPECT_FALSE(m_board.IsNewerRevision("Z"));
  EXPECT_TRUE(m_board.IsNewerRevision("a"));
  EXPECT_FALSE(m_board.IsNewerRevision(""));
  EXPECT_TRUE(m_board.IsRevisionSupported());
}

TEST_F(CBoardTest, OfferedEntriesStopAtSixtyFour) {
  std::string strSupport, strVersions, strKeys;
  for (int i = 0; i < 80; ++i) {
    std::string strCode{static_cast<char>('A' + i / 10), static_cast<char>('0' + i % 10)};
    strSupport += strCode + ",";
    strVersions += strCode + ",";
    strKeys += strCode + "=e\r\n";
  }
  strSupport += "~";
  UseModel(strSupport, 80, strVersions, strKeys);
  m_bios.m_strRevision = "~";
  int nEntries = 0;
  ASSERT_EQ(0u, m_board.BuildUpdateList("M1", &nEntries));
  EXPECT_EQ(64, nEntries);
}

TEST_F(CBoardTest, StartUpFlagsComeFromTheMatchedSectionOfTheLocalFile) {
  std::vector<uint8_t> vec(std::begin(kModels), std::end(kModels) - 1);
  m_fs.m_mapFiles[kLocal] = CInfoFileOperations::ToStoredForm(vec);
  m_board.ReadModelFlags("AB9");
  EXPECT_TRUE(m_board.m_Restrictions.bNoClearCMOS);
  EXPECT_TRUE(m_board.m_Restrictions.bNoClearDMI);
  EXPECT_EQ(1, m_info.GetInt("KT7", "support", 0) / 10);  // the main reader holds the file

  CBoardIdentity other(m_ports, m_bios, m_info, "C:\\missing.sys", false);
  other.ReadModelFlags("AB9");
  EXPECT_FALSE(other.m_Restrictions.bNoClearCMOS);
  m_board.ReadModelFlags("ZZ1");  // not listed: flags unchanged
  EXPECT_TRUE(m_board.m_Restrictions.bNoClearCMOS);
}

TEST_F(CBoardTest, UpdateFromFileFlagsReadTheModelSectionAndExplainInDebugMode) {
  m_state.SetDebug(true);
  UseInfo(
      "[AB9]\r\nNoClearCMOS=1\r\nNoLoadCMOSDefault=10\r\nNoFlashBootBlock=0\r\n"
      "NoClearPNP= 1\r\nNoFlashNvRam=1x\r\nRebootMessage=Turn off\r\n");
  m_board.ReadUpdateFileFlags("AB9");
  std::vector<std::string> vecTexts;
  for (const auto& box : m_ui.m_vecBoxes) vecTexts.push_back(box.strText);
  EXPECT_EQ((std::vector<std::string>{"AB9", "m_bNoClearCMOS = true", "m_bNoLoadCMOSDefault = true",
                                      "m_bNoFlashBootBlock = false", "m_bNoClearPNP = false",
                                      "m_bNoClearDMI = false", "m_bNoFlashNvRam = true",
                                      "m_strRebootMsg = pcMsgTemp", "Turn off"}),
            vecTexts);
  EXPECT_EQ("Tessaro", m_ui.m_vecBoxes[0].strCaption);
  EXPECT_EQ("Turn off", m_board.m_strRebootMsg);

  UseInfo("[AB9]\r\nNoClearCMOS=0\r\n");
  m_ui.m_vecBoxes.clear();
  m_board.ReadUpdateFileFlags("AB9");
  EXPECT_FALSE(m_board.m_Restrictions.bNoClearCMOS);
  EXPECT_EQ("", m_board.m_strRebootMsg);
  EXPECT_EQ("m_strRebootMsg = Empty", m_ui.m_vecBoxes.back().strText);

  m_state.SetDebug(false);
  m_ui.m_vecBoxes.clear();
  m_fs.m_mapFiles.erase(kLocal);
  m_board.m_Restrictions.bNoClearCMOS = true;
  m_board.ReadUpdateFileFlags("AB9");  // no file: silent, flags unchanged
  EXPECT_TRUE(m_board.m_Restrictions.bNoClearCMOS);
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());
}

TEST_F(CBoardTest, RestrictionsSwitchTheirOptionsOff) {
  FlashOptions options;
  for (size_t i = 0; i < kOptionCount; ++i) options[i] = 1;
  m_board.m_Restrictions.bNoClearCMOS = true;
  m_board.m_Restrictions.bNoFlashNvRam = true;
  m_board.m_Restrictions.bNoFlashBootBlock = true;
  m_board.ApplyRestrictions(&options);
  for (size_t i = 0; i < kOptionCount; ++i) {
    bool bOff = i == kOptClearCMOS || i == kOptNvRam || i == kOptBootBlock;
    EXPECT_EQ(bOff ? 0 : 1, options[i]) << i;
  }
}

}  // namespace
