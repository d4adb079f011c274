#include "sim/SimAmiBoard.h"

namespace {

const char kMagic[8] = {'T', 'S', 'I', 'M', 'A', 'M', 'I', '2'};

constexpr uint32_t Align16(uint32_t n) { return (n + 15u) & ~15u; }
constexpr uint32_t kConfigOffset = 0;
constexpr uint32_t kStateOffset = Align16(sizeof(SSimAmiConfig));
constexpr uint32_t kSegmentOffset = Align16(kStateOffset + sizeof(CSimAmiBoard::SState));
constexpr uint32_t kRomOffset = kSegmentOffset + ami::kSegmentSize;
constexpr uint32_t kSmiLogCapacity = 1u << 14;  // a 2 MB save and flash takes about 1600 calls

uint32_t GetU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
uintptr_t GetPointer(const uint8_t* p) {
  uintptr_t v;
  memcpy(&v, p, sizeof v);
  return v;
}
void PutPointer(uint8_t* p, uintptr_t v) { memcpy(p, &v, sizeof v); }
// memmove without the library (the cores call only memcpy, memset and
// memcmp): source and destination may overlap inside one shared buffer.
void MoveBytes(uint8_t* pDst, const uint8_t* pSrc, uintptr_t n) {
  if (pDst == pSrc || n == 0) return;
  if (pDst < pSrc || pDst >= pSrc + n) {
    for (uintptr_t i = 0; i < n; ++i) pDst[i] = pSrc[i];
  } else {
    for (uintptr_t i = n; i-- > 0;) pDst[i] = pSrc[i];
  }
}

bool ConfigValid(const SSimAmiConfig& cfg) {
  if (cfg.dwRomSize < kSimAmiMinRomSize || cfg.dwRomSize > kSimAmiMaxRomSize ||
      cfg.dwRomSize % 0x10000)
    return false;
  // The boot block and NvRam are reported as they are (a fault may set low
  // bits), but together they must fit the ROM.
  uint64_t qwAreas = static_cast<uint64_t>(cfg.dwBootBlockSize) + cfg.dwNvRamSize;
  return qwAreas <= cfg.dwRomSize;
}

}  // namespace

bool CSimAmiBoard::Attach(const SSimHost* pHost) {
  m_pConfig = reinterpret_cast<SSimAmiConfig*>(m_pBlob + kConfigOffset);
  m_pState = reinterpret_cast<SState*>(m_pBlob + kStateOffset);
  m_pSegment = m_pBlob + kSegmentOffset;
  m_pRom = m_pBlob + kRomOffset;
  m_wHandle = 0;
  m_nOpens = m_nOpensWithoutClose = m_nSmiCalls = m_nPrograms = 0;
  m_bPoweredOff = false;
  m_nSmiLogged = 0;
  m_pSmiLog = static_cast<SSimAmiSmiEntry*>(
      pHost->pfnAlloc(pHost->pContext, sizeof(SSimAmiSmiEntry) * kSmiLogCapacity));
  if (!m_pSmiLog) return false;
  m_nSmiCapacity = kSmiLogCapacity;
  return m_Log.Init(pHost, kDefaultLogCapacity);
}

bool CSimAmiBoard::Create(const SSimAmiConfig& cfg, const uint8_t* pRom, const uint8_t* pSegment,
                          const SSimHost* pHost) {
  Destroy();
  if (!pHost || !pRom || !ConfigValid(cfg)) return false;
  m_pHost = pHost;
  m_dwBlobSize = kRomOffset + cfg.dwRomSize;
  m_pBlob = static_cast<uint8_t*>(pHost->pfnAlloc(pHost->pContext, m_dwBlobSize));
  if (!m_pBlob) return false;
  memcpy(m_pBlob + kConfigOffset, &cfg, sizeof cfg);
  SState* pState = reinterpret_cast<SState*>(m_pBlob + kStateOffset);
  memcpy(pState->szMagic, kMagic, sizeof kMagic);
  pState->dwBlobSize = m_dwBlobSize;
  pState->dwConfigSize = sizeof(SSimAmiConfig);
  memcpy(m_pBlob + kRomOffset, pRom, cfg.dwRomSize);
  memcpy(m_pBlob + kSegmentOffset, pSegment ? pSegment : pRom + cfg.dwRomSize - ami::kSegmentSize,
         ami::kSegmentSize);
  if (!Attach(pHost)) {
    Destroy();
    return false;
  }
  Written(m_pBlob, m_dwBlobSize);
  return true;
}

bool CSimAmiBoard::Restore(const uint8_t* pBlob, size_t nBytes, const SSimHost* pHost) {
  Destroy();
  if (!pHost || !pBlob || nBytes < kSegmentOffset) return false;
  SSimAmiConfig cfg;
  memcpy(&cfg, pBlob + kConfigOffset, sizeof cfg);
  SState state;
  memcpy(&state, pBlob + kStateOffset, sizeof state);
  if (memcmp(state.szMagic, kMagic, sizeof kMagic) != 0 ||
      state.dwConfigSize != sizeof(SSimAmiConfig) || !ConfigValid(cfg) ||
      state.dwBlobSize != kRomOffset + cfg.dwRomSize || state.dwBlobSize != nBytes)
    return false;
  m_pHost = pHost;
  m_dwBlobSize = state.dwBlobSize;
  m_pBlob = static_cast<uint8_t*>(pHost->pfnAlloc(pHost->pContext, m_dwBlobSize));
  if (!m_pBlob) return false;
  memcpy(m_pBlob, pBlob, m_dwBlobSize);
  if (!Attach(pHost)) {
    Destroy();
    return false;
  }
  m_pState->abyCmosIndex[0] &= 0x7F;
  m_pState->abyCmosIndex[1] &= 0x7F;
  return true;
}

void CSimAmiBoard::Destroy() {
  m_Log.Free();
  if (m_pHost) {
    for (SBuffer& b : m_aBuffers)
      if (b.pMemory) m_pHost->pfnFree(m_pHost->pContext, b.pMemory);
    if (m_pSmiLog) m_pHost->pfnFree(m_pHost->pContext, m_pSmiLog);
    if (m_pBlob) m_pHost->pfnFree(m_pHost->pContext, m_pBlob);
  }
  memset(m_aBuffers, 0, sizeof m_aBuffers);
  memset(m_aMappings, 0, sizeof m_aMappings);
  m_pSmiLog = nullptr;
  m_nSmiCapacity = m_nSmiLogged = 0;
  m_pBlob = nullptr;
  m_pConfig = nullptr;
  m_pState = nullptr;
  m_pSegment = m_pRom = nullptr;
  m_dwBlobSize = 0;
  m_wHandle = 0;
  m_bPoweredOff = false;
}

void CSimAmiBoard::Written(const void* pAt, uint32_t nBytes) {
  SimStateWritten(m_pHost, m_pBlob, pAt, nBytes);
}

uint32_t CSimAmiBoard::BuffersInUse() const {
  uint32_t n = 0;
  for (const SBuffer& b : m_aBuffers) n += b.pMemory ? 1 : 0;
  return n;
}

uint32_t CSimAmiBoard::MappingsInUse() const {
  uint32_t n = 0;
  for (const SMapping& m : m_aMappings) n += m.pAddress ? 1 : 0;
  return n;
}

void CSimAmiBoard::SetCmos(uint8_t byIndex, uint8_t byValue) {
  if (!m_pBlob) return;
  m_pState->abyCmos[byIndex] = byValue;
  Written(&m_pState->abyCmos[byIndex], 1);
}

// ------------------------------------------------------------ memory --

uint8_t* CSimAmiBoard::BufferAtPhysical(uint32_t dwPhysical, uint32_t nBytes) {
  if (dwPhysical < kSimAmiBufferBase) return nullptr;
  uint32_t dwSlot = (dwPhysical - kSimAmiBufferBase) / kSimAmiBufferStride;
  uint32_t dwOffset = (dwPhysical - kSimAmiBufferBase) % kSimAmiBufferStride;
  if (dwSlot >= kSimAmiMaxBuffers) return nullptr;
  const SBuffer& b = m_aBuffers[dwSlot];
  if (!b.pMemory || dwOffset > b.dwSize || nBytes > b.dwSize - dwOffset) return nullptr;
  return b.pMemory + dwOffset;
}

int CSimAmiBoard::BufferHolding(uintptr_t p, uintptr_t n) const {
  for (uint32_t i = 0; i < kSimAmiMaxBuffers; ++i) {
    const SBuffer& b = m_aBuffers[i];
    if (!b.pMemory) continue;
    uintptr_t pStart = reinterpret_cast<uintptr_t>(b.pMemory);
    if (p >= pStart && p - pStart <= b.dwSize && n <= b.dwSize - (p - pStart))
      return static_cast<int>(i);
  }
  return -1;
}

bool CSimAmiBoard::TouchesBoardMemory(uintptr_t p, uintptr_t n) const {
  // The state blob (segment and ROM included): only the board changes it.
  uintptr_t pBlob = reinterpret_cast<uintptr_t>(m_pBlob);
  if (p < pBlob + m_dwBlobSize && pBlob < p + n) return true;
  // A range that overlaps a shared buffer without lying inside it.
  for (const SBuffer& b : m_aBuffers) {
    if (!b.pMemory) continue;
    uintptr_t pStart = reinterpret_cast<uintptr_t>(b.pMemory);
    if (p < pStart + b.dwSize && pStart < p + n) return true;
  }
  return false;
}

uint32_t CSimAmiBoard::MemoryDevice(bool bMapping, uint32_t dwCode, const uint8_t* pIn,
                                    uint32_t nIn, uint8_t* pOut, uint32_t nOut,
                                    uint32_t* pnReturned) {
  const uint32_t nPointer = sizeof(uintptr_t);
  if (bMapping) {
    if (dwCode == ami::kMapPhysical) {
      if (nIn < sizeof(ami::SMapRequest)) return kSimInvalidParameter;
      if (nOut < nPointer) return kSimBufferTooSmall;
      if (m_pConfig->byMapRefused) return kSimInvalidParameter;
      ami::SMapRequest req;
      memcpy(&req, pIn, sizeof req);
      if (req.dwType != 1 || req.dwLength == 0) return kSimInvalidParameter;
      uint8_t* p = nullptr;
      if (req.dwPhysical >= ami::kSegmentAddress &&
          req.dwPhysical - ami::kSegmentAddress < ami::kSegmentSize &&
          req.dwLength <= ami::kSegmentSize - (req.dwPhysical - ami::kSegmentAddress))
        p = m_pSegment + (req.dwPhysical - ami::kSegmentAddress);
      else
        p = BufferAtPhysical(req.dwPhysical, req.dwLength);
      if (!p) return kSimInvalidParameter;
      for (SMapping& m : m_aMappings) {
        if (m.pAddress) continue;
        m.pAddress = reinterpret_cast<uintptr_t>(p);
        PutPointer(pOut, m.pAddress);
        *pnReturned = nPointer;
        return kSimOk;
      }
      return kSimInvalidParameter;  // no mapping slot left
    }
    if (dwCode == ami::kUnmapPhysical) {
      if (nIn < nPointer) return kSimInvalidParameter;
      uintptr_t p = GetPointer(pIn);
      for (SMapping& m : m_aMappings) {
        if (p && m.pAddress == p) {
          m.pAddress = 0;
          return kSimOk;
        }
      }
      return kSimInvalidParameter;
    }
  }
  switch (dwCode) {
    case ami::kAllocBuffer: {
      if (nIn < 4) return kSimInvalidParameter;
      if (nOut < sizeof(ami::SBufferRecord)) return kSimBufferTooSmall;
      uint32_t dwSize = GetU32(pIn);
      if (dwSize == 0 || dwSize > kSimAmiMaxBufferSize) return kSimInvalidParameter;
      for (uint32_t i = 0; i < kSimAmiMaxBuffers; ++i) {
        SBuffer& b = m_aBuffers[i];
        if (b.pMemory) continue;
        b.pMemory = static_cast<uint8_t*>(m_pHost->pfnAlloc(m_pHost->pContext, dwSize));
        if (!b.pMemory) return kSimInvalidParameter;
        b.dwSize = dwSize;
        ami::SBufferRecord rec;
        rec.pUser = reinterpret_cast<uintptr_t>(b.pMemory);
        rec.nId = i + 1;
        memcpy(pOut, &rec, sizeof rec);
        *pnReturned = sizeof rec;
        return kSimOk;
      }
      return kSimInvalidParameter;  // every slot taken
    }
    case ami::kFreeBuffer: {
      if (nIn < nPointer) return kSimInvalidParameter;
      uintptr_t p = GetPointer(pIn);
      for (SBuffer& b : m_aBuffers) {
        if (b.pMemory && reinterpret_cast<uintptr_t>(b.pMemory) == p) {
          // Mappings into the buffer end with it.
          for (SMapping& m : m_aMappings)
            if (m.pAddress >= p && m.pAddress < p + b.dwSize) m.pAddress = 0;
          m_pHost->pfnFree(m_pHost->pContext, b.pMemory);
          b.pMemory = nullptr;
          b.dwSize = 0;
          return kSimOk;
        }
      }
      return kSimInvalidParameter;
    }
    case ami::kBufferPhysical: {
      if (nIn < 4) return kSimInvalidParameter;
      if (nOut < 4) return kSimBufferTooSmall;
      uint32_t dwId = GetU32(pIn);
      uint32_t dwPhysical = 0;
      if (!m_pConfig->byNoPhysical && dwId >= 1 && dwId <= kSimAmiMaxBuffers &&
          m_aBuffers[dwId - 1].pMemory)
        dwPhysical = kSimAmiBufferBase + (dwId - 1) * kSimAmiBufferStride;
      PutU32(pOut, dwPhysical);
      *pnReturned = 4;
      return kSimOk;
    }
    case ami::kCopyMemory: {
      // The 9x family has no copy request: the caller writes the buffer
      // itself through its address.
      if (!bMapping) return kSimInvalidRequest;
      if (nIn < sizeof(ami::SCopyRequest)) return kSimInvalidParameter;
      ami::SCopyRequest req;
      memcpy(&req, pIn, sizeof req);
      uintptr_t n = req.nLength;
      if (req.pDestination + n < req.pDestination || req.pSource + n < req.pSource)
        return kSimInvalidParameter;  // wraps around the address space
      bool bToBuffer = BufferHolding(req.pDestination, n) >= 0;
      bool bFromBuffer = BufferHolding(req.pSource, n) >= 0;
      // One side is a shared buffer; the other may be the caller's memory
      // or another shared buffer, never the board's own memory.
      if (!bToBuffer && !bFromBuffer) return kSimInvalidParameter;
      if (!bToBuffer && TouchesBoardMemory(req.pDestination, n)) return kSimInvalidParameter;
      if (!bFromBuffer && TouchesBoardMemory(req.pSource, n)) return kSimInvalidParameter;
      MoveBytes(reinterpret_cast<uint8_t*>(req.pDestination),
                reinterpret_cast<const uint8_t*>(req.pSource), n);
      return kSimOk;
    }
    default:
      return kSimInvalidRequest;
  }
}

// ------------------------------------------------------------- ports --

uint8_t CSimAmiBoard::ReadPort(uint16_t wPort) {
  if (wPort == 0x71) return m_pState->abyCmos[m_pState->abyCmosIndex[0]];
  if (wPort == 0x73) return m_pState->abyCmos[0x80 + m_pState->abyCmosIndex[1]];
  return 0xFF;  // an undriven bus reads all ones
}

void CSimAmiBoard::WritePort(uint16_t wPort, uint8_t byValue) {
  // 0x70/0x71 reach CMOS bytes 0-127, 0x72/0x73 bytes 128-255; bit 7 of an
  // index write masks NMI and is not an index bit.
  if (wPort == 0x70 || wPort == 0x72) {
    uint8_t& byIndex = m_pState->abyCmosIndex[wPort == 0x72];
    byIndex = byValue & 0x7F;
    Written(&byIndex, 1);
  } else if (wPort == 0x71 || wPort == 0x73) {
    uint32_t n = (wPort == 0x73 ? 0x80 : 0) + m_pState->abyCmosIndex[wPort == 0x73];
    m_pState->abyCmos[n] = byValue;
    Written(&m_pState->abyCmos[n], 1);
  }
}

// -------------------------------------------------------------- SMI --

uint32_t CSimAmiBoard::BlockOffset(uint32_t dwRemaining, bool* pbOk) const {
  // The engine counts dwRemaining down from the ROM size, one block per
  // call: the block lies at (ROM size - remaining) from the ROM's start.
  *pbOk =
      dwRemaining != 0 && dwRemaining <= m_pConfig->dwRomSize && dwRemaining % ami::kBlockSize == 0;
  return *pbOk ? m_pConfig->dwRomSize - dwRemaining : 0;
}

bool CSimAmiBoard::PowerHolds(bool bSmi) {
  if (m_bPoweredOff) return false;
  if (bSmi && m_pConfig->dwPowerCutAfter && !m_pState->byPowerCutDone &&
      m_nSmiCalls >= m_pConfig->dwPowerCutAfter) {
    m_bPoweredOff = true;
    m_pState->byPowerCutDone = 1;
    Written(&m_pState->byPowerCutDone, 1);
    return false;
  }
  return true;
}

void CSimAmiBoard::LogSmi(uint32_t dwCode, const ami::SSmiRequest& req, uint32_t dwStatus) {
  if (m_nSmiLogged < m_nSmiCapacity) {
    SSimAmiSmiEntry& e = m_pSmiLog[m_nSmiLogged];
    e.dwCode = dwCode;
    e.wFunction = req.wFunction;
    e.wStatus = static_cast<uint16_t>(dwStatus);
    e.dwRemaining = req.dwRemaining;
    e.dwSize = req.dwSize;
  }
  ++m_nSmiLogged;
}

uint32_t CSimAmiBoard::CallSmi(uint32_t dwCode, const ami::SSmiRequest& req, uint32_t* pdwResult1,
                               uint32_t* pdwResult2) {
  ++m_nSmiCalls;
  uint32_t dwStatus = kSimAmiOk;
  uint32_t dwResult1 = req.dwResult1, dwResult2 = req.dwResult2;
  uint32_t dwBusyFrom = m_pConfig->dwBusyFrom ? m_pConfig->dwBusyFrom : 1;
  bool bBusy = m_nSmiCalls >= dwBusyFrom && m_nSmiCalls - dwBusyFrom < m_pConfig->dwBusyCount;
  if (bBusy) {
    dwStatus = req.wFunction;  // the handler has not taken the call
  } else if (dwCode == ami::kCallSmiCmos) {
    if (req.dwSize >= kSimAmiCmosSize) {
      dwStatus = kSimAmiBadCmosLocation;
    } else {
      m_pState->abyCmos[req.dwSize] = 0xFF;
      Written(&m_pState->abyCmos[req.dwSize], 1);
    }
  } else {
    bool bOk = false;
    uint32_t dwOffset = 0;
    switch (req.wFunction) {
      case ami::kSmiGetInfo: {
        uint8_t* pBuffer = BufferAtPhysical(req.dwBuffer, ami::kInfoBytes);
        if (!pBuffer) {
          dwStatus = kSimAmiBadBuffer;
          break;
        }
        ami::SInfoRecord rec = {};
        rec.dwRomSize = m_pConfig->dwRomSize;
        memcpy(pBuffer, &rec, sizeof rec);
        dwResult1 = m_pConfig->dwBootBlockSize | (m_pConfig->dwInfoError1 & 0xFFF);
        dwResult2 = m_pConfig->dwNvRamSize | (m_pConfig->dwInfoError2 & 0xFFF);
        break;
      }
      case ami::kSmiOpen:
        if (m_wHandle) ++m_nOpensWithoutClose;  // the earlier sequence is dropped
        m_wHandle = static_cast<uint16_t>((m_nOpens++ % 15 + 1) << 12);
        dwStatus = m_wHandle;
        break;
      case ami::kSmiClose:
        if (!m_wHandle)
          dwStatus = kSimAmiNotOpen;
        else if (req.dwSize != m_wHandle)
          dwStatus = kSimAmiBadHandle;
        else
          m_wHandle = 0;
        break;
      case ami::kSmiRead:
      case ami::kSmiErase:
      case ami::kSmiProgram: {
        if (!m_wHandle) {
          dwStatus = kSimAmiNotOpen;
          break;
        }
        dwOffset = BlockOffset(req.dwRemaining, &bOk);
        if (!bOk) {
          dwStatus = kSimAmiBadRemaining;
          break;
        }
        uint32_t dwBlock = dwOffset / ami::kBlockSize;
        uint8_t* pFlash = m_pRom + dwOffset;
        if (req.wFunction == ami::kSmiErase) {
          if (m_pConfig->dwEraseFailBlock == dwBlock + 1) {
            // The cells do not come back: at least the first byte stays
            // programmed, so a blank check or a later verify sees it.
            if (pFlash[0] == 0xFF) {
              pFlash[0] = 0x00;
              Written(pFlash, 1);
            }
            dwStatus = kSimAmiEraseFailed;
          } else {
            memset(pFlash, 0xFF, ami::kBlockSize);
            Written(pFlash, ami::kBlockSize);
          }
          break;
        }
        uint8_t* pBuffer = BufferAtPhysical(req.dwBuffer, ami::kBlockSize);
        if (!pBuffer) {
          dwStatus = kSimAmiBadBuffer;
          break;
        }
        if (req.wFunction == ami::kSmiRead) {
          memcpy(pBuffer, pFlash, ami::kBlockSize);
          break;
        }
        ++m_nPrograms;
        if (m_pConfig->dwProgramFailBlock == dwBlock + 1) {
          dwStatus = kSimAmiProgramFailed;
        } else if (m_pConfig->dwSilentProgramAt != m_nPrograms) {
          // A flash cell only goes from 1 to 0 by programming.
          for (uint32_t i = 0; i < ami::kBlockSize; ++i) pFlash[i] &= pBuffer[i];
          Written(pFlash, ami::kBlockSize);
        }
        break;
      }
      default:
        dwStatus = kSimAmiUnknownFunction;
        break;
    }
  }
  LogSmi(dwCode, req, dwStatus);
  *pdwResult1 = dwResult1;
  *pdwResult2 = dwResult2;
  return dwStatus;
}

uint32_t CSimAmiBoard::HwIoctl(uint32_t dwCode, const uint8_t* pIn, uint32_t nIn, uint8_t* pOut,
                               uint32_t nOut, uint32_t* pnReturned) {
  switch (dwCode) {
    case ami::kReadPortByte:
    case ami::kReadPortWord:
    case ami::kReadPortDword: {
      if (nIn < 4) return kSimInvalidParameter;
      if (nOut < 4) return kSimBufferTooSmall;
      uint16_t wPort = static_cast<uint16_t>(GetU32(pIn));
      uint32_t nBytes = dwCode == ami::kReadPortByte ? 1 : dwCode == ami::kReadPortWord ? 2 : 4;
      uint32_t dwValue = 0;
      for (uint32_t i = 0; i < nBytes; ++i)
        dwValue |= static_cast<uint32_t>(ReadPort(static_cast<uint16_t>(wPort + i))) << (8 * i);
      PutU32(pOut, dwValue);
      *pnReturned = 4;
      return kSimOk;
    }
    case ami::kWritePortByte:
    case ami::kWritePortWord:
    case ami::kWritePortDword: {
      if (nIn < sizeof(ami::SPortWrite)) return kSimInvalidParameter;
      uint16_t wPort = static_cast<uint16_t>(GetU32(pIn));
      uint32_t dwValue = GetU32(pIn + 4);
      uint32_t nBytes = dwCode == ami::kWritePortByte ? 1 : dwCode == ami::kWritePortWord ? 2 : 4;
      for (uint32_t i = 0; i < nBytes; ++i)
        WritePort(static_cast<uint16_t>(wPort + i), static_cast<uint8_t>(dwValue >> (8 * i)));
      return kSimOk;
    }
    case ami::kCallSmi:
    case ami::kCallSmiCmos: {
      if (nIn < sizeof(ami::SSmiRequest)) return kSimInvalidParameter;
      if (nOut < ami::kSmiStatusBytes) return kSimBufferTooSmall;
      if (!PowerHolds(true)) return kSimNotAnswering;
      // Input and output may be the same buffer (as they are for a
      // METHOD_BUFFERED driver): take the request before answering.
      ami::SSmiRequest req;
      memcpy(&req, pIn, sizeof req);
      uint32_t dwResult1 = 0, dwResult2 = 0;
      uint32_t dwStatus = CallSmi(dwCode, req, &dwResult1, &dwResult2);
      // Status-only get-information: the status is the result the request
      // asks for (Result 2 when its field is 1, else Result 1).
      if (nOut < ami::kSmiReplyBytes && dwCode == ami::kCallSmi &&
          req.wFunction == ami::kSmiGetInfo && dwStatus == kSimAmiOk)
        dwStatus = req.dwResult2 == 1 ? dwResult2 : dwResult1;
      if (nOut >= ami::kSmiReplyBytes) {
        ami::SSmiRequest reply = req;
        reply.dwResult1 = dwResult1;
        reply.dwResult2 = dwResult2;
        memcpy(pOut, &reply, sizeof reply);
        PutU32(pOut, dwStatus);  // over the function and port words
        *pnReturned = sizeof reply;
      } else {
        PutU32(pOut, dwStatus);
        *pnReturned = 4;
      }
      return kSimOk;
    }
    default:
      return kSimInvalidRequest;
  }
}

uint32_t CSimAmiBoard::Request(EDevice eDevice, uint32_t dwCode, const void* pIn, uint32_t nIn,
                               void* pOut, uint32_t nOut, uint32_t* pnReturned) {
  *pnReturned = 0;
  if (!m_pBlob) return kSimNotAnswering;
  if (!pIn) nIn = 0;
  if (!pOut) nOut = 0;
  const uint8_t* pbyIn = static_cast<const uint8_t*>(pIn);
  uint8_t* pbyOut = static_cast<uint8_t*>(pOut);
  // The log keeps the input as sent: it may share its buffer with the
  // output, which the request overwrites.
  uint8_t abyLogged[sizeof(SSimLogEntry::abyIn)] = {};
  if (nIn) memcpy(abyLogged, pIn, nIn < sizeof abyLogged ? nIn : sizeof abyLogged);
  uint32_t dwResult;
  if (!PowerHolds(false))
    dwResult = kSimNotAnswering;
  else if (eDevice == kHwIoctl)
    dwResult = HwIoctl(dwCode, pbyIn, nIn, pbyOut, nOut, pnReturned);
  else
    dwResult = MemoryDevice(eDevice == kMemctl, dwCode, pbyIn, nIn, pbyOut, nOut, pnReturned);
  m_Log.Add(kSimIoControl, dwCode, abyLogged, nIn, nOut, dwResult == kSimOk);
  return dwResult;
}

// ------------------------------------------------------ Windows 9x --

bool CSimAmiBoard::PortOut(uint16_t wPort, uint8_t byValue) {
  if (!m_pBlob || !PowerHolds(false)) return false;
  WritePort(wPort, byValue);
  m_Log.Add(kSimPortOut, wPort, &byValue, 1, 0, true);
  return true;
}

bool CSimAmiBoard::PortIn(uint16_t wPort, uint8_t* pbyValue) {
  *pbyValue = 0xFF;
  if (!m_pBlob || !PowerHolds(false)) return false;
  *pbyValue = ReadPort(wPort);
  m_Log.Add(kSimPortIn, wPort, nullptr, 0, 1, true);
  return true;
}

bool CSimAmiBoard::ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes) {
  if (!m_pBlob || !PowerHolds(false)) return false;
  uint8_t* p = static_cast<uint8_t*>(pOut);
  for (uint32_t i = 0; i < nBytes; ++i) {
    uint32_t a = dwAddress + i;
    const uint8_t* pBuffer;
    if (a - ami::kSegmentAddress < ami::kSegmentSize)
      p[i] = m_pSegment[a - ami::kSegmentAddress];
    else if ((pBuffer = BufferAtPhysical(a, 1)) != nullptr)
      p[i] = *pBuffer;
    else
      p[i] = 0xFF;
  }
  m_Log.Add(kSimPhysRead, dwAddress, nullptr, 0, nBytes, true);
  return true;
}

bool CSimAmiBoard::RaiseSmi(uint16_t wPort, SX86Registers* pRegs) {
  pRegs->dwEdx = (pRegs->dwEdx & 0xFFFF0000u) | wPort;
  if (!m_pBlob) return false;
  uint32_t dwEax = pRegs->dwEax;
  const bool bFlashCall = wPort == m_pConfig->wSmiPort && pRegs->dwEbx == ami::kDirectSmiEbx &&
                          (dwEax & 0xFFFF0000u) == ami::kDirectSmiEaxBase;
  if (!PowerHolds(bFlashCall)) {
    m_Log.Add(kSimSmi, dwEax & 0xFFFF, pRegs, sizeof *pRegs, 0, false);
    return false;
  }
  m_Log.Add(kSimSmi, dwEax & 0xFFFF, pRegs, sizeof *pRegs, 0, true);
  if (!bFlashCall) {
    WritePort(wPort, static_cast<uint8_t>(dwEax));  // no flash call: a plain write
    return true;
  }
  ami::SSmiRequest req = {};
  req.wFunction = static_cast<uint16_t>(dwEax);
  req.wPort = wPort;
  req.dwSize = pRegs->dwEcx & 0xFFFF;
  req.dwRemaining = pRegs->dwEdi;
  req.dwBuffer = pRegs->dwEsi;
  uint32_t dwResult1 = 0, dwResult2 = 0;
  uint32_t dwStatus = CallSmi(0, req, &dwResult1, &dwResult2);
  pRegs->dwEax = (dwEax & 0xFFFF0000u) | (dwStatus & 0xFFFF);
  pRegs->dwEbx = dwResult1;
  pRegs->dwEcx = dwResult2;
  return true;
}
