#include "platform/fake/FakeDevicePort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/WinTypes.h"

namespace {

class CFakeDevice : public IDevice {
 public:
  CFakeDevice(CFakeDevicePort& port, CFakeDevicePort::FnAnswer fnAnswer,
              std::unique_ptr<IDevice> pInner = nullptr)
      : m_port(port), m_fnAnswer(std::move(fnAnswer)), m_pInner(std::move(pInner)) {
    ++m_port.m_nOpenDevices;
    if (m_pInner) {
      // A real device behind the log: its answers are the driver's.
      IDevice* pDevice = m_pInner.get();
      m_fnAnswer = [pDevice](uint32_t dwCode, const uint8_t* pIn, uint32_t nIn, uint8_t* pOut,
                             uint32_t nOut, uint32_t* pnReturned) {
        return pDevice->IoControl(dwCode, pIn, nIn, pOut, nOut, pnReturned);
      };
    }
  }
  ~CFakeDevice() override { --m_port.m_nOpenDevices; }

  bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nInBytes, void* pOut,
                 uint32_t nOutBytes, uint32_t* pnReturned) override {
    const bool bOk = m_port.Answer(m_fnAnswer, dwCode, pIn, nInBytes, pOut, nOutBytes, pnReturned,
                                   &m_dwLastError);
    if (!bOk && m_pInner) m_dwLastError = m_pInner->LastError();
    return bOk;
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  CFakeDevicePort& m_port;
  CFakeDevicePort::FnAnswer m_fnAnswer;
  std::unique_ptr<IDevice> m_pInner;
  uint32_t m_dwLastError = 0;
};

}  // namespace

void CFakeDevicePort::AddDevice(const std::string& strName, FnAnswer fnAnswer) {
  m_mapDevices[strName] = std::move(fnAnswer);
}

size_t CFakeDevicePort::Count(uint32_t dwCode) const {
  return static_cast<size_t>(
      std::count_if(m_vecRequests.begin(), m_vecRequests.end(),
                    [&](const SDeviceRequest& r) { return r.dwCode == dwCode; }));
}

std::unique_ptr<IDevice> CFakeDevicePort::Open(const std::string& strName) {
  m_vecOpened.push_back(strName);
  m_dwLastError = kErrorFileNotFound;
  if (m_bOpenFails) return nullptr;
  auto it = m_mapDevices.find(strName);
  if (it != m_mapDevices.end()) {
    m_dwLastError = 0;
    return std::make_unique<CFakeDevice>(*this, it->second);
  }
  if (!m_pForward) return nullptr;
  std::unique_ptr<IDevice> pInner = m_pForward->Open(strName);
  m_dwLastError = pInner ? 0 : m_pForward->LastError();
  if (!pInner) return nullptr;
  return std::make_unique<CFakeDevice>(*this, nullptr, std::move(pInner));
}

bool CFakeDevicePort::Answer(const FnAnswer& fnAnswer, uint32_t dwCode, const void* pIn,
                             uint32_t nIn, void* pOut, uint32_t nOut, uint32_t* pnReturned,
                             uint32_t* pdwError) {
  const uint8_t* pbyIn = static_cast<const uint8_t*>(pIn);
  uint8_t* pbyOut = static_cast<uint8_t*>(pOut);
  m_vecRequests.push_back({dwCode, std::vector<uint8_t>(pbyIn, pbyIn + (pbyIn ? nIn : 0)), nOut});
  if (m_pLog) {
    char szLine[24];
    std::snprintf(szLine, sizeof(szLine), "io 0x%x", dwCode);
    m_pLog->push_back(szLine);
  }
  uint32_t nReturned = 0;
  *pdwError = 0;
  if (!m_queReplies.empty()) {
    const SDeviceReply reply = m_queReplies.front();
    m_queReplies.pop_front();
    if (!reply.bOk) {
      *pdwError = reply.dwError;
      return false;
    }
    if (nOut) std::memset(pbyOut, 0, nOut);
    const size_t n = std::min<size_t>(reply.vecOut.size(), nOut);
    if (n) std::memcpy(pbyOut, reply.vecOut.data(), n);
    nReturned = reply.nReturned < 0 ? nOut : static_cast<uint32_t>(reply.nReturned);
  } else if (fnAnswer) {
    if (!fnAnswer(dwCode, pbyIn, nIn, pbyOut, nOut, &nReturned)) {
      *pdwError = 31;  // ERROR_GEN_FAILURE
      if (pnReturned) *pnReturned = nReturned;
      return false;
    }
  } else {
    if (nOut) std::memset(pbyOut, 0, nOut);
    nReturned = nOut;
  }
  if (pnReturned) *pnReturned = nReturned;
  return true;
}
