// The plug-in's Win32 system port under Wine: registry texts (cut, never
// overrun), private-profile integers, the shutdown privilege really toggled
// in the process token, the controller library missing, found and found
// without its exports, documents that come up ready, and message boxes
// answered by a robot thread (never left open: a box would block the run).
#include <windows.h>
// The port's member of that name, not the A/W macro of <windows.h>.
#undef MessageBox
#include <objbase.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include "tests/support/Wait_win.h"
#include "trivelole/PluginSystem_win.h"

namespace {

constexpr DWORD kBoxMs = 15000;

std::string ExeDirectory() {
  char sz[MAX_PATH] = {0};
  const DWORD dwLength = GetModuleFileNameA(nullptr, sz, MAX_PATH);
  const std::string str(sz, dwLength);
  return str.substr(0, str.find_last_of('\\') + 1);
}

std::string TempPath(const char* pszName) {
  char sz[MAX_PATH] = {0};
  GetTempPathA(MAX_PATH, sz);
  return std::string(sz) + pszName + "-" + std::to_string(GetCurrentProcessId());
}

// A test key under HKEY_LOCAL_MACHINE, removed with its values at the end.
class CTestKey {
 public:
  static constexpr char kSubKey[] = "Software\\TessaroTest\\TrivelPorts";

  CTestKey() {
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSubKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey,
                    nullptr);
  }
  ~CTestKey() {
    if (!m_hKey) return;
    RegCloseKey(m_hKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSubKey);
  }
  bool IsOpen() const { return m_hKey != nullptr; }
  void SetString(const char* pszName, const std::string& strValue) {
    RegSetValueExA(m_hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                   static_cast<DWORD>(strValue.size() + 1));
  }
  void SetDword(const char* pszName, DWORD dwValue) {
    RegSetValueExA(m_hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                   sizeof(dwValue));
  }

 private:
  HKEY m_hKey = nullptr;
};

TEST(Win32PluginSystem, ReadsMachineStringsCutToTheirFieldAndNothingElse) {
  CTestKey key;
  ASSERT_TRUE(key.IsOpen());
  const std::string strPath = "C:\\Program Files\\Common\\TrivelOLE.dll";
  const std::string strLong(2000, 'x');
  const std::string strFull(1023, 'y');
  key.SetString("Path", strPath);
  key.SetString("Long", strLong);
  key.SetString("Full", strFull);
  key.SetString("Empty", "");
  key.SetDword("Number", 7);

  struct SCase {
    const char* pszSubKey;
    const char* pszValue;
    bool bRead;
    std::string strExpected;
  };
  const SCase aCases[] = {
      {CTestKey::kSubKey, "Path", true, strPath},
      {CTestKey::kSubKey, "Long", true, std::string(1023, 'x')},
      {CTestKey::kSubKey, "Full", true, strFull},
      {CTestKey::kSubKey, "Empty", true, ""},
      {CTestKey::kSubKey, "Missing", false, ""},
      {CTestKey::kSubKey, "Number", false, ""},  // not text
      {"Software\\TessaroTest\\NoSuchKey", "Path", false, ""},
  };
  std::unique_ptr<IPluginSystem> pSystem = CreateWin32PluginSystem();
  for (const SCase& c : aCases) {
    SCOPED_TRACE(std::string(c.pszSubKey) + " " + c.pszValue);
    std::string strValue = "left over";
    EXPECT_EQ(c.bRead, pSystem->ReadMachineString(c.pszSubKey, c.pszValue, &strValue));
    EXPECT_EQ(c.strExpected, strValue);
  }
}

TEST(Win32PluginSystem, ReadsProfileIntegersByTheirLeadingDigits) {
  const std::string strIni = TempPath("trivel-eq.ini");
  {
    std::ofstream file(strIni, std::ios::binary);
    file << "[VCORE]\r\nFactor=12ab\r\nDivisor=250\r\nLetters=abc\r\n[Other]\r\nFactor=3\r\n";
  }
  struct SCase {
    const char* pszSection;
    const char* pszKey;
    int nDefault;
    int nExpected;
  };
  const SCase aCases[] = {
      {"VCORE", "Factor", 1, 12},   {"VCORE", "Divisor", 0, 250}, {"VCORE", "Letters", 5, 0},
      {"VCORE", "Missing", 1, 1},   {"Missing", "Factor", 1, 1},  {"Other", "Factor", 1, 3},
      {"vcore", "divisor", 0, 250},  // names are not case-sensitive
  };
  std::unique_ptr<IPluginSystem> pSystem = CreateWin32PluginSystem();
  for (const SCase& c : aCases) {
    SCOPED_TRACE(std::string(c.pszSection) + "/" + c.pszKey);
    EXPECT_EQ(c.nExpected, pSystem->ReadProfileInt(c.pszSection, c.pszKey, c.nDefault, strIni));
  }
  EXPECT_EQ(9, pSystem->ReadProfileInt("VCORE", "Factor", 9, strIni + ".missing"));
  DeleteFileA(strIni.c_str());
}

// Whether the process token holds SeShutdownPrivilege enabled.
bool ShutdownPrivilegeEnabled() {
  HANDLE hToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return false;
  LUID luid = {};
  LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid);
  DWORD dwSize = 0;
  GetTokenInformation(hToken, TokenPrivileges, nullptr, 0, &dwSize);
  std::string strBuffer(dwSize, '\0');
  bool bEnabled = false;
  if (dwSize && GetTokenInformation(hToken, TokenPrivileges, &strBuffer[0], dwSize, &dwSize)) {
    const auto* pPrivileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(strBuffer.data());
    for (DWORD i = 0; i < pPrivileges->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& entry = pPrivileges->Privileges[i];
      if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart)
        bEnabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  CloseHandle(hToken);
  return bEnabled;
}

TEST(Win32PluginSystem, TogglesTheShutdownPrivilegeOfTheProcess) {
  std::unique_ptr<IPluginSystem> pSystem = CreateWin32PluginSystem();
  EXPECT_EQ(0u, pSystem->SetShutdownPrivilege(true));
  EXPECT_TRUE(ShutdownPrivilegeEnabled());
  EXPECT_EQ(0u, pSystem->SetShutdownPrivilege(true));  // twice, as the plug-in does
  EXPECT_EQ(0u, pSystem->SetShutdownPrivilege(false));
  EXPECT_FALSE(ShutdownPrivilegeEnabled());
}

// Makes the loader look in one more folder while it exists.
class CDllDirectoryScope {
 public:
  explicit CDllDirectoryScope(const std::string& strFolder) { SetDllDirectoryA(strFolder.c_str()); }
  ~CDllDirectoryScope() { SetDllDirectoryA(nullptr); }
};

TEST(Win32PluginSystem, OpensTheControllerLibraryByItsPlainName) {
  std::unique_ptr<IPluginSystem> pSystem = CreateWin32PluginSystem();
  // Nothing of that name beside this program nor in the system's folders.
  EXPECT_EQ(nullptr, pSystem->OpenController());

  {
    // The controller library's loopback build answers through the port.
    CDllDirectoryScope scope(ExeDirectory() + "..\\kt9020sim");
    std::unique_ptr<IControllerPort> pPort = pSystem->OpenController();
    ASSERT_NE(nullptr, pPort);
    const uint8_t abyWord[2] = {0x34, 0x12};
    uint8_t aby[2] = {};
    EXPECT_EQ(1, pPort->SetAip(0x22, 0x0140, 0, abyWord));
    EXPECT_EQ(2, pPort->GetAip(0x12, 0x0140, 0, aby));
    EXPECT_EQ(0x34, aby[0]);
    EXPECT_EQ(0x12, aby[1]);
  }

  // A library of that name without the exports gives a port that refuses.
  const std::string strFolder = TempPath("trivel-noexport");
  CreateDirectoryA(strFolder.c_str(), nullptr);
  const std::string strFake = strFolder + "\\KT9020DLL.dll";
  ASSERT_TRUE(CopyFileA((ExeDirectory() + "..\\TrivelOLE.dll").c_str(), strFake.c_str(), FALSE));
  {
    CDllDirectoryScope scope(strFolder);
    std::unique_ptr<IControllerPort> pPort = pSystem->OpenController();
    ASSERT_NE(nullptr, pPort);
    uint8_t aby[2] = {};
    EXPECT_EQ(0, pPort->GetAip(0x12, 0x0140, 0, aby));
    EXPECT_EQ(0, pPort->SetAip(0x22, 0x0140, 0, aby));
  }
  DeleteFileA(strFake.c_str());
  RemoveDirectoryA(strFolder.c_str());
}

TEST(Win32PluginSystem, CreatesReadyXmlDocuments) {
  std::unique_ptr<IPluginSystem> pSystem = CreateWin32PluginSystem();
  // Each holds its own COM initialisation; two at a time and in turn.
  std::unique_ptr<IXmlDocument> pFirst = pSystem->CreateXmlDocument();
  std::unique_ptr<IXmlDocument> pSecond = pSystem->CreateXmlDocument();
  ASSERT_TRUE(pFirst && pFirst->IsReady());
  ASSERT_TRUE(pSecond && pSecond->IsReady());
  pFirst.reset();
  EXPECT_TRUE(pSecond->AddElement("/", 0, "Info"));
  pSecond.reset();
  EXPECT_TRUE(pSystem->CreateXmlDocument()->IsReady());
  // COM is left to the thread as it was: not initialised, so this is the
  // first initialisation again.
  EXPECT_EQ(S_OK, CoInitialize(nullptr));
  CoUninitialize();
}

// What a robot saw of the first message box of this process.
struct SBoxSeen {
  std::string strCaption;
  std::string strText;
};

struct SBoxSearch {
  DWORD dwProcess;
  HWND hFound;
};

BOOL CALLBACK MatchBox(HWND hWnd, LPARAM lParam) {
  auto* pSearch = reinterpret_cast<SBoxSearch*>(lParam);
  DWORD dwProcess = 0;
  GetWindowThreadProcessId(hWnd, &dwProcess);
  char szClass[32] = {0};
  GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (dwProcess != pSearch->dwProcess || std::string(szClass) != "#32770" || !IsWindowVisible(hWnd))
    return TRUE;
  pSearch->hFound = hWnd;
  return FALSE;
}

// Shows a box on this thread while a robot thread reads it and presses
// the button nButton; returns the box's answer.
int ShowAnswered(IPluginSystem* pSystem, const char* pszText, const char* pszCaption,
                 uint32_t dwStyle, int nButton, SBoxSeen* pSeen) {
  std::thread robot([&]() {
    SBoxSearch search = {GetCurrentProcessId(), nullptr};
    if (!WaitFor(
            [&]() {
              EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
              return search.hFound != nullptr;
            },
            kBoxMs))
      return;
    char sz[256] = {0};
    GetWindowTextA(search.hFound, sz, sizeof(sz));
    pSeen->strCaption = sz;
    GetDlgItemTextA(search.hFound, 0xFFFF, sz, sizeof(sz));
    pSeen->strText = sz;
    PostMessageA(search.hFound, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(search.hFound, nButton)));
  });
  const int nAnswer = pSystem->MessageBox(pszText, pszCaption, dwStyle);
  robot.join();
  return nAnswer;
}

TEST(Win32PluginSystem, ShowsMessageBoxesCaptionedWithTheHostProgramByDefault) {
  std::unique_ptr<IPluginSystem> pSystem = CreateWin32PluginSystem();
  SBoxSeen seen;
  EXPECT_EQ(kBoxAnswerOk,
            ShowAnswered(pSystem.get(), "Load XML File Fail", nullptr, kBoxOk, IDOK, &seen));
  EXPECT_EQ("trivelole_winports_tests", seen.strCaption);
  EXPECT_EQ("Load XML File Fail", seen.strText);

  seen = SBoxSeen();
  EXPECT_EQ(kBoxAnswerNo, ShowAnswered(pSystem.get(), "Save?", "Trivel",
                                       kBoxYesNo | kBoxIconInformation, IDNO, &seen));
  EXPECT_EQ("Trivel", seen.strCaption);
}

}  // namespace
