// Ports of the test build of the library: the real mutexes and platform,
// the loopback device in place of the driver, and a caller without
// administrator rights (so no driver service is touched).
#include "kt9020dll/LibraryPorts_win.h"
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
  return MakeWin32LibraryPorts(&s_devices, &s_token);
}
