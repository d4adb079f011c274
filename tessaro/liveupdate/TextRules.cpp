#include "tessaro/liveupdate/TextRules.h"

#include <climits>
#include <cstring>

void CopyCut(std::string_view text, char* pszBuffer, size_t nSize) {
  if (!pszBuffer || nSize == 0) return;
  size_t n = text.size() < nSize - 1 ? text.size() : nSize - 1;
  if (n) std::memcpy(pszBuffer, text.data(), n);
  pszBuffer[n] = 0;
}

int AtoI(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool bNegative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) bNegative = text[i++] == '-';
  long long llValue = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    llValue = llValue * 10 + (text[i] - '0');
    if (llValue > static_cast<long long>(INT_MAX) + 1)
      llValue = static_cast<long long>(INT_MAX) + 1;
  }
  if (bNegative) return static_cast<int>(-llValue);
  return llValue > INT_MAX ? INT_MAX : static_cast<int>(llValue);
}

std::string_view FirstToken(std::string_view text, std::string_view separators) {
  size_t nStart = text.find_first_not_of(separators);
  if (nStart == std::string_view::npos) return std::string_view();
  size_t nEnd = text.find_first_of(separators, nStart);
  return text.substr(nStart,
                     nEnd == std::string_view::npos ? std::string_view::npos : nEnd - nStart);
}

std::string UpperAscii(std::string_view text) {
  std::string str(text);
  for (char& c : str)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return str;
}
