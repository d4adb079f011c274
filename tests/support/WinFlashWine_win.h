// Helpers of the Wine tests that run the bench's WinFlash.sys through the
// real service control manager.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

// The build tree as a Windows path (Wine maps Z: to the root).
inline std::string BinaryDir() {
  const char* psz = std::getenv("TESSARO_BINARY_DIR");
  std::string s = psz ? psz : ".";
  if (!s.empty() && s[0] == '/') s = "Z:" + s;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

// Stops and deletes the driver service, so that the next start loads the
// board afresh from the state file beside the driver it is pointed at.
inline void RemoveWinFlashService() {
  SC_HANDLE hScm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!hScm) return;
  if (SC_HANDLE h = OpenServiceA(hScm, "WINFLASH", SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS status;
    if (ControlService(h, SERVICE_CONTROL_STOP, &status))
      for (int i = 0;
           i < 50 && QueryServiceStatus(h, &status) && status.dwCurrentState != SERVICE_STOPPED;
           ++i)
        Sleep(100);
    DeleteService(h);
    CloseServiceHandle(h);
  }
  CloseServiceHandle(hScm);
}
