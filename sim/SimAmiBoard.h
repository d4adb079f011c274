// Simulated AMI board: the flash ROM (read, erased and programmed in 4 KB
// blocks through the BIOS's SMI flash interface), the running BIOS's F000
// segment, 256 bytes of CMOS, the shared buffers the SMI handler reads and
// writes, and the faults a real board can show. It answers the requests of
// the three drivers the AMI engine talks to (protocol/AmiIoctl.h):
// "HwIOctl" (ports, SMI calls), "Memctl" (physical mappings) and the memory
// device (shared buffers), plus the direct operations of the Windows 9x
// family (port OUT that raises the SMI with registers, physical reads).
//
// Kernel-safe: see sim/SimHost.h.
//
// Addresses handed to the caller ("user addresses" of mappings and shared
// buffers) are real pointers into the board's own memory: the in-process
// devices live in the caller's address space. Every address the caller
// sends back is checked against what the board handed out.
//
// HwIOctl requests:
//   0x223400/04/08 port read: in u32 port; out u32 value (1, 2 or 4 bytes
//            used, the rest 0). 0x71 reads CMOS[index & 0x7F], 0x73
//            CMOS[128 + (index & 0x7F)]; other ports read all ones.
//   0x223440/44/48 port write: in SPortWrite. 0x70/0x72 select the CMOS
//            index of the low/high bank (bit 7, the NMI mask, ignored),
//            0x71/0x73 write the byte; other ports are only logged.
//   0x2234C0 SMI call, flash interface: in SSmiRequest (24 bytes); out
//            either 4 bytes (u32 status) or 24 or more bytes: the request
//            block written back with the u32 status in bytes 0-3 (over the
//            function and port words) and dwResult1/dwResult2 filled. The
//            status's low 16 bits are the interface's AX; its low 12 bits an
//            error code (0: success). Functions (wFunction):
//              0x0088 get information: Result 1 = boot-block size, Result 2
//                     = NvRam size (bytes; both areas end at the ROM's end);
//                     the shared buffer at dwBuffer receives the 20-byte
//                     information record (ami::SInfoRecord, ROM size at +0).
//              0x0688 open a sequence: status = the sequence handle, bits
//                     12-15 (1..15, one more per open), low 12 bits 0.
//              0x0588 close: dwSize must hold the open's handle.
//              0x0388 read, 0x0188 erase, 0x0288 program the 4 KB block at
//                     ROM offset (ROM size - dwRemaining), from/into the
//                     shared buffer at dwBuffer (read and program). Only
//                     inside an open sequence. Programming ANDs the data into
//                     the flash (only clears bits), so a block that was not
//                     erased first reads back different.
//            A busy handler (fault) echoes the function word as the status
//            and does nothing.
//   0x2234C4 SMI call, CMOS: writes 0xFF to CMOS location dwSize (< 256);
//            same reply as 0x2234C0.
// Memctl requests:
//   0x80003480 map: in SMapRequest (type 1); out the address (pointer-sized)
//            of [dwPhysical, dwPhysical + dwLength) inside the F000 segment
//            (0xF0000..0xFFFFF) or inside one shared buffer; other ranges are
//            refused. At most kSimAmiMaxMappings at a time.
//   0x80003484 unmap: in an address a map returned.
// Memory device requests (Memctl on NT, the VxD on 9x):
//   0x222804 allocate: in u32 size (1 .. 64 KB); out SBufferRecord {address,
//            id}. Buffer n (0-based slot) sits at physical
//            kSimAmiBufferBase + n * kSimAmiBufferStride.
//   0x222808 free: in the address.
//   0x22280C physical address of an id: in u32 id; out u32 (0 for an
//            unknown id, or always 0 with the "no physical address" fault).
//   0x222818 copy (NT only): in SCopyRequest; one side must lie wholly
//            inside one shared buffer, the other must not touch board memory
//            other than shared buffers.
// Status codes of the flash interface are kSimAmi* below. Every request is
// logged (Log()), every SMI call with its status in SmiLog().
//
// Power cut (dwPowerCutAfter = n): the board answers n SMI calls (both
// paths, busy echoes included), then the power fails at the next one: from
// then on no request of any device is answered (kSimNotAnswering; the 9x
// operations return false) until the board is restored from its state.
// Everything written before the cut is in the state blob, and so is the
// cut itself: a board restored afterwards powers up normally. The count is
// of SMI calls because both builds see each of them (in the kernel driver,
// copies between the caller's memory and a shared buffer never reach the
// core), so a cut falls at the same point in-process and under Wine.
#pragma once

#include "protocol/AmiIoctl.h"
#include "protocol/X86Registers.h"
#include "sim/SimHost.h"

constexpr uint32_t kSimAmiCmosSize = 256;
constexpr uint32_t kSimAmiMaxBuffers = 50;          // the program's slot count
constexpr uint32_t kSimAmiMaxBufferSize = 0x10000;  // bytes per shared buffer
constexpr uint32_t kSimAmiBufferBase = 0x00200000;  // physical address of slot 0
constexpr uint32_t kSimAmiBufferStride = 0x10000;   // physical bytes per slot
constexpr uint32_t kSimAmiMaxMappings = 16;
constexpr uint32_t kSimAmiMinRomSize = 0x10000;   // 64 KB
constexpr uint32_t kSimAmiMaxRomSize = 0x200000;  // 2 MB

// Status codes of the SMI flash interface (low 12 bits of the status).
enum ESimAmiStatus : uint32_t {
  kSimAmiOk = 0,
  kSimAmiUnknownFunction = 0x001,
  kSimAmiNotOpen = 0x002,       // read/erase/program/close outside a sequence
  kSimAmiBadHandle = 0x003,     // close with a handle the open did not give
  kSimAmiBadBuffer = 0x004,     // dwBuffer is no shared buffer (or too small)
  kSimAmiBadRemaining = 0x005,  // the block is not a 4 KB block of the ROM
  kSimAmiEraseFailed = 0x006,
  kSimAmiProgramFailed = 0x007,
  kSimAmiBadCmosLocation = 0x008,
};

#pragma pack(push, 4)
// Everything a board is made of apart from its images. Plain data, kept
// verbatim at the start of the state blob.
struct SSimAmiConfig {
  uint32_t dwRomSize = 0x100000;       // bytes: 64 KB .. 2 MB, a multiple of 64 KB
  uint32_t dwBootBlockSize = 0x10000;  // bytes at the ROM's end (reported only)
  uint32_t dwNvRamSize = 0x10000;      // bytes below the boot block (reported only)
  uint16_t wSmiPort = 0x00B2;          // port whose OUT raises the SMI (9x path)
  uint8_t byMapRefused = 0;            // fault: Memctl refuses every mapping
  uint8_t byNoMemctl = 0;              // fault: "\\.\Memctl" does not open
  uint8_t byNoPhysical = 0;            // fault: 0x22280C answers 0
  uint8_t abyReserved[3] = {};
  uint32_t dwInfoError1 = 0;        // fault: ORed into Result 1 of get-information
  uint32_t dwInfoError2 = 0;        // fault: ORed into Result 2
  uint32_t dwBusyFrom = 0;          // fault: SMI calls from this one (1-based) ...
  uint32_t dwBusyCount = 0;         // ... on, this many, echo the function word
  uint32_t dwEraseFailBlock = 0;    // fault: erase of block k - 1 fails (0: none)
  uint32_t dwProgramFailBlock = 0;  // fault: program of block k - 1 fails (0: none)
  uint32_t dwSilentProgramAt = 0;   // fault: the n-th program reports success, writes nothing
  uint32_t dwSeed = 1;              // content of a generated image
  uint32_t dwPowerCutAfter = 0;     // fault: SMI calls answered before the power fails (0: never)
};
#pragma pack(pop)

// One SMI call as the handler answered it.
struct SSimAmiSmiEntry {
  uint32_t dwCode;  // I/O control code, or 0 for a 9x register call
  uint16_t wFunction;
  uint16_t wStatus;  // low 16 bits of the status
  uint32_t dwRemaining;
  uint32_t dwSize;
};

class CSimAmiBoard {
 public:
  // The devices a request arrives through; each answers only its own codes.
  enum EDevice { kHwIoctl = 0, kMemctl = 1, kMemoryVxd = 2 };

  // A fresh board: pRom holds cfg.dwRomSize bytes, pSegment 64 KB (null:
  // the ROM's last 64 KB). False when the configuration is invalid or
  // memory runs out.
  bool Create(const SSimAmiConfig& cfg, const uint8_t* pRom, const uint8_t* pSegment,
              const SSimHost* pHost);
  // A board from a state blob written earlier (checked: untrusted input).
  bool Restore(const uint8_t* pBlob, size_t nBytes, const SSimHost* pHost);
  void Destroy();
  bool IsCreated() const { return m_pBlob != nullptr; }

  uint32_t Request(EDevice eDevice, uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                   uint32_t nOut, uint32_t* pnReturned);

  // Windows 9x family. An OUT to the SMI port with EAX = 0x00010000 +
  // function and EBX = "$SFI" runs the flash interface with CX = dwSize,
  // ESI = dwBuffer, EDI = dwRemaining; afterwards AX = status, EBX =
  // Result 1, ECX = Result 2. Other ports behave as a port write.
  bool RaiseSmi(uint16_t wPort, SX86Registers* pRegs);
  bool PortOut(uint16_t wPort, uint8_t byValue);
  bool PortIn(uint16_t wPort, uint8_t* pbyValue);
  // F000 segment and shared buffers; anything else reads 0xFF.
  bool ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes);

  void SetCmos(uint8_t byIndex, uint8_t byValue);

  // Inspection (tests, tools).
  const SSimAmiConfig& Config() const { return *m_pConfig; }
  const uint8_t* Rom() const { return m_pRom; }
  const uint8_t* Segment() const { return m_pSegment; }
  const uint8_t* Cmos() const { return m_pState->abyCmos; }
  const uint8_t* StateBlob() const { return m_pBlob; }
  uint32_t StateSize() const { return m_dwBlobSize; }
  bool SequenceOpen() const { return m_wHandle != 0; }
  // The power failed in this power-up (see the header comment).
  bool PoweredOff() const { return m_bPoweredOff; }
  // The cut has happened, in this power-up or before the state was saved.
  bool PowerCutHappened() const { return m_pState && m_pState->byPowerCutDone; }
  uint32_t OpensWithoutClose() const { return m_nOpensWithoutClose; }
  uint32_t BuffersInUse() const;
  uint32_t MappingsInUse() const;
  CSimRequestLog& Log() { return m_Log; }
  const CSimRequestLog& Log() const { return m_Log; }
  uint32_t SmiCount() const { return m_nSmiLogged; }
  const SSimAmiSmiEntry* SmiEntry(uint32_t n) const {
    return n < m_nSmiLogged && n < m_nSmiCapacity ? &m_pSmiLog[n] : nullptr;
  }
  void ClearLogs() {
    m_Log.Clear();
    m_nSmiLogged = 0;
  }

  // One call of the flash interface (both paths). Returns the status.
  uint32_t CallSmi(uint32_t dwCode, const ami::SSmiRequest& req, uint32_t* pdwResult1,
                   uint32_t* pdwResult2);

  static constexpr uint32_t kDefaultLogCapacity = 1u << 16;

  struct SState {
    char szMagic[8];  // "TSIMAMI" + version digit
    uint32_t dwBlobSize;
    uint32_t dwConfigSize;
    uint8_t abyCmos[kSimAmiCmosSize];
    uint8_t abyCmosIndex[2];  // low and high bank
    uint8_t byPowerCutDone;   // 1 once the injected power cut has happened
    uint8_t byReserved;
  };

 private:
  struct SBuffer {
    uint8_t* pMemory;  // null: slot free
    uint32_t dwSize;
  };
  struct SMapping {
    uintptr_t pAddress;  // 0: slot free
  };

  bool Attach(const SSimHost* pHost);
  void Written(const void* pAt, uint32_t nBytes);
  uint32_t HwIoctl(uint32_t dwCode, const uint8_t* pIn, uint32_t nIn, uint8_t* pOut, uint32_t nOut,
                   uint32_t* pnReturned);
  uint32_t MemoryDevice(bool bMapping, uint32_t dwCode, const uint8_t* pIn, uint32_t nIn,
                        uint8_t* pOut, uint32_t nOut, uint32_t* pnReturned);
  uint8_t* BufferAtPhysical(uint32_t dwPhysical, uint32_t nBytes);
  // Slot of the shared buffer wholly holding [p, p + n), or -1.
  int BufferHolding(uintptr_t p, uintptr_t n) const;
  bool TouchesBoardMemory(uintptr_t p, uintptr_t n) const;
  uint8_t ReadPort(uint16_t wPort);
  void WritePort(uint16_t wPort, uint8_t byValue);
  uint32_t BlockOffset(uint32_t dwRemaining, bool* pbOk) const;
  void LogSmi(uint32_t dwCode, const ami::SSmiRequest& req, uint32_t dwStatus);
  // False once the power has failed; fails it when an SMI call arrives
  // after the configured number (bSmi: the request is such a call).
  bool PowerHolds(bool bSmi);

  const SSimHost* m_pHost = nullptr;
  uint8_t* m_pBlob = nullptr;  // config | state | segment | ROM
  uint32_t m_dwBlobSize = 0;
  SSimAmiConfig* m_pConfig = nullptr;
  SState* m_pState = nullptr;
  uint8_t* m_pSegment = nullptr;
  uint8_t* m_pRom = nullptr;
  SBuffer m_aBuffers[kSimAmiMaxBuffers] = {};
  SMapping m_aMappings[kSimAmiMaxMappings] = {};
  uint16_t m_wHandle = 0;  // the open sequence's handle, 0: none
  uint32_t m_nOpens = 0;
  uint32_t m_nOpensWithoutClose = 0;
  uint32_t m_nSmiCalls = 0;
  uint32_t m_nPrograms = 0;
  bool m_bPoweredOff = false;  // per power-up
  SSimAmiSmiEntry* m_pSmiLog = nullptr;
  uint32_t m_nSmiCapacity = 0;
  uint32_t m_nSmiLogged = 0;
  CSimRequestLog m_Log;
};
