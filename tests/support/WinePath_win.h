// Folders of the build that the tests' environment names by their Unix
// paths, as the Windows paths a test under Wine opens.
#pragma once

#include <cstdlib>
#include <string>

// A folder the test's environment names by its Unix path, as a Windows
// path (Wine maps Z: to the root); pszDefault when the variable is unset.
inline std::string WindowsPathFromEnv(const char* pszVariable, const char* pszDefault) {
  const char* psz = std::getenv(pszVariable);
  std::string s = psz ? psz : pszDefault;
  if (!s.empty() && s[0] == '/') s = "Z:" + s;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

// The build tree as a Windows path.
inline std::string BinaryDir() { return WindowsPathFromEnv("TESSARO_BINARY_DIR", "."); }
