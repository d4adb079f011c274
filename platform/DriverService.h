// A kernel-driver service through the service port: created, started and
// waited for, stopped and deleted. Every program that installs a driver
// (the flash driver, the controller driver, the AMI drivers) goes through
// this one object, so that "already exists" (1073) and "already running"
// (1056) mean the same thing everywhere, and a wait never blocks a test:
// the pauses go through ISystem::Sleep.
//
// Each operation opens the service control manager itself and closes it
// before it returns, as separate calls of the program did; the service
// handle of EnsureRunning is kept for the caller (TakeService). Failures
// come back as results, so every caller keeps its own texts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Ports.h"
#include "platform/WinTypes.h"

// Where an operation stopped. LastError() gives the Win32 code of the call
// that failed (0 for NoBinaryPath and for timeouts).
enum class EDriverServiceResult {
  Ok,
  NoManager,     // the service control manager could not be opened
  NoBinaryPath,  // the caller could not name the driver file
  CreateFailed,  // the service neither existed nor could be created
  OpenFailed,    // the service could not be opened
  StartFailed,   // the start failed with something other than "already running"
  NotRunning,    // started, but still not running after the last poll
  StopFailed,    // still not stopped after the last poll
  DeleteFailed,  // the service could not be marked for deletion
};

struct SDriverServiceSettings {
  std::string strName;  // service name, also its display name
  // kServiceDemandStart (3) for a driver the program starts itself,
  // kServiceBootStart (0) for one that must come up with Windows.
  uint32_t dwStartType = kServiceDemandStart;
  uint32_t dwManagerAccess = kScManagerAllAccess;
  uint32_t dwServiceAccess = kServiceAllAccess;
  uint32_t dwErrorControl = kServiceErrorNormal;
  // Waiting for a start: with nStartPolls > 0 a running service is left
  // alone, and after a start it is interrogated up to nStartPolls times,
  // dwStartPollMs milliseconds apart. With 0 the start is not waited for.
  int nStartPolls = 0;
  uint32_t dwStartPollMs = 0;
  // Waiting for a stop: the status is queried up to nStopPolls + 1 times,
  // dwStopPollMs milliseconds apart, until it reads "stopped".
  int nStopPolls = 500;
  uint32_t dwStopPollMs = 10;
};

class CDriverService {
 public:
  // Names the driver file; false when it cannot (the caller's reason).
  using FnBinaryPath = std::function<bool(std::string* pstrPath)>;

  CDriverService(IServicePort& services, ISystem& system, SDriverServiceSettings settings);
  ~CDriverService();
  CDriverService(const CDriverService&) = delete;
  CDriverService& operator=(const CDriverService&) = delete;

  // Creates the service for the driver file; an existing service counts
  // as created (its path stays as it was).
  EDriverServiceResult Install(const std::string& strBinaryPath);
  // Opens the service and starts it (waiting as the settings say).
  EDriverServiceResult Start();
  // Opens the service, or creates it from the path fnBinaryPath names when
  // it does not exist (or exists by the time the creation runs), and
  // starts it unless it runs. The service handle is kept (TakeService).
  EDriverServiceResult EnsureRunning(const FnBinaryPath& fnBinaryPath);
  // Asks the service to stop and waits until it reports "stopped".
  EDriverServiceResult Stop();
  // Marks the service for deletion (it goes once every handle is closed).
  EDriverServiceResult Remove();

  // The service handle EnsureRunning left open; null otherwise.
  std::unique_ptr<IService> TakeService() { return std::move(m_pService); }
  uint32_t LastError() const { return m_dwLastError; }
  const SDriverServiceSettings& Settings() const { return m_settings; }

 private:
  std::unique_ptr<IServiceManager> OpenManager();
  std::unique_ptr<IService> OpenService(IServiceManager& manager);
  // Opens the manager, then the service, and runs the action on it.
  using FnAction = std::function<EDriverServiceResult(IService& service)>;
  EDriverServiceResult OnService(const FnAction& fnAction);
  std::unique_ptr<IService> CreateService(IServiceManager& manager,
                                          const std::string& strBinaryPath);
  EDriverServiceResult StartOpened(IService& service);
  bool IsRunning(IService& service);
  EDriverServiceResult Fail(EDriverServiceResult eResult, uint32_t dwError);

  IServicePort& m_services;
  ISystem& m_system;
  SDriverServiceSettings m_settings;
  std::unique_ptr<IService> m_pService;
  uint32_t m_dwLastError = 0;
};
