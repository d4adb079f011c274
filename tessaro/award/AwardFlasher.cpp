#include "tessaro/award/AwardFlasher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/ByteView.h"
#include "platform/WinTypes.h"
#include "tessaro/core/Switches.h"

namespace {

constexpr uint32_t kMsgReadRomFail = 787;      // "Read ROM data fail!"
constexpr uint32_t kMsgBootBlockErased = 784;  // keeping an incomplete boot block
constexpr uint32_t kBank = 0x10000;            // 64 KB
constexpr uint32_t kTail = 0x20000;            // the last 128 KB hold the BIOS's own records
constexpr uint32_t kChunkBytes = 4096;         // bytes per progress step
constexpr uint32_t kHdcpBytes = 1536;          // HDCP key block carried from the flash
constexpr uint32_t kSizeLetterBack = 0x1FA7;   // size letter: this many bytes before the end
constexpr uint32_t kPartNumberBack = 24;       // part number text: this many bytes before the end

uint8_t Sum8(const uint8_t* p, size_t n) {
  uint8_t bySum = 0;
  for (size_t i = 0; i < n; ++i) bySum = static_cast<uint8_t>(bySum + p[i]);
  return bySum;
}

// Text of at most nMax bytes, ending at the first NUL.
std::string BoundedText(const uint8_t* p, size_t nMax) {
  if (!p || !nMax) return std::string();
  const char* psz = reinterpret_cast<const char*>(p);
  return std::string(psz, strnlen(psz, nMax));
}

}  // namespace

CAwardFlasher::CAwardFlasher(CAwardBios* pAwd, IProgressSink* pProgress, ITextSink* pStatus,
                             ITextSink* pPercent)
    : m_pAwd(pAwd),
      m_Msg(pAwd->Resources(), *pAwd->Platform().pUi),
      m_pProgress(pProgress),
      m_pStatus(pStatus),
      m_pPercent(pPercent) {
  m_Msg.SetOwner(pAwd->m_Msg.GetOwner());
}

// ------------------------------------------------------------ display --

void CAwardFlasher::SetStatus(uint32_t nId, const char* pszName) {
  if (!m_pStatus) return;
  const std::string strText = m_Msg.Text(nId);
  m_pStatus->SetText(pszName ? FormatText(strText, pszName) : strText);
}

void CAwardFlasher::SetProgress(uint32_t nLengthKb, uint32_t nPosKb) {
  if (m_pProgress) m_pProgress->SetPos(static_cast<int>(nPosKb));
  if (!m_pPercent) return;
  char szPercent[16];
  // A block under 1 KB cannot occur in a real layout; show it as done
  // rather than divide by zero.
  const unsigned nPercent = nLengthKb ? nPosKb * 100u / nLengthKb : 100u;
  snprintf(szPercent, sizeof(szPercent), "%u%%", nPercent);
  m_pPercent->SetText(szPercent);
}

void CAwardFlasher::DebugBox(const std::string& strText) {
  if (g_bDebug) m_Msg.ShowInfo(strText, kCaptionUpdateBios);
}

bool CAwardFlasher::Refuse(uint32_t nMessage) {
  m_Msg.ShowError(nMessage, kCaptionUpdateBios);
  return false;
}

// ------------------------------------------------------- load and check --

void CAwardFlasher::SetImage(const uint8_t* pData, uint32_t nLength) {
  m_pSource.reset(new uint8_t[nLength ? nLength : 1]);
  if (nLength) std::memcpy(m_pSource.get(), pData, nLength);
  m_dwSourceFileSize = nLength;
}

bool CAwardFlasher::LoadAndCheck(const std::string& strPath, FlashOptions* pOptions) {
  if (!LoadFile(strPath)) return false;
  if (CheckFile(pOptions)) return true;
  m_pSource.reset();
  m_dwSourceFileSize = 0;
  return false;
}

bool CAwardFlasher::LoadFile(const std::string& strPath) {
  std::unique_ptr<IFile> pFile = m_pAwd->Platform().pFiles->Open(strPath, EFileMode::Read);
  if (!pFile) return Refuse(757);
  m_pSource.reset();
  m_dwSourceFileSize = 0;
  uint64_t qwSize = 0;
  pFile->GetSize(&qwSize);
  const uint32_t dwProgramSize = m_pAwd->m_byFlashROMSize * 65536u;
  if (qwSize != dwProgramSize) {
    char szText[160];
    snprintf(szText, sizeof(szText), "m_dwSourceFileSize = %08X (%d)\ndwProgramSize = %02X (%d)",
             static_cast<unsigned>(qwSize), static_cast<int>(qwSize), dwProgramSize,
             static_cast<int>(dwProgramSize));
    DebugBox(szText);
    return Refuse(753);
  }
  m_pSource.reset(new uint8_t[dwProgramSize ? dwProgramSize : 1]);
  m_dwSourceFileSize = dwProgramSize;
  uint32_t nTotal = 0, nRead = 0;
  while (nTotal < dwProgramSize &&
         pFile->Read(m_pSource.get() + nTotal, dwProgramSize - nTotal, &nRead) && nRead > 0)
    nTotal += nRead;
  if (nTotal < dwProgramSize) {
    m_pSource.reset();
    m_dwSourceFileSize = 0;
    return Refuse(758);
  }
  return true;
}

bool CAwardFlasher::CheckFile(FlashOptions* pOptions) {
  // The checks read the flash; what a refused request left in their
  // buffers is not the board's, so a failed read ends the update before
  // any of its findings is shown.
  m_pAwd->ClearRequestFailure();
  m_pAwd->ParseBiosSegment();
  ApplyFileBootType();
  if (!CheckImage()) return m_pAwd->RequestFailed() ? Refuse(kMsgReadRomFail) : false;
  if (!CheckPartNumber(pOptions)) return false;
  CheckFlashAreas(pOptions);
  if (m_pAwd->RequestFailed()) return Refuse(kMsgReadRomFail);
  // Every block the update would write must come from inside the image and
  // land inside the ROM; a layout that says otherwise is not a BIOS file
  // for this board.
  m_bDryRun = true;
  m_bPlanOk = true;
  RunStages(*pOptions);
  m_bDryRun = false;
  if (!m_bPlanOk) return Refuse(760);
  return true;
}

void CAwardFlasher::ApplyFileBootType() {
  const CByteView image(m_pSource.get(), m_dwSourceFileSize);
  const size_t nTail = m_dwSourceFileSize > kTail ? m_dwSourceFileSize - kTail : 0;
  const long nAt = image.Find("*BS1", nTail);
  uint8_t byType = 0;
  if (nAt < 0 || !image.U8(nAt + 5, &byType)) return;
  CAwardBios& awd = *m_pAwd;
  if (byType != awd.m_byLayoutType) {
    awd.m_byLayoutType = byType;
    // Erase geometry of the layouts a file may switch a board to.
    struct SMapRow {
      uint8_t bySize, byType;
      uint8_t abyMap[8];
    };
    static const SMapRow s_aMaps[] = {
        {8, 5, {64, 7, 32, 1, 8, 2, 16, 1}},
        {8, 6, {64, 8}},
        {6, 7, {64, 4, 56, 1, 4, 2, 64, 1}},
    };
    for (const SMapRow& row : s_aMaps) {
      if (row.bySize == awd.m_byFlashROMSize && row.byType == byType) {
        std::memset(awd.m_EraseMap, 0, sizeof(awd.m_EraseMap));
        std::memcpy(awd.m_EraseMap, row.abyMap, sizeof(row.abyMap));
      }
    }
  }
  awd.UpdateLayout(awd.m_byLayoutType);
  awd.ReadLockData();
}

long CAwardFlasher::FindLh5Bank() const {
  const CByteView image(m_pSource.get(), m_dwSourceFileSize);
  for (size_t i = 0; i < m_dwSourceFileSize; i += kBank) {
    uint16_t wMethod = 0;
    if (image.Find("-lh5-", i, i + 1024) >= 0 && image.U16(i + 17, &wMethod) && wMethod == 0x5000)
      return static_cast<long>(i);
  }
  return -1;
}

bool CAwardFlasher::ChecksumRange(uint16_t wCode, size_t* pp, size_t* pq) const {
  int64_t p = 0, q = 0;
  if (wCode & 0xF) {
    p = FindLh5Bank();
    if (p < 0) return false;
    q = int64_t(m_dwSourceFileSize) + (wCode & 0xF) * int64_t(kBank) - 0xF0002;
  } else {
    q = int64_t(m_dwSourceFileSize) + (wCode & 0xF000) - 0xF002;
  }
  // The sum byte and the byte after it (written by a re-seal) must both
  // lie inside the image, after the summed range.
  if (q < p || q + 2 > int64_t(m_dwSourceFileSize)) return false;
  *pp = static_cast<size_t>(p);
  *pq = static_cast<size_t>(q);
  return true;
}

bool CAwardFlasher::VerifyImageChecksum(uint16_t wCode) const {
  size_t p = 0, q = 0;
  if (!ChecksumRange(wCode, &p, &q)) return false;
  return Sum8(m_pSource.get() + p, q - p) == m_pSource[q];
}

bool CAwardFlasher::Reseal() {
  size_t p = 0, q = 0;
  const size_t nStart = size_t(m_dwSourceFileSize) - kBank + m_wBootStart;
  if (!m_bHasBbss || m_dwSourceFileSize < kBank || !ChecksumRange(m_wCsCode, &p, &q) || nStart > q)
    return Refuse(760);
  uint8_t* pImage = m_pSource.get();
  pImage[q] = Sum8(pImage + p, q - p);
  pImage[q + 1] = Sum8(pImage + nStart, q + 1 - nStart);
  return true;
}

bool CAwardFlasher::CheckImage() {
  CAwardBios& awd = *m_pAwd;
  const CByteView image(m_pSource.get(), m_dwSourceFileSize);
  const size_t nLength = m_dwSourceFileSize;

  // The hole belongs to the file being checked, not to an earlier one.
  awd.m_bHasHole = 0;
  if (image.Find("*HOLE*") >= 0) {
    awd.m_bHasHole = 1;
    awd.m_dwHoleSize = kBank;
    awd.m_dwHoleAddr = awd.m_dwRomBase;
    // The hole bank is written on its own, so the main block leaves it out.
    if (awd.m_byLayoutType == 6) awd.m_dwMainSize -= kBank;
  }

  uint8_t byLetter = 0;
  const bool bLetter = nLength >= kSizeLetterBack && image.U8(nLength - kSizeLetterBack, &byLetter);
  switch (byLetter) {
    case 'Z':
      m_byFileBiosSize = 4;
      break;
    case '[':
      m_byFileBiosSize = 8;
      break;
    case '\\':
      m_byFileBiosSize = 16;
      break;
    case ']':
      m_byFileBiosSize = 6;
      break;
    default:
      m_byFileBiosSize = 2;
      break;
  }
  // A file too short to hold its size letter is a size error as well.
  if (!bLetter || m_byFileBiosSize != awd.m_byFlashROMSize) {
    char szText[200];
    snprintf(szText, sizeof(szText),
             "File Size Byte in File = 0x%02X\nbyFileBiosSize = 0x%02X (%d)\n"
             "m_pAwd->m_byFlashROMSize = 0x%02X (%d)",
             byLetter, m_byFileBiosSize, m_byFileBiosSize, awd.m_byFlashROMSize,
             awd.m_byFlashROMSize);
    DebugBox(szText);
    return Refuse(753);
  }

  // Block addresses and checksum code.
  const size_t r = nLength > kTail ? nLength - kTail : 0;
  const CByteView tail = image.Sub(r, nLength - r);
  m_bHasBbss = false;
  m_nEndMark = -1;
  const long nBbss = tail.Find("*BBSS*");
  if (nBbss >= 0) {
    uint16_t wPnpCode = 0, wDmiCode = 0;
    // A record cut off by the end of the file is no BIOS record.
    if (!tail.U16(nBbss + 6, &m_wBootStart) || !tail.U16(nBbss + 8, &m_wCsCode) ||
        !tail.U16(nBbss + 14, &wPnpCode) || !tail.U16(nBbss + 18, &wDmiCode))
      return Refuse(760);
    m_bHasBbss = true;
    const bool bRomRelative = awd.m_byLayoutType == 6 || awd.m_byLayoutType == 7;
    auto BlockAddress = [&](uint16_t wCode) {
      const uint32_t dwBase = bRomRelative ? awd.m_dwRomBase : 0xFFFF0000u;
      return dwBase + (wCode & 0xFu) * kBank + (wCode & 0xF000u);
    };
    if (awd.m_bHasPnp) {
      awd.m_dwPnpAddr = BlockAddress(wPnpCode);
      if (wPnpCode == 0xFFFF) {
        awd.m_bHasPnp = false;
        awd.m_dwPnpSize = 0;
      } else {
        awd.m_dwMainSize -= awd.m_dwPnpSize;
      }
    }
    if (awd.m_bHasDmi) {
      awd.m_dwDmiAddr = BlockAddress(wDmiCode);
      if (wDmiCode == 0xFFFF) {
        awd.m_bHasDmi = false;
        awd.m_dwDmiSize = 0;
      } else {
        awd.m_dwMainSize -= awd.m_dwDmiSize;
      }
    }
    if (awd.m_byLayoutType != 7 && m_byFileBiosSize != 6 && !VerifyImageChecksum(m_wCsCode))
      return Refuse(760);
    const size_t nBoot = m_wBootStart & 0xFFF0u;
    uint16_t wEnd = 0;
    if (tail.U16((size_t(nBbss) & 0x10000) + nBoot + 10, &wEnd))
      m_nEndMark = static_cast<long>((nBoot + wEnd - 1) & 0xFFFF);
  }

  // Board tables kept in the flash's top bank travel into the new image.
  const size_t nLast = nLength >= kBank ? nLength - kBank : 0;
  const long nNvMb = image.Find("NV_MB_TABLE", nLast);
  if (nNvMb >= 0 && !CarryOverNvTable(nNvMb, 0x50)) return false;
  const long nNvmm = image.Find("NVMM_TBL", nLast);
  if (nNvmm >= 0) {
    if (!CarryOverNvTable(nNvmm, 0x30)) return false;
    CarryOverHdcp();
    if (m_byFileBiosSize == 4 && !Reseal()) return false;
  }

  return CheckBiosLock();
}

// The flash's last 32 bytes hold two pointers (bytes 0-3 and 4-7 of the
// block at 0xFFFFFFE0) to the board's tables; the file's top bank holds
// 16-bit offsets to where its own copies go (at 0xFFE0 and 0xFFE4).
bool CAwardFlasher::CarryOverNvTable(long /*nMarker*/, uint32_t dwFieldOffset) {
  CAwardBios& awd = *m_pAwd;
  const CByteView image(m_pSource.get(), m_dwSourceFileSize);
  if (m_dwSourceFileSize < kBank) return true;
  const size_t nLast = m_dwSourceFileSize - kBank;
  uint8_t abyPointers[16], abyX[16], abyY[16];
  awd.ReadFlash(0xFFFFFFE0u, abyPointers, sizeof(abyPointers));
  const CByteView pointers(abyPointers, sizeof(abyPointers));
  uint32_t dwX = 0, dwY = 0;
  uint16_t wXTo = 0, wYTo = 0;
  pointers.U32(0, &dwX);
  pointers.U32(4, &dwY);
  const uint64_t qwX = uint64_t(dwX) + dwFieldOffset, qwY = uint64_t(dwY) + dwFieldOffset;
  const bool bTo = image.U16(nLast + 0xFFE0, &wXTo) && image.U16(nLast + 0xFFE4, &wYTo);
  const size_t nXTo = nLast + wXTo + dwFieldOffset, nYTo = nLast + wYTo + dwFieldOffset;
  // Pointers outside the ROM or destinations outside the file: the table
  // is not where a carry-over could take it from or put it, so the file
  // keeps its own.
  if (!bTo || qwX > 0xFFFFFFFFu || qwY > 0xFFFFFFFFu ||
      !awd.InRom(static_cast<uint32_t>(qwX), 16) || !awd.InRom(static_cast<uint32_t>(qwY), 16) ||
      !image.Contains(nXTo, 16) || !image.Contains(nYTo, 8))
    return true;
  awd.ReadFlash(static_cast<uint32_t>(qwX), abyX, sizeof(abyX));
  awd.ReadFlash(static_cast<uint32_t>(qwY), abyY, sizeof(abyY));
  std::memcpy(m_pSource.get() + nXTo, abyX, 16);
  std::memcpy(m_pSource.get() + nYTo, abyY, 8);
  if (dwFieldOffset == 0x50 && m_byFileBiosSize == 4) return Reseal();
  return true;
}

void CAwardFlasher::CarryOverHdcp() {
  // 64 KB read from one byte below the top bank, as the BIOS's own tool
  // reads it; the block lies inside the ROM for every ROM size.
  std::vector<uint8_t> flash(kBank);
  m_pAwd->ReadFlash(0xFFFEFFFFu, flash.data(), kBank);
  const CByteView flashView(flash.data(), flash.size());
  const CByteView image(m_pSource.get(), m_dwSourceFileSize);
  const long nFrom = flashView.Find("$HDCP$");
  const long nTo = image.Find("$HDCP$", 0, std::min<size_t>(0x80000, m_dwSourceFileSize));
  if (nFrom < 0 || nTo < 0 || !flashView.Contains(nFrom, kHdcpBytes) ||
      !image.Contains(nTo, kHdcpBytes))
    return;
  std::memcpy(m_pSource.get() + nTo, flash.data() + nFrom, kHdcpBytes);
}

bool CAwardFlasher::CheckBiosLock() {
  CAwardBios& awd = *m_pAwd;
  const size_t r = m_dwSourceFileSize > kTail ? m_dwSourceFileSize - kTail : 0;
  uint8_t* pTail = m_pSource.get() + r;
  const CByteView tail(pTail, m_dwSourceFileSize - r);
  const long s = tail.Find("*BS1");
  if (s < 0 || !awd.m_bLockLoaded) return true;
  uint8_t byType = 0, byFlags = 0;
  uint16_t wOffset = 0;
  if (!tail.U8(s + 5, &byType) || !tail.U8(s + 6, &byFlags) || !tail.U16(s + 9, &wOffset))
    return Refuse(803);
  if (awd.m_bBiosLock && !(byFlags & 0x10)) return Refuse(803);
  const size_t pos = wOffset + (size_t(s) & 0xF0000);
  if (pos < 16 || !tail.Contains(pos, 16) ||
      std::memcmp(pTail + pos - 16, awd.m_LockId.get(), 16) != 0)
    return Refuse(804);
  if (!awd.m_bLockDataPresent) return true;

  // The lock data replaces the file's; the checksum bytes absorb the
  // difference so the image still verifies.
  size_t c = 0;
  if (byType == 6) {
    c = 0xFFFE;
    if (m_nEndMark < 0 || !tail.Contains(c, 2) || !tail.Contains(m_nEndMark, 1)) return Refuse(760);
  } else {
    c = (m_wCsCode & 0xF000u) + 0x10FFEu;
    if (!m_bHasBbss || !tail.Contains(c, 2)) return Refuse(760);
  }
  const uint8_t byOld = Sum8(pTail + pos, 16);
  std::memcpy(pTail + pos, awd.m_LockData.get(), 16);
  const uint8_t d = static_cast<uint8_t>(Sum8(awd.m_LockData.get(), 16) - byOld);
  if (byType == 6) {
    pTail[c] = static_cast<uint8_t>(pTail[c] + 2 * d);
    pTail[c + 1] = static_cast<uint8_t>(pTail[c + 1] + 2 * d);
    pTail[m_nEndMark] = static_cast<uint8_t>(pTail[m_nEndMark] + d);
  } else {
    pTail[c] = static_cast<uint8_t>(pTail[c] + d);
    pTail[c + 1] = static_cast<uint8_t>(pTail[c + 1] + 2 * d);
  }
  return true;
}

bool CAwardFlasher::CheckPartNumber(FlashOptions* pOptions) {
  uint8_t abyFlash[16];
  if (!m_pAwd->ReadFlash(0xFFFFFFE8u, abyFlash, sizeof(abyFlash)) || m_pAwd->RequestFailed())
    return Refuse(kMsgReadRomFail);
  // An update cut off in the boot block leaves the part number erased; the
  // running BIOS's copy of the top bank still names the board, so the same
  // file can be written again.
  const uint8_t* pRunning = m_pAwd->Segment();
  constexpr size_t kRunningAt = 0x10000 - kPartNumberBack;
  if (pRunning && std::all_of(abyFlash, abyFlash + 8, [](uint8_t by) { return by == 0xFF; }))
    std::memcpy(abyFlash, pRunning + kRunningAt, 8);
  const CByteView image(m_pSource.get(), m_dwSourceFileSize);
  const size_t nAt = m_dwSourceFileSize - std::min<size_t>(m_dwSourceFileSize, kPartNumberBack);
  // Part numbers have at most 8 characters; the bytes after them belong to
  // the reset code.
  const std::string strFlash = BoundedText(abyFlash, 8);
  const std::string strFile =
      BoundedText(image.Data() + nAt, std::min<size_t>(8, m_dwSourceFileSize - nAt));
  if (strFlash == strFile) return true;
  if (pOptions->IgnoreBiosPNChk)
    return m_Msg.Ask(m_Msg.Text(762) + m_Msg.Text(660), kCaptionUpdateBios, kMbYesNo) == kIdYes;
  DebugBox(FormatText("MB BIOS PN = %s\nFile BIOS PN = %s", strFlash, strFile));
  return Refuse(762);
}

void CAwardFlasher::CheckFlashAreas(FlashOptions* pOptions) {
  CAwardBios& awd = *m_pAwd;
  uint8_t aby[16];
  // An address outside the ROM cannot hold a valid block: the block is
  // rewritten from the file, as for a missing signature.
  const bool bDmi = awd.InRom(awd.m_dwDmiAddr, 16);
  if (bDmi) awd.ReadFlash(awd.m_dwDmiAddr, aby, sizeof(aby));
  if (!awd.m_bNoDmiSignature && (!bDmi || std::memcmp(aby, "IMD$", 4) != 0)) pOptions->ClearDMI = 1;
  const bool bPnp = awd.InRom(awd.m_dwPnpAddr, 16);
  if (bPnp) awd.ReadFlash(awd.m_dwPnpAddr, aby, sizeof(aby));
  if (!bPnp || std::memcmp(aby + 2, "ACFG", 4) != 0) pOptions->ClearPNP = 1;
  CheckModuleBank();
}

void CAwardFlasher::CheckModuleBank() {
  // Only layout 6 places blocks around a skipped bank; elsewhere a skip
  // would shift the DMI and PnP sources in the image.
  if (m_dwSourceFileSize <= 0x7FFFF || m_pAwd->m_byLayoutType != 6) return;
  const CByteView image(m_pSource.get(), m_dwSourceFileSize);
  bool bModuleBank = false;
  for (size_t i = 0x60000; i <= 0x6FFF8 && !bModuleBank; i += 8) {
    uint8_t byFlags = 0;
    bModuleBank =
        image.Find("*BS1", i, i + 4) >= 0 && image.U8(i + 6, &byFlags) && (byFlags & 0x08);
  }
  if (!bModuleBank) return;
  CAwardBios& awd = *m_pAwd;
  uint8_t aby[16] = {};
  const uint32_t dwProbe = awd.m_dwPnpAddr + kBank;
  if (awd.InRom(dwProbe, 16)) awd.ReadFlash(dwProbe, aby, sizeof(aby));
  if ((aby[0] == 0x55 && aby[1] == 0xAA) || std::memcmp(aby + 2, "-lh5-", 5) == 0) return;
  // The bank after the PnP block holds a module the board keeps: it is
  // skipped, and the main block shrinks by it.
  m_dwSkip = kBank;
  awd.m_dwMainSize -= m_dwSkip;
}

// --------------------------------------------------------- block stages --

bool CAwardFlasher::StageFits(uint32_t dwAddress, uint64_t qwSource, uint64_t qwLength) {
  const bool bFits = m_pAwd->InRom(dwAddress, qwLength) && qwSource <= m_dwSourceFileSize &&
                     qwLength <= m_dwSourceFileSize - qwSource;
  if (!bFits) m_bPlanOk = false;
  return bFits;
}

bool CAwardFlasher::EraseAndProgram(uint32_t dwAddress, uint64_t qwSource, uint32_t nLength,
                                    const char* pszName) {
  if (!StageFits(dwAddress, qwSource, nLength) || m_bDryRun) return m_bDryRun;
  CAwardBios& awd = *m_pAwd;
  const uint32_t nLengthKb = nLength / 1024;
  if (m_pProgress) {
    m_pProgress->SetRange(0, static_cast<int>(nLengthKb));
    m_pProgress->SetPos(0);
  }
  SetStatus(727, pszName);
  awd.SmiFlashBegin();
  if (!awd.EraseFlash(dwAddress, nLength)) {
    awd.SmiFlashEnd();
    return false;
  }
  m_bWritten = true;
  SetStatus(728, pszName);
  const uint8_t* pSource = m_pSource.get() + qwSource;
  bool bOk = true;
  for (uint32_t nOffset = 0; nOffset < nLength && bOk; nOffset += kChunkBytes) {
    SetProgress(nLengthKb, nOffset / 1024 + 4);
    bOk = awd.ProgramFlash(dwAddress + nOffset, pSource + nOffset,
                           std::min(kChunkBytes, nLength - nOffset));
  }
  awd.SmiFlashEnd();
  return bOk;
}

bool CAwardFlasher::VerifyBlock(uint32_t dwAddress, uint64_t qwSource, uint32_t nLength,
                                bool bShow) {
  if (!StageFits(dwAddress, qwSource, nLength) || m_bDryRun) return m_bDryRun;
  CAwardBios& awd = *m_pAwd;
  const uint32_t nLengthKb = nLength / 1024;
  if (bShow) {
    if (m_pProgress) m_pProgress->SetRange(0, static_cast<int>(nLengthKb));
    m_bWritten = true;
    SetStatus(729);
  }
  const uint8_t* pSource = m_pSource.get() + qwSource;
  uint8_t abyChunk[kChunkBytes];
  bool bSame = true;
  for (uint32_t nOffset = 0; nOffset < nLength && bSame; nOffset += kChunkBytes) {
    const uint32_t nChunk = std::min(kChunkBytes, nLength - nOffset);
    if (bShow) SetProgress(nLengthKb, nOffset / 1024 + 4);
    // A chunk the device did not give back is not verified, even where the
    // image holds erased cells only.
    bSame = awd.ReadFlash(dwAddress + nOffset, abyChunk, nChunk) &&
            std::memcmp(abyChunk, pSource + nOffset, nChunk) == 0;
  }
  if (bShow) awd.SmiFlashEnd();
  if (!bSame) Refuse(764);
  return bSame;
}

bool CAwardFlasher::FlashMain(uint64_t qwSource, uint32_t dwAddress) {
  const uint32_t nLength = m_pAwd->m_dwMainSize;
  EraseAndProgram(dwAddress, qwSource, nLength, "Main");
  return VerifyBlock(dwAddress, qwSource, nLength, true);
}

// Blocks other than the main block are verified too (quietly): a block that
// was erased but not written must not end in the success message.
bool CAwardFlasher::FlashHole(uint64_t qwSource) {
  const CAwardBios& awd = *m_pAwd;
  EraseAndProgram(awd.m_dwHoleAddr, qwSource, awd.m_dwHoleSize, "HOLE");
  return VerifyBlock(awd.m_dwHoleAddr, qwSource, awd.m_dwHoleSize, false);
}

// A DMI or PnP block that could not be erased or programmed has lost the
// board's data: the update says so as a failed verify would, instead of
// ending without a word.
bool CAwardFlasher::FlashDmi(uint64_t qwSource, bool bEnabled) {
  const CAwardBios& awd = *m_pAwd;
  if (!bEnabled || !awd.m_bHasDmi) return true;
  if (!EraseAndProgram(awd.m_dwDmiAddr, qwSource, awd.m_dwDmiSize, "DMI"))
    return m_bDryRun || Refuse(764);
  return VerifyBlock(awd.m_dwDmiAddr, qwSource, awd.m_dwDmiSize, false);
}

bool CAwardFlasher::FlashPnp(uint64_t qwSource, bool bEnabled) {
  const CAwardBios& awd = *m_pAwd;
  if (!bEnabled || !awd.m_bHasPnp) return true;
  if (!EraseAndProgram(awd.m_dwPnpAddr, qwSource, awd.m_dwPnpSize, "PNP"))
    return m_bDryRun || Refuse(764);
  return VerifyBlock(awd.m_dwPnpAddr, qwSource, awd.m_dwPnpSize, false);
}

bool CAwardFlasher::FlashBootBlock(uint64_t qwSource, bool bEnabled) {
  CAwardBios& awd = *m_pAwd;
  if (!bEnabled) return true;
  if (m_bDryRun) return EraseAndProgram(awd.m_dwBootAddr, qwSource, awd.m_dwBootSize, "Boot");
  if (awd.TrialEraseBootTop() ||
      !EraseAndProgram(awd.m_dwBootAddr, qwSource, awd.m_dwBootSize, "Boot")) {
    // A device that stopped answering says nothing about protection, and a
    // part whose rules name no message for the status still failed: both
    // end as a failed write.
    if (awd.RequestFailed() || !awd.ReportWriteProtect()) Refuse(764);
    return false;
  }
  return VerifyBlock(awd.m_dwBootAddr, qwSource, awd.m_dwBootSize, false);
}

bool CAwardFlasher::RunStages(const FlashOptions& options) {
  const CAwardBios& awd = *m_pAwd;
  const uint64_t qwMain = awd.m_dwMainSize, qwDmi = awd.m_dwDmiSize, qwPnp = awd.m_dwPnpSize;
  const uint64_t qwHole = awd.m_dwHoleSize, qwSkip = m_dwSkip;
  bool bOk = false;
  if (awd.m_byLayoutType != 6) {
    bOk = FlashMain(0, awd.m_dwRomBase);
    if (bOk) {
      if (awd.m_bHasDmi) bOk = FlashDmi(qwMain, options.ClearDMI);
      // The PnP block is written even after a failed DMI block, but not to a
      // device that stopped answering.
      if (awd.m_bHasPnp && (bOk || !awd.RequestFailed()))
        bOk = FlashPnp(qwMain + (awd.m_bHasDmi ? qwDmi : 0), options.ClearPNP) && bOk;
    }
  } else if (awd.m_bHasHole) {
    // The hole bank leads the image and the ROM alike: every later block
    // comes from the file at the same offset it has in the ROM.
    // A hole bank that did not verify ends the update, as any failed
    // verify does.
    const bool bHole = FlashHole(0);
    if (bHole && FlashDmi(qwHole, options.ClearDMI)) {
      if (awd.m_bHasPnp) {
        if (FlashPnp(qwHole + qwDmi, options.ClearPNP))
          bOk = FlashMain(qwHole + qwDmi + qwPnp + qwSkip,
                          static_cast<uint32_t>(awd.m_dwPnpAddr + qwPnp + qwSkip));
      } else {
        bOk = FlashMain(qwHole + qwSkip + qwDmi,
                        static_cast<uint32_t>(awd.m_dwDmiAddr + qwSkip + qwDmi));
      }
    }
    bOk = bOk && bHole;
  } else {
    if (FlashDmi(0, options.ClearDMI)) {
      if (awd.m_bHasPnp) {
        if (FlashPnp(qwDmi, options.ClearPNP))
          bOk = FlashMain(qwDmi + qwPnp + qwSkip,
                          static_cast<uint32_t>(awd.m_dwPnpAddr + qwSkip + qwPnp));
      } else {
        bOk = FlashMain(qwSkip + qwDmi, static_cast<uint32_t>(awd.m_dwDmiAddr + qwSkip + qwDmi));
      }
    }
  }
  m_bBlocksOk = bOk;
  if (!bOk) return false;
  const uint64_t qwLead = awd.m_byLayoutType == 6 && awd.m_bHasHole ? qwHole : 0;
  return FlashBootBlock(qwLead + qwMain + qwPnp + qwDmi + qwSkip, options.BootBlock);
}

// --------------------------------------------------------------- update --

void CAwardFlasher::ClearCmos() {
  for (uint8_t byIndex = 0x10; byIndex <= 0x31; ++byIndex) m_pAwd->WriteCmos(byIndex, 0xFF);
}

void CAwardFlasher::LoadCmosDefault() {
  m_pAwd->WriteCmos(0x10, 0xDD);
  m_pAwd->WriteCmos(0x11, 0xCC);
  m_pAwd->WriteCmos(0x12, 0xBB);
}

bool CAwardFlasher::Update(const std::string& strPath, FlashOptions* pOptions) {
  if (!LoadAndCheck(strPath, pOptions)) return false;
  // An interrupted update left the boot block incomplete: an update that
  // keeps it would end in the success text on a board that cannot start.
  if (!pOptions->BootBlock && m_pAwd->BootBlockDamaged()) return Refuse(kMsgBootBlockErased);
  const std::string strQuestion =
      FormatText(m_Msg.Text(651), pOptions->ClearCMOS ? m_Msg.Text(657) : std::string(), "");
  if (m_Msg.Ask(strQuestion, kCaptionUpdateBios, kMbYesNo) != kIdYes) return false;

  ISystem& system = *m_pAwd->Platform().pSystem;
  system.SetThreadPriority(kThreadPriorityTimeCritical);
  bool bSuccess = RunStages(*pOptions);
  if (bSuccess) {
    if (pOptions->ClearCMOS) ClearCmos();
    if (pOptions->LoadCMOSDefault) LoadCmosDefault();
  }
  system.SetThreadPriority(kThreadPriorityNormal);

  if (bSuccess && m_bWritten) {
    if (pOptions->AutoRebootSystem) {
      m_pAwd->SystemInfo().Reboot();
    } else {
      const std::string strReboot =
          m_strRebootText.empty() ? std::string() : "\n" + m_strRebootText + "\n";
      if (m_Msg.Ask(FormatText(m_Msg.Text(654), strReboot), kCaptionUpdateBios, kMbYesNo) == kIdYes)
        m_pAwd->SystemInfo().Reboot();
    }
    SetStatus(730);
  }
  return bSuccess;
}
