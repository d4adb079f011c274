#include <gtest/gtest.h>

#include <map>

#include "tessaro/app/ControlIds.h"
#include "tessaro/app/SettingsPresenter.h"

namespace {

class CRecordingDialog : public ISettingsView {
 public:
  std::map<int, bool> m_mapChecks, m_mapEnabled, m_mapShown;
  void SetCheck(int nId, bool b) override { m_mapChecks[nId] = b; }
  bool GetCheck(int nId) const override {
    auto it = m_mapChecks.find(nId);
    return it != m_mapChecks.end() && it->second;
  }
  void EnableControl(int nId, bool b) override { m_mapEnabled[nId] = b; }
  void ShowControl(int nId, bool b) override { m_mapShown[nId] = b; }
  // A user click on an auto check box: the box flips, then it notifies.
  template <class T>
  void Click(T* pSettings, int nId) {
    m_mapChecks[nId] = !GetCheck(nId);
    pSettings->OnClick(*this, nId);
  }
};

FlashOptions AllOff() {
  FlashOptions options{};
  return options;
}

TEST(AwardSettings, ShowsTheValuesAndHidesWhatThisFamilyDoesNotOffer) {
  FlashOptions options = DefaultFlashOptions();
  options.ClearPNP = 0;
  options.IgnoreBiosPNChk = 1;
  CAwardSettings settings;
  settings.LoadFrom(options);
  CRecordingDialog dialog;
  settings.OnInit(dialog);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_BOOTBLOCK]);
  EXPECT_FALSE(dialog.m_mapChecks[IDC_SET_PNP]);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_DMI]);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_CLEARCMOS]);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_IGNORE_PN]);
  EXPECT_EQ(0u, dialog.m_mapEnabled.count(IDC_SET_CLEARCMOS));
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_IGNORE_PN]);
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_IGNORE_FRAME]);
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_IGNORE_ID]);
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_LOADDEFAULT]);
  EXPECT_FALSE(dialog.m_mapEnabled[IDC_SET_LOADDEFAULT]);
}

TEST(AwardSettings, PowerSwitchShowsOnlyThePartNumberBoxWithItsFrame) {
  CAwardSettings settings;
  settings.m_bShowPartNumberBox = true;
  settings.LoadFrom(DefaultFlashOptions());
  CRecordingDialog dialog;
  settings.OnInit(dialog);
  EXPECT_TRUE(dialog.m_mapShown[IDC_SET_IGNORE_PN]);
  EXPECT_TRUE(dialog.m_mapShown[IDC_SET_IGNORE_FRAME]);
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_IGNORE_ID]);
}

TEST(AwardSettings, ClicksChangeOnlyTheirOwnValuesAndPassTheRestThrough) {
  FlashOptions options = DefaultFlashOptions();
  options.LoadCMOSDefault = 1;
  options.AutoRebootSystem = 1;
  CAwardSettings settings;
  settings.LoadFrom(options);
  CRecordingDialog dialog;
  settings.OnInit(dialog);
  dialog.Click(&settings, IDC_SET_DMI);
  dialog.Click(&settings, IDC_SET_CLEARCMOS);
  dialog.Click(&settings, IDC_SET_IGNORE_PN);
  dialog.Click(&settings, 1);  // not a box
  FlashOptions result = DefaultFlashOptions();
  result.NvRam = 0;
  settings.StoreTo(&result);
  EXPECT_EQ(0, result.ClearDMI);
  EXPECT_EQ(0, result.ClearCMOS);  // taken from the box's state
  EXPECT_EQ(1, result.IgnoreBiosPNChk);
  EXPECT_EQ(1, result.LoadCMOSDefault);  // not offered: passes through
  EXPECT_EQ(0, result.NvRam);            // not this dialog's value
  EXPECT_EQ(0, result.AutoRebootSystem);
}

TEST(AwardSettings, DefaultChecksEvenALockedClearCmosBox) {
  FlashOptions options = AllOff();
  options.LoadCMOSDefault = 1;
  options.IgnoreBiosIDChk = 1;
  CAwardSettings settings;
  settings.LoadFrom(options);
  settings.m_bNoClearCMOS = true;
  CRecordingDialog dialog;
  settings.OnInit(dialog);
  EXPECT_FALSE(dialog.m_mapEnabled[IDC_SET_CLEARCMOS]);
  EXPECT_FALSE(dialog.m_mapChecks[IDC_SET_CLEARCMOS]);
  settings.OnDefault(dialog);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_CLEARCMOS]);
  for (int nId : {IDC_SET_BOOTBLOCK, IDC_SET_PNP, IDC_SET_DMI})
    EXPECT_TRUE(dialog.m_mapChecks[nId]);
  EXPECT_FALSE(dialog.m_mapChecks[IDC_SET_IGNORE_ID]);
  FlashOptions result = AllOff();
  settings.StoreTo(&result);
  EXPECT_EQ(1, result.BootBlock);
  EXPECT_EQ(1, result.ClearPNP);
  EXPECT_EQ(1, result.ClearDMI);
  EXPECT_EQ(1, result.ClearCMOS);
  EXPECT_EQ(0, result.LoadCMOSDefault);
  EXPECT_EQ(0, result.IgnoreBiosIDChk);
}

TEST(AmiSettings, LocksDisableTheirBoxesUncheckedAndIgnoreBoxesStayHidden) {
  CAmiSettings settings;
  settings.LoadFrom(DefaultFlashOptions());
  settings.m_bNoClearCMOS = true;
  settings.m_bNoLoadCMOSDefault = true;
  CRecordingDialog dialog;
  settings.OnInit(dialog);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_BOOTBLOCK]);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_NVRAM]);
  EXPECT_FALSE(dialog.m_mapChecks[IDC_SET_CLEARCMOS]);
  EXPECT_FALSE(dialog.m_mapEnabled[IDC_SET_CLEARCMOS]);
  EXPECT_FALSE(dialog.m_mapEnabled[IDC_SET_LOADDEFAULT]);
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_IGNORE_ID]);
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_IGNORE_PN]);
  EXPECT_FALSE(dialog.m_mapShown[IDC_SET_IGNORE_FRAME]);
}

TEST(AmiSettings, ClicksFlipAndDefaultRestoresTheFactoryChoice) {
  CAmiSettings settings;
  settings.LoadFrom(DefaultFlashOptions());
  CRecordingDialog dialog;
  settings.OnInit(dialog);
  dialog.Click(&settings, IDC_SET_NVRAM);
  dialog.Click(&settings, IDC_SET_LOADDEFAULT);
  FlashOptions result = DefaultFlashOptions();
  settings.StoreTo(&result);
  EXPECT_EQ(0, result.NvRam);
  EXPECT_EQ(1, result.LoadCMOSDefault);

  settings.OnDefault(dialog);
  EXPECT_TRUE(dialog.m_mapChecks[IDC_SET_NVRAM]);
  EXPECT_FALSE(dialog.m_mapChecks[IDC_SET_LOADDEFAULT]);
  settings.StoreTo(&result);
  EXPECT_EQ(1, result.NvRam);
  EXPECT_EQ(0, result.LoadCMOSDefault);
  EXPECT_EQ(1, result.ClearCMOS);
  EXPECT_EQ(1, result.BootBlock);
}

TEST(SettingsCommon, OkAcceptsAndCancelTakesItBack) {
  CAmiSettings settings;
  EXPECT_FALSE(settings.m_bAccepted);
  settings.OnOk();
  EXPECT_TRUE(settings.m_bAccepted);
  settings.OnCancel();
  EXPECT_FALSE(settings.m_bAccepted);
}

}  // namespace
