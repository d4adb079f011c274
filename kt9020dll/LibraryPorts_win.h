// The Win32 ports of the controller library: named mutexes with their
// access descriptor, the administrator test and the driver's device.
#pragma once

#include "kt9020dll/Kt9020Library.h"

// The ports of this process (created on first use, inside DllMain).
SKt9020Ports GetWin32LibraryPorts();
