#include "tessaro/core/StringTable.h"

namespace {

const SStringEntry s_aStrings[] = {
#define TESSARO_STRING(id, text) {id, text},
#include "tessaro/core/res/Strings.inc"
#undef TESSARO_STRING
};

}  // namespace

const SStringEntry* GetBuiltinStrings(size_t* pnCount) {
  *pnCount = sizeof(s_aStrings) / sizeof(s_aStrings[0]);
  return s_aStrings;
}

const char* FindBuiltinString(uint32_t nId) {
  for (const SStringEntry& entry : s_aStrings)
    if (entry.nId == nId) return entry.pszText;
  return nullptr;
}
