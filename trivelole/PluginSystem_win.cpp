#include "trivelole/PluginSystem_win.h"

#include <windows.h>
// The port's member of that name, not the A/W macro of <windows.h>.
#undef MessageBox

#include <cstring>
#include <vector>

#include "trivelole/ControllerPort_win.h"
#include "trivelole/XmlDocument_win.h"

namespace {

// KEY_READ: the access the plug-in asks for on its registry key.
constexpr REGSAM kRegistryRead = 0x20019;
// The text field a machine string is read into, terminating NUL included.
constexpr size_t kMachineStringField = 1024;
// The code reported when a failed step leaves no error of its own.
constexpr DWORD kUnknownFailure = ERROR_GEN_FAILURE;

// Owns an open registry key.
class CRegistryKeyScope {
 public:
  CRegistryKeyScope() = default;
  CRegistryKeyScope(const CRegistryKeyScope&) = delete;
  CRegistryKeyScope& operator=(const CRegistryKeyScope&) = delete;
  ~CRegistryKeyScope() {
    if (m_hKey) RegCloseKey(m_hKey);
  }
  HKEY Get() const { return m_hKey; }
  HKEY* Put() { return &m_hKey; }

 private:
  HKEY m_hKey = nullptr;
};

// Owns a kernel handle.
class CHandleScope {
 public:
  CHandleScope() = default;
  CHandleScope(const CHandleScope&) = delete;
  CHandleScope& operator=(const CHandleScope&) = delete;
  ~CHandleScope() {
    if (m_h) CloseHandle(m_h);
  }
  HANDLE Get() const { return m_h; }
  HANDLE* Put() { return &m_h; }

 private:
  HANDLE m_h = nullptr;
};

// The error of the step that just failed, never 0: a caller takes 0 for
// success.
DWORD FailedStepError() {
  const DWORD dwError = GetLastError();
  return dwError != ERROR_SUCCESS ? dwError : kUnknownFailure;
}

// The host program's file name without folder and extension: the caption
// of a message box the plug-in shows without one.
std::string HostProgramName() {
  char sz[MAX_PATH] = {0};
  const DWORD dwLength = GetModuleFileNameA(nullptr, sz, MAX_PATH);
  std::string str(sz, dwLength < MAX_PATH ? dwLength : MAX_PATH - 1);
  const size_t nSlash = str.find_last_of("\\/");
  if (nSlash != std::string::npos) str.erase(0, nSlash + 1);
  const size_t nDot = str.find_last_of('.');
  if (nDot != std::string::npos && nDot > 0) str.erase(nDot);
  return str;
}

class CWin32PluginSystem : public IPluginSystem {
 public:
  int MessageBox(const std::string& strText, const char* pszCaption, uint32_t dwStyle) override {
    const std::string strCaption = pszCaption ? std::string(pszCaption) : HostProgramName();
    return MessageBoxA(nullptr, strText.c_str(), strCaption.c_str(), dwStyle);
  }

  bool ReadMachineString(const std::string& strSubKey, const std::string& strValue,
                         std::string* pstrValue) override {
    pstrValue->clear();
    CRegistryKeyScope key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strSubKey.c_str(), 0, kRegistryRead, key.Put()) !=
        ERROR_SUCCESS)
      return false;
    // A text longer than the field is read whole and then cut, so that a
    // long registered path still gives its beginning; the registry may hold
    // a text without its terminating NUL, so the buffer keeps one of its own.
    DWORD dwType = 0;
    DWORD dwSize = 0;
    if (RegQueryValueExA(key.Get(), strValue.c_str(), nullptr, &dwType, nullptr, &dwSize) !=
            ERROR_SUCCESS ||
        dwType != REG_SZ)
      return false;
    std::vector<char> vecBuffer;
    LONG lResult = ERROR_MORE_DATA;
    // The value may grow between the two calls; a few tries suffice.
    for (int nTry = 0; nTry < 4 && lResult == ERROR_MORE_DATA; ++nTry) {
      vecBuffer.assign(static_cast<size_t>(dwSize) + 1, '\0');
      DWORD dwRead = dwSize;
      lResult = RegQueryValueExA(key.Get(), strValue.c_str(), nullptr, &dwType,
                                 reinterpret_cast<BYTE*>(vecBuffer.data()), &dwRead);
      if (lResult == ERROR_MORE_DATA) dwSize = dwRead;
    }
    if (lResult != ERROR_SUCCESS || dwType != REG_SZ) return false;
    const size_t nLength = strnlen(vecBuffer.data(), vecBuffer.size() - 1);
    pstrValue->assign(vecBuffer.data(),
                      nLength < kMachineStringField - 1 ? nLength : kMachineStringField - 1);
    return true;
  }

  int ReadProfileInt(const std::string& strSection, const std::string& strKey, int nDefault,
                     const std::string& strPath) override {
    return static_cast<int>(
        GetPrivateProfileIntA(strSection.c_str(), strKey.c_str(), nDefault, strPath.c_str()));
  }

  uint32_t SetShutdownPrivilege(bool bEnable) override {
    CHandleScope token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put()))
      return FailedStepError();
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
      return FailedStepError();
    privileges.Privileges[0].Attributes = bEnable ? SE_PRIVILEGE_ENABLED : 0;
    // The call succeeds even when the token lacks the privilege; only the
    // error it leaves behind (ERROR_NOT_ALL_ASSIGNED) tells.
    SetLastError(ERROR_SUCCESS);
    const BOOL bAdjusted = AdjustTokenPrivileges(token.Get(), FALSE, &privileges,
                                                 sizeof(privileges), nullptr, nullptr);
    const DWORD dwError = GetLastError();
    if (bAdjusted && dwError == ERROR_SUCCESS) return 0;
    return dwError != ERROR_SUCCESS ? dwError : kUnknownFailure;
  }

  void ExitProcess(uint32_t dwCode) override { ::ExitProcess(dwCode); }

  std::unique_ptr<IXmlDocument> CreateXmlDocument() override { return CreateMsxmlDocument(); }

  std::unique_ptr<IControllerPort> OpenController() override {
    EControllerBind eBind = EControllerBind::NoLibrary;
    std::unique_ptr<CLibraryControllerPort> pPort =
        OpenWin32ControllerPort(&eBind, kControllerLibrary);
    if (eBind == EControllerBind::NoLibrary) return nullptr;
    return pPort;
  }
};

}  // namespace

std::unique_ptr<IPluginSystem> CreateWin32PluginSystem() {
  return std::make_unique<CWin32PluginSystem>();
}
