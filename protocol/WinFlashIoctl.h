// Requests understood by the WinFlash driver (and by the simulated bench that
// stands in for it). Shared by the Award engine, the bench and its kernel
// driver build, so it is freestanding C++:
// constants, fixed-size records and inline helpers, no standard library.
#pragma once

#include <stdint.h>

#include "protocol/X86Registers.h"

namespace winflash {

// Device type 0x22 (FILE_DEVICE_UNKNOWN), METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr uint32_t Code(uint32_t function) { return 0x220000u + function * 4u; }

constexpr uint32_t kReadPhysical = Code(0x800);  // in u32 address, out 65536 bytes
constexpr uint32_t kSetSmiPort = Code(0x801);    // in u16 port
constexpr uint32_t kSmiControl = Code(0x802);    // in u16 function, out 16 bytes
constexpr uint32_t kSetAddress = Code(0x804);    // in u32 flash address
constexpr uint32_t kReadNext = Code(0x806);      // out 16 bytes, address advances
constexpr uint32_t kProgramNext = Code(0x807);   // in 16 bytes, out 4 bytes
constexpr uint32_t kEraseBlock = Code(0x808);    // in u32 address, u32 length; out u32 status
constexpr uint32_t kWritePort = Code(0x80C);     // in u16 port, u16 value

static_assert(kReadPhysical == 0x222000u, "request code");
static_assert(kSmiControl == 0x222008u, "request code");
static_assert(kSetAddress == 0x222010u, "request code");
static_assert(kReadNext == 0x222018u, "request code");
static_assert(kProgramNext == 0x22201Cu, "request code");
static_assert(kEraseBlock == 0x222020u, "request code");
static_assert(kWritePort == 0x222030u, "request code");

constexpr uint32_t kSegmentAddress = 0xF0000u;
constexpr uint32_t kSegmentSize = 65536u;
constexpr uint32_t kChunk = 16u;  // bytes per read/program request

// SMI flash-control functions (request kSmiControl, direct-mode AH).
constexpr uint16_t kSmiQuery = 0;
constexpr uint16_t kSmiBeginFlash = 2;
constexpr uint16_t kSmiEndFlash = 3;
constexpr uint16_t kDefaultSmiPort = 0x0080;

// Direct-mode AL codes written to the SMI port.
constexpr uint8_t kSmiAlFlashControl = 0x2E;
constexpr uint8_t kSmiAlRead = 0x28;
constexpr uint8_t kSmiAlProgram = 0x2F;
constexpr uint8_t kSmiAlErase = 0x29;

constexpr uint16_t kCmosIndexPort = 0x70;
constexpr uint16_t kCmosDataPort = 0x71;

// Direct mode: register images of the three flash SMIs (AL = the code, DX =
// the SMI port, set by the port implementation). Built and parsed only here.
inline uint32_t LoadU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
// Flash control: AL = 0x2E, AH = function; AL afterwards is the result.
inline void SmiControlRegs(SX86Registers* r, uint16_t wFunction) {
  *r = SX86Registers{};
  r->dwEax = kSmiAlFlashControl | static_cast<uint32_t>((wFunction & 0xFF) << 8);
}
// Read 16 bytes at ESI; the handler returns them in EAX, ECX, EDX, EBX.
inline void SmiReadRegs(SX86Registers* r, uint32_t dwAddress) {
  *r = SX86Registers{};
  r->dwEax = kSmiAlRead;
  r->dwEsi = dwAddress;
}
inline void SmiReadResult(const SX86Registers& r, uint8_t* pData16) {
  StoreU32(pData16, r.dwEax);
  StoreU32(pData16 + 4, r.dwEcx);
  StoreU32(pData16 + 8, r.dwEdx);
  StoreU32(pData16 + 12, r.dwEbx);
}
// Program 16 bytes at EDI. Dwords 0, 1 and 3 ride in EBX, ECX and ESI; the
// third is split because AX carries the command and DX the port: its low
// word goes into the high word of EAX, its high word into the high word of
// EDX. AX afterwards is the status.
inline void SmiProgramRegs(SX86Registers* r, uint32_t dwAddress, const uint8_t* pData16) {
  uint32_t dwThird = LoadU32(pData16 + 8);
  *r = SX86Registers{};
  r->dwEdi = dwAddress;
  r->dwEbx = LoadU32(pData16);
  r->dwEcx = LoadU32(pData16 + 4);
  r->dwEax = kSmiAlProgram | (dwThird << 16);
  r->dwEdx = dwThird & 0xFFFF0000u;
  r->dwEsi = LoadU32(pData16 + 12);
}
inline void SmiProgramData(const SX86Registers& r, uint8_t* pData16) {
  StoreU32(pData16, r.dwEbx);
  StoreU32(pData16 + 4, r.dwEcx);
  StoreU32(pData16 + 8, (r.dwEax >> 16) | (r.dwEdx & 0xFFFF0000u));
  StoreU32(pData16 + 12, r.dwEsi);
}
// Erase the block at EDI of ECX bytes; AX afterwards is the status.
inline void SmiEraseRegs(SX86Registers* r, uint32_t dwAddress, uint32_t dwLength) {
  *r = SX86Registers{};
  r->dwEax = kSmiAlErase;
  r->dwEdi = dwAddress;
  r->dwEcx = dwLength;
}

// Status of an erase or program: the low byte is what the engine keeps.
// 0 = done; a write-protected range answers with its own code.
constexpr uint32_t kStatusOk = 0;
constexpr uint32_t kStatusProtected = 0xA0;     // flash ROM write-protected
constexpr uint32_t kStatusFwhProtected = 0xA2;  // firmware hub lockout

#pragma pack(push, 1)
struct SEraseRequest {
  uint32_t dwAddress;
  uint32_t dwLength;
};
struct SPortRequest {
  uint16_t wPort;
  uint16_t wValue;
};
#pragma pack(pop)
static_assert(sizeof(SEraseRequest) == 8, "layout");
static_assert(sizeof(SPortRequest) == 4, "layout");

}  // namespace winflash
