// Simulated Mirel hardware-monitor and overclocking controller behind the
// "\\.\Mirel" driver requests (protocol/MirelIoctl.h; the controller's
// commands in protocol/MirelCommands.h): controller memory reached through
// command records, seven overclocking profiles that persist, I/O ports that
// echo what was written, and a model-specific register table.
//
// Kernel-safe: see sim/SimHost.h.
//
//   CSimMirelController ctl;
//   ctl.Create(cfg, host)                      // a fresh controller (defaults below)
//   ctl.Restore(blob, n, host)                 // or: a saved state file
//   ctl.Request(code, in, nIn, out, nOut, &n)  // every Mirel request
//
// Requests:
//   0x222004 read MSR: u32 index in, 8 bytes out (low, high dword). An
//            index not in the table is refused (kSimInvalidParameter), as a
//            processor faults on it.
//   0x222008 write MSR: u32 index, low, high in; table entries only.
//   0x22200C / 0x222010 command record (259 bytes in, 259 out): the code at
//            +0 must be in the command table, +2 must equal the data length
//            + 2 (+3 for 0x2A) and +3 the reply length of the table (count
//            for 0x1A); otherwise the record is refused before anything is
//            done. Reads return controller memory at the address (+4 high,
//            +5 low byte); writes store into it and answer one byte 0x00.
//            The reply echoes bytes +0..+2, has the reply length at +3 and
//            the data from +4. A timeout (injected) answers reply length
//            0xFF and does nothing.
//   0x222014 .. 0x222020 port records (20 bytes in and out): byte read and
//            write (size 1, u16 port at +14, value at +13), and reads/writes
//            of size 1, 2 or 4 (u32 port at +4, value at +8); replies fill
//            every port and value view and echo the size. Ports hold what was
//            last written (0xFF before that).
// Controller memory: 64 KB, byte-addressed. Writing a profile number 0..6 to
// 0x100B selects the profile: its voltage record appears at 0x0302 (49
// bytes) and its clock record at 0x036F (51 bytes). Writing a profile
// number to 0x100C stores the record just written into that profile: the
// record(s) the last record write touched since the last select or commit.
// A record written earlier whose commit never came (it timed out) is not
// carried into the next commit, which may name another profile.
// Profiles, memory and MSRs persist (state blob).
#pragma once

#include "sim/SimHost.h"

constexpr uint32_t kSimMaxMsrs = 32;
constexpr uint32_t kSimMirelMemory = 0x10000;
constexpr uint32_t kSimMirelPorts = 0x10000;

#pragma pack(push, 4)
struct SSimMsr {
  uint32_t dwIndex;
  uint32_t dwLow;
  uint32_t dwHigh;
};
struct SSimMirelConfig {
  uint32_t dwSeed = 1;
  uint32_t dwTimeoutRate = 0;  // per 1000 command records, drawn from the seed
  uint32_t dwTimeoutAt = 0;    // the n-th command record (1-based) times out
  uint32_t nMsrs = 0;          // 0: a default table
  SSimMsr aMsrs[kSimMaxMsrs] = {};
};
#pragma pack(pop)

class CSimMirelController {
 public:
  // A fresh controller: memory and profiles hold the defaults of a board
  // with reference clock code 2 (200 MHz), base VID code 29, board code
  // 0x00A3 and seven distinct profiles.
  bool Create(const SSimMirelConfig& cfg, const SSimHost* pHost);
  bool Restore(const uint8_t* pBlob, size_t nBytes, const SSimHost* pHost);
  void Destroy();
  bool IsCreated() const { return m_pBlob != nullptr; }

  uint32_t Request(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut, uint32_t nOut,
                   uint32_t* pnReturned);

  // The next nCount command records time out.
  void InjectTimeouts(uint32_t nCount) { m_nInjectedTimeouts = nCount; }

  // Set-up and inspection (descriptions, tests). Writes go through to the
  // state blob but do not count as requests.
  void SetMemory(uint16_t wAddress, const uint8_t* pData, uint32_t nBytes);
  const uint8_t* Memory() const { return m_pMemory; }
  // Profile records: voltage (49 bytes) then clock (51 bytes).
  uint8_t* VoltageRecord(uint32_t nProfile);
  uint8_t* ClockRecord(uint32_t nProfile);
  void ProfileChanged(uint32_t nProfile);  // after editing a record directly
  uint32_t SelectedProfile() const;
  const SSimMirelConfig& Config() const { return *m_pConfig; }
  bool SetMsr(uint32_t dwIndex, uint32_t dwLow, uint32_t dwHigh);  // adds when absent
  uint8_t Port(uint16_t wPort) const { return m_pPorts[wPort]; }
  uint32_t Requests() const { return m_nRequests; }
  const uint8_t* StateBlob() const { return m_pBlob; }
  uint32_t StateSize() const { return m_dwBlobSize; }
  CSimRequestLog& Log() { return m_Log; }

  struct SState {
    char szMagic[8];  // "TSIMMRL" + version digit
    uint32_t dwBlobSize;
    uint32_t dwConfigSize;
    uint8_t bySelected;  // profile whose records 0x0302 / 0x036F show
    uint8_t byDirty;     // the record just written: 1 voltage, 2 clock, 3 both
    uint8_t abyReserved[2];
  };

 private:
  bool Attach(const SSimHost* pHost);
  void Written(const void* pAt, uint32_t nBytes);
  uint32_t CommandRecord(const uint8_t* pIn, uint32_t nIn, uint8_t* pOut, uint32_t nOut,
                         uint32_t* pnReturned);
  uint32_t PortRecord(uint32_t dwCode, const uint8_t* pIn, uint32_t nIn, uint8_t* pOut,
                      uint32_t nOut, uint32_t* pnReturned);
  void WriteMemory(uint16_t wAddress, const uint8_t* pData, uint32_t nBytes);
  SSimMsr* FindMsr(uint32_t dwIndex);

  const SSimHost* m_pHost = nullptr;
  uint8_t* m_pBlob = nullptr;  // config | state | memory | profiles
  uint32_t m_dwBlobSize = 0;
  SSimMirelConfig* m_pConfig = nullptr;
  SState* m_pState = nullptr;
  uint8_t* m_pMemory = nullptr;
  uint8_t* m_pProfiles = nullptr;
  uint8_t* m_pPorts = nullptr;  // not persisted: hardware registers
  uint32_t m_nRequests = 0;
  uint32_t m_nRecords = 0;
  uint32_t m_nInjectedTimeouts = 0;
  CSimRandom m_Random;
  CSimRequestLog m_Log;
};
