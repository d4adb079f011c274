// The Win32 implementations of the ports (Windows build only).
#pragma once

#include "platform/Ports.h"

// One program-wide set, created on first use (safe during static
// initialisation of the program-wide objects). It has no file dialogs: a
// program that shows them adds GetWin32FileDialogPort (FileDialog_win.h).
SPlatform& GetWin32Platform();

// Worker threads of the system: a thread that does not finish in time can
// be ended by force (ThreadPort_win.cpp).
class IThreadPort;
IThreadPort& GetWin32ThreadPort();

// Opens a key below any predefined root (for example HKEY_DYN_DATA) as a
// port key; null when it cannot be opened.
struct HKEY__;
std::unique_ptr<IRegistryKey> OpenWin32RegistryKey(HKEY__* hRoot, const std::string& strPath,
                                                   uint32_t dwAccess);

// Opens a device for reading and writing with the given sharing mode
// (FILE_SHARE_* flags); null on failure with the error in *pdwError.
std::unique_ptr<IDevice> OpenWin32Device(const std::string& strName, uint32_t dwShareMode,
                                         uint32_t* pdwError);
