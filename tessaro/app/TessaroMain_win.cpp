// Tessaro's entry point: wires the Win32 ports and runs the start-up.
#include <windows.h>

#include "platform/win/Platform_win.h"
#include "tessaro/app/MessageHelper.h"
#include "tessaro/app/Resources.h"
#include "tessaro/app/Switches.h"
#include "tessaro/app/SystemInfo.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
  SPlatform& platform = GetWin32Platform();
  platform.pSystem->SetProcessAffinityMask(1);
  CSystemInfo systemInfo(*platform.pSystem, *platform.pPower, *platform.pUi);

  CResources resources(*platform.pModules);
  char szProgramDir[kDirectoryBufferSize];
  GetProgramDirectory(*platform.pSystem, szProgramDir, sizeof(szProgramDir));
  resources.LoadSatellite(CResources::SatelliteName(szProgramDir, systemInfo.GetLanguageCode()));

  CMessageHelper msg(resources, *platform.pUi);
  msg.ShowInfo(658);
  ApplyCommandLine(lpCmdLine ? lpCmdLine : "");
  // No BIOS family engine is wired into this build yet.
  msg.ShowError(801);
  return 0;
}
