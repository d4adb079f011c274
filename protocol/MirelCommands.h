// The Mirel controller's command set: every command code the controller
// understands, how many data bytes follow the 16-bit address in the command
// record and how many reply data bytes come back. The library builds its
// records from this table (kt9020dll/ControllerCommand.cpp) and the bench
// checks and answers them from it (sim/SimMirelController.cpp, which is also
// built into a kernel driver), so the header is freestanding C++: constants
// and constexpr functions, no standard library, no exceptions.
//
// The table checks itself at compile time (static_asserts at the end): codes
// in rising order (hence unique), every fixed length inside the 259-byte
// record, block commands with the shape their count needs.
#pragma once

#include <stdint.h>

#include "protocol/MirelIoctl.h"

namespace mirel {

// How a command uses the caller's count (the third argument of GetAIP and
// SetAIP).
enum class ECountUse : uint8_t {
  None,         // the count is ignored
  ReplyLength,  // block read: the count travels as the one data byte and
                // that many bytes come back
  DataLength,   // block write: a count byte, then that many data bytes
};

struct SCommand {
  uint8_t byCode;          // command code, byte +0 of the record
  uint8_t byDataSent;      // bytes after the address (data, or a block read's
                           // count byte); 0 for a block write, whose count decides
  uint8_t byDataReturned;  // reply data bytes; 0 for a block read, whose count decides
  ECountUse eCount;
  bool bStores;  // the data sent is stored in controller memory at the address
};

// Reads answer the bytes at the address; writes answer one status byte
// (0x00, accepted). 0x20 reads one byte only to see that the controller
// answers at all.
// clang-format off
inline constexpr SCommand kCommands[] = {
    // read 1 to 8 bytes
    {.byCode = 0x11, .byDataSent = 0, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = false},
    {.byCode = 0x12, .byDataSent = 0, .byDataReturned = 2, .eCount = ECountUse::None, .bStores = false},
    {.byCode = 0x13, .byDataSent = 0, .byDataReturned = 3, .eCount = ECountUse::None, .bStores = false},
    {.byCode = 0x14, .byDataSent = 0, .byDataReturned = 4, .eCount = ECountUse::None, .bStores = false},
    {.byCode = 0x15, .byDataSent = 0, .byDataReturned = 5, .eCount = ECountUse::None, .bStores = false},
    {.byCode = 0x16, .byDataSent = 0, .byDataReturned = 6, .eCount = ECountUse::None, .bStores = false},
    {.byCode = 0x17, .byDataSent = 0, .byDataReturned = 7, .eCount = ECountUse::None, .bStores = false},
    {.byCode = 0x18, .byDataSent = 0, .byDataReturned = 8, .eCount = ECountUse::None, .bStores = false},
    // read a block of count bytes
    {.byCode = 0x1A, .byDataSent = 1, .byDataReturned = 0, .eCount = ECountUse::ReplyLength, .bStores = false},
    // touch an address (presence test)
    {.byCode = 0x20, .byDataSent = 0, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = false},
    // write 1 to 8 bytes
    {.byCode = 0x21, .byDataSent = 1, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    {.byCode = 0x22, .byDataSent = 2, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    {.byCode = 0x23, .byDataSent = 3, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    {.byCode = 0x24, .byDataSent = 4, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    {.byCode = 0x25, .byDataSent = 5, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    {.byCode = 0x26, .byDataSent = 6, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    {.byCode = 0x27, .byDataSent = 7, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    {.byCode = 0x28, .byDataSent = 8, .byDataReturned = 1, .eCount = ECountUse::None, .bStores = true},
    // write a block of count bytes
    {.byCode = 0x2A, .byDataSent = 0, .byDataReturned = 1, .eCount = ECountUse::DataLength, .bStores = true},
};
// clang-format on
inline constexpr uint32_t kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]);

constexpr uint8_t kCmdReadCount = 0x1A;
constexpr uint8_t kCmdProbe = 0x20;
constexpr uint8_t kCmdWriteCount = 0x2A;

// Largest count of a block write: the count byte and the data fill the
// record after the address (252 data bytes).
constexpr uint32_t kMaxWriteCount = kCommandRecordSize - kRecData - 1;

// The row of a command code: its index in kCommands, -1 for a code the
// controller does not know. Takes an int because callers pass the
// library's int argument unchecked.
constexpr int CommandIndex(int nCode) {
  for (uint32_t i = 0; i < kCommandCount; ++i)
    if (kCommands[i].byCode == nCode) return static_cast<int>(i);
  return -1;
}
constexpr const SCommand* FindCommand(int nCode) {
  const int i = CommandIndex(nCode);
  return i < 0 ? nullptr : &kCommands[i];
}

// Data bytes a command sends after the address, the count byte of a block
// write not included (bytes), and the reply data bytes it expects, for the
// count byte as it travels in the record. False for an unknown command.
// (Indices rather than pointers: the sanitizer builds cannot evaluate a
// pointer test in a constant expression.)
constexpr bool CommandLengths(uint8_t byCommand, uint8_t byCount, uint32_t* pnSend,
                              uint32_t* pnReply) {
  const int i = CommandIndex(byCommand);
  if (i < 0) return false;
  const SCommand& command = kCommands[i];
  *pnSend = command.eCount == ECountUse::DataLength ? byCount : command.byDataSent;
  *pnReply = command.eCount == ECountUse::ReplyLength ? byCount : command.byDataReturned;
  return true;
}

// The request length byte (+2 of the record): the two address bytes, the
// count byte of a block write, then nSend data bytes.
constexpr uint32_t RequestLength(uint8_t byCommand, uint32_t nSend) {
  const int i = CommandIndex(byCommand);
  return nSend + 2u + (i >= 0 && kCommands[i].eCount == ECountUse::DataLength ? 1u : 0u);
}

// ------------------------------------------------------------ self-check --

namespace detail {

constexpr bool CodesRiseStrictly() {
  for (uint32_t i = 1; i < kCommandCount; ++i)
    if (kCommands[i - 1].byCode >= kCommands[i].byCode) return false;
  return true;
}

// Fixed lengths fit the record: data after the address, reply data after
// the reply length byte.
constexpr bool FixedLengthsFitTheRecord() {
  for (const SCommand& c : kCommands)
    if (kRecData + c.byDataSent > kCommandRecordSize ||
        kRecReplyData + c.byDataReturned > kCommandRecordSize)
      return false;
  return true;
}

// A block read sends exactly its count byte and stores nothing; a block
// write's length is its count alone; everything that stores answers one
// status byte.
constexpr bool BlockRowsHaveTheirShape() {
  for (const SCommand& c : kCommands) {
    if (c.eCount == ECountUse::ReplyLength && (c.byDataSent != 1 || c.byDataReturned || c.bStores))
      return false;
    if (c.eCount == ECountUse::DataLength && (c.byDataSent || !c.bStores)) return false;
    if (c.bStores && c.byDataReturned != 1) return false;
  }
  return true;
}

}  // namespace detail

static_assert(detail::CodesRiseStrictly(), "command codes in rising order, each once");
static_assert(detail::FixedLengthsFitTheRecord(), "fixed lengths fit the command record");
static_assert(detail::BlockRowsHaveTheirShape(), "block commands shaped for their count");
static_assert(kCommands[CommandIndex(kCmdReadCount)].eCount == ECountUse::ReplyLength &&
                  kCommands[CommandIndex(kCmdWriteCount)].eCount == ECountUse::DataLength &&
                  kCommands[CommandIndex(kCmdProbe)].byDataReturned == 1,
              "named commands are in the table, as their names say");
// The largest block write fills the record exactly and its request length
// (count + 3) still fits its byte; the largest block read (count 255)
// fits the reply after the reply length byte, although its reply length
// 0xFF is the driver's timeout mark (kReplyTimeout): a reader cannot tell
// the two apart, so 254 bytes is the largest block read that succeeds.
static_assert(kRecData + 1 + kMaxWriteCount == kCommandRecordSize, "block write fills the record");
static_assert(RequestLength(kCmdWriteCount, kMaxWriteCount) <= 0xFF,
              "request length fits its byte");
static_assert(kRecReplyData + 0xFF <= kCommandRecordSize, "largest block read fits the reply");

}  // namespace mirel
