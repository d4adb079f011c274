#include "tests/support/BenchControllerPort.h"

namespace {

class CProcessMutex : public IMutex {
 public:
  explicit CProcessMutex(std::recursive_mutex& mutex) : m_mutex(mutex) {}
  EWaitResult Wait() override {
    m_mutex.lock();
    return EWaitResult::Owned;
  }
  bool Release() override {
    m_mutex.unlock();
    return true;
  }

 private:
  std::recursive_mutex& m_mutex;
};

}  // namespace

std::unique_ptr<ISecurityDescriptor>
CBenchControllerPort::CProcessMutexPort::BuildEveryoneDescriptor(uint32_t, ESecurityStep*,
                                                                 uint32_t*) {
  return nullptr;  // not asked: the port never loads the library as a process would
}

std::unique_ptr<IMutex> CBenchControllerPort::CProcessMutexPort::Create(
    const std::string&, const ISecurityDescriptor*) {
  return std::make_unique<CProcessMutex>(m_mutex);
}

std::unique_ptr<IMutex> CBenchControllerPort::CProcessMutexPort::Open(const std::string&,
                                                                      uint32_t) {
  return std::make_unique<CProcessMutex>(m_mutex);
}

CBenchControllerPort::CBenchControllerPort(CSimMirelController* pController) {
  m_devices.AddMirelController(pController);
  SKt9020Ports ports;
  ports.pDevices = &m_devices;
  ports.pMutexes = &m_mutexes;
  ports.pToken = &m_token;
  m_pLibrary = std::make_unique<CKt9020Library>(ports, &m_shared);
  // Without administrator rights Start only opens the device: no service
  // manager, system facts or message boxes are needed.
  m_pLibrary->Start();
}

CBenchControllerPort::~CBenchControllerPort() = default;

int CBenchControllerPort::GetAip(int nCommand, int nAddress, int nCount, void* pDst) {
  return m_pLibrary->GetAip(nCommand, nAddress, nCount, pDst);
}

int CBenchControllerPort::SetAip(int nCommand, int nAddress, int nCount, const void* pData) {
  return m_pLibrary->SetAip(nCommand, nAddress, nCount, pData) ? 1 : 0;
}
