// Requests understood by the WinFlash driver (and by the simulated bench that
// stands in for it). Shared by the Award engine, the bench and its kernel
// driver build, so it stays plain C-compatible: no standard library.
#pragma once

#include <stdint.h>

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

// Registers of a direct-mode SMI call (OUT of AL to the SMI port). Built and
// taken apart only by the helpers below, which the engine and the bench share.
struct SSmiRegisters {
  uint32_t dwEax;
  uint32_t dwEbx;
  uint32_t dwEcx;
  uint32_t dwEdx;
  uint32_t dwEsi;
  uint32_t dwEdi;
};

inline uint32_t LoadLe32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

// Read of 16 bytes: the handler returns them in EAX, ECX, EDX, EBX (in that
// byte order).
inline void UnpackReadReply(const SSmiRegisters& regs, uint8_t* pData16) {
  StoreLe32(pData16, regs.dwEax);
  StoreLe32(pData16 + 4, regs.dwEcx);
  StoreLe32(pData16 + 8, regs.dwEdx);
  StoreLe32(pData16 + 12, regs.dwEbx);
}
inline void PackReadReply(const uint8_t* pData16, SSmiRegisters* pRegs) {
  pRegs->dwEax = LoadLe32(pData16);
  pRegs->dwEcx = LoadLe32(pData16 + 4);
  pRegs->dwEdx = LoadLe32(pData16 + 8);
  pRegs->dwEbx = LoadLe32(pData16 + 12);
}

// Program of 16 bytes at EDI: dwords 0, 1 and 3 in EBX, ECX and ESI; AL
// carries the command, so the third dword is split: its low word travels in
// the high word of EAX, its high word in the high word of EDX.
inline void PackProgramRequest(uint32_t dwAddress, const uint8_t* pData16, SSmiRegisters* pRegs) {
  const uint32_t dwThird = LoadLe32(pData16 + 8);
  pRegs->dwEdi = dwAddress;
  pRegs->dwEbx = LoadLe32(pData16);
  pRegs->dwEcx = LoadLe32(pData16 + 4);
  pRegs->dwEdx = dwThird & 0xFFFF0000u;
  pRegs->dwEax = (dwThird << 16) | kSmiAlProgram;
  pRegs->dwEsi = LoadLe32(pData16 + 12);
}
inline void UnpackProgramRequest(const SSmiRegisters& regs, uint8_t* pData16) {
  StoreLe32(pData16, regs.dwEbx);
  StoreLe32(pData16 + 4, regs.dwEcx);
  StoreLe32(pData16 + 8, (regs.dwEdx & 0xFFFF0000u) | (regs.dwEax >> 16));
  StoreLe32(pData16 + 12, regs.dwEsi);
}

}  // namespace winflash
