// The 259-byte command record that carries one controller command to the
// driver: built from the caller's arguments with the lengths of the
// controller's command table (protocol/MirelCommands.h; request codes and
// record offsets in protocol/MirelIoctl.h), and the reply length read back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/MirelCommands.h"
#include "protocol/MirelIoctl.h"

// Largest count of a block write (0x2A), in data bytes: the count byte and
// the data must fit the record after the address.
constexpr uint32_t kMaxWriteBlock = mirel::kMaxWriteCount;

// Data bytes the command sends after the address (the count byte of 0x1A
// included). False for an unknown command or a 0x2A count that does not fit.
bool GetCommandInputDataLength(int nCommand, int nCount, uint32_t* pnLength);
// Reply data bytes the command asks for. False for an unknown command.
bool GetCommandOutputDataLength(int nCommand, int nCount, uint32_t* pnLength);

struct SCommandRecord {
  uint8_t aby[mirel::kCommandRecordSize];
};

// Fills the zeroed record for one command: code, request and reply lengths,
// address (16 bits, high byte first), then the count byte and/or data.
// pData supplies the data bytes of write commands (zeros when null).
// False, with the record untouched, for an unknown command or bad count.
bool BuildCommandRecord(int nCommand, int nAddress, int nCount, const void* pData,
                        SCommandRecord* pRecord);

enum class EReply {
  Data,     // *pnLength reply data bytes follow at kRecReplyData
  Timeout,  // the driver's handshake with the controller timed out
};

// Reads the reply length of a reply record.
EReply ParseCommandReply(const SCommandRecord& reply, uint32_t* pnLength);
