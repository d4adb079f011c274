#include "kt9020dll/LibraryPorts_win.h"

#include "kt9020dll/TokenPort_win.h"

SKt9020Ports GetWin32LibraryPorts() {
  return MakeWin32LibraryPorts(&GetWin32DriverDevicePort(), &GetWin32TokenPort());
}
