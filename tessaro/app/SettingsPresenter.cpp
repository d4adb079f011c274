#include "tessaro/app/SettingsPresenter.h"

#include "tessaro/app/ControlIds.h"

namespace {

void Flip(uint8_t* pbValue) { *pbValue = *pbValue ? 0 : 1; }

}  // namespace

void CAmiSettings::LoadFrom(const FlashOptions& options) {
  m_bBootBlock = options.BootBlock;
  m_bNvRam = options.NvRam;
  m_bClearCMOS = options.ClearCMOS;
  m_bLoadCMOSDefault = options.LoadCMOSDefault;
  m_bIgnoreBiosIDChk = options.IgnoreBiosIDChk;
  m_bIgnoreBiosPNChk = options.IgnoreBiosPNChk;
}

void CAmiSettings::StoreTo(FlashOptions* pOptions) const {
  pOptions->BootBlock = m_bBootBlock;
  pOptions->NvRam = m_bNvRam;
  pOptions->ClearCMOS = m_bClearCMOS;
  pOptions->LoadCMOSDefault = m_bLoadCMOSDefault;
  pOptions->IgnoreBiosIDChk = m_bIgnoreBiosIDChk;
  pOptions->IgnoreBiosPNChk = m_bIgnoreBiosPNChk;
}

void CAmiSettings::OnInit(ISettingsView& view) const {
  view.SetCheck(IDC_SET_BOOTBLOCK, m_bBootBlock != 0);
  view.SetCheck(IDC_SET_NVRAM, m_bNvRam != 0);
  if (m_bNoClearCMOS) {
    view.SetCheck(IDC_SET_CLEARCMOS, false);
    view.EnableControl(IDC_SET_CLEARCMOS, false);
  } else {
    view.SetCheck(IDC_SET_CLEARCMOS, m_bClearCMOS != 0);
  }
  if (m_bNoLoadCMOSDefault) {
    view.SetCheck(IDC_SET_LOADDEFAULT, false);
    view.EnableControl(IDC_SET_LOADDEFAULT, false);
  } else {
    view.SetCheck(IDC_SET_LOADDEFAULT, m_bLoadCMOSDefault != 0);
  }
  view.SetCheck(IDC_SET_IGNORE_ID, m_bIgnoreBiosIDChk != 0);
  view.SetCheck(IDC_SET_IGNORE_PN, m_bIgnoreBiosPNChk != 0);
  view.ShowControl(IDC_SET_IGNORE_ID, false);
  view.ShowControl(IDC_SET_IGNORE_PN, false);
  view.ShowControl(IDC_SET_IGNORE_FRAME, false);
}

void CAmiSettings::OnClick(ISettingsView&, int nId) {
  switch (nId) {
    case IDC_SET_BOOTBLOCK:
      Flip(&m_bBootBlock);
      break;
    case IDC_SET_NVRAM:
      Flip(&m_bNvRam);
      break;
    case IDC_SET_CLEARCMOS:
      Flip(&m_bClearCMOS);
      break;
    case IDC_SET_LOADDEFAULT:
      Flip(&m_bLoadCMOSDefault);
      break;
    case IDC_SET_IGNORE_ID:
      Flip(&m_bIgnoreBiosIDChk);
      break;
    case IDC_SET_IGNORE_PN:
      Flip(&m_bIgnoreBiosPNChk);
      break;
    default:
      break;
  }
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
  m_bBootBlock = options.BootBlock;
  m_bClearPNP = options.ClearPNP;
  m_bClearDMI = options.ClearDMI;
  m_bClearCMOS = options.ClearCMOS;
  m_bLoadCMOSDefault = options.LoadCMOSDefault;
  m_bIgnoreBiosIDChk = options.IgnoreBiosIDChk;
  m_bIgnoreBiosPNChk = options.IgnoreBiosPNChk;
}

void CAwardSettings::StoreTo(FlashOptions* pOptions) const {
  pOptions->BootBlock = m_bBootBlock;
  pOptions->ClearPNP = m_bClearPNP;
  pOptions->ClearDMI = m_bClearDMI;
  pOptions->ClearCMOS = m_bClearCMOS;
  pOptions->LoadCMOSDefault = m_bLoadCMOSDefault;
  pOptions->IgnoreBiosIDChk = m_bIgnoreBiosIDChk;
  pOptions->IgnoreBiosPNChk = m_bIgnoreBiosPNChk;
}

void CAwardSettings::OnInit(ISettingsView& view) const {
  view.SetCheck(IDC_SET_BOOTBLOCK, m_bBootBlock != 0);
  view.SetCheck(IDC_SET_PNP, m_bClearPNP != 0);
  view.SetCheck(IDC_SET_DMI, m_bClearDMI != 0);
  if (m_bNoClearCMOS) {
    view.SetCheck(IDC_SET_CLEARCMOS, false);
    view.EnableControl(IDC_SET_CLEARCMOS, false);
  } else {
    view.SetCheck(IDC_SET_CLEARCMOS, m_bClearCMOS != 0);
  }
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
  switch (nId) {
    case IDC_SET_BOOTBLOCK:
      Flip(&m_bBootBlock);
      break;
    case IDC_SET_PNP:
      Flip(&m_bClearPNP);
      break;
    case IDC_SET_DMI:
      Flip(&m_bClearDMI);
      break;
    case IDC_SET_CLEARCMOS:
      m_bClearCMOS = view.GetCheck(IDC_SET_CLEARCMOS) ? 1 : 0;
      break;
    case IDC_SET_LOADDEFAULT:
      Flip(&m_bLoadCMOSDefault);
      break;
    case IDC_SET_IGNORE_ID:
      Flip(&m_bIgnoreBiosIDChk);
      break;
    case IDC_SET_IGNORE_PN:
      Flip(&m_bIgnoreBiosPNChk);
      break;
    default:
      break;
  }
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
