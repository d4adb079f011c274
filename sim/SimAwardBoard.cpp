#include "sim/SimAwardBoard.h"

#include "protocol/WinFlashIoctl.h"

namespace {

const char kMagic[8] = {'T', 'S', 'I', 'M', 'A', 'W', 'D', '1'};

// Offsets of the parts of the state blob; each part starts 16-byte aligned.
constexpr uint32_t Align16(uint32_t n) { return (n + 15u) & ~15u; }
constexpr uint32_t kConfigOffset = 0;
constexpr uint32_t kStateOffset = Align16(sizeof(SSimAwardConfig));
constexpr uint32_t kSegmentOffset = Align16(kStateOffset + sizeof(CSimAwardBoard::SState));
constexpr uint32_t kFlashOffset = kSegmentOffset + winflash::kSegmentSize;

uint32_t GetU32(const void* p) { return winflash::LoadU32(static_cast<const uint8_t*>(p)); }
uint16_t GetU16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
void PutU32(void* p, uint32_t v) { winflash::StoreU32(static_cast<uint8_t*>(p), v); }

// Checks a configuration read from a description or a state file.
bool ConfigValid(const SSimAwardConfig& cfg) {
  if (cfg.dwRomSize < 0x20000 || cfg.dwRomSize > 0x100000 || cfg.dwRomSize % 0x10000) return false;
  if (cfg.nEraseRegions > kSimMaxEraseRegions || cfg.nProtected > kSimMaxProtected ||
      cfg.nEraseFails > kSimMaxEraseFails || cfg.nRandomEraseFails > kSimMaxEraseFails ||
      cfg.nStuckBits > kSimMaxStuckBits || cfg.dwSilentProgramRate > 1000)
    return false;
  if (cfg.nEraseRegions) {
    // The regions must tile the ROM exactly with blocks of whole 1 KB units.
    uint64_t qwTotal = 0;
    for (uint32_t i = 0; i < cfg.nEraseRegions; ++i) {
      const SSimEraseRegion& r = cfg.aEraseRegions[i];
      if (r.dwBlockSize == 0 || r.dwBlockSize % 1024 || r.dwBlockSize > cfg.dwRomSize ||
          r.dwCount == 0 || r.dwCount > cfg.dwRomSize)
        return false;
      qwTotal += static_cast<uint64_t>(r.dwBlockSize) * r.dwCount;
    }
    if (qwTotal != cfg.dwRomSize) return false;
  }
  return true;
}

}  // namespace

bool CSimAwardBoard::Attach(const SSimHost* pHost) {
  m_pConfig = reinterpret_cast<SSimAwardConfig*>(m_pBlob + kConfigOffset);
  m_pState = reinterpret_cast<SState*>(m_pBlob + kStateOffset);
  m_pSegment = m_pBlob + kSegmentOffset;
  m_pFlash = m_pBlob + kFlashOffset;
  m_dwAddress = 0;
  m_wSmiPortSet = 0;
  m_nSmiDepth = m_nSmiUnbalancedEnds = 0;
  m_nRequests = m_nPrograms = 0;
  m_bPoweredOff = false;

  // Faults drawn from the seed: the same seed gives the same blocks, bits
  // and silent programs on every run.
  CSimRandom setup;
  setup.Seed(m_pConfig->dwSeed);
  m_Random.Seed(m_pConfig->dwSeed ^ 0x5A5A5A5Au);
  uint32_t nBlocks = 0;
  for (uint32_t a = RomBase(); a != 0 && BlockSizeAt(a); a += BlockSizeAt(a)) ++nBlocks;
  m_nRandomFails = 0;
  for (uint32_t i = 0; i < m_pConfig->nRandomEraseFails; ++i) {
    uint32_t n = setup.Below(nBlocks), a = RomBase();
    while (n--) a += BlockSizeAt(a);
    m_adwRandomFail[m_nRandomFails++] = a;
  }
  m_nStuck = 0;
  for (uint32_t i = 0; i < m_pConfig->nStuckBits; ++i) {
    SStuck& s = m_aStuck[m_nStuck++];
    s.dwOffset = setup.Below(m_pConfig->dwRomSize);
    s.byMask = static_cast<uint8_t>(1u << setup.Below(8));
    s.byValue = (setup.Next() & 0x100) ? s.byMask : 0;
  }
  ApplyStuckBits(0, m_pConfig->dwRomSize);
  return m_Log.Init(pHost, kDefaultLogCapacity);
}

bool CSimAwardBoard::Create(const SSimAwardConfig& cfg, const uint8_t* pFlash,
                            const uint8_t* pSegment, const SSimHost* pHost) {
  Destroy();
  if (!pHost || !pFlash || !ConfigValid(cfg)) return false;
  m_pHost = pHost;
  m_dwBlobSize = kFlashOffset + cfg.dwRomSize;
  m_pBlob = static_cast<uint8_t*>(pHost->pfnAlloc(pHost->pContext, m_dwBlobSize));
  if (!m_pBlob) return false;
  memcpy(m_pBlob + kConfigOffset, &cfg, sizeof cfg);
  SState* pState = reinterpret_cast<SState*>(m_pBlob + kStateOffset);
  memcpy(pState->szMagic, kMagic, sizeof kMagic);
  pState->dwBlobSize = m_dwBlobSize;
  pState->dwConfigSize = sizeof(SSimAwardConfig);
  memcpy(m_pBlob + kFlashOffset, pFlash, cfg.dwRomSize);
  memcpy(m_pBlob + kSegmentOffset,
         pSegment ? pSegment : pFlash + cfg.dwRomSize - winflash::kSegmentSize,
         winflash::kSegmentSize);
  if (!Attach(pHost)) {
    Destroy();
    return false;
  }
  Written(m_pBlob, m_dwBlobSize);
  return true;
}

bool CSimAwardBoard::Restore(const uint8_t* pBlob, size_t nBytes, const SSimHost* pHost) {
  Destroy();
  if (!pHost || !pBlob || nBytes < kSegmentOffset) return false;
  SSimAwardConfig cfg;
  memcpy(&cfg, pBlob + kConfigOffset, sizeof cfg);
  SState state;
  memcpy(&state, pBlob + kStateOffset, sizeof state);
  if (memcmp(state.szMagic, kMagic, sizeof kMagic) != 0 ||
      state.dwConfigSize != sizeof(SSimAwardConfig) || !ConfigValid(cfg) ||
      state.dwBlobSize != kFlashOffset + cfg.dwRomSize || state.dwBlobSize != nBytes)
    return false;
  m_pHost = pHost;
  m_dwBlobSize = state.dwBlobSize;
  m_pBlob = static_cast<uint8_t*>(pHost->pfnAlloc(pHost->pContext, m_dwBlobSize));
  if (!m_pBlob) return false;
  memcpy(m_pBlob, pBlob, m_dwBlobSize);
  m_pState = reinterpret_cast<SState*>(m_pBlob + kStateOffset);
  m_pState->byCmosIndex &= 0x7F;
  if (!Attach(pHost)) {
    Destroy();
    return false;
  }
  return true;
}

void CSimAwardBoard::Destroy() {
  m_Log.Free();
  if (m_pBlob && m_pHost) m_pHost->pfnFree(m_pHost->pContext, m_pBlob);
  m_pBlob = nullptr;
  m_pConfig = nullptr;
  m_pState = nullptr;
  m_pSegment = m_pFlash = nullptr;
  m_dwBlobSize = 0;
}

void CSimAwardBoard::Written(const void* pAt, uint32_t nBytes) {
  SimStateWritten(m_pHost, m_pBlob, pAt, nBytes);
}

bool CSimAwardBoard::CountRequest() {
  if (m_bPoweredOff) return false;
  if (m_pConfig->dwPowerCutAfter && m_nRequests >= m_pConfig->dwPowerCutAfter) {
    m_bPoweredOff = true;
    return false;
  }
  ++m_nRequests;
  return true;
}

uint32_t CSimAwardBoard::BlockSizeAt(uint32_t dwAddress) const {
  if (!m_pConfig) return 0;
  uint32_t dwBase = RomBase();
  if (dwAddress < dwBase) return 0;
  uint32_t dwOffset = dwAddress - dwBase;
  if (m_pConfig->nEraseRegions == 0) return dwOffset % 0x10000 ? 0 : 0x10000;
  uint32_t dwStart = 0;
  for (uint32_t i = 0; i < m_pConfig->nEraseRegions; ++i) {
    const SSimEraseRegion& r = m_pConfig->aEraseRegions[i];
    uint32_t dwSpan = r.dwBlockSize * r.dwCount;
    if (dwOffset < dwStart + dwSpan)
      return (dwOffset - dwStart) % r.dwBlockSize ? 0 : r.dwBlockSize;
    dwStart += dwSpan;
  }
  return 0;
}

bool CSimAwardBoard::InRom(uint32_t dwAddress, uint32_t nBytes) const {
  uint32_t dwBase = RomBase();
  return dwAddress >= dwBase && nBytes <= 0u - dwAddress;
}

bool CSimAwardBoard::Protected(uint32_t dwAddress, uint32_t nBytes, uint32_t* pdwStatus) const {
  uint64_t qwEnd = static_cast<uint64_t>(dwAddress) + nBytes;
  for (uint32_t i = 0; i < m_pConfig->nProtected; ++i) {
    const SSimProtectedRange& r = m_pConfig->aProtected[i];
    uint64_t qwRangeEnd = static_cast<uint64_t>(r.dwAddress) + r.dwLength;
    if (dwAddress < qwRangeEnd && r.dwAddress < qwEnd) {
      *pdwStatus = r.dwStatus;
      return true;
    }
  }
  return false;
}

bool CSimAwardBoard::EraseFails(uint32_t dwBlockAddress) const {
  for (uint32_t i = 0; i < m_pConfig->nEraseFails; ++i)
    if (m_pConfig->adwEraseFail[i] == dwBlockAddress) return true;
  for (uint32_t i = 0; i < m_nRandomFails; ++i)
    if (m_adwRandomFail[i] == dwBlockAddress) return true;
  return false;
}

bool CSimAwardBoard::StuckBit(uint32_t n, uint32_t* pdwOffset, uint8_t* pbyMask,
                              bool* pbValue) const {
  if (n >= m_nStuck) return false;
  *pdwOffset = m_aStuck[n].dwOffset;
  *pbyMask = m_aStuck[n].byMask;
  *pbValue = m_aStuck[n].byValue != 0;
  return true;
}

void CSimAwardBoard::ApplyStuckBits(uint32_t dwOffset, uint32_t nBytes) {
  for (uint32_t i = 0; i < m_nStuck; ++i) {
    const SStuck& s = m_aStuck[i];
    if (s.dwOffset - dwOffset < nBytes)
      m_pFlash[s.dwOffset] = static_cast<uint8_t>((m_pFlash[s.dwOffset] & ~s.byMask) | s.byValue);
  }
}

void CSimAwardBoard::Read(uint32_t dwAddress, uint8_t* pOut, uint32_t nBytes) const {
  uint32_t dwBase = RomBase();
  for (uint32_t i = 0; i < nBytes; ++i) {
    uint32_t a = dwAddress + i;  // wraps at 4 GB like the address bus
    pOut[i] = a >= dwBase ? m_pFlash[a - dwBase] : 0xFF;
  }
}

uint32_t CSimAwardBoard::Program(uint32_t dwAddress, const uint8_t* pData, uint32_t nBytes) {
  uint32_t dwStatus = 0;
  if (!InRom(dwAddress, nBytes)) return m_pConfig->dwOutsideStatus;
  if (Protected(dwAddress, nBytes, &dwStatus)) return dwStatus;
  ++m_nPrograms;
  bool bSilent = m_pConfig->dwSilentProgramAt == m_nPrograms;
  if (m_pConfig->dwSilentProgramRate && m_Random.Below(1000) < m_pConfig->dwSilentProgramRate)
    bSilent = true;
  if (bSilent) return 0;  // reports success, writes nothing
  uint32_t dwOffset = dwAddress - RomBase();
  uint8_t* p = m_pFlash + dwOffset;
  // A flash cell can only go from 1 to 0 by programming; only an erase
  // brings it back to 1.
  for (uint32_t i = 0; i < nBytes; ++i) p[i] &= pData[i];
  ApplyStuckBits(dwOffset, nBytes);
  Written(p, nBytes);
  return 0;
}

uint32_t CSimAwardBoard::Erase(uint32_t dwAddress, uint32_t dwLength) {
  uint32_t dwStatus = 0;
  uint32_t dwSize = BlockSizeAt(dwAddress);
  if (dwSize == 0) return m_pConfig->dwOutsideStatus;
  // The blocks starting inside [address, address + length); at least one.
  uint32_t dwSpan = 0;
  while (dwSpan < dwLength || dwSpan == 0) {
    uint32_t dwNext = BlockSizeAt(dwAddress + dwSpan);
    if (dwNext == 0 || !InRom(dwAddress + dwSpan, dwNext)) break;
    dwSpan += dwNext;
    if (dwAddress + dwSpan == 0) break;  // reached the top of the 4 GB space
  }
  if (Protected(dwAddress, dwSpan, &dwStatus)) return dwStatus;
  uint32_t dwOffset = dwAddress - RomBase();
  for (uint32_t dwDone = 0; dwDone < dwSpan;) {
    uint32_t dwBlock = BlockSizeAt(dwAddress + dwDone);
    uint8_t* p = m_pFlash + dwOffset + dwDone;
    if (EraseFails(dwAddress + dwDone)) {
      // The cells do not come back: the block keeps what it held and at
      // least its first byte stays programmed.
      if (p[0] == 0xFF) p[0] = 0x00;
    } else {
      memset(p, 0xFF, dwBlock);
    }
    dwDone += dwBlock;
  }
  ApplyStuckBits(dwOffset, dwSpan);
  Written(m_pFlash + dwOffset, dwSpan);
  return 0;
}

void CSimAwardBoard::SmiControl(uint16_t wFunction, uint8_t* pbyAl) {
  switch (wFunction) {
    case winflash::kSmiQuery:
      *pbyAl = m_pConfig->bySmiLevel;
      break;
    case winflash::kSmiBeginFlash:
      ++m_nSmiDepth;
      *pbyAl = 0;
      break;
    case winflash::kSmiEndFlash:
      if (m_nSmiDepth)
        --m_nSmiDepth;
      else
        ++m_nSmiUnbalancedEnds;
      *pbyAl = 0;
      break;
    default:
      *pbyAl = 0xFF;  // unknown function
      break;
  }
}

void CSimAwardBoard::SetCmos(uint8_t byIndex, uint8_t byValue) {
  if (!m_pBlob) return;
  m_pState->abyCmos[byIndex % kSimCmosSize] = byValue;
  Written(&m_pState->abyCmos[byIndex % kSimCmosSize], 1);
}

void CSimAwardBoard::WritePort(uint16_t wPort, uint8_t byValue) {
  if (wPort == winflash::kCmosIndexPort) {
    m_pState->byCmosIndex = byValue & 0x7F;  // bit 7 masks NMI, not an index bit
    Written(&m_pState->byCmosIndex, 1);
  } else if (wPort == winflash::kCmosDataPort) {
    m_pState->abyCmos[m_pState->byCmosIndex] = byValue;
    Written(&m_pState->abyCmos[m_pState->byCmosIndex], 1);
  }
}

uint32_t CSimAwardBoard::Request(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                                 uint32_t nOut, uint32_t* pnReturned) {
  *pnReturned = 0;
  if (!m_pBlob) return kSimNotAnswering;
  if (!CountRequest()) {
    m_Log.Add(kSimIoControl, dwCode, pIn, nIn, nOut, false);
    return kSimNotAnswering;
  }
  uint32_t dwResult = kSimOk;
  uint8_t* pbyOut = static_cast<uint8_t*>(pOut);
  if (!pIn) nIn = 0;
  if (!pOut) nOut = 0;
  switch (dwCode) {
    case winflash::kReadPhysical: {
      if (nIn < 4) {
        dwResult = kSimInvalidParameter;
      } else if (nOut < winflash::kSegmentSize) {
        dwResult = kSimBufferTooSmall;
      } else {
        uint32_t dwAddress = GetU32(pIn);
        for (uint32_t i = 0; i < winflash::kSegmentSize; ++i) {
          uint32_t a = dwAddress + i;
          if (a - winflash::kSegmentAddress < winflash::kSegmentSize)
            pbyOut[i] = m_pSegment[a - winflash::kSegmentAddress];
          else
            Read(a, pbyOut + i, 1);
        }
        *pnReturned = winflash::kSegmentSize;
      }
      break;
    }
    case winflash::kSetSmiPort:
      if (nIn < 2)
        dwResult = kSimInvalidParameter;
      else
        m_wSmiPortSet = GetU16(pIn);
      break;
    case winflash::kSmiControl: {
      if (nIn < 2) {
        dwResult = kSimInvalidParameter;
      } else if (nOut < 16) {
        dwResult = kSimBufferTooSmall;
      } else {
        uint8_t byAl = winflash::kSmiAlFlashControl;
        if (!m_pConfig->bySmiBusy) SmiControl(GetU16(pIn), &byAl);
        memset(pbyOut, 0, 16);
        pbyOut[0] = byAl;
        PutU32(pbyOut + 4, m_nSmiDepth);
        *pnReturned = 16;
      }
      break;
    }
    case winflash::kSetAddress:
      if (nIn < 4)
        dwResult = kSimInvalidParameter;
      else
        m_dwAddress = GetU32(pIn);
      break;
    case winflash::kReadNext:
      if (nOut < winflash::kChunk) {
        dwResult = kSimBufferTooSmall;
      } else {
        Read(m_dwAddress, pbyOut, winflash::kChunk);
        m_dwAddress += winflash::kChunk;
        *pnReturned = winflash::kChunk;
      }
      break;
    case winflash::kProgramNext: {
      if (nIn < winflash::kChunk) {
        dwResult = kSimInvalidParameter;
      } else {
        uint32_t dwStatus =
            Program(m_dwAddress, static_cast<const uint8_t*>(pIn), winflash::kChunk);
        m_dwAddress += winflash::kChunk;
        if (nOut >= 4) {
          PutU32(pbyOut, dwStatus);
          *pnReturned = 4;
        }
      }
      break;
    }
    case winflash::kEraseBlock: {
      if (nIn < sizeof(winflash::SEraseRequest)) {
        dwResult = kSimInvalidParameter;
      } else if (nOut < 4) {
        dwResult = kSimBufferTooSmall;
      } else {
        const uint8_t* p = static_cast<const uint8_t*>(pIn);
        PutU32(pbyOut, Erase(GetU32(p), GetU32(p + 4)));
        *pnReturned = 4;
      }
      break;
    }
    case winflash::kWritePort:
      if (nIn < sizeof(winflash::SPortRequest)) {
        dwResult = kSimInvalidParameter;
      } else {
        const uint8_t* p = static_cast<const uint8_t*>(pIn);
        WritePort(GetU16(p), static_cast<uint8_t>(GetU16(p + 2)));
      }
      break;
    default:
      dwResult = kSimInvalidRequest;
      break;
  }
  m_Log.Add(kSimIoControl, dwCode, pIn, nIn, nOut, dwResult == kSimOk);
  return dwResult;
}

bool CSimAwardBoard::PortOut(uint16_t wPort, uint8_t byValue) {
  if (!m_pBlob || !CountRequest()) {
    if (m_pBlob) m_Log.Add(kSimPortOut, wPort, &byValue, 1, 0, false);
    return false;
  }
  WritePort(wPort, byValue);
  m_Log.Add(kSimPortOut, wPort, &byValue, 1, 0, true);
  return true;
}

bool CSimAwardBoard::PortIn(uint16_t wPort, uint8_t* pbyValue) {
  *pbyValue = 0xFF;  // an undriven bus reads all ones
  if (!m_pBlob || !CountRequest()) {
    if (m_pBlob) m_Log.Add(kSimPortIn, wPort, nullptr, 0, 1, false);
    return false;
  }
  if (wPort == winflash::kCmosDataPort) *pbyValue = m_pState->abyCmos[m_pState->byCmosIndex];
  m_Log.Add(kSimPortIn, wPort, nullptr, 0, 1, true);
  return true;
}

bool CSimAwardBoard::ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes) {
  if (!m_pBlob || !CountRequest()) {
    if (m_pBlob) m_Log.Add(kSimPhysRead, dwAddress, nullptr, 0, nBytes, false);
    return false;
  }
  uint8_t* p = static_cast<uint8_t*>(pOut);
  for (uint32_t i = 0; i < nBytes; ++i) {
    uint32_t a = dwAddress + i;
    if (a - winflash::kSegmentAddress < winflash::kSegmentSize)
      p[i] = m_pSegment[a - winflash::kSegmentAddress];
    else
      Read(a, p + i, 1);
  }
  m_Log.Add(kSimPhysRead, dwAddress, nullptr, 0, nBytes, true);
  return true;
}

bool CSimAwardBoard::RaiseSmi(uint16_t wPort, SX86Registers* pRegs) {
  pRegs->dwEdx = (pRegs->dwEdx & 0xFFFF0000u) | wPort;
  uint8_t byAl = static_cast<uint8_t>(pRegs->dwEax);
  uint8_t byAh = static_cast<uint8_t>(pRegs->dwEax >> 8);
  if (!m_pBlob || !CountRequest()) {
    if (m_pBlob) m_Log.Add(kSimSmi, byAl | (byAh << 8), pRegs, sizeof *pRegs, 0, false);
    return false;
  }
  m_Log.Add(kSimSmi, byAl | (byAh << 8), pRegs, sizeof *pRegs, 0, true);
  if (wPort != m_pConfig->wSmiPort) {
    WritePort(wPort, byAl);  // no SMI behind this port: a plain write
    return true;
  }
  if (m_pConfig->bySmiBusy) return true;  // nobody answers: AL stays as written
  uint8_t abyData[16];
  switch (byAl) {
    case winflash::kSmiAlFlashControl: {
      uint8_t byResult = 0;
      SmiControl(byAh, &byResult);
      pRegs->dwEax = (pRegs->dwEax & 0xFFFFFF00u) | byResult;
      break;
    }
    case winflash::kSmiAlRead:
      Read(pRegs->dwEsi, abyData, sizeof abyData);
      pRegs->dwEax = winflash::LoadU32(abyData);
      pRegs->dwEcx = winflash::LoadU32(abyData + 4);
      pRegs->dwEdx = winflash::LoadU32(abyData + 8);
      pRegs->dwEbx = winflash::LoadU32(abyData + 12);
      break;
    case winflash::kSmiAlProgram: {
      winflash::SmiProgramData(*pRegs, abyData);
      uint32_t dwStatus = Program(pRegs->dwEdi, abyData, sizeof abyData);
      pRegs->dwEax = (pRegs->dwEax & 0xFFFF0000u) | (dwStatus & 0xFFFF);
      break;
    }
    case winflash::kSmiAlErase: {
      uint32_t dwStatus = Erase(pRegs->dwEdi, pRegs->dwEcx);
      pRegs->dwEax = (pRegs->dwEax & 0xFFFF0000u) | (dwStatus & 0xFFFF);
      break;
    }
    default:
      break;
  }
  return true;
}
