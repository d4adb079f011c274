// The reader of the maker's information file ("Tessaro.sys"): an INI-like
// text, stored with every byte rotated left by one bit and followed by a
// 16-bit checksum. The maker writes the text by hand and it arrives over
// plain FTP, so the reader follows its own fixed grammar byte for byte and
// treats the content as hostile:
//
//  - the text ends at its first zero byte;
//  - a line ends at CR or LF; one CR or LF right after it belongs to the
//    same line end (CR LF, LF CR, CR CR, LF LF), a third starts an empty
//    line;
//  - a line holds at most 1025 characters; a lookup that reaches a longer
//    line ends as "not found";
//  - any line containing '[' with a ']' after it names a section (the text
//    between them), wherever the '[' stands on the line;
//  - inside a section, a line whose first character is '[' ends it;
//  - a key line holds '=': the key is everything before the first '=', the
//    value everything after it, nothing trimmed;
//  - names compare byte for byte, case-sensitively; the first matching
//    section and in it the first matching key win.
//
// Lookups use an index built once per load (the first header of each name,
// the lines of each key, and where each section body ends); LookupByScan
// walks the lines the plain way and is kept as the reference the index is
// checked against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Ports.h"

// How Load transforms the bytes read.
enum EInfoMode : int {
  INFO_PLAIN = 0,   // as stored
  INFO_ENCODE = 1,  // every byte rotated left by one bit
  INFO_DECODE = 2,  // every byte rotated right by one bit (the stored form to text)
};

class CBiosInfoFile {
 public:
  // Largest file any information-file operation accepts, in bytes.
  static constexpr size_t kMaxFileSize = 0x40000;
  // Longest line the grammar allows, in characters (line end excluded).
  static constexpr size_t kMaxLineChars = 1025;
  // ReadLine codes besides the offset of the next line.
  static constexpr long kLineWasLast = -2;
  static constexpr long kLineTooLong = -1;

  explicit CBiosInfoFile(IFileSystem& files) : m_files(files) {}
  CBiosInfoFile(const CBiosInfoFile&) = delete;
  CBiosInfoFile& operator=(const CBiosInfoFile&) = delete;

  // Reads the whole file and applies the mode. False, with nothing held,
  // when the file cannot be opened or read or is larger than kMaxFileSize.
  bool Load(const std::string& strPath, int nMode);
  // The same for bytes already in memory (a download buffer, a test).
  bool LoadBytes(const uint8_t* pData, size_t nSize, int nMode);
  // Frees the text; every lookup then yields its default.
  void Clear();
  uint32_t GetSize() const { return m_dwSize; }

  // Copies the value of key in section into pszBuffer (nBufferSize bytes,
  // always zero-terminated; longer values are cut), or the default when
  // the key is not found. True only when found.
  bool GetString(const char* pszSection, const char* pszKey, const char* pszDefault,
                 char* pszBuffer, size_t nBufferSize) const;
  // The same through a 1024-byte buffer.
  bool GetString(const char* pszSection, const char* pszKey, const char* pszDefault,
                 std::string* pstrValue) const;
  // The value read as atoi reads it; the default when the key is missing
  // or its value is empty.
  int GetInt(const char* pszSection, const char* pszKey, int nDefault) const;

  // The one-bit rotations of the stored form.
  static void Encode(uint8_t* pBuffer, size_t nLength);
  static void Decode(uint8_t* pBuffer, size_t nLength);

  // One line of the text from nPos: its characters go to *pstrLine (cut at
  // kMaxLineChars); the result is the offset of the next line, kLineWasLast
  // when this line ended at the end of the text, kLineTooLong when it is
  // longer than kMaxLineChars.
  long ReadLine(size_t nPos, std::string* pstrLine) const;
  // Grammar rules on one line: the section name, the key and the value;
  // false when the line has none.
  static bool ParseSection(std::string_view line, std::string_view* pName);
  static bool ParseKey(std::string_view line, std::string_view* pKey);
  static bool ParseValue(std::string_view line, std::string_view* pValue);

  // The lookup walked line by line without the index; the value is not cut.
  bool LookupByScan(std::string_view section, std::string_view key, std::string* pstrValue) const;
  // The indexed lookup behind GetString; the value is not cut.
  bool Lookup(std::string_view section, std::string_view key, std::string_view* pValue) const;

 private:
  struct SLine {
    uint32_t dwStart;   // offset in m_vecText
    uint32_t dwLength;  // characters without the line end
  };
  // Finds the end of the line starting at nPos without copying it.
  long ScanLine(size_t nPos, SLine* pLine) const;
  std::string_view LineText(const SLine& line) const;
  void BuildIndex();

  IFileSystem& m_files;
  // The text after the mode transformation and one terminating zero.
  std::vector<uint8_t> m_vecText;
  uint32_t m_dwSize = 0;

  // Index over the lines a lookup can reach: those before the first line
  // that is too long (a lookup reaching that one ends there anyway).
  std::vector<SLine> m_vecLines;
  // For each line, the first line at or after it that starts with '['
  // (m_vecLines.size() when none): where a section body starting there ends.
  std::vector<uint32_t> m_vecBodyEnd;
  // Section name to the first line naming it.
  std::unordered_map<std::string_view, uint32_t> m_mapSections;
  // Key to the lines holding it, ascending (lines starting with '[' are
  // never key lines: they end a body).
  std::unordered_map<std::string_view, std::vector<uint32_t>> m_mapKeys;
};
