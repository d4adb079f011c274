// A simulated board running one build of an Award BIOS, with an update
// image of a newer build of the same board, and the engine opened on it.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "sim/AwardImageBuilder.h"
#include "tessaro/award/AwardFlasher.h"
#include "tests/award/BenchRig.h"

struct SUpdateRig : SBenchRig {
  // Board and update image from recipes; pfnUpdate edits the update's
  // recipe (a newer build by default: other date, other code bytes).
  bool Start(const SAwardImageRecipe& running, const SAwardImageRecipe* pUpdate = nullptr) {
    std::string strError;
    SAwardImageRecipe update = pUpdate ? *pUpdate : NewerBuild(running);
    if (!AwardImageLayout(running, &layout, &strError) ||
        !BuildAwardImage(running, &flash, &segment, &strError) ||
        !BuildAwardImage(update, &image, nullptr, &strError)) {
      fprintf(stderr, "builder: %s\n", strError.c_str());
      return false;
    }
    if (editFlash) editFlash(flash);
    if (editImage) editImage(image);
    SSimAwardConfig cfg;
    cfg.dwRomSize = running.dwRomSize;
    cfg.wFlashId = running.wFlashId;
    cfg.wSmiPort = running.wSmiPort;
    cfg.nEraseRegions = static_cast<uint32_t>(layout.vecEraseMap.size());
    for (size_t i = 0; i < layout.vecEraseMap.size(); ++i)
      cfg.aEraseRegions[i] = {layout.vecEraseMap[i].first * 1024u, layout.vecEraseMap[i].second};
    for (const auto& range : vecProtect) cfg.aProtected[cfg.nProtected++] = range;
    if (editConfig) editConfig(cfg);
    if (!SBenchRig::Start(cfg, flash, &segment)) return false;
    files.m_mapFiles["C:\\bios\\new.bin"] = image;
    return bios.Open();
  }
  static SAwardImageRecipe NewerBuild(SAwardImageRecipe r) {
    r.strDate = r.strDate.size() == 8 ? "06/30/05" : "06/30/2005";
    r.dwFillSeed += 1;
    return r;
  }
  // Runs the update on the image file with the options given.
  bool Update(FlashOptions options) {
    Board().Log().Clear();
    CAwardFlasher flasher(&bios, &progress, &status, &percent);
    flasher.SetRebootMessage(strRebootText);
    const bool bOk = flasher.Update("C:\\bios\\new.bin", &options);
    usedOptions = options;
    if (flasher.Image())
      checked.assign(flasher.Image(), flasher.Image() + flasher.m_dwSourceFileSize);
    return bOk;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const CFakeUi::SBox& box : ui.m_vecBoxes) texts.push_back(box.strText);
    return texts;
  }
  // Every erase and program request of the log lies outside [a, a + n).
  bool Untouched(uint32_t dwAddress, uint32_t nBytes) {
    const CSimRequestLog& log = Board().Log();
    uint32_t dwNext = 0;
    for (uint32_t i = 0; i < log.Count(); ++i) {
      const SSimLogEntry& e = *log.Entry(i);
      uint32_t dwAt = 0, dwLength = 16;
      if (e.dwCode == winflash::kSetAddress) dwNext = e.InU32(0);
      if (e.dwCode == winflash::kEraseBlock) dwAt = e.InU32(0), dwLength = e.InU32(4);
      if (e.dwCode == winflash::kProgramNext) dwAt = dwNext, dwNext += 16;
      if (e.dwCode != winflash::kEraseBlock && e.dwCode != winflash::kProgramNext) continue;
      if (uint64_t(dwAt) + dwLength > dwAddress && dwAt < uint64_t(dwAddress) + nBytes)
        return false;
    }
    return true;
  }

  std::vector<SSimProtectedRange> vecProtect;
  std::function<void(std::vector<uint8_t>&)> editFlash;  // changes the running board's flash
  std::function<void(SSimAwardConfig&)> editConfig;      // faults of the board
  std::function<void(std::vector<uint8_t>&)> editImage;  // crafts the update file
  SAwardImageLayout layout;
  std::vector<uint8_t> flash, segment, image, checked;
  CAwardBios bios{platform, resources};
  CRecordingProgress progress;
  CRecordingText status, percent;
  std::string strRebootText;
  FlashOptions usedOptions = {};
};

// Expected requests of one block stage: the erase blocks the map gives for
// [dwAddress, dwAddress + nBytes), each followed by its blank-check read,
// the programs in 4 KB steps, and the read-back.
inline CTrace StageTrace(const SAwardImageLayout& layout, uint32_t dwAddress, uint32_t nBytes,
                         bool bVerify = true) {
  CTrace t;
  uint32_t dwBlock = layout.dwRomBase;
  for (const auto& region : layout.vecEraseMap) {
    for (uint32_t n = 0; n < region.second; ++n) {
      const uint32_t dwSize = region.first * 1024u;
      if (dwBlock >= dwAddress && uint64_t(dwBlock) < uint64_t(dwAddress) + nBytes) {
        t.Line("erase %X %X", dwBlock, dwSize);
        t.Read(dwBlock, 64);
      }
      dwBlock += dwSize;
    }
  }
  t.ProgramChunks(dwAddress, nBytes);
  if (bVerify) t.ReadChunks(dwAddress, nBytes);
  return t;
}

// First difference of two request traces, for readable failures.
inline std::string FirstDifference(const std::vector<std::string>& got,
                                   const std::vector<std::string>& want) {
  const size_t n = std::min(got.size(), want.size());
  for (size_t i = 0; i < n; ++i)
    if (got[i] != want[i])
      return "line " + std::to_string(i) + ": got \"" + got[i] + "\", want \"" + want[i] + "\"";
  if (got.size() != want.size())
    return "length " + std::to_string(got.size()) + " vs " + std::to_string(want.size());
  return "";
}
