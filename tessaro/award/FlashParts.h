// The flash parts an Award BIOS may report, and the rules that depend on
// the part: blank check after an erase, how write protection shows.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t kFlashIdUnknown = 0xA5FF;  // last row of the table
constexpr uint16_t kFlashIdAbsent = 0xFFFF;   // nothing answered the id read
constexpr size_t kFlashNameField = 26;        // 25 characters space-padded + NUL

// One row: the id as the BIOS stores it (low byte manufacturer, high byte
// device) and the name space-padded to 25 characters.
struct SFlashPart {
  uint16_t wId;
  char szName[kFlashNameField];
};
static_assert(sizeof(SFlashPart) == 28, "part records are 28 bytes");

// The whole table, terminator row included.
const SFlashPart* GetFlashPartTable(size_t* pnCount);

// The padded name for wId: the table's row, else "Unknown Flash" for an
// absent part, else the generic name for the ROM size (in 64 KB units).
// pszName receives kFlashNameField bytes.
void LookupFlashPartName(uint16_t wId, uint8_t byRomSize64k, char* pszName);

// Page-write parts erase and program a page in one cycle; the blank check
// after a block erase does not apply to them.
bool IsPageWritePart(uint16_t wId);

// Message id (string table) to show after a boot-block stage failed, or 0
// when the part's status says nothing about write protection.
uint32_t WriteProtectMessage(uint16_t wId, uint8_t byStatus);
