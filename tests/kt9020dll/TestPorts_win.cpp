// Ports of the test builds of the library. Both run as a caller without
// administrator rights (so the library touches no driver service, as for
// a plain user once an administrator has started the driver). The
// loopback build (KT9020_LOOPBACK_DEVICE) answers from an in-process
// device instead of the driver.
#include "kt9020dll/LibraryPorts_win.h"
#include "tests/kt9020dll/LoopbackDevice.h"

namespace {

class CPlainUserToken : public ITokenPort {
 public:
  bool IsAdministrator() override { return false; }
};

}  // namespace

SKt9020Ports GetWin32LibraryPorts() {
  static CPlainUserToken s_token;
#ifdef KT9020_LOOPBACK_DEVICE
  static CLoopbackDevicePort s_devices;
  return MakeWin32LibraryPorts(&s_devices, &s_token);
#else
  return MakeWin32LibraryPorts(&GetWin32DriverDevicePort(), &s_token);
#endif
}
