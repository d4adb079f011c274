// A fresh folder under /tmp for one test, removed with everything in it
// when the test ends.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <string>

class CTempDir {
 public:
  CTempDir() {
    char tmpl[] = "/tmp/simbenchXXXXXX";
    const char* psz = mkdtemp(tmpl);
    m_str = psz ? std::string(psz) + "/" : std::string();
  }
  ~CTempDir() {
    if (!m_str.empty()) system(("rm -rf '" + m_str + "'").c_str());
  }
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;
  // strName inside the folder.
  std::string Path(const std::string& strName) const { return m_str + strName; }

 private:
  std::string m_str;
};
