// The Win32 file dialogs (comdlg32), apart from the base set of ports so
// that only programs that show them import comdlg32 (Windows build only).
#pragma once

#include "platform/FileDialogPort.h"

// The open and save dialogs; programs that show them put it into their
// SPlatform (pFileDialogs).
IFileDialogPort& GetWin32FileDialogPort();
