#include "trivelole/XmlDocument_win.h"

#include <windows.h>

#include <msxml2.h>
#include <ole2.h>

#include <string>

namespace {

// The MSXML 3.0 DOMDocument class and the DOM document interface. The
// class id is declared by the system headers but defined in no import
// library of this tool chain, so both are spelled out here.
const CLSID kClsidDomDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const IID kIidXmlDomDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomElement = {
    0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Every class context: in-process, in-process handler, local server.
constexpr DWORD kAllContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// Owns one reference to a COM object; released when the scope ends.
template <typename T>
class CComRef {
 public:
  CComRef() = default;
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;
  ~CComRef() { Reset(); }

  void Reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // The slot an out parameter fills; whatever was held is released first.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

 private:
  T* m_p = nullptr;
};

// Owns one BSTR.
class CBstr {
 public:
  CBstr() = default;
  explicit CBstr(const std::wstring& str)
      : m_bstr(SysAllocStringLen(str.data(), static_cast<UINT>(str.size()))) {}
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;
  ~CBstr() { SysFreeString(m_bstr); }

  BSTR Get() const { return m_bstr; }
  BSTR* Put() {
    SysFreeString(m_bstr);
    m_bstr = nullptr;
    return &m_bstr;
  }

 private:
  BSTR m_bstr = nullptr;
};

// Owns one VARIANT.
class CVariant {
 public:
  CVariant() { VariantInit(&m_var); }
  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;
  ~CVariant() { VariantClear(&m_var); }

  // A text variant; false when the string could not be allocated.
  bool SetText(const std::wstring& str) {
    VariantClear(&m_var);
    m_var.bstrVal = SysAllocStringLen(str.data(), static_cast<UINT>(str.size()));
    if (!m_var.bstrVal) return false;
    m_var.vt = VT_BSTR;
    return true;
  }
  VARIANT* Get() { return &m_var; }

 private:
  VARIANT m_var;
};

std::wstring WideFromAnsi(const std::string& str) {
  if (str.empty()) return std::wstring();
  const int nSize = static_cast<int>(str.size());
  const int nWide = MultiByteToWideChar(CP_ACP, 0, str.data(), nSize, nullptr, 0);
  if (nWide <= 0) return std::wstring();
  std::wstring strWide(static_cast<size_t>(nWide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, str.data(), nSize, &strWide[0], nWide);
  return strWide;
}

// Characters the ANSI code page cannot hold become its default character.
std::string AnsiFromWide(const wchar_t* psz, size_t nLength) {
  if (!psz || nLength == 0) return std::string();
  const int nSize = static_cast<int>(nLength);
  const int nAnsi = WideCharToMultiByte(CP_ACP, 0, psz, nSize, nullptr, 0, nullptr, nullptr);
  if (nAnsi <= 0) return std::string();
  std::string str(static_cast<size_t>(nAnsi), '\0');
  WideCharToMultiByte(CP_ACP, 0, psz, nSize, &str[0], nAnsi, nullptr, nullptr);
  return str;
}

std::string AnsiFromBstr(BSTR bstr) { return AnsiFromWide(bstr, SysStringLen(bstr)); }

class CMsxmlDocument : public IXmlDocument {
 public:
  CMsxmlDocument() {
    // Each document initialises COM for its thread and undoes exactly that
    // when it goes: a thread already in another apartment model refuses,
    // and then there is nothing of ours to undo.
    m_bComInitialised = SUCCEEDED(CoInitialize(nullptr));
    CComRef<IUnknown> pUnknown;
    if (FAILED(CoCreateInstance(kClsidDomDocument30, nullptr, kAllContexts, IID_IUnknown,
                                pUnknown.PutVoid())) ||
        !pUnknown)
      return;
    if (FAILED(OleRun(pUnknown.Get()))) return;
    CComRef<IXMLDOMDocument> pDocument;
    if (FAILED(pUnknown->QueryInterface(kIidXmlDomDocument, pDocument.PutVoid())) || !pDocument)
      return;
    if (FAILED(pDocument->put_async(VARIANT_FALSE)) ||
        FAILED(pDocument->put_resolveExternals(VARIANT_FALSE)) ||
        FAILED(pDocument->put_validateOnParse(VARIANT_FALSE)))
      return;
    *m_pDocument.Put() = pDocument.Get();
    m_pDocument->AddRef();
  }

  ~CMsxmlDocument() override {
    m_pDocument.Reset();
    if (m_bComInitialised) CoUninitialize();
  }

  bool IsReady() const override { return static_cast<bool>(m_pDocument); }

  bool Load(const std::string& strPath) override {
    if (!m_pDocument) return false;
    CVariant varPath;
    if (!varPath.SetText(WideFromAnsi(strPath))) return false;
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    return m_pDocument->load(*varPath.Get(), &bLoaded) == S_OK && bLoaded == VARIANT_TRUE;
  }

  bool GetString(const std::string& strPath, int n, std::string* pstrText) override {
    CComRef<IXMLDOMNode> pNode;
    if (!Select(strPath, n, &pNode) || !IsElement(pNode.Get())) return false;
    CBstr bstrText;
    if (FAILED(pNode->get_text(bstrText.Put()))) return false;
    *pstrText = AnsiFromBstr(bstrText.Get());
    return true;
  }

  bool AddDeclaration(const std::string& strTarget, const std::string& strData) override {
    if (!m_pDocument) return false;
    CBstr bstrTarget(WideFromAnsi(strTarget));
    CBstr bstrData(WideFromAnsi(strData));
    CComRef<IXMLDOMProcessingInstruction> pInstruction;
    if (FAILED(m_pDocument->createProcessingInstruction(bstrTarget.Get(), bstrData.Get(),
                                                        pInstruction.Put())) ||
        !pInstruction)
      return false;
    CComRef<IXMLDOMNode> pAppended;
    return SUCCEEDED(m_pDocument->appendChild(pInstruction.Get(), pAppended.Put())) &&
           static_cast<bool>(pAppended);
  }

  bool AddElement(const std::string& strParent, int n, const std::string& strName) override {
    return Append(strParent, n, strName, nullptr);
  }

  bool AddTextElement(const std::string& strParent, int n, const std::string& strName,
                      const std::string& strText) override {
    return Append(strParent, n, strName, &strText);
  }

  bool SetAttribute(const std::string& strPath, int n, const std::string& strName,
                    const std::string& strValue) override {
    CComRef<IXMLDOMNode> pNode;
    if (!Select(strPath, n, &pNode)) return false;
    CComRef<IXMLDOMElement> pElement;
    if (FAILED(pNode->QueryInterface(kIidXmlDomElement, pElement.PutVoid())) || !pElement)
      return false;
    CBstr bstrName(WideFromAnsi(strName));
    CVariant varValue;
    if (!varValue.SetText(WideFromAnsi(strValue))) return false;
    return SUCCEEDED(pElement->setAttribute(bstrName.Get(), *varValue.Get()));
  }

  bool GetXml(std::string* pstrXml) override {
    if (!m_pDocument) return false;
    CBstr bstrXml;
    if (FAILED(m_pDocument->get_xml(bstrXml.Put()))) return false;
    *pstrXml = AnsiFromBstr(bstrXml.Get());
    return true;
  }

 private:
  static bool IsElement(IXMLDOMNode* pNode) {
    DOMNodeType eType = NODE_INVALID;
    return SUCCEEDED(pNode->get_nodeType(&eType)) && eType == NODE_ELEMENT;
  }

  // The n-th node the path selects, in document order; false when there
  // are not more than n or the engine refuses the path.
  bool Select(const std::string& strPath, int n, CComRef<IXMLDOMNode>* ppNode) {
    if (!m_pDocument || n < 0) return false;
    CBstr bstrPath(WideFromAnsi(strPath));
    CComRef<IXMLDOMNodeList> pList;
    if (FAILED(m_pDocument->selectNodes(bstrPath.Get(), pList.Put())) || !pList) return false;
    long nCount = 0;
    if (FAILED(pList->get_length(&nCount)) || n >= nCount) return false;
    // The item is null (and the result S_FALSE) when the index is out of range.
    return pList->get_item(n, ppNode->Put()) == S_OK && static_cast<bool>(*ppNode);
  }

  // A new element (with text content when pstrText is set) appended as the
  // last child of the n-th node the parent path selects.
  bool Append(const std::string& strParent, int n, const std::string& strName,
              const std::string* pstrText) {
    CComRef<IXMLDOMNode> pParent;
    if (!Select(strParent, n, &pParent)) return false;
    // A document has one root element; an engine that would take a second
    // one produces text no parser accepts.
    DOMNodeType eType = NODE_INVALID;
    if (FAILED(pParent->get_nodeType(&eType))) return false;
    if (eType == NODE_DOCUMENT) {
      CComRef<IXMLDOMElement> pRoot;
      if (FAILED(m_pDocument->get_documentElement(pRoot.Put())) || pRoot) return false;
    }
    CBstr bstrName(WideFromAnsi(strName));
    CComRef<IXMLDOMElement> pElement;
    if (FAILED(m_pDocument->createElement(bstrName.Get(), pElement.Put())) || !pElement)
      return false;
    if (pstrText && !pstrText->empty()) {
      CBstr bstrText(WideFromAnsi(*pstrText));
      if (FAILED(pElement->put_text(bstrText.Get()))) return false;
    }
    CComRef<IXMLDOMNode> pAppended;
    return SUCCEEDED(pParent->appendChild(pElement.Get(), pAppended.Put())) &&
           static_cast<bool>(pAppended);
  }

  // Declared first: COM is uninitialised only after the document is gone.
  bool m_bComInitialised = false;
  CComRef<IXMLDOMDocument> m_pDocument;
};

}  // namespace

std::unique_ptr<IXmlDocument> CreateMsxmlDocument() { return std::make_unique<CMsxmlDocument>(); }
