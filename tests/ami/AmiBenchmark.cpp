// Engine overhead of a 1 MB AMI save and update on the in-process bench (a
// benchmark, not a test): SMI requests by kind and the CPU time of engine
// and board together, against the time the same requests take through the
// drivers (about 1.1 ms per SMI round trip under Wine, the fastest seen,
// so the share printed is an upper bound). Budget: 2 %.
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "formats/Lh5.h"
#include "platform/fake/FakeServicePort.h"
#include "platform/fake/Fakes.h"
#include "sim/SimAmiBench.h"
#include "sim/SimDevicePort.h"
#include "tessaro/ami/AmiEngine.h"
#include "tests/ami/AmiRig.h"

namespace {

constexpr double kRoundTripSeconds = 0.0011;
constexpr double kBudget = 0.02;

const char kBoard[] =
    "board ami\nrom_size 1M\nsmi_port 0xB2\nidentity 1ABKQ0\nrom_type F\nsfi 0xF500\n"
    "tag 0xF600 P4X00 01\ndate 12/08/26\nseed 11\n";
const char kUpdate[] =
    "board ami\nrom_size 1M\nsmi_port 0xB2\nidentity 1ABKQ0\nrom_type F\nsfi 0xF500\n"
    "tag 0xF600 P4X00 02\ndate 03/14/27\nseed 12\n";

struct SQuietSinks : IDisplaySinks {
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int) override {}
  void SetStatusText(const std::string&) override {}
  void SetPercentText(const std::string&) override {}
};

bool Decode(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  return Lh5Decode(pIn, nIn, pOut, nOut);
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

const char* KindName(uint16_t wFunction) {
  switch (wFunction) {
    case ami::kSmiGetInfo:
      return "get-information";
    case ami::kSmiErase:
      return "erase-4k";
    case ami::kSmiProgram:
      return "program-4k";
    case ami::kSmiRead:
      return "read-4k";
    case ami::kSmiOpen:
      return "open";
    case ami::kSmiClose:
      return "close";
    default:
      return "other";
  }
}

void Report(const char* pszName, CSimAmiBoard& board, double dSeconds) {
  std::map<std::string, unsigned> mapKinds;
  for (uint32_t i = 0; i < board.SmiCount(); ++i)
    ++mapKinds[KindName(board.SmiEntry(i)->wFunction)];
  const double dRequests = board.SmiCount() * kRoundTripSeconds;
  std::printf("%s: %u SMI requests (", pszName, board.SmiCount());
  for (const auto& kind : mapKinds) std::printf(" %s %u", kind.first.c_str(), kind.second);
  std::printf(" ), engine and board %.4f s CPU, requests through the drivers ~%.2f s: %.2f %% %s\n",
              dSeconds, dRequests, 100.0 * dSeconds / dRequests,
              dSeconds / dRequests <= kBudget ? "(within 2 %)" : "(OVER 2 %)");
}

}  // namespace

int main() {
  SSimAmiDescription desc, update;
  std::string strError;
  if (!ParseAmiDescription(kBoard, ".", &desc, &strError) ||
      !ParseAmiDescription(kUpdate, ".", &update, &strError)) {
    std::printf("%s\n", strError.c_str());
    return 1;
  }
  CSimAmiBench bench;
  if (!bench.Open(desc, &strError)) return 1;
  SAmiRig rig;
  rig.m_devices.AddAmiBoard(&bench.Board());
  CAmiHwAccess hw(rig.Ports(), rig.m_resources, false);
  if (!hw.DetectAmiBios()) return 1;
  hw.OpenAmiAccess();
  CAmiEngine engine(rig.m_platform, rig.m_resources, hw, Decode);
  SQuietSinks sinks;

  bench.Board().ClearLogs();
  double dStart = CpuSeconds();
  engine.Save("C:\\save.rom", true, sinks);
  Report("save 1 MB", bench.Board(), CpuSeconds() - dStart);

  rig.m_files.m_mapFiles["C:\\update.rom"] = BuildAmiRom(update);
  FlashOptions options = DefaultFlashOptions();
  options.ClearCMOS = 0;
  options.AutoRebootSystem = 1;  // no question after the flash
  bench.Board().ClearLogs();
  dStart = CpuSeconds();
  engine.Update("C:\\update.rom", &options, "", sinks);
  Report("update 1 MB", bench.Board(), CpuSeconds() - dStart);
  return 0;
}
