// The options the information file forbids for a board's next update: one
// record, filled from the board's model section and applied to the
// program-wide options before a flash.
#pragma once

#include <cstddef>

#include "tessaro/core/FlashOptions.h"

struct SUpdateRestrictions {
  bool bNoClearCMOS = false;
  bool bNoLoadCMOSDefault = false;
  bool bNoFlashBootBlock = false;
  bool bNoClearPNP = false;
  bool bNoClearDMI = false;
  bool bNoFlashNvRam = false;

  // Switches each forbidden option off (for this run only: the registry
  // keeps the user's choice).
  void ApplyTo(FlashOptions* pOptions) const;
};

// One row per restriction: the information file's key, the flag, the name
// the debug texts give it and the option it switches off; in the order the
// keys are read and reported.
struct SRestrictionKey {
  const char* pszKey;
  bool SUpdateRestrictions::*pFlag;
  const char* pszMember;
  size_t nOption;
};
const SRestrictionKey* GetRestrictionKeys(size_t* pnCount);
