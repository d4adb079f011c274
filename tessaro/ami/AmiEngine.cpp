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

// The loader needs the ROM's size, which the interface reports once the
// engine object is initialised.
bool CAmiEngine::SumImageFile(const std::string& strPath, IDisplaySinks& sinks, uint16_t* pwSum) {
  CAmiBios bios(m_platform, m_resources, m_hw, sinks, m_fnDecode);
  if (bios.Initialize() != 0 || bios.LoadFile(strPath) != 0) return false;
  uint16_t wSum = 0;
  for (uint8_t by : bios.m_vecImage) wSum = static_cast<uint16_t>(wSum + by);
  *pwSum = wSum;
  return true;
}
