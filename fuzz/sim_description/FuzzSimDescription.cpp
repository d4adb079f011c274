// Board and controller descriptions and image recipes are text files written by hand or by
// test harnesses; neither parser may crash on any input, and whatever they
// accept must build a board or an image without touching memory it does
// not own.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "sim/AwardImageBuilder.h"
#include "sim/SimBench.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  SSimAwardDescription desc;
  std::string err;
  if (ParseAwardDescription(text, "", &desc, &err)) {
    CSimAwardBench bench;
    std::vector<uint8_t> flash(desc.config.dwRomSize <= 0x100000 ? desc.config.dwRomSize : 0, 0xA5);
    if (bench.Open(desc.config, flash, nullptr, &err)) {
      CSimAwardBoard& b = bench.Board();
      for (uint32_t a = b.RomBase(); a != 0 && b.BlockSizeAt(a); a += b.BlockSizeAt(a))
        b.Erase(a, b.BlockSizeAt(a));
    }
  }
  SSimMirelDescription mirel;
  if (ParseMirelDescription(text, "", &mirel, &err)) {
    // A "state" line names a file the bench would write wherever the
    // fuzzer runs; the description is what is under test, not the file.
    mirel.strStatePath.clear();
    CSimMirelBench bench;
    bench.Open(mirel, &err);
  }
  SAwardImageRecipe recipe;
  if (ParseAwardImageRecipe(text, &recipe, &err)) {
    std::vector<uint8_t> image, segment;
    BuildAwardImage(recipe, &image, &segment, &err);
  }
  return 0;
}
