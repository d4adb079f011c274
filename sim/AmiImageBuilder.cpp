#include "sim/AmiImageBuilder.h"

#include <cstring>

#include "formats/Lh5.h"
#include "protocol/AmiIoctl.h"
#include "protocol/AmiImage.h"

namespace {

void PutU16(std::vector<uint8_t>* p, uint32_t dwAt, uint16_t w) {
  (*p)[dwAt] = static_cast<uint8_t>(w);
  (*p)[dwAt + 1] = static_cast<uint8_t>(w >> 8);
}

void PutU32(std::vector<uint8_t>* p, uint32_t dwAt, uint32_t dw) {
  PutU16(p, dwAt, static_cast<uint16_t>(dw));
  PutU16(p, dwAt + 2, static_cast<uint16_t>(dw >> 16));
}

// The link (offset, segment) naming image position dwPosition of an image
// of dwSize bytes, as the BIOS sees it below 1 MB.
void PutLink(std::vector<uint8_t>* p, uint32_t dwAt, uint32_t dwPosition, uint32_t dwSize) {
  const uint32_t dwLinear = dwPosition + 0x100000u - dwSize;
  PutU16(p, dwAt, static_cast<uint16_t>(dwLinear & 0xF));
  PutU16(p, dwAt + 2, static_cast<uint16_t>(dwLinear >> 4));
}

std::vector<uint8_t> Stored(const SSimAmiModule& module) {
  if (!module.bCompress) return module.vecData;
  return Lh5Encode(module.vecData.data(), module.vecData.size());
}

}  // namespace

bool StampAmiImage(std::vector<uint8_t>* pRom, uint32_t dwHeaderPos, uint32_t dwModulesPos,
                   const std::vector<SSimAmiModule>& vecModules, ESimAmiBreak eBreak,
                   std::string* pstrError) {
  std::vector<uint8_t>& rom = *pRom;
  const uint32_t dwSize = static_cast<uint32_t>(rom.size());
  auto Fail = [&](const char* pszWhy) {
    if (pstrError) *pstrError = pszWhy;
    return false;
  };
  if (dwSize < ami::kSegmentSize || dwSize > 0x100000u || vecModules.empty())
    return Fail("an AMI image is 64 KB to 1 MB and has modules");
  const uint32_t dwLimit = dwSize - ami::kSegmentSize;
  const uint32_t dwHeaderLength = amiimage::kHeaderRanges + 2 * amiimage::kRangeBytes + 4;
  if (dwHeaderPos + dwHeaderLength > dwLimit || dwModulesPos % 16 != 0 ||
      (dwModulesPos < dwHeaderPos + dwHeaderLength && dwModulesPos + 16 > dwHeaderPos))
    return Fail("header and modules overlap or reach the segment");

  std::memcpy(rom.data() + dwHeaderPos, amiimage::kRomHeader, 8);
  std::memcpy(rom.data() + dwHeaderPos + 8, amiimage::kFormatVersion, 4);
  std::vector<uint32_t> vecPositions;
  uint32_t dwAt = dwModulesPos;
  for (const SSimAmiModule& module : vecModules) {
    const std::vector<uint8_t> vecStored = Stored(module);
    const uint32_t dwLength = amiimage::kModuleHeaderSize + static_cast<uint32_t>(vecStored.size());
    if (dwAt + dwLength > dwLimit) return Fail("the modules reach the segment");
    PutU32(&rom, dwAt + amiimage::kModuleStoredSize, static_cast<uint32_t>(vecStored.size()));
    PutU32(&rom, dwAt + amiimage::kModuleOriginalSize,
           static_cast<uint32_t>(module.vecData.size()));
    rom[dwAt + amiimage::kModuleType] = module.byType;
    rom[dwAt + amiimage::kModuleFlags] = module.bCompress ? amiimage::kModuleCompressed : 0;
    PutU16(&rom, dwAt + 14, 0);
    if (!vecStored.empty())  // an empty module stores nothing (and has no data pointer)
      std::memcpy(rom.data() + dwAt + amiimage::kModuleHeaderSize, vecStored.data(),
                  vecStored.size());
    vecPositions.push_back(dwAt);
    dwAt = (dwAt + dwLength + 15) / 16 * 16;
  }
  // The chain: header -> first module -> ... -> end mark.
  PutLink(&rom, dwHeaderPos + amiimage::kHeaderFirstLink, vecPositions[0], dwSize);
  for (size_t i = 0; i < vecPositions.size(); ++i) {
    if (i + 1 < vecPositions.size())
      PutLink(&rom, vecPositions[i], vecPositions[i + 1], dwSize);
    else
      PutU32(&rom, vecPositions[i], 0xFFFFFFFFu);
  }
  switch (eBreak) {
    case ESimAmiBreak::kCutChain:
      PutU16(&rom, dwHeaderPos + amiimage::kHeaderFirstLink, 0);
      PutU16(&rom, dwHeaderPos + amiimage::kHeaderFirstLink + 2, 0x0100);
      break;
    case ESimAmiBreak::kLoopingChain:
      PutLink(&rom, vecPositions.back(), vecPositions[0], dwSize);
      break;
    case ESimAmiBreak::kLinkOutside:
      PutU32(&rom, vecPositions.back() + amiimage::kModuleStoredSize, dwSize);
      break;
    case ESimAmiBreak::kCorruptModule:
    case ESimAmiBreak::kWrongSize:
      for (size_t i = 0; i < vecModules.size(); ++i) {
        if (!vecModules[i].bCompress) continue;
        const uint32_t dwModule = vecPositions[i];
        if (eBreak == ESimAmiBreak::kWrongSize) {
          PutU32(&rom, dwModule + amiimage::kModuleOriginalSize,
                 static_cast<uint32_t>(vecModules[i].vecData.size()) + 1);
        } else {
          rom[dwModule + amiimage::kModuleHeaderSize] ^= 0xFF;
          rom[dwModule + amiimage::kModuleHeaderSize + 1] ^= 0xFF;
        }
        break;
      }
      break;
    default:
      break;
  }

  // The sum over everything but the header (two ranges around it).
  rom[dwHeaderPos + amiimage::kHeaderRangeCount] = 2;
  PutU32(&rom, dwHeaderPos + amiimage::kHeaderRanges, 0);
  PutU32(&rom, dwHeaderPos + amiimage::kHeaderRanges + 4, dwHeaderPos);
  PutU32(&rom, dwHeaderPos + amiimage::kHeaderRanges + 8, dwHeaderPos + dwHeaderLength);
  PutU32(&rom, dwHeaderPos + amiimage::kHeaderRanges + 12, dwSize - (dwHeaderPos + dwHeaderLength));
  uint32_t dwSum = 0;
  for (uint32_t i = 0; i < dwSize; ++i)
    if (i < dwHeaderPos || i >= dwHeaderPos + dwHeaderLength) dwSum += rom[i];
  PutU32(&rom, dwHeaderPos + dwHeaderLength - 4, dwSum);
  if (eBreak == ESimAmiBreak::kWrongSum) rom[dwHeaderPos + dwHeaderLength] ^= 1;
  if (eBreak == ESimAmiBreak::kNoHeader) rom[dwHeaderPos] = 'X';
  return true;
}
