// The Win32 device enumeration port (Windows build only).
#pragma once

#include "platform/SetupApiPort.h"

// One program-wide instance.
IDeviceEnumPort& GetWin32DeviceEnumPort();
