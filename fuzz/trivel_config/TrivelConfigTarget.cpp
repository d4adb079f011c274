// The plug-in's item sets over arbitrary configuration and controller
// content: the input is "TrivelConfig.XML", a NUL, "ULVOEQ.ini", a NUL, then
// the controller's bytes (reference clock code, base VID code, live flags,
// the seven voltage and clock records) and finally (profile, item, index)
// triples for SetIndex. Whatever the files and records hold, names fit
// their fields, every default and every index read from a record lies in
// its list, SetIndex takes exactly the indexes of its list, the limits stay
// within 0..254, and the information document builds.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "protocol/MirelIoctl.h"
#include "tests/trivelole/FakePluginSystem.h"
#include "trivelole/InfoDocument.h"
#include "trivelole/ItemSets.h"

namespace {

void Check(bool b) {
  if (!b) abort();
}

// The text up to the next NUL (or the end); *pnAt moves past the NUL.
std::string TakeText(const uint8_t* data, size_t size, size_t* pnAt) {
  size_t nEnd = *pnAt;
  while (nEnd < size && data[nEnd] != 0) ++nEnd;
  std::string str(reinterpret_cast<const char*>(data) + *pnAt, nEnd - *pnAt);
  *pnAt = nEnd < size ? nEnd + 1 : nEnd;
  return str;
}

template <class TSet>
void CheckSet(TSet& set, size_t nNameChars) {
  for (int nItem = -1; nItem <= kTrivelItems; ++nItem) {
    const int nCount = set.GetValueCount(nItem);
    std::string strText;
    if (nItem < 0 || nItem >= kTrivelItems) {
      Check(nCount == 0 && !set.GetItemName(nItem, &strText));
      continue;
    }
    Check(nCount > 0);
    Check(set.GetItemName(nItem, &strText) && strText.size() <= nNameChars);
    const int nDefault = set.GetDefaultIndex(nItem);
    Check(nDefault >= 0 && nDefault < nCount && set.GetValueText(nItem, nDefault, &strText));
    Check(!set.GetValueText(nItem, nCount, &strText) && !set.GetValueText(nItem, -1, &strText));
    for (int p = 0; p < kTrivelProfiles; ++p) {
      const int nIndex = set.GetIndex(p, nItem);
      Check(nIndex >= 0 && nIndex < nCount && set.GetValueText(nItem, nIndex, &strText));
    }
  }
}

CPluginBench& Bench() {
  static CPluginBench* s_pBench = new CPluginBench(false);
  return *s_pBench;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CPluginBench& bench = Bench();
  if (!bench.IsOpen()) abort();
  bench.system.vecBoxes.clear();
  bench.system.vecProfileReads.clear();
  bench.system.vecLoadedXml.clear();
  bench.system.vecPrivilege.clear();

  size_t nAt = 0;
  bench.WriteConfig(TakeText(data, size, &nAt));
  bench.WriteEqMap(TakeText(data, size, &nAt));

  CSimMirelController& controller = bench.Controller();
  auto Next = [&]() -> uint8_t { return nAt < size ? data[nAt++] : 0; };
  const uint8_t abySingles[3] = {Next(), Next(), Next()};
  controller.SetMemory(mirel::kAddrReferenceClock, &abySingles[0], 1);
  controller.SetMemory(mirel::kAddrBaseVid, &abySingles[1], 1);
  controller.SetMemory(mirel::kAddrLiveFlags, &abySingles[2], 1);
  for (uint32_t p = 0; p < mirel::kProfiles; ++p) {
    for (uint32_t i = 0; i < mirel::kVoltageRecordSize; ++i)
      controller.VoltageRecord(p)[i] = Next();
    for (uint32_t i = 0; i < mirel::kClockRecordSize; ++i) controller.ClockRecord(p)[i] = Next();
    controller.ProfileChanged(p);
  }

  CClockItemSet clock(&bench.system);
  CVoltageItemSet voltage(&bench.system);
  Check(clock.Initialise() && voltage.Initialise());
  Check(clock.Load() && voltage.Load());
  CheckSet(clock, kClockNameChars);
  CheckSet(voltage, kVoltageNameChars);

  for (int nStep = 0; nStep < 64 && nAt + 3 <= size; ++nStep) {
    const int nProfile = static_cast<int>(data[nAt] % 9) - 1;  // -1..7
    const int nItem = data[nAt + 1] % 4;                       // 3 is no item
    const int nIndex = static_cast<int16_t>(data[nAt + 2] << 8 | data[nAt + 1]) % 600;
    nAt += 3;
    const bool bValid = nProfile >= 0 && nProfile < kTrivelProfiles && nItem < kTrivelItems;
    const bool bClockFits = bValid && nIndex >= 0 && nIndex < clock.GetValueCount(nItem);
    const bool bVoltFits = bValid && nIndex >= 0 && nIndex < voltage.GetValueCount(nItem);
    Check(clock.SetIndex(nProfile, nItem, nIndex) == bClockFits);
    Check(voltage.SetIndex(nProfile, nItem, nIndex) == bVoltFits);
    if (bVoltFits) {
      const uint8_t* pbyRecord = voltage.Record(nProfile);
      Check(pbyRecord[17 + 2 * nItem] <= 254 && pbyRecord[18 + 2 * nItem] <= 254);
    }
  }
  CheckSet(clock, kClockNameChars);
  CheckSet(voltage, kVoltageNameChars);

  CPowerCounterReader counters(&bench.system);
  std::string strXml;
  for (int p = -1; p <= kTrivelProfiles; ++p)
    Check(BuildInfoDocument(&bench.system, &clock, &voltage, &counters, p, &strXml) &&
          !strXml.empty());
  return 0;
}
