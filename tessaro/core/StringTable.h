// The program's built-in string table (the texts of res/Strings.inc).
#pragma once

#include <cstddef>
#include <cstdint>

struct SStringEntry {
  uint32_t nId;
  const char* pszText;
};

// All entries in the order of the source, ids ascending.
const SStringEntry* GetBuiltinStrings(size_t* pnCount);
// The built-in text of nId, or null when the table has none.
const char* FindBuiltinString(uint32_t nId);
