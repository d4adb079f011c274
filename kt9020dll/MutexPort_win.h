// The Win32 named mutexes and their access descriptor.
#pragma once

#include "platform/MutexPort.h"

IMutexPort& GetWin32MutexPort();
