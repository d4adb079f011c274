#include "platform/fake/FakeServicePort.h"

#include "platform/WinTypes.h"

namespace {

class CFakeService : public IService {
 public:
  CFakeService(CFakeServicePort& port, std::string strName)
      : m_port(port), m_strName(std::move(strName)) {
    ++m_port.m_nOpenServices;
    ++Entry().nHandles;
  }
  ~CFakeService() override {
    --m_port.m_nOpenServices;
    auto it = m_port.m_mapServices.find(m_strName);
    if (it == m_port.m_mapServices.end()) return;
    // A service marked for deletion goes with its last handle.
    if (--it->second.nHandles == 0 && it->second.bMarkedForDelete) m_port.m_mapServices.erase(it);
  }

  bool Start() override {
    Log("start ");
    if (Scripted(EServiceCall::Start)) {
      // Windows says so when another start came first: it runs.
      if (m_dwLastError == kErrorServiceAlreadyRunning) Entry().dwState = kServiceRunning;
      return false;
    }
    CFakeServicePort::SService& service = Entry();
    if (service.dwState != kServiceStopped) return Error(kErrorServiceAlreadyRunning);
    service.nPollsLeft = m_port.m_nPollsUntilRunning;
    service.dwState = service.nPollsLeft > 0 ? kServiceStartPending : kServiceRunning;
    return Ok();
  }

  bool Control(uint32_t dwControl, SServiceStatus* pStatus) override {
    CFakeServicePort::SService& service = Entry();
    if (dwControl == kServiceControlInterrogate) {
      Log("interrogate ");
      if (Scripted(EServiceCall::Interrogate)) return false;
      if (service.dwState == kServiceStartPending && --service.nPollsLeft <= 0)
        service.dwState = kServiceRunning;
      if (pStatus) pStatus->dwCurrentState = service.dwState;
      return service.dwState == kServiceRunning ? Ok() : Error(kErrorServiceNotActive);
    }
    if (dwControl == kServiceControlStop) {
      Log("stop ");
      if (Scripted(EServiceCall::Stop)) return false;
      if (service.dwState == kServiceStopped) return Error(kErrorServiceNotActive);
      service.nPollsLeft = m_port.m_nQueriesUntilStopped;
      service.dwState = service.nPollsLeft != 0 ? kServiceStopPending : kServiceStopped;
      if (pStatus) pStatus->dwCurrentState = service.dwState;
      return Ok();
    }
    Log("control " + std::to_string(dwControl) + " ");
    return Error(kErrorInvalidParameter);
  }

  bool QueryStatus(SServiceStatus* pStatus) override {
    Log("query ");
    if (Scripted(EServiceCall::Query)) return false;
    CFakeServicePort::SService& service = Entry();
    if (service.dwState == kServiceStopPending && service.nPollsLeft > 0 &&
        --service.nPollsLeft == 0)
      service.dwState = kServiceStopped;
    pStatus->dwCurrentState = service.dwState;
    return Ok();
  }

  bool Delete() override {
    Log("delete ");
    if (Scripted(EServiceCall::Delete)) return false;
    CFakeServicePort::SService& service = Entry();
    if (service.bMarkedForDelete) return Error(kErrorServiceMarkedForDelete);
    service.bMarkedForDelete = true;
    return Ok();
  }

  uint32_t LastError() const override { return m_dwLastError; }

 private:
  CFakeServicePort::SService& Entry() { return m_port.m_mapServices[m_strName]; }
  void Log(const std::string& strVerb) { m_port.m_vecCalls.push_back(strVerb + m_strName); }
  bool Scripted(EServiceCall eCall) { return m_port.Failing(eCall, &m_dwLastError); }
  bool Ok() {
    m_dwLastError = 0;
    return true;
  }
  bool Error(uint32_t dwError) {
    m_dwLastError = dwError;
    return false;
  }

  CFakeServicePort& m_port;
  std::string m_strName;
  uint32_t m_dwLastError = 0;
};

class CFakeServiceManager : public IServiceManager {
 public:
  explicit CFakeServiceManager(CFakeServicePort& port) : m_port(port) {}

  std::unique_ptr<IService> Open(const std::string& strName, uint32_t dwAccess) override {
    m_port.m_vecCalls.push_back("open " + strName);
    m_port.m_vecAccess.push_back(dwAccess);
    if (m_port.Failing(EServiceCall::Open, &m_dwLastError)) return nullptr;
    auto it = m_port.m_mapServices.find(strName);
    if (it == m_port.m_mapServices.end()) return Refuse(kErrorServiceDoesNotExist);
    if (it->second.bMarkedForDelete) return Refuse(kErrorServiceMarkedForDelete);
    return Handle(strName);
  }

  std::unique_ptr<IService> Create(const SServiceConfig& config) override {
    m_port.m_vecCalls.push_back("create " + config.strBinaryPath);
    m_port.m_vecCreated.push_back(config);
    if (m_port.Failing(EServiceCall::Create, &m_dwLastError)) return nullptr;
    auto it = m_port.m_mapServices.find(config.strName);
    if (it != m_port.m_mapServices.end())
      return Refuse(it->second.bMarkedForDelete ? kErrorServiceMarkedForDelete
                                                : kErrorServiceExists);
    m_port.m_mapServices[config.strName].config = config;
    return Handle(config.strName);
  }

  uint32_t LastError() const override { return m_dwLastError; }

 private:
  std::unique_ptr<IService> Refuse(uint32_t dwError) {
    m_dwLastError = dwError;
    return nullptr;
  }
  std::unique_ptr<IService> Handle(const std::string& strName) {
    m_dwLastError = 0;
    return std::make_unique<CFakeService>(m_port, strName);
  }

  CFakeServicePort& m_port;
  uint32_t m_dwLastError = 0;
};

}  // namespace

CFakeServicePort::SService& CFakeServicePort::Install(const std::string& strName, bool bRunning) {
  SService& service = m_mapServices[strName];
  service.config.strName = strName;
  service.config.strDisplayName = strName;
  service.dwState = bRunning ? kServiceRunning : kServiceStopped;
  return service;
}

std::vector<std::string> CFakeServicePort::Calls(const std::string& strVerb) const {
  std::vector<std::string> vecCalls;
  for (const std::string& strCall : m_vecCalls)
    if (strCall.compare(0, strVerb.size(), strVerb) == 0) vecCalls.push_back(strCall);
  return vecCalls;
}

bool CFakeServicePort::IsRunning(const std::string& strName) const {
  auto it = m_mapServices.find(strName);
  return it != m_mapServices.end() && it->second.dwState == kServiceRunning;
}

bool CFakeServicePort::Failing(EServiceCall eCall, uint32_t* pdwError) {
  auto it = m_mapFailures.find(eCall);
  if (it == m_mapFailures.end()) return false;
  *pdwError = it->second.dwError;
  if (it->second.nTimes > 0 && --it->second.nTimes == 0) m_mapFailures.erase(it);
  return true;
}

std::unique_ptr<IServiceManager> CFakeServicePort::OpenManager(uint32_t dwAccess) {
  m_vecCalls.push_back("manager");
  m_vecAccess.push_back(dwAccess);
  if (Failing(EServiceCall::OpenManager, &m_dwLastError)) return nullptr;
  m_dwLastError = 0;
  return std::make_unique<CFakeServiceManager>(*this);
}
