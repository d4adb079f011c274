#include "trivelole/ControllerPort.h"

CLibraryControllerPort::CLibraryControllerPort(std::unique_ptr<ILibraryLoader> pLoader)
    : m_pLoader(std::move(pLoader)) {}

EControllerBind CLibraryControllerPort::Bind(const std::string& strLibrary) {
  m_pfnGetAip = nullptr;
  m_pfnSetAip = nullptr;
  m_strMissing.clear();
  if (!m_pLoader->Load(strLibrary)) {
    m_strMissing = strLibrary;
    return EControllerBind::NoLibrary;
  }
  // The exports' types are the public header's; the names are the ones the
  // library's export table lists.
  ILibraryLoader::PfnExport pfnGet = m_pLoader->FindExport("GetAIP");
  ILibraryLoader::PfnExport pfnSet = m_pLoader->FindExport("SetAIP");
  if (!pfnGet || !pfnSet) {
    m_strMissing = pfnGet ? "SetAIP" : "GetAIP";
    return EControllerBind::NoExport;
  }
  m_pfnGetAip = reinterpret_cast<KT9020_PFN_GetAIP>(pfnGet);
  m_pfnSetAip = reinterpret_cast<KT9020_PFN_SetAIP>(pfnSet);
  return EControllerBind::Bound;
}

int CLibraryControllerPort::GetAip(int nCommand, int nAddress, int nCount, void* pDst) {
  return m_pfnGetAip ? m_pfnGetAip(nCommand, nAddress, nCount, pDst) : 0;
}

int CLibraryControllerPort::SetAip(int nCommand, int nAddress, int nCount, const void* pData) {
  return m_pfnSetAip ? m_pfnSetAip(nCommand, nAddress, nCount, pData) : 0;
}
