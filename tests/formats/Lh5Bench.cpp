// Throughput of the "-lh5-" codec on 1 MiB of text, random and repetitive
// bytes (not a test). bytes_per_second counts original bytes for both
// directions; the plain copy of the same bytes is the baseline of the run.
//   build/native/bin/formats_bench   (the native preset builds it; time
//   Debian's tools on the same data for comparison)
#include <benchmark/benchmark.h>
#include <string.h>

#include <vector>

#include "formats/Lh5.h"
#include "tests/formats/Lh5TestData.h"

namespace {

constexpr size_t kSize = 1 << 20;  // bytes

const std::vector<uint8_t>& Input(int nKind) {
  static const std::vector<uint8_t> s_vecText = lh5test::Text(kSize);
  static const std::vector<uint8_t> s_vecRandom = lh5test::Random(kSize);
  static const std::vector<uint8_t> s_vecRepetitive = lh5test::Repetitive(kSize);
  return nKind == 0 ? s_vecText : nKind == 1 ? s_vecRandom : s_vecRepetitive;
}

const char* Label(int nKind) { return nKind == 0 ? "text" : nKind == 1 ? "random" : "repetitive"; }

void BM_Copy(benchmark::State& state) {
  const std::vector<uint8_t>& vecIn = Input(static_cast<int>(state.range(0)));
  std::vector<uint8_t> vecOut(vecIn.size());
  for (auto _ : state) {
    memcpy(vecOut.data(), vecIn.data(), vecIn.size());
    benchmark::DoNotOptimize(vecOut.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * vecIn.size()));
  state.SetLabel(Label(static_cast<int>(state.range(0))));
}

void BM_Encode(benchmark::State& state) {
  const std::vector<uint8_t>& vecIn = Input(static_cast<int>(state.range(0)));
  size_t nPacked = 0;
  for (auto _ : state) nPacked = Lh5Encode(vecIn.data(), vecIn.size()).size();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * vecIn.size()));
  state.counters["ratio"] = static_cast<double>(nPacked) / static_cast<double>(vecIn.size());
  state.SetLabel(Label(static_cast<int>(state.range(0))));
}

void BM_Decode(benchmark::State& state) {
  const std::vector<uint8_t>& vecIn = Input(static_cast<int>(state.range(0)));
  std::vector<uint8_t> vecPacked = Lh5Encode(vecIn.data(), vecIn.size());
  std::vector<uint8_t> vecOut(vecIn.size());
  for (auto _ : state) {
    if (!Lh5Decode(vecPacked.data(), vecPacked.size(), vecOut.data(), vecOut.size()))
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(vecOut.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * vecIn.size()));
  state.SetLabel(Label(static_cast<int>(state.range(0))));
}

BENCHMARK(BM_Copy)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
