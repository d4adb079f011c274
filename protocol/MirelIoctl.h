// Requests understood by the Mirel controller driver (and by the simulated
// bench that stands in for it), the command record's layout and the
// controller's addresses; the controller's commands are in MirelCommands.h.
// Shared by the library, the bench and its kernel driver build, so it is
// freestanding C++: constants and fixed-size records, no standard library.
#pragma once

#include <stdint.h>

namespace mirel {

constexpr uint32_t Code(uint32_t function) { return 0x220000u + function * 4u; }

constexpr uint32_t kReadMsr = Code(0x801);       // in u32 index, out 8 bytes
constexpr uint32_t kWriteMsr = Code(0x802);      // in u32 index, low, high
constexpr uint32_t kGetAip = Code(0x803);        // in/out 259-byte command record
constexpr uint32_t kSetAip = Code(0x804);        // in/out 259-byte command record
constexpr uint32_t kInPortB = Code(0x805);       // in/out 20-byte port record
constexpr uint32_t kOutPortB = Code(0x806);      // in/out 20-byte port record
constexpr uint32_t kReadPortVal = Code(0x807);   // in/out 20-byte port record
constexpr uint32_t kWritePortVal = Code(0x808);  // in/out 20-byte port record

static_assert(kReadMsr == 0x222004u, "request code");
static_assert(kGetAip == 0x22200Cu, "request code");
static_assert(kWritePortVal == 0x222020u, "request code");

constexpr uint32_t kCommandRecordSize = 259;
constexpr uint8_t kReplyTimeout = 0xFF;  // reply length byte: the controller did not answer

// Command record offsets.
constexpr uint32_t kRecCommand = 0;
constexpr uint32_t kRecRequestLength = 2;  // data length + 2 (+3 for a block write)
constexpr uint32_t kRecReplyLength = 3;    // expected reply data length / reply length
constexpr uint32_t kRecAddressHigh = 4;
constexpr uint32_t kRecAddressLow = 5;
constexpr uint32_t kRecData = 6;       // request data (after the address)
constexpr uint32_t kRecReplyData = 4;  // reply data

// Controller addresses.
constexpr uint16_t kAddrReferenceClock = 0x0104;
constexpr uint16_t kAddrBaseVid = 0x0106;
constexpr uint16_t kAddrLiveFlags = 0x0212;
constexpr uint16_t kAddrVoltageRecord = 0x0302;
constexpr uint32_t kVoltageRecordSize = 49;
constexpr uint16_t kAddrClockRecord = 0x036F;
constexpr uint32_t kClockRecordSize = 51;
constexpr uint16_t kAddrBoardCode = 0x090A;
constexpr uint16_t kAddrCounters = 0x090D;
constexpr uint32_t kCountersSize = 12;
constexpr uint16_t kAddrProfileSelect = 0x100B;
constexpr uint16_t kAddrProfileCommit = 0x100C;
constexpr uint32_t kProfiles = 7;

constexpr uint16_t kCommandPort = 0xE4;
constexpr uint16_t kDataPort = 0xE0;

#pragma pack(push, 1)
struct SPortRecord {
  uint8_t bySize;  // 1, 2 or 4; echoed in the reply
  uint8_t abyPad[3];
  uint32_t dwPort;
  uint32_t dwValue;
  uint8_t byPort;
  uint8_t byValue;
  uint16_t wPort;
  uint16_t wValue;
  uint8_t abyUnused[2];
};
struct SMsrWrite {
  uint32_t dwIndex;
  uint32_t dwLow;
  uint32_t dwHigh;
};
#pragma pack(pop)
static_assert(sizeof(SPortRecord) == 20, "layout");
static_assert(sizeof(SMsrWrite) == 12, "layout");

}  // namespace mirel
