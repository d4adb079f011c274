// What a simulation core needs from the place it runs in, and the request
// log every core keeps.
//
// The cores (CSimAwardBoard, CSimMirelController) are compiled twice: into
// native and Windows user-mode code (tests, the in-process device port) and
// into kernel drivers loaded by Wine. So they use no exceptions, no RTTI, no
// standard containers and no heap of their own: every byte of memory comes
// from SSimHost::pfnAlloc, and the only library calls are memcpy, memset and
// memcmp.
//
// State write-through: each core keeps all of its persistent state (the
// description it was built from, flash or controller memory, CMOS, profiles)
// in one contiguous blob whose layout is the state file's layout. After every
// change it calls pfnStateWritten with the changed byte range of the blob, so
// a host that mirrors the blob into a file keeps the file current even when
// the process or driver ends without warning (Wine ends drivers without
// unloading them).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

struct SSimHost {
  void* pContext = nullptr;
  // Zero-filled memory of nBytes, or null.
  void* (*pfnAlloc)(void* pContext, size_t nBytes) = nullptr;
  void (*pfnFree)(void* pContext, void* pMemory) = nullptr;
  // Bytes [dwOffset, dwOffset + nBytes) of the state blob (at pBlob) changed.
  // Optional.
  void (*pfnStateWritten)(void* pContext, const uint8_t* pBlob, uint32_t dwOffset,
                          uint32_t nBytes) = nullptr;
};

// Reports bytes [pAt, pAt + nBytes) of the state blob at pBlob as changed.
inline void SimStateWritten(const SSimHost* pHost, const uint8_t* pBlob, const void* pAt,
                            uint32_t nBytes) {
  if (pHost && pHost->pfnStateWritten && nBytes)
    pHost->pfnStateWritten(pHost->pContext, pBlob,
                           static_cast<uint32_t>(static_cast<const uint8_t*>(pAt) - pBlob), nBytes);
}

// What kind of access a log entry records.
enum ESimAccess : uint8_t {
  kSimIoControl = 0,  // a device request; dwCode is the I/O control code
  kSimPortOut = 1,    // direct mode OUT: dwCode = port, abyIn[0] = value
  kSimPortIn = 2,     // direct mode IN: dwCode = port, dwOutBytes = 1
  kSimSmi = 3,        // direct mode SMI: dwCode = AL | AH << 8, abyIn = registers
  kSimPhysRead = 4,   // direct mode memory copy: dwCode = address, dwOutBytes = length
};

// One request as the device saw it. Input beyond 32 bytes is not kept (no
// request of either device sends more, except the 259-byte controller
// records, whose first 32 bytes hold the command, lengths, address and the
// start of the data; a direct-mode SMI keeps all six registers).
struct SSimLogEntry {
  uint8_t byAccess;     // ESimAccess
  uint8_t bySucceeded;  // 1 when the request was answered
  uint16_t wReserved;
  uint32_t dwCode;
  uint32_t dwInBytes;   // input length as sent
  uint32_t dwOutBytes;  // output buffer length as offered
  uint8_t abyIn[32];    // first min(dwInBytes, 32) input bytes, zero-filled
  // Little-endian u32 of the input at offset n (0 outside the kept bytes).
  uint32_t InU32(uint32_t n) const {
    if (n + 4 > sizeof abyIn) return 0;
    return abyIn[n] | (abyIn[n + 1] << 8) | (abyIn[n + 2] << 16) |
           (static_cast<uint32_t>(abyIn[n + 3]) << 24);
  }
  uint16_t InU16(uint32_t n) const {
    if (n + 2 > sizeof abyIn) return 0;
    return static_cast<uint16_t>(abyIn[n] | (abyIn[n + 1] << 8));
  }
};

// Request log with a fixed capacity. When it is full, later entries are
// counted but not kept, so the start of a sequence is never lost.
class CSimRequestLog {
 public:
  // nCapacity entries from the host (0 disables keeping entries).
  bool Init(const SSimHost* pHost, uint32_t nCapacity) {
    Free();
    m_pHost = pHost;
    if (nCapacity == 0) return true;
    m_pEntries = static_cast<SSimLogEntry*>(
        pHost->pfnAlloc(pHost->pContext, sizeof(SSimLogEntry) * static_cast<size_t>(nCapacity)));
    if (!m_pEntries) return false;
    m_nCapacity = nCapacity;
    return true;
  }
  void Free() {
    if (m_pEntries && m_pHost) m_pHost->pfnFree(m_pHost->pContext, m_pEntries);
    m_pEntries = nullptr;
    m_nCapacity = m_nCount = m_nDropped = 0;
  }
  void Clear() { m_nCount = m_nDropped = 0; }
  uint32_t Count() const { return m_nCount; }
  uint32_t Dropped() const { return m_nDropped; }
  const SSimLogEntry* Entry(uint32_t n) const { return n < m_nCount ? &m_pEntries[n] : nullptr; }

  void Add(uint8_t byAccess, uint32_t dwCode, const void* pIn, uint32_t nIn, uint32_t nOut,
           bool bSucceeded) {
    if (m_nCount >= m_nCapacity) {
      ++m_nDropped;
      return;
    }
    SSimLogEntry& e = m_pEntries[m_nCount++];
    e.byAccess = byAccess;
    e.bySucceeded = bSucceeded ? 1 : 0;
    e.wReserved = 0;
    e.dwCode = dwCode;
    e.dwInBytes = nIn;
    e.dwOutBytes = nOut;
    memset(e.abyIn, 0, sizeof e.abyIn);
    if (pIn && nIn) memcpy(e.abyIn, pIn, nIn < sizeof e.abyIn ? nIn : sizeof e.abyIn);
  }

 private:
  const SSimHost* m_pHost = nullptr;
  SSimLogEntry* m_pEntries = nullptr;
  uint32_t m_nCapacity = 0;
  uint32_t m_nCount = 0;
  uint32_t m_nDropped = 0;
};

// Small reproducible pseudo-random source for faults (xorshift32).
class CSimRandom {
 public:
  void Seed(uint32_t dwSeed) { m_dwState = dwSeed ? dwSeed : 0x9E3779B9u; }
  uint32_t Next() {
    uint32_t x = m_dwState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    m_dwState = x;
    return x;
  }
  // Uniform-enough value in [0, n) for small n.
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }

 private:
  uint32_t m_dwState = 0x9E3779B9u;
};

// Status values a core returns through its host's request entry point; the
// kernel driver maps them to NTSTATUS, the in-process device to Win32 errors.
enum ESimResult : uint32_t {
  kSimOk = 0,
  kSimInvalidRequest = 1,    // unknown code (ERROR_INVALID_FUNCTION)
  kSimInvalidParameter = 2,  // bad input length or content (ERROR_INVALID_PARAMETER)
  kSimBufferTooSmall = 3,    // output buffer shorter than the reply (ERROR_INSUFFICIENT_BUFFER)
  kSimNotAnswering = 4,      // power cut: the device no longer answers (ERROR_GEN_FAILURE)
};
