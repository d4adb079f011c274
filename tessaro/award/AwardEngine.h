// The Award engine as start-up and the main window see it: the family
// probe's Award questions and the window's engine operations, each update
// or save run by a per-operation object that lives for that call only.
#pragma once

#include <string>

#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/FamilyProbe.h"
#include "tessaro/award/AwardBios.h"

class CAwardEngine : public IBiosEngine {
 public:
  explicit CAwardEngine(CAwardBios& bios) : m_bios(bios) {}

  EBiosFamily Family() const override { return EBiosFamily::Award; }
  std::string VersionText() const override { return m_bios.m_szBiosId; }
  std::string PartNumberText() const override { return std::string(); }
  std::string DateText() const override { return m_bios.m_szBiosDate; }
  std::string FlashPartName() const override { return m_bios.m_szFlashName; }
  bool GetBiosId(std::string* pstrId) const override;
  uint32_t Prepare(IDisplaySinks&) override { return 0; }
  bool ChooseOpenFile(WindowRef hOwner, std::string* pstrPath) override {
    return m_bios.ChooseOpenFile(hOwner, pstrPath);
  }
  bool ChooseSaveFile(WindowRef hOwner, std::string* pstrPath) override {
    return m_bios.ChooseSaveFile(hOwner, pstrPath);
  }
  // Both show their own messages; the result is always 0.
  uint32_t Update(const std::string& strPath, FlashOptions* pOptions,
                  const std::string& strRebootMessage, IDisplaySinks& sinks) override;
  uint32_t Save(const std::string& strPath, bool bAutomatic, IDisplaySinks& sinks) override;
  bool SumImageFile(const std::string& strPath, IDisplaySinks& sinks, uint16_t* pwSum) override;

 private:
  CAwardBios& m_bios;
};

// Answers the Award questions of start-up from the engine and passes the
// AMI ones to the AMI family's probe.
class CAwardFamilyProbe : public IFamilyProbe {
 public:
  CAwardFamilyProbe(CAwardBios& bios, IFamilyProbe& ami) : m_bios(bios), m_ami(ami) {}

  bool DetectAmiBios() override { return m_ami.DetectAmiBios(); }
  void OpenAmiAccess() override { m_ami.OpenAmiAccess(); }
  bool IsAmiIdentityKnown() const override { return m_ami.IsAmiIdentityKnown(); }
  bool IsAmiDriverReady() const override { return m_ami.IsAmiDriverReady(); }
  void CloseAmiAccess() override { m_ami.CloseAmiAccess(); }
  // Opens the engine; a flash whose boot block an interrupted update left
  // incomplete is reported at once (the board would not start again).
  bool OpenAward() override;
  bool IsAwardBios() const override { return m_bios.IsAwardBios(); }
  bool AwardAllowsWindowsFlash() const override { return m_bios.m_bWinFlashSupported; }

 private:
  CAwardBios& m_bios;
  IFamilyProbe& m_ami;
};
