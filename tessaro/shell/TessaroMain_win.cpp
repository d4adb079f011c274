// Tessaro's entry point and its program-wide objects, in the order they
// must come to life: the program's texts (which the engines and the
// application object share), the hardware access of both BIOS families
// (the Award engine's direct port on the Windows 9x family only),
// then the application object, which detects the family before any window
// exists. They are destroyed in the reverse order at exit, so the Award
// driver connection closes after the application object is gone.
#include <windows.h>

#include "platform/win/DirectIoPort_win.h"
#include "platform/win/FileDialog_win.h"
#include "platform/win/FtpPort_win.h"
#include "platform/win/Platform_win.h"
#include "platform/win/SetupApiPort_win.h"
#include "platform/win/WmiPort_win.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/Switches.h"
#include "tessaro/core/SystemInfo.h"
#include "tessaro/app/TessaroApp.h"
#include "tessaro/shell/TessaroShell_win.h"
#include "formats/Lh5.h"
#include "tessaro/ami/AmiEngine.h"
#include "tessaro/ami/AmiHwAccess.h"
#include "tessaro/award/AwardBios.h"
#include "tessaro/award/AwardEngine.h"
#include "tessaro/liveupdate/BoardInfo.h"

namespace {

// The program's ports: the Win32 set with the file dialogs, which the
// Award engine may already need while start-up looks for its driver, and
// Live Update's FTP and worker threads.
SPlatform& ProgramPlatform() {
  static SPlatform s_platform = [] {
    SPlatform platform = GetWin32Platform();
    platform.pFileDialogs = &GetWin32FileDialogPort();
    platform.pFtp = &GetWin32FtpPort();
    platform.pThreads = &GetWin32ThreadPort();
    return platform;
  }();
  return s_platform;
}

// The model and revision the information file knows the running BIOS by:
// for Award the pieces of its id before and after the last dash, for AMI
// the model and revision fields of its tag.
class CBiosIdentity : public IBiosIdentitySource {
 public:
  CBiosIdentity(const CAwardBios& award, const CAmiHwAccess& ami) : m_award(award), m_ami(ami) {}
  EBiosFamily Family() const override { return g_Family.Family(); }
  std::string Model() const override {
    return g_bAmiBios ? m_ami.m_szModel : std::string(m_award.m_szIdPrevPart);
  }
  std::string Revision() const override {
    return g_bAmiBios ? m_ami.m_szRevision : std::string(m_award.m_szIdLastPart);
  }

 private:
  const CAwardBios& m_award;
  const CAmiHwAccess& m_ami;
};

bool IsWin9xFamily() {
  SPlatform& platform = ProgramPlatform();
  return CSystemInfo(*platform.pSystem, *platform.pPower, *platform.pUi).IsWin9x();
}

// The AMI drivers' ports: on the 9x family the direct port, elsewhere the
// drivers alone.
SAmiHwPorts AmiPorts() {
  SPlatform& platform = ProgramPlatform();
  SAmiHwPorts ports;
  ports.pServices = platform.pServices;
  ports.pDevices = platform.pDevices;
  ports.pSystem = platform.pSystem;
  ports.pFiles = platform.pFiles;
  ports.pUi = platform.pUi;
  ports.pDirectIo = SelectDirectIoPort(
      CSystemInfo(*platform.pSystem, *platform.pPower, *platform.pUi), GetWin32DirectIoPort());
  return ports;
}

bool DecodeModule(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  return Lh5Decode(pIn, nIn, pOut, nOut);
}

// Constructing the texts only binds the module port; the satellite is
// loaded later by the application object.
CResources g_Resources(*ProgramPlatform().pModules);
// The AMI access looks for its BIOS first; without the AMI drivers beside
// the program it finds none, silently, and the Award detection follows.
CAmiHwAccess g_AmiHwAccess(AmiPorts(), g_Resources, IsWin9xFamily());

// On the Windows 9x family the Award engine reads its BIOS segment and
// raises SMIs itself; everywhere else it gets no direct port and goes
// through the WinFlash driver.
IDirectIoPort* AwardDirectIoPort() {
  SPlatform& platform = ProgramPlatform();
  const CSystemInfo systemInfo(*platform.pSystem, *platform.pPower, *platform.pUi);
  return SelectDirectIoPort(systemInfo, GetWin32DirectIoPort());
}

CAwardBios g_AwardBios(ProgramPlatform(), g_Resources, AwardDirectIoPort());
CAwardEngine g_AwardEngine(g_AwardBios);
CAmiEngine g_AmiEngine(ProgramPlatform(), g_Resources, g_AmiHwAccess, DecodeModule);
CAwardFamilyProbe g_FamilyProbe(g_AwardBios, g_AmiHwAccess);
CTessaroApp g_App(ProgramPlatform(), g_Resources, g_FamilyProbe);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
  SPlatform& platform = ProgramPlatform();
  const CSystemInfo systemInfo(*platform.pSystem, *platform.pPower, *platform.pUi);
  CBiosIdentity identity(g_AwardBios, g_AmiHwAccess);
  CBoardInfo board(platform, g_App.Messages(), GetWin32DeviceEnumPort(), GetWin32WmiPort(),
                   identity, systemInfo.IsWin9x());
  // Without a detected family the window shows no engine facts at all.
  CNoBoardEngine noEngine;
  IBiosEngine& engine = g_bAmiBios     ? static_cast<IBiosEngine&>(g_AmiEngine)
                        : g_bAwardBios ? static_cast<IBiosEngine&>(g_AwardEngine)
                                       : noEngine;
  return RunTessaro(platform, g_App, engine, board, lpCmdLine);
}
