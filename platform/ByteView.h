// Checked read-only access to untrusted bytes (images, segments, driver
// replies, downloaded files). Every read names its offset and reports
// whether it was inside the buffer; nothing here can read past the end.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

class CByteView {
 public:
  CByteView() = default;
  CByteView(const void* pData, size_t nSize)
      : m_pData(static_cast<const uint8_t*>(pData)), m_nSize(pData ? nSize : 0) {}

  size_t Size() const { return m_nSize; }
  const uint8_t* Data() const { return m_pData; }

  // True when [offset, offset + length) lies inside the view.
  bool Contains(size_t offset, size_t length) const {
    return offset <= m_nSize && length <= m_nSize - offset;
  }

  bool U8(size_t offset, uint8_t* pOut) const {
    if (!Contains(offset, 1)) return false;
    *pOut = m_pData[offset];
    return true;
  }
  bool U16(size_t offset, uint16_t* pOut) const {  // little-endian
    if (!Contains(offset, 2)) return false;
    *pOut = static_cast<uint16_t>(m_pData[offset] | (m_pData[offset + 1] << 8));
    return true;
  }
  bool U32(size_t offset, uint32_t* pOut) const {  // little-endian
    if (!Contains(offset, 4)) return false;
    *pOut = static_cast<uint32_t>(m_pData[offset]) |
            (static_cast<uint32_t>(m_pData[offset + 1]) << 8) |
            (static_cast<uint32_t>(m_pData[offset + 2]) << 16) |
            (static_cast<uint32_t>(m_pData[offset + 3]) << 24);
    return true;
  }
  // Copies length bytes at offset to pOut; nothing is copied when any byte
  // would lie outside the view.
  bool Copy(size_t offset, void* pOut, size_t length) const {
    if (!Contains(offset, length)) return false;
    if (length) memcpy(pOut, m_pData + offset, length);
    return true;
  }
  // The sub-range [offset, offset + length), or an empty view when it does
  // not lie inside this one.
  CByteView Sub(size_t offset, size_t length) const {
    if (!Contains(offset, length)) return CByteView();
    return CByteView(m_pData + offset, length);
  }
  // Offset of the first occurrence of the marker starting at or after from
  // and ending at or before to (clamped to the view); -1 when absent.
  long Find(const void* pMarker, size_t nMarker, size_t from = 0, size_t to = SIZE_MAX) const {
    if (to > m_nSize) to = m_nSize;
    if (nMarker == 0 || from > to || to - from < nMarker) return -1;
    // Candidates by their first byte: a whole-image search compares the
    // rest only where that byte matches.
    const uint8_t byFirst = *static_cast<const uint8_t*>(pMarker);
    const size_t nLast = to - nMarker;  // last start that fits
    for (size_t i = from; i <= nLast; ++i) {
      const void* pHit = memchr(m_pData + i, byFirst, nLast + 1 - i);
      if (!pHit) return -1;
      i = static_cast<size_t>(static_cast<const uint8_t*>(pHit) - m_pData);
      if (memcmp(m_pData + i, pMarker, nMarker) == 0) return static_cast<long>(i);
    }
    return -1;
  }
  long Find(const char* pszMarker, size_t from = 0, size_t to = SIZE_MAX) const {
    return Find(pszMarker, strlen(pszMarker), from, to);
  }

 private:
  const uint8_t* m_pData = nullptr;
  size_t m_nSize = 0;
};
