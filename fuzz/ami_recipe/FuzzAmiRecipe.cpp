// The AMI file checks, structure-aware: the input is a short recipe for
// the image builder (where the ROM header and the modules go, each
// module's type, content and whether it is stored compressed, one
// deliberate break) followed by direct patches of the fields the checks
// read (header version, first link, sum ranges and stored sum, each
// module's link, sizes, type, flags and its compressed bytes). The image
// is as small as the builder allows (the modules plus the 64 KB the
// running BIOS's segment takes), built in memory, optionally re-summed so
// the checks past the sum are reached, and walked by the engine's own
// checks with the real "-lh5-" decoder.
#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "formats/Lh5.h"
#include "fuzz/RecipeInput.h"
#include "protocol/AmiImage.h"
#include "sim/AmiImageBuilder.h"
#include "tessaro/ami/AmiImage.h"

namespace {

constexpr uint32_t kSegment = 0x10000;
constexpr uint32_t kHeaderLength = amiimage::kHeaderRanges + 2 * amiimage::kRangeBytes + 4;

bool Decode(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  return Lh5Decode(pIn, nIn, pOut, nOut);
}

// Module content that compresses into every kind of block: runs, text,
// noise, or bytes straight from the input.
std::vector<uint8_t> Content(CRecipeInput& in) {
  const uint32_t nKind = in.Pick(4);
  const uint32_t nLength = in.U16() % 6000;
  std::vector<uint8_t> vec(nLength);
  uint32_t dwState = in.U32() | 1;
  static const char s_szText[] = "AMIBIOS setup module; -lh5- ";
  for (uint32_t i = 0; i < nLength; ++i) {
    dwState = dwState * 1103515245u + 12345u;
    switch (nKind) {
      case 0:
        vec[i] = static_cast<uint8_t>(i / 97);
        break;
      case 1:
        vec[i] = static_cast<uint8_t>(s_szText[(i + (dwState >> 28)) % (sizeof s_szText - 1)]);
        break;
      case 2:
        vec[i] = static_cast<uint8_t>(dwState >> 24);
        break;
      default:
        vec[i] = in.U8();
        break;
    }
  }
  return vec;
}

#if defined(__clang__)
__attribute__((no_sanitize("coverage")))  // the harness's own byte loop
#endif
uint32_t
Sum(const std::vector<uint8_t>& rom, uint32_t dwFrom, uint32_t dwTo) {
  uint32_t dw = 0;
  for (uint32_t i = dwFrom; i < dwTo; ++i) dw += rom[i];
  return dw;
}

struct SBuilt {
  bool bOk = false;
  std::vector<uint8_t> rom;
  uint32_t dwHeaderPos = 0;
  std::vector<uint32_t> vecModules;  // positions of the module headers
};

SBuilt Build(CRecipeInput& in) {
  SBuilt built;
  const uint32_t nModules = 1 + in.Pick(4);
  std::vector<SSimAmiModule> vecModules(nModules);
  for (SSimAmiModule& module : vecModules) {
    module.byType = in.U8();
    module.bCompress = in.U8() & 1;
    module.vecData = Content(in);
  }
  built.dwHeaderPos = in.U16() % 0x400;
  const uint32_t dwModulesPos =
      (built.dwHeaderPos + kHeaderLength + 15 + (in.U8() % 4) * 16) & ~15u;
  const ESimAmiBreak eBreak = static_cast<ESimAmiBreak>(in.Pick(8));
  // Room for the modules as stored (compression can grow noise a little).
  uint32_t dwRoom = dwModulesPos + 16;
  for (const SSimAmiModule& module : vecModules)
    dwRoom +=
        amiimage::kModuleHeaderSize + static_cast<uint32_t>(module.vecData.size()) * 9 / 8 + 64;
  built.rom.assign(((dwRoom + 15) & ~15u) + kSegment, 0xFF);
  if (!StampAmiImage(&built.rom, built.dwHeaderPos, dwModulesPos, vecModules, eBreak, nullptr))
    return built;
  // Follow the chain as built to find the module headers.
  uint32_t dwLink = built.dwHeaderPos + amiimage::kHeaderFirstLink;
  for (uint32_t n = 0; n < nModules; ++n) {
    const uint16_t wOffset = static_cast<uint16_t>(built.rom[dwLink] | built.rom[dwLink + 1] << 8);
    const uint16_t wSegment =
        static_cast<uint16_t>(built.rom[dwLink + 2] | built.rom[dwLink + 3] << 8);
    uint32_t dwPosition = 0;
    if (!amiimage::LinkPosition(wOffset, wSegment, static_cast<uint32_t>(built.rom.size()),
                                &dwPosition) ||
        dwPosition + amiimage::kModuleHeaderSize > built.rom.size())
      break;
    built.vecModules.push_back(dwPosition);
    dwLink = dwPosition;
  }
  built.bOk = true;
  return built;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CRecipeInput in(data, size);
  // Images of recent recipes (named by the input bytes that made them) are
  // kept: compressing the modules costs more than checking them.
  static std::map<std::string, SBuilt> s_mapBuilt;
  SBuilt built;
  {
    CRecipeInput probe(data, size);
    Build(probe);
    const std::string strKey(reinterpret_cast<const char*>(data), probe.Position());
    auto it = s_mapBuilt.find(strKey);
    if (it == s_mapBuilt.end()) {
      if (s_mapBuilt.size() >= 64) s_mapBuilt.clear();
      it = s_mapBuilt.emplace(strKey, Build(in)).first;
    } else {
      Build(in);  // only to move past the recipe
    }
    built = it->second;
  }
  if (!built.bOk) return 0;
  std::vector<uint8_t>& rom = built.rom;

  // Patches: a field of the header or of a module, a byte of a module's
  // stored data, or any byte; 1 to 4 bytes each.
  const uint32_t nPatches = in.Pick(10);
  for (uint32_t n = 0; n < nPatches; ++n) {
    const uint32_t nWhere = in.Pick(4);
    uint64_t qwAt = 0;
    if (nWhere == 0) {
      static const uint32_t s_adwHeader[] = {8,
                                             amiimage::kHeaderFirstLink,
                                             amiimage::kHeaderFirstLink + 2,
                                             amiimage::kHeaderRangeCount,
                                             amiimage::kHeaderRanges,
                                             amiimage::kHeaderRanges + 4,
                                             amiimage::kHeaderRanges + 8,
                                             amiimage::kHeaderRanges + 12,
                                             kHeaderLength - 4};
      qwAt = built.dwHeaderPos + s_adwHeader[in.Pick(sizeof s_adwHeader / sizeof *s_adwHeader)];
    } else if (nWhere <= 2 && !built.vecModules.empty()) {
      const uint32_t dwModule = built.vecModules[in.Pick(built.vecModules.size())];
      static const uint32_t s_adwModule[] = {
          amiimage::kModuleNextLink,     amiimage::kModuleNextLink + 2, amiimage::kModuleStoredSize,
          amiimage::kModuleOriginalSize, amiimage::kModuleType,         amiimage::kModuleFlags};
      qwAt = nWhere == 1 ? dwModule + s_adwModule[in.Pick(6)]
                         : dwModule + amiimage::kModuleHeaderSize + in.U16();
    } else {
      qwAt = in.U32();
    }
    const std::vector<uint8_t> vecValue = in.Exactly(1 + in.Pick(4));
    for (size_t i = 0; i < vecValue.size(); ++i) rom[(qwAt + i) % rom.size()] = vecValue[i];
  }
  const uint8_t byMode = in.U8();
  if (byMode & 1) {
    // Re-summed over the ranges the builder listed (all but the header).
    const uint32_t dwEnd = built.dwHeaderPos + kHeaderLength;
    const uint32_t dwSum = Sum(rom, 0, built.dwHeaderPos) + Sum(rom, dwEnd, rom.size());
    for (int i = 0; i < 4; ++i) rom[dwEnd - 4 + i] = static_cast<uint8_t>(dwSum >> (8 * i));
  }
  if (byMode & 2) rom.resize(rom.size() - std::min<size_t>(in.U16(), rom.size()));

  CheckAmiImage(rom.data(), rom.size(), Decode);
  SAmiModule module;
  for (uint8_t byType : {0x10, 0x20}) FindModule(rom.data(), rom.size(), byType, &module);
  return 0;
}
