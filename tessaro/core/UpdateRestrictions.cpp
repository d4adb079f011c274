#include "tessaro/core/UpdateRestrictions.h"

namespace {

const SRestrictionKey s_aKeys[] = {
    {"NoClearCMOS", &SUpdateRestrictions::bNoClearCMOS, "m_bNoClearCMOS", kOptClearCMOS},
    {"NoLoadCMOSDefault", &SUpdateRestrictions::bNoLoadCMOSDefault, "m_bNoLoadCMOSDefault",
     kOptLoadCMOSDefault},
    {"NoFlashBootBlock", &SUpdateRestrictions::bNoFlashBootBlock, "m_bNoFlashBootBlock",
     kOptBootBlock},
    {"NoClearPNP", &SUpdateRestrictions::bNoClearPNP, "m_bNoClearPNP", kOptClearPNP},
    {"NoClearDMI", &SUpdateRestrictions::bNoClearDMI, "m_bNoClearDMI", kOptClearDMI},
    {"NoFlashNvRam", &SUpdateRestrictions::bNoFlashNvRam, "m_bNoFlashNvRam", kOptNvRam},
};

}  // namespace

const SRestrictionKey* GetRestrictionKeys(size_t* pnCount) {
  *pnCount = sizeof(s_aKeys) / sizeof(s_aKeys[0]);
  return s_aKeys;
}

void SUpdateRestrictions::ApplyTo(FlashOptions* pOptions) const {
  for (const SRestrictionKey& key : s_aKeys)
    if (this->*key.pFlag) (*pOptions)[key.nOption] = 0;
}
