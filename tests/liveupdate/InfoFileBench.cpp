// Lookup cost on a full-size information file: the indexed reader against
// the plain line walk over the same text, in the same run.
//   build/native/bin/liveupdate_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/fake/Fakes.h"
#include "tessaro/liveupdate/BiosInfoFile.h"
#include "tessaro/liveupdate/BoardIdentity.h"

namespace {

constexpr int kModels = 2000;

// A file of about 256 KB: 2000 list entries and 2000 model sections; the
// board's model is the last one.
std::string BuildText() {
  std::string str = "[GLOBAL]\r\ncount=1\r\ndate=2005/3/9\r\n[SUPPORT_MODEL]\r\n";
  char sz[160];
  for (int n = 1; n <= kModels; ++n) {
    std::snprintf(sz, sizeof(sz), "model%02d=M%04d\r\n", n, n);
    str += sz;
  }
  for (int n = 1; n <= kModels; ++n) {
    std::snprintf(sz, sizeof(sz),
                  "[M%04d]\r\nsupport=16,15,14\r\nfiles=2\r\nversions=16,15\r\n"
                  "16=m%04d_16.bin,1A2B\r\n15=m%04d_15.bin,3C4D\r\nNoClearCMOS=1\r\n",
                  n, n, n);
    str += sz;
  }
  if (str.size() > CBiosInfoFile::kMaxFileSize) str.resize(CBiosInfoFile::kMaxFileSize);
  return str;
}

struct SFixture {
  CFakeFileSystem fs;
  CBiosInfoFile file{fs};
  std::string strText = BuildText();
  std::string strLastModel;
  SFixture() {
    file.LoadBytes(reinterpret_cast<const uint8_t*>(strText.data()), strText.size(), INFO_PLAIN);
    // The last model whose section survived the size limit.
    for (int n = kModels; n > 0 && strLastModel.empty(); --n) {
      char sz[16];
      std::snprintf(sz, sizeof(sz), "M%04d", n);
      std::string strValue;
      if (file.GetString(sz, "NoClearCMOS", "", &strValue)) strLastModel = sz;
    }
  }
};

SFixture& Fixture() {
  static SFixture s_fixture;
  return s_fixture;
}

// What the index costs: one load of the whole file, index included.
void BM_LoadWithIndex(benchmark::State& state) {
  SFixture& f = Fixture();
  CBiosInfoFile file(f.fs);
  const uint8_t* pData = reinterpret_cast<const uint8_t*>(f.strText.data());
  for (auto _ : state)
    benchmark::DoNotOptimize(file.LoadBytes(pData, f.strText.size(), INFO_PLAIN));
}
BENCHMARK(BM_LoadWithIndex)->Unit(benchmark::kMillisecond);

void BM_LookupIndexed(benchmark::State& state) {
  SFixture& f = Fixture();
  std::string_view value;
  for (auto _ : state)
    benchmark::DoNotOptimize(f.file.Lookup(f.strLastModel, "NoClearCMOS", &value));
}
BENCHMARK(BM_LookupIndexed);

void BM_LookupByScan(benchmark::State& state) {
  SFixture& f = Fixture();
  std::string strValue;
  for (auto _ : state)
    benchmark::DoNotOptimize(f.file.LookupByScan(f.strLastModel, "NoClearCMOS", &strValue));
}
BENCHMARK(BM_LookupByScan)->Unit(benchmark::kMillisecond);

void BM_BuildUpdateListIndexed(benchmark::State& state) {
  SFixture& f = Fixture();
  CFixedBiosIdentity bios(EBiosFamily::Ami, f.strLastModel, "14");
  SBoardIdentityPorts ports;
  CBoardIdentity board(ports, bios, f.file, "", false);
  int nEntries = 0;
  for (auto _ : state) benchmark::DoNotOptimize(board.BuildUpdateList(f.strLastModel, &nEntries));
  if (nEntries != 2) state.SkipWithError("unexpected entry count");
}
BENCHMARK(BM_BuildUpdateListIndexed)->Unit(benchmark::kMillisecond);

// The lookups BuildUpdateList makes for the last model, each walked line by
// line: the model list entry by entry, then the section's keys.
void BM_BuildUpdateListByScan(benchmark::State& state) {
  SFixture& f = Fixture();
  static const char* const kSectionKeys[] = {"SID1",
                                             "support",
                                             "files",
                                             "versions",
                                             "16",
                                             "15",
                                             "NoClearCMOS",
                                             "NoLoadCMOSDefault",
                                             "NoFlashBootBlock",
                                             "NoClearPNP",
                                             "NoClearDMI",
                                             "NoFlashNvRam",
                                             "RebootMessage"};
  for (auto _ : state) {
    std::string strValue;
    char sz[16];
    for (int n = 1; n <= kModels; ++n) {
      std::snprintf(sz, sizeof(sz), "model%02d", n);
      f.file.LookupByScan("SUPPORT_MODEL", sz, &strValue);
      if (strValue == f.strLastModel) break;
    }
    for (const char* pszKey : kSectionKeys) f.file.LookupByScan(f.strLastModel, pszKey, &strValue);
    benchmark::DoNotOptimize(strValue);
  }
}
BENCHMARK(BM_BuildUpdateListByScan)->Unit(benchmark::kMillisecond);

// Prints each indexed figure against its line-walk baseline at the end.
class CRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      m_mapNs[run.benchmark_name()] = run.GetAdjustedRealTime() * Scale(run.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    Ratio("lookup (key near the end)", "BM_LookupByScan", "BM_LookupIndexed");
    Ratio("BuildUpdateList (2000 models)", "BM_BuildUpdateListByScan", "BM_BuildUpdateListIndexed");
  }

 private:
  static double Scale(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1;
      case benchmark::kMicrosecond:
        return 1e3;
      case benchmark::kMillisecond:
        return 1e6;
      case benchmark::kSecond:
        return 1e9;
    }
    return 1;
  }
  void Ratio(const char* pszWhat, const char* pszBase, const char* pszIndexed) {
    if (!m_mapNs.count(pszBase) || !m_mapNs.count(pszIndexed)) return;
    double dBase = m_mapNs[pszBase], dIndexed = m_mapNs[pszIndexed];
    std::printf("%s: indexed %.4f ms, line walk %.4f ms, %.0fx faster\n", pszWhat, dIndexed / 1e6,
                dBase / 1e6, dBase / dIndexed);
  }
  std::map<std::string, double> m_mapNs;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("file: %zu bytes, last model %s\n", Fixture().strText.size(),
              Fixture().strLastModel.c_str());
  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
