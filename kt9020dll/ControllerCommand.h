// The controller command protocol: which commands exist, how many data
// bytes each sends and expects back, and the 259-byte command record that
// carries one command to the driver (request codes in MirelIoctl.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/MirelIoctl.h"

// How a command uses the caller's count argument.
enum class ECountUse : uint8_t {
  None,
  ReplyLength,  // 0x1A: the count is sent as one data byte and that many bytes come back
  DataLength,   // 0x2A: a count byte, then that many data bytes, are sent
};

struct SControllerCommand {
  uint8_t byCode;
  uint8_t byDataSent;      // data bytes after the address (without the count of 0x2A)
  uint8_t byDataReturned;  // reply data bytes (0x1A: the count instead)
  ECountUse eCount;
};

// Every command the controller understands, in code order.
extern const SControllerCommand g_aControllerCommands[];
extern const size_t g_nControllerCommands;

const SControllerCommand* FindControllerCommand(int nCommand);

// Largest count of 0x2A: the count byte and the data must fit the record
// after the address, and the request length byte (count + 3) must fit a byte.
constexpr uint32_t kMaxWriteBlock = mirel::kCommandRecordSize - mirel::kRecData - 1;
static_assert(kMaxWriteBlock + 3 <= 0xFF, "request length fits its byte");

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
