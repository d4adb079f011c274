// Writes the structure of an AMI BIOS image (protocol/AmiImage.h) into a
// ROM image: the ROM header, a chain of modules (stored as given or
// compressed with the "-lh5-" method) and the image's sum over the ranges
// the header lists, which are everything but the header itself. Broken
// variants for the engine's refusal tests break exactly one of these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SSimAmiModule {
  uint8_t byType = 0;
  std::vector<uint8_t> vecData;  // original (decompressed) content
  bool bCompress = false;
};

// How a built image is broken (kNone: a good image).
enum class ESimAmiBreak {
  kNone,
  kNoHeader,       // the ROM header is missing
  kCutChain,       // a link points before the image
  kLoopingChain,   // the last module links back to the first
  kLinkOutside,    // a module's data runs past the image's end
  kCorruptModule,  // a compressed module's data is damaged
  kWrongSize,      // a compressed module's original size is one too large
  kWrongSum,       // one summed byte changed after the sum was taken
};

// The header goes at dwHeaderPos, the modules one after the other from
// dwModulesPos (16-byte aligned); none may reach the last 64 KB (the
// running BIOS's segment). False with a reason when they do not fit.
bool StampAmiImage(std::vector<uint8_t>* pRom, uint32_t dwHeaderPos, uint32_t dwModulesPos,
                   const std::vector<SSimAmiModule>& vecModules, ESimAmiBreak eBreak,
                   std::string* pstrError);
