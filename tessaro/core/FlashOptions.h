// The eleven update options, their defaults and their registry storage.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Ports.h"

// One byte per option (0 off, 1 on) in a fixed order: engines receive a
// pointer to the first and index the rest by position. Field names are
// the registry value names.
struct FlashOptions {
  uint8_t BootBlock;
  uint8_t NvRam;
  uint8_t CheckBiosID;
  uint8_t ClearCMOS;
  uint8_t LoadCMOSDefault;
  uint8_t AutoRebootSystem;
  uint8_t ClearDMI;
  uint8_t ClearPNP;
  uint8_t MainBlock;
  uint8_t IgnoreBiosIDChk;
  uint8_t IgnoreBiosPNChk;

  uint8_t& operator[](size_t n) { return reinterpret_cast<uint8_t*>(this)[n]; }
  uint8_t operator[](size_t n) const { return reinterpret_cast<const uint8_t*>(this)[n]; }
};
static_assert(sizeof(FlashOptions) == 11, "eleven one-byte options");

enum EFlashOption : size_t {
  kOptBootBlock = 0,
  kOptNvRam,
  kOptCheckBiosID,
  kOptClearCMOS,
  kOptLoadCMOSDefault,
  kOptAutoRebootSystem,
  kOptClearDMI,
  kOptClearPNP,
  kOptMainBlock,
  kOptIgnoreBiosIDChk,
  kOptIgnoreBiosPNChk,
  kOptionCount
};

// Registry value names in field order.
extern const char* const g_apszOptionNames[kOptionCount];
// The registry key under HKEY_LOCAL_MACHINE.
extern const char* const g_pszOptionsKey;

FlashOptions DefaultFlashOptions();

// Reads the eleven values over *pOptions; a value that cannot be read
// leaves its field unchanged; any non-zero value is on. Under WOW64 the
// key is opened in the 64-bit view.
void LoadOptions(IRegistry& registry, ISystem& system, FlashOptions* pOptions);
// Writes all eleven values as 1 or 0; failures are ignored. Under WOW64
// the key is written in the 64-bit view too, where LoadOptions reads it:
// written to the 32-bit view, a choice would be lost at the next start.
void SaveOptions(IRegistry& registry, ISystem& system, const FlashOptions& options);

// The program-wide options.
extern FlashOptions g_FlashOptions;
