// Checks of an AMI BIOS image file before it is flashed: the ROM header,
// the module chain, the compressed modules and the image's own sum
// (protocol/AmiImage.h has the layout, doc/ami-image.md the rules). Every
// read is bounds-checked; a file that fails any check is refused before
// anything is erased.
#pragma once

#include <cstddef>
#include <cstdint>

// Decompresses a "-lh5-" module: exactly nOut bytes from at most nIn.
using FnModuleDecoder = bool (*)(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut);

// Position of the first "AMIBIOSC" in the image, -1 when absent;
// *pbFormat is cleared when the four characters after it are not "0700".
long FindRomHeader(const uint8_t* pImage, size_t nSize, bool* pbFormat);

struct SAmiModule {
  uint32_t dwPosition = 0;  // image position of its 16-byte header
  uint32_t dwStoredSize = 0;
  uint32_t dwOriginalSize = 0;
  uint8_t byType = 0;
  bool bCompressed = false;
};

// Walks the module chain from the ROM header and returns the first module
// of the type. False when the chain does not hold one, or when it breaks
// off (a link before the image, a module running past its end, a loop):
// the walk never reads outside the image.
bool FindModule(const uint8_t* pImage, size_t nSize, uint8_t byType, SAmiModule* pModule);

// The whole file's check; 0 or the id of the message that refuses it:
// 760 without a ROM header, when a compressed module does not decode to
// its size or when the sum is wrong; 802 when the chain is broken or holds
// no module.
uint32_t CheckAmiImage(const uint8_t* pImage, size_t nSize, FnModuleDecoder fnDecode);
