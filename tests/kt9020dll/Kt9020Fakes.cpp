#include "tests/kt9020dll/Kt9020Fakes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::string Hex(uint32_t dw) {
  char sz[16];
  std::snprintf(sz, sizeof(sz), "0x%x", dw);
  return sz;
}

class CRecordingDevice : public IDevice {
 public:
  explicit CRecordingDevice(CRecordingDevicePort& port) : m_port(port) { ++m_port.m_nOpenDevices; }
  ~CRecordingDevice() override { --m_port.m_nOpenDevices; }
  bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nInBytes, void* pOut,
                 uint32_t nOutBytes, uint32_t* pnReturned) override {
    const uint8_t* p = static_cast<const uint8_t*>(pIn);
    m_port.m_vecRequests.push_back({dwCode, std::vector<uint8_t>(p, p + nInBytes), nOutBytes});
    m_port.m_pLog->push_back("io " + Hex(dwCode));
    SDeviceReply reply;
    if (!m_port.m_queReplies.empty()) {
      reply = m_port.m_queReplies.front();
      m_port.m_queReplies.pop_front();
    }
    if (!reply.bOk) return false;
    if (nOutBytes) std::memset(pOut, 0, nOutBytes);
    size_t n = std::min<size_t>(reply.vecOut.size(), nOutBytes);
    if (n) std::memcpy(pOut, reply.vecOut.data(), n);
    *pnReturned = reply.nReturned < 0 ? nOutBytes : static_cast<uint32_t>(reply.nReturned);
    return true;
  }
  uint32_t LastError() const override { return 0; }

 private:
  CRecordingDevicePort& m_port;
};

class CFakeService : public IService {
 public:
  explicit CFakeService(SFakeServiceState& state) : m_state(state) { ++m_state.nOpenServices; }
  ~CFakeService() override { --m_state.nOpenServices; }
  bool Start() override {
    ++m_state.nStarts;
    if (m_state.bStartFails) {
      // "Already running": another process's start came first.
      if (m_state.dwStartError == kErrorServiceAlreadyRunning) m_state.bRunning = true;
      return false;
    }
    if (m_state.nPollsUntilRunning == 0) m_state.bRunning = true;
    return true;
  }
  bool Control(uint32_t dwControl, SServiceStatus* pStatus) override {
    if (dwControl != kServiceControlInterrogate) return false;
    ++m_state.nInterrogations;
    if (m_state.nStarts && !m_state.bStartFails && !m_state.bRunning &&
        --m_state.nPollsUntilRunning <= 0)
      m_state.bRunning = true;
    pStatus->dwCurrentState = m_state.bRunning ? kServiceRunning : kServiceStopped;
    return m_state.bRunning;  // interrogating a stopped service fails
  }
  bool QueryStatus(SServiceStatus* pStatus) override {
    pStatus->dwCurrentState = m_state.bRunning ? kServiceRunning : kServiceStopped;
    return true;
  }
  bool Delete() override { return true; }
  uint32_t LastError() const override { return m_state.bStartFails ? m_state.dwStartError : 0; }

 private:
  SFakeServiceState& m_state;
};

class CFakeServiceManager : public IServiceManager {
 public:
  explicit CFakeServiceManager(SFakeServiceState& state) : m_state(state) {}
  std::unique_ptr<IService> Open(const std::string& strName, uint32_t) override {
    if (!m_state.bExists || strName != "Mirel") return nullptr;
    return std::make_unique<CFakeService>(m_state);
  }
  std::unique_ptr<IService> Create(const SServiceConfig& config) override {
    m_state.vecCreated.push_back(config);
    if (m_state.bCreateFails) return nullptr;
    m_state.bExists = true;
    return std::make_unique<CFakeService>(m_state);
  }
  uint32_t LastError() const override { return 0; }

 private:
  SFakeServiceState& m_state;
};

class CFakeDescriptor : public ISecurityDescriptor {
 public:
  explicit CFakeDescriptor(int& nLive) : m_nLive(nLive) { ++m_nLive; }
  ~CFakeDescriptor() override { --m_nLive; }

 private:
  int& m_nLive;
};

class CFakeMutex : public IMutex {
 public:
  CFakeMutex(CFakeMutexPort& port, std::string strName, uint32_t dwAccess)
      : m_port(port), m_strName(std::move(strName)), m_dwAccess(dwAccess) {
    ++m_port.m_mapMutexes[m_strName].nHandles;
  }
  ~CFakeMutex() override {
    // The named object lives while any process holds a handle.
    if (--m_port.m_mapMutexes[m_strName].nHandles == 0) m_port.m_mapMutexes.erase(m_strName);
  }
  EWaitResult Wait() override {
    m_port.m_pLog->push_back("wait");
    EWaitResult eResult = EWaitResult::Owned;
    if (!m_port.m_queWaitResults.empty()) {
      eResult = m_port.m_queWaitResults.front();
      m_port.m_queWaitResults.pop_front();
    }
    if (eResult != EWaitResult::Failed) m_port.m_mapMutexes[m_strName].bOwned = true;
    return eResult;
  }
  bool Release() override {
    m_port.m_pLog->push_back("release");
    // As on Windows: releasing needs MUTEX_MODIFY_STATE and ownership.
    SNamed& named = m_port.m_mapMutexes[m_strName];
    if (!(m_dwAccess & kMutexModifyState) || !named.bOwned) return false;
    named.bOwned = false;
    return true;
  }

 private:
  using SNamed = CFakeMutexPort::SNamed;
  CFakeMutexPort& m_port;
  std::string m_strName;
  uint32_t m_dwAccess;
};

}  // namespace

std::unique_ptr<IDevice> CRecordingDevicePort::Open(const std::string& strName) {
  m_vecOpened.push_back(strName);
  if (m_bOpenFails) return nullptr;
  return std::make_unique<CRecordingDevice>(*this);
}

SDeviceReply CRecordingDevicePort::CommandReply(uint8_t byLength, std::vector<uint8_t> vecData) {
  SDeviceReply reply;
  reply.vecOut.assign(4, 0);
  reply.vecOut[3] = byLength;
  reply.vecOut.insert(reply.vecOut.end(), vecData.begin(), vecData.end());
  return reply;
}

std::unique_ptr<IServiceManager> CFakeServicePort::OpenManager(uint32_t) {
  if (m_state.bManagerFails) return nullptr;
  return std::make_unique<CFakeServiceManager>(m_state);
}

std::unique_ptr<ISecurityDescriptor> CFakeMutexPort::BuildEveryoneDescriptor(uint32_t dwRights,
                                                                             ESecurityStep* pStep,
                                                                             uint32_t* pdwError) {
  if (m_eFailStep != ESecurityStep::None || dwRights != (kStandardRightsAll | kMutexModifyState)) {
    *pStep = m_eFailStep;
    *pdwError = m_dwFailError;
    return nullptr;
  }
  return std::make_unique<CFakeDescriptor>(m_nDescriptors);
}

std::unique_ptr<IMutex> CFakeMutexPort::MakeHandle(const std::string& strName, uint32_t dwAccess) {
  return std::make_unique<CFakeMutex>(*this, strName, dwAccess);
}

std::unique_ptr<IMutex> CFakeMutexPort::Create(const std::string& strName,
                                               const ISecurityDescriptor* pSecurity) {
  ++m_nCreates;
  m_vecCreatedWithSecurity.push_back(pSecurity != nullptr);
  m_pLog->push_back("create " + strName);
  return MakeHandle(strName, kSynchronize | kMutexModifyState);
}

std::unique_ptr<IMutex> CFakeMutexPort::Open(const std::string& strName, uint32_t dwAccess) {
  m_vecOpenAccess.push_back(dwAccess);
  m_pLog->push_back("open " + strName);
  if (m_mapMutexes.count(strName) == 0) return nullptr;
  return MakeHandle(strName, dwAccess);
}
