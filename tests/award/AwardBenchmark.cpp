// Engine overhead of a 512 KB update and a 512 KB save on the in-process
// bench (a benchmark, not a test). The board's own time is measured by
// replaying the engine's request log straight into a fresh board; the
// engine's time is the rest. Budget: 2 % of the physical floor of a 512 KB
// part (about 9 s of erase and byte programming), that is 0.18 s.
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "tessaro/award/AwardSaver.h"
#include "tests/award/UpdateRig.h"

namespace {

constexpr double kBudgetSeconds = 0.18;

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

const char* KindName(uint32_t dwCode) {
  switch (dwCode) {
    case winflash::kReadPhysical:
      return "read-physical";
    case winflash::kSetSmiPort:
      return "smi-port";
    case winflash::kSmiControl:
      return "smi-control";
    case winflash::kSetAddress:
      return "set-address";
    case winflash::kReadNext:
      return "read-16";
    case winflash::kProgramNext:
      return "program-16";
    case winflash::kEraseBlock:
      return "erase-block";
    case winflash::kWritePort:
      return "port-write";
    default:
      return "other";
  }
}

// Board time of a logged sequence: every request again, on a fresh board.
double ReplaySeconds(const CSimRequestLog& log, SUpdateRig& rig) {
  CSimAwardBench bench;
  std::string strError;
  SSimAwardConfig cfg = rig.bench.Board().Config();
  if (!bench.Open(cfg, rig.flash, &rig.segment, &strError)) return 0;
  bench.Board().SetLogCapacity(1u << 20);
  static uint8_t s_abyOut[65536];
  uint32_t nReturned = 0;
  const double dStart = CpuSeconds();
  for (uint32_t i = 0; i < log.Count(); ++i) {
    const SSimLogEntry& e = *log.Entry(i);
    bench.Board().Request(e.dwCode, e.abyIn, e.dwInBytes, s_abyOut, e.dwOutBytes, &nReturned);
  }
  const double dSeconds = CpuSeconds() - dStart;
  bench.Close();
  return dSeconds;
}

void Report(const char* pszWhat, double dTotal, const CSimRequestLog& log, SUpdateRig& rig) {
  std::map<std::string, uint32_t> counts;
  for (uint32_t i = 0; i < log.Count(); ++i) ++counts[KindName(log.Entry(i)->dwCode)];
  const double dBoard = ReplaySeconds(log, rig);
  const double dEngine = dTotal > dBoard ? dTotal - dBoard : 0;
  printf("%s: %u requests (", pszWhat, log.Count());
  const char* pszSep = "";
  for (const auto& kv : counts) {
    printf("%s%s %u", pszSep, kv.first.c_str(), kv.second);
    pszSep = ", ";
  }
  printf(")\n  cpu total %.4f s, board %.4f s, engine %.4f s = %.1f %% of the %.2f s budget\n",
         dTotal, dBoard, dEngine, 100.0 * dEngine / kBudgetSeconds, kBudgetSeconds);
}

}  // namespace

int main() {
  SAwardImageRecipe recipe;
  recipe.dwRomSize = 0x80000;
  recipe.byLayout = 2;
  {
    SUpdateRig rig;
    if (!rig.Start(recipe)) return 1;
    rig.ui.m_queAnswers = {kIdYes, kIdNo};
    const double dStart = CpuSeconds();
    const bool bOk = rig.Update(DefaultFlashOptions());
    const double dTotal = CpuSeconds() - dStart;
    if (!bOk) return 1;
    Report("update 512 KB", dTotal, rig.Board().Log(), rig);
  }
  {
    SUpdateRig rig;
    if (!rig.Start(recipe)) return 1;
    rig.Board().Log().Clear();
    CAwardSaver saver(&rig.bios, &rig.progress, &rig.status, &rig.percent);
    const double dStart = CpuSeconds();
    const bool bOk = saver.Save("C:\\backup.bin", false);
    const double dTotal = CpuSeconds() - dStart;
    if (!bOk) return 1;
    Report("save 512 KB", dTotal, rig.Board().Log(), rig);
  }
  return 0;
}
