// Builds Award BIOS images (the flash image and the F000 segment a board
// running it shows) from a short recipe, and deliberately broken variants,
// for the simulated board, the engine's tests and the demo.
//
// Where the builder puts things (offsets in the image; L = start of the
// last 64 KB bank, R = start of the last 128 KB):
//   L+0x5000  NV_MB_TABLE or NVMM_TBL (16 data bytes at +0x50)
//   L+0x5100  second NV table (8 data bytes at +0x50)
//   L+0x5200  "$HDCP$" and 1536 key bytes
//   L+0x6000  boot-start record (u16 length at +10)
//   *BS1 record: L+0xB080 for layouts 1 and 2, R+0xF080 for layout 6,
//             L+0x7080 otherwise (0x60000 + 0x8080 with a module bank);
//             lock id (16 bytes) and lock data (16 bytes) at the window
//             offset it names (+0x170 / +0x180 from the record)
//   L+0xE059  size letter ('Y' 128 KB, 'Z' 256 KB, ']' 384 KB, '[' 512 KB,
//             '\' 1 MB); in the segment the u16 part id takes its place
//   L+0xE061  vendor text
//   L+0xE200  *BBSS*     L+0xE400  $@AWDFLASH    L+0xE480  KAFLASH
//   L+0xE4C0  20-byte erase map (KB, count pairs)
//   L+0xEC70  identification record (length, date, separator, id text)
//   L+0xFFE0  two u32 pointers to the NV tables; L+0xFFE8 part number
//   L+0xFFF0  reset vector and date
//   first 64 KB bank of the main block (bank 2 for layout 6): "-lh5-" header
// Checksums follow the checksum code of *BBSS*: code & 0xF == 0 sums
// [0, q) into q = L + (code & 0xF000) + 0xFFE; otherwise from the first
// -lh5- bank to q = length + (code & 0xF) x 64K - 0xF0002. Byte q + 1 holds
// the sum of [L + boot start, q].
//
// Recipe text (same syntax as the board description; see sim/README.md):
//   rom_size 512K   layout 1   flash_id 0x60BF   vendor Phoenix - Award
//   date 05/12/2004   bios_id 6A79AK0EC-00-KT9S-D   part_number KT9S0100
//   dmi 1   pnp 1   winflash 1   no_dmi_signature 0   smi_port 0xB2
//   erase_map 64*7 32*1 8*2 16*1   checksum_code 0xB000   boot_start 0x6000
//   lock 1   lock_id <hex 16 bytes>   lock_data <hex 16 bytes>   module_bank 0
//   nv_table mb|mm|none   nv_data <hex 16 bytes>   hdcp 1   hdcp_fill 0x5A
//   hole 0   fill_seed 1   dmi_valid 1   pnp_valid 1
//   break <what>     (size, size_letter, checksum, lh5, part_number,
//                     lock_flag, lock_id, vendor, kaflash, bbss)
// An 8-character date makes the identification text's second byte 0xE0:
// that byte (segment offset 0xEC7B) is how a reader tells the two date
// lengths apart.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

struct SAwardImageRecipe {
  uint32_t dwRomSize = 0x80000;
  uint8_t byLayout = 1;  // 1..7
  uint16_t wFlashId = 0x60BF;
  std::string strVendor = "Phoenix - Award";
  std::string strDate = "05/12/2004";  // 8 or 10 characters
  std::string strBiosId = "6A79AK0EC-00-KT9S-D";
  std::string strPartNumber = "KT9S0100";  // up to 8 characters
  bool bDmi = true;
  bool bPnp = true;
  bool bWinFlash = true;
  bool bNoDmiSignature = false;  // KAFLASH +0x10 bit 0 (cap bit 7 set)
  uint16_t wSmiPort = 0x00B2;
  std::vector<std::pair<uint8_t, uint8_t>> vecEraseMap;  // empty: default for size and layout
  int nChecksumCode = -1;                                // -1: default for the layout
  uint16_t wBootStart = 0x6000;
  bool bLock = false;
  std::vector<uint8_t> vecLockId = std::vector<uint8_t>(16, 0x4C);  // 'L'
  std::vector<uint8_t> vecLockData = std::vector<uint8_t>(16, 0);
  bool bModuleBank = false;  // *BS1 in 0x60000..0x6FFF8 with flag 0x08 (images >= 512 KB)
  std::string strNvTable = "none";
  std::vector<uint8_t> vecNvData = std::vector<uint8_t>(16, 0);
  bool bHdcp = false;
  uint8_t byHdcpFill = 0x5A;
  bool bHole = false;  // layout 6: "*HOLE*" bank in front of DMI and PnP
  uint32_t dwFillSeed = 1;
  bool bDmiValid = true;  // DMI block starts with "IMD$"
  bool bPnpValid = true;  // PnP block holds "ACFG" at byte 2
  std::vector<std::string> vecBreaks;
};

// Parses a recipe. False with "line N: why" on error.
bool ParseAwardImageRecipe(const std::string& strText, SAwardImageRecipe* pRecipe,
                           std::string* pstrError);

// Builds the image and (optional) the segment the running board shows.
bool BuildAwardImage(const SAwardImageRecipe& recipe, std::vector<uint8_t>* pImage,
                     std::vector<uint8_t>* pSegment, std::string* pstrError);

// Default erase map and the physical addresses the builder uses for a
// recipe (also what the engine should derive from the image).
struct SAwardImageLayout {
  uint32_t dwRomBase, dwBootAddr, dwBootSize, dwDmiAddr, dwDmiSize, dwPnpAddr, dwPnpSize;
  uint32_t dwMainSize;  // after *BBSS* took DMI and PnP off
  uint16_t wChecksumCode, wDmiCode, wPnpCode;
  uint32_t dwBs1Offset;  // of the *BS1 record in the image
  uint32_t dwLh5Bank;    // of the -lh5- bank in the image
  std::vector<std::pair<uint8_t, uint8_t>> vecEraseMap;
};
bool AwardImageLayout(const SAwardImageRecipe& recipe, SAwardImageLayout* pLayout,
                      std::string* pstrError);
