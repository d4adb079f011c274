#include "tessaro/liveupdate/WmiQuery.h"

#include "platform/WinTypes.h"

namespace {

// Shows the hourglass for the life of the object.
class CWaitCursor {
 public:
  explicit CWaitCursor(IWmiPort& wmi) : m_wmi(wmi) { m_wmi.ShowWaitCursor(true); }
  ~CWaitCursor() { m_wmi.ShowWaitCursor(false); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  IWmiPort& m_wmi;
};

}  // namespace

CWmiQuery::CWmiQuery(IWmiPort& wmi, IUiPort& ui) : m_wmi(wmi), m_ui(ui) { Initialize(); }

CWmiQuery::~CWmiQuery() {
  m_pServices.reset();
  if (m_bComInitialised) m_wmi.CoUninitialize();
}

void CWmiQuery::Say(const char* pszText) { m_ui.ShowMessageBox(0, pszText, "", kMbOk); }

bool CWmiQuery::Initialize() {
  if (m_bComInitialised) return true;
  HResult hr = m_wmi.CoInitialize();
  if (hr < 0) {
    Say("Failed to initialize OLE");
    return false;
  }
  m_bComInitialised = true;
  // Process-wide security can only be set by the first initialisation.
  if (hr == kSOk && m_wmi.InitializeSecurity() < 0) Say("Failed to fix security");
  return true;
}

bool CWmiQuery::Connect(const std::string& strNamespace) {
  if (!m_bComInitialised) return false;
  CWaitCursor wait(m_wmi);
  m_pServices.reset();
  if (m_wmi.CreateLocator() < 0) {
    Say("Failed to create IWbemLocator object");
    return false;
  }
  if (m_wmi.ConnectServer(strNamespace, &m_pServices) < 0 || !m_pServices) {
    m_pServices.reset();
    Say("Bad namespace");
    return false;
  }
  return true;
}

std::string CWmiQuery::GetFirstInstanceProperty(const std::string& strClass,
                                                const std::string& strProperty) {
  // Without a connection there is nothing to ask (Connect has said why).
  if (!m_pServices) return "NULL";
  CWaitCursor wait(m_wmi);
  SWmiValue value;
  if (m_pServices->GetFirstInstanceProperty(strClass, strProperty, kNextTimeoutMs, &value) < 0) {
    Say("CreateInstanceEnum() failed:");
    return "NULL";
  }
  switch (value.eType) {
    case SWmiValue::String:
      return value.strValue;
    case SWmiValue::Int32:
      return std::to_string(value.nValue);
    case SWmiValue::Other:
      break;
  }
  return "NULL";
}
