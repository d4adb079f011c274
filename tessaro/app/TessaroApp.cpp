#include "tessaro/app/TessaroApp.h"

#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/Switches.h"
#include "tessaro/core/SystemInfo.h"

namespace {

constexpr uint32_t kMsgWelcome = 658;
constexpr uint32_t kMsgNotSupported = 751;
constexpr uint32_t kMsgDriverFailure = 800;
constexpr uint32_t kMsgUnknownFamily = 801;

}  // namespace

SDispatch DecideDispatch(const SFamilyState& state, bool bTran) {
  if (state.bAmi) {
    if (!state.bAmiIdentityKnown) return {kMsgNotSupported, false};
    if (!state.bAmiDriverReady) return {kMsgDriverFailure, false};
    return {0, true};
  }
  if (state.bAward) {
    if (state.bAwardWindowsFlash) return {0, true};
    return {kMsgNotSupported, bTran};
  }
  return {kMsgUnknownFamily, false};
}

CTessaroApp::CTessaroApp(SPlatform& platform, CResources& resources, IFamilyProbe& probe)
    : m_platform(platform),
      m_probe(probe),
      m_resources(resources),
      m_Msg(m_resources, *platform.pUi) {
  g_FlashOptions = DefaultFlashOptions();
  // The flash sequences rely on running on one processor only.
  m_platform.pSystem->SetProcessAffinityMask(1);
  // The one place the family is written; g_bAmiBios and g_bAwardBios
  // read it from here on.
  SFamilyState& family = g_Family;
  family = SFamilyState();
  family.bAmi = m_probe.DetectAmiBios();
  if (family.bAmi) {
    m_probe.OpenAmiAccess();
    family.bAmiIdentityKnown = m_probe.IsAmiIdentityKnown();
    family.bAmiDriverReady = m_probe.IsAmiDriverReady();
  } else {
    m_probe.OpenAward();
    family.bAward = m_probe.IsAwardBios();
    family.bAwardWindowsFlash = family.bAward && m_probe.AwardAllowsWindowsFlash();
  }
}

CTessaroApp::~CTessaroApp() {
  if (g_Family.bAmi) m_probe.CloseAmiAccess();
}

int CTessaroApp::InitInstance(const std::string& strCommandLine,
                              const std::function<int()>& runMainWindow) {
  ISystem& system = *m_platform.pSystem;
  CSystemInfo systemInfo(system, *m_platform.pPower, *m_platform.pUi);
  char szProgramDir[kDirectoryBufferSize];
  GetProgramDirectory(system, szProgramDir, sizeof(szProgramDir));
  m_resources.LoadSatellite(CResources::SatelliteName(szProgramDir, systemInfo.GetLanguageCode()));

  m_Msg.ShowInfo(kMsgWelcome);
  ApplyCommandLine(strCommandLine);

  const SDispatch dispatch = DecideDispatch(g_Family, g_bTran);
  if (dispatch.nMessage) m_Msg.ShowError(dispatch.nMessage);
  int nExitCode = 0;
  if (dispatch.bOpenMainWindow) {
    nExitCode = runMainWindow();
    m_resources.Release();
  }
  return nExitCode;
}
