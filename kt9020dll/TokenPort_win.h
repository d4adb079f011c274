// The Win32 administrator test of the process token.
#pragma once

#include "platform/TokenPort.h"

ITokenPort& GetWin32TokenPort();
