// Tessaro's entry point and its program-wide objects, in the order they
// must come to life: the program's texts (which the engines and the
// application object share), the hardware access of both BIOS families,
// then the application object, which detects the family before any window
// exists. They are destroyed in the reverse order at exit, so the Award
// driver connection closes after the application object is gone.
#include <windows.h>

#include "platform/win/FileDialog_win.h"
#include "platform/win/SetupApiPort_win.h"
#include "platform/win/WmiPort_win.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/Switches.h"
#include "tessaro/core/SystemInfo.h"
#include "tessaro/app/TessaroApp.h"
#include "tessaro/shell/TessaroShell_win.h"
#include "tessaro/award/AwardBios.h"
#include "tessaro/award/AwardEngine.h"
#include "tessaro/liveupdate/BoardInfo.h"

namespace {

// The model and revision the information file knows the Award BIOS by:
// the pieces of its id before and after the last dash.
class CAwardBiosIdentity : public IBiosIdentitySource {
 public:
  explicit CAwardBiosIdentity(const CAwardBios& bios) : m_bios(bios) {}
  EBiosFamily Family() const override {
    return g_bAwardBios ? EBiosFamily::Award : EBiosFamily::None;
  }
  std::string Model() const override { return m_bios.m_szIdPrevPart; }
  std::string Revision() const override { return m_bios.m_szIdLastPart; }

 private:
  const CAwardBios& m_bios;
};

// Constructing the texts only binds the module port; the satellite is
// loaded later by the application object.
CResources g_Resources(*GetWin32PlatformWithDialogs().pModules);
// This build has no AMI engine: its detection finds no signature, so every
// machine goes on to the Award detection, silently.
CNoBoardProbe g_AmiHwAccess;
CAwardBios g_AwardBios(GetWin32PlatformWithDialogs(), g_Resources);
CAwardEngine g_Engine(g_AwardBios);
CAwardFamilyProbe g_FamilyProbe(g_AwardBios, g_AmiHwAccess);
CTessaroApp g_App(GetWin32PlatformWithDialogs(), g_Resources, g_FamilyProbe);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
  SPlatform& platform = GetWin32PlatformWithDialogs();
  const CSystemInfo systemInfo(*platform.pSystem, *platform.pPower, *platform.pUi);
  CAwardBiosIdentity identity(g_AwardBios);
  CBoardInfo board(platform, g_App.Messages(), GetWin32DeviceEnumPort(), GetWin32WmiPort(),
                   identity, systemInfo.IsWin9x());
  // Without a detected family the window shows no engine facts at all.
  CNoBoardEngine noEngine;
  IBiosEngine& engine = g_bAwardBios ? static_cast<IBiosEngine&>(g_Engine) : noEngine;
  return RunTessaro(platform, g_App, engine, board, lpCmdLine);
}
