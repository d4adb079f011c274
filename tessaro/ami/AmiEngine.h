// The AMI family as the main window uses it: the program-wide hardware
// access for the facts and the dialogs, and a CAmiBios for each operation,
// created, initialised, run and deleted inside the call.
#pragma once

#include <string>

#include "tessaro/ami/AmiBios.h"
#include "tessaro/ami/AmiHwAccess.h"
#include "tessaro/core/BiosEngine.h"

class CAmiEngine : public IBiosEngine {
 public:
  CAmiEngine(SPlatform& platform, const CResources& resources, CAmiHwAccess& hw,
             FnModuleDecoder fnDecode)
      : m_platform(platform), m_resources(resources), m_hw(hw), m_fnDecode(fnDecode) {}

  EBiosFamily Family() const override { return EBiosFamily::Ami; }
  // The version label shows the BIOS's identity text, the part label the
  // tag text up to its last "-".
  std::string VersionText() const override { return m_hw.m_szIdentity1; }
  std::string PartNumberText() const override { return m_hw.m_szTagText; }
  std::string DateText() const override { return m_hw.m_szDate; }
  std::string FlashPartName() const override { return m_strRomTypeName; }
  bool GetBiosId(std::string* pstrId) const override {
    *pstrId = m_hw.m_szTagText;
    return true;
  }
  uint32_t Prepare(IDisplaySinks& sinks) override;
  bool ChooseOpenFile(WindowRef hOwner, std::string* pstrPath) override {
    return CAmiBios::ChooseOpenFile(m_platform.pFileDialogs, hOwner, pstrPath);
  }
  bool ChooseSaveFile(WindowRef hOwner, std::string* pstrPath) override {
    return CAmiBios::ChooseSaveFile(m_platform.pFileDialogs, hOwner, pstrPath);
  }
  uint32_t Update(const std::string& strPath, FlashOptions* pOptions,
                  const std::string& strRebootMessage, IDisplaySinks& sinks) override;
  uint32_t Save(const std::string& strPath, bool bAutomatic, IDisplaySinks& sinks) override;
  bool SumImageFile(const std::string& strPath, IDisplaySinks& sinks, uint16_t* pwSum) override;

 private:
  SPlatform& m_platform;
  const CResources& m_resources;
  CAmiHwAccess& m_hw;
  FnModuleDecoder m_fnDecode;
  std::string m_strRomTypeName = "Unknown";
};
