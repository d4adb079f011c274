// Requests of the AMI BIOS's drivers (and of the simulated bench that
// stands in for them): "HwIOctl" (I/O ports and the BIOS's SMI flash
// interface), "Memctl" (physical memory mappings) and the memory device
// (shared buffers; Memctl on the NT family, the AMI VxD on 9x), plus the
// facts of the BIOS segment the engine reads. Shared by the AMI engine, the
// bench and its kernel drivers, so it is freestanding C++: constants,
// fixed-size records and inline helpers, no standard library.
//
// Addresses of the caller's memory travel as pointer-sized fields: 4 bytes
// in the shipped 32-bit program, as its drivers expect, 8 in the 64-bit
// build of the same sources that the tests run. Physical addresses, sizes
// and ids are 32-bit everywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace ami {

// CTL_CODE(type, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t Code(uint32_t type, uint32_t function) { return (type << 16) | (function << 2); }
constexpr uint32_t kDeviceType = 0x22;       // HwIOctl and the memory device
constexpr uint32_t kMapDeviceType = 0x8000;  // Memctl's two mapping requests

// ------------------------------------------------------------ HwIOctl --

// Port reads: in u32 (port in the low 16 bits), out u32 value.
constexpr uint32_t kReadPortByte = Code(kDeviceType, 0x8D00);
constexpr uint32_t kReadPortWord = Code(kDeviceType, 0x8D01);
constexpr uint32_t kReadPortDword = Code(kDeviceType, 0x8D02);
// Port writes: in SPortWrite, no output.
constexpr uint32_t kWritePortByte = Code(kDeviceType, 0x8D10);
constexpr uint32_t kWritePortWord = Code(kDeviceType, 0x8D11);
constexpr uint32_t kWritePortDword = Code(kDeviceType, 0x8D12);
// SMI calls: in the 24-byte SSmiRequest, out u32 status. Mode 0 runs the
// flash interface, mode 1 writes a CMOS location (transfer-size field).
constexpr uint32_t kCallSmi = Code(kDeviceType, 0x8D30);
constexpr uint32_t kCallSmiCmos = Code(kDeviceType, 0x8D31);

static_assert(kReadPortByte == 0x223400u, "request code");
static_assert(kReadPortDword == 0x223408u, "request code");
static_assert(kWritePortByte == 0x223440u, "request code");
static_assert(kWritePortDword == 0x223448u, "request code");
static_assert(kCallSmi == 0x2234C0u, "request code");
static_assert(kCallSmiCmos == 0x2234C4u, "request code");

struct SPortWrite {
  uint32_t dwPort;  // low 16 bits used
  uint32_t dwValue;
};
static_assert(sizeof(SPortWrite) == 8, "port write record");

// The SMI flash interface's request block, little-endian.
struct SSmiRequest {
  uint16_t wFunction;    // low byte kSmiCommand, high byte the sub-function
  uint16_t wPort;        // the SMI port from "$SFI"
  uint32_t dwSize;       // transfer size (4096), the sequence status for a close, else 0
  uint32_t dwRemaining;  // bytes of the transfer still to go
  uint32_t dwBuffer;     // physical address of the shared 4096-byte buffer
  uint32_t dwResult1;    // set to 1 before the call on NT; the call's first result
  uint32_t dwResult2;    // likewise for a second result
};
static_assert(sizeof(SSmiRequest) == 24, "SMI request block");
static_assert(offsetof(SSmiRequest, dwBuffer) == 12, "SMI request block");

constexpr uint8_t kSmiCommand = 0x88;
constexpr uint16_t kSmiGetInfo = 0x0088;
constexpr uint16_t kSmiErase = 0x0188;
constexpr uint16_t kSmiProgram = 0x0288;
constexpr uint16_t kSmiRead = 0x0388;
constexpr uint16_t kSmiClose = 0x0588;
constexpr uint16_t kSmiOpen = 0x0688;
constexpr uint32_t kBlockSize = 4096;  // bytes per read, erase and program
// The first 20 bytes of the get-information reply are kept by the engine.
constexpr uint32_t kInfoBytes = 20;
// Low 12 bits of an SMI status: an error code (0 = success).
constexpr uint32_t kStatusErrorMask = 0x0FFF;
// A busy interface echoes the function word; it is sent again after 1 ms,
// at most this many sends in all.
constexpr int kMaxSmiSends = 1000;

// The SMI call's reply (both modes). An output buffer of 4 bytes receives
// the u32 status alone; for get-information that status is the result the
// request asks for: Result 2 when its field is 1, else Result 1 (so the NT
// program sends it twice, Result 1 = 1 first, then Result 2 = 1). One of kSmiReplyBytes or more
// receives the request block written back: the u32 status in bytes 0-3 (over wFunction and wPort),
// dwResult1 and dwResult2 filled, the other fields as sent; so a caller may pass the same block as
// input and output, as METHOD_BUFFERED drivers share one system buffer, and read the status at
// offset 0 either way.
constexpr uint32_t kSmiStatusBytes = 4;
constexpr uint32_t kSmiReplyBytes = sizeof(SSmiRequest);
// An open's status is the sequence handle: non-zero, its low 12 bits 0.
// The close sends it back in dwSize; a close with another value fails.
constexpr uint32_t kHandleMask = 0xF000;

// The information record get-information writes at the start of the shared
// buffer (the first kInfoBytes); Result 1 is the boot-block size and
// Result 2 the NvRam size in bytes, both areas ending at the ROM's end.
struct SInfoRecord {
  uint32_t dwRomSize;       // bytes
  uint32_t adwReserved[4];  // 0
};
static_assert(sizeof(SInfoRecord) == kInfoBytes, "information record");

// ------------------------------------------------------------- Memctl --

// Maps physical memory into the caller: in SMapRequest, out the user
// address (pointer-sized); unmap: in the user address.
constexpr uint32_t kMapPhysical = Code(kMapDeviceType, 0xD20);
constexpr uint32_t kUnmapPhysical = Code(kMapDeviceType, 0xD21);
static_assert(kMapPhysical == 0x80003480u, "request code");
static_assert(kUnmapPhysical == 0x80003484u, "request code");

struct SMapRequest {
  uint32_t dwType;  // 1: physical memory
  uint32_t dwReserved1;
  uint32_t dwPhysical;
  uint32_t dwReserved2;
  uint32_t dwReserved3;
  uint32_t dwLength;
};
static_assert(sizeof(SMapRequest) == 24, "mapping request");

// ------------------------------------------------------ memory device --

// Shared buffers: allocate (in u32 size, out SBufferRecord), free (in the
// record's user address), physical address (in u32 id, out u32) and a copy
// between the caller's buffers and a shared one (NT only, in SCopyRequest).
constexpr uint32_t kAllocBuffer = Code(kDeviceType, 0x8A01);
constexpr uint32_t kFreeBuffer = Code(kDeviceType, 0x8A02);
constexpr uint32_t kBufferPhysical = Code(kDeviceType, 0x8A03);
constexpr uint32_t kCopyMemory = Code(kDeviceType, 0x8A06);
static_assert(kAllocBuffer == 0x222804u, "request code");
static_assert(kFreeBuffer == 0x222808u, "request code");
static_assert(kBufferPhysical == 0x22280Cu, "request code");
static_assert(kCopyMemory == 0x222818u, "request code");

struct SBufferRecord {
  uintptr_t pUser;  // the buffer in the caller's address space
  uintptr_t nId;    // 32-bit id, pointer-sized to keep the record's layout
};
static_assert(sizeof(SBufferRecord) == 2 * sizeof(void*), "buffer record");

struct SCopyRequest {
  uintptr_t pDestination;
  uintptr_t pSource;
  uintptr_t nLength;
};
static_assert(sizeof(SCopyRequest) == 3 * sizeof(void*), "copy request");

// The program keeps at most this many shared buffers.
constexpr int kMaxBufferSlots = 50;

// ------------------------------------------------- the BIOS segment --

constexpr uint32_t kSegmentAddress = 0xF0000;
constexpr uint32_t kSegmentMapLength = 0xFFFF;  // what the engine asks Memctl to map
constexpr uint32_t kSegmentSize = 0x10000;
constexpr uint32_t kSignatureOffset = 0xF400;  // "AMIBIOS"
constexpr uint32_t kIdentity1Offset = 0xF408;  // 6 characters
constexpr uint32_t kRomTypeOffset = 0xF479;    // one character
constexpr uint32_t kDateOffset = 0xFFF5;       // 9 characters (date and terminator)
constexpr char kSignature[] = "AMIBIOS";       // 7 characters compared
constexpr char kSfiMarker[] = "$SFI";          // SMI port at +4, "$SFP" at +6
constexpr char kSfpMarker[] = "$SFP";
constexpr char kTagMarker[] = "_TG_";  // model (5) and tag text (8) at +4, revision (2) at +10
constexpr uint32_t kSfiPortOffset = 4;
constexpr uint32_t kSfiSfpOffset = 6;
constexpr uint32_t kTagModelOffset = 4;
constexpr uint32_t kTagRevisionOffset = 10;
constexpr uint16_t kUnknownPort = 0xFFFF;

// CMOS locations a "clear CMOS" sets to 0xFF.
constexpr uint8_t kClearCmosLocations[] = {174, 175, 190, 191};

// The Windows 9x family: the VxD, and the registers of a direct SMI.
constexpr char kVxdName[] = "\\\\.\\AMI9XVXD.VXD";
constexpr uint32_t kDirectSmiEaxBase = 0x00010000;  // + function word
constexpr uint32_t kDirectSmiEbx = 0x24534649;      // "$SFI" read as a little-endian dword
// The rest of a direct SMI: CX = dwSize, ESI = dwBuffer, EDI = dwRemaining;
// afterwards AX = the status, EBX = Result 1, ECX = Result 2.
constexpr uint16_t kDelayPort = 0xED;

}  // namespace ami
