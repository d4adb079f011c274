// The Award file checks, structure-aware: instead of a whole image per
// input (most of whose bytes the checks never look at), the input is a
// short recipe. It picks one of a few running boards, edits the image
// builder's description of the file (size, layout, ids, dates, part
// number, lock, tables, erase map, deliberate breaks), then patches the
// fields the checks read directly in the built image (the *BBSS* codes,
// the *BS1 record, the size letter, KAFLASH, the table pointers, the
// compressed-module header, the lock window, any byte) and may re-seal the
// checksum so the checks behind it are reached. The image is built in
// memory and checked by the engine's own CheckFile on the simulated bench,
// which stays open between inputs; nothing may ever be written.
#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/RecipeInput.h"
#include "sim/AwardImageBuilder.h"
#include "tessaro/award/AwardFlasher.h"
#include "tests/award/BenchRig.h"

namespace {

constexpr uint32_t kBank = 0x10000;

// A running board: the recipe of the BIOS it runs and the bench behind it.
struct SBoard {
  SAwardImageRecipe recipe;
  std::unique_ptr<SBenchRig> pRig;
};

SAwardImageRecipe BoardRecipe(int nBoard) {
  SAwardImageRecipe r;
  switch (nBoard) {
    case 0:  // 256 KB, lock with lock data, NVMM table and HDCP keys
      r.dwRomSize = 0x40000;
      r.bLock = true;
      r.vecLockData = std::vector<uint8_t>(16, 0x3C);
      r.strNvTable = "mm";
      r.bHdcp = true;
      break;
    case 1:  // 128 KB, layout 3 (no DMI block), NV_MB table
      r.dwRomSize = 0x20000;
      r.byLayout = 3;
      r.bDmi = false;
      r.strNvTable = "mb";
      r.strDate = "05/12/04";
      break;
    case 2:  // 512 KB, layout 6 with a hole and a module bank, locked with lock data
      r.dwRomSize = 0x80000;
      r.byLayout = 6;
      r.bHole = true;
      r.bModuleBank = true;
      r.bLock = true;
      r.vecLockData = std::vector<uint8_t>(16, 0x5C);
      r.strNvTable = "mb";
      break;
    default:  // 384 KB, layout 7, NVMM table and HDCP keys
      r.dwRomSize = 0x60000;
      r.byLayout = 7;
      r.strNvTable = "mm";
      r.bHdcp = true;
      r.vecLockData = std::vector<uint8_t>(16, 0xA7);
      break;
  }
  return r;
}

constexpr int kBoards = 4;

SBoard* Boards() {
  static SBoard* s_aBoards = [] {
    SBoard* aBoards = new SBoard[kBoards];
    for (int n = 0; n < kBoards; ++n) {
      SBoard& board = aBoards[n];
      board.recipe = BoardRecipe(n);
      std::vector<uint8_t> flash, segment;
      std::string strError;
      SSimAwardConfig cfg;
      cfg.dwRomSize = board.recipe.dwRomSize;
      board.pRig.reset(new SBenchRig);
      if (!BuildAwardImage(board.recipe, &flash, &segment, &strError) ||
          !board.pRig->Start(cfg, flash, &segment, 1u << 14))
        __builtin_trap();
    }
    return aBoards;
  }();
  return s_aBoards;
}

// Edits of the builder's description; the file starts as the board's own
// BIOS with another fill, so an input without edits is a valid update.
void EditRecipe(CRecipeInput& in, SAwardImageRecipe* pRecipe) {
  SAwardImageRecipe& r = *pRecipe;
  static const uint32_t s_adwSizes[] = {0x20000, 0x40000, 0x60000, 0x80000, 0x100000};
  static const char* const s_apszBreaks[] = {"size",        "size_letter", "checksum", "lh5",
                                             "part_number", "lock_flag",   "lock_id",  "vendor",
                                             "kaflash",     "bbss"};
  static const char* const s_apszTables[] = {"none", "mb", "mm"};
  const uint32_t nEdits = in.Pick(8);
  for (uint32_t n = 0; n < nEdits; ++n) {
    switch (in.Pick(18)) {
      case 0:
        r.dwRomSize = s_adwSizes[in.Pick(5)];
        break;
      case 1:
        r.byLayout = static_cast<uint8_t>(1 + in.Pick(7));
        break;
      case 2:
        r.strDate = in.TextOf(in.U8() & 1 ? 8 : 10);
        break;
      case 3:
        r.strBiosId = in.Text(24);
        break;
      case 4:
        r.strPartNumber = in.Text(8);
        break;
      case 5: {
        const uint16_t w = in.U16();
        r.bDmi = w & 0x001, r.bPnp = w & 0x002, r.bWinFlash = w & 0x004;
        r.bNoDmiSignature = w & 0x008, r.bDmiValid = w & 0x010, r.bPnpValid = w & 0x020;
        r.bHole = w & 0x040, r.bModuleBank = w & 0x080, r.bLock = w & 0x100;
        r.bHdcp = w & 0x200;
        break;
      }
      case 6:
        r.nChecksumCode = in.U8() & 1 ? in.U16() : -1;
        break;
      case 7:
        r.wBootStart = in.U16() & 0xDFF0;
        break;
      case 8:
        r.vecLockId = in.Exactly(16);
        break;
      case 9:
        r.vecLockData = in.Exactly(16);
        break;
      case 10:
        r.strNvTable = s_apszTables[in.Pick(3)];
        break;
      case 11:
        r.vecNvData = in.Exactly(16);
        break;
      case 12: {
        r.vecEraseMap.clear();
        const uint32_t nPairs = in.Pick(10);
        for (uint32_t i = 0; i < nPairs; ++i) {
          const uint8_t byKb = in.U8(), byCount = in.U8();
          r.vecEraseMap.emplace_back(byKb, byCount);
        }
        break;
      }
      case 13:
        r.vecBreaks.push_back(s_apszBreaks[in.Pick(10)]);
        break;
      case 14:
        r.wSmiPort = in.U16();
        break;
      case 15:
        r.strVendor = in.Text(15);
        break;
      case 16:
        r.dwFillSeed = in.U32();
        break;
      default:
        r.byHdcpFill = in.U8();
        break;
    }
  }
}

// Where the checks look, as offsets in the built file.
std::vector<uint32_t> FieldOffsets(const SAwardImageRecipe& r, const SAwardImageLayout& lay,
                                   uint32_t dwSize) {
  const uint32_t L = dwSize - kBank;
  const uint32_t dwWindow = lay.dwBs1Offset & ~0xFFFu;
  return {
      L + 0xE200,
      L + 0xE206,
      L + 0xE208,
      L + 0xE20E,
      L + 0xE212,
      lay.dwBs1Offset,
      lay.dwBs1Offset + 5,
      lay.dwBs1Offset + 6,
      lay.dwBs1Offset + 9,
      dwWindow + 0x1F0,
      dwWindow + 0x200,
      L + 0xE059,
      L + 0xE480,
      L + 0xE487,
      L + 0xE489,
      L + 0xE48E,
      L + 0xE490,
      L + 0xE4C0,
      L + 0xEC70,
      L + 0xFFE0,
      L + 0xFFE4,
      L + 0xFFE8,
      L + 0x5000,
      L + 0x5050,
      L + 0x5100,
      L + 0x5200,
      L + r.wBootStart + 10,
      lay.dwLh5Bank,
      lay.dwLh5Bank + 2,
      lay.dwLh5Bank + 17,
      0x68080,
      0x68086,
      0,
  };
}

// The harness's own byte loop: no comparison tracing (see
// tessaro_fuzz_harness).
#if defined(__clang__)
__attribute__((no_sanitize("coverage")))
#endif
uint8_t
Sum8(const uint8_t* p, size_t n) {
  uint8_t by = 0;
  while (n--) by = static_cast<uint8_t>(by + *p++);
  return by;
}

// Re-seals the file with the checksum code its *BBSS* record now holds,
// as the BIOS build tools would have.
void Reseal(std::vector<uint8_t>& v, const SAwardImageLayout& lay, uint16_t wBootStart) {
  const size_t nSize = v.size();
  if (nSize < kBank) return;
  const size_t L = nSize - kBank;
  const uint16_t wCode = static_cast<uint16_t>(v[L + 0xE208] | v[L + 0xE209] << 8);
  int64_t p = 0, q = 0;
  if (wCode & 0xF) {
    p = lay.dwLh5Bank;
    q = int64_t(nSize) + (wCode & 0xF) * int64_t(kBank) - 0xF0002;
  } else {
    q = int64_t(nSize) + (wCode & 0xF000) - 0xF002;
  }
  if (q <= p || q + 2 > int64_t(nSize)) return;
  v[q] = Sum8(&v[p], q - p);
  if (L + wBootStart <= size_t(q)) v[q + 1] = Sum8(&v[L + wBootStart], q + 1 - (L + wBootStart));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SBoard* aBoards = Boards();
  CRecipeInput in(data, size);
  SBoard& board = aBoards[in.Pick(kBoards)];

  SAwardImageRecipe recipe = board.recipe;
  recipe.dwFillSeed = 7;
  EditRecipe(in, &recipe);
  SAwardImageLayout lay;
  if (!AwardImageLayout(recipe, &lay, nullptr)) return 0;
  // Most inputs differ only in their patches: the images of recent recipes
  // (named by the input bytes that made them) are kept, since building one
  // costs as much as checking it.
  static std::map<std::string, std::vector<uint8_t>> s_mapBuilt;
  const std::string strKey(reinterpret_cast<const char*>(data), in.Position());
  auto it = s_mapBuilt.find(strKey);
  if (it == s_mapBuilt.end()) {
    std::vector<uint8_t> vecBuilt;
    if (!BuildAwardImage(recipe, &vecBuilt, nullptr, nullptr)) return 0;
    if (s_mapBuilt.size() >= 32) s_mapBuilt.clear();
    it = s_mapBuilt.emplace(strKey, std::move(vecBuilt)).first;
  }
  static std::vector<uint8_t> image;
  image = it->second;

  const uint8_t byMode = in.U8();
  const std::vector<uint32_t> vecFields = FieldOffsets(recipe, lay, recipe.dwRomSize);
  const uint32_t nPatches = in.Pick(12);
  for (uint32_t n = 0; n < nPatches && !image.empty(); ++n) {
    const uint32_t nField = in.Pick(static_cast<uint32_t>(vecFields.size()) + 1);
    // The last choice is any byte of the file.
    uint64_t qwAt = nField < vecFields.size() ? vecFields[nField] : in.U32();
    qwAt += static_cast<int8_t>(in.U8()) / 16;  // a few bytes either side
    const std::vector<uint8_t> vecValue = in.Exactly(1 + in.Pick(4));
    for (size_t i = 0; i < vecValue.size(); ++i) image[(qwAt + i) % image.size()] = vecValue[i];
  }
  if (byMode & 1) Reseal(image, lay, recipe.wBootStart);
  if (byMode & 2) {
    // A file cut short or with bytes beyond the ROM size.
    const uint16_t wBy = in.U16();
    if (byMode & 4)
      image.resize(image.size() - std::min<size_t>(wBy, image.size()));
    else
      image.resize(image.size() + wBy % 4096, 0xFF);
  }

  SBenchRig& rig = *board.pRig;
  CAwardStateScope state;
  rig.Board().Log().Clear();
  rig.ui.m_vecBoxes.clear();
  rig.ui.m_queAnswers.clear();
  rig.ui.m_queAnswers.push_back(byMode & 8 ? kIdYes : kIdNo);
  CAwardBios bios(rig.platform, rig.resources);
  if (!bios.Open()) __builtin_trap();  // the board is always there
  CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
  flasher.SetImage(image.data(), static_cast<uint32_t>(image.size()));
  FlashOptions options = DefaultFlashOptions();
  options.IgnoreBiosPNChk = (byMode >> 4) & 1;
  flasher.CheckFile(&options);
  // Checking never writes the flash or the CMOS.
  if (rig.Wrote() || rig.Count(winflash::kWritePort)) __builtin_trap();
  return 0;
}
