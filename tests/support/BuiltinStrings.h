// Native tests serve the program's own string table from the fake module
// port, as the running program's resources would.
#pragma once

#include "platform/fake/Fakes.h"
#include "tessaro/core/StringTable.h"

inline void UseBuiltinStrings(CFakeModulePort* pModules) {
  size_t nCount = 0;
  const SStringEntry* pEntries = GetBuiltinStrings(&nCount);
  for (size_t i = 0; i < nCount; ++i)
    pModules->m_mapStrings[CFakeModulePort::kSelf][pEntries[i].nId] = pEntries[i].pszText;
}
