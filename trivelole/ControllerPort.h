// The plug-in's way to the controller: controller records read and written
// through the controller library's GetAIP and SetAIP (kt9020dll/KT9020DLL.h).
// The plug-in loads that library at run time and binds both exports by
// name; a library or export that is missing leaves the port unbound, and
// every call then fails with 0 instead of calling through a null pointer.
// Native tests put the bench's controller behind the same interface
// (tests/support/BenchControllerPort.h).
#pragma once

#include <memory>
#include <string>

#include "kt9020dll/KT9020DLL.h"

class IControllerPort {
 public:
  virtual ~IControllerPort() = default;
  // As GetAIP: runs read command nCommand at the 16-bit controller address
  // nAddress (nCount: bytes of a block read) and returns the reply bytes
  // copied to pDst, 0 on any failure.
  virtual int GetAip(int nCommand, int nAddress, int nCount, void* pDst) = 0;
  // As SetAIP: runs write command nCommand with the data bytes at pData
  // (nCount: bytes of a block write); 1 when the controller took it, 0 on
  // any failure.
  virtual int SetAip(int nCommand, int nAddress, int nCount, const void* pData) = 0;
};

// A library loaded at run time and its exports found by name
// (LoadLibraryA, GetProcAddress and FreeLibrary on Windows).
class ILibraryLoader {
 public:
  // Any function's address; the caller converts it to the export's type.
  using PfnExport = void (*)(void);

  virtual ~ILibraryLoader() = default;
  // Loads the library; it stays loaded until the loader is destroyed.
  // False when it cannot be loaded.
  virtual bool Load(const std::string& strName) = 0;
  // An export of the loaded library by name; null when it has none.
  virtual PfnExport FindExport(const char* pszName) = 0;
};

// The controller library as the plug-in loads it.
constexpr char kControllerLibrary[] = "KT9020DLL.dll";

enum class EControllerBind {
  Bound,
  NoLibrary,  // the library could not be loaded
  NoExport,   // the library lacks GetAIP or SetAIP
};

// The controller port over the library's exports.
class CLibraryControllerPort : public IControllerPort {
 public:
  explicit CLibraryControllerPort(std::unique_ptr<ILibraryLoader> pLoader);

  // Loads the library (a name or a path) and binds GetAIP and SetAIP, both
  // or neither. When one is missing, Missing() names the library or export.
  EControllerBind Bind(const std::string& strLibrary = kControllerLibrary);
  bool IsBound() const { return m_pfnGetAip != nullptr; }
  const std::string& Missing() const { return m_strMissing; }

  int GetAip(int nCommand, int nAddress, int nCount, void* pDst) override;
  int SetAip(int nCommand, int nAddress, int nCount, const void* pData) override;

 private:
  std::unique_ptr<ILibraryLoader> m_pLoader;
  KT9020_PFN_GetAIP m_pfnGetAip = nullptr;
  KT9020_PFN_SetAIP m_pfnSetAip = nullptr;
  std::string m_strMissing;
};
