// The Win32 open-file dialog with the fuller set of choices.
#pragma once

#include "platform/FileDialogPort.h"

IFileDialogPort& GetWin32FileDialogPort();
