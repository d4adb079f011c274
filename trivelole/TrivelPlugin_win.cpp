// The plug-in object's binary interfaces: three static tables of entry
// points in the member-function convention (TRIVEL_THISCALL), no compiler
// virtual tables, so a C host calls them exactly as TrivelOLE.h declares.
#include "trivelole/TrivelPlugin_win.h"

#include <cstddef>
#include <cstring>

#include "trivelole/TrivelPage_win.h"

TRIVEL_PFN_NOTIFY g_pfnNotify = nullptr;
HINSTANCE g_hTrivelModule = nullptr;

namespace {

// Each table entry finds its object and runs the common code; the first
// four slots are the same code in all three tables.
template <typename TInterface>
int32_t TRIVEL_THISCALL QueryInterfaceEntry(TInterface* pThis, const char* pszName, void** ppOut) {
  return CTrivelPluginObject::FromInterface(pThis)->QueryInterface(pszName, ppOut);
}
template <typename TInterface>
int32_t TRIVEL_THISCALL AddRefEntry(TInterface* pThis) {
  return CTrivelPluginObject::FromInterface(pThis)->AddRef();
}
template <typename TInterface>
int32_t TRIVEL_THISCALL ReleaseEntry(TInterface* pThis) {
  return CTrivelPluginObject::FromInterface(pThis)->Release();
}
template <typename TInterface>
int32_t TRIVEL_THISCALL GetNameEntry(TInterface* pThis, char* pszBuffer) {
  return CTrivelPluginObject::FromInterface(pThis)->GetName(pszBuffer);
}

void* TRIVEL_THISCALL CreateEntry(SIULVODialog* pThis, void* hwndParent) {
  return CTrivelPluginObject::FromInterface(pThis)->Create(static_cast<HWND>(hwndParent));
}
void TRIVEL_THISCALL OnOKEntry(SIULVODialog* pThis) {
  CTrivelPluginObject::FromInterface(pThis)->OnOK();
}
void TRIVEL_THISCALL OnCancelEntry(SIULVODialog* pThis) {
  CTrivelPluginObject::FromInterface(pThis)->OnCancel();
}
void TRIVEL_THISCALL ApplyEntry(SIULVODialog* pThis) {
  CTrivelPluginObject::FromInterface(pThis)->Apply();
}

// The host's commands mean nothing to this plug-in.
int32_t TRIVEL_THISCALL CommandEntry(SIULVOExtend*, uintptr_t, uintptr_t, uintptr_t) { return 0; }
// The context value is the host's; only the callback is kept.
int32_t TRIVEL_THISCALL SetCallbackEntry(SIULVOExtend*, uintptr_t, TRIVEL_PFN_NOTIFY pfnNotify) {
  g_pfnNotify = pfnNotify;
  return 0;
}

int32_t TRIVEL_THISCALL GetInfoEntry(SIULVOInfo* pThis, char* pszBuffer, int32_t nProfile) {
  return CTrivelPluginObject::FromInterface(pThis)->GetInfo(pszBuffer, nProfile);
}

const SIULVODialogVtbl g_dialogTable = {
    QueryInterfaceEntry<SIULVODialog>,
    AddRefEntry<SIULVODialog>,
    ReleaseEntry<SIULVODialog>,
    GetNameEntry<SIULVODialog>,
    CreateEntry,
    OnOKEntry,
    OnCancelEntry,
    ApplyEntry,
};
const SIULVOExtendVtbl g_extendTable = {
    QueryInterfaceEntry<SIULVOExtend>,
    AddRefEntry<SIULVOExtend>,
    ReleaseEntry<SIULVOExtend>,
    GetNameEntry<SIULVOExtend>,
    CommandEntry,
    SetCallbackEntry,
};
const SIULVOInfoVtbl g_infoTable = {
    QueryInterfaceEntry<SIULVOInfo>,
    AddRefEntry<SIULVOInfo>,
    ReleaseEntry<SIULVOInfo>,
    GetNameEntry<SIULVOInfo>,
    GetInfoEntry,
};

// The interface block from the address of one of its members.
template <typename TInterface>
STrivelInterfaces* BlockOf(TInterface* p, size_t nOffset) {
  return reinterpret_cast<STrivelInterfaces*>(reinterpret_cast<char*>(p) - nOffset);
}

}  // namespace

CTrivelPluginObject* CTrivelPluginObject::FromInterface(SIULVODialog* p) {
  return BlockOf(p, offsetof(STrivelInterfaces, dialog))->pObject;
}
CTrivelPluginObject* CTrivelPluginObject::FromInterface(SIULVOExtend* p) {
  return BlockOf(p, offsetof(STrivelInterfaces, extend))->pObject;
}
CTrivelPluginObject* CTrivelPluginObject::FromInterface(SIULVOInfo* p) {
  return BlockOf(p, offsetof(STrivelInterfaces, info))->pObject;
}

void CTrivelPluginObject::CNotifier::Notify(int nFlag1, int nFlag2) {
  // Read once: the callback may register another one.
  TRIVEL_PFN_NOTIFY pfn = g_pfnNotify;
  if (pfn) pfn(kTrivelPluginName, kTrivelChangedEvent, 0, nFlag1, nFlag2);
}

CTrivelPluginObject::CTrivelPluginObject(std::unique_ptr<IPluginSystem> pSystem)
    : m_interfaces{{&g_dialogTable}, {&g_extendTable}, {&g_infoTable}, this},
      m_pSystem(std::move(pSystem)),
      m_plugin(m_pSystem.get(), &m_notifier) {
  // Every new object starts without a host callback, also for the objects
  // the host already holds.
  g_pfnNotify = nullptr;
  m_pPage.reset(new CTrivelPageWindow(&m_plugin.Page(), g_hTrivelModule));
}

CTrivelPluginObject::~CTrivelPluginObject() {
  // The page goes first: its window detaches from the presenter.
  m_pPage.reset();
}

int32_t CTrivelPluginObject::QueryInterface(const char* pszName, void** ppOut) {
  void* pFound = nullptr;
  switch (FindTrivelInterface(pszName)) {
    case ETrivelInterface::Dialog:
      pFound = &m_interfaces.dialog;
      break;
    case ETrivelInterface::Extend:
      pFound = &m_interfaces.extend;
      break;
    case ETrivelInterface::Info:
      pFound = &m_interfaces.info;
      break;
    case ETrivelInterface::None:
      return 1;
  }
  // Nowhere to store the pointer: nothing is handed out or counted.
  if (!ppOut) return 1;
  *ppOut = pFound;
  m_plugin.AddRef();
  return 0;
}

int32_t CTrivelPluginObject::Release() {
  if (m_plugin.Release() <= 0) delete this;
  return 0;
}

int32_t CTrivelPluginObject::GetName(char* pszBuffer) {
  static_assert(sizeof(kTrivelPluginName) == TRIVEL_NAME_BUFFER_SIZE, "the name's documented size");
  if (pszBuffer) memcpy(pszBuffer, kTrivelPluginName, sizeof(kTrivelPluginName));
  return 0;
}

HWND CTrivelPluginObject::Create(HWND hParent) { return m_pPage->Create(hParent); }

void CTrivelPluginObject::OnOK() {
  // Through the table, as the host's own Apply call goes.
  SIULVODialog* pDialog = &m_interfaces.dialog;
  pDialog->pVtbl->Apply(pDialog);
  m_pPage->End(IDOK);
}

void CTrivelPluginObject::OnCancel() {
  m_pPage->End(IDCANCEL);
  m_plugin.Page().OnCancel();
}

void CTrivelPluginObject::Apply() { m_plugin.Page().Apply(); }

int32_t CTrivelPluginObject::GetInfo(char* pszBuffer, int32_t nProfile) {
  static_assert(kTrivelInfoBufferSize == TRIVEL_INFO_BUFFER_SIZE, "the document's documented size");
  if (pszBuffer) m_plugin.GetInfo(pszBuffer, TRIVEL_INFO_BUFFER_SIZE, nProfile);
  return 1;
}
