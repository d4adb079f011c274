#include "tessaro/ami/AmiEngine.h"

uint32_t CAmiEngine::Prepare(IDisplaySinks& sinks) {
  CAmiBios bios(m_platform, m_resources, m_hw, sinks, m_fnDecode);
  const uint32_t nResult = bios.Initialize();
  if (nResult == 0) m_strRomTypeName = CAmiBios::RomTypeName(m_hw.m_cRomType);
  return nResult;
}

uint32_t CAmiEngine::Update(const std::string& strPath, FlashOptions* pOptions,
                            const std::string& strRebootMessage, IDisplaySinks& sinks) {
  CAmiBios bios(m_platform, m_resources, m_hw, sinks, m_fnDecode);
  if (const uint32_t nResult = bios.Initialize()) return nResult;
  bios.SetRebootMessage(strRebootMessage);
  return bios.Flash(strPath, *pOptions);
}

// The save shows its own status lines; the window has no message to add.
uint32_t CAmiEngine::Save(const std::string& strPath, bool bAutomatic, IDisplaySinks& sinks) {
  CAmiBios bios(m_platform, m_resources, m_hw, sinks, m_fnDecode);
  if (const uint32_t nResult = bios.Initialize()) return nResult;
  bios.SaveToFile(strPath, bAutomatic);
  return 0;
}
