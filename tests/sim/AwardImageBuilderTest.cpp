// Round trip of the Award image builder: an independent checked reader finds
// every record where a BIOS keeps it, the checksums verify, and each broken
// variant fails exactly its own check.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/ByteView.h"
#include "sim/AwardImageBuilder.h"

namespace {

long FindAligned(const CByteView& v, const char* marker) {
  size_t n = strlen(marker);
  for (size_t off = 0; off + n <= v.Size(); off += 8)
    if (memcmp(v.Data() + off, marker, n) == 0) return static_cast<long>(off);
  return -1;
}

uint8_t Sum(const CByteView& v, size_t from, size_t to) {
  uint8_t s = 0;
  for (size_t i = from; i < to; ++i) s = static_cast<uint8_t>(s + v.Data()[i]);
  return s;
}

bool VerifyChecksum(const CByteView& img, uint16_t code) {
  size_t len = img.Size(), p = 0, q;
  if (code & 0xF) {
    long bank = -1;
    for (size_t i = 0; i < len && bank < 0; i += 0x10000) {
      uint16_t w = 0;
      if (img.Find("-lh5-", i, i + 1024) >= 0 && img.U16(i + 17, &w) && w == 0x5000)
        bank = static_cast<long>(i);
    }
    if (bank < 0) return false;
    p = static_cast<size_t>(bank);
    q = len + (code & 0xF) * 0x10000 - 0xF0002;
  } else {
    q = len + (code & 0xF000) - 0xF002;
  }
  uint8_t stored = 0;
  return img.U8(q, &stored) && q >= p && Sum(img, p, q) == stored;
}

// What the reader concludes about an update image for a board.
std::map<std::string, bool> Check(const std::vector<uint8_t>& image,
                                  const std::vector<uint8_t>& segment,
                                  const SAwardImageRecipe& board,
                                  const std::vector<uint8_t>& boardImage) {
  std::map<std::string, bool> ok;
  CByteView seg(segment.data(), segment.size()), img(image.data(), image.size());
  ok["size"] = image.size() == board.dwRomSize;
  size_t len = image.size();
  uint8_t letter = 0;
  img.U8(len - 0x1FA7, &letter);
  int units = letter == 'Z' ? 4 : letter == '[' ? 8 : letter == '\\' ? 16 : letter == ']' ? 6 : 2;
  ok["size_letter"] = units * 0x10000u == board.dwRomSize;

  ok["vendor"] = seg.Find("Phoenix - Award", 0xE061, 0xE061 + 15) == 0xE061 ||
                 seg.Find("Phoenix-Award", 0xE061, 0xE061 + 13) == 0xE061 ||
                 seg.Find("Award M", 0xE061, 0xE061 + 7) == 0xE061;
  long ka = FindAligned(seg, "KAFLASH");
  ok["kaflash"] = ka >= 0;
  if (ka >= 0) {
    uint8_t size = 0, layout = 0, caps = 0;
    uint16_t mapOff = 0;
    seg.U8(ka + 7, &size), seg.U8(ka + 8, &layout), seg.U8(ka + 9, &caps),
        seg.U16(ka + 0x0E, &mapOff);
    EXPECT_EQ(size * 0x20000u, board.dwRomSize);
    EXPECT_EQ(layout, board.byLayout);
    EXPECT_EQ((caps & 4) != 0, board.bWinFlash);
    uint32_t kb = 0;
    for (int i = 0; i < 10; ++i) {
      uint8_t s = 0, c = 0;
      bool inside = seg.U8(mapOff + 2 * i, &s) && seg.U8(mapOff + 2 * i + 1, &c);
      EXPECT_TRUE(inside);
      if (!inside || c == 0) break;
      kb += s * c;
    }
    EXPECT_EQ(kb * 1024, board.dwRomSize) << "erase map covers the ROM";
  }
  long awd = FindAligned(seg, "$@AWDFLASH");
  uint16_t smi = 0;
  EXPECT_TRUE(awd >= 0 && seg.U16(awd + 0x2A, &smi) && smi == board.wSmiPort);
  uint16_t id = 0;
  EXPECT_TRUE(seg.U16(0xE059, &id) && id == board.wFlashId);

  // Identification record.
  uint8_t marker = 0, l = 0;
  seg.U8(0xEC7B, &marker), seg.U8(0xEC70, &l);
  size_t k = marker == 0xE0 ? 8 : 10;
  EXPECT_EQ(k, board.strDate.size());
  std::string date(reinterpret_cast<const char*>(seg.Data()) + 0xEC71, k);
  EXPECT_EQ(date, board.strDate);
  EXPECT_EQ(l, board.strDate.size() + 1 + board.strBiosId.size());

  size_t r = len >= 0x20000 ? len - 0x20000 : 0;
  long bbss = img.Find("*BBSS*", r);
  ok["bbss"] = bbss >= 0;
  uint16_t code = 0;
  ok["checksum"] = true;
  if (bbss >= 0 && img.U16(bbss + 8, &code) && board.byLayout != 7 && units != 6)
    ok["checksum"] = VerifyChecksum(img, code);

  // Part number: flash text at the top - 24 against the file's.
  CByteView flash(boardImage.data(), boardImage.size());
  ok["part_number"] =
      len >= 24 && strncmp(reinterpret_cast<const char*>(flash.Data()) + flash.Size() - 24,
                           reinterpret_cast<const char*>(img.Data()) + len - 24, 8) == 0;

  // BIOS lock: the flash's *BS1 (last 128 KB) against the file's.
  long fb = flash.Find("*BS1", flash.Size() - 0x20000), ib = img.Find("*BS1", r);
  ok["lock_flag"] = ok["lock_id"] = true;
  if (fb >= 0 && ib >= 0) {
    uint8_t ff = 0, iflag = 0;
    flash.U8(fb + 6, &ff), img.U8(ib + 6, &iflag);
    ok["lock_flag"] = !(ff & 0x10) || (iflag & 0x10);
    uint16_t fp = 0, ip = 0;
    flash.U16(fb + 9, &fp), img.U16(ib + 9, &ip);
    size_t fpos = (fb & ~0xFFFu) + (fp & 0xFFF), ipos = ip + ((ib - r) & 0xF0000) + r;
    ok["lock_id"] = flash.Contains(fpos - 16, 32) && img.Contains(ipos - 16, 32) &&
                    memcmp(flash.Data() + fpos - 16, img.Data() + ipos - 16, 16) == 0;
  }
  return ok;
}

struct SCase {
  uint32_t size;
  uint8_t layout;
};

TEST(AwardImageBuilder, EverySizeAndLayoutReadsBackAndVerifies) {
  const SCase cases[] = {{0x20000, 1},  {0x40000, 1}, {0x80000, 1}, {0x100000, 1}, {0x80000, 2},
                         {0x40000, 3},  {0x80000, 4}, {0x80000, 5}, {0x40000, 6},  {0x80000, 6},
                         {0x100000, 6}, {0x40000, 7}, {0x60000, 7}, {0x80000, 7},  {0x20000, 2}};
  for (const SCase& c : cases) {
    for (const char* date : {"05/12/2004", "05/12/04"}) {
      SAwardImageRecipe rec;
      rec.dwRomSize = c.size;
      rec.byLayout = c.layout;
      rec.bDmi = c.layout != 3;
      rec.strDate = date;
      rec.bLock = true;
      if (c.size == 0x80000) rec.bModuleBank = true;
      std::vector<uint8_t> image, segment;
      std::string err;
      ASSERT_TRUE(BuildAwardImage(rec, &image, &segment, &err))
          << c.size << "/" << int(c.layout) << ": " << err;
      ASSERT_EQ(image.size(), c.size);
      ASSERT_EQ(segment.size(), 0x10000u);
      auto ok = Check(image, segment, rec, image);
      for (auto& kv : ok)
        EXPECT_TRUE(kv.second) << kv.first << " size " << c.size << " layout " << int(c.layout);
    }
  }
}

TEST(AwardImageBuilder, EachBrokenVariantFailsOnlyItsOwnCheck) {
  SAwardImageRecipe board;
  board.byLayout = 6;  // checksum over the -lh5- bank
  board.bLock = true;
  std::vector<uint8_t> boardImage, segment;
  ASSERT_TRUE(BuildAwardImage(board, &boardImage, &segment, nullptr));
  for (const char* what : {"size", "size_letter", "checksum", "lh5", "part_number", "lock_flag",
                           "lock_id", "vendor", "kaflash", "bbss"}) {
    SAwardImageRecipe rec = board;
    rec.dwFillSeed = 9;
    rec.vecBreaks = {what};
    std::vector<uint8_t> image, seg;
    ASSERT_TRUE(BuildAwardImage(rec, &image, &seg, nullptr)) << what;
    auto ok = Check(image, seg, board, boardImage);
    // The check that must fail: a missing -lh5- bank fails the checksum.
    std::string expect = std::string(what) == "lh5" ? "checksum" : what;
    if (expect == "size") {  // everything else is measured from the end: moot
      EXPECT_FALSE(ok["size"]);
      continue;
    }
    for (auto& kv : ok)
      EXPECT_EQ(kv.second, kv.first != expect) << "break " << what << ", check " << kv.first;
  }
}

TEST(AwardImageBuilder, RecipeTextRoundTripsAndRefusesNonsense) {
  const char* text =
      "rom_size 256K\nlayout 4\nvendor Award M\ndate 01/02/03\nbios_id AB-CD-EF\n"
      "part_number PN12\nlock 1\nlock_id 00112233445566778899AABBCCDDEEFF\n"
      "nv_table mm\nhdcp 1\nbreak checksum\n";
  SAwardImageRecipe r;
  std::string err;
  ASSERT_TRUE(ParseAwardImageRecipe(text, &r, &err)) << err;
  EXPECT_EQ(r.dwRomSize, 0x40000u);
  EXPECT_EQ(r.byLayout, 4);
  EXPECT_EQ(r.strVendor, "Award M");
  EXPECT_EQ(r.vecLockId[15], 0xFF);
  EXPECT_EQ(r.strNvTable, "mm");
  ASSERT_EQ(r.vecBreaks.size(), 1u);
  for (const char* bad :
       {"layout 9\n", "lock_id 0011\n", "break everything\n", "erase_map 64\n", "whatever 1\n"})
    EXPECT_FALSE(ParseAwardImageRecipe(bad, &r, &err)) << bad;
  SAwardImageRecipe odd;
  odd.dwRomSize = 0x50000;
  std::vector<uint8_t> image;
  EXPECT_FALSE(BuildAwardImage(odd, &image, nullptr, &err));
  odd = SAwardImageRecipe();
  odd.byLayout = 3;  // DMI requested on a layout without one
  EXPECT_FALSE(BuildAwardImage(odd, &image, nullptr, &err));
}

TEST(AwardImageBuilder, SegmentIsTheLastBankWithThePartId) {
  SAwardImageRecipe rec;
  std::vector<uint8_t> image, segment;
  ASSERT_TRUE(BuildAwardImage(rec, &image, &segment, nullptr));
  for (size_t i = 0; i < segment.size(); ++i)
    if (i != 0xE059 && i != 0xE05A) {
      ASSERT_EQ(segment[i], image[image.size() - 0x10000 + i]) << i;
    }
  EXPECT_EQ(image[image.size() - 0x1FA7], '[');
}

}  // namespace
