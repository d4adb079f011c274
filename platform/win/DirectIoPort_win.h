// The direct-I/O port of the Windows 9x family (Windows build only).
//
// There a program may execute IN and OUT itself, and the first megabyte of
// physical memory is mapped at the same linear addresses in every process.
// On the NT family both fault, so the port checks the platform once and
// then refuses every call there instead of executing anything; a program
// still hands it only to code that runs on the 9x family
// (SelectDirectIoPort in tessaro/core/SystemInfo.h decides).
#pragma once

#include "platform/DirectIoPort.h"

// One program-wide instance.
IDirectIoPort& GetWin32DirectIoPort();
