#include "tessaro/liveupdate/BiosInfoFile.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "tessaro/liveupdate/TextRules.h"

namespace {

bool IsLineEnd(uint8_t by) { return by == '\r' || by == '\n'; }

}  // namespace

void CBiosInfoFile::Encode(uint8_t* pBuffer, size_t nLength) {
  for (size_t i = 0; i < nLength; ++i)
    pBuffer[i] = static_cast<uint8_t>((pBuffer[i] << 1) | (pBuffer[i] >> 7));
}

void CBiosInfoFile::Decode(uint8_t* pBuffer, size_t nLength) {
  for (size_t i = 0; i < nLength; ++i)
    pBuffer[i] = static_cast<uint8_t>((pBuffer[i] >> 1) | (pBuffer[i] << 7));
}

void CBiosInfoFile::Clear() {
  m_vecText.assign(1, 0);
  m_dwSize = 0;
  m_vecLines.clear();
  m_vecBodyEnd.clear();
  m_mapSections.clear();
  m_mapKeys.clear();
}

bool CBiosInfoFile::Load(const std::string& strPath, int nMode) {
  std::vector<uint8_t> vecData;
  if (!ReadWholeFile(m_files, strPath, kMaxFileSize, &vecData)) {
    Clear();
    return false;
  }
  return LoadBytes(vecData.data(), vecData.size(), nMode);
}

bool CBiosInfoFile::LoadBytes(const uint8_t* pData, size_t nSize, int nMode) {
  Clear();
  if (nSize > kMaxFileSize || (nSize && !pData)) return false;
  // One zero byte more than the file, so that the text always ends.
  m_vecText.assign(nSize + 1, 0);
  if (nSize) std::memcpy(m_vecText.data(), pData, nSize);
  if (nMode == INFO_ENCODE) Encode(m_vecText.data(), nSize);
  if (nMode == INFO_DECODE) Decode(m_vecText.data(), nSize);
  m_dwSize = static_cast<uint32_t>(nSize);
  BuildIndex();
  return true;
}

long CBiosInfoFile::ScanLine(size_t nPos, SLine* pLine) const {
  // m_vecText always ends in a zero byte, so the walk stops inside it.
  const uint8_t* pText = m_vecText.data();
  size_t p = nPos;
  while (pText[p] != 0 && !IsLineEnd(pText[p])) {
    if (p - nPos == kMaxLineChars) {
      pLine->dwStart = static_cast<uint32_t>(nPos);
      pLine->dwLength = static_cast<uint32_t>(kMaxLineChars);
      return kLineTooLong;
    }
    ++p;
  }
  pLine->dwStart = static_cast<uint32_t>(nPos);
  pLine->dwLength = static_cast<uint32_t>(p - nPos);
  if (pText[p] == 0) return kLineWasLast;
  ++p;
  // One more CR or LF belongs to the same line end.
  if (IsLineEnd(pText[p])) ++p;
  return static_cast<long>(p);
}

std::string_view CBiosInfoFile::LineText(const SLine& line) const {
  return std::string_view(reinterpret_cast<const char*>(m_vecText.data()) + line.dwStart,
                          line.dwLength);
}

long CBiosInfoFile::ReadLine(size_t nPos, std::string* pstrLine) const {
  if (nPos >= m_vecText.size()) nPos = m_vecText.size() - 1;
  SLine line;
  long nNext = ScanLine(nPos, &line);
  pstrLine->assign(LineText(line));
  return nNext;
}

bool CBiosInfoFile::ParseSection(std::string_view line, std::string_view* pName) {
  size_t nOpen = line.find('[');
  if (nOpen == std::string_view::npos) return false;
  size_t nClose = line.find(']', nOpen + 1);
  if (nClose == std::string_view::npos) return false;
  *pName = line.substr(nOpen + 1, nClose - nOpen - 1);
  return true;
}

bool CBiosInfoFile::ParseKey(std::string_view line, std::string_view* pKey) {
  size_t nEqual = line.find('=');
  if (nEqual == std::string_view::npos) return false;
  *pKey = line.substr(0, nEqual);
  return true;
}

bool CBiosInfoFile::ParseValue(std::string_view line, std::string_view* pValue) {
  size_t nEqual = line.find('=');
  if (nEqual == std::string_view::npos) return false;
  *pValue = line.substr(nEqual + 1);
  return true;
}

void CBiosInfoFile::BuildIndex() {
  size_t nPos = 0;
  for (;;) {
    SLine line;
    long nNext = ScanLine(nPos, &line);
    if (nNext == kLineTooLong) break;
    m_vecLines.push_back(line);
    if (nNext == kLineWasLast) break;
    nPos = static_cast<size_t>(nNext);
  }
  const uint32_t nLines = static_cast<uint32_t>(m_vecLines.size());
  m_vecBodyEnd.assign(nLines + 1, nLines);
  for (uint32_t i = nLines; i-- > 0;) {
    std::string_view text = LineText(m_vecLines[i]);
    bool bEndsBody = !text.empty() && text[0] == '[';
    m_vecBodyEnd[i] = bEndsBody ? i : m_vecBodyEnd[i + 1];
  }
  for (uint32_t i = 0; i < nLines; ++i) {
    std::string_view text = LineText(m_vecLines[i]);
    std::string_view name;
    if (ParseSection(text, &name)) m_mapSections.emplace(name, i);  // keeps the first
    std::string_view key;
    if (m_vecBodyEnd[i] != i && ParseKey(text, &key)) m_mapKeys[key].push_back(i);
  }
}

bool CBiosInfoFile::Lookup(std::string_view section, std::string_view key,
                           std::string_view* pValue) const {
  auto itSection = m_mapSections.find(section);
  if (itSection == m_mapSections.end()) return false;
  const uint32_t nBody = itSection->second + 1;
  if (nBody >= m_vecLines.size()) return false;
  const uint32_t nEnd = m_vecBodyEnd[nBody];
  auto itKey = m_mapKeys.find(key);
  if (itKey == m_mapKeys.end()) return false;
  const std::vector<uint32_t>& vecLines = itKey->second;
  auto it = std::lower_bound(vecLines.begin(), vecLines.end(), nBody);
  if (it == vecLines.end() || *it >= nEnd) return false;
  return ParseValue(LineText(m_vecLines[*it]), pValue);
}

bool CBiosInfoFile::LookupByScan(std::string_view section, std::string_view key,
                                 std::string* pstrValue) const {
  std::string strLine;
  long nNext = 0;
  // Find the first header of that name.
  for (;;) {
    nNext = ReadLine(static_cast<size_t>(nNext), &strLine);
    if (nNext == kLineTooLong) return false;
    std::string_view name;
    if (ParseSection(strLine, &name) && name == section) break;
    if (nNext == kLineWasLast) return false;
  }
  if (nNext == kLineWasLast) return false;
  // Walk its body.
  for (;;) {
    nNext = ReadLine(static_cast<size_t>(nNext), &strLine);
    if (nNext == kLineTooLong) return false;
    if (!strLine.empty() && strLine[0] == '[') return false;
    std::string_view lineKey;
    if (ParseKey(strLine, &lineKey) && lineKey == key) {
      std::string_view value;
      ParseValue(strLine, &value);
      pstrValue->assign(value);
      return true;
    }
    if (nNext == kLineWasLast) return false;
  }
}

bool CBiosInfoFile::GetString(const char* pszSection, const char* pszKey, const char* pszDefault,
                              char* pszBuffer, size_t nBufferSize) const {
  std::string_view value;
  bool bFound = pszSection && pszKey && Lookup(pszSection, pszKey, &value);
  if (!bFound) value = pszDefault ? pszDefault : "";
  CopyCut(value, pszBuffer, nBufferSize);
  return bFound;
}

bool CBiosInfoFile::GetString(const char* pszSection, const char* pszKey, const char* pszDefault,
                              std::string* pstrValue) const {
  char szBuffer[1024];
  bool bFound = GetString(pszSection, pszKey, pszDefault, szBuffer, sizeof(szBuffer));
  pstrValue->assign(szBuffer);
  return bFound;
}

int CBiosInfoFile::GetInt(const char* pszSection, const char* pszKey, int nDefault) const {
  std::string strValue;
  GetString(pszSection, pszKey, "", &strValue);
  if (strValue.empty()) return nDefault;
  return AtoI(strValue);
}
