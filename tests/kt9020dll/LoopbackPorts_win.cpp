// Ports of the test build of the library: the real mutexes and platform,
// the loopback device in place of the driver, and a caller without
// administrator rights (so no driver service is touched).
#include "kt9020dll/LibraryPorts_win.h"
#include "kt9020dll/MutexPort_win.h"
#include "platform/win/Platform_win.h"
#include "tests/kt9020dll/LoopbackDevice.h"

namespace {

class CPlainUserToken : public ITokenPort {
 public:
  bool IsAdministrator() override { return false; }
};

}  // namespace

SKt9020Ports GetWin32LibraryPorts() {
  static CLoopbackDevicePort s_devices;
  static CPlainUserToken s_token;
  SPlatform& platform = GetWin32Platform();
  SKt9020Ports ports;
  ports.pServices = platform.pServices;
  ports.pDevices = &s_devices;
  ports.pSystem = platform.pSystem;
  ports.pUi = platform.pUi;
  ports.pMutexes = &GetWin32MutexPort();
  ports.pToken = &s_token;
  return ports;
}
