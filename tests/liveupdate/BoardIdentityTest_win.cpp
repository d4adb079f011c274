// Device enumeration, WMI and the information-file operations against the
// real (Wine) system.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/fake/Fakes.h"
#include "platform/win/Platform_win.h"
#include "platform/win/SetupApiPort_win.h"
#include "platform/win/WmiPort_win.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/liveupdate/BoardIdentity.h"
#include "tessaro/liveupdate/InfoFileOperations.h"
#include "tessaro/liveupdate/WmiQuery.h"

namespace {

// A PCI IDE controller as the device registry describes one: the device
// key named by its hardware id, one instance below it.
const char kDeviceId[] = "PCI\\VEN_8086&DEV_27C0&SUBSYS_80891043&REV_01";
const char kDeviceKey[] =
    "System\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_27C0&SUBSYS_80891043&REV_01";
const char kInstance[] = "3&11583659&0&FA";

class CFakeController {
 public:
  explicit CFakeController(const char* pszClass) {
    std::string strKey = std::string(kDeviceKey) + "\\" + kInstance;
    HKEY hKey = nullptr;
    m_bOk = RegCreateKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &hKey, nullptr) == ERROR_SUCCESS;
    if (!m_bOk) return;
    std::string strIds = std::string(kDeviceId) + '\0' + "PCI\\VEN_8086&DEV_27C0" + '\0' + '\0';
    RegSetValueExA(hKey, "HardwareID", 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(strIds.data()), static_cast<DWORD>(strIds.size()));
    RegSetValueExA(hKey, "Class", 0, REG_SZ, reinterpret_cast<const BYTE*>(pszClass),
                   static_cast<DWORD>(strlen(pszClass) + 1));
    const char szGuid[] = "{4D36E96A-E325-11CE-BFC1-08002BE10318}";
    RegSetValueExA(hKey, "ClassGUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(szGuid),
                   sizeof(szGuid));
    RegCloseKey(hKey);
  }
  ~CFakeController() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDeviceKey); }
  bool m_bOk = false;
};

struct SWin32Board {
  SPlatform& platform = GetWin32Platform();
  CFakeUi ui;
  CResources resources{*platform.pModules};
  CMessageHelper messages{resources, ui};
  CBiosInfoFile info{*platform.pFiles};
  CFixedBiosIdentity bios{EBiosFamily::Award, "AB9", "00"};
  SBoardIdentityPorts Ports() {
    SBoardIdentityPorts ports;
    ports.pFiles = platform.pFiles;
    ports.pRegistry = platform.pRegistry;
    ports.pDevices = &GetWin32DeviceEnumPort();
    ports.pWmi = &GetWin32WmiPort();
    ports.pUi = &ui;
    ports.pMessages = &messages;
    return ports;
  }
};

TEST(Win32SetupApi, FindsTheDiskControllerOfTheDeviceRegistry) {
  CFakeController controller("hdc");
  ASSERT_TRUE(controller.m_bOk);
  SWin32Board board;
  CBoardIdentity identity(board.Ports(), board.bios, board.info, "C:\\none.sys", false);
  std::string strSID;
  ASSERT_TRUE(identity.GetBoardSID(&strSID));
  EXPECT_EQ("8089", strSID);
}

TEST(Win32SetupApi, AnotherClassIsNoDiskController) {
  CFakeController controller("Display");
  ASSERT_TRUE(controller.m_bOk);
  SWin32Board board;
  CBoardIdentity identity(board.Ports(), board.bios, board.info, "C:\\none.sys", false);
  std::string strSID;
  EXPECT_FALSE(identity.GetBoardSID(&strSID));
}

TEST(Win32SetupApi, HardwareIdQueryReportsTheSizeItNeeds) {
  CFakeController controller("hdc");
  ASSERT_TRUE(controller.m_bOk);
  std::unique_ptr<IDeviceInfoList> pList = GetWin32DeviceEnumPort().GetPresentDevices();
  ASSERT_TRUE(pList);
  bool bSeen = false;
  for (uint32_t n = 0; pList->SelectDevice(n) && !bSeen; ++n) {
    uint8_t abySmall[4];
    uint32_t nRequired = 0, dwError = 0;
    if (pList->GetHardwareId(abySmall, sizeof(abySmall), &nRequired, &dwError)) continue;
    if (dwError != kErrorInsufficientBuffer) continue;
    std::vector<uint8_t> vec(nRequired, 0);
    ASSERT_TRUE(pList->GetHardwareId(vec.data(), nRequired, &nRequired, &dwError));
    bSeen = std::string(reinterpret_cast<const char*>(vec.data())) == kDeviceId;
  }
  EXPECT_TRUE(bSeen);
}

TEST(Win32SetupApi, Win9xRouteReadsTheDynamicBranchWhenItHasEntries) {
  // Only the 9x family fills HKEY_DYN_DATA; elsewhere it may refuse keys.
  HKEY hEntry = nullptr;
  if (RegCreateKeyExA(HKEY_DYN_DATA, "Config Manager\\Enum\\C29A5E10", 0, nullptr,
                      REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &hEntry,
                      nullptr) != ERROR_SUCCESS)
    GTEST_SKIP() << "HKEY_DYN_DATA takes no keys here";
  const std::string strHardwareKey = std::string(kDeviceId) + "\\BUS_00&DEV_1F&FUNC_02";
  RegSetValueExA(hEntry, "HardWareKey", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(strHardwareKey.c_str()),
                 static_cast<DWORD>(strHardwareKey.size() + 1));
  RegCloseKey(hEntry);
  HKEY hDevice = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("Enum\\" + strHardwareKey).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &hDevice, nullptr));
  RegSetValueExA(hDevice, "Class", 0, REG_SZ, reinterpret_cast<const BYTE*>("hdc"), 4);
  RegCloseKey(hDevice);
  SWin32Board board;
  CBoardIdentity identity(board.Ports(), board.bios, board.info, "C:\\none.sys", true);
  std::string strSID;
  bool bFound = identity.GetBoardSID(&strSID);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Enum\\PCI");
  RegDeleteKeyA(HKEY_DYN_DATA, "Config Manager\\Enum\\C29A5E10");
  ASSERT_TRUE(bFound);
  EXPECT_EQ("8089", strSID);
}

TEST(Win32SetupApi, Win9xRouteFindsNothingWithoutTheConfigurationManager) {
  SWin32Board board;
  CBoardIdentity identity(board.Ports(), board.bios, board.info, "C:\\none.sys", true);
  std::string strSID = "keep";
  EXPECT_FALSE(identity.GetBoardSID(&strSID));
  EXPECT_EQ("keep", strSID);
}

TEST(Win32Wmi, ReadsPropertiesOfTheFirstInstance) {
  CFakeUi ui;
  {
    CWmiQuery query(GetWin32WmiPort(), ui);
    ASSERT_TRUE(query.Connect(CWmiQuery::kCimNamespace));
    std::string strBuild = query.GetFirstInstanceProperty("Win32_OperatingSystem", "BuildNumber");
    EXPECT_NE("NULL", strBuild);
    EXPECT_GT(atoi(strBuild.c_str()), 0) << strBuild;
    // A missing property is no string and no integer.
    EXPECT_EQ("NULL", query.GetFirstInstanceProperty("Win32_OperatingSystem", "NoSuchProperty"));
  }
  EXPECT_TRUE(ui.m_vecBoxes.empty()) << ui.m_vecBoxes.front().strText;
}

TEST(Win32Wmi, UnknownNamespaceIsABadNamespace) {
  CFakeUi ui;
  {
    CWmiQuery query(GetWin32WmiPort(), ui);
    EXPECT_FALSE(query.Connect("\\\\.\\root\\nosuchnamespace"));
    EXPECT_EQ("NULL", query.GetFirstInstanceProperty("Win32_BaseBoard", "Version"));
  }
  ASSERT_EQ(1u, ui.m_vecBoxes.size());
  EXPECT_EQ("Bad namespace", ui.m_vecBoxes[0].strText);
}

TEST(Win32Wmi, BoardRevisionFollowsTheBoardVersion) {
  SWin32Board board;
  CBoardIdentity identity(board.Ports(), board.bios, board.info, "C:\\none.sys", false);
  std::string strRevision;
  ASSERT_TRUE(identity.GetBiosRevision(&strRevision));
  ASSERT_EQ(2u, strRevision.size());
  // Without firmware tables (a container) the version is unusable: "00".
  const char* pszExpected = getenv("TESSARO_EXPECT_BOARD_REVISION");
  if (pszExpected) {
    EXPECT_EQ(pszExpected, strRevision);
  }
  EXPECT_TRUE(board.ui.m_vecBoxes.empty()) << board.ui.m_vecBoxes.front().strText;
}

TEST(Win32InfoFile, RefreshReplacesAnOlderLocalFileOnDisk) {
  char szTemp[MAX_PATH];
  GetTempPathA(sizeof(szTemp), szTemp);
  std::string strDir = std::string(szTemp) + "infofile_test\\";
  CreateDirectoryA(strDir.c_str(), nullptr);
  SWin32Board board;
  IFileSystem& files = *board.platform.pFiles;
  auto Write = [&](const std::string& strPath, const std::string& strText) {
    std::vector<uint8_t> vec = CInfoFileOperations::ToStoredForm({strText.begin(), strText.end()});
    ASSERT_TRUE(WriteWholeFile(files, strPath, vec.data(), vec.size()));
  };
  const std::string strDownload = strDir + "temp.sys";
  Write(strDownload, "[GLOBAL]\r\ndate=2005/10/1\r\n[M]\r\nk=new\r\n");
  Write(strDir + "Tessaro.sys", "[GLOBAL]\r\ndate=2005/9/30\r\n[M]\r\nk=old\r\n");
  CInfoFileOperations ops(files, &board.ui, board.messages, board.info, strDir, strDir);
  ASSERT_TRUE(ops.VerifyInfoChecksum(strDownload));
  ASSERT_TRUE(ops.RefreshLocalInfoFile(strDownload));
  std::string strValue;
  board.info.GetString("M", "k", "", &strValue);
  EXPECT_EQ("new", strValue);
  EXPECT_FALSE(files.Exists(strDir + "Tessaro.sys.new"));
  EXPECT_TRUE(ops.CheckProgramVersion());
  DeleteFileA(strDownload.c_str());
  DeleteFileA((strDir + "Tessaro.sys").c_str());
  RemoveDirectoryA(strDir.c_str());
}

}  // namespace
