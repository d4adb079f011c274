// The bench's kernel drivers (WinFlash.sys, Mirel.sys, Memctl.sys, HwIOctl.sys) in the Wine tests:
// their services are installed, started, stopped and removed through the
// program's own driver-service helper over the real service control
// manager, so every test goes the way the programs go.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/DriverService.h"
#include "platform/win/Platform_win.h"
#include "tests/support/WinePath_win.h"

// How the tests install a bench driver: a kernel driver of the given start
// type, started without waiting (the device open decides), stops waited
// for up to 5 s in 100 ms steps.
inline SDriverServiceSettings BenchDriverSettings(const std::string& strName,
                                                  uint32_t dwStartType = kServiceDemandStart) {
  SDriverServiceSettings settings;
  settings.strName = strName;
  settings.dwStartType = dwStartType;
  settings.nStopPolls = 50;
  settings.dwStopPollMs = 100;
  return settings;
}

inline std::string BenchDriverParametersKey(const std::string& strName) {
  return "System\\CurrentControlSet\\Services\\" + strName + "\\Parameters";
}

// Stops and deletes a driver service with its parameters, so that the next
// start loads the board afresh from the state file it is pointed at. A
// service that does not exist is no failure.
inline void RemoveDriverService(const std::string& strName) {
  SPlatform& platform = GetWin32Platform();
  CDriverService service(*platform.pServices, *platform.pSystem, BenchDriverSettings(strName));
  service.Stop();
  // A stale state path would steer the next user of the service name.
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, BenchDriverParametersKey(strName).c_str());
  service.Remove();
}

inline void RemoveWinFlashService() { RemoveDriverService("WINFLASH"); }

// A bench driver's service for the length of a test, removed afterwards.
// With a state file the driver reads its board from there (the service's
// "StateFile" parameter); without one it looks beside its image.
class CBenchDriver {
 public:
  CBenchDriver(const std::string& strName, const std::string& strSys, const std::string& strState)
      : m_strName(strName),
        m_service(*GetWin32Platform().pServices, *GetWin32Platform().pSystem,
                  BenchDriverSettings(strName)) {
    RemoveDriverService(strName);
    m_bCreated = m_service.Install(strSys) == EDriverServiceResult::Ok;
    if (!m_bCreated || strState.empty()) return;
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, BenchDriverParametersKey(strName).c_str(), 0, nullptr,
                        0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(hKey, "StateFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(strState.c_str()),
                     static_cast<DWORD>(strState.size() + 1));
      RegCloseKey(hKey);
    }
  }
  ~CBenchDriver() { RemoveDriverService(m_strName); }
  CBenchDriver(const CBenchDriver&) = delete;
  CBenchDriver& operator=(const CBenchDriver&) = delete;

  bool Created() const { return m_bCreated; }
  bool Start() { return m_bCreated && m_service.Start() == EDriverServiceResult::Ok; }
  void Stop() { m_service.Stop(); }
  // The Win32 code of the last failed step.
  uint32_t LastError() const { return m_service.LastError(); }

 private:
  std::string m_strName;
  CDriverService m_service;
  bool m_bCreated = false;
};

// A bench device opened by name ("\\.\WinFlash"), closed with the object.
class CBenchDevice {
 public:
  explicit CBenchDevice(const char* pszName) {
    m_h = CreateFileA(pszName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~CBenchDevice() {
    if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
  }
  CBenchDevice(const CBenchDevice&) = delete;
  CBenchDevice& operator=(const CBenchDevice&) = delete;
  bool Open() const { return m_h != INVALID_HANDLE_VALUE; }
  // One request; *pn receives the bytes returned.
  bool Io(DWORD code, const void* in, DWORD nIn, void* out, DWORD nOut, DWORD* pn = nullptr) {
    DWORD n = 0;
    BOOL ok = DeviceIoControl(m_h, code, const_cast<void*>(in), nIn, out, nOut, &n, nullptr);
    if (pn) *pn = n;
    return ok != FALSE;
  }

 private:
  HANDLE m_h = INVALID_HANDLE_VALUE;
};
