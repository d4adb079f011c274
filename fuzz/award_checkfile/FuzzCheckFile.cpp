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

#include "platform/fake/Fakes.h"
#include "sim/AwardImageBuilder.h"
#include "sim/SimBench.h"
#include "sim/SimDevicePort.h"
#include "tessaro/app/Resources.h"
#include "tessaro/award/AwardFlasher.h"
#include "tessaro/award/WinFlashIoctl.h"

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
  CSimAwardBench bench;
  std::string err;
  if (!bench.Open(s_board.cfg, s_board.flash, &s_board.segment, &err)) {
    bench.Close();
    return 0;
  }
  CSimDevicePort devices;
  devices.AddAwardBoard(&bench.Board());
  CFakeFileSystem files;
  CFakeSystem system;
  CFakePowerPort power;
  CFakeModulePort modules;
  CFakeUi ui;
  CFakeRegistry registry;
  SPlatform platform;
  platform.pFiles = &files;
  platform.pRegistry = &registry;
  platform.pDevices = &devices;
  platform.pSystem = &system;
  platform.pPower = &power;
  platform.pModules = &modules;
  platform.pUi = &ui;
  files.m_mapFiles["C:\\work\\WinFlash.sys"] = {'M', 'Z'};
  CResources resources(modules);
  // The service manager is not needed: the driver file is found, its
  // service calls fail quietly and the device opens.
  struct SNoServices : IServicePort {
    std::unique_ptr<IServiceManager> OpenManager(uint32_t) override { return nullptr; }
    uint32_t LastError() const override { return 5; }
  } services;
  platform.pServices = &services;

  CAwardBios bios(platform, resources);
  if (!bios.Open()) {
    bench.Close();
    return 0;
  }
  bench.Board().Log().Clear();
  CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
  flasher.SetImage(data, static_cast<uint32_t>(size));
  FlashOptions options = DefaultFlashOptions();
  options.IgnoreBiosPNChk = static_cast<uint8_t>(size & 1);
  flasher.CheckFile(&options);
  // Checking never writes the flash.
  const CSimRequestLog& log = bench.Board().Log();
  for (uint32_t i = 0; i < log.Count(); ++i) {
    const uint32_t dwCode = log.Entry(i)->dwCode;
    if (dwCode == winflash::kEraseBlock || dwCode == winflash::kProgramNext ||
        dwCode == winflash::kWritePort)
      __builtin_trap();
  }
  bench.Close();
  return 0;
}
