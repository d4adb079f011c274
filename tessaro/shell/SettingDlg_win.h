// The two "Advance Setting" dialogs (templates 307 and 308): standard
// check boxes driven by the settings presenters.
#pragma once

#include "tessaro/app/ControlIds.h"
#include "tessaro/app/SettingsPresenter.h"
#include "tessaro/shell/SkinControls_win.h"

template <class TSettings>
class CSettingDlgT : public CDialogBase, public ISettingsView {
 public:
  CSettingDlgT(UINT nTemplateId, HWND hParent, TSettings* pSettings)
      : CDialogBase(nTemplateId, hParent), m_pSettings(pSettings) {}

  void SetCheck(int nId, bool bChecked) override {
    CheckDlgButton(m_hWnd, nId, bChecked ? BST_CHECKED : BST_UNCHECKED);
  }
  bool GetCheck(int nId) const override { return IsDlgButtonChecked(m_hWnd, nId) == BST_CHECKED; }
  void EnableControl(int nId, bool bEnable) override {
    EnableWindow(GetDlgItem(m_hWnd, nId), bEnable);
  }
  void ShowControl(int nId, bool bShow) override {
    ShowWindow(GetDlgItem(m_hWnd, nId), bShow ? SW_SHOW : SW_HIDE);
  }

 protected:
  BOOL OnInitDialog() override {
    m_pSettings->OnInit(*this);
    return TRUE;
  }
  bool OnCommand(int nId, int nCode) override {
    switch (nId) {
      case IDOK:
        m_pSettings->OnOk();
        EndDialog(m_hWnd, IDOK);
        return true;
      case IDCANCEL:
        m_pSettings->OnCancel();
        EndDialog(m_hWnd, IDCANCEL);
        return true;
      case IDC_SET_DEFAULT:
        m_pSettings->OnDefault(*this);
        return true;
      default:
        if (nCode == BN_CLICKED) m_pSettings->OnClick(*this, nId);
        return true;
    }
  }

 private:
  TSettings* m_pSettings;
};

class CAmiSettingDlg : public CSettingDlgT<CAmiSettings> {
 public:
  CAmiSettingDlg(HWND hParent, CAmiSettings* pSettings)
      : CSettingDlgT<CAmiSettings>(IDD_AMI_SETTING, hParent, pSettings) {}
};

class CAwardSettingDlg : public CSettingDlgT<CAwardSettings> {
 public:
  CAwardSettingDlg(HWND hParent, CAwardSettings* pSettings)
      : CSettingDlgT<CAwardSettings>(IDD_AWARD_SETTING, hParent, pSettings) {}
};
