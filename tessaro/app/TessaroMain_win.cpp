// Tessaro's entry point and its program-wide objects, in the order they
// must come to life: the hardware access of both BIOS families, then the
// application object, which detects the family before any window exists.
// They are destroyed in the reverse order at exit.
#include <windows.h>

#include "platform/win/Platform_win.h"
#include "tessaro/app/BiosEngine.h"
#include "tessaro/app/TessaroApp.h"
#include "tessaro/app/TessaroShell_win.h"

namespace {

// The engines of both families are wired here once they exist; until then
// the program finds no board and says so after the start notice.
CNoBoardProbe g_FamilyProbe;
CNoBoardEngine g_Engine;
CNoBoardInfo g_BoardInfo;
CTessaroApp g_App(GetWin32Platform(), g_FamilyProbe);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
  return RunTessaro(GetWin32Platform(), g_App, g_Engine, g_BoardInfo, lpCmdLine);
}
