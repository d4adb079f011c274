#include "trivelole/ControllerPort_win.h"

#include <windows.h>

namespace {

class CWin32LibraryLoader : public ILibraryLoader {
 public:
  ~CWin32LibraryLoader() override {
    if (m_hLibrary) FreeLibrary(m_hLibrary);
  }
  bool Load(const std::string& strName) override {
    if (m_hLibrary) FreeLibrary(m_hLibrary);
    m_hLibrary = LoadLibraryA(strName.c_str());
    return m_hLibrary != nullptr;
  }
  PfnExport FindExport(const char* pszName) override {
    if (!m_hLibrary) return nullptr;
    // FARPROC to the generic function pointer type; the caller gives it
    // the export's type from the public header.
    return reinterpret_cast<PfnExport>(GetProcAddress(m_hLibrary, pszName));
  }

 private:
  HMODULE m_hLibrary = nullptr;
};

}  // namespace

std::unique_ptr<ILibraryLoader> MakeWin32LibraryLoader() {
  return std::make_unique<CWin32LibraryLoader>();
}

std::unique_ptr<CLibraryControllerPort> OpenWin32ControllerPort(EControllerBind* peBind,
                                                                const std::string& strLibrary) {
  auto pPort = std::make_unique<CLibraryControllerPort>(MakeWin32LibraryLoader());
  *peBind = pPort->Bind(strLibrary);
  return pPort;
}
