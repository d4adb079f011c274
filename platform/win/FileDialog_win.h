// The Win32 file dialogs (comdlg32), apart from the base set of ports so
// that only programs that show them import comdlg32 (Windows build only).
#pragma once

#include "platform/FileDialogPort.h"
#include "platform/Ports.h"

// The open-file dialog with the fuller set of choices.
IFileDialogPort& GetWin32FileDialogPort();

// The program-wide set of GetWin32Platform with a UI port that also shows
// the open and save dialogs (message boxes as the base set's), created on
// first use (safe during static initialisation of the program-wide objects).
SPlatform& GetWin32PlatformWithDialogs();
