#include "tessaro/ami/AmiImage.h"

#include <cstring>
#include <vector>

#include "platform/ByteView.h"
#include "protocol/AmiImage.h"

namespace {

constexpr uint32_t kMsgNotBiosFile = 760;
constexpr uint32_t kMsgModuleNotFound = 802;

bool ReadModule(const CByteView& image, uint32_t dwPosition, SAmiModule* pModule) {
  uint8_t byFlags = 0;
  if (!image.Contains(dwPosition, amiimage::kModuleHeaderSize) ||
      !image.U32(dwPosition + amiimage::kModuleStoredSize, &pModule->dwStoredSize) ||
      !image.U32(dwPosition + amiimage::kModuleOriginalSize, &pModule->dwOriginalSize) ||
      !image.U8(dwPosition + amiimage::kModuleType, &pModule->byType) ||
      !image.U8(dwPosition + amiimage::kModuleFlags, &byFlags))
    return false;
  pModule->dwPosition = dwPosition;
  pModule->bCompressed = (byFlags & amiimage::kModuleCompressed) != 0;
  // The data must lie inside the image as well.
  return image.Contains(dwPosition + amiimage::kModuleHeaderSize, pModule->dwStoredSize);
}

// Calls fnVisit for every module of the chain, in order; false when the
// chain breaks off before its end mark (or the visitor stops it: then
// *pbStopped is set).
template <class F>
bool WalkChain(const CByteView& image, long nHeader, F fnVisit, bool* pbStopped) {
  *pbStopped = false;
  size_t nLink = static_cast<size_t>(nHeader) + amiimage::kHeaderFirstLink;
  for (uint32_t n = 0; n <= amiimage::kMaxModules; ++n) {
    uint16_t wOffset = 0, wSegment = 0;
    if (!image.U16(nLink, &wOffset) || !image.U16(nLink + 2, &wSegment)) return false;
    if (wOffset == amiimage::kEndOfChain || wSegment == amiimage::kEndOfChain) return true;
    if (n == amiimage::kMaxModules) return false;  // a chain this long loops
    uint32_t dwPosition = 0;
    SAmiModule module;
    if (!amiimage::LinkPosition(wOffset, wSegment, static_cast<uint32_t>(image.Size()),
                                &dwPosition) ||
        !ReadModule(image, dwPosition, &module))
      return false;
    if (!fnVisit(module)) {
      *pbStopped = true;
      return false;
    }
    nLink = dwPosition + amiimage::kModuleNextLink;
  }
  return false;
}

}  // namespace

long FindRomHeader(const uint8_t* pImage, size_t nSize, bool* pbFormat) {
  const CByteView image(pImage, nSize);
  const long nHeader = image.Find(amiimage::kRomHeader);
  if (nHeader < 0) return -1;
  char szVersion[4] = {};
  if (!image.Copy(static_cast<size_t>(nHeader) + 8, szVersion, 4) ||
      std::memcmp(szVersion, amiimage::kFormatVersion, 4) != 0)
    *pbFormat = false;
  return nHeader;
}

bool FindModule(const uint8_t* pImage, size_t nSize, uint8_t byType, SAmiModule* pModule) {
  const CByteView image(pImage, nSize);
  bool bFormat = true;
  const long nHeader = FindRomHeader(pImage, nSize, &bFormat);
  if (nHeader < 0) return false;
  bool bStopped = false;
  WalkChain(
      image, nHeader,
      [&](const SAmiModule& module) {
        if (module.byType != byType) return true;
        *pModule = module;
        return false;
      },
      &bStopped);
  return bStopped;
}

uint32_t CheckAmiImage(const uint8_t* pImage, size_t nSize, FnModuleDecoder fnDecode) {
  const CByteView image(pImage, nSize);
  bool bFormat = true;
  const long nHeader = FindRomHeader(pImage, nSize, &bFormat);
  if (nHeader < 0 || !bFormat) return kMsgNotBiosFile;
  const size_t nBase = static_cast<size_t>(nHeader);

  // Every module of the chain; each compressed one must decode to exactly
  // its original size.
  uint32_t nModules = 0;
  bool bDecodes = true, bStopped = false;
  std::vector<uint8_t> vecOut;
  const bool bChainEnds = WalkChain(
      image, nHeader,
      [&](const SAmiModule& module) {
        ++nModules;
        if (!module.bCompressed) return true;
        if (!fnDecode || module.dwOriginalSize > amiimage::kMaxOriginalSize) {
          bDecodes = false;
          return false;
        }
        vecOut.assign(module.dwOriginalSize, 0);
        bDecodes = fnDecode(image.Data() + module.dwPosition + amiimage::kModuleHeaderSize,
                            module.dwStoredSize, vecOut.data(), vecOut.size());
        return bDecodes;
      },
      &bStopped);
  if (!bDecodes) return kMsgNotBiosFile;
  if (!bChainEnds || nModules == 0) return kMsgModuleNotFound;

  // The image's own sum over the ranges it lists.
  uint8_t byRanges = 0;
  if (!image.U8(nBase + amiimage::kHeaderRangeCount, &byRanges) || byRanges == 0 ||
      byRanges > amiimage::kMaxSumRanges)
    return kMsgNotBiosFile;
  uint32_t dwSum = 0;
  for (uint32_t i = 0; i < byRanges; ++i) {
    uint32_t dwStart = 0, dwLength = 0;
    const size_t nRange = nBase + amiimage::kHeaderRanges + i * amiimage::kRangeBytes;
    if (!image.U32(nRange, &dwStart) || !image.U32(nRange + 4, &dwLength) ||
        !image.Contains(dwStart, dwLength))
      return kMsgNotBiosFile;
    for (uint32_t n = 0; n < dwLength; ++n) dwSum += image.Data()[dwStart + n];
  }
  uint32_t dwStored = 0;
  if (!image.U32(nBase + amiimage::kHeaderRanges + byRanges * amiimage::kRangeBytes, &dwStored) ||
      dwStored != dwSum)
    return kMsgNotBiosFile;
  return 0;
}
