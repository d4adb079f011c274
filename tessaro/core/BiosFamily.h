// The BIOS family of the machine: detected once at start-up, before any
// window exists, and read by everything after. g_Family is its one owner;
// the older flag names g_bAmiBios and g_bAwardBios read from it.
#pragma once

enum class EBiosFamily { None, Ami, Award };

// What start-up found, in the order it finds it.
struct SFamilyState {
  bool bAmi = false;                // the AMI signature is in the BIOS segment
  bool bAmiIdentityKnown = false;   // its identity word is recognised
  bool bAmiDriverReady = false;     // the AMI drivers work (shared buffer mapped)
  bool bAward = false;              // an Award BIOS answered through its driver
  bool bAwardWindowsFlash = false;  // and it allows flashing from Windows

  EBiosFamily Family() const {
    return bAmi ? EBiosFamily::Ami : bAward ? EBiosFamily::Award : EBiosFamily::None;
  }
};

// Written by the application object's construction only.
extern SFamilyState g_Family;
// Read-only views of g_Family under the program's flag names.
extern const bool& g_bAmiBios;
extern const bool& g_bAwardBios;
