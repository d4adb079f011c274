// The Win32 ports against the real (Wine) system.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/WinTypes.h"
#include "platform/win/DirectIoPort_win.h"
#include "platform/win/Platform_win.h"
#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/core/StringTable.h"
#include "tessaro/core/SystemInfo.h"

namespace {

class CRecordingUi : public IUiPort {
 public:
  std::vector<std::string> m_vecTexts;
  std::vector<std::string> m_vecCaptions;
  int ShowMessageBox(WindowRef, const std::string& strText, const std::string& strCaption,
                     uint32_t) override {
    m_vecTexts.push_back(strText);
    m_vecCaptions.push_back(strCaption);
    return kIdOk;
  }
};

std::string ProgramDirectory() {
  char sz[kDirectoryBufferSize];
  GetProgramDirectory(*GetWin32Platform().pSystem, sz, sizeof(sz));
  return sz;
}

TEST(Win32Registry, OptionsRoundTripUnderTheTessaroKey) {
  SPlatform& p = GetWin32Platform();
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_pszOptionsKey);
  FlashOptions stored = DefaultFlashOptions();
  for (size_t i = 0; i < kOptionCount; ++i) stored[i] = static_cast<uint8_t>(i % 3 == 0);
  SaveOptions(*p.pRegistry, *p.pSystem, stored);

  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\ULVO\\Tessaro", 0,
                                         KEY_READ | KEY_SET_VALUE, &hKey));
  for (size_t i = 0; i < kOptionCount; ++i) {
    DWORD dwValue = 99, dwType = 0, dwSize = sizeof(dwValue);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(hKey, g_apszOptionNames[i], nullptr, &dwType,
                                              reinterpret_cast<BYTE*>(&dwValue), &dwSize));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), dwType);
    EXPECT_EQ(stored[i], dwValue) << g_apszOptionNames[i];
  }
  DWORD dwSeven = 7;
  RegSetValueExA(hKey, "LoadCMOSDefault", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dwSeven), 4);
  RegCloseKey(hKey);

  FlashOptions loaded = DefaultFlashOptions();
  loaded.ClearDMI = 0;
  LoadOptions(*p.pRegistry, *p.pSystem, &loaded);
  stored.LoadCMOSDefault = 1;
  for (size_t i = 0; i < kOptionCount; ++i) EXPECT_EQ(stored[i], loaded[i]) << g_apszOptionNames[i];
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_pszOptionsKey);
}

TEST(Win32Directories, AreRealPathsWithATrailingBackslash) {
  ISystem& system = *GetWin32Platform().pSystem;
  char sz[kDirectoryBufferSize];
  int (*apfn[])(ISystem&, char*, int) = {GetProgramDirectory, GetSystemDirectoryPath,
                                         GetTempDirectory, GetCurrentDirectoryPath};
  for (auto pfn : apfn) {
    int n = pfn(system, sz, sizeof(sz));
    ASSERT_GT(n, 3);
    EXPECT_EQ('\\', sz[n - 1]);
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(sz));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(sz)) << sz;
  }
  EXPECT_EQ(0, GetSystemDirectoryPath(system, sz, 4));
}

TEST(Win32Resources, BuiltinTextsEqualTheSourceByteForByte) {
  SPlatform& p = GetWin32Platform();
  CResources resources(*p.pModules);
  size_t nCount = 0;
  const SStringEntry* pEntries = GetBuiltinStrings(&nCount);
  for (size_t i = 0; i < nCount; ++i)
    EXPECT_EQ(pEntries[i].pszText, resources.GetString(pEntries[i].nId)) << pEntries[i].nId;

  CRecordingUi ui;
  CMessageHelper msg(resources, ui);
  msg.ShowError(774);
  msg.ShowInfo(790, kCaptionDownload);
  msg.ShowError(799, 0);
  EXPECT_EQ(FindBuiltinString(774), ui.m_vecTexts[0]);
  EXPECT_EQ("Tessaro", ui.m_vecCaptions[0]);
  EXPECT_EQ("Flash ROM  is write protected!", ui.m_vecTexts[1]);
  EXPECT_EQ("Tessaro (Download)", ui.m_vecCaptions[1]);
  EXPECT_EQ("", ui.m_vecCaptions[2]);
}

TEST(Win32Resources, SatelliteTextsAreServedWhenTheLibraryExists) {
  SPlatform& p = GetWin32Platform();
  CResources resources(*p.pModules);
  ASSERT_TRUE(resources.LoadSatellite(CResources::SatelliteName(ProgramDirectory(), "DEU")));
  const std::string strGerman = resources.GetString(751);
  EXPECT_FALSE(strGerman.empty());
  EXPECT_NE(FindBuiltinString(751), strGerman);
  EXPECT_EQ("Tessaro", resources.GetString(610));
  resources.Release();
  EXPECT_EQ(FindBuiltinString(751), resources.GetString(751));

  EXPECT_FALSE(resources.LoadSatellite(CResources::SatelliteName(ProgramDirectory(), "FRA")));
  EXPECT_EQ(FindBuiltinString(751), resources.GetString(751));
}

TEST(Win32Resources, UserLanguageFollowsTheLocale) {
  // The test command runs this binary with LANG=de_DE.UTF-8 and a built
  // locale; elsewhere the language is whatever the machine has.
  const char* pszLang = getenv("LANG");
  if (!pszLang || std::strncmp(pszLang, "de_DE", 5) != 0) GTEST_SKIP() << "not a German locale";
  SPlatform& p = GetWin32Platform();
  CSystemInfo info(*p.pSystem, *p.pPower, *p.pUi);
  EXPECT_EQ("DEU", info.GetLanguageCode());
}

TEST(Win32SystemInfo, WineReportsAnNtSystemWithoutWow64) {
  SPlatform& p = GetWin32Platform();
  CSystemInfo info(*p.pSystem, *p.pPower, *p.pUi);
  EXPECT_TRUE(info.IsWinNT());
  EXPECT_FALSE(info.IsWin9x());
  EXPECT_FALSE(IsWow64(*p.pSystem));  // a 32-bit prefix
}

TEST(Win32DirectIo, NtFamilyGetsNoPortAndThePortRefusesEverythingThere) {
  SPlatform& p = GetWin32Platform();
  CSystemInfo info(*p.pSystem, *p.pPower, *p.pUi);
  IDirectIoPort& port = GetWin32DirectIoPort();
  EXPECT_EQ(nullptr, SelectDirectIoPort(info, port));
  // Handed over anyway, it executes nothing (IN/OUT would fault here) and
  // touches no memory of the caller's.
  uint8_t by = 0x5A;
  EXPECT_FALSE(port.PortIn(0x80, &by));
  EXPECT_EQ(0x5A, by);
  EXPECT_FALSE(port.PortOut(0x80, 0x01));
  SX86Registers regs = {0x2E, 1, 2, 3, 4, 5};
  EXPECT_FALSE(port.RaiseSmi(0xB2, &regs));
  EXPECT_EQ(0x2Eu, regs.dwEax);
  EXPECT_EQ(3u, regs.dwEdx);
  uint8_t aby[16];
  std::memset(aby, 0xCC, sizeof(aby));
  EXPECT_FALSE(port.ReadPhysical(0xF0000, aby, sizeof(aby)));
  EXPECT_EQ(0xCC, aby[0]);
}

TEST(Win32Power, ShutdownPrivilegeCanBeEnabled) {
  // Only the privilege step: the restart itself is never requested here.
  EXPECT_TRUE(GetWin32Platform().pPower->EnableShutdownPrivilege());
}

}  // namespace
