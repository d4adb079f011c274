// Throughput of the in-process bench: 16-byte WinFlash reads and programs
// through the device port, as the engine issues them. The baseline copies
// the same 16 bytes with memcpy, so the ratio tells what one simulated
// request costs beyond touching the data. Target: at least 1 million
// requests per second.
#include <benchmark/benchmark.h>
#include <string.h>

#include <vector>

#include "sim/SimBench.h"
#include "sim/SimDevicePort.h"
#include "protocol/WinFlashIoctl.h"

namespace {

struct SFixture {
  SFixture() {
    SSimAwardConfig cfg;
    std::vector<uint8_t> flash(cfg.dwRomSize, 0xFF);
    bench.Open(cfg, flash, nullptr, nullptr);
    bench.Board().SetLogCapacity(0);
    devices.AddAwardBoard(&bench.Board());
    device = devices.Open("\\\\.\\WinFlash");
  }
  CSimAwardBench bench;
  CSimDevicePort devices;
  std::unique_ptr<IDevice> device;
};

void BM_Baseline(benchmark::State& state) {
  std::vector<uint8_t> flash(0x80000, 0xFF);
  uint8_t out[16];
  uint32_t offset = 0;
  for (auto _ : state) {
    memcpy(out, flash.data() + offset, 16);
    offset = (offset + 16) & 0x7FFFF;
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ReadNext(benchmark::State& state) {
  SFixture f;
  uint32_t address = 0xFFF80000, n = 0;
  f.device->IoControl(winflash::kSetAddress, &address, 4, nullptr, 0, &n);
  uint8_t out[16];
  for (auto _ : state) {
    f.device->IoControl(winflash::kReadNext, nullptr, 0, out, 16, &n);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ProgramNext(benchmark::State& state) {
  SFixture f;
  uint32_t address = 0xFFF80000, n = 0, status = 0;
  f.device->IoControl(winflash::kSetAddress, &address, 4, nullptr, 0, &n);
  uint8_t data[16] = {0x5A};
  for (auto _ : state) {
    f.device->IoControl(winflash::kProgramNext, data, 16, &status, 4, &n);
    benchmark::DoNotOptimize(status);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_Baseline);
BENCHMARK(BM_ReadNext);
BENCHMARK(BM_ProgramNext);
BENCHMARK_MAIN();
