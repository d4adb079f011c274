// The plug-in object's construction, interface lookup and the information
// document handed to the host.
#include "trivelole/TrivelPlugin.h"

#include <cstring>

namespace {

constexpr char kMsgInitialise[] = "Initial KT9020Dll Failed.";

}  // namespace

ETrivelInterface FindTrivelInterface(const char* pszName) {
  if (!pszName) return ETrivelInterface::None;
  static const struct {
    const char* pszName;
    ETrivelInterface eInterface;
  } kNames[] = {
      {"IULVOExtend", ETrivelInterface::Extend},
      {"IULVOInfo", ETrivelInterface::Info},
      {"IULVODialog", ETrivelInterface::Dialog},
      {"IULVOPlugin", ETrivelInterface::Extend},
  };
  for (const auto& entry : kNames)
    if (std::strcmp(pszName, entry.pszName) == 0) return entry.eInterface;
  return ETrivelInterface::None;
}

CTrivelPlugin::CTrivelPlugin(IPluginSystem* pSystem, ITrivelNotifier* pNotifier)
    : m_pSystem(pSystem),
      m_pClock(std::make_unique<CClockItemSet>(pSystem)),
      m_pVoltage(std::make_unique<CVoltageItemSet>(pSystem)) {
  // The page exists in every case, so the window code has a presenter to
  // talk to; over sets that never loaded it shows empty lists.
  m_pPage = std::make_unique<CTrivelPagePresenter>(m_pClock.get(), m_pVoltage.get(), pNotifier);
  // Without the controller library the plug-in cannot work at all: the
  // host is ended. Where the system returns from that, the object stays
  // not Ready and reads nothing more.
  if (!m_pClock->Initialise() || !m_pVoltage->Initialise()) {
    m_pSystem->MessageBox(kMsgInitialise, nullptr, kBoxOk);
    m_pSystem->ExitProcess(1);
    return;
  }
  m_pCounters = std::make_unique<CPowerCounterReader>(pSystem);
  if (m_pClock->Load()) m_pVoltage->Load();
  m_bReady = true;
}

CTrivelPlugin::~CTrivelPlugin() {
  // Members go in reverse order of construction: the page, the counter
  // reader, the voltage and then the clock items.
  m_pPage.reset();
  m_pCounters.reset();
  m_pVoltage.reset();
  m_pClock.reset();
}

void CTrivelPlugin::GetInfo(char* pszBuffer, size_t nBufferSize, int nProfile) {
  if (!pszBuffer || nBufferSize == 0) return;
  pszBuffer[0] = '\0';
  if (!m_bReady) return;
  std::string strXml;
  if (!BuildInfoDocument(m_pSystem, m_pClock.get(), m_pVoltage.get(), m_pCounters.get(), nProfile,
                         &strXml))
    return;
  // A document that does not fit is not cut into malformed XML: the host
  // gets the empty text.
  if (strXml.size() >= nBufferSize) return;
  std::memcpy(pszBuffer, strXml.c_str(), strXml.size() + 1);
}
