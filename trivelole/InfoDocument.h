// The information document the host asks for (GetInfo): the clock item 0
// and the three voltage items with their names and the values stored in a
// profile, and the six power and uptime counters read live from the
// controller (0x090D, 12 bytes, six little-endian 16-bit counters:
// PC_UP, PC_UPTOTAL, PC_POWER_CYCLE, PC_RESET_CYCLE, AC_UPTOTAL,
// AC_POWER_CYCLE).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "trivelole/ItemSets.h"
#include "trivelole/PluginPorts.h"

// The largest document GetInfo writes into a host's buffer, terminating
// NUL included (bytes). Hosts provide at least this much.
constexpr size_t kTrivelInfoBufferSize = 4096;

// Holds SeShutdownPrivilege enabled for its lifetime. A failed step shows
// "The operation failed with error 0x%.8X." (caption "Error", stop icon).
class CShutdownPrivilege {
 public:
  explicit CShutdownPrivilege(IPluginSystem* pSystem);
  ~CShutdownPrivilege();
  bool Enable();
  bool Disable();

 private:
  bool Set(bool bEnable);
  IPluginSystem* m_pSystem;
};

struct SPowerCounters {
  uint16_t wPcUp = 0;
  uint16_t wPcUpTotal = 0;
  uint16_t wPcPowerCycle = 0;
  uint16_t wPcResetCycle = 0;
  uint16_t wAcUpTotal = 0;
  uint16_t wAcPowerCycle = 0;
};

class CPowerCounterReader {
 public:
  // Enables the privilege (guard, then once more) and binds the controller
  // library for itself ("Load KT9020DLL failed." when it cannot; the
  // reader then reads zeros).
  explicit CPowerCounterReader(IPluginSystem* pSystem);
  virtual ~CPowerCounterReader();
  // Always true; all zeros when the read failed.
  bool ReadCounters(SPowerCounters* pCounters);

 private:
  IPluginSystem* m_pSystem;
  CShutdownPrivilege m_guard;
  std::unique_ptr<IControllerPort> m_pController;
};

// Builds the document for profile nProfile into a new document of the
// system and serialises it. False only when the document could not be
// built or serialised (*pstrXml then empty).
bool BuildInfoDocument(IPluginSystem* pSystem, CClockItemSet* pClock, CVoltageItemSet* pVoltage,
                       CPowerCounterReader* pCounters, int nProfile, std::string* pstrXml);
