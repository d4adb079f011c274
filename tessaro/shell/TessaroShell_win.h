// Runs Tessaro once its program-wide objects exist: the start-up of the
// application object and, when it decides so, the modal main window.
#pragma once

#include <windows.h>

#include "tessaro/core/BiosEngine.h"
#include "tessaro/app/TessaroApp.h"

int RunTessaro(SPlatform& platform, CTessaroApp& app, IBiosEngine& engine, IBoardInfo& board,
               LPCSTR pszCommandLine);
