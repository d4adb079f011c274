#include "kt9020dll/LibraryPorts_win.h"
#include "kt9020dll/MutexPort_win.h"
#include "platform/win/Platform_win.h"

SKt9020Ports MakeWin32LibraryPorts(IDevicePort* pDevices, ITokenPort* pToken) {
  SPlatform& platform = GetWin32Platform();
  SKt9020Ports ports;
  ports.pServices = platform.pServices;
  ports.pDevices = pDevices;
  ports.pSystem = platform.pSystem;
  ports.pUi = platform.pUi;
  ports.pMutexes = &GetWin32MutexPort();
  ports.pToken = pToken;
  return ports;
}
