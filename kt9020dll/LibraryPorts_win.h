// The ports of the controller library in this process: the platform's
// services, system facts and message boxes, the named mutexes, the token
// and the driver's device. The DLL shell calls it once, inside DllMain.
#pragma once

#include "kt9020dll/Kt9020Library.h"

SKt9020Ports GetWin32LibraryPorts();
