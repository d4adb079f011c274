#include "tests/kt9020dll/Kt9020Fakes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

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

SDeviceReply CommandReply(uint8_t byLength, std::vector<uint8_t> vecData) {
  SDeviceReply reply;
  reply.vecOut.assign(4, 0);
  reply.vecOut[3] = byLength;
  reply.vecOut.insert(reply.vecOut.end(), vecData.begin(), vecData.end());
  return reply;
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
