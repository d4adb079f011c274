#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/WinTypes.h"
#include "platform/fake/Fakes.h"
#include "tessaro/core/SystemInfo.h"

namespace {

struct SVersionCase {
  uint32_t dwPlatform, dwMajor, dwMinor;
  bool bWow64;
  // expected flags
  bool bWin9x, bWinNT, bWin95, bWin98, bWinMe, bOther9x, bWin2000, bXP, bXPWow64, b2003, bVista,
      bVistaWow64;
};

class SystemInfoFlags : public ::testing::TestWithParam<SVersionCase> {};

TEST_P(SystemInfoFlags, FollowTheVersionRecord) {
  const SVersionCase& c = GetParam();
  CFakeSystem system;
  CFakePowerPort power;
  CFakeUi ui;
  system.m_version.dwPlatformId = c.dwPlatform;
  system.m_version.dwMajorVersion = c.dwMajor;
  system.m_version.dwMinorVersion = c.dwMinor;
  system.m_bWow64 = c.bWow64;
  CSystemInfo info(system, power, ui);
  EXPECT_EQ(c.bWin9x, info.IsWin9x());
  EXPECT_EQ(c.bWin9x, info.m_bWin9xFamily);
  EXPECT_EQ(c.bWinNT, info.IsWinNT());
  EXPECT_EQ(c.bWin95, info.m_bWin95);
  EXPECT_EQ(c.bWin98, info.m_bWin98);
  EXPECT_EQ(c.bWinMe, info.m_bWinMe);
  EXPECT_EQ(c.bOther9x, info.m_bWin9xOther);
  EXPECT_EQ(c.bWin2000, info.m_bWin2000);
  EXPECT_EQ(c.bXP, info.m_bWinXP);
  EXPECT_EQ(c.bXPWow64, info.m_bWinXPWow64);
  EXPECT_EQ(c.b2003, info.m_bWin2003);
  EXPECT_EQ(c.b2003, info.m_bWin2003Family);
  EXPECT_EQ(c.bVista, info.m_bVista);
  EXPECT_EQ(c.bVistaWow64, info.m_bVistaWow64);
  EXPECT_EQ(c.bWow64, info.m_bWow64);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Versions, SystemInfoFlags, ::testing::Values(
  //            plat maj min wow64  9x     NT     95     98     Me     o9x    2000   XP     XPw    2003   Vista  Vw
  SVersionCase{1,   4,  0,  false, true,  false, true,  false, false, false, false, false, false, false, false, false},
  SVersionCase{1,   4,  10, false, true,  false, false, true,  false, false, false, false, false, false, false, false},
  SVersionCase{1,   4,  90, false, true,  false, false, false, true,  false, false, false, false, false, false, false},
  // A 9x minor version outside 0/10/90 is only "other 9x": not the family.
  SVersionCase{1,   4,  3,  false, false, false, false, false, false, true,  false, false, false, false, false, false},
  SVersionCase{2,   5,  0,  false, false, true,  false, false, false, false, true,  false, false, false, false, false},
  SVersionCase{2,   5,  1,  false, false, true,  false, false, false, false, false, true,  false, false, false, false},
  SVersionCase{2,   5,  1,  true,  false, true,  false, false, false, false, false, false, true,  false, false, false},
  SVersionCase{2,   5,  2,  false, false, true,  false, false, false, false, false, false, false, true,  false, false},
  SVersionCase{2,   6,  0,  false, false, true,  false, false, false, false, false, false, false, false, true,  false},
  SVersionCase{2,   6,  1,  true,  false, true,  false, false, false, false, false, false, false, false, false, true},
  SVersionCase{2,   10, 0,  false, false, true,  false, false, false, false, false, false, false, false, false, false}));
// clang-format on

TEST(SystemInfo, CopiesTheServicePackOnNtOnly) {
  CFakeSystem system;
  CFakePowerPort power;
  CFakeUi ui;
  std::strcpy(system.m_version.szCSDVersion, "Service Pack 2");
  EXPECT_EQ("Service Pack 2", CSystemInfo(system, power, ui).m_strServicePack);
  system.m_version.dwPlatformId = kPlatformWin9x;
  EXPECT_EQ("", CSystemInfo(system, power, ui).m_strServicePack);
}

TEST(SystemInfo, FailedVersionCallLeavesEveryFlagOff) {
  CFakeSystem system;
  CFakePowerPort power;
  CFakeUi ui;
  system.m_bVersionFails = true;
  CSystemInfo info(system, power, ui);
  EXPECT_FALSE(info.IsWin9x());
  EXPECT_FALSE(info.IsWinNT());
}

TEST(SystemInfo, Wow64IsFalseWhenTheFunctionIsMissing) {
  CFakeSystem system;
  system.m_bWow64 = true;
  EXPECT_TRUE(IsWow64(system));
  system.m_bHasWow64Function = false;
  EXPECT_FALSE(IsWow64(system));
}

TEST(LanguageTable, HasThirtyUniqueRowsWithThreeLetterCodes) {
  size_t nCount = 0;
  const SLanguageCode* pTable = GetLanguageTable(&nCount);
  ASSERT_EQ(30u, nCount);
  std::set<uint16_t> setIds;
  for (size_t i = 0; i < nCount; ++i) {
    EXPECT_TRUE(setIds.insert(pTable[i].wLangId).second) << std::hex << pTable[i].wLangId;
    EXPECT_EQ(3u, std::strlen(pTable[i].pszCode));
  }
}

TEST(LanguageTable, MatchesTheFullLanguageId) {
  CFakeSystem system;
  CFakePowerPort power;
  CFakeUi ui;
  CSystemInfo info(system, power, ui);
  struct {
    uint16_t wLangId;
    const char* pszCode;
  } const aCases[] = {
      {0x0C0C, "FRC"}, {0x040C, "FRA"}, {0x0407, "DEU"}, {0x0807, ""},  // Swiss German: no row
      {0x0816, "PTG"}, {0x0416, "PTB"}, {0x041F, "TUR"}, {0x0000, ""},
  };
  for (const auto& c : aCases) {
    system.m_wLangId = c.wLangId;
    EXPECT_EQ(c.pszCode, info.GetLanguageCode()) << std::hex << c.wLangId;
  }
}

TEST(Reboot, NtEnablesThePrivilegeThenForcesTheRestart) {
  CFakeSystem system;
  CFakePowerPort power;
  CFakeUi ui;
  CSystemInfo(system, power, ui).Reboot();
  EXPECT_EQ(1, power.m_nPrivilegeRequests);
  ASSERT_EQ(1u, power.m_vecExitFlags.size());
  EXPECT_EQ(kEwxReboot | kEwxForce, power.m_vecExitFlags[0]);
  EXPECT_TRUE(ui.m_vecBoxes.empty());
}

TEST(Reboot, NtWithoutThePrivilegeSaysSoAndKeepsWindowsRunning) {
  CFakeSystem system;
  CFakePowerPort power;
  CFakeUi ui;
  power.m_bPrivilegeGranted = false;
  CSystemInfo(system, power, ui).Reboot();
  EXPECT_TRUE(power.m_vecExitFlags.empty());
  ASSERT_EQ(1u, ui.m_vecBoxes.size());
  EXPECT_EQ("You don't have privilege to shutdown Windows.", ui.m_vecBoxes[0].strText);
  EXPECT_EQ("", ui.m_vecBoxes[0].strCaption);
  EXPECT_EQ(0u, ui.m_vecBoxes[0].hOwner);
  EXPECT_EQ(kMbOk, ui.m_vecBoxes[0].dwFlags);
}

TEST(Reboot, Win9xRestartsWithoutAskingForAPrivilege) {
  CFakeSystem system;
  CFakePowerPort power;
  CFakeUi ui;
  system.m_version.dwPlatformId = kPlatformWin9x;
  system.m_version.dwMinorVersion = 10;
  CSystemInfo(system, power, ui).Reboot();
  EXPECT_EQ(0, power.m_nPrivilegeRequests);
  ASSERT_EQ(1u, power.m_vecExitFlags.size());
  EXPECT_EQ(kEwxReboot, power.m_vecExitFlags[0]);
}

TEST(Directories, EndInExactlyOneBackslash) {
  CFakeSystem system;
  char sz[kDirectoryBufferSize];
  EXPECT_EQ(20, GetSystemDirectoryPath(system, sz, sizeof(sz)));
  EXPECT_STREQ("C:\\windows\\system32\\", sz);
  EXPECT_EQ(17, GetTempDirectory(system, sz, sizeof(sz)));  // already ends in one
  EXPECT_STREQ("C:\\users\\me\\Temp\\", sz);
  EXPECT_EQ(8, GetCurrentDirectoryPath(system, sz, sizeof(sz)));
  EXPECT_STREQ("C:\\work\\", sz);
  EXPECT_EQ(25, GetProgramDirectory(system, sz, sizeof(sz)));
  EXPECT_STREQ("C:\\Program Files\\Tessaro\\", sz);
}

TEST(Directories, TooSmallBufferGivesZeroAndAnEmptyText) {
  CFakeSystem system;
  system.m_strCurrentDir = "C:\\work";  // 8 characters with the backslash
  char sz[16];
  std::memset(sz, 'x', sizeof(sz));
  EXPECT_EQ(0, GetCurrentDirectoryPath(system, sz, 8));  // no room for the NUL
  EXPECT_EQ('\0', sz[0]);
  EXPECT_EQ('x', sz[8]);  // nothing written past the buffer
  EXPECT_EQ(8, GetCurrentDirectoryPath(system, sz, 9));
  EXPECT_STREQ("C:\\work\\", sz);
}

TEST(Directories, FailureGivesZero) {
  CFakeSystem system;
  char sz[kDirectoryBufferSize];
  system.m_strModuleFile = "Tessaro.exe";  // no directory part
  EXPECT_EQ(0, GetProgramDirectory(system, sz, sizeof(sz)));
  EXPECT_STREQ("", sz);
  system.m_bDirectoriesFail = true;
  EXPECT_EQ(0, GetSystemDirectoryPath(system, sz, sizeof(sz)));
  EXPECT_EQ(0, GetTempDirectory(system, sz, sizeof(sz)));
}

}  // namespace
