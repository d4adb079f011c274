// The controller port of the Windows build: the controller library loaded
// with LoadLibraryA and its exports bound with GetProcAddress.
#pragma once

#include <memory>

#include "trivelole/ControllerPort.h"

// LoadLibraryA / GetProcAddress / FreeLibrary.
std::unique_ptr<ILibraryLoader> MakeWin32LibraryLoader();

// A port over the controller library (KT9020DLL.dll, found as Windows
// finds libraries, or a path), already bound; *peBind tells whether it is.
std::unique_ptr<CLibraryControllerPort> OpenWin32ControllerPort(
    EControllerBind* peBind, const std::string& strLibrary = kControllerLibrary);
