// The ports of the controller library in this process: the platform's
// services, system facts and message boxes, the named mutexes, the token
// and the driver's device. The DLL shell calls it once, inside DllMain.
#pragma once

#include "kt9020dll/Kt9020Library.h"

SKt9020Ports GetWin32LibraryPorts();

// The platform's services, system facts and message boxes and the Win32
// mutexes, with the given device and token ports.
SKt9020Ports MakeWin32LibraryPorts(IDevicePort* pDevices, ITokenPort* pToken);

// The driver's device port: "\\.\Mirel" opened without sharing.
IDevicePort& GetWin32DriverDevicePort();
