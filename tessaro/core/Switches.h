// Program-wide flags: the detected BIOS family and the command-line switch.
#pragma once

#include <string>

#include "tessaro/core/BiosFamily.h"

extern bool g_bTest;
extern bool g_bBeta;
extern bool g_bPower;
extern bool g_bTran;
extern bool g_bDebug;

// Compares the whole command line (as the start-up code hands it over,
// without the program name), case-insensitively, with each switch; the
// first equal one sets its flag. Anything else sets nothing. Returns the
// flag that was set, or null.
bool* ApplyCommandLine(const std::string& strCommandLine);

// Puts the detected family, the switches and the update options back to
// their state at process start.
void ResetProgramState();
