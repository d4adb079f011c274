#include "platform/DriverService.h"

#include <utility>

CDriverService::CDriverService(IServicePort& services, ISystem& system,
                               SDriverServiceSettings settings)
    : m_services(services), m_system(system), m_settings(std::move(settings)) {}

CDriverService::~CDriverService() = default;

EDriverServiceResult CDriverService::Fail(EDriverServiceResult eResult, uint32_t dwError) {
  m_dwLastError = dwError;
  return eResult;
}

std::unique_ptr<IServiceManager> CDriverService::OpenManager() {
  m_dwLastError = 0;
  std::unique_ptr<IServiceManager> pManager = m_services.OpenManager(m_settings.dwManagerAccess);
  if (!pManager) m_dwLastError = m_services.LastError();
  return pManager;
}

std::unique_ptr<IService> CDriverService::OpenService(IServiceManager& manager) {
  std::unique_ptr<IService> pService = manager.Open(m_settings.strName, m_settings.dwServiceAccess);
  if (!pService) m_dwLastError = manager.LastError();
  return pService;
}

std::unique_ptr<IService> CDriverService::CreateService(IServiceManager& manager,
                                                        const std::string& strBinaryPath) {
  SServiceConfig config;
  config.strName = m_settings.strName;
  config.strDisplayName = m_settings.strName;
  config.dwDesiredAccess = m_settings.dwServiceAccess;
  config.dwServiceType = kServiceKernelDriver;
  config.dwStartType = m_settings.dwStartType;
  config.dwErrorControl = m_settings.dwErrorControl;
  config.strBinaryPath = strBinaryPath;
  std::unique_ptr<IService> pService = manager.Create(config);
  if (!pService) m_dwLastError = manager.LastError();
  return pService;
}

bool CDriverService::IsRunning(IService& service) {
  SServiceStatus status;
  // Interrogating a stopped service fails; that also means "not running".
  return service.Control(kServiceControlInterrogate, &status) &&
         status.dwCurrentState == kServiceRunning;
}

EDriverServiceResult CDriverService::StartOpened(IService& service) {
  const bool bWait = m_settings.nStartPolls > 0;
  if (bWait && IsRunning(service)) return EDriverServiceResult::Ok;
  // Another process may have started it since: "already running" is what
  // this call wanted.
  if (!service.Start() && service.LastError() != kErrorServiceAlreadyRunning)
    return Fail(EDriverServiceResult::StartFailed, service.LastError());
  m_dwLastError = 0;
  if (!bWait) return EDriverServiceResult::Ok;
  for (int i = 0; i < m_settings.nStartPolls; ++i) {
    m_system.Sleep(m_settings.dwStartPollMs);
    if (IsRunning(service)) return EDriverServiceResult::Ok;
  }
  return Fail(EDriverServiceResult::NotRunning, 0);
}

EDriverServiceResult CDriverService::OnService(const FnAction& fnAction) {
  std::unique_ptr<IServiceManager> pManager = OpenManager();
  if (!pManager) return EDriverServiceResult::NoManager;
  std::unique_ptr<IService> pService = OpenService(*pManager);
  if (!pService) return EDriverServiceResult::OpenFailed;
  return fnAction(*pService);
}

EDriverServiceResult CDriverService::Install(const std::string& strBinaryPath) {
  std::unique_ptr<IServiceManager> pManager = OpenManager();
  if (!pManager) return EDriverServiceResult::NoManager;
  if (CreateService(*pManager, strBinaryPath) || m_dwLastError == kErrorServiceExists) {
    m_dwLastError = 0;
    return EDriverServiceResult::Ok;
  }
  return EDriverServiceResult::CreateFailed;
}

EDriverServiceResult CDriverService::Start() {
  return OnService([this](IService& service) { return StartOpened(service); });
}

EDriverServiceResult CDriverService::EnsureRunning(const FnBinaryPath& fnBinaryPath) {
  m_pService.reset();
  std::unique_ptr<IServiceManager> pManager = OpenManager();
  if (!pManager) return EDriverServiceResult::NoManager;
  std::unique_ptr<IService> pService = OpenService(*pManager);
  if (!pService) {
    std::string strPath;
    if (!fnBinaryPath(&strPath)) return Fail(EDriverServiceResult::NoBinaryPath, 0);
    pService = CreateService(*pManager, strPath);
    // Created by another process between the open and the creation: use
    // that one.
    if (!pService && m_dwLastError == kErrorServiceExists) {
      pService = OpenService(*pManager);
      if (!pService) return EDriverServiceResult::OpenFailed;
    }
    if (!pService) return EDriverServiceResult::CreateFailed;
  }
  const EDriverServiceResult eResult = StartOpened(*pService);
  if (eResult == EDriverServiceResult::Ok) m_pService = std::move(pService);
  return eResult;
}

EDriverServiceResult CDriverService::Stop() {
  return OnService([this](IService& service) {
    // A service that is not running refuses the control; the status query
    // below then reads "stopped" at once.
    SServiceStatus status;
    service.Control(kServiceControlStop, &status);
    for (int i = 0;; ++i) {
      if (!service.QueryStatus(&status))
        return Fail(EDriverServiceResult::StopFailed, service.LastError());
      if (status.dwCurrentState == kServiceStopped) break;
      if (i == m_settings.nStopPolls) return Fail(EDriverServiceResult::StopFailed, 0);
      m_system.Sleep(m_settings.dwStopPollMs);
    }
    m_dwLastError = 0;
    return EDriverServiceResult::Ok;
  });
}

EDriverServiceResult CDriverService::Remove() {
  return OnService([this](IService& service) {
    if (!service.Delete()) return Fail(EDriverServiceResult::DeleteFailed, service.LastError());
    return EDriverServiceResult::Ok;
  });
}
