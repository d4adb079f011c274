// Test support: the archive container around "-lh5-" streams, as the
// archiving tools on the test machine read and write it. Only the tests
// need it; the product reads modules out of BIOS images instead.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct SLhaMember {
  std::string strMethod;  // "-lh5-", "-lh0-", ...
  std::string strName;
  int nLevel = 0;          // header level 0, 1 or 2
  size_t nDataOffset = 0;  // of the compressed bytes in the archive
  size_t nPackedSize = 0;  // compressed bytes, without extension headers
  uint32_t dwOriginalSize = 0;
  uint16_t wCrc = 0;  // CRC-16 of the original bytes
};

// Every member of an archive of level 0, 1 or 2 headers, in order. False
// when a header or a member's data does not lie inside the bytes, a header
// checksum is wrong or a level is unknown.
bool ParseLhaArchive(const std::vector<uint8_t>& vecArchive, std::vector<SLhaMember>* pvecMembers);

// CRC-16 of the archive format (reflected polynomial 0xA001, start 0).
uint16_t LhaCrc16(const uint8_t* p, size_t n);

// Appends a member with a level 0 header to an archive being built: method
// "-lh5-", the given compressed stream, the original size and CRC of the
// original bytes. An archive ends with one 0 byte after its last member.
void AppendLevel0Member(std::vector<uint8_t>* pvecArchive, const std::string& strName,
                        const std::vector<uint8_t>& vecPacked,
                        const std::vector<uint8_t>& vecOriginal);
