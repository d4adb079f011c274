#include "sim/SimMirelController.h"

#include "protocol/MirelCommands.h"
#include "protocol/MirelIoctl.h"

namespace {

const char kMagic[8] = {'T', 'S', 'I', 'M', 'M', 'R', 'L', '1'};
constexpr uint32_t kProfileSize = mirel::kVoltageRecordSize + mirel::kClockRecordSize;

constexpr uint32_t Align16(uint32_t n) { return (n + 15u) & ~15u; }
constexpr uint32_t kStateOffset = Align16(sizeof(SSimMirelConfig));
constexpr uint32_t kMemoryOffset = Align16(kStateOffset + sizeof(CSimMirelController::SState));
constexpr uint32_t kProfilesOffset = kMemoryOffset + kSimMirelMemory;
constexpr uint32_t kBlobSize = kProfilesOffset + mirel::kProfiles * kProfileSize;

uint32_t GetU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Does [a, a + n) touch [b, b + m)?
bool Overlaps(uint32_t a, uint32_t n, uint32_t b, uint32_t m) { return a < b + m && b < a + n; }

// MSRs a simulated processor offers when the description names none.
const SSimMsr kDefaultMsrs[] = {
    {0x0000001B, 0xFEE00900, 0x00000000},  // APIC base
    {0x0000002A, 0x0C000000, 0x00000000},  // bus frequency / power-on configuration
    {0x00000198, 0x06000613, 0x06130000},  // performance status
    {0x00000199, 0x00000613, 0x00000000},  // performance control
    {0x0000019C, 0x88350000, 0x00000000},  // thermal status
};

}  // namespace

bool CSimMirelController::Attach(const SSimHost* pHost) {
  m_pConfig = reinterpret_cast<SSimMirelConfig*>(m_pBlob);
  m_pState = reinterpret_cast<SState*>(m_pBlob + kStateOffset);
  m_pMemory = m_pBlob + kMemoryOffset;
  m_pProfiles = m_pBlob + kProfilesOffset;
  m_pPorts = static_cast<uint8_t*>(pHost->pfnAlloc(pHost->pContext, kSimMirelPorts));
  if (!m_pPorts) return false;
  memset(m_pPorts, 0xFF, kSimMirelPorts);  // an undriven bus reads all ones
  m_nRequests = m_nRecords = m_nInjectedTimeouts = 0;
  m_Random.Seed(m_pConfig->dwSeed);
  return m_Log.Init(pHost, 1u << 14);
}

bool CSimMirelController::Create(const SSimMirelConfig& cfg, const SSimHost* pHost) {
  Destroy();
  if (!pHost || cfg.nMsrs > kSimMaxMsrs || cfg.dwTimeoutRate > 1000) return false;
  m_pHost = pHost;
  m_dwBlobSize = kBlobSize;
  m_pBlob = static_cast<uint8_t*>(pHost->pfnAlloc(pHost->pContext, m_dwBlobSize));
  if (!m_pBlob) return false;
  memcpy(m_pBlob, &cfg, sizeof cfg);
  SSimMirelConfig* pConfig = reinterpret_cast<SSimMirelConfig*>(m_pBlob);
  if (pConfig->nMsrs == 0) {
    pConfig->nMsrs = sizeof kDefaultMsrs / sizeof kDefaultMsrs[0];
    memcpy(pConfig->aMsrs, kDefaultMsrs, sizeof kDefaultMsrs);
  }
  SState* pState = reinterpret_cast<SState*>(m_pBlob + kStateOffset);
  memcpy(pState->szMagic, kMagic, sizeof kMagic);
  pState->dwBlobSize = m_dwBlobSize;
  pState->dwConfigSize = sizeof(SSimMirelConfig);
  if (!Attach(pHost)) {
    Destroy();
    return false;
  }

  // A board as it leaves the factory.
  m_pMemory[mirel::kAddrReferenceClock] = 2;  // 200 MHz
  m_pMemory[mirel::kAddrBaseVid] = 29;        // 1.5 V
  m_pMemory[mirel::kAddrLiveFlags] = 0;
  m_pMemory[mirel::kAddrBoardCode] = 0x00;
  m_pMemory[mirel::kAddrBoardCode + 1] = 0xA3;
  static const uint16_t kCounters[6] = {12, 3456, 789, 21, 4321, 98};
  for (int i = 0; i < 6; ++i) PutU16(m_pMemory + mirel::kAddrCounters + 2 * i, kCounters[i]);
  for (uint32_t p = 0; p < mirel::kProfiles; ++p) {
    uint8_t* v = VoltageRecord(p);
    uint8_t* c = ClockRecord(p);
    for (uint32_t i = 0; i < mirel::kVoltageRecordSize; ++i) v[i] = static_cast<uint8_t>(0x40 + i);
    for (uint32_t i = 0; i < mirel::kClockRecordSize; ++i) c[i] = static_cast<uint8_t>(0x80 + i);
    v[0] = static_cast<uint8_t>(p);
    v[1] = static_cast<uint8_t>(15 * p);  // voltage item 0: +0.025 V per profile
    v[2] = 0;                             // 1.80 V
    v[3] = static_cast<uint8_t>(p % 8);
    for (int i = 17; i <= 22; ++i) v[i] = 0;
    c[0] = static_cast<uint8_t>(p);
    c[8] = static_cast<uint8_t>((c[8] & 0xCF) | ((p % 3) << 4));  // clock item 2
    c[15] = static_cast<uint8_t>(75 + 2 * p);                     // clock item 0: 200 MHz and up
    c[23] = 0;                                                    // clock item 1: code 37 (100 MHz)
    c[24] = static_cast<uint8_t>(37 << 1);
  }
  uint8_t bySelect = 0;
  SetMemory(mirel::kAddrProfileSelect, &bySelect, 1);
  Written(m_pBlob, m_dwBlobSize);
  return true;
}

bool CSimMirelController::Restore(const uint8_t* pBlob, size_t nBytes, const SSimHost* pHost) {
  Destroy();
  if (!pHost || !pBlob || nBytes != kBlobSize) return false;
  SSimMirelConfig cfg;
  memcpy(&cfg, pBlob, sizeof cfg);
  SState state;
  memcpy(&state, pBlob + kStateOffset, sizeof state);
  if (memcmp(state.szMagic, kMagic, sizeof kMagic) != 0 || state.dwBlobSize != kBlobSize ||
      state.dwConfigSize != sizeof(SSimMirelConfig) || cfg.nMsrs > kSimMaxMsrs ||
      cfg.dwTimeoutRate > 1000 || state.bySelected >= mirel::kProfiles)
    return false;
  m_pHost = pHost;
  m_dwBlobSize = kBlobSize;
  m_pBlob = static_cast<uint8_t*>(pHost->pfnAlloc(pHost->pContext, m_dwBlobSize));
  if (!m_pBlob) return false;
  memcpy(m_pBlob, pBlob, m_dwBlobSize);
  if (!Attach(pHost)) {
    Destroy();
    return false;
  }
  return true;
}

void CSimMirelController::Destroy() {
  m_Log.Free();
  if (m_pHost) {
    if (m_pBlob) m_pHost->pfnFree(m_pHost->pContext, m_pBlob);
    if (m_pPorts) m_pHost->pfnFree(m_pHost->pContext, m_pPorts);
  }
  m_pBlob = m_pPorts = m_pMemory = m_pProfiles = nullptr;
  m_pConfig = nullptr;
  m_pState = nullptr;
  m_dwBlobSize = 0;
}

void CSimMirelController::Written(const void* pAt, uint32_t nBytes) {
  SimStateWritten(m_pHost, m_pBlob, pAt, nBytes);
}

uint8_t* CSimMirelController::VoltageRecord(uint32_t nProfile) {
  return m_pProfiles + (nProfile % mirel::kProfiles) * kProfileSize;
}
uint8_t* CSimMirelController::ClockRecord(uint32_t nProfile) {
  return VoltageRecord(nProfile) + mirel::kVoltageRecordSize;
}
void CSimMirelController::ProfileChanged(uint32_t nProfile) {
  Written(VoltageRecord(nProfile), kProfileSize);
  if (nProfile == m_pState->bySelected) {
    uint8_t bySelect = static_cast<uint8_t>(nProfile);
    SetMemory(mirel::kAddrProfileSelect, &bySelect, 1);
  }
}
uint32_t CSimMirelController::SelectedProfile() const { return m_pState->bySelected; }

void CSimMirelController::SetMemory(uint16_t wAddress, const uint8_t* pData, uint32_t nBytes) {
  if (nBytes > kSimMirelMemory - wAddress) nBytes = kSimMirelMemory - wAddress;
  WriteMemory(wAddress, pData, nBytes);
}

void CSimMirelController::WriteMemory(uint16_t wAddress, const uint8_t* pData, uint32_t nBytes) {
  memcpy(m_pMemory + wAddress, pData, nBytes);
  Written(m_pMemory + wAddress, nBytes);
  // A record write replaces what the next commit stores: only the record
  // just written goes into the profile the commit names, never one left
  // from a save whose commit was lost.
  uint8_t byWritten = 0;
  if (Overlaps(wAddress, nBytes, mirel::kAddrVoltageRecord, mirel::kVoltageRecordSize))
    byWritten |= 1;
  if (Overlaps(wAddress, nBytes, mirel::kAddrClockRecord, mirel::kClockRecordSize)) byWritten |= 2;
  if (byWritten) m_pState->byDirty = byWritten;
  // Profile select: the selected profile's records appear in memory.
  if (Overlaps(wAddress, nBytes, mirel::kAddrProfileSelect, 1)) {
    uint8_t p = m_pMemory[mirel::kAddrProfileSelect];
    if (p < mirel::kProfiles) {
      m_pState->bySelected = p;
      memcpy(m_pMemory + mirel::kAddrVoltageRecord, VoltageRecord(p), mirel::kVoltageRecordSize);
      memcpy(m_pMemory + mirel::kAddrClockRecord, ClockRecord(p), mirel::kClockRecordSize);
      Written(m_pMemory + mirel::kAddrVoltageRecord,
              mirel::kAddrClockRecord + mirel::kClockRecordSize - mirel::kAddrVoltageRecord);
    }
    m_pState->byDirty = 0;
  }
  // Profile commit: the record(s) written since the select go into the
  // named profile.
  if (Overlaps(wAddress, nBytes, mirel::kAddrProfileCommit, 1)) {
    uint8_t p = m_pMemory[mirel::kAddrProfileCommit];
    if (p < mirel::kProfiles) {
      if (m_pState->byDirty & 1)
        memcpy(VoltageRecord(p), m_pMemory + mirel::kAddrVoltageRecord, mirel::kVoltageRecordSize);
      if (m_pState->byDirty & 2)
        memcpy(ClockRecord(p), m_pMemory + mirel::kAddrClockRecord, mirel::kClockRecordSize);
      Written(VoltageRecord(p), kProfileSize);
    }
    m_pState->byDirty = 0;
  }
  Written(m_pState, sizeof(SState));
}

SSimMsr* CSimMirelController::FindMsr(uint32_t dwIndex) {
  for (uint32_t i = 0; i < m_pConfig->nMsrs; ++i)
    if (m_pConfig->aMsrs[i].dwIndex == dwIndex) return &m_pConfig->aMsrs[i];
  return nullptr;
}

bool CSimMirelController::SetMsr(uint32_t dwIndex, uint32_t dwLow, uint32_t dwHigh) {
  SSimMsr* pMsr = FindMsr(dwIndex);
  if (!pMsr) {
    if (m_pConfig->nMsrs >= kSimMaxMsrs) return false;
    pMsr = &m_pConfig->aMsrs[m_pConfig->nMsrs++];
    pMsr->dwIndex = dwIndex;
    Written(&m_pConfig->nMsrs, 4);
  }
  pMsr->dwLow = dwLow;
  pMsr->dwHigh = dwHigh;
  Written(pMsr, sizeof *pMsr);
  return true;
}

uint32_t CSimMirelController::CommandRecord(const uint8_t* pIn, uint32_t nIn, uint8_t* pOut,
                                            uint32_t nOut, uint32_t* pnReturned) {
  if (nIn < mirel::kCommandRecordSize) return kSimInvalidParameter;
  if (nOut < mirel::kCommandRecordSize) return kSimBufferTooSmall;
  const mirel::SCommand* pCommand = mirel::FindCommand(pIn[mirel::kRecCommand]);
  if (!pCommand) return kSimInvalidParameter;
  // The count byte follows the address (block read and block write alike).
  const uint8_t byCount = pIn[mirel::kRecData];
  uint32_t nSend = 0, nReply = 0;
  mirel::CommandLengths(pCommand->byCode, byCount, &nSend, &nReply);
  if (pIn[mirel::kRecRequestLength] != mirel::RequestLength(pCommand->byCode, nSend) ||
      pIn[mirel::kRecReplyLength] != nReply || nReply > mirel::kCommandRecordSize - 4 ||
      (pCommand->eCount == mirel::ECountUse::DataLength && nSend > mirel::kMaxWriteCount))
    return kSimInvalidParameter;
  const uint16_t wAddress =
      static_cast<uint16_t>(pIn[mirel::kRecAddressHigh] << 8 | pIn[mirel::kRecAddressLow]);
  const bool bWrite = pCommand->bStores;
  const uint32_t nSpan = bWrite ? nSend : nReply;
  if (nSpan > kSimMirelMemory - wAddress) return kSimInvalidParameter;

  memset(pOut, 0, mirel::kCommandRecordSize);
  memcpy(pOut, pIn, 3);
  *pnReturned = mirel::kCommandRecordSize;
  ++m_nRecords;
  bool bTimeout = m_pConfig->dwTimeoutAt == m_nRecords;
  if (m_nInjectedTimeouts) {
    --m_nInjectedTimeouts;
    bTimeout = true;
  }
  if (m_pConfig->dwTimeoutRate && m_Random.Below(1000) < m_pConfig->dwTimeoutRate) bTimeout = true;
  if (bTimeout) {
    pOut[mirel::kRecReplyLength] = mirel::kReplyTimeout;
    return kSimOk;
  }
  pOut[mirel::kRecReplyLength] = static_cast<uint8_t>(nReply);
  if (bWrite) {
    const uint8_t* pData =
        pIn + mirel::kRecData + (pCommand->eCount == mirel::ECountUse::DataLength ? 1 : 0);
    WriteMemory(wAddress, pData, nSend);
    pOut[mirel::kRecReplyData] = 0x00;  // acknowledged
  } else {
    memcpy(pOut + mirel::kRecReplyData, m_pMemory + wAddress, nReply);
  }
  return kSimOk;
}

uint32_t CSimMirelController::PortRecord(uint32_t dwCode, const uint8_t* pIn, uint32_t nIn,
                                         uint8_t* pOut, uint32_t nOut, uint32_t* pnReturned) {
  if (nIn < sizeof(mirel::SPortRecord)) return kSimInvalidParameter;
  if (nOut < sizeof(mirel::SPortRecord)) return kSimBufferTooSmall;
  const bool bByteCall = dwCode == mirel::kInPortB || dwCode == mirel::kOutPortB;
  const bool bWrite = dwCode == mirel::kOutPortB || dwCode == mirel::kWritePortVal;
  const uint8_t bySize = pIn[0];
  if (bySize != 1 && bySize != 2 && bySize != 4) return kSimInvalidParameter;
  if (bByteCall && bySize != 1) return kSimInvalidParameter;
  const uint32_t dwPort = bByteCall ? GetU16(pIn + 14) : GetU32(pIn + 4);
  if (dwPort >= kSimMirelPorts || bySize > kSimMirelPorts - dwPort) return kSimInvalidParameter;

  uint32_t dwValue = 0;
  if (bWrite) {
    dwValue = bByteCall ? pIn[13] : GetU32(pIn + 8);
    for (uint32_t i = 0; i < bySize; ++i)
      m_pPorts[dwPort + i] = static_cast<uint8_t>(dwValue >> (8 * i));
  }
  dwValue = 0;
  for (uint32_t i = 0; i < bySize; ++i)
    dwValue |= static_cast<uint32_t>(m_pPorts[dwPort + i]) << (8 * i);
  memset(pOut, 0, sizeof(mirel::SPortRecord));
  pOut[0] = bySize;
  PutU32(pOut + 4, dwPort);
  PutU32(pOut + 8, dwValue);
  pOut[12] = static_cast<uint8_t>(dwPort);
  pOut[13] = static_cast<uint8_t>(dwValue);
  PutU16(pOut + 14, static_cast<uint16_t>(dwPort));
  PutU16(pOut + 16, static_cast<uint16_t>(dwValue));
  *pnReturned = sizeof(mirel::SPortRecord);
  return kSimOk;
}

uint32_t CSimMirelController::Request(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                                      uint32_t nOut, uint32_t* pnReturned) {
  *pnReturned = 0;
  if (!m_pBlob) return kSimNotAnswering;
  ++m_nRequests;
  const uint8_t* pbyIn = static_cast<const uint8_t*>(pIn);
  uint8_t* pbyOut = static_cast<uint8_t*>(pOut);
  if (!pbyIn) nIn = 0;
  if (!pbyOut) nOut = 0;
  uint32_t dwResult = kSimOk;
  switch (dwCode) {
    case mirel::kReadMsr: {
      SSimMsr* pMsr = nIn >= 4 ? FindMsr(GetU32(pbyIn)) : nullptr;
      if (!pMsr) {
        dwResult = kSimInvalidParameter;
      } else if (nOut < 8) {
        dwResult = kSimBufferTooSmall;
      } else {
        PutU32(pbyOut, pMsr->dwLow);
        PutU32(pbyOut + 4, pMsr->dwHigh);
        *pnReturned = 8;
      }
      break;
    }
    case mirel::kWriteMsr:
      if (nIn < sizeof(mirel::SMsrWrite) || !FindMsr(GetU32(pbyIn)))
        dwResult = kSimInvalidParameter;
      else
        SetMsr(GetU32(pbyIn), GetU32(pbyIn + 4), GetU32(pbyIn + 8));
      break;
    case mirel::kGetAip:
    case mirel::kSetAip:
      dwResult = CommandRecord(pbyIn, nIn, pbyOut, nOut, pnReturned);
      break;
    case mirel::kInPortB:
    case mirel::kOutPortB:
    case mirel::kReadPortVal:
    case mirel::kWritePortVal:
      dwResult = PortRecord(dwCode, pbyIn, nIn, pbyOut, nOut, pnReturned);
      break;
    default:
      dwResult = kSimInvalidRequest;
      break;
  }
  m_Log.Add(kSimIoControl, dwCode, pIn, nIn, nOut, dwResult == kSimOk);
  return dwResult;
}
