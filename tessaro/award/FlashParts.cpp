#include "tessaro/award/FlashParts.h"

#include <cstring>

namespace {

// In the order the running BIOS's own table uses; the first equal id wins.
const SFlashPart s_aParts[] = {
    {0xD3DA, "WINBOND 39V080F/3.3V     "}, {0x5ABF, "SST 49LF008A /3.3V       "},
    {0x5BBF, "SST 49LF080A /3.3V       "}, {0x2301, "AMD 29F400BT /5V         "},
    {0x041C, "EON EN29F040 /5V         "}, {0xAD89, "INTEL E82802AB /3.3V(4Mb)"},
    {0xAC89, "INTEL E82802AC /3.3V(8Mb)"}, {0x7089, "INTEL E82F400B5          "},
    {0xA401, "MEGAWIN MM29F040 /5V     "}, {0x0340, "MOSEL 29C51004T /5V      "},
    {0x45C2, "MXIC 29F004(N)T /5V      "}, {0xD7BF, "SST 39VF040 /2.7V        "},
    {0x58BF, "SST 49LF004 /3.3V        "}, {0x60BF, "SST 49LF004A(B) /3.3V    "},
    {0x50BF, "SST 49LF040B /3.3V       "}, {0xD520, "SGS-THOMSON M29F400T /5V "},
    {0x2C20, "SGS-THOMSON M50FW040 /5V "}, {0x1E9D, "PMC pm29F004T /5V        "},
    {0x6E9D, "PMC pm49FL004T /5V       "}, {0x34DA, "WINBOND 39V040 /3.3V     "},
    {0x46DA, "WINBOND 29C040 /5V       "}, {0x1BBF, "SST 49LF003A 3Mb /3.3V   "},
    {0xB001, "AMD 29F002(N)T /5V       "}, {0x8C37, "AMIC A29002 /5V          "},
    {0x019B, "ARF35LV020               "}, {0x829B, "AVF35LV020               "},
    {0x081F, "ATMEL 49F002T /5V        "}, {0xBA1F, "ATMEL 29LV020 /3V        "},
    {0xDA1F, "ATMEL 29C020 /5V         "}, {0x02DC, "BRIGHT BM29FS020 /5V     "},
    {0x7C31, "CSI CAT28F002T /12V      "}, {0xB0AD, "HYUNDAI 29F002T /5V      "},
    {0x921C, "EN EN29F002T /5V         "}, {0xA17F, "IMT IM29F002T /5V        "},
    {0x7C89, "INTEL 28F002BX-T /12V    "}, {0xBD86, "INTEL/TI TMS28F020 /12V  "},
    {0x0240, "MOSEL V29C51002T /5V     "}, {0x2AC2, "MXIC 28F2000PPC /12V     "},
    {0x3CC2, "MXIC 28F2000TPC /12V     "}, {0x2DC2, "MXIC 28F002TTC /12V      "},
    {0xB0C2, "MXIC 29F002(N)T /5V      "}, {0x36C2, "MXIC 29F022(N)T /5V      "},
    {0x1D9D, "PMC PM29F002T /5V        "}, {0x6D9D, "PMC PM49FL002T /5V       "},
    {0x10BF, "SST 29EE020 /5V          "}, {0x12BF, "SST 29LE020 /3V          "},
    {0xB6BF, "SST 39SF020 /5V          "}, {0xBFBF, "SST 39VF020 /3V          "},
    {0x57BF, "SST 49LF002A /3.3V       "}, {0x61BF, "SST 49LF020 /3.3V        "},
    {0xB020, "SGS-THOMSON M29F002T /5V "}, {0x45DA, "WINBOND 29C020 /5V       "},
    {0x0BDA, "WINBOND 49F002U /5V      "}, {0xB0DA, "WINBOND 49V002 /5V       "},
    {0x32DA, "WINBOND 49V002F /5V      "}, {0x2001, "AMD 29F010 /5V           "},
    {0xD51F, "ATMEL 29C010A /5V        "}, {0x041F, "ATMEL 49F001T /5V        "},
    {0x9431, "CSI CAT28F001P /12V      "}, {0x9489, "INTEL 28F001BX-T /12V    "},
    {0x0140, "MOSEL V29C51001T /5V     "}, {0x1AC2, "MXIC 28F1000AP /12V      "},
    {0x11C2, "MXIC 28F1000P /12V       "}, {0x18C2, "MXIC 29F001T /5V         "},
    {0x01BF, "SST 28EE010 & 28EE011 /5V"}, {0x07BF, "SST 29EE010 /5V          "},
    {0xB5BF, "SST 39SF010 /5V          "}, {0xC1DA, "WINBOND 29EE011 /5V      "},
    {0xA5FF, "Unknown Flash            "},
};
static_assert(sizeof(s_aParts) / sizeof(s_aParts[0]) == 69, "69 rows, terminator included");

// Generic names by ROM size in 128 KB steps (64 KB units / 2); 13
// characters, space-padded.
const char* const s_apszGeneric[] = {
    "Unknown Flash", "1M_BIOS      ", "2M_BIOS      ", "3M_BIOS      ", "4M_BIOS      ",
};
const char s_szGeneric8M[] = "8M_BIOS      ";

bool IdIn(uint16_t wId, const uint16_t* pIds, size_t nIds) {
  for (size_t i = 0; i < nIds; ++i)
    if (pIds[i] == wId) return true;
  return false;
}

}  // namespace

const SFlashPart* GetFlashPartTable(size_t* pnCount) {
  *pnCount = sizeof(s_aParts) / sizeof(s_aParts[0]);
  return s_aParts;
}

void LookupFlashPartName(uint16_t wId, uint8_t byRomSize64k, char* pszName) {
  for (const SFlashPart& part : s_aParts) {
    if (part.wId == wId) {
      std::memcpy(pszName, part.szName, kFlashNameField);
      return;
    }
    if (part.wId == kFlashIdUnknown) break;
  }
  const char* pszGeneric = s_apszGeneric[0];
  if (wId != kFlashIdAbsent) {
    if (byRomSize64k == 16)
      pszGeneric = s_szGeneric8M;
    else if (byRomSize64k / 2 < sizeof(s_apszGeneric) / sizeof(s_apszGeneric[0]))
      pszGeneric = s_apszGeneric[byRomSize64k / 2];
  }
  std::memset(pszName, 0, kFlashNameField);
  std::strncpy(pszName, pszGeneric, kFlashNameField - 1);
}

bool IsPageWritePart(uint16_t wId) {
  static const uint16_t s_aIds[] = {0x01BF, 0x07BF, 0x10BF, 0x12BF, 0x45DA,
                                    0x46DA, 0xBA1F, 0xC1DA, 0xD51F, 0xDA1F};
  return IdIn(wId, s_aIds, sizeof(s_aIds) / sizeof(s_aIds[0]));
}

uint32_t WriteProtectMessage(uint16_t wId, uint8_t byStatus) {
  constexpr uint32_t kFwhProtected = 789;
  constexpr uint32_t kRomProtected = 790;
  // 12 V parts report protection with status 0xA0, firmware hubs with 0xA2.
  static const uint16_t s_aVppParts[] = {0x7C31, 0x7C89, 0x9431, 0x9489};
  static const uint16_t s_aHubParts[] = {0xAC89, 0xAD89};
  static const uint16_t s_aLpcParts[] = {0x32DA, 0x50BF, 0x57BF, 0x58BF, 0x60BF};
  if (IdIn(wId, s_aVppParts, 4)) return byStatus == 0xA0 ? kRomProtected : 0;
  if (IdIn(wId, s_aHubParts, 2)) return byStatus == 0xA2 ? kFwhProtected : 0;
  if (IdIn(wId, s_aLpcParts, 5)) return kFwhProtected;
  return kRomProtected;
}
