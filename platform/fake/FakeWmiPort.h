// A scripted WMI for native tests: each step's result is chosen by the
// test, and every call is recorded in order.
#pragma once

#include <string>
#include <vector>

#include "platform/WmiPort.h"

class CFakeWmiPort : public IWmiPort {
 public:
  HResult m_hrInitialize = kSOk;
  HResult m_hrSecurity = kSOk;
  HResult m_hrLocator = kSOk;
  HResult m_hrConnect = kSOk;
  HResult m_hrEnum = kSOk;
  SWmiValue m_value;                    // what Get returns
  std::vector<std::string> m_vecCalls;  // "CoInitialize", "Connect \\\\.\\root\\cimv2", ...
  int m_nServicesAlive = 0;

  HResult CoInitialize() override { return Record("CoInitialize", m_hrInitialize); }
  void CoUninitialize() override { m_vecCalls.push_back("CoUninitialize"); }
  HResult InitializeSecurity() override { return Record("InitializeSecurity", m_hrSecurity); }
  HResult CreateLocator() override { return Record("CreateLocator", m_hrLocator); }
  HResult ConnectServer(const std::string& strNamespace,
                        std::unique_ptr<IWmiServices>* ppServices) override {
    Record("Connect " + strNamespace, m_hrConnect);
    if (m_hrConnect >= 0) *ppServices = std::make_unique<CServices>(*this);
    return m_hrConnect;
  }
  void ShowWaitCursor(bool bShow) override { m_vecCalls.push_back(bShow ? "Wait" : "EndWait"); }

 private:
  HResult Record(const std::string& strCall, HResult hr) {
    m_vecCalls.push_back(strCall);
    return hr;
  }
  class CServices : public IWmiServices {
   public:
    explicit CServices(CFakeWmiPort& port) : m_port(port) { ++m_port.m_nServicesAlive; }
    ~CServices() override {
      --m_port.m_nServicesAlive;
      m_port.m_vecCalls.push_back("Release");
    }
    HResult GetFirstInstanceProperty(const std::string& strClass, const std::string& strProperty,
                                     uint32_t nTimeoutMs, SWmiValue* pValue) override {
      m_port.m_vecCalls.push_back("Get " + strClass + "." + strProperty + " " +
                                  std::to_string(nTimeoutMs));
      if (m_port.m_hrEnum >= 0) *pValue = m_port.m_value;
      return m_port.m_hrEnum;
    }

   private:
    CFakeWmiPort& m_port;
  };
};
