#include "tessaro/core/Resources.h"

std::string CResources::SatelliteName(const std::string& strProgramDir,
                                      const std::string& strLanguageCode) {
  return strProgramDir + "Tessaro" + strLanguageCode + ".dll";
}

bool CResources::LoadSatellite(const std::string& strPath) {
  Release();
  m_hSatellite = m_modules.Load(strPath);
  return m_hSatellite != 0;
}

void CResources::Release() {
  if (m_hSatellite) m_modules.Free(m_hSatellite);
  m_hSatellite = 0;
}

bool CResources::GetString(uint32_t nId, std::string* pstrText) const {
  pstrText->clear();
  if (m_hSatellite && m_modules.GetString(m_hSatellite, nId, pstrText)) return true;
  // A satellite made for an older release may lack newer texts: fall back
  // to the program's own rather than show an empty box.
  if (m_modules.GetString(m_modules.Self(), nId, pstrText)) return true;
  pstrText->clear();
  return false;
}

std::string CResources::GetString(uint32_t nId) const {
  std::string strText;
  GetString(nId, &strText);
  return strText;
}
