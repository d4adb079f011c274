#include "tests/kt9020dll/LoopbackDevice.h"

#include <cstring>

#include "kt9020dll/ControllerCommand.h"
#include "platform/ByteView.h"
#include "platform/WinTypes.h"

namespace {

class CLoopbackDevice : public IDevice {
 public:
  explicit CLoopbackDevice(std::vector<uint8_t>& vecMemory) : m_vecMemory(vecMemory) {}

  bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nInBytes, void* pOut,
                 uint32_t nOutBytes, uint32_t* pnReturned) override {
    CByteView in(pIn, nInBytes);
    *pnReturned = 0;
    switch (dwCode) {
      case mirel::kGetAip:
      case mirel::kSetAip:
        return Command(dwCode == mirel::kSetAip, in, pOut, nOutBytes, pnReturned);
      case mirel::kInPortB:
      case mirel::kOutPortB:
      case mirel::kReadPortVal:
      case mirel::kWritePortVal: {
        mirel::SPortRecord record{};
        if (!in.Copy(0, &record, sizeof(record)) || nOutBytes < sizeof(record)) return false;
        record.byValue = 0xA5;
        record.wValue = 0xA5A5;
        record.dwValue = 0xA5A5A5A5;
        std::memcpy(pOut, &record, sizeof(record));
        *pnReturned = sizeof(record);
        return true;
      }
      case mirel::kReadMsr: {
        uint32_t dwIndex = 0;
        if (!in.U32(0, &dwIndex) || nOutBytes < 8) return false;
        uint64_t qwValue = dwIndex * 0x100000001ull;
        std::memcpy(pOut, &qwValue, 8);
        *pnReturned = 8;
        return true;
      }
      case mirel::kWriteMsr:
        return in.Size() == sizeof(mirel::SMsrWrite);
      default:
        m_dwLastError = kErrorInvalidParameter;
        return false;
    }
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  bool Command(bool bSet, const CByteView& in, void* pOut, uint32_t nOutBytes,
               uint32_t* pnReturned) {
    SCommandRecord request{}, reply{};
    if (!in.Copy(0, request.aby, sizeof(request.aby)) || nOutBytes < sizeof(reply.aby))
      return false;
    const uint8_t* p = request.aby;
    uint32_t dwAddress = (p[mirel::kRecAddressHigh] << 8) | p[mirel::kRecAddressLow];
    const mirel::SCommand* pCommand = mirel::FindCommand(p[mirel::kRecCommand]);
    if (!pCommand) return false;
    if (bSet) {
      bool bBlock = pCommand->eCount == mirel::ECountUse::DataLength;
      uint32_t nData = p[mirel::kRecRequestLength] - 2u - (bBlock ? 1u : 0u);
      const uint8_t* pData = p + mirel::kRecData + (bBlock ? 1 : 0);
      for (uint32_t i = 0; i < nData; ++i) m_vecMemory[(dwAddress + i) & 0xFFFF] = pData[i];
      reply.aby[mirel::kRecReplyLength] = 1;
    } else {
      uint32_t nData = p[mirel::kRecReplyLength];
      for (uint32_t i = 0; i < nData && mirel::kRecReplyData + i < sizeof(reply.aby); ++i)
        reply.aby[mirel::kRecReplyData + i] = m_vecMemory[(dwAddress + i) & 0xFFFF];
      reply.aby[mirel::kRecReplyLength] = static_cast<uint8_t>(nData);
    }
    std::memcpy(pOut, reply.aby, sizeof(reply.aby));
    *pnReturned = sizeof(reply.aby);
    return true;
  }

  std::vector<uint8_t>& m_vecMemory;
  uint32_t m_dwLastError = 0;
};

}  // namespace

std::unique_ptr<IDevice> CLoopbackDevicePort::Open(const std::string& strName) {
  if (strName != "\\\\.\\Mirel") {
    m_dwLastError = kErrorFileNotFound;
    return nullptr;
  }
  return std::make_unique<CLoopbackDevice>(m_vecMemory);
}
