#include "tessaro/app/SettingsPresenter.h"

#include "tessaro/app/ControlIds.h"

namespace {

void Flip(uint8_t* pbValue) { *pbValue = *pbValue ? 0 : 1; }

}  // namespace

void SSettingsCommon::LoadCommon(const FlashOptions& options) {
  m_bBootBlock = options.BootBlock;
  m_bClearCMOS = options.ClearCMOS;
  m_bLoadCMOSDefault = options.LoadCMOSDefault;
  m_bIgnoreBiosIDChk = options.IgnoreBiosIDChk;
  m_bIgnoreBiosPNChk = options.IgnoreBiosPNChk;
}

void SSettingsCommon::StoreCommon(FlashOptions* pOptions) const {
  pOptions->BootBlock = m_bBootBlock;
  pOptions->ClearCMOS = m_bClearCMOS;
  pOptions->LoadCMOSDefault = m_bLoadCMOSDefault;
  pOptions->IgnoreBiosIDChk = m_bIgnoreBiosIDChk;
  pOptions->IgnoreBiosPNChk = m_bIgnoreBiosPNChk;
}

void SSettingsCommon::InitLockable(ISettingsView& view, int nId, bool bLocked, uint8_t byValue) {
  if (bLocked) {
    view.SetCheck(nId, false);
    view.EnableControl(nId, false);
  } else {
    view.SetCheck(nId, byValue != 0);
  }
}

bool SSettingsCommon::FlipCommon(int nId) {
  switch (nId) {
    case IDC_SET_BOOTBLOCK:
      Flip(&m_bBootBlock);
      return true;
    case IDC_SET_LOADDEFAULT:
      Flip(&m_bLoadCMOSDefault);
      return true;
    case IDC_SET_IGNORE_ID:
      Flip(&m_bIgnoreBiosIDChk);
      return true;
    case IDC_SET_IGNORE_PN:
      Flip(&m_bIgnoreBiosPNChk);
      return true;
    default:
      return false;
  }
}

void CAmiSettings::LoadFrom(const FlashOptions& options) {
  LoadCommon(options);
  m_bNvRam = options.NvRam;
}

void CAmiSettings::StoreTo(FlashOptions* pOptions) const {
  StoreCommon(pOptions);
  pOptions->NvRam = m_bNvRam;
}

void CAmiSettings::OnInit(ISettingsView& view) const {
  view.SetCheck(IDC_SET_BOOTBLOCK, m_bBootBlock != 0);
  view.SetCheck(IDC_SET_NVRAM, m_bNvRam != 0);
  InitLockable(view, IDC_SET_CLEARCMOS, m_bNoClearCMOS, m_bClearCMOS);
  InitLockable(view, IDC_SET_LOADDEFAULT, m_bNoLoadCMOSDefault, m_bLoadCMOSDefault);
  view.SetCheck(IDC_SET_IGNORE_ID, m_bIgnoreBiosIDChk != 0);
  view.SetCheck(IDC_SET_IGNORE_PN, m_bIgnoreBiosPNChk != 0);
  view.ShowControl(IDC_SET_IGNORE_ID, false);
  view.ShowControl(IDC_SET_IGNORE_PN, false);
  view.ShowControl(IDC_SET_IGNORE_FRAME, false);
}

void CAmiSettings::OnClick(ISettingsView&, int nId) {
  if (FlipCommon(nId)) return;
  if (nId == IDC_SET_NVRAM) Flip(&m_bNvRam);
  if (nId == IDC_SET_CLEARCMOS) Flip(&m_bClearCMOS);
}

void CAmiSettings::OnDefault(ISettingsView& view) {
  view.SetCheck(IDC_SET_BOOTBLOCK, true);
  view.SetCheck(IDC_SET_NVRAM, true);
  view.SetCheck(IDC_SET_CLEARCMOS, true);
  view.SetCheck(IDC_SET_LOADDEFAULT, false);
  view.SetCheck(IDC_SET_IGNORE_ID, false);
  view.SetCheck(IDC_SET_IGNORE_PN, false);
  m_bBootBlock = m_bNvRam = m_bClearCMOS = 1;
  m_bLoadCMOSDefault = m_bIgnoreBiosIDChk = m_bIgnoreBiosPNChk = 0;
}

void CAwardSettings::LoadFrom(const FlashOptions& options) {
  LoadCommon(options);
  m_bClearPNP = options.ClearPNP;
  m_bClearDMI = options.ClearDMI;
}

void CAwardSettings::StoreTo(FlashOptions* pOptions) const {
  StoreCommon(pOptions);
  pOptions->ClearPNP = m_bClearPNP;
  pOptions->ClearDMI = m_bClearDMI;
}

void CAwardSettings::OnInit(ISettingsView& view) const {
  view.SetCheck(IDC_SET_BOOTBLOCK, m_bBootBlock != 0);
  view.SetCheck(IDC_SET_PNP, m_bClearPNP != 0);
  view.SetCheck(IDC_SET_DMI, m_bClearDMI != 0);
  InitLockable(view, IDC_SET_CLEARCMOS, m_bNoClearCMOS, m_bClearCMOS);
  view.SetCheck(IDC_SET_IGNORE_ID, m_bIgnoreBiosIDChk != 0);
  view.SetCheck(IDC_SET_IGNORE_PN, m_bIgnoreBiosPNChk != 0);
  view.ShowControl(IDC_SET_IGNORE_FRAME, m_bShowPartNumberBox);
  view.ShowControl(IDC_SET_IGNORE_PN, m_bShowPartNumberBox);
  // Load CMOS Default is not offered on this family; its value passes
  // through unless Default is pressed.
  view.ShowControl(IDC_SET_LOADDEFAULT, false);
  view.EnableControl(IDC_SET_LOADDEFAULT, false);
  view.ShowControl(IDC_SET_IGNORE_ID, false);
}

void CAwardSettings::OnClick(ISettingsView& view, int nId) {
  if (FlipCommon(nId)) return;
  if (nId == IDC_SET_PNP) Flip(&m_bClearPNP);
  if (nId == IDC_SET_DMI) Flip(&m_bClearDMI);
  // This family's Clear CMOS box follows the box's own state.
  if (nId == IDC_SET_CLEARCMOS) m_bClearCMOS = view.GetCheck(IDC_SET_CLEARCMOS) ? 1 : 0;
}

void CAwardSettings::OnDefault(ISettingsView& view) {
  view.SetCheck(IDC_SET_BOOTBLOCK, true);
  view.SetCheck(IDC_SET_PNP, true);
  view.SetCheck(IDC_SET_DMI, true);
  view.SetCheck(IDC_SET_CLEARCMOS, true);
  view.SetCheck(IDC_SET_IGNORE_ID, false);
  view.SetCheck(IDC_SET_IGNORE_PN, false);
  m_bBootBlock = m_bClearPNP = m_bClearDMI = m_bClearCMOS = 1;
  m_bIgnoreBiosIDChk = m_bIgnoreBiosPNChk = m_bLoadCMOSDefault = 0;
}
