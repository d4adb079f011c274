// The shutdown privilege guard, the counter reader and the information
// document the host asks for.
#include "trivelole/InfoDocument.h"

#include <cstdio>

#include "protocol/MirelIoctl.h"

namespace {

constexpr int kCmdRead = 0x1A;
constexpr char kMsgLoadLibrary[] = "Load KT9020DLL failed.";

uint16_t LittleEndian16(const uint8_t* pby) {
  return static_cast<uint16_t>(pby[0] | (pby[1] << 8));
}

std::string Counter(uint16_t wValue, const char* pszUnit) {
  char szText[32];
  std::snprintf(szText, sizeof szText, "%u%s", static_cast<unsigned>(wValue), pszUnit);
  return szText;
}

std::string Numbered(const char* pszFormat, int n) {
  char szText[64];
  std::snprintf(szText, sizeof szText, pszFormat, n);
  return szText;
}

}  // namespace

// --------------------------------------------------------- CShutdownPrivilege --

CShutdownPrivilege::CShutdownPrivilege(IPluginSystem* pSystem) : m_pSystem(pSystem) { Enable(); }

CShutdownPrivilege::~CShutdownPrivilege() { Disable(); }

bool CShutdownPrivilege::Enable() { return Set(true); }

bool CShutdownPrivilege::Disable() { return Set(false); }

bool CShutdownPrivilege::Set(bool bEnable) {
  const uint32_t dwError = m_pSystem->SetShutdownPrivilege(bEnable);
  if (dwError == 0) return true;
  char szText[64];
  std::snprintf(szText, sizeof szText, "The operation failed with error 0x%.8X.",
                static_cast<unsigned>(dwError));
  m_pSystem->MessageBox(szText, "Error", kBoxIconStop);
  return false;
}

// -------------------------------------------------------- CPowerCounterReader --

CPowerCounterReader::CPowerCounterReader(IPluginSystem* pSystem)
    : m_pSystem(pSystem), m_guard(pSystem) {
  m_guard.Enable();
  m_pController = m_pSystem->OpenController();
  if (!m_pController) m_pSystem->MessageBox(kMsgLoadLibrary, nullptr, kBoxOk);
}

CPowerCounterReader::~CPowerCounterReader() {
  m_guard.Disable();
  m_pController.reset();
  // The guard disables the privilege once more as it goes.
}

bool CPowerCounterReader::ReadCounters(SPowerCounters* pCounters) {
  uint8_t abyRecord[mirel::kCountersSize] = {};
  const int nSize = static_cast<int>(mirel::kCountersSize);
  // A failed or short read counts as no read: all counters 0.
  if (!m_pController ||
      m_pController->GetAip(kCmdRead, mirel::kAddrCounters, nSize, abyRecord) != nSize) {
    *pCounters = SPowerCounters{};
    return true;
  }
  pCounters->wPcUp = LittleEndian16(abyRecord + 0);
  pCounters->wPcUpTotal = LittleEndian16(abyRecord + 2);
  pCounters->wPcPowerCycle = LittleEndian16(abyRecord + 4);
  pCounters->wPcResetCycle = LittleEndian16(abyRecord + 6);
  pCounters->wAcUpTotal = LittleEndian16(abyRecord + 8);
  pCounters->wAcPowerCycle = LittleEndian16(abyRecord + 10);
  return true;
}

// ------------------------------------------------------- the information document --

bool BuildInfoDocument(IPluginSystem* pSystem, CClockItemSet* pClock, CVoltageItemSet* pVoltage,
                       CPowerCounterReader* pCounters, int nProfile, std::string* pstrXml) {
  pstrXml->clear();
  std::unique_ptr<IXmlDocument> pDoc = pSystem->CreateXmlDocument();
  if (!pDoc || !pDoc->IsReady()) return false;
  bool bOk = pDoc->AddDeclaration("xml", "version=\"1.0\"");
  bOk = pDoc->AddElement("/", 0, "ULVO_PLUGIN") && bOk;

  // The clock item 0. Indexes from the records are within their lists; a
  // text that still cannot be had stays empty.
  std::string strName, strValue;
  bOk = pDoc->AddElement("/ULVO_PLUGIN", 0, "FREQUENCE") && bOk;
  bOk = pDoc->AddElement("ULVO_PLUGIN/FREQUENCE", 0, "ITEM") && bOk;
  const char kFrequenceItem[] = "ULVO_PLUGIN/FREQUENCE/ITEM";
  bOk = pDoc->SetAttribute(kFrequenceItem, 0, "NAME", Numbered("TRIVEL_FREQUENCE_%d", 1)) && bOk;
  if (!pClock->GetItemName(0, &strName)) strName.clear();
  bOk = pDoc->AddTextElement(kFrequenceItem, 0, "CAPTION", strName) && bOk;
  if (!pClock->GetValueText(0, pClock->GetIndex(nProfile, 0), &strValue)) strValue.clear();
  bOk = pDoc->AddTextElement(kFrequenceItem, 0, "OC_CURRENT_SETTING", strValue + " MHz") && bOk;

  // The three voltage items, each complete before the next.
  bOk = pDoc->AddElement("/ULVO_PLUGIN", 0, "VOLTAGE") && bOk;
  const char kVoltageItem[] = "ULVO_PLUGIN/VOLTAGE/ITEM";
  for (int n = 0; n < kTrivelItems; ++n) {
    bOk = pDoc->AddElement("ULVO_PLUGIN/VOLTAGE", 0, "ITEM") && bOk;
    bOk = pDoc->SetAttribute(kVoltageItem, n, "NAME", Numbered("TRIVEL_VOLT_%d", n + 1)) && bOk;
    if (!pVoltage->GetItemName(n, &strName)) strName.clear();
    bOk = pDoc->AddTextElement(kVoltageItem, n, "CAPTION", strName) && bOk;
    if (!pVoltage->GetValueText(n, pVoltage->GetIndex(nProfile, n), &strValue)) strValue.clear();
    bOk = pDoc->AddTextElement(kVoltageItem, n, "OC_CURRENT_SETTING", strValue + " V") && bOk;
  }

  // The counters, fresh from the controller.
  SPowerCounters counters;
  if (pCounters) pCounters->ReadCounters(&counters);
  bOk = pDoc->AddElement("/ULVO_PLUGIN", 0, "POWER") && bOk;
  bOk = pDoc->AddElement("ULVO_PLUGIN/POWER", 0, "ITEM") && bOk;
  const char kPowerItem[] = "ULVO_PLUGIN/POWER/ITEM";
  bOk = pDoc->SetAttribute(kPowerItem, 0, "NAME", "Power Cycle") && bOk;
  const struct {
    const char* pszName;
    uint16_t wValue;
    const char* pszUnit;
  } kCounters[] = {
      {"AC_UPTOTAL", counters.wAcUpTotal, " HR(s)"},
      {"AC_POWER_CYCLE", counters.wAcPowerCycle, " Cycle(s)"},
      {"PC_UPTOTAL", counters.wPcUpTotal, " HR(s)"},
      {"PC_UP", counters.wPcUp, " HR(s)"},
      {"PC_POWER_CYCLE", counters.wPcPowerCycle, " Cycle(s)"},
      {"PC_RESET_CYCLE", counters.wPcResetCycle, " Cycle(s)"},
  };
  for (const auto& counter : kCounters)
    bOk = pDoc->AddTextElement(kPowerItem, 0, counter.pszName,
                               Counter(counter.wValue, counter.pszUnit)) &&
          bOk;

  if (!bOk || !pDoc->GetXml(pstrXml)) {
    pstrXml->clear();
    return false;
  }
  return true;
}
