// The layout of an AMI BIOS image file as the engine checks it and the
// bench's image builder writes it (doc/ami-image.md explains the rules).
// Freestanding C++ like the other protocol headers.
//
// ROM header, at the first "AMIBIOSC" in the image:
//   +0  "AMIBIOSC"            +8  "0700" (format version)
//   +12 u16 offset, u16 segment of the first module (the chain's start)
//   +16 u8 number of summed ranges (1..kMaxSumRanges), 3 bytes reserved
//   +20 the ranges: u32 image position, u32 length each
//   then u32: the byte sum (modulo 2^32) over those ranges
// Module header, 16 bytes at the module's image position:
//   +0  u16 offset, u16 segment of the next module (0xFFFF ends the chain)
//   +4  u32 stored size (bytes of data after the header)
//   +8  u32 original size (the data's size once decompressed)
//   +12 u8 type, +13 u8 flags (kModuleCompressed: "-lh5-" data), +14 u16 0
// A link names a module by the address the BIOS sees it at below 1 MB:
// image position = segment * 16 + offset + image size - 0x100000.
#pragma once

#include <stdint.h>

namespace amiimage {

constexpr char kRomHeader[] = "AMIBIOSC";  // 8 characters
constexpr char kFormatVersion[] = "0700";  // 4 characters after it
constexpr uint32_t kHeaderFirstLink = 12;
constexpr uint32_t kHeaderRangeCount = 16;
constexpr uint32_t kHeaderRanges = 20;
constexpr uint32_t kMaxSumRanges = 8;
constexpr uint32_t kRangeBytes = 8;

constexpr uint32_t kModuleHeaderSize = 16;
constexpr uint32_t kModuleNextLink = 0;
constexpr uint32_t kModuleStoredSize = 4;
constexpr uint32_t kModuleOriginalSize = 8;
constexpr uint32_t kModuleType = 12;
constexpr uint32_t kModuleFlags = 13;
constexpr uint8_t kModuleCompressed = 0x80;
constexpr uint16_t kEndOfChain = 0xFFFF;
// More modules than this in one chain mean a loop.
constexpr uint32_t kMaxModules = 256;
// A decompressed module larger than this is not believed (bytes).
constexpr uint32_t kMaxOriginalSize = 0x200000;

// The image position a link names; false when it lies before the image.
inline bool LinkPosition(uint16_t wOffset, uint16_t wSegment, uint32_t dwImageSize,
                         uint32_t* pdwPosition) {
  const uint32_t dwLinear = static_cast<uint32_t>(wSegment) * 16u + wOffset;
  if (dwLinear + dwImageSize < 0x100000u) return false;
  *pdwPosition = dwLinear + dwImageSize - 0x100000u;
  return true;
}

}  // namespace amiimage
