#include "sim/AwardImageBuilder.h"

#include <string.h>

#include <algorithm>

#include "sim/SimBench.h"

namespace {

constexpr uint32_t kBank = 0x10000;
// Fixed places in the last 64 KB bank (offsets from its start).
constexpr uint32_t kNvTable1 = 0x5000;
constexpr uint32_t kNvTable2 = 0x5100;
constexpr uint32_t kHdcp = 0x5200;
constexpr uint32_t kHdcpSize = 1536;
constexpr uint32_t kSizeLetter = 0xE059;  // = length - 0x1FA7
constexpr uint32_t kPartId = 0xE059;      // in the segment
constexpr uint32_t kVendor = 0xE061;
constexpr uint32_t kBbss = 0xE200;
constexpr uint32_t kAwdFlash = 0xE400;
constexpr uint32_t kKaFlash = 0xE480;
constexpr uint32_t kEraseMap = 0xE4C0;
constexpr uint32_t kIdRecord = 0xEC70;
constexpr uint32_t kPointers = 0xFFE0;
constexpr uint32_t kPartNumber = 0xFFE8;
constexpr uint32_t kResetVector = 0xFFF0;
// *BS1: record at +0x080 of a 4 KB window, lock id at +0x1F0, lock data at
// +0x200 of the same window.
constexpr uint32_t kBs1InWindow = 0x080;
constexpr uint32_t kLockDataInWindow = 0x200;

void Put16(std::vector<uint8_t>& v, uint32_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, uint32_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}
void PutText(std::vector<uint8_t>& v, uint32_t at, const std::string& s) {
  std::copy(s.begin(), s.end(), v.begin() + at);
}
uint8_t Sum8(const std::vector<uint8_t>& v, uint32_t from, uint32_t to) {  // [from, to)
  uint8_t b = 0;
  for (uint32_t i = from; i < to; ++i) b = static_cast<uint8_t>(b + v[i]);
  return b;
}

char SizeLetter(uint32_t dwRomSize) {
  switch (dwRomSize / kBank) {
    case 4:
      return 'Z';
    case 8:
      return '[';
    case 16:
      return '\\';
    case 6:
      return ']';
    default:
      return 'Y';  // any other letter reads as 128 KB
  }
}

// BBSS block code: for layouts 6 and 7 relative to the ROM base (bank in the
// low nibble, 4 KB page in the high one), else the page in the last bank.
uint16_t BlockCode(uint32_t dwAddress, uint32_t dwRomBase, uint8_t byLayout) {
  uint32_t o = (byLayout == 6 || byLayout == 7) ? dwAddress - dwRomBase : dwAddress - 0xFFFF0000u;
  return static_cast<uint16_t>((o >> 16) | (o & 0xF000));
}

bool Fail(std::string* pstrError, const std::string& strWhy) {
  if (pstrError) *pstrError = strWhy;
  return false;
}

bool Breaks(const SAwardImageRecipe& r, const char* pszWhat) {
  return std::find(r.vecBreaks.begin(), r.vecBreaks.end(), pszWhat) != r.vecBreaks.end();
}

}  // namespace

bool AwardImageLayout(const SAwardImageRecipe& r, SAwardImageLayout* p, std::string* pstrError) {
  const uint32_t dwSize = r.dwRomSize;
  const uint32_t nUnits = dwSize % kBank ? 0 : dwSize / kBank;
  if (nUnits != 2 && nUnits != 4 && nUnits != 6 && nUnits != 8 && nUnits != 16)
    return Fail(pstrError, "rom_size must be 128K, 256K, 384K, 512K or 1M");
  if (r.byLayout < 1 || r.byLayout > 7) return Fail(pstrError, "layout must be 1 to 7");
  const uint32_t nBanks = dwSize / kBank;
  *p = SAwardImageLayout();
  p->dwRomBase = 0u - dwSize;
  p->dwDmiSize = p->dwPnpSize = 0;
  p->dwDmiAddr = p->dwPnpAddr = 0;
  std::vector<std::pair<uint8_t, uint8_t>> map;
  auto add = [&](uint32_t kb, uint32_t count) {
    if (count) map.emplace_back(static_cast<uint8_t>(kb), static_cast<uint8_t>(count));
  };
  switch (r.byLayout) {
    case 1:
    case 2:
      p->dwBootAddr = 0xFFFFE000, p->dwBootSize = 0x2000;
      p->dwDmiAddr = 0xFFFFC000, p->dwDmiSize = 0x1000;
      p->dwPnpAddr = 0xFFFFD000, p->dwPnpSize = 0x1000;
      add(64, nBanks - 1), add(48, 1), add(4, 2), add(8, 1);
      break;
    case 3:
      if (r.bDmi) return Fail(pstrError, "layout 3 has no DMI block (dmi 0)");
      p->dwBootAddr = 0xFFFFC000, p->dwBootSize = 0x4000;
      p->dwPnpAddr = 0xFFFF8000, p->dwPnpSize = 0x4000;
      add(64, nBanks - 1), add(32, 1), add(16, 2);
      break;
    case 4:
    case 5:
      p->dwBootAddr = 0xFFFFC000, p->dwBootSize = 0x4000;
      p->dwDmiAddr = 0xFFFF8000, p->dwDmiSize = 0x2000;
      p->dwPnpAddr = 0xFFFFA000, p->dwPnpSize = 0x2000;
      add(64, nBanks - 1), add(32, 1), add(8, 2), add(16, 1);
      break;
    case 6: {
      uint32_t dwFirst = p->dwRomBase + (r.bHole ? kBank : 0);
      p->dwBootAddr = 0xFFFF0000, p->dwBootSize = kBank;
      p->dwDmiAddr = dwFirst, p->dwDmiSize = kBank;
      p->dwPnpAddr = dwFirst + kBank, p->dwPnpSize = kBank;
      if (nBanks < 4u + (r.bHole ? 1 : 0)) return Fail(pstrError, "layout 6 needs 256K or more");
      add(64, nBanks);
      break;
    }
    case 7:
      p->dwBootAddr = 0xFFFF0000, p->dwBootSize = kBank;
      p->dwDmiAddr = 0xFFFEE000, p->dwDmiSize = 0x1000;
      p->dwPnpAddr = 0xFFFEF000, p->dwPnpSize = 0x1000;
      add(64, nBanks - 2), add(56, 1), add(4, 2), add(64, 1);
      break;
  }
  if (!r.bDmi) p->dwDmiAddr = p->dwDmiSize = 0;
  if (!r.bPnp) p->dwPnpAddr = p->dwPnpSize = 0;
  if (r.bHole && r.byLayout != 6) return Fail(pstrError, "hole needs layout 6");
  p->dwMainSize = dwSize - p->dwBootSize - p->dwDmiSize - p->dwPnpSize - (r.bHole ? kBank : 0);
  p->wDmiCode = r.bDmi ? BlockCode(p->dwDmiAddr, p->dwRomBase, r.byLayout) : 0xFFFF;
  p->wPnpCode = r.bPnp ? BlockCode(p->dwPnpAddr, p->dwRomBase, r.byLayout) : 0xFFFF;
  p->vecEraseMap = r.vecEraseMap.empty() ? map : r.vecEraseMap;
  if (p->vecEraseMap.size() > 9) return Fail(pstrError, "erase_map has at most 9 pairs");

  const uint32_t L = dwSize - kBank, R = dwSize - 2 * kBank;
  uint16_t wDefaultCode = r.byLayout <= 2 ? 0xB000 : r.byLayout == 6 ? 0x000E : 0x7000;
  p->wChecksumCode = r.nChecksumCode >= 0 ? static_cast<uint16_t>(r.nChecksumCode) : wDefaultCode;
  p->dwLh5Bank = r.byLayout == 6 ? (p->dwDmiSize ? 1 : 0) * kBank + (p->dwPnpSize ? kBank : 0) +
                                       (r.bHole ? kBank : 0)
                                 : 0;
  if (r.byLayout <= 2)
    p->dwBs1Offset = L + 0xB000 + kBs1InWindow;
  else if (r.byLayout == 6)
    p->dwBs1Offset = R + 0xF000 + kBs1InWindow;
  else
    p->dwBs1Offset = L + 0x7000 + kBs1InWindow;
  if (r.wBootStart >= 0xE000 || r.wBootStart % 16)
    return Fail(pstrError, "boot_start must be 16-aligned and below 0xE000");
  return true;
}

bool BuildAwardImage(const SAwardImageRecipe& r, std::vector<uint8_t>* pImage,
                     std::vector<uint8_t>* pSegment, std::string* pstrError) {
  SAwardImageLayout lay;
  if (!AwardImageLayout(r, &lay, pstrError)) return false;
  if (r.strDate.size() != 8 && r.strDate.size() != 10)
    return Fail(pstrError, "date must have 8 or 10 characters");
  if (r.strBiosId.size() < 2 || r.strBiosId.size() + r.strDate.size() + 1 > 127)
    return Fail(pstrError, "bios_id must have 2 to 116 characters");
  if (r.strPartNumber.size() > 8) return Fail(pstrError, "part_number has at most 8 characters");
  if (r.strVendor.size() > 15) return Fail(pstrError, "vendor has at most 15 characters");
  if (r.vecLockId.size() != 16 || r.vecLockData.size() != 16 || r.vecNvData.size() != 16)
    return Fail(pstrError, "lock_id, lock_data and nv_data are 16 bytes each");
  if (r.strNvTable != "none" && r.strNvTable != "mb" && r.strNvTable != "mm")
    return Fail(pstrError, "nv_table is none, mb or mm");

  const uint32_t dwSize = r.dwRomSize;
  const uint32_t L = dwSize - kBank, R = dwSize - 2 * kBank;
  auto off = [&](uint32_t dwAddress) { return dwAddress - lay.dwRomBase; };
  std::vector<uint8_t>& v = *pImage;
  v.assign(dwSize, 0);

  // Code and data: a pseudo-random pattern, different for every fill seed
  // so that two builds of one board differ block by block.
  CSimRandom rnd;
  rnd.Seed(r.dwFillSeed * 2654435761u + 1);
  for (uint32_t i = 0; i < dwSize; i += 4) {
    uint32_t x = rnd.Next();
    for (uint32_t k = 0; k < 4; ++k) v[i + k] = static_cast<uint8_t>(x >> (8 * k));
  }

  // Compressed-module header at the start of the -lh5- bank.
  {
    uint32_t b = lay.dwLh5Bank;
    memset(&v[b], 0, 0x40);
    v[b] = 0x24;
    PutText(v, b + 2, "-lh5-");
    Put32(v, b + 7, 0x8000);    // packed size
    Put32(v, b + 11, 0x10000);  // original size
    Put16(v, b + 15, 0);
    Put16(v, b + 17, 0x5000);  // load segment
    v[b + 19] = 0x20;
    v[b + 21] = 12;
    PutText(v, b + 22, "original.bin");
    v[b + 1] = Sum8(v, b + 2, b + 2 + 0x24);
  }
  if (Breaks(r, "lh5"))
    for (uint32_t b = 0; b < dwSize; b += kBank)
      for (uint32_t i = b; i + 5 <= b + 1024; ++i)
        if (memcmp(&v[i], "-lh5-", 5) == 0) v[i + 1] = 'x';

  if (r.bHole) PutText(v, 0, "*HOLE*");
  if (r.bDmi) {
    std::fill(v.begin() + off(lay.dwDmiAddr), v.begin() + off(lay.dwDmiAddr) + lay.dwDmiSize,
              r.bDmiValid ? 0x00 : 0xFF);
    if (r.bDmiValid) PutText(v, off(lay.dwDmiAddr), "IMD$");
  }
  if (r.bPnp) {
    std::fill(v.begin() + off(lay.dwPnpAddr), v.begin() + off(lay.dwPnpAddr) + lay.dwPnpSize,
              r.bPnpValid ? 0x00 : 0xFF);
    if (r.bPnpValid) {
      Put16(v, off(lay.dwPnpAddr),
            static_cast<uint16_t>(lay.dwPnpSize > 0xFFFF ? 0xFFFF : lay.dwPnpSize));
      PutText(v, off(lay.dwPnpAddr) + 2, "ACFG");
    }
  }

  // NV tables, their pointer block and the HDCP keys.
  if (r.strNvTable != "none") {
    uint32_t dwData = r.strNvTable == "mb" ? 0x50 : 0x30;
    memset(&v[L + kNvTable1], 0, 0x100 + 0x100);
    PutText(v, L + kNvTable1, r.strNvTable == "mb" ? "NV_MB_TABLE" : "NVMM_TBL");
    std::copy(r.vecNvData.begin(), r.vecNvData.end(), v.begin() + L + kNvTable1 + dwData);
    std::copy(r.vecNvData.begin(), r.vecNvData.begin() + 8, v.begin() + L + kNvTable2 + dwData);
  }
  Put32(v, L + kPointers, 0xFFFF0000u + kNvTable1);
  Put32(v, L + kPointers + 4, 0xFFFF0000u + kNvTable2);
  if (r.bHdcp) {
    std::fill(v.begin() + L + kHdcp, v.begin() + L + kHdcp + kHdcpSize, r.byHdcpFill);
    PutText(v, L + kHdcp, "$HDCP$");
  }

  // Boot-start record: the u16 at +10 is the length that ends at the mark
  // the lock transfer of layout 6 adjusts.
  Put16(v, L + r.wBootStart + 10, static_cast<uint16_t>(0x10000 - r.wBootStart - 2));

  // *BS1 records with the lock id and data in the same 4 KB window.
  auto putBs1 = [&](uint32_t dwRecord, uint8_t byFlags) {
    uint32_t dwWindow = dwRecord & ~0xFFFu;
    memset(&v[dwRecord], 0, 16);
    PutText(v, dwRecord, "*BS1");
    v[dwRecord + 5] = r.byLayout;
    v[dwRecord + 6] = byFlags;
    // Offset in its 64 KB bank; the engine takes the low 12 bits as the
    // offset in the window.
    Put16(v, dwRecord + 9, static_cast<uint16_t>((dwWindow + kLockDataInWindow) & 0xFFFF));
    std::vector<uint8_t> id = r.vecLockId;
    if (Breaks(r, "lock_id")) id[0] ^= 0xFF;
    std::copy(id.begin(), id.end(), v.begin() + dwWindow + kLockDataInWindow - 16);
    std::copy(r.vecLockData.begin(), r.vecLockData.end(), v.begin() + dwWindow + kLockDataInWindow);
  };
  uint8_t byFlags = (r.bLock && !Breaks(r, "lock_flag")) ? 0x10 : 0x00;
  putBs1(lay.dwBs1Offset, byFlags);
  if (r.bModuleBank) {
    if (dwSize < 0x80000) return Fail(pstrError, "module_bank needs 512K or more");
    putBs1(0x68000 + kBs1InWindow, byFlags | 0x08);
  }

  // Records of the last bank.
  v[L + kSizeLetter] = static_cast<uint8_t>(SizeLetter(dwSize));
  if (Breaks(r, "size_letter")) v[L + kSizeLetter] = dwSize == 0x40000 ? '[' : 'Z';
  memset(&v[L + kVendor], 0, 16);
  PutText(v, L + kVendor, Breaks(r, "vendor") ? std::string("Phoenix  Award") : r.strVendor);
  if (!Breaks(r, "bbss")) {
    memset(&v[L + kBbss], 0, 0x20);
    PutText(v, L + kBbss, "*BBSS*");
    Put16(v, L + kBbss + 6, r.wBootStart);
    Put16(v, L + kBbss + 8, lay.wChecksumCode);
    Put16(v, L + kBbss + 14, lay.wPnpCode);
    Put16(v, L + kBbss + 18, lay.wDmiCode);
  }
  memset(&v[L + kAwdFlash], 0, 0x40);
  PutText(v, L + kAwdFlash, "$@AWDFLASH");
  Put16(v, L + kAwdFlash + 0x2A, r.wSmiPort);
  if (!Breaks(r, "kaflash")) {
    memset(&v[L + kKaFlash], 0, 0x18);
    PutText(v, L + kKaFlash, "KAFLASH");
    v[L + kKaFlash + 7] = static_cast<uint8_t>(dwSize / 0x20000);
    v[L + kKaFlash + 8] = r.byLayout;
    v[L + kKaFlash + 9] =
        static_cast<uint8_t>((r.bPnp ? 1 : 0) | (r.bDmi ? 2 : 0) | (r.bWinFlash ? 4 : 0) | 0x80);
    Put16(v, L + kKaFlash + 0x0E, static_cast<uint16_t>(kEraseMap));
    v[L + kKaFlash + 0x10] = r.bNoDmiSignature ? 1 : 0;
  }
  memset(&v[L + kEraseMap], 0, 20);
  for (size_t i = 0; i < lay.vecEraseMap.size(); ++i) {
    v[L + kEraseMap + 2 * i] = lay.vecEraseMap[i].first;
    v[L + kEraseMap + 2 * i + 1] = lay.vecEraseMap[i].second;
  }
  // Identification record: length, date, separator, id text.
  {
    std::string strId = r.strBiosId;
    if (r.strDate.size() == 8) strId[1] = static_cast<char>(0xE0);
    uint32_t at = L + kIdRecord;
    v[at] = static_cast<uint8_t>(r.strDate.size() + 1 + strId.size());
    PutText(v, at + 1, r.strDate);
    v[at + 1 + r.strDate.size()] = ' ';
    PutText(v, at + 2 + r.strDate.size(), strId);
    v[at + 2 + r.strDate.size() + strId.size()] = 0;
  }
  memset(&v[L + kPartNumber], 0, 8);
  std::string strPn = r.strPartNumber;
  if (Breaks(r, "part_number"))
    strPn = strPn.empty() ? "X" : std::string(1, strPn[0] ^ 0x20) + strPn.substr(1);
  PutText(v, L + kPartNumber, strPn);
  static const uint8_t kJump[5] = {0xEA, 0x5B, 0xE0, 0x00, 0xF0};
  std::copy(kJump, kJump + 5, v.begin() + L + kResetVector);
  PutText(v, L + kResetVector + 5, "12/05/04");
  v[L + 0xFFFD] = 0;
  v[L + 0xFFFE] = 0xFC;

  // Checksums.
  uint16_t wCode = lay.wChecksumCode;
  uint32_t p = 0, q;
  if (wCode & 0xF) {
    p = lay.dwLh5Bank;
    q = dwSize + (wCode & 0xF) * kBank - 0xF0002;
  } else {
    q = dwSize + (wCode & 0xF000) - 0xF002;
  }
  if (q + 1 >= dwSize || q <= p) return Fail(pstrError, "checksum_code puts the sum outside");
  v[q] = Sum8(v, p, q);
  if (L + r.wBootStart <= q) v[q + 1] = Sum8(v, L + r.wBootStart, q + 1);
  if (Breaks(r, "checksum")) v[q] ^= 0x5A;
  (void)R;

  if (pSegment) {
    pSegment->assign(v.begin() + L, v.end());
    // The running BIOS keeps the detected part id where the file has its
    // size letter.
    Put16(*pSegment, kPartId, r.wFlashId);
  }
  if (Breaks(r, "size")) v.resize(v.size() + 16, 0xFF);
  return true;
}

bool ParseAwardImageRecipe(const std::string& strText, SAwardImageRecipe* pRecipe,
                           std::string* pstrError) {
  *pRecipe = SAwardImageRecipe();
  SAwardImageRecipe& r = *pRecipe;
  auto line = [&](const std::string& strKey, const std::vector<std::string>& args,
                  const std::string& strRest, std::string* pstrWhy) {
    auto fail = [&](const std::string& strWhy) {
      *pstrWhy = strWhy;
      return false;
    };
    uint32_t n = 0;
    bool bNumber = args.size() == 1 && SimParseNumber(args[0], &n);
    auto flag = [&](bool* pb) {
      if (!bNumber || n > 1) return false;
      *pb = n != 0;
      return true;
    };
    auto bytes16 = [&](std::vector<uint8_t>* p) {
      return SimParseHexBytes(strRest, p) && p->size() == 16;
    };
    bool bOk = true;
    if (strKey == "rom_size")
      bOk = bNumber && n <= 0x100000 && ((r.dwRomSize = n), true);
    else if (strKey == "layout")
      bOk = bNumber && n >= 1 && n <= 7 && ((r.byLayout = static_cast<uint8_t>(n)), true);
    else if (strKey == "flash_id")
      bOk = bNumber && n <= 0xFFFF && ((r.wFlashId = static_cast<uint16_t>(n)), true);
    else if (strKey == "vendor")
      r.strVendor = strRest;
    else if (strKey == "date")
      r.strDate = strRest;
    else if (strKey == "bios_id")
      r.strBiosId = strRest;
    else if (strKey == "part_number")
      r.strPartNumber = strRest;
    else if (strKey == "dmi")
      bOk = flag(&r.bDmi);
    else if (strKey == "pnp")
      bOk = flag(&r.bPnp);
    else if (strKey == "winflash")
      bOk = flag(&r.bWinFlash);
    else if (strKey == "no_dmi_signature")
      bOk = flag(&r.bNoDmiSignature);
    else if (strKey == "smi_port")
      bOk = bNumber && n <= 0xFFFF && ((r.wSmiPort = static_cast<uint16_t>(n)), true);
    else if (strKey == "erase_map") {
      r.vecEraseMap.clear();
      for (const std::string& s : args) {
        size_t nStar = s.find('*');
        uint32_t kb = 0, count = 0;
        if (nStar == std::string::npos || !SimParseNumber(s.substr(0, nStar), &kb) ||
            !SimParseNumber(s.substr(nStar + 1), &count) || kb == 0 || kb > 255 || count == 0 ||
            count > 255)
          return fail("erase_map pairs are KB*COUNT, each 1..255");
        r.vecEraseMap.emplace_back(static_cast<uint8_t>(kb), static_cast<uint8_t>(count));
      }
    } else if (strKey == "checksum_code")
      bOk = bNumber && n <= 0xFFFF && ((r.nChecksumCode = static_cast<int>(n)), true);
    else if (strKey == "boot_start")
      bOk = bNumber && n <= 0xFFFF && ((r.wBootStart = static_cast<uint16_t>(n)), true);
    else if (strKey == "lock")
      bOk = flag(&r.bLock);
    else if (strKey == "lock_id")
      bOk = bytes16(&r.vecLockId);
    else if (strKey == "lock_data")
      bOk = bytes16(&r.vecLockData);
    else if (strKey == "module_bank")
      bOk = flag(&r.bModuleBank);
    else if (strKey == "nv_table")
      r.strNvTable = strRest;
    else if (strKey == "nv_data")
      bOk = bytes16(&r.vecNvData);
    else if (strKey == "hdcp")
      bOk = flag(&r.bHdcp);
    else if (strKey == "hdcp_fill")
      bOk = bNumber && n <= 0xFF && ((r.byHdcpFill = static_cast<uint8_t>(n)), true);
    else if (strKey == "hole")
      bOk = flag(&r.bHole);
    else if (strKey == "fill_seed")
      bOk = bNumber && ((r.dwFillSeed = n), true);
    else if (strKey == "dmi_valid")
      bOk = flag(&r.bDmiValid);
    else if (strKey == "pnp_valid")
      bOk = flag(&r.bPnpValid);
    else if (strKey == "break") {
      static const char* const kKnown[] = {"size",        "size_letter", "checksum", "lh5",
                                           "part_number", "lock_flag",   "lock_id",  "vendor",
                                           "kaflash",     "bbss"};
      bool bKnown = args.size() == 1 &&
                    std::find_if(std::begin(kKnown), std::end(kKnown),
                                 [&](const char* k) { return args[0] == k; }) != std::end(kKnown);
      if (!bKnown) return fail("unknown break " + strRest);
      r.vecBreaks.push_back(args[0]);
    } else
      return fail("unknown setting " + strKey);
    if (!bOk) return fail("bad value for " + strKey);
    return true;
  };
  return SimParseLines(strText, line, pstrError);
}
