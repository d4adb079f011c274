// TessaroSetup.exe in a prefix made for this run alone (run-installer-tests.sh):
// what a silent installation leaves, the installed program and plug-in at
// work, the refusals, the upgrade, and an uninstallation that leaves the
// prefix as it found it. The scenarios build on each other and run in the
// order written.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ProcessWindow_win.h"
#include "tests/support/WindowRobot_win.h"

namespace {

const char* const kUninstKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessaro";
const char* const kPluginKey = "Software\\ULVO\\Velmar";
const char* const kSettingsKey = "Software\\ULVO\\Tessaro";
const DWORD kRunMs = 60000;

std::string Env(const char* pszName) {
  char sz[MAX_PATH] = {0};
  GetEnvironmentVariableA(pszName, sz, MAX_PATH);
  return sz;
}
// The folder of the files the setup program packs, and the setup program.
std::string Bin() { return BinDirectory(); }
std::string SetupProgram() { return Bin() + "TessaroSetup.exe"; }

std::string ProgramFiles() {
  char sz[MAX_PATH] = {0};
  SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, sz);
  return sz;
}
std::string DefaultFolder() { return ProgramFiles() + "\\ULVO\\Tessaro"; }
std::string SystemFolder() {
  char sz[MAX_PATH] = {0};
  GetSystemDirectoryA(sz, MAX_PATH);
  return sz;
}
std::string Shortcut() {
  char sz[MAX_PATH] = {0};
  SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, sz);
  return std::string(sz) + "\\Tessaro.lnk";
}

bool Exists(const std::string& strPath) {
  return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempFolder() {
  char sz[MAX_PATH] = {0};
  GetTempPathA(MAX_PATH, sz);
  return sz;
}

std::vector<char> ReadAll(const std::string& strPath) {
  std::vector<char> vec;
  FILE* pFile = fopen(strPath.c_str(), "rb");
  if (!pFile) return vec;
  char sz[65536];
  size_t n;
  while ((n = fread(sz, 1, sizeof(sz), pFile)) > 0) vec.insert(vec.end(), sz, sz + n);
  fclose(pFile);
  return vec;
}

// A string value of HKLM (the view this 32-bit process sees), or "<none>".
std::string RegString(const char* pszKey, const char* pszValue) {
  char sz[1024] = {0};
  DWORD dwSize = sizeof(sz) - 1;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, pszKey, pszValue, RRF_RT_REG_SZ, nullptr, sz, &dwSize) !=
      ERROR_SUCCESS)
    return "<none>";
  return sz;
}
DWORD RegDword(const char* pszKey, const char* pszValue) {
  DWORD dw = 0, dwSize = sizeof(dw);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, pszKey, pszValue, RRF_RT_REG_DWORD, nullptr, &dw, &dwSize) !=
      ERROR_SUCCESS)
    return 0xFFFFFFFF;
  return dw;
}
bool KeyExists(const char* pszKey) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
  RegCloseKey(hKey);
  return true;
}

// Whether HKLM holds the key in the registry view samView selects.
bool KeyInView(const char* pszKey, REGSAM samView) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_READ | samView, &hKey) != ERROR_SUCCESS)
    return false;
  RegCloseKey(hKey);
  return true;
}

// One run of a program; with bWholeTree, the wait covers the processes it
// starts too (the uninstaller hands over to a copy of itself in the
// temporary folder and ends at once).
class CRun {
 public:
  CRun(const std::string& strLine, const std::string& strDir = std::string(),
       bool bWholeTree = false) {
    m_hJob = CreateJobObjectA(nullptr, nullptr);
    std::string str = strLine;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    m_bStarted =
        CreateProcessA(nullptr, &str[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                       strDir.empty() ? nullptr : strDir.c_str(), &si, &m_pi) != FALSE;
    if (!m_bStarted) return;
    if (bWholeTree) m_bJob = AssignProcessToJobObject(m_hJob, m_pi.hProcess) != FALSE;
    ResumeThread(m_pi.hThread);
  }
  ~CRun() {
    if (m_bStarted) {
      if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(m_pi.hProcess, 99);
      CloseHandle(m_pi.hThread);
      CloseHandle(m_pi.hProcess);
    }
    CloseHandle(m_hJob);
  }
  DWORD Id() const { return m_pi.dwProcessId; }
  // The exit code of the program itself, -1 when it is still running
  // (with bWholeTree: when any process of its tree is).
  int Wait(DWORD dwMs = kRunMs) {
    if (!m_bStarted || WaitForSingleObject(m_pi.hProcess, dwMs) != WAIT_OBJECT_0) return -1;
    if (m_bJob && !WaitFor([this]() { return ActiveProcesses() == 0; }, dwMs)) return -1;
    DWORD dwCode = 0;
    GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return static_cast<int>(dwCode);
  }
  // A visible top-level window of the program with the class, or null.
  HWND Find(const char* pszClass) { return FindProcessWindow(m_pi.dwProcessId, pszClass); }

 private:
  DWORD ActiveProcesses() {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(m_hJob, JobObjectBasicAccountingInformation, &info, sizeof(info),
                                   nullptr))
      return 0;
    return info.ActiveProcesses;
  }
  HANDLE m_hJob = nullptr;
  PROCESS_INFORMATION m_pi = {};
  bool m_bStarted = false;
  bool m_bJob = false;
};

int Install(const std::string& strArgs = "") {
  return CRun("\"" + SetupProgram() + "\" /S" + (strArgs.empty() ? "" : " " + strArgs)).Wait();
}
// The uninstaller as Add/Remove Programs starts it silently, to its end.
int Uninstall(const std::string& strFolder, const std::string& strArgs = "") {
  return CRun("\"" + strFolder + "\\Uninstall.exe\" /S" + strArgs, "", true).Wait();
}

// ------------------------------------------------------------ snapshot --

// The prefix's files and registry keys, to compare before and after. The
// temporary folders are left out: the uninstaller runs from a copy there,
// which Windows deletes at the next start (PendingFileRenameOperations),
// and so is that value.
struct SSnapshot {
  std::set<std::string> setFiles;
  std::set<std::string> setKeys;
};

void ListFiles(const std::string& strDir, std::set<std::string>* pSet) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((strDir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string strName = fd.cFileName;
    if (strName == "." || strName == "..") continue;
    const std::string strPath = strDir + "\\" + strName;
    std::string strLower = strPath;
    std::transform(strLower.begin(), strLower.end(), strLower.begin(), ::tolower);
    if (strLower == "c:\\windows\\temp" ||
        (strLower.find("c:\\users\\") == 0 && strLower.size() > 5 &&
         strLower.compare(strLower.size() - 5, 5, "\\temp") == 0))
      continue;
    pSet->insert(strPath);
    // Windows' own tree is large and slow to walk under Wine: only the
    // system folders a setup program writes to are listed.
    const bool bWindows = strLower.find("c:\\windows\\") == 0;
    const bool bSystem = strLower == "c:\\windows\\system32" ||
                         strLower == "c:\\windows\\syswow64" ||
                         strLower == "c:\\windows\\system32\\drivers";
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (!bWindows || bSystem))
      ListFiles(strPath, pSet);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

void ListKeys(HKEY hRoot, const std::string& strPath, std::set<std::string>* pSet) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
  // Values of the keys the setup program writes to, by name.
  char szName[512];
  for (DWORD i = 0;; ++i) {
    DWORD dwLen = sizeof(szName);
    if (RegEnumValueA(hKey, i, szName, &dwLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    if (strcmp(szName, "PendingFileRenameOperations") != 0) pSet->insert(strPath + " = " + szName);
  }
  for (DWORD i = 0;; ++i) {
    DWORD dwLen = sizeof(szName);
    if (RegEnumKeyExA(hKey, i, szName, &dwLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    const std::string strChild = strPath.empty() ? szName : strPath + "\\" + szName;
    // Wine's volatile copy of the display settings, made when a window opens.
    if (strChild == "Software\\Wine\\Temporary System Parameters") continue;
    pSet->insert(strChild);
    ListKeys(hRoot, strChild, pSet);
  }
  RegCloseKey(hKey);
}

SSnapshot Snapshot() {
  SSnapshot snap;
  ListFiles("C:", &snap.setFiles);
  ListKeys(HKEY_LOCAL_MACHINE, "Software", &snap.setKeys);
  ListKeys(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
           &snap.setKeys);
  ListKeys(HKEY_CURRENT_USER, "Software", &snap.setKeys);
  return snap;
}

std::string Difference(const std::set<std::string>& setBefore,
                       const std::set<std::string>& setAfter) {
  std::string str;
  for (const std::string& s : setAfter)
    if (!setBefore.count(s)) str += "  added: " + s + "\n";
  for (const std::string& s : setBefore)
    if (!setAfter.count(s)) str += "  gone: " + s + "\n";
  return str;
}

SSnapshot g_before;

// --------------------------------------------------------------- tests --

const char* const kInstalled[] = {"Tessaro.exe",
                                  "TessaroDEU.dll",
                                  "Common\\TrivelOLE.dll",
                                  "mirel\\00A3\\TrivelConfig.XML",
                                  "mirel\\00A3\\ULVOEQ.ini",
                                  "Uninstall.exe"};

void ExpectInstalledIn(const std::string& strFolder) {
  for (const char* psz : kInstalled) EXPECT_TRUE(Exists(strFolder + "\\" + psz)) << psz;
  EXPECT_TRUE(ReadAll(strFolder + "\\Tessaro.exe") == ReadAll(Bin() + "Tessaro.exe"));
  EXPECT_TRUE(ReadAll(strFolder + "\\Common\\TrivelOLE.dll") == ReadAll(Bin() + "TrivelOLE.dll"));
  EXPECT_TRUE(ReadAll(strFolder + "\\mirel\\00A3\\TrivelConfig.XML") ==
              ReadAll(Bin() + "..\\trivel\\mirel\\00A3\\TrivelConfig.XML"));
  EXPECT_TRUE(ReadAll(SystemFolder() + "\\KT9020DLL.dll") == ReadAll(Bin() + "KT9020DLL.dll"));
  EXPECT_EQ(strFolder + "\\Common\\TrivelOLE.dll", RegString(kPluginKey, "ULVOTRIVEL_PLUGIN"));
  EXPECT_EQ(strFolder, RegString(kUninstKey, "InstallLocation"));
}

TEST(Installer, SilentInstallPutsFilesRegistrationShortcutAndUninstallEntryInPlace) {
  g_before = Snapshot();
  ASSERT_FALSE(g_before.setFiles.empty());
  ASSERT_EQ(0, Install());
  const std::string strFolder = DefaultFolder();
  ExpectInstalledIn(strFolder);
  EXPECT_EQ("Tessaro", RegString(kUninstKey, "DisplayName"));
  EXPECT_EQ("1.5.0.5", RegString(kUninstKey, "DisplayVersion"));
  EXPECT_EQ("ULVO", RegString(kUninstKey, "Publisher"));
  EXPECT_EQ("\"" + strFolder + "\\Uninstall.exe\"", RegString(kUninstKey, "UninstallString"));
  EXPECT_EQ("\"" + strFolder + "\\Uninstall.exe\" /S",
            RegString(kUninstKey, "QuietUninstallString"));
  EXPECT_EQ(strFolder + "\\Tessaro.exe,0", RegString(kUninstKey, "DisplayIcon"));
  // Kilobytes: the program, the plug-in and the library are each more than
  // a few hundred.
  const DWORD dwSize = RegDword(kUninstKey, "EstimatedSize");
  EXPECT_GT(dwSize, 1000u);
  EXPECT_LT(dwSize, 20000u);

  // The shortcut starts the installed program in its folder.
  CoInitialize(nullptr);
  IShellLinkA* pLink = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&pLink)));
  IPersistFile* pFile = nullptr;
  ASSERT_EQ(S_OK, pLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pFile)));
  WCHAR wsz[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, Shortcut().c_str(), -1, wsz, MAX_PATH);
  ASSERT_EQ(S_OK, pFile->Load(wsz, STGM_READ)) << Shortcut();
  char szTarget[MAX_PATH] = {0}, szDir[MAX_PATH] = {0};
  pLink->GetPath(szTarget, MAX_PATH, nullptr, 0);
  pLink->GetWorkingDirectory(szDir, MAX_PATH);
  EXPECT_EQ(0, _stricmp((strFolder + "\\Tessaro.exe").c_str(), szTarget)) << szTarget;
  EXPECT_EQ(0, _stricmp(strFolder.c_str(), szDir)) << szDir;
  pFile->Release();
  pLink->Release();
  CoUninitialize();
}

TEST(Installer, SilentUninstallLeavesNoFileFolderOrKeyBehind) {
  ASSERT_EQ(0, Uninstall(DefaultFolder()));
  const SSnapshot after = Snapshot();
  EXPECT_EQ("", Difference(g_before.setFiles, after.setFiles));
  EXPECT_EQ("", Difference(g_before.setKeys, after.setKeys));
}

TEST(Installer, SecondInstallUpgradesInPlace) {
  ASSERT_EQ(0, Install());
  // A damaged program file and a stale registration are put right.
  FILE* pFile = fopen((DefaultFolder() + "\\Tessaro.exe").c_str(), "wb");
  ASSERT_TRUE(pFile);
  fputs("damaged", pFile);
  fclose(pFile);
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPluginKey, 0, KEY_SET_VALUE, &hKey));
  RegSetValueExA(hKey, "ULVOTRIVEL_PLUGIN", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(hKey);
  // Without /D= the second run goes where the first one went; another
  // folder is refused while this installation is in place.
  const std::string strLog = TempFolder() + "TessaroSetup.log";
  DeleteFileA(strLog.c_str());
  EXPECT_EQ(2, Install("/D=C:\\Tools\\Tessaro"));
  const std::vector<char> vecLog = ReadAll(strLog);
  EXPECT_NE(std::string::npos, std::string(vecLog.begin(), vecLog.end())
                                   .find("Tessaro is already installed in " + DefaultFolder()))
      << std::string(vecLog.begin(), vecLog.end());
  EXPECT_FALSE(Exists("C:\\Tools\\Tessaro"));
  DeleteFileA(strLog.c_str());
  ASSERT_EQ(0, Install());
  ExpectInstalledIn(DefaultFolder());
  // The shared library is counted once for this product.
  EXPECT_EQ(1u, RegDword("Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                         (SystemFolder() + "\\KT9020DLL.dll").c_str()));
}

// On 64-bit Windows the 32-bit setup, plug-in and library share the 32-bit
// places: the library in SysWOW64 (where a 32-bit host's plain-name load
// finds it), the keys in the 32-bit registry view, the program under
// "Program Files (x86)". The installation is the one the upgrade left.
TEST(Installer, OnA64BitSystemEverythingLandsInThe32BitPlaces) {
  BOOL bWow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &bWow64);
  if (!bWow64) GTEST_SKIP() << "a 32-bit system";
  ASSERT_TRUE(Exists(DefaultFolder() + "\\Tessaro.exe"));
  char szWindows[MAX_PATH] = {0}, szX86[MAX_PATH] = {0};
  GetWindowsDirectoryA(szWindows, MAX_PATH);
  const std::string strWindows = szWindows;
  EXPECT_TRUE(ReadAll(strWindows + "\\SysWOW64\\KT9020DLL.dll") ==
              ReadAll(Bin() + "KT9020DLL.dll"));
  PVOID pRedirection = nullptr;
  ASSERT_TRUE(Wow64DisableWow64FsRedirection(&pRedirection));
  const bool bIn64BitFolder = Exists(strWindows + "\\System32\\KT9020DLL.dll");
  Wow64RevertWow64FsRedirection(pRedirection);
  EXPECT_FALSE(bIn64BitFolder);
  for (const char* pszKey : {kPluginKey, kUninstKey}) {
    EXPECT_TRUE(KeyInView(pszKey, KEY_WOW64_32KEY)) << pszKey;
    EXPECT_FALSE(KeyInView(pszKey, KEY_WOW64_64KEY)) << pszKey;
  }
  ASSERT_GT(GetEnvironmentVariableA("ProgramFiles(x86)", szX86, MAX_PATH), 0u);
  EXPECT_EQ(0, _stricmp(szX86, ProgramFiles().c_str())) << ProgramFiles();
}

TEST(Installer, InstalledProgramReachesItsMainWindowAndBlocksUninstallWhileItRuns) {
  const std::string strFolder = DefaultFolder();
  ASSERT_TRUE(Exists(strFolder + "\\Tessaro.exe"));
  // Started as the shortcut starts it: in its own folder, on the demo
  // board whose driver the test run put into the system's drivers folder.
  CRun program("\"" + strFolder + "\\Tessaro.exe\"", strFolder);
  HWND hBox = nullptr;
  ASSERT_TRUE(WaitFor([&]() { return (hBox = program.Find("#32770")) != nullptr; }, kWindowMs));
  EXPECT_EQ(0u, Text(hBox, 0xFFFF).find("Tessaro backs up")) << Text(hBox, 0xFFFF);
  PostMessageA(GetDlgItem(hBox, IDOK), BM_CLICK, 0, 0);
  HWND hMain = nullptr;
  ASSERT_TRUE(WaitFor(
      [&]() {
        hMain = program.Find("#32770");
        return hMain && GetDlgItem(hMain, IDC_UPDATE_FILE);
      },
      kWindowMs));
  EXPECT_TRUE(WaitForControlText(hMain, IDC_WEBSITE, "Tessaro - Award BIOS", kWindowMs));

  // The uninstaller refuses (silently: exit code 2, seen when it runs in
  // place) and removes nothing.
  EXPECT_EQ(2, Uninstall(strFolder, " _?=" + strFolder));
  EXPECT_EQ(0, Uninstall(strFolder));
  for (const char* psz : kInstalled) EXPECT_TRUE(Exists(strFolder + "\\" + psz)) << psz;
  EXPECT_TRUE(KeyExists(kUninstKey));
  // So does a second installation over the running program.
  EXPECT_EQ(2, Install());

  PostMessageA(GetDlgItem(hMain, IDC_CLOSE), BM_CLICK, 0, 0);
  EXPECT_EQ(0, program.Wait(kWindowMs));
}

// A host in a folder of its own, beside neither the plug-in nor the
// controller library: it loads the plug-in through the registered path,
// the plug-in finds the library on the system's search path and its
// configuration by the registered path.
TEST(Installer, HostLoadsTheRegisteredPluginWhichFindsLibraryAndConfiguration) {
  const std::string strDir = "C:\\host";
  CreateDirectoryA(strDir.c_str(), nullptr);
  ASSERT_TRUE(
      CopyFileA((Bin() + "TrivelHost.exe").c_str(), (strDir + "\\TrivelHost.exe").c_str(), FALSE));
  const std::string strDoc = strDir + "\\info.xml";
  CRun host("\"" + strDir + "\\TrivelHost.exe\" --info 0 " + strDoc, strDir);
  int nExit = -1;
  std::vector<std::string> vecBoxes;
  WaitFor(
      [&]() {
        if (HWND hBox = host.Find("#32770")) {
          vecBoxes.push_back(Text(hBox, 0xFFFF));
          PostMessageA(hBox, WM_COMMAND, IDOK, 0);
          WaitUntilGone(hBox, kWindowMs);
        }
        return (nExit = host.Wait(0)) != -1;
      },
      kRunMs);
  std::string strBoxes;
  for (const std::string& s : vecBoxes) strBoxes += "\"" + s + "\" ";
  EXPECT_EQ("", strBoxes);
  EXPECT_EQ(0, nExit);
  const std::vector<char> vecDoc = ReadAll(strDoc);
  const std::string strText(vecDoc.begin(), vecDoc.end());
  // Names that come from the installed configuration only.
  EXPECT_NE(std::string::npos, strText.find("CPU FSB")) << strText;
  DeleteFileA((strDir + "\\TrivelHost.exe").c_str());
  DeleteFileA(strDoc.c_str());
  RemoveDirectoryA(strDir.c_str());
}

TEST(Installer, UninstallAfterFilesDeletedByHandFinishesAndKeepsSettingsUnlessAsked) {
  const std::string strFolder = DefaultFolder();
  // The user's settings, where the program keeps them.
  HKEY hKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                                           KEY_SET_VALUE, nullptr, &hKey, nullptr));
  const DWORD dwOne = 1;
  RegSetValueExA(hKey, "ClearDMI", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwOne), 4);
  RegCloseKey(hKey);
  ASSERT_TRUE(DeleteFileA((strFolder + "\\Tessaro.exe").c_str()));
  ASSERT_TRUE(DeleteFileA((strFolder + "\\mirel\\00A3\\TrivelConfig.XML").c_str()));
  ASSERT_TRUE(DeleteFileA((strFolder + "\\mirel\\00A3\\ULVOEQ.ini").c_str()));
  ASSERT_TRUE(RemoveDirectoryA((strFolder + "\\mirel\\00A3").c_str()));
  ASSERT_TRUE(DeleteFileA((SystemFolder() + "\\KT9020DLL.dll").c_str()));

  ASSERT_EQ(0, Uninstall(strFolder));
  EXPECT_FALSE(Exists(strFolder));
  EXPECT_FALSE(KeyExists(kUninstKey));
  EXPECT_FALSE(KeyExists(kPluginKey));
  EXPECT_FALSE(Exists(Shortcut()));
  EXPECT_EQ(1u, RegDword(kSettingsKey, "ClearDMI"));

  // Asked to, the uninstaller removes the settings too.
  ASSERT_EQ(0, Install());
  ASSERT_EQ(0, Uninstall(strFolder, " /REMOVESETTINGS"));
  EXPECT_FALSE(KeyExists(kSettingsKey));
  EXPECT_FALSE(KeyExists("Software\\ULVO"));
}

// Folders the setup program cannot use: a file stands where the folder or
// one of its parents would be (NSIS itself would put its default folder in
// their place), a drive's root, a path that says "common" (the plug-in
// would look elsewhere for its configuration). Each silent run is refused
// with exit code 2 and its reason in the log, and installs nothing anywhere.
TEST(Installer, UnusableFolderStopsWithItsReasonAndNothingInstalled) {
  const SSnapshot before = Snapshot();
  FILE* pFile = fopen("C:\\blocked", "wb");
  ASSERT_TRUE(pFile);
  fclose(pFile);
  const std::string strLog = TempFolder() + "TessaroSetup.log";
  const struct {
    const char* pszFolder;
    const char* pszReason;
  } kCases[] = {
      {"C:\\blocked\\Tessaro",
       "cannot write to the folder C:\\blocked\\Tessaro: C:\\blocked is a file"},
      {"C:\\blocked\\", "cannot write to the folder C:\\blocked: C:\\blocked is a file"},
      {"C:\\", "cannot install into C:\\."},
      {"C:\\Common Files\\Tessaro", "its path must not contain \"common\""},
  };
  // Folders NSIS accepts but where nothing can be created or written: a new
  // folder and an existing one on a drive that takes no writes.
  const std::string strReadOnly = Env("TESSARO_READONLY_DRIVE");
  std::vector<std::pair<std::string, std::string>> vecCases;
  for (const auto& c : kCases) vecCases.push_back({c.pszFolder, c.pszReason});
  for (const char* pszFolder : {"\\Tessaro", "\\class"}) {
    if (strReadOnly.empty()) break;
    vecCases.push_back({strReadOnly + pszFolder,
                        "Setup cannot write to the folder " + strReadOnly + pszFolder + "."});
  }
  if (strReadOnly.empty())
    fprintf(stderr, "no read-only drive: the unwritable folders are not tried\n");
  for (const auto& c : vecCases) {
    SCOPED_TRACE(c.first);
    DeleteFileA(strLog.c_str());
    EXPECT_EQ(2, Install("/D=" + c.first));
    const std::vector<char> vecLog = ReadAll(strLog);
    const std::string strText(vecLog.begin(), vecLog.end());
    EXPECT_NE(std::string::npos, strText.find(c.second)) << strText;
    EXPECT_FALSE(Exists(ProgramFiles() + "\\ULVO"));
    EXPECT_FALSE(Exists(c.first + "\\Uninstall.exe"));
    EXPECT_EQ("<none>", RegString(kPluginKey, "ULVOTRIVEL_PLUGIN"));
    EXPECT_FALSE(KeyExists(kPluginKey));
    EXPECT_FALSE(KeyExists(kUninstKey));
    EXPECT_FALSE(Exists(Shortcut()));
    EXPECT_FALSE(Exists(SystemFolder() + "\\KT9020DLL.dll"));
  }
  DeleteFileA("C:\\blocked");
  DeleteFileA(strLog.c_str());
  const SSnapshot after = Snapshot();
  EXPECT_EQ("", Difference(before.setFiles, after.setFiles));
  EXPECT_EQ("", Difference(before.setKeys, after.setKeys));
}

// ---------------------------------------------------------- the pages --

std::string ShotsDir() { return Env("TESSARO_INSTALLER_SHOTS"); }

// The setup window's current page: its inner dialog.
HWND Page(HWND hSetup) { return FindWindowExA(hSetup, nullptr, "#32770", nullptr); }

void ShootPage(HWND hSetup, const char* pszName) {
  WaitUntilPainted(hSetup, kWindowMs);
  if (!ShotsDir().empty()) SaveWindowPicture(hSetup, ShotsDir() + "\\" + pszName + ".bmp");
}

// Next (button 1) and wait for another page.
bool Next(HWND hSetup) {
  HWND hPage = Page(hSetup);
  PostMessageA(GetDlgItem(hSetup, IDOK), BM_CLICK, 0, 0);
  return WaitFor(
      [&]() {
        HWND h = Page(hSetup);
        return !IsWindow(hSetup) || (h && h != hPage && IsWindowVisible(h));
      },
      kWindowMs);
}

TEST(Installer, InteractivePagesWelcomeFolderProgressFinish) {
  const std::string strFolder = "C:\\Shots\\Tessaro";
  CRun setup("\"" + SetupProgram() + "\" /D=" + strFolder);
  HWND hSetup = nullptr;
  ASSERT_TRUE(WaitFor([&]() { return (hSetup = setup.Find("#32770")) != nullptr; }, kWindowMs));
  EXPECT_EQ("Tessaro 1.5.0.5 Setup", Title(hSetup));
  ShootPage(hSetup, "installer-welcome");
  ASSERT_TRUE(Next(hSetup));
  ShootPage(hSetup, "installer-folder");
  ASSERT_TRUE(Next(hSetup));
  // The progress page, then Next once it has finished.
  ShootPage(hSetup, "installer-progress");
  ASSERT_TRUE(
      WaitFor([&]() { return IsWindowEnabled(GetDlgItem(hSetup, IDOK)) != FALSE; }, kRunMs));
  ShootPage(hSetup, "installer-progress-done");
  ASSERT_TRUE(Next(hSetup));
  ShootPage(hSetup, "installer-finish");
  PostMessageA(GetDlgItem(hSetup, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(0, setup.Wait());
  ExpectInstalledIn(strFolder);
  ASSERT_EQ(0, Uninstall(strFolder));
  EXPECT_FALSE(Exists(strFolder));
}

}  // namespace
