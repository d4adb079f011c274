// The two "Advance Setting" dialogs without their windows: working copies
// of the options a dialog shows, the locks the information file places on
// two boxes, and what each click and the Default button do.
#pragma once

#include <cstdint>

#include "tessaro/core/FlashOptions.h"

// What a settings dialog's window offers its presenter.
class ISettingsView {
 public:
  virtual ~ISettingsView() = default;
  virtual void SetCheck(int nId, bool bChecked) = 0;
  virtual bool GetCheck(int nId) const = 0;
  virtual void EnableControl(int nId, bool bEnable) = 0;
  virtual void ShowControl(int nId, bool bShow) = 0;
};

// Fields shared by both dialogs.
struct SSettingsCommon {
  uint8_t m_bBootBlock = 0;
  uint8_t m_bClearCMOS = 0;
  uint8_t m_bLoadCMOSDefault = 0;
  uint8_t m_bIgnoreBiosIDChk = 0;
  uint8_t m_bIgnoreBiosPNChk = 0;
  // Information-file locks: the box stays disabled.
  bool m_bNoClearCMOS = false;
  bool m_bNoLoadCMOSDefault = false;
  // Set by OK, cleared by Cancel.
  bool m_bAccepted = false;

  void OnOk() { m_bAccepted = true; }
  void OnCancel() { m_bAccepted = false; }

 protected:
  void LoadCommon(const FlashOptions& options);
  void StoreCommon(FlashOptions* pOptions) const;
  // Shows a box's value, or clears and disables it while the information
  // file locks it.
  static void InitLockable(ISettingsView& view, int nId, bool bLocked, uint8_t byValue);
  // Flips the value behind a box both dialogs share; false for other boxes.
  bool FlipCommon(int nId);
};

// Template 307: boot block, NvRam, Clear CMOS and Load CMOS Default; the
// two Ignore boxes exist but stay invisible.
class CAmiSettings : public SSettingsCommon {
 public:
  uint8_t m_bNvRam = 0;

  void LoadFrom(const FlashOptions& options);
  // Copies the six values the dialog owns back; the others stay.
  void StoreTo(FlashOptions* pOptions) const;

  void OnInit(ISettingsView& view) const;
  // A click on one of the boxes; other ids are ignored.
  void OnClick(ISettingsView& view, int nId);
  void OnDefault(ISettingsView& view);
};

// Template 308: boot block, PnP and DMI areas, Clear CMOS; "Ignore BIOS
// Part Number Check" and its frame only when m_bShowPartNumberBox is set
// before the dialog opens ("-power").
class CAwardSettings : public SSettingsCommon {
 public:
  uint8_t m_bClearPNP = 0;
  uint8_t m_bClearDMI = 0;
  bool m_bShowPartNumberBox = false;

  void LoadFrom(const FlashOptions& options);
  // Copies the seven values the dialog owns back; the others stay.
  void StoreTo(FlashOptions* pOptions) const;

  void OnInit(ISettingsView& view) const;
  void OnClick(ISettingsView& view, int nId);
  void OnDefault(ISettingsView& view);
};
