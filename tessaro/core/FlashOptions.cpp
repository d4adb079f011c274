#include "tessaro/core/FlashOptions.h"

#include "tessaro/core/SystemInfo.h"

const char* const g_apszOptionNames[kOptionCount] = {
    "BootBlock",        "NvRam",    "CheckBiosID", "ClearCMOS", "LoadCMOSDefault",
    "AutoRebootSystem", "ClearDMI", "ClearPNP",    "MainBlock", "IgnoreBiosIDChk",
    "IgnoreBiosPNChk",
};

const char* const g_pszOptionsKey = "Software\\ULVO\\Tessaro";

FlashOptions g_FlashOptions = DefaultFlashOptions();

FlashOptions DefaultFlashOptions() {
  FlashOptions options;
  options.BootBlock = 1;
  options.NvRam = 1;
  options.CheckBiosID = 1;
  options.ClearCMOS = 1;
  options.LoadCMOSDefault = 0;
  options.AutoRebootSystem = 0;
  options.ClearDMI = 1;
  options.ClearPNP = 1;
  options.MainBlock = 1;
  options.IgnoreBiosIDChk = 0;
  options.IgnoreBiosPNChk = 0;
  return options;
}

void LoadOptions(IRegistry& registry, ISystem& system, FlashOptions* pOptions) {
  const uint32_t dwAccess = kRegRead | (IsWow64(system) ? kReg64View : 0);
  for (size_t i = 0; i < kOptionCount; ++i) {
    // One open per value, as the options are read one by one.
    std::unique_ptr<IRegistryKey> pKey =
        registry.Open(ERegRoot::LocalMachine, g_pszOptionsKey, dwAccess);
    if (!pKey) continue;
    uint32_t dwValue = 0;
    if (pKey->QueryDword(g_apszOptionNames[i], &dwValue)) (*pOptions)[i] = dwValue != 0 ? 1 : 0;
  }
}

void SaveOptions(IRegistry& registry, ISystem& system, const FlashOptions& options) {
  const uint32_t dwAccess = kRegWrite | (IsWow64(system) ? kReg64View : 0);
  for (size_t i = 0; i < kOptionCount; ++i) {
    std::unique_ptr<IRegistryKey> pKey =
        registry.Create(ERegRoot::LocalMachine, g_pszOptionsKey, dwAccess);
    if (!pKey) continue;
    pKey->SetDword(g_apszOptionNames[i], options[i] ? 1 : 0);
  }
}
