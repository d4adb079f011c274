#include "platform/win/WmiPort_win.h"

#include <windows.h>
#include <objbase.h>
#include <wbemidl.h>

#include <vector>

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
class CComRef {
 public:
  CComRef() = default;
  ~CComRef() { Reset(); }
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;
  T** Out() {
    Reset();
    return &m_p;
  }
  T* operator->() const { return m_p; }
  T* Get() const { return m_p; }
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }
  void Reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }

 private:
  T* m_p = nullptr;
};

// A BSTR made from an ANSI text, freed when it goes out of scope.
class CBstr {
 public:
  explicit CBstr(const std::string& str) {
    int n = MultiByteToWideChar(CP_ACP, 0, str.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> vec(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, str.c_str(), -1, vec.data(), n);
    m_bstr = SysAllocString(vec.data());
  }
  ~CBstr() { SysFreeString(m_bstr); }
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;
  BSTR Get() const { return m_bstr; }

 private:
  BSTR m_bstr = nullptr;
};

std::string ToAnsi(const wchar_t* psz) {
  if (!psz) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, psz, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string str(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, psz, -1, &str[0], n, nullptr, nullptr);
  str.resize(static_cast<size_t>(n - 1));
  return str;
}

class CWinWmiServices : public IWmiServices {
 public:
  explicit CWinWmiServices(IWbemServices* pServices) : m_pServices(pServices) {}
  ~CWinWmiServices() override { m_pServices->Release(); }
  CWinWmiServices(const CWinWmiServices&) = delete;
  CWinWmiServices& operator=(const CWinWmiServices&) = delete;

  HResult GetFirstInstanceProperty(const std::string& strClass, const std::string& strProperty,
                                   uint32_t nTimeoutMs, SWmiValue* pValue) override {
    CComRef<IEnumWbemClassObject> pEnum;
    HRESULT hr = m_pServices->CreateInstanceEnum(CBstr(strClass).Get(), 0, nullptr, pEnum.Out());
    if (FAILED(hr)) return hr;
    CComRef<IWbemClassObject> pObject;
    ULONG nReturned = 0;
    pEnum->Next(static_cast<LONG>(nTimeoutMs), 1, pObject.Out(), &nReturned);
    *pValue = SWmiValue();
    if (nReturned != 1 || !pObject.Get()) return S_OK;
    VARIANT value;
    VariantInit(&value);
    CBstr property(strProperty);
    if (SUCCEEDED(pObject->Get(property.Get(), 0, &value, nullptr, nullptr))) {
      if (value.vt == VT_BSTR) {
        pValue->eType = SWmiValue::String;
        pValue->strValue = ToAnsi(value.bstrVal);
      } else if (value.vt == VT_I4) {
        pValue->eType = SWmiValue::Int32;
        pValue->nValue = value.lVal;
      }
    }
    VariantClear(&value);
    return S_OK;
  }

 private:
  IWbemServices* m_pServices;
};

class CWinWmiPort : public IWmiPort {
 public:
  HResult CoInitialize() override { return ::CoInitialize(nullptr); }
  void CoUninitialize() override {
    m_pLocator.Reset();
    ::CoUninitialize();
  }
  HResult InitializeSecurity() override {
    return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  }
  HResult CreateLocator() override {
    return CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            reinterpret_cast<void**>(m_pLocator.Out()));
  }
  HResult ConnectServer(const std::string& strNamespace,
                        std::unique_ptr<IWmiServices>* ppServices) override {
    if (!m_pLocator.Get()) return E_POINTER;
    CComRef<IWbemServices> pServices;
    HRESULT hr = m_pLocator->ConnectServer(CBstr(strNamespace).Get(), nullptr, nullptr, nullptr, 0,
                                           nullptr, nullptr, pServices.Out());
    m_pLocator.Reset();
    if (FAILED(hr)) return hr;
    CoSetProxyBlanket(pServices.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    *ppServices = std::make_unique<CWinWmiServices>(pServices.Detach());
    return hr;
  }
  void ShowWaitCursor(bool bShow) override {
    SetCursor(LoadCursor(nullptr, bShow ? IDC_WAIT : IDC_ARROW));
  }

 private:
  CComRef<IWbemLocator> m_pLocator;
};

}  // namespace

IWmiPort& GetWin32WmiPort() {
  static CWinWmiPort s_port;
  return s_port;
}
