#include "tessaro/core/Switches.h"

#include <cctype>

#include "tessaro/core/FlashOptions.h"

SFamilyState g_Family;
const bool& g_bAmiBios = g_Family.bAmi;
const bool& g_bAwardBios = g_Family.bAward;
bool g_bTest = false;
bool g_bBeta = false;
bool g_bPower = false;
bool g_bTran = false;
bool g_bDebug = false;

bool* ApplyCommandLine(const std::string& strCommandLine) {
  struct SSwitch {
    const char* pszText;
    bool* pbFlag;
  };
  static const SSwitch s_aSwitches[] = {
      {"-test", &g_bTest}, {"-beta", &g_bBeta},   {"-power", &g_bPower},
      {"-tran", &g_bTran}, {"-debug", &g_bDebug},
  };
  std::string strLower = strCommandLine;
  for (char& c : strLower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const SSwitch& sw : s_aSwitches) {
    if (strLower == sw.pszText) {
      *sw.pbFlag = true;
      return sw.pbFlag;
    }
  }
  return nullptr;
}

void ResetProgramState() {
  g_Family = SFamilyState();
  g_bTest = g_bBeta = g_bPower = g_bTran = g_bDebug = false;
  g_FlashOptions = DefaultFlashOptions();
}
