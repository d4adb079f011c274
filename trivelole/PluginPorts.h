// What the plug-in needs from the system besides the controller
// (ControllerPort.h): message boxes, the registry, private-profile files,
// the shutdown privilege, process exit and XML documents. The Windows build
// implements them with Win32 and MSXML (*_win.cpp); native tests use fakes
// that record every box and the pugixml document (XmlDocument_pugi.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "trivelole/ControllerPort.h"

// One XML DOM document. Paths are element names joined by "/": "A/B/C"
// names every element C that is a child of an element B that is a child of
// the root element A; a leading "/" anchors at the document node ("/A" is
// the root element A, "/" alone the document node). n counts the nodes a
// path selects in document order, across the whole document.
class IXmlDocument {
 public:
  virtual ~IXmlDocument() = default;
  // False when the engine could not be created: every operation then fails.
  virtual bool IsReady() const = 0;
  // Loads and parses the file; true only when the engine reports success.
  virtual bool Load(const std::string& strPath) = 0;
  // The text content of the n-th element the path names (its own text and
  // that of its descendants), in the system's ANSI code page. False when
  // there are not more than n such elements.
  virtual bool GetString(const std::string& strPath, int n, std::string* pstrText) = 0;
  // A processing instruction appended to the document node.
  virtual bool AddDeclaration(const std::string& strTarget, const std::string& strData) = 0;
  // An empty element appended as the last child of the n-th node the path
  // selects ("/" selects the document node).
  virtual bool AddElement(const std::string& strParent, int n, const std::string& strName) = 0;
  // An element with text content, appended as AddElement does.
  virtual bool AddTextElement(const std::string& strParent, int n, const std::string& strName,
                              const std::string& strText) = 0;
  // Sets (or replaces) an attribute of the n-th element the path names.
  virtual bool SetAttribute(const std::string& strPath, int n, const std::string& strName,
                            const std::string& strValue) = 0;
  // The whole document serialised, in ANSI text. False without a document.
  virtual bool GetXml(std::string* pstrXml) = 0;
};

// Message box styles the plug-in uses (the Win32 values).
constexpr uint32_t kBoxOk = 0x00;
constexpr uint32_t kBoxYesNo = 0x04;
constexpr uint32_t kBoxIconStop = 0x10;
constexpr uint32_t kBoxIconInformation = 0x40;
constexpr int kBoxAnswerOk = 1;
constexpr int kBoxAnswerYes = 6;
constexpr int kBoxAnswerNo = 7;

// Registry key of the host's plug-ins, under HKEY_LOCAL_MACHINE, and the
// value that holds the full path of this plug-in's library.
constexpr char kPluginRegistryKey[] = "Software\\ULVO\\Velmar";
constexpr char kPluginRegistryValue[] = "ULVOTRIVEL_PLUGIN";

class IPluginSystem {
 public:
  virtual ~IPluginSystem() = default;
  // A message box without owner window; a null caption gives the host
  // program's own name as the caption. Returns the answer (kBoxAnswer*).
  virtual int MessageBox(const std::string& strText, const char* pszCaption, uint32_t dwStyle) = 0;
  // A string value under HKEY_LOCAL_MACHINE; text longer than 1023
  // characters is cut there. False (and *pstrValue empty) when the key or
  // the value cannot be read.
  virtual bool ReadMachineString(const std::string& strSubKey, const std::string& strValue,
                                 std::string* pstrValue) = 0;
  // The private-profile integer rule: the leading decimal digits of the
  // value text, nDefault when the file, section or key is missing.
  virtual int ReadProfileInt(const std::string& strSection, const std::string& strKey, int nDefault,
                             const std::string& strPath) = 0;
  // Enables or disables SeShutdownPrivilege for the process. 0 on success,
  // else the system's error code of the step that failed.
  virtual uint32_t SetShutdownPrivilege(bool bEnable) = 0;
  // Ends the host process. Native fakes record the code and return; the
  // caller then goes on as after any failure.
  virtual void ExitProcess(uint32_t dwCode) = 0;
  // A new, empty XML document (its own COM initialisation on Windows).
  virtual std::unique_ptr<IXmlDocument> CreateXmlDocument() = 0;
  // The controller library ("KT9020DLL.dll", found as the system finds
  // libraries) loaded and bound; null when it cannot be loaded. A library
  // without the exports gives a port whose every call fails with 0.
  virtual std::unique_ptr<IControllerPort> OpenController() = 0;
};
