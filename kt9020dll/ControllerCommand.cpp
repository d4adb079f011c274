#include "kt9020dll/ControllerCommand.h"

#include <cstring>

#include "platform/ByteView.h"

bool GetCommandInputDataLength(int nCommand, int nCount, uint32_t* pnLength) {
  const mirel::SCommand* pCommand = mirel::FindCommand(nCommand);
  if (!pCommand) return false;
  // A block write's count is its data length and must leave the record
  // whole; every other count travels (if at all) as one byte.
  if (pCommand->eCount == mirel::ECountUse::DataLength &&
      (nCount < 0 || static_cast<uint32_t>(nCount) > kMaxWriteBlock))
    return false;
  uint32_t nReply = 0;
  return mirel::CommandLengths(pCommand->byCode, static_cast<uint8_t>(nCount), pnLength, &nReply);
}

bool GetCommandOutputDataLength(int nCommand, int nCount, uint32_t* pnLength) {
  const mirel::SCommand* pCommand = mirel::FindCommand(nCommand);
  if (!pCommand) return false;
  // The block read's count travels as one byte: only its low byte counts.
  uint32_t nSend = 0;
  return mirel::CommandLengths(pCommand->byCode, static_cast<uint8_t>(nCount), &nSend, pnLength);
}

bool BuildCommandRecord(int nCommand, int nAddress, int nCount, const void* pData,
                        SCommandRecord* pRecord) {
  uint32_t nSent = 0, nReturned = 0;
  if (!GetCommandInputDataLength(nCommand, nCount, &nSent) ||
      !GetCommandOutputDataLength(nCommand, nCount, &nReturned))
    return false;
  const mirel::SCommand& command = *mirel::FindCommand(nCommand);
  uint8_t* p = pRecord->aby;
  std::memset(p, 0, sizeof(pRecord->aby));
  p[mirel::kRecCommand] = command.byCode;
  p[mirel::kRecRequestLength] = static_cast<uint8_t>(mirel::RequestLength(command.byCode, nSent));
  p[mirel::kRecReplyLength] = static_cast<uint8_t>(nReturned);
  p[mirel::kRecAddressHigh] = static_cast<uint8_t>(nAddress >> 8);
  p[mirel::kRecAddressLow] = static_cast<uint8_t>(nAddress);
  uint8_t* pOut = p + mirel::kRecData;
  switch (command.eCount) {
    case mirel::ECountUse::ReplyLength:
      *pOut = static_cast<uint8_t>(nCount);
      return true;
    case mirel::ECountUse::DataLength:
      *pOut++ = static_cast<uint8_t>(nCount);
      break;
    case mirel::ECountUse::None:
      break;
  }
  if (pData && nSent) std::memcpy(pOut, pData, nSent);
  return true;
}

EReply ParseCommandReply(const SCommandRecord& reply, uint32_t* pnLength) {
  CByteView view(reply.aby, sizeof(reply.aby));
  uint8_t byLength = 0;
  view.U8(mirel::kRecReplyLength, &byLength);
  if (byLength == mirel::kReplyTimeout) return EReply::Timeout;
  *pnLength = byLength;
  return EReply::Data;
}
