// Tessaro's program-wide state for the length of one test: the command-line
// switches, the detected BIOS family and the update options are as at
// program start when the scope begins, and are put back when it ends, so
// no test sees what an earlier one left. Tests change that state only
// through a scope (engines keep further state of their own: the Award
// engine's scope is in tests/award/AwardTestKit.h).
#pragma once

#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/Switches.h"

class CProgramStateScope {
 public:
  CProgramStateScope() { Reset(); }
  ~CProgramStateScope() { Reset(); }
  CProgramStateScope(const CProgramStateScope&) = delete;
  CProgramStateScope& operator=(const CProgramStateScope&) = delete;

  static void Reset() { ResetProgramState(); }

  // What start-up would have set: a switch of the command line, the family
  // the detection found, the options read from the registry.
  void SetDebug(bool bOn) { g_bDebug = bOn; }
  void SetTran(bool bOn) { g_bTran = bOn; }
  void SetPower(bool bOn) { g_bPower = bOn; }
  void SetFamily(bool bAward, bool bAmi) {
    g_Family = SFamilyState();
    g_Family.bAward = bAward;
    g_Family.bAmi = bAmi;
  }
  void SetOptions(const FlashOptions& options) { g_FlashOptions = options; }
};
