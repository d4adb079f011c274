// The Win32 WMI port (Windows build only).
#pragma once

#include "platform/WmiPort.h"

// One program-wide instance; COM calls act on the calling thread.
IWmiPort& GetWin32WmiPort();
