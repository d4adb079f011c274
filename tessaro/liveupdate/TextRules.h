// Small text rules shared by the information-file code: the C library's
// atoi, strtok and fixed-buffer copies, written over bounded views so that
// no text from a file can make them read or write past an end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Copies text into a buffer of nSize bytes, cut to nSize - 1 characters,
// always zero-terminated (nothing is written when nSize is 0).
void CopyCut(std::string_view text, char* pszBuffer, size_t nSize);

// The decimal number at the start of text as atoi reads it: leading white
// space skipped, one sign allowed, reading stops at the first non-digit,
// no digits give 0. Values beyond the int range are held at its limits.
int AtoI(std::string_view text);

// The first token of text between the separators (strtok's first call):
// leading separators are skipped; empty when there is no token.
std::string_view FirstToken(std::string_view text, std::string_view separators);

// ASCII letters upper-cased, other bytes unchanged.
std::string UpperAscii(std::string_view text);
