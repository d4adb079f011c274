// The Win32 implementations of the ports (Windows build only).
#pragma once

#include "platform/Ports.h"

// One program-wide set, created on first use (safe during static
// initialisation of the program-wide objects).
SPlatform& GetWin32Platform();

// Opens a device for reading and writing with the given sharing mode
// (FILE_SHARE_* flags); null on failure with the error in *pdwError.
std::unique_ptr<IDevice> OpenWin32Device(const std::string& strName, uint32_t dwShareMode,
                                         uint32_t* pdwError);
