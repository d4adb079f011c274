// Where the program's texts come from: the satellite library for the
// user's language when one exists, the program's own resources otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Ports.h"

class CResources {
 public:
  explicit CResources(IModulePort& modules) : m_modules(modules) {}
  ~CResources() { Release(); }
  CResources(const CResources&) = delete;
  CResources& operator=(const CResources&) = delete;

  // The satellite's file name: program directory (ending in a backslash)
  // + "Tessaro" + language code + ".dll".
  static std::string SatelliteName(const std::string& strProgramDir,
                                   const std::string& strLanguageCode);
  // Loads the satellite; a missing one is no error (false, own resources
  // stay in use).
  bool LoadSatellite(const std::string& strPath);
  // Puts the program's own resources back and frees the satellite.
  void Release();
  bool HasSatellite() const { return m_hSatellite != 0; }
  ModuleRef Satellite() const { return m_hSatellite; }

  // Text nId, from the satellite when it has it, else from the program's
  // own table; false (and an empty text) when neither has it.
  bool GetString(uint32_t nId, std::string* pstrText) const;
  std::string GetString(uint32_t nId) const;

 private:
  IModulePort& m_modules;
  ModuleRef m_hSatellite = 0;
};
