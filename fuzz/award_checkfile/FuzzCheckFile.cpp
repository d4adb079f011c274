// A BIOS file is whatever the user picked or a server sent: the checks that
// decide whether it may touch the flash must refuse anything malformed with
// a message and never read or write outside the image, the segment or the
// ROM. Each input is checked as an update file against one fixed board (a
// 256 KB BIOS with lock data, NV tables and HDCP keys, so every carry-over
// path is reachable) on the simulated bench; nothing is ever written.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "sim/AwardImageBuilder.h"
#include "tessaro/award/AwardFlasher.h"
#include "tests/award/BenchRig.h"

namespace {

struct SFixedBoard {
  SFixedBoard() {
    SAwardImageRecipe r;
    r.dwRomSize = 0x40000;
    r.bLock = true;
    r.vecLockData = std::vector<uint8_t>(16, 0x3C);
    r.strNvTable = "mm";
    r.bHdcp = true;
    std::string err;
    BuildAwardImage(r, &flash, &segment, &err);
    cfg.dwRomSize = r.dwRomSize;
    cfg.nEraseRegions = 4;
    cfg.aEraseRegions[0] = {0x10000, 3};
    cfg.aEraseRegions[1] = {0xC000, 1};
    cfg.aEraseRegions[2] = {0x1000, 2};
    cfg.aEraseRegions[3] = {0x2000, 1};
  }
  SSimAwardConfig cfg;
  std::vector<uint8_t> flash, segment;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const SFixedBoard s_board;
  SBenchRig rig;
  // A check sends a few thousand requests at most.
  if (!rig.Start(s_board.cfg, s_board.flash, &s_board.segment, 1u << 14)) return 0;
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
