// One WMI query: initialises COM on construction, connects to a namespace,
// reads one property of the first instance of a class, and releases the
// connection and COM on destruction. Every failure says what failed in a
// plain message box and leaves the property text "NULL".
#pragma once

#include <memory>
#include <string>

#include "platform/Ports.h"
#include "platform/WmiPort.h"

class CWmiQuery {
 public:
  // Namespace and class the board revision comes from.
  static constexpr const char* kCimNamespace = "\\\\.\\root\\cimv2";
  // Time the first instance may take to arrive, in milliseconds.
  static constexpr uint32_t kNextTimeoutMs = 1000;

  CWmiQuery(IWmiPort& wmi, IUiPort& ui);
  ~CWmiQuery();
  CWmiQuery(const CWmiQuery&) = delete;
  CWmiQuery& operator=(const CWmiQuery&) = delete;

  // Called by the constructor; false leaves the object unusable.
  bool Initialize();
  bool Connect(const std::string& strNamespace);
  // The property as text: a string as it is, a 32-bit integer in decimal,
  // anything else (nothing found included) "NULL".
  std::string GetFirstInstanceProperty(const std::string& strClass, const std::string& strProperty);

 private:
  void Say(const char* pszText);

  IWmiPort& m_wmi;
  IUiPort& m_ui;
  bool m_bComInitialised = false;  // CoInitialize succeeded: CoUninitialize is owed
  std::unique_ptr<IWmiServices> m_pServices;
};
