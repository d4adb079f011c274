// The Win32 FTP port over WinINet (Windows build only).
#pragma once

#include "platform/FtpPort.h"

// One program-wide instance; each session it opens is independent.
IFtpPort& GetWin32FtpPort();
