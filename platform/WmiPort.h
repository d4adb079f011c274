// Windows Management Instrumentation through COM, reduced to the calls the
// board identity needs: initialise COM and its security, connect to a
// namespace, and read one property of the first instance of a class.
// Results are HRESULTs (negative on failure) so the caller can tell which
// step failed and say so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

using HResult = int32_t;
constexpr HResult kSOk = 0;     // S_OK
constexpr HResult kSFalse = 1;  // S_FALSE: COM was already initialised on this thread

// A property value as the caller may convert it (the VARIANT types it
// tells apart).
struct SWmiValue {
  enum EType { Other, String, Int32 };
  EType eType = Other;   // also VT_EMPTY, VT_NULL and every other type
  std::string strValue;  // String: converted to the ANSI code page
  int32_t nValue = 0;    // Int32
};

// A connection to one namespace; destroying it releases the services.
class IWmiServices {
 public:
  virtual ~IWmiServices() = default;
  // CreateInstanceEnum(class); a failure is returned as its HRESULT. Then
  // Next with a time-out of nTimeoutMs for one object and, when exactly one
  // came back, Get(property) into *pValue (Other when nothing came back).
  virtual HResult GetFirstInstanceProperty(const std::string& strClass,
                                           const std::string& strProperty, uint32_t nTimeoutMs,
                                           SWmiValue* pValue) = 0;
};

class IWmiPort {
 public:
  virtual ~IWmiPort() = default;
  virtual HResult CoInitialize() = 0;
  virtual void CoUninitialize() = 0;
  // CoInitializeSecurity: no descriptor, authentication services chosen by
  // COM, RPC_C_AUTHN_LEVEL_CONNECT, RPC_C_IMP_LEVEL_IMPERSONATE.
  virtual HResult InitializeSecurity() = 0;
  // CoCreateInstance of the WBEM locator (in-process server).
  virtual HResult CreateLocator() = 0;
  // ConnectServer(namespace) on the locator, then on success
  // CoSetProxyBlanket(RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE,
  // RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE); the locator is
  // released either way.
  virtual HResult ConnectServer(const std::string& strNamespace,
                                std::unique_ptr<IWmiServices>* ppServices) = 0;
  // The hourglass while a query runs.
  virtual void ShowWaitCursor(bool bShow) = 0;
};
