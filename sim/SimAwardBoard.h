// Simulated Award board: the flash ROM at the top of the 4 GB space, the
// running BIOS's F000 segment, CMOS, the software-SMI port and the faults a
// real board can show. It answers every request of the WinFlash driver
// (tessaro/award/WinFlashIoctl.h) and the direct-mode operations the engine
// performs itself on the Windows 9x family (port OUT/IN, physical memory
// copy, SMI raised with registers).
//
// Kernel-safe: see sim/SimHost.h.
//
// Life cycle:
//   SSimAwardConfig cfg;  ...fill...          (or SimLoadAwardDescription)
//   CSimAwardBoard board;
//   board.Create(host, cfg, pFlash, pSegment) // fresh board from images
//   board.Restore(host, pStateBlob, nBytes)    // or: a saved state file
//   board.Request(code, in, nIn, out, nOut, &nReturned)   // WinFlash request
//   board.PortOut / PortIn / RaiseSmi / ReadPhysical      // direct mode
//   board.Destroy()
//
// Effects of the requests:
//   0x222000 read physical: u32 address in; 65536 bytes out. Bytes in
//            [0xF0000, 0x100000) come from the segment, bytes inside the ROM
//            from the flash, everything else reads 0xFF.
//   0x222004 set SMI port: u16 in; recorded (SmiPortSet()).
//   0x222008 SMI flash control: u16 function in; 16 bytes out: byte 0 = AL
//            after the SMI (the interface level for function 0, 0 for
//            begin/end), bytes 4-7 = begin/end nesting depth afterwards.
//            Begin (2) nests, end (3) unnests; an end without a begin is
//            counted in SmiUnbalancedEnds().
//   0x222010 set address: u32 in.
//   0x222018 read next: 16 bytes out; address += 16 (wraps at 4 GB; bytes
//            outside the ROM read 0xFF).
//   0x22201C program next: 16 bytes in; 4 bytes out (u32 status: 0 or the
//            protection status); address += 16. Programming ANDs the data
//            into the flash: it only clears bits. A chunk that is not wholly
//            inside the ROM or touches a protected range changes nothing.
//   0x222020 erase: u32 address, u32 length in; u32 status out. The address
//            must start an erase block of the board's geometry; every block
//            that starts inside [address, address + length) becomes 0xFF.
//            Status 0 on success; the protection status of the first
//            protected range touched (nothing erased); the outside status
//            for an address outside the ROM or off a block start.
//   0x222030 port write: u16 port, u16 value in. 0x70 selects the CMOS index
//            (bit 7, the NMI mask, ignored), 0x71 writes the CMOS byte;
//            other ports are only logged.
// Every request, answered or not, is logged (Log()). After a power cut the
// board answers nothing (kSimNotAnswering) until it is created or restored
// again; everything written before the cut is in the state blob.
#pragma once

#include "protocol/X86Registers.h"
#include "sim/SimHost.h"

constexpr uint32_t kSimMaxEraseRegions = 16;
constexpr uint32_t kSimMaxProtected = 8;
constexpr uint32_t kSimMaxEraseFails = 4;
constexpr uint32_t kSimMaxStuckBits = 64;
constexpr uint32_t kSimCmosSize = 128;

#pragma pack(push, 4)
// A run of equal erase blocks, from the low end of the ROM upwards.
struct SSimEraseRegion {
  uint32_t dwBlockSize;  // bytes
  uint32_t dwCount;
};
struct SSimProtectedRange {
  uint32_t dwAddress;  // physical address of the first byte
  uint32_t dwLength;   // bytes
  uint32_t dwStatus;   // erase/program status reported for it (0xA0, 0xA2 ...)
};

// Everything a board is made of apart from its two images. Plain data, kept
// verbatim at the start of the state blob.
struct SSimAwardConfig {
  uint32_t dwRomSize = 0x80000;  // bytes: 128 KB .. 1 MB, a multiple of 64 KB
  uint16_t wFlashId = 0x60BF;    // part id as the BIOS stores it (informative)
  uint16_t wSmiPort = 0x00B2;    // the port on which a software SMI is taken
  uint8_t bySmiLevel = 4;        // AL returned by the SMI query (function 0)
  uint8_t bySmiBusy = 0;         // fault: the SMI handler does not answer (AL unchanged)
  uint16_t wReserved = 0;
  uint32_t nEraseRegions = 0;  // 0: uniform 64 KB blocks
  SSimEraseRegion aEraseRegions[kSimMaxEraseRegions] = {};
  uint32_t nProtected = 0;
  SSimProtectedRange aProtected[kSimMaxProtected] = {};
  uint32_t dwOutsideStatus = 0xA0;  // status for writes outside the ROM or off a block start

  // Faults. All reproducible from dwSeed.
  uint32_t dwSeed = 1;
  uint32_t nEraseFails = 0;  // blocks (by start address) whose erase fails
  uint32_t adwEraseFail[kSimMaxEraseFails] = {};
  uint32_t nRandomEraseFails = 0;    // further failing blocks chosen by the seed
  uint32_t nStuckBits = 0;           // bits chosen by the seed that never change
  uint32_t dwSilentProgramAt = 0;    // the n-th program request (1-based) writes nothing
  uint32_t dwSilentProgramRate = 0;  // per 1000 program requests, drawn from the seed
  uint32_t dwPowerCutAfter = 0;      // requests answered before the power fails (0: never)
};
#pragma pack(pop)

class CSimAwardBoard {
 public:
  // A fresh board: pFlash holds cfg.dwRomSize bytes (the ROM from its first
  // byte), pSegment 65536 bytes (the running BIOS's F000 segment; null:
  // taken from the flash's last 64 KB). False when the configuration is
  // invalid or memory runs out.
  bool Create(const SSimAwardConfig& cfg, const uint8_t* pFlash, const uint8_t* pSegment,
              const SSimHost* pHost);
  // A board from a state blob written earlier (checked: untrusted input).
  bool Restore(const uint8_t* pBlob, size_t nBytes, const SSimHost* pHost);
  void Destroy();
  bool IsCreated() const { return m_pBlob != nullptr; }

  // One WinFlash request. Returns kSimOk when answered; *pnReturned gets the
  // reply length.
  uint32_t Request(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut, uint32_t nOut,
                   uint32_t* pnReturned);

  // Direct mode. Each returns false once the power has been cut.
  bool PortOut(uint16_t wPort, uint8_t byValue);
  bool PortIn(uint16_t wPort, uint8_t* pbyValue);
  // OUT DX, AL with every register set as given; on return the registers
  // hold what the SMI handler left. Only a write to the board's SMI port
  // raises an SMI; other ports behave as PortOut.
  bool RaiseSmi(uint16_t wPort, SX86Registers* pRegs);
  bool ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes);

  // Set-up: a CMOS byte as the board starts with it (no request counted).
  void SetCmos(uint8_t byIndex, uint8_t byValue);

  // Inspection (tests, tools).
  const SSimAwardConfig& Config() const { return *m_pConfig; }
  uint32_t RomBase() const { return 0u - m_pConfig->dwRomSize; }
  const uint8_t* Flash() const { return m_pFlash; }
  const uint8_t* Segment() const { return m_pSegment; }
  const uint8_t* Cmos() const { return m_pState->abyCmos; }
  const uint8_t* StateBlob() const { return m_pBlob; }
  uint32_t StateSize() const { return m_dwBlobSize; }
  uint16_t SmiPortSet() const { return m_wSmiPortSet; }
  uint32_t SmiDepth() const { return m_nSmiDepth; }
  uint32_t SmiUnbalancedEnds() const { return m_nSmiUnbalancedEnds; }
  uint32_t Requests() const { return m_nRequests; }
  bool PoweredOff() const { return m_bPoweredOff; }
  // Size of erase block at a physical address that starts one; 0 otherwise.
  uint32_t BlockSizeAt(uint32_t dwAddress) const;
  // Stuck bit n (for tests): byte offset in the ROM and its bit mask.
  uint32_t StuckBitCount() const { return m_nStuck; }
  bool StuckBit(uint32_t n, uint32_t* pdwOffset, uint8_t* pbyMask, bool* pbValue) const;
  CSimRequestLog& Log() { return m_Log; }
  const CSimRequestLog& Log() const { return m_Log; }

  // Flash operations with the board's rules, shared by both modes.
  // Status values as returned in the replies.
  uint32_t Program(uint32_t dwAddress, const uint8_t* pData, uint32_t nBytes);
  uint32_t Erase(uint32_t dwAddress, uint32_t dwLength);
  void Read(uint32_t dwAddress, uint8_t* pOut, uint32_t nBytes) const;

  // Default log capacity of a created board (entries).
  static constexpr uint32_t kDefaultLogCapacity = 1u << 16;
  // Changes the log capacity (clears the log).
  bool SetLogCapacity(uint32_t nEntries) { return m_Log.Init(m_pHost, nEntries); }

  // Layout of the persistent part of the state blob after the config.
  struct SState {
    char szMagic[8];  // "TSIMAWD" + version digit
    uint32_t dwBlobSize;
    uint32_t dwConfigSize;
    uint8_t abyCmos[kSimCmosSize];
    uint8_t byCmosIndex;
    uint8_t abyReserved[3];
  };

 private:
  bool Attach(const SSimHost* pHost);
  bool CountRequest();
  bool Protected(uint32_t dwAddress, uint32_t nBytes, uint32_t* pdwStatus) const;
  bool InRom(uint32_t dwAddress, uint32_t nBytes) const;
  bool EraseFails(uint32_t dwBlockAddress) const;
  void ApplyStuckBits(uint32_t dwOffset, uint32_t nBytes);
  void Written(const void* pAt, uint32_t nBytes);
  void SmiControl(uint16_t wFunction, uint8_t* pbyAl);
  void WritePort(uint16_t wPort, uint8_t byValue);

  const SSimHost* m_pHost = nullptr;
  uint8_t* m_pBlob = nullptr;  // config | state | segment | flash
  uint32_t m_dwBlobSize = 0;
  SSimAwardConfig* m_pConfig = nullptr;
  SState* m_pState = nullptr;
  uint8_t* m_pSegment = nullptr;
  uint8_t* m_pFlash = nullptr;

  // Per power-up (not persisted).
  uint32_t m_dwAddress = 0;
  uint16_t m_wSmiPortSet = 0;
  uint32_t m_nSmiDepth = 0;
  uint32_t m_nSmiUnbalancedEnds = 0;
  uint32_t m_nRequests = 0;
  uint32_t m_nPrograms = 0;
  bool m_bPoweredOff = false;
  CSimRandom m_Random;
  uint32_t m_nRandomFails = 0;
  uint32_t m_adwRandomFail[kSimMaxEraseFails] = {};
  uint32_t m_nStuck = 0;
  struct SStuck {
    uint32_t dwOffset;
    uint8_t byMask;
    uint8_t byValue;  // 0 or the mask
  } m_aStuck[kSimMaxStuckBits] = {};
  CSimRequestLog m_Log;
};
