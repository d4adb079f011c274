// A BIOS file is whatever the user picked or a server sent: the checks that
// decide whether it may touch the flash must refuse anything malformed with
// a message and never read or write outside the image, the segment or the
// ROM. Each input is checked as an update file against one of two fixed
// boards on the simulated bench, the 512 KB one for 512 KB inputs and the
// 256 KB one for all others; both carry lock data, NV tables and HDCP keys,
// so every carry-over path is reachable, and the 512 KB board lets a file
// switch to the erase maps and the module bank of the larger parts. Nothing
// is ever written.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "sim/AwardImageBuilder.h"
#include "tessaro/award/AwardFlasher.h"
#include "tests/award/BenchRig.h"

namespace {

struct SFixedBoard {
  explicit SFixedBoard(uint32_t dwRomSize) {
    SAwardImageRecipe r;
    r.dwRomSize = dwRomSize;
    r.bLock = true;
    r.vecLockData = std::vector<uint8_t>(16, 0x3C);
    r.strNvTable = "mm";
    r.bHdcp = true;
    std::string err;
    BuildAwardImage(r, &flash, &segment, &err);
    cfg.dwRomSize = r.dwRomSize;
    cfg.nEraseRegions = 4;
    // The top 64 KB split as the boot block parts of both sizes are.
    cfg.aEraseRegions[0] = {0x10000, static_cast<uint32_t>(dwRomSize / 0x10000 - 1)};
    cfg.aEraseRegions[1] = {0xC000, 1};
    cfg.aEraseRegions[2] = {0x1000, 2};
    cfg.aEraseRegions[3] = {0x2000, 1};
  }
  SSimAwardConfig cfg;
  std::vector<uint8_t> flash, segment;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const SFixedBoard s_small(0x40000), s_large(0x80000);
  const SFixedBoard& board = size == s_large.cfg.dwRomSize ? s_large : s_small;
  SBenchRig rig;
  // A check sends a few thousand requests at most.
  if (!rig.Start(board.cfg, board.flash, &board.segment, 1u << 14)) return 0;
  CAwardBios bios(rig.platform, rig.resources);
  if (!bios.Open()) return 0;
  rig.Board().Log().Clear();
  CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
  flasher.SetImage(data, static_cast<uint32_t>(size));
  FlashOptions options = DefaultFlashOptions();
  options.IgnoreBiosPNChk = static_cast<uint8_t>(size & 1);
  flasher.CheckFile(&options);
  // Checking never writes the flash or the CMOS.
  if (rig.Wrote() || rig.Count(winflash::kWritePort)) __builtin_trap();
  return 0;
}
