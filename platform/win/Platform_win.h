// The Win32 implementations of the ports (Windows build only).
#pragma once

#include "platform/Ports.h"

// One program-wide set, created on first use (safe during static
// initialisation of the program-wide objects).
SPlatform& GetWin32Platform();
