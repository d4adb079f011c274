#include "kt9020dll/ControllerCommand.h"

#include <cstring>

#include "platform/ByteView.h"

// clang-format off
const SControllerCommand g_aControllerCommands[] = {
    // code  sent returned  count
    {0x11,   0,   1,        ECountUse::None},         // read one byte
    {0x12,   0,   2,        ECountUse::None},
    {0x13,   0,   3,        ECountUse::None},
    {0x14,   0,   4,        ECountUse::None},
    {0x15,   0,   5,        ECountUse::None},
    {0x16,   0,   6,        ECountUse::None},
    {0x17,   0,   7,        ECountUse::None},
    {0x18,   0,   8,        ECountUse::None},         // read eight bytes
    {0x1A,   1,   0,        ECountUse::ReplyLength},  // read a block of count bytes
    {0x20,   0,   1,        ECountUse::None},         // touch an address (presence test)
    {0x21,   1,   1,        ECountUse::None},         // write one byte
    {0x22,   2,   1,        ECountUse::None},
    {0x23,   3,   1,        ECountUse::None},
    {0x24,   4,   1,        ECountUse::None},
    {0x25,   5,   1,        ECountUse::None},
    {0x26,   6,   1,        ECountUse::None},
    {0x27,   7,   1,        ECountUse::None},
    {0x28,   8,   1,        ECountUse::None},         // write eight bytes
    {0x2A,   0,   1,        ECountUse::DataLength},   // write a block of count bytes
};
// clang-format on
const size_t g_nControllerCommands =
    sizeof(g_aControllerCommands) / sizeof(g_aControllerCommands[0]);

const SControllerCommand* FindControllerCommand(int nCommand) {
  for (size_t i = 0; i < g_nControllerCommands; ++i)
    if (g_aControllerCommands[i].byCode == nCommand) return &g_aControllerCommands[i];
  return nullptr;
}

bool GetCommandInputDataLength(int nCommand, int nCount, uint32_t* pnLength) {
  const SControllerCommand* pCommand = FindControllerCommand(nCommand);
  if (!pCommand) return false;
  if (pCommand->eCount == ECountUse::DataLength) {
    if (nCount < 0 || static_cast<uint32_t>(nCount) > kMaxWriteBlock) return false;
    *pnLength = static_cast<uint32_t>(nCount);
  } else {
    *pnLength = pCommand->byDataSent;
  }
  return true;
}

bool GetCommandOutputDataLength(int nCommand, int nCount, uint32_t* pnLength) {
  const SControllerCommand* pCommand = FindControllerCommand(nCommand);
  if (!pCommand) return false;
  // The block read's count travels as one byte: only its low byte counts.
  *pnLength = pCommand->eCount == ECountUse::ReplyLength ? static_cast<uint8_t>(nCount)
                                                         : pCommand->byDataReturned;
  return true;
}

bool BuildCommandRecord(int nCommand, int nAddress, int nCount, const void* pData,
                        SCommandRecord* pRecord) {
  uint32_t nSent = 0, nReturned = 0;
  if (!GetCommandInputDataLength(nCommand, nCount, &nSent) ||
      !GetCommandOutputDataLength(nCommand, nCount, &nReturned))
    return false;
  const SControllerCommand* pCommand = FindControllerCommand(nCommand);
  uint8_t* p = pRecord->aby;
  std::memset(p, 0, sizeof(pRecord->aby));
  p[mirel::kRecCommand] = static_cast<uint8_t>(nCommand);
  // The request length counts the two address bytes (and the count byte of 0x2A).
  p[mirel::kRecRequestLength] =
      static_cast<uint8_t>(nSent + 2 + (pCommand->eCount == ECountUse::DataLength ? 1 : 0));
  p[mirel::kRecReplyLength] = static_cast<uint8_t>(nReturned);
  p[mirel::kRecAddressHigh] = static_cast<uint8_t>(nAddress >> 8);
  p[mirel::kRecAddressLow] = static_cast<uint8_t>(nAddress);
  uint8_t* pOut = p + mirel::kRecData;
  switch (pCommand->eCount) {
    case ECountUse::ReplyLength:
      *pOut = static_cast<uint8_t>(nCount);
      return true;
    case ECountUse::DataLength:
      *pOut++ = static_cast<uint8_t>(nCount);
      break;
    case ECountUse::None:
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
