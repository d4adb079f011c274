#include "sim/SimDevicePort.h"

#include <ctype.h>

#include <mutex>

#include "protocol/AmiIoctl.h"
#include "sim/SimAmiBoard.h"
#include "sim/SimAwardBoard.h"
#include "sim/SimMirelController.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Requests of all threads reach a core one at a time, as a driver
// serialises them.
std::mutex g_RequestLock;

class CSimDevice : public IDevice {
 public:
  CSimDevice(CSimDevicePort::PfnRequest pfnRequest, void* pCore)
      : m_pfnRequest(pfnRequest), m_pCore(pCore) {}
  bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nInBytes, void* pOut,
                 uint32_t nOutBytes, uint32_t* pnReturned) override {
    uint32_t nReturned = 0, dwResult;
    {
      std::lock_guard<std::mutex> lock(g_RequestLock);
      dwResult = m_pfnRequest(m_pCore, dwCode, pIn, nInBytes, pOut, nOutBytes, &nReturned);
    }
    if (pnReturned) *pnReturned = nReturned;
    m_dwLastError = CSimDevicePort::Win32Error(dwResult);
    return dwResult == kSimOk;
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  CSimDevicePort::PfnRequest m_pfnRequest;
  void* m_pCore;
  uint32_t m_dwLastError = 0;
};

uint32_t AwardRequest(void* pCore, uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                      uint32_t nOut, uint32_t* pnReturned) {
  return static_cast<CSimAwardBoard*>(pCore)->Request(dwCode, pIn, nIn, pOut, nOut, pnReturned);
}

uint32_t MirelRequest(void* pCore, uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                      uint32_t nOut, uint32_t* pnReturned) {
  return static_cast<CSimMirelController*>(pCore)->Request(dwCode, pIn, nIn, pOut, nOut,
                                                           pnReturned);
}

template <CSimAmiBoard::EDevice eDevice>
uint32_t AmiRequest(void* pCore, uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                    uint32_t nOut, uint32_t* pnReturned) {
  return static_cast<CSimAmiBoard*>(pCore)->Request(eDevice, dwCode, pIn, nIn, pOut, nOut,
                                                    pnReturned);
}

}  // namespace

uint32_t CSimDevicePort::Win32Error(uint32_t dwSimResult) {
  switch (dwSimResult) {
    case kSimOk:
      return 0;
    case kSimInvalidRequest:
      return 1;  // ERROR_INVALID_FUNCTION
    case kSimInvalidParameter:
      return 87;  // ERROR_INVALID_PARAMETER
    case kSimBufferTooSmall:
      return 122;  // ERROR_INSUFFICIENT_BUFFER
    default:
      return 31;  // ERROR_GEN_FAILURE: the device does not answer
  }
}

void CSimDevicePort::AddDevice(const std::string& strName, PfnRequest pfnRequest, void* pCore) {
  m_vecDevices.push_back({strName, pfnRequest, pCore});
}

void CSimDevicePort::AddAwardBoard(CSimAwardBoard* pBoard) {
  AddDevice("\\\\.\\WinFlash", &AwardRequest, pBoard);
}

void CSimDevicePort::AddMirelController(CSimMirelController* pController) {
  AddDevice("\\\\.\\Mirel", &MirelRequest, pController);
}

void CSimDevicePort::AddAmiBoard(CSimAmiBoard* pBoard) {
  AddDevice("\\\\.\\HwIOctl", &AmiRequest<CSimAmiBoard::kHwIoctl>, pBoard);
  if (!pBoard->Config().byNoMemctl)
    AddDevice("\\\\.\\Memctl", &AmiRequest<CSimAmiBoard::kMemctl>, pBoard);
  AddDevice(ami::kVxdName, &AmiRequest<CSimAmiBoard::kMemoryVxd>, pBoard);
}

std::unique_ptr<IDevice> CSimDevicePort::Open(const std::string& strName) {
  m_vecOpened.push_back(strName);
  if (!m_bOpenFails) {
    for (const SEntry& e : m_vecDevices) {
      if (SameName(e.strName, strName)) {
        m_dwLastError = 0;
        return std::unique_ptr<IDevice>(new CSimDevice(e.pfnRequest, e.pCore));
      }
    }
    if (m_pFallback) {
      std::unique_ptr<IDevice> pDevice = m_pFallback->Open(strName);
      m_dwLastError = pDevice ? 0 : m_pFallback->LastError();
      return pDevice;
    }
  }
  m_dwLastError = 2;  // ERROR_FILE_NOT_FOUND
  return nullptr;
}
