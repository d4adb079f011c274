#include "tests/formats/LhaArchive.h"

#include "platform/ByteView.h"

namespace {

// Common fields of every header level, offsets from the header's start.
constexpr size_t kMethodAt = 2;     // 5 characters
constexpr size_t kPackedAt = 7;     // u32, bytes
constexpr size_t kOriginalAt = 11;  // u32, bytes
constexpr size_t kLevelAt = 20;     // u8

// Extension headers of levels 1 and 2: u16 size (counting type, data and
// the next size field), type byte, data, then the next header's size.
constexpr uint8_t kExtFileName = 0x01;

// Walks a chain of extension headers starting at nAt whose first size is
// wSize, all of them before nLimit; takes the file name from them. Returns
// the bytes they take, or SIZE_MAX when one leaves the range.
size_t WalkExtensions(const CByteView& view, size_t nAt, uint16_t wSize, size_t nLimit,
                      std::string* pstrName) {
  size_t nTotal = 0;
  while (wSize != 0) {  // every step moves on by 3 bytes or more
    if (wSize < 3 || nAt > nLimit || wSize > nLimit - nAt || !view.Contains(nAt, wSize))
      return SIZE_MAX;
    uint8_t byType = 0;
    view.U8(nAt, &byType);
    if (byType == kExtFileName)
      pstrName->assign(reinterpret_cast<const char*>(view.Data() + nAt + 1), wSize - 3u);
    uint16_t wNext = 0;
    view.U16(nAt + wSize - 2, &wNext);
    nAt += wSize;
    nTotal += wSize;
    wSize = wNext;
  }
  return nTotal;
}

bool ParseMember(const CByteView& view, size_t nAt, SLhaMember* pMember, size_t* pnNext) {
  CByteView header = view.Sub(nAt, view.Size() - nAt);
  uint8_t byLevel = 0;
  uint32_t dwPacked = 0;
  char szMethod[6] = {};
  if (!header.U8(kLevelAt, &byLevel) || !header.U32(kPackedAt, &dwPacked) ||
      !header.U32(kOriginalAt, &pMember->dwOriginalSize) || !header.Copy(kMethodAt, szMethod, 5))
    return false;
  pMember->strMethod = szMethod;
  pMember->nLevel = byLevel;
  size_t nData = 0;
  size_t nExtensions = 0;
  if (byLevel == 0 || byLevel == 1) {
    uint8_t bySize = 0, bySum = 0, byNameLen = 0;
    header.U8(0, &bySize);
    header.U8(1, &bySum);
    size_t nHeader = 2u + bySize;  // the size byte does not count itself or the checksum
    if (!header.Contains(0, nHeader) || !header.U8(21, &byNameLen) || 24u + byNameLen > nHeader)
      return false;
    uint8_t bySumNow = 0;
    for (size_t n = 2; n < nHeader; ++n)
      bySumNow = static_cast<uint8_t>(bySumNow + header.Data()[n]);
    if (bySumNow != bySum) return false;
    pMember->strName.assign(reinterpret_cast<const char*>(header.Data() + 22), byNameLen);
    header.U16(22u + byNameLen, &pMember->wCrc);
    nData = nHeader;
    if (byLevel == 1) {
      uint16_t wFirst = 0;
      header.U16(nHeader - 2, &wFirst);
      nExtensions = WalkExtensions(header, nHeader, wFirst, header.Size(), &pMember->strName);
      if (nExtensions == SIZE_MAX || nExtensions > dwPacked) return false;
      nData += nExtensions;  // level 1 counts them in the packed size
    }
  } else if (byLevel == 2) {
    uint16_t wHeader = 0, wFirst = 0;
    if (!header.U16(0, &wHeader) || !header.U16(21, &pMember->wCrc) || !header.U16(24, &wFirst) ||
        wHeader < 26 || !header.Contains(0, wHeader))
      return false;
    if (WalkExtensions(header, 26, wFirst, wHeader, &pMember->strName) == SIZE_MAX) return false;
    nData = wHeader;
  } else {
    return false;
  }
  pMember->nPackedSize = dwPacked - nExtensions;
  if (!header.Contains(nData, pMember->nPackedSize)) return false;
  pMember->nDataOffset = nAt + nData;
  *pnNext = pMember->nDataOffset + pMember->nPackedSize;
  return true;
}

}  // namespace

bool ParseLhaArchive(const std::vector<uint8_t>& vecArchive, std::vector<SLhaMember>* pvecMembers) {
  CByteView view(vecArchive.data(), vecArchive.size());
  pvecMembers->clear();
  size_t nAt = 0;
  for (;;) {
    uint8_t byFirst = 0, byLevel = 0;
    if (!view.U8(nAt, &byFirst)) return true;  // archives may end without the 0 byte
    // A 0 size byte ends the archive; a level 2 header of 256 bytes or more
    // also starts with 0 but carries its level at the usual place.
    if (byFirst == 0 && !(view.U8(nAt + kLevelAt, &byLevel) && byLevel == 2)) return true;
    SLhaMember member;
    size_t nNext = 0;
    if (!ParseMember(view, nAt, &member, &nNext)) return false;
    pvecMembers->push_back(member);
    nAt = nNext;
  }
}

uint16_t LhaCrc16(const uint8_t* p, size_t n) {
  uint16_t wCrc = 0;
  for (size_t i = 0; i < n; ++i) {
    wCrc ^= p[i];
    for (int nBit = 0; nBit < 8; ++nBit)
      wCrc = static_cast<uint16_t>((wCrc & 1) ? (wCrc >> 1) ^ 0xA001 : wCrc >> 1);
  }
  return wCrc;
}

void AppendLevel0Member(std::vector<uint8_t>* pvecArchive, const std::string& strName,
                        const std::vector<uint8_t>& vecPacked,
                        const std::vector<uint8_t>& vecOriginal) {
  auto put16 = [](std::vector<uint8_t>* pvec, uint32_t dw) {
    pvec->push_back(static_cast<uint8_t>(dw));
    pvec->push_back(static_cast<uint8_t>(dw >> 8));
  };
  auto put32 = [&](std::vector<uint8_t>* pvec, uint32_t dw) {
    put16(pvec, dw & 0xFFFF);
    put16(pvec, dw >> 16);
  };
  std::vector<uint8_t> vecHeader;  // from the method on; size and checksum go in front
  for (char ch : std::string("-lh5-")) vecHeader.push_back(static_cast<uint8_t>(ch));
  put32(&vecHeader, static_cast<uint32_t>(vecPacked.size()));
  put32(&vecHeader, static_cast<uint32_t>(vecOriginal.size()));
  // MS-DOS time stamp 2005-03-09 12:00:00: time word, then date word.
  put16(&vecHeader, 12u << 11);
  put16(&vecHeader, ((2005u - 1980u) << 9) | (3u << 5) | 9u);
  vecHeader.push_back(0x20);  // attribute: archive
  vecHeader.push_back(0);     // header level
  vecHeader.push_back(static_cast<uint8_t>(strName.size()));
  for (char ch : strName) vecHeader.push_back(static_cast<uint8_t>(ch));
  put16(&vecHeader, LhaCrc16(vecOriginal.data(), vecOriginal.size()));

  std::vector<uint8_t>& vecArchive = *pvecArchive;
  uint8_t bySum = 0;
  for (uint8_t by : vecHeader) bySum = static_cast<uint8_t>(bySum + by);
  vecArchive.push_back(static_cast<uint8_t>(vecHeader.size()));
  vecArchive.push_back(bySum);
  vecArchive.insert(vecArchive.end(), vecHeader.begin(), vecHeader.end());
  vecArchive.insert(vecArchive.end(), vecPacked.begin(), vecPacked.end());
}
