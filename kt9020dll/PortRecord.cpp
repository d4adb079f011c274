#include "kt9020dll/PortRecord.h"

mirel::SPortRecord MakePortRecord(EPortFill eFill, uint8_t bySize, uint32_t dwPort,
                                  uint32_t dwValue) {
  mirel::SPortRecord record{};
  record.bySize = bySize;
  record.wPort = static_cast<uint16_t>(dwPort);
  switch (eFill) {
    case EPortFill::AllViews:
      record.dwPort = dwPort;
      record.dwValue = dwValue;
      record.byPort = static_cast<uint8_t>(dwPort);
      record.byValue = static_cast<uint8_t>(dwValue);
      record.wValue = static_cast<uint16_t>(dwValue);
      break;
    case EPortFill::ByteOut:
      record.byValue = static_cast<uint8_t>(dwValue);
      break;
    case EPortFill::ByteIn:
      break;
  }
  return record;
}

bool IsPortAccessSize(int nSize) { return nSize == 1 || nSize == 2 || nSize == 4; }

bool PortReplyValue(const mirel::SPortRecord& reply, uint8_t bySize, uint32_t* pdwValue) {
  switch (bySize) {
    case 1:
      *pdwValue = reply.byValue;
      return true;
    case 2:
      *pdwValue = reply.wValue;
      return true;
    case 4:
      *pdwValue = reply.dwValue;
      return true;
    default:
      return false;
  }
}
