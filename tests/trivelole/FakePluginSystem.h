// The plug-in's system as native tests see it: message boxes recorded with
// scripted answers, the registry value of the plug-in's path, private-
// profile files read with the Windows rules from a host folder, the
// shutdown privilege and process exit recorded, pugixml documents, and the
// bench's controller behind the controller port (or no library at all).
//
// Windows paths the plug-in builds ("<folder>\00A3\TrivelConfig.XML", the
// folder in lower case) are mapped to the host: backslashes become slashes
// and a path under the fake's root, in any letter case, is found under the
// root as it is spelled on disk.
#pragma once

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/SimBench.h"
#include "tests/support/BenchControllerPort.h"
#include "trivelole/PluginPorts.h"
#include "trivelole/XmlDocument_pugi.h"

inline std::string FakeLower(std::string str) {
  for (char& c : str) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return str;
}

inline std::string FakeTrim(const std::string& str) {
  size_t nBegin = str.find_first_not_of(" \t\r\n");
  if (nBegin == std::string::npos) return std::string();
  size_t nEnd = str.find_last_not_of(" \t\r\n");
  return str.substr(nBegin, nEnd - nBegin + 1);
}

// A folder of its own under the system's temporary folder, removed with
// everything in it at the end.
class CTempFolder {
 public:
  CTempFolder() {
    std::string strTemplate =
        (std::filesystem::temp_directory_path() / "trivel-bench-XXXXXX").string();
    std::vector<char> vecName(strTemplate.begin(), strTemplate.end());
    vecName.push_back('\0');
    if (mkdtemp(vecName.data())) m_strPath = vecName.data();
  }
  ~CTempFolder() {
    std::error_code error;
    if (!m_strPath.empty()) std::filesystem::remove_all(m_strPath, error);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;
  const std::string& Path() const { return m_strPath; }
  // Writes a file under the folder (sub-folders made as needed).
  bool Write(const std::string& strRelative, const std::string& strText) const {
    const std::filesystem::path path = std::filesystem::path(m_strPath) / strRelative;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::binary);
    file << strText;
    return static_cast<bool>(file);
  }

 private:
  std::string m_strPath;
};

class CFakePluginSystem : public IPluginSystem {
 public:
  struct SBox {
    std::string strText;
    std::string strCaption;  // "<none>" for a null caption
    uint32_t dwStyle;
  };

  // --- what a test scripts
  std::deque<int> queAnswers;  // answers of the next boxes; then kBoxAnswerOk
  bool bRegistered = true;
  std::string strRegistered;                   // the plug-in's registered path
  std::string strRoot;                         // host folder of the Windows paths
  CSimMirelController* pController = nullptr;  // null: the library is missing
  uint32_t dwPrivilegeError = 0;               // returned by every privilege change
  bool bXmlEngine = true;                      // false: no document can be made
  // Controller calls for which this returns true fail (0) without reaching
  // the controller: (write, command, address).
  std::function<bool(bool, int, int)> pfnFails;
  // Called with the same arguments before each controller call that goes on
  // to the library: where a test injects a controller fault for that call.
  std::function<void(bool, int, int)> pfnBeforeCall;

  // --- what the plug-in did
  std::vector<SBox> vecBoxes;
  std::vector<uint32_t> vecExitCodes;
  std::vector<bool> vecPrivilege;  // each change asked for: true enable
  std::vector<std::string> vecLoadedXml;
  std::vector<std::string> vecProfileReads;  // "section/key@path"
  int nOpenedControllers = 0;

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> vec;
    for (const SBox& box : vecBoxes) vec.push_back(box.strText);
    return vec;
  }
  int CountBoxes(const std::string& strText) const {
    int n = 0;
    for (const SBox& box : vecBoxes) n += box.strText == strText;
    return n;
  }

  // The host path of a path the plug-in built.
  std::string HostPath(const std::string& strPath) const {
    std::string str = strPath;
    for (char& c : str)
      if (c == '\\') c = '/';
    if (!strRoot.empty() && FakeLower(str).compare(0, strRoot.size(), FakeLower(strRoot)) == 0)
      str = strRoot + str.substr(strRoot.size());
    return str;
  }

  int MessageBox(const std::string& strText, const char* pszCaption, uint32_t dwStyle) override {
    vecBoxes.push_back({strText, pszCaption ? pszCaption : "<none>", dwStyle});
    if (queAnswers.empty()) return kBoxAnswerOk;
    const int nAnswer = queAnswers.front();
    queAnswers.pop_front();
    return nAnswer;
  }

  bool ReadMachineString(const std::string& strSubKey, const std::string& strValue,
                         std::string* pstrValue) override {
    pstrValue->clear();
    if (!bRegistered || strSubKey != kPluginRegistryKey || strValue != kPluginRegistryValue)
      return false;
    *pstrValue = strRegistered.substr(0, 1023);
    return true;
  }

  // GetPrivateProfileInt: section and key names without letter case, white
  // space around names and values ignored, ';' comment lines; the value's
  // leading decimal digits (with a sign), 0 without digits, nDefault for a
  // missing file, section or key or an empty value.
  int ReadProfileInt(const std::string& strSection, const std::string& strKey, int nDefault,
                     const std::string& strPath) override {
    vecProfileReads.push_back(strSection + "/" + strKey + "@" + strPath);
    std::ifstream file(HostPath(strPath), std::ios::binary);
    if (!file) return nDefault;
    std::string strLine;
    bool bInSection = false;
    while (std::getline(file, strLine)) {
      const std::string strTrimmed = FakeTrim(strLine);
      if (strTrimmed.empty() || strTrimmed[0] == ';') continue;
      if (strTrimmed[0] == '[') {
        const size_t nClose = strTrimmed.find(']');
        const std::string strName = FakeTrim(
            strTrimmed.substr(1, nClose == std::string::npos ? std::string::npos : nClose - 1));
        bInSection = FakeLower(strName) == FakeLower(strSection);
        continue;
      }
      if (!bInSection) continue;
      const size_t nEquals = strTrimmed.find('=');
      if (nEquals == std::string::npos) continue;
      if (FakeLower(FakeTrim(strTrimmed.substr(0, nEquals))) != FakeLower(strKey)) continue;
      const std::string strValue = FakeTrim(strTrimmed.substr(nEquals + 1));
      if (strValue.empty()) return nDefault;
      return static_cast<int>(std::strtol(strValue.c_str(), nullptr, 10));
    }
    return nDefault;
  }

  uint32_t SetShutdownPrivilege(bool bEnable) override {
    vecPrivilege.push_back(bEnable);
    return dwPrivilegeError;
  }

  void ExitProcess(uint32_t dwCode) override { vecExitCodes.push_back(dwCode); }

  std::unique_ptr<IXmlDocument> CreateXmlDocument() override {
    if (!bXmlEngine) return nullptr;
    return std::make_unique<CHostPathDocument>(this, CreatePugiXmlDocument());
  }

  std::unique_ptr<IControllerPort> OpenController() override {
    if (!pController) return nullptr;
    ++nOpenedControllers;
    return std::make_unique<CFailingPort>(this,
                                          std::make_unique<CBenchControllerPort>(pController));
  }

 private:
  // The bench's port with the failures the test asks for.
  class CFailingPort : public IControllerPort {
   public:
    CFailingPort(CFakePluginSystem* pSystem, std::unique_ptr<IControllerPort> pPort)
        : m_pSystem(pSystem), m_pPort(std::move(pPort)) {}
    int GetAip(int nCommand, int nAddress, int nCount, void* pDst) override {
      if (m_pSystem->pfnFails && m_pSystem->pfnFails(false, nCommand, nAddress)) return 0;
      if (m_pSystem->pfnBeforeCall) m_pSystem->pfnBeforeCall(false, nCommand, nAddress);
      return m_pPort->GetAip(nCommand, nAddress, nCount, pDst);
    }
    int SetAip(int nCommand, int nAddress, int nCount, const void* pData) override {
      if (m_pSystem->pfnFails && m_pSystem->pfnFails(true, nCommand, nAddress)) return 0;
      if (m_pSystem->pfnBeforeCall) m_pSystem->pfnBeforeCall(true, nCommand, nAddress);
      return m_pPort->SetAip(nCommand, nAddress, nCount, pData);
    }

   private:
    CFakePluginSystem* m_pSystem;
    std::unique_ptr<IControllerPort> m_pPort;
  };

  // The pugixml document, loading from the host path of the plug-in's path.
  class CHostPathDocument : public IXmlDocument {
   public:
    CHostPathDocument(CFakePluginSystem* pSystem, std::unique_ptr<IXmlDocument> pDoc)
        : m_pSystem(pSystem), m_pDoc(std::move(pDoc)) {}
    bool IsReady() const override { return m_pDoc->IsReady(); }
    bool Load(const std::string& strPath) override {
      m_pSystem->vecLoadedXml.push_back(strPath);
      return m_pDoc->Load(m_pSystem->HostPath(strPath));
    }
    bool GetString(const std::string& strPath, int n, std::string* pstrText) override {
      return m_pDoc->GetString(strPath, n, pstrText);
    }
    bool AddDeclaration(const std::string& strTarget, const std::string& strData) override {
      return m_pDoc->AddDeclaration(strTarget, strData);
    }
    bool AddElement(const std::string& strParent, int n, const std::string& strName) override {
      return m_pDoc->AddElement(strParent, n, strName);
    }
    bool AddTextElement(const std::string& strParent, int n, const std::string& strName,
                        const std::string& strText) override {
      return m_pDoc->AddTextElement(strParent, n, strName, strText);
    }
    bool SetAttribute(const std::string& strPath, int n, const std::string& strName,
                      const std::string& strValue) override {
      return m_pDoc->SetAttribute(strPath, n, strName, strValue);
    }
    bool GetXml(std::string* pstrXml) override { return m_pDoc->GetXml(pstrXml); }

   private:
    CFakePluginSystem* m_pSystem;
    std::unique_ptr<IXmlDocument> m_pDoc;
  };
};

// The sample configuration shipped for the demo controller's board code
// (the source folder from the test's environment, else the one it was
// built from); empty when it cannot be read.
inline std::string ShippedConfigFile(const std::string& strName) {
  const char* pszSource = std::getenv("TESSARO_SOURCE_DIR");
#ifdef TRIVELOLE_SOURCE_DIR
  if (!pszSource) pszSource = TRIVELOLE_SOURCE_DIR;
#endif
  std::ifstream file(std::string(pszSource ? pszSource : ".") + "/trivelole/config/00A3/" + strName,
                     std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A bench for the plug-in: a fresh controller (reference 200 MHz, base VID
// 29, board 00A3), a fake system whose registered path is
// "<temp>/Common/TrivelOLE.dll" (so the configuration folder is
// "<temp>/mirel/00A3/"), and the shipped configuration there.
class CPluginBench {
 public:
  explicit CPluginBench(bool bShippedConfig = true) {
    std::string strError;
    m_bOpen = m_bench.Open(SSimMirelDescription{}, &strError);
    system.strRoot = m_folder.Path();
    system.strRegistered = m_folder.Path() + "/Common/TrivelOLE.dll";
    system.pController = &m_bench.Controller();
    if (bShippedConfig) {
      const std::string strXml = ShippedConfigFile("TrivelConfig.XML");
      const std::string strIni = ShippedConfigFile("ULVOEQ.ini");
      m_bOpen = m_bOpen && !strXml.empty() && !strIni.empty() && WriteConfig(strXml) &&
                WriteEqMap(strIni);
    }
  }
  bool IsOpen() const { return m_bOpen && !m_folder.Path().empty(); }
  CSimMirelController& Controller() { return m_bench.Controller(); }
  bool WriteConfig(const std::string& strXml) {
    return m_folder.Write("mirel/00A3/TrivelConfig.XML", strXml);
  }
  bool WriteEqMap(const std::string& strIni) {
    return m_folder.Write("mirel/00A3/ULVOEQ.ini", strIni);
  }
  const std::string& Folder() const { return m_folder.Path(); }

  CFakePluginSystem system;

 private:
  CTempFolder m_folder;
  CSimMirelBench m_bench;
  bool m_bOpen = false;
};
