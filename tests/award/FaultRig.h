// The update rig with the faults a whole program run can meet: a driver
// request that fails once (the device answers the others), and files whose
// reads or writes stop part-way. The board's own faults (failing erase
// blocks, stuck bits, silent programs, power cut, SMI busy) are set through
// editConfig. Checks shared by the fault tests read the request log the way
// the board saw it.
#pragma once

#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tessaro/core/StringTable.h"
#include "tests/award/UpdateRig.h"

// A layout family of the fault tests: name, layout byte, ROM size, and
// whether the image has a hole between its blocks.
struct SFamily {
  const char* pszName;
  uint8_t byLayout;
  uint32_t dwRomSize;
  bool bHole;
};
inline void PrintTo(const SFamily& f, std::ostream* os) { *os << f.pszName; }

// A file system whose files give m_nReadable bytes and then fail the read,
// and take m_nRoom bytes of writes before failing them. Other calls go to
// the in-memory files.
class CFlakyFiles : public CFakeFileSystem {
 public:
  uint32_t m_nReadable = ~0u;
  uint32_t m_nRoom = ~0u;
  std::unique_ptr<IFile> Open(const std::string& strPath, EFileMode eMode) override {
    std::unique_ptr<IFile> pFile = CFakeFileSystem::Open(strPath, eMode);
    if (!pFile) return pFile;
    return std::unique_ptr<IFile>(new CFlakyFile(*this, std::move(pFile)));
  }

 private:
  struct CFlakyFile : IFile {
    CFlakyFile(CFlakyFiles& disk, std::unique_ptr<IFile> pInner)
        : m_disk(disk), m_pInner(std::move(pInner)) {}
    bool Read(void* p, uint32_t n, uint32_t* pnRead) override {
      *pnRead = 0;
      if (m_disk.m_nReadable == 0) return false;
      const bool bOk = m_pInner->Read(p, std::min(n, m_disk.m_nReadable), pnRead);
      m_disk.m_nReadable -= *pnRead;
      return bOk;
    }
    bool Write(const void* p, uint32_t n) override {
      if (n > m_disk.m_nRoom) return false;
      m_disk.m_nRoom -= n;
      return m_pInner->Write(p, n);
    }
    bool Seek(uint64_t q) override { return m_pInner->Seek(q); }
    bool GetSize(uint64_t* pq) override { return m_pInner->GetSize(pq); }
    CFlakyFiles& m_disk;
    std::unique_ptr<IFile> m_pInner;
  };
};

struct SFaultRig : SUpdateRig {
  // The driver in front of the board: request number m_nFailAt (1-based,
  // counted from the rig's start; 0: none) fails without reaching it.
  SFaultRig() {
    simDevices.AddDevice("\\\\.\\WinFlash", &SFaultRig::Forward, this);
    files.m_mapFiles.clear();
    flaky.m_mapFiles["C:\\work\\WinFlash.sys"] = {'M', 'Z'};
    platform.pFiles = &flaky;
  }
  static uint32_t Forward(void* pCore, uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                          uint32_t nOut, uint32_t* pnReturned) {
    SFaultRig& rig = *static_cast<SFaultRig*>(pCore);
    if (++rig.m_nForwarded == rig.m_nFailAt) {
      *pnReturned = 0;
      rig.m_nFailedCode = dwCode;
      rig.m_nFailedLogAt = rig.Board().Log().Count();
      rig.m_dwFailedAddress = nIn >= 4 ? winflash::LoadU32(static_cast<const uint8_t*>(pIn)) : 0;
      return kSimInvalidParameter;  // the driver refused it
    }
    return rig.Board().Request(dwCode, pIn, nIn, pOut, nOut, pnReturned);
  }
  bool Start(const SAwardImageRecipe& running) {
    if (!SUpdateRig::Start(running)) return false;
    flaky.m_mapFiles["C:\\bios\\new.bin"] = image;
    return true;
  }

  // Status texts and message boxes of the run, checked against the texts
  // that only a success may show.
  std::string SuccessTextShown() const {
    static const uint32_t s_anSuccess[] = {730, 726, 735, 738, 742};
    for (const std::string& strText : status.m_vecTexts)
      for (uint32_t nId : s_anSuccess)
        if (strText == Text(nId)) return strText;
    for (const CFakeUi::SBox& box : ui.m_vecBoxes)
      if (box.strText.rfind("Your BIOS was updated successfully", 0) == 0) return box.strText;
    return std::string();
  }
  // Error boxes shown, by their string id (0 for texts not in the table).
  std::vector<uint32_t> Errors() const {
    std::vector<uint32_t> ids;
    for (const CFakeUi::SBox& box : ui.m_vecBoxes) {
      if (!(box.dwFlags & kMbIconError)) continue;
      uint32_t nFound = 0;
      for (uint32_t nId = 600; nId < 900 && !nFound; ++nId)
        if (!Text(nId).empty() && box.strText == Text(nId)) nFound = nId;
      ids.push_back(nFound);
    }
    return ids;
  }
  static std::string Text(uint32_t nId) {
    size_t nCount = 0;
    const SStringEntry* p = GetBuiltinStrings(&nCount);
    for (size_t i = 0; i < nCount; ++i)
      if (p[i].nId == nId) return p[i].pszText;
    return std::string();
  }

  // A request log error: a program request into a block after that block's
  // erase failed (refused by the board, not answered, or left the block
  // unerased), or an erase or program request after a request the device
  // did not answer. Empty when the log is sound.
  std::string WriteAfterFailure() {
    const CSimRequestLog& log = Board().Log();
    const SSimAwardConfig& cfg = Board().Config();
    std::set<uint32_t> failedBlocks;
    uint32_t dwNext = 0;
    bool bDead = false;
    for (uint32_t i = 0; i < log.Count(); ++i) {
      // The request refused in front of the board is not in its log.
      if (m_nFailAt && i == m_nFailedLogAt && m_nFailedCode == winflash::kEraseBlock)
        failedBlocks.insert(m_dwFailedAddress);
      const SSimLogEntry& e = *log.Entry(i);
      const bool bWrite = e.dwCode == winflash::kEraseBlock || e.dwCode == winflash::kProgramNext;
      if (bWrite && bDead) return "write request " + std::to_string(i) + " after a dead device";
      if (e.dwCode == winflash::kSetAddress) dwNext = e.InU32(0);
      if (e.dwCode == winflash::kEraseBlock) {
        const uint32_t dwAt = e.InU32(0);
        bool bFails = !e.bySucceeded;
        for (uint32_t n = 0; n < cfg.nEraseFails; ++n) bFails |= cfg.adwEraseFail[n] == dwAt;
        if (bFails) failedBlocks.insert(dwAt);
      }
      if (e.dwCode == winflash::kProgramNext) {
        for (uint32_t dwBlock : failedBlocks) {
          const uint32_t dwSize = Board().BlockSizeAt(dwBlock);
          if (dwNext >= dwBlock && dwNext - dwBlock < dwSize)
            return "program at " + Hex(dwNext) + " after the erase of " + Hex(dwBlock) + " failed";
        }
        dwNext += 16;
      }
      if (!e.bySucceeded) bDead = true;
    }
    return std::string();
  }
  static std::string Hex(uint32_t dw) {
    char sz[16];
    snprintf(sz, sizeof sz, "%08X", dw);
    return sz;
  }

  CFlakyFiles flaky;
  uint32_t m_nFailAt = 0;
  uint32_t m_nForwarded = 0;
  uint32_t m_nFailedCode = 0;
  uint32_t m_nFailedLogAt = 0;
  uint32_t m_dwFailedAddress = 0;
};
