#include "platform/win/Platform_win.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// ---------------------------------------------------------------- files --

class CWinFile : public IFile {
 public:
  explicit CWinFile(HANDLE hFile) : m_hFile(hFile) {}
  ~CWinFile() override { CloseHandle(m_hFile); }
  bool Read(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) override {
    DWORD dwRead = 0;
    BOOL bOk = ReadFile(m_hFile, pBuffer, nBytes, &dwRead, nullptr);
    *pnRead = dwRead;
    return bOk != FALSE;
  }
  bool Write(const void* pBuffer, uint32_t nBytes) override {
    DWORD dwWritten = 0;
    return WriteFile(m_hFile, pBuffer, nBytes, &dwWritten, nullptr) && dwWritten == nBytes;
  }
  bool Seek(uint64_t qwOffset) override {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(qwOffset);
    return SetFilePointerEx(m_hFile, li, nullptr, FILE_BEGIN) != FALSE;
  }
  bool GetSize(uint64_t* pqwSize) override {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(m_hFile, &li)) return false;
    *pqwSize = static_cast<uint64_t>(li.QuadPart);
    return true;
  }

 private:
  HANDLE m_hFile;
};

class CWinFileSystem : public IFileSystem {
 public:
  std::unique_ptr<IFile> Open(const std::string& strPath, EFileMode eMode) override {
    DWORD dwAccess = GENERIC_READ;
    DWORD dwDisposition = OPEN_EXISTING;
    if (eMode == EFileMode::CreateAlways) {
      dwAccess = GENERIC_WRITE;
      dwDisposition = CREATE_ALWAYS;
    } else if (eMode == EFileMode::OpenReadWrite) {
      dwAccess = GENERIC_READ | GENERIC_WRITE;
    }
    HANDLE hFile = CreateFileA(strPath.c_str(), dwAccess, FILE_SHARE_READ, nullptr, dwDisposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
      m_dwLastError = GetLastError();
      return nullptr;
    }
    return std::make_unique<CWinFile>(hFile);
  }
  bool Exists(const std::string& strPath) override {
    return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool Copy(const std::string& strFrom, const std::string& strTo, bool bFailIfExists) override {
    return Check(CopyFileA(strFrom.c_str(), strTo.c_str(), bFailIfExists));
  }
  bool Move(const std::string& strFrom, const std::string& strTo) override {
    return Check(MoveFileExA(strFrom.c_str(), strTo.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  }
  bool Delete(const std::string& strPath) override { return Check(DeleteFileA(strPath.c_str())); }
  bool MakeDirectory(const std::string& strPath) override {
    return Check(CreateDirectoryA(strPath.c_str(), nullptr));
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  bool Check(BOOL bOk) {
    m_dwLastError = bOk ? 0 : GetLastError();
    return bOk != FALSE;
  }
  uint32_t m_dwLastError = 0;
};

// ------------------------------------------------------------- registry --

HKEY RootKey(ERegRoot eRoot) {
  switch (eRoot) {
    case ERegRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case ERegRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case ERegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
  }
  return HKEY_LOCAL_MACHINE;
}

REGSAM Sam(uint32_t dwAccess) {
  REGSAM sam = 0;
  if (dwAccess & kRegRead) sam |= KEY_READ;
  if (dwAccess & kRegWrite) sam |= KEY_SET_VALUE;
  if (dwAccess & kReg64View) sam |= KEY_WOW64_64KEY;
  return sam;
}

class CWinRegistryKey : public IRegistryKey {
 public:
  explicit CWinRegistryKey(HKEY hKey) : m_hKey(hKey) {}
  ~CWinRegistryKey() override { RegCloseKey(m_hKey); }
  bool QueryDword(const std::string& strName, uint32_t* pdwValue) override {
    DWORD dwValue = 0, dwSize = sizeof(dwValue), dwType = 0;
    if (RegQueryValueExA(m_hKey, strName.c_str(), nullptr, &dwType,
                         reinterpret_cast<BYTE*>(&dwValue), &dwSize) != ERROR_SUCCESS)
      return false;
    *pdwValue = dwValue;
    return true;
  }
  bool SetDword(const std::string& strName, uint32_t dwValue) override {
    DWORD dw = dwValue;
    return RegSetValueExA(m_hKey, strName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw),
                          sizeof(dw)) == ERROR_SUCCESS;
  }
  bool QueryString(const std::string& strName, std::string* pstrValue) override {
    DWORD dwType = 0, dwSize = 0;
    if (RegQueryValueExA(m_hKey, strName.c_str(), nullptr, &dwType, nullptr, &dwSize) !=
        ERROR_SUCCESS)
      return false;
    if (dwType != REG_SZ && dwType != REG_EXPAND_SZ && dwType != REG_MULTI_SZ) return false;
    std::vector<char> buffer(dwSize + 2, 0);
    if (RegQueryValueExA(m_hKey, strName.c_str(), nullptr, &dwType,
                         reinterpret_cast<BYTE*>(buffer.data()), &dwSize) != ERROR_SUCCESS)
      return false;
    pstrValue->assign(buffer.data(), strnlen(buffer.data(), dwSize));
    return true;
  }
  bool SetString(const std::string& strName, const std::string& strValue) override {
    return RegSetValueExA(m_hKey, strName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(strValue.c_str()),
                          static_cast<DWORD>(strValue.size() + 1)) == ERROR_SUCCESS;
  }
  bool EnumSubKey(uint32_t nIndex, std::string* pstrName) override {
    char szName[256];
    DWORD dwLen = sizeof(szName);
    if (RegEnumKeyExA(m_hKey, nIndex, szName, &dwLen, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      return false;
    pstrName->assign(szName, dwLen);
    return true;
  }

 private:
  HKEY m_hKey;
};

class CWinRegistry : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> Open(ERegRoot eRoot, const std::string& strPath,
                                     uint32_t dwAccess) override {
    return OpenWin32RegistryKey(RootKey(eRoot), strPath, dwAccess);
  }
  std::unique_ptr<IRegistryKey> Create(ERegRoot eRoot, const std::string& strPath,
                                       uint32_t dwAccess) override {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(RootKey(eRoot), strPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        Sam(dwAccess), nullptr, &hKey, nullptr) != ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<CWinRegistryKey>(hKey);
  }
};

// ---------------------------------------------- service control manager --

void CopyStatus(const SERVICE_STATUS& from, SServiceStatus* pTo) {
  pTo->dwServiceType = from.dwServiceType;
  pTo->dwCurrentState = from.dwCurrentState;
  pTo->dwControlsAccepted = from.dwControlsAccepted;
  pTo->dwWin32ExitCode = from.dwWin32ExitCode;
  pTo->dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
  pTo->dwCheckPoint = from.dwCheckPoint;
  pTo->dwWaitHint = from.dwWaitHint;
}

class CWinService : public IService {
 public:
  explicit CWinService(SC_HANDLE hService) : m_hService(hService) {}
  ~CWinService() override { CloseServiceHandle(m_hService); }
  bool Start() override { return Check(StartServiceA(m_hService, 0, nullptr)); }
  bool Control(uint32_t dwControl, SServiceStatus* pStatus) override {
    SERVICE_STATUS status{};
    bool bOk = Check(ControlService(m_hService, dwControl, &status));
    if (pStatus) CopyStatus(status, pStatus);
    return bOk;
  }
  bool QueryStatus(SServiceStatus* pStatus) override {
    SERVICE_STATUS status{};
    bool bOk = Check(QueryServiceStatus(m_hService, &status));
    CopyStatus(status, pStatus);
    return bOk;
  }
  bool Delete() override { return Check(DeleteService(m_hService)); }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  bool Check(BOOL bOk) {
    m_dwLastError = bOk ? 0 : GetLastError();
    return bOk != FALSE;
  }
  SC_HANDLE m_hService;
  uint32_t m_dwLastError = 0;
};

class CWinServiceManager : public IServiceManager {
 public:
  explicit CWinServiceManager(SC_HANDLE hManager) : m_hManager(hManager) {}
  ~CWinServiceManager() override { CloseServiceHandle(m_hManager); }
  std::unique_ptr<IService> Open(const std::string& strName, uint32_t dwAccess) override {
    SC_HANDLE h = OpenServiceA(m_hManager, strName.c_str(), dwAccess);
    return Wrap(h);
  }
  std::unique_ptr<IService> Create(const SServiceConfig& c) override {
    SC_HANDLE h =
        CreateServiceA(m_hManager, c.strName.c_str(), c.strDisplayName.c_str(), c.dwDesiredAccess,
                       c.dwServiceType, c.dwStartType, c.dwErrorControl, c.strBinaryPath.c_str(),
                       nullptr, nullptr, nullptr, nullptr, nullptr);
    return Wrap(h);
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  std::unique_ptr<IService> Wrap(SC_HANDLE h) {
    if (!h) {
      m_dwLastError = GetLastError();
      return nullptr;
    }
    m_dwLastError = 0;
    return std::make_unique<CWinService>(h);
  }
  SC_HANDLE m_hManager;
  uint32_t m_dwLastError = 0;
};

class CWinServicePort : public IServicePort {
 public:
  std::unique_ptr<IServiceManager> OpenManager(uint32_t dwAccess) override {
    SC_HANDLE h = OpenSCManagerA(nullptr, nullptr, dwAccess);
    if (!h) {
      m_dwLastError = GetLastError();
      return nullptr;
    }
    return std::make_unique<CWinServiceManager>(h);
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  uint32_t m_dwLastError = 0;
};

// -------------------------------------------------------------- devices --

class CWinDevice : public IDevice {
 public:
  explicit CWinDevice(HANDLE hDevice) : m_hDevice(hDevice) {}
  ~CWinDevice() override { CloseHandle(m_hDevice); }
  bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nInBytes, void* pOut,
                 uint32_t nOutBytes, uint32_t* pnReturned) override {
    DWORD dwReturned = 0;
    BOOL bOk = DeviceIoControl(m_hDevice, dwCode, const_cast<void*>(pIn), nInBytes, pOut, nOutBytes,
                               &dwReturned, nullptr);
    m_dwLastError = bOk ? 0 : GetLastError();
    if (pnReturned) *pnReturned = dwReturned;
    return bOk != FALSE;
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  HANDLE m_hDevice;
  uint32_t m_dwLastError = 0;
};

class CWinDevicePort : public IDevicePort {
 public:
  std::unique_ptr<IDevice> Open(const std::string& strName) override {
    return OpenWin32Device(strName, FILE_SHARE_READ | FILE_SHARE_WRITE, &m_dwLastError);
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  uint32_t m_dwLastError = 0;
};

// --------------------------------------------------------- system facts --

class CWinSystem : public ISystem {
 public:
  bool GetVersion(SOsVersion* pVersion) override {
    static_assert(sizeof(OSVERSIONINFOEXA) == sizeof(SOsVersion), "same record");
    OSVERSIONINFOEXA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = pVersion->dwOSVersionInfoSize;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
#pragma GCC diagnostic pop
    std::memcpy(pVersion, &info, sizeof(info));
    return true;
  }
  bool QueryWow64(bool* pbWow64) override {
    typedef BOOL(WINAPI * PFN_ISWOW64)(HANDLE, PBOOL);
    HMODULE hKernel = GetModuleHandleA("kernel32");
    if (!hKernel) return false;
    PFN_ISWOW64 pfn = reinterpret_cast<PFN_ISWOW64>(
        reinterpret_cast<void*>(GetProcAddress(hKernel, "IsWow64Process")));
    if (!pfn) return false;
    BOOL bWow64 = FALSE;
    *pbWow64 = pfn(GetCurrentProcess(), &bWow64) && bWow64;
    return true;
  }
  uint16_t GetUserDefaultLangId() override { return GetUserDefaultLangID(); }
  bool SetProcessAffinityMask(uintptr_t dwMask) override {
    return ::SetProcessAffinityMask(GetCurrentProcess(), dwMask) != FALSE;
  }
  int GetThreadPriority() override { return ::GetThreadPriority(GetCurrentThread()); }
  bool SetThreadPriority(int nPriority) override {
    return ::SetThreadPriority(GetCurrentThread(), nPriority) != FALSE;
  }
  void Sleep(uint32_t dwMilliseconds) override { ::Sleep(dwMilliseconds); }
  uint32_t GetTickCount() override { return ::GetTickCount(); }
  bool QueryModulePath(std::string* pstrPath) override {
    char szPath[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    pstrPath->assign(szPath, n);
    return true;
  }
  bool QuerySystemDirectory(std::string* pstrPath) override {
    char szPath[MAX_PATH + 1];
    return Take(GetSystemDirectoryA(szPath, MAX_PATH), szPath, pstrPath);
  }
  bool QueryTempPath(std::string* pstrPath) override {
    char szPath[MAX_PATH + 1];
    return Take(GetTempPathA(MAX_PATH, szPath), szPath, pstrPath);
  }
  bool QueryCurrentDirectory(std::string* pstrPath) override {
    char szPath[MAX_PATH + 1];
    return Take(GetCurrentDirectoryA(MAX_PATH, szPath), szPath, pstrPath);
  }

 private:
  static bool Take(DWORD n, const char* psz, std::string* pstr) {
    if (n == 0 || n >= MAX_PATH) return false;
    pstr->assign(psz, n);
    return true;
  }
};

// ----------------------------------------------- privileges and restart --

class CWinPowerPort : public IPowerPort {
 public:
  bool EnableShutdownPrivilege() override {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken))
      return false;
    TOKEN_PRIVILEGES tp;
    std::memset(&tp, 0, sizeof(tp));
    bool bOk = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid);
    if (bOk) {
      tp.PrivilegeCount = 1;
      tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      // AdjustTokenPrivileges succeeds even when it assigned nothing; the
      // last error tells whether the privilege was really granted.
      bOk = AdjustTokenPrivileges(hToken, FALSE, &tp, 0, nullptr, nullptr) &&
            GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(hToken);
    return bOk;
  }
  bool RequestExit(uint32_t dwFlags) override {
    return ExitWindowsEx(dwFlags, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED) !=
           FALSE;
  }
};

// ----------------------------------------------- modules and resources --

class CWinModulePort : public IModulePort {
 public:
  ModuleRef Self() override { return reinterpret_cast<ModuleRef>(GetModuleHandleA(nullptr)); }
  ModuleRef Load(const std::string& strPath) override {
    return reinterpret_cast<ModuleRef>(LoadLibraryA(strPath.c_str()));
  }
  void Free(ModuleRef hModule) override {
    if (hModule) FreeLibrary(reinterpret_cast<HMODULE>(hModule));
  }
  bool GetString(ModuleRef hModule, uint32_t nId, std::string* pstrText) override {
    // Read the raw string block so that texts arrive byte for byte whatever
    // the ANSI code page (LoadStringA would convert through it).
    HMODULE h = reinterpret_cast<HMODULE>(hModule);
    HRSRC hRes = FindResourceA(h, MAKEINTRESOURCEA((nId >> 4) + 1), MAKEINTRESOURCEA(6));
    if (!hRes) return false;
    HGLOBAL hData = LoadResource(h, hRes);
    DWORD dwSize = SizeofResource(h, hRes);
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(hData));
    if (!p) return false;
    const WCHAR* pEnd = p + dwSize / sizeof(WCHAR);
    for (uint32_t i = 0; i < (nId & 15); ++i) {
      if (p >= pEnd) return false;
      p += 1 + *p;
    }
    if (p >= pEnd || *p == 0 || p + 1 + *p > pEnd) return false;
    int nLen = *p;
    int nBytes = WideCharToMultiByte(CP_ACP, 0, p + 1, nLen, nullptr, 0, nullptr, nullptr);
    std::string str(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, p + 1, nLen, &str[0], nBytes, nullptr, nullptr);
    *pstrText = str;
    return true;
  }
};

// ------------------------------------------------------------------- UI --

// Message boxes only: the file dialogs live in FileDialog_win.cpp (comdlg32),
// which a program that shows them links (GetWin32PlatformWithDialogs), so
// that a library needing message boxes alone does not import comdlg32.
class CWinMessageBoxUi : public IUiPort {
 public:
  int ShowMessageBox(WindowRef hOwner, const std::string& strText, const std::string& strCaption,
                     uint32_t dwFlags) override {
    return MessageBoxA(reinterpret_cast<HWND>(hOwner), strText.c_str(), strCaption.c_str(),
                       dwFlags);
  }
  // No dialog is shown: answered as cancelled.
  bool ChooseOpenFile(WindowRef, const std::string&, const std::string&, std::string*) override {
    return false;
  }
  bool ChooseSaveFile(WindowRef, const std::string&, const std::string&, const std::string&,
                      std::string*) override {
    return false;
  }
};

}  // namespace

std::unique_ptr<IRegistryKey> OpenWin32RegistryKey(HKEY hRoot, const std::string& strPath,
                                                   uint32_t dwAccess) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(hRoot, strPath.c_str(), 0, Sam(dwAccess), &hKey) != ERROR_SUCCESS)
    return nullptr;
  return std::make_unique<CWinRegistryKey>(hKey);
}

std::unique_ptr<IDevice> OpenWin32Device(const std::string& strName, uint32_t dwShareMode,
                                         uint32_t* pdwError) {
  HANDLE h = CreateFileA(strName.c_str(), GENERIC_READ | GENERIC_WRITE, dwShareMode, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  *pdwError = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<CWinDevice>(h);
}

SPlatform& GetWin32Platform() {
  static CWinFileSystem s_files;
  static CWinRegistry s_registry;
  static CWinServicePort s_services;
  static CWinDevicePort s_devices;
  static CWinSystem s_system;
  static CWinPowerPort s_power;
  static CWinModulePort s_modules;
  static CWinMessageBoxUi s_ui;
  static SPlatform s_platform{&s_files,  &s_registry, &s_services, &s_devices,
                              &s_system, &s_power,    &s_modules,  &s_ui};
  return s_platform;
}
