#include "tessaro/award/AwardBios.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteView.h"
#include "platform/WinTypes.h"
#include "protocol/WinFlashIoctl.h"

uint16_t g_wSmiPort = winflash::kDefaultSmiPort;
uint8_t g_bySmiLevel = 0;

void ResetSmiSettings() {
  g_wSmiPort = winflash::kDefaultSmiPort;
  g_bySmiLevel = 0;
}

namespace {

// Where the BIOS keeps its records in the F000 segment (offsets in the 64 KB
// copy, which is also the ROM's last 64 KB bank).
constexpr size_t kFlashIdOffset = 0xE059;
constexpr size_t kVendorOffset = 0xE061;
constexpr size_t kIdRecordOffset = 0xEC70;
constexpr size_t kDateKindOffset = 0xEC7B;  // 0xE0 here: 8-character date
constexpr uint32_t kTopOfMemory = 0x100000000ull - 1;
constexpr uint32_t kLockWindow = 0x1000;  // bytes searched per step for the lock record

// Offset of the first 8-byte-aligned copy of the marker, or -1.
long FindAligned(const CByteView& view, const char* pszMarker) {
  const size_t nMarker = std::strlen(pszMarker);
  // The first byte decides most places before a whole compare is made.
  for (size_t i = 0; view.Contains(i, nMarker); i += 8)
    if (view.Data()[i] == static_cast<uint8_t>(pszMarker[0]) &&
        std::memcmp(view.Data() + i, pszMarker, nMarker) == 0)
      return static_cast<long>(i);
  return -1;
}

void CopyText(char* pszOut, size_t nOutSize, const char* pszIn, size_t nLength) {
  nLength = std::min(nLength, nOutSize - 1);
  std::memcpy(pszOut, pszIn, nLength);
  pszOut[nLength] = '\0';
}

}  // namespace

CAwardBios::CAwardBios(SPlatform& platform, const CResources& resources, IDirectIoPort* pDirect)
    : m_platform(platform),
      m_resources(resources),
      m_pDirect(pDirect),
      m_SysInfo(*platform.pSystem, *platform.pPower, *platform.pUi),
      m_Service(*platform.pServices, *platform.pSystem, WinFlashServiceSettings()),
      m_pSegment(new uint8_t[winflash::kSegmentSize]()),
      m_Msg(resources, *platform.pUi) {}

CAwardBios::~CAwardBios() = default;

// ------------------------------------------------------------- set-up --

bool CAwardBios::Open() {
  ResetSmiSettings();
  m_bSmiSilent = false;
  m_bRequestFailed = false;
  if (!OpenDriver()) return false;
  ReadBiosSegment();
  ParseBiosSegment();
  SetUpSmi();
  return true;
}

void CAwardBios::Close() {
  m_pSegment.reset();
  m_LockId.reset();
  m_LockData.reset();
  m_hDevice.reset();
}

void CAwardBios::SetUpSmi() {
  if (IsDirectMode()) {
    if (!m_pDirect) return;
    SX86Registers regs;
    winflash::SmiControlRegs(&regs, winflash::kSmiQuery);
    const bool bRaised = m_pDirect->RaiseSmi(g_wSmiPort, &regs);
    g_bySmiLevel = static_cast<uint8_t>(regs.dwEax);
    // A handler that does not answer leaves AL as it was written. Every
    // later SMI would hand back its own registers as flash data and as
    // success, so flash access counts as failed from here on.
    m_bSmiSilent = !bRaised || g_bySmiLevel == winflash::kSmiAlFlashControl;
    return;
  }
  // The driver forwards the query but its reply is not used: begin/end
  // calls stay off in driver mode.
  const uint16_t wPort = g_wSmiPort;
  Request(winflash::kSetSmiPort, &wPort, sizeof(wPort), nullptr, 0);
  SmiFlashControl(winflash::kSmiQuery);
}

bool CAwardBios::ReadBiosSegment() {
  if (!m_pSegment) m_pSegment.reset(new uint8_t[winflash::kSegmentSize]());
  if (IsDirectMode()) {
    if (m_pDirect)
      m_pDirect->ReadPhysical(winflash::kSegmentAddress, m_pSegment.get(), winflash::kSegmentSize);
    return true;
  }
  const uint32_t dwAddress = winflash::kSegmentAddress;
  Request(winflash::kReadPhysical, &dwAddress, sizeof(dwAddress), m_pSegment.get(),
          winflash::kSegmentSize);
  return true;
}

// ------------------------------------------------------------- records --

bool CAwardBios::IsAwardBios() const {
  if (!m_pSegment) return false;
  const uint8_t* p = m_pSegment.get() + kVendorOffset;
  return std::memcmp(p, "Award M", 7) == 0 || std::memcmp(p, "Phoenix-Award", 13) == 0 ||
         std::memcmp(p, "Phoenix - Award", 15) == 0;
}

void CAwardBios::ParseBiosSegment() {
  if (!m_pSegment) return;
  m_EraseMap[0] = 0;
  FindSmiPort();
  ReadKaFlash();
  ReadLockData();
  ParseBiosId();  // the date copy comes first inside
  LookupFlashName();
}

void CAwardBios::FindSmiPort() {
  const CByteView seg(m_pSegment.get(), winflash::kSegmentSize);
  const long nAt = FindAligned(seg, "$@AWDFLASH");
  uint16_t wPort = 0;
  if (nAt >= 0 && seg.U16(nAt + 0x2A, &wPort)) g_wSmiPort = wPort;
}

void CAwardBios::ReadKaFlash() {
  const CByteView seg(m_pSegment.get(), winflash::kSegmentSize);
  seg.U16(kFlashIdOffset, &m_wFlashId);
  const long nAt = FindAligned(seg, "KAFLASH");
  uint8_t bySize = 0, byType = 0, byCaps = 0, byExtra = 0;
  uint16_t wMap = 0;
  // The record needs 17 bytes; a copy cut off by the end of the segment
  // counts as absent.
  if (nAt < 0 || !seg.U16(nAt + 0x0E, &wMap) || !seg.U8(nAt + 0x10, &byExtra)) return;
  seg.U8(nAt + 7, &bySize);
  seg.U8(nAt + 8, &byType);
  seg.U8(nAt + 9, &byCaps);
  // A map that would run past the segment is treated as empty, so every
  // erase fails rather than walking foreign bytes.
  if (!seg.Copy(wMap, m_EraseMap, sizeof(m_EraseMap)))
    std::memset(m_EraseMap, 0, sizeof(m_EraseMap));
  m_byFlashROMSize = static_cast<uint8_t>(2 * bySize);
  m_byLayoutType = byType;
  m_bWinFlashSupported = (byCaps & 0x04) != 0;
  m_bHasDmi = (byCaps & 0x02) != 0;
  m_bHasPnp = (byCaps & 0x01) != 0;
  if (byCaps & 0x80) m_bNoDmiSignature = (byExtra & 0x01) != 0;
  UpdateLayout(m_byLayoutType);
  m_dwRomBase = RomBase(m_byFlashROMSize);
}

uint32_t CAwardBios::RomBase(uint8_t bySize64k) {
  switch (bySize64k) {
    case 4:
      return 0xFFFC0000;
    case 6:
      return 0xFFFA0000;
    case 8:
      return 0xFFF80000;
    case 16:
      return 0xFFF00000;
    default:
      return 0xFFFE0000;
  }
}

void CAwardBios::UpdateLayout(uint8_t byType) {
  // Per type: DMI and PnP size (0: unchanged) and fixed address (0: kept),
  // boot block size and address (0: kept).
  struct SLayout {
    uint32_t dwDmiSize, dwDmiAddr, dwPnpSize, dwPnpAddr, dwBootSize, dwBootAddr;
  };
  static const SLayout s_aLayouts[8] = {
      {0, 0, 0, 0, 0x2000, 0},                                       // 0
      {0x1000, 0xFFFFC000, 0x1000, 0xFFFFD000, 0x2000, 0xFFFFE000},  // 1
      {0x1000, 0xFFFFC000, 0x1000, 0xFFFFD000, 0x2000, 0xFFFFE000},  // 2
      {0, 0, 0x4000, 0xFFFF8000, 0x4000, 0xFFFFC000},                // 3
      {0x2000, 0, 0x2000, 0, 0x4000, 0xFFFFC000},                    // 4
      {0x2000, 0, 0x2000, 0, 0x4000, 0xFFFFC000},                    // 5
      {0x10000, 0, 0x10000, 0, 0x10000, 0xFFFF0000},                 // 6
      {0x1000, 0, 0x1000, 0, 0x10000, 0xFFFF0000},                   // 7
  };
  const SLayout& layout = s_aLayouts[byType < 8 ? byType : 0];
  if (m_bHasDmi && layout.dwDmiSize) {
    m_dwDmiSize = layout.dwDmiSize;
    if (layout.dwDmiAddr) m_dwDmiAddr = layout.dwDmiAddr;
  }
  if (m_bHasPnp && layout.dwPnpSize) {
    m_dwPnpSize = layout.dwPnpSize;
    if (layout.dwPnpAddr) m_dwPnpAddr = layout.dwPnpAddr;
  }
  m_dwBootSize = layout.dwBootSize;
  if (layout.dwBootAddr) m_dwBootAddr = layout.dwBootAddr;
  m_dwMainSize = m_byFlashROMSize * 65536u - m_dwBootSize;
}

uint32_t CAwardBios::BlockSize(uint32_t nBlock) const {
  for (size_t i = 0; i + 1 < sizeof(m_EraseMap); i += 2) {
    const uint8_t byCount = m_EraseMap[i + 1];
    if (byCount == 0) return 0;
    if (nBlock <= byCount) return m_EraseMap[i] * 1024u;
    nBlock -= byCount;
  }
  return 0;  // ten pairs without an end marker: nothing past them
}

bool CAwardBios::InRom(uint32_t dwAddress, uint64_t nLength) const {
  // Without a size record the ROM is taken as the smallest one (128 KB).
  const uint32_t dwBase = m_dwRomBase ? m_dwRomBase : RomBase(2);
  return dwAddress >= dwBase && nLength <= uint64_t(kTopOfMemory) - dwAddress + 1;
}

void CAwardBios::ReadLockData() {
  if (m_bLockLoaded) return;
  m_dwLockTop = m_byLayoutType == 6                            ? 0xFFFF0000
                : (m_byLayoutType == 1 || m_byLayoutType == 2) ? 0xFFFFC000
                                                               : 0xFFFF8000;
  // Lock record: "*BS1", +6 flags (0x10 BIOS lock), +9 u16 offset of the
  // lock data inside the same 4 KB window.
  constexpr size_t kRecordBytes = 11;
  uint8_t aWindow[kLockWindow];
  for (uint32_t j = 1; j <= 8; ++j) {
    const uint32_t dwWindow = m_dwLockTop - j * kLockWindow;
    if (!InRom(dwWindow, kLockWindow)) return;
    ReadFlash(dwWindow, aWindow, kLockWindow);
    const CByteView window(aWindow, kLockWindow);
    const long nAt = window.Find("*BS1");
    if (nAt < 0) continue;
    uint8_t byFlags = 0;
    uint16_t wOffset = 0;
    // A record cut off by the window's end, or lock data that would reach
    // outside the window, counts as no record at all.
    if (!window.Contains(nAt, kRecordBytes)) return;
    window.U8(nAt + 6, &byFlags);
    window.U16(nAt + 9, &wOffset);
    m_bBiosLock = (byFlags & 0x10) != 0;
    if (!m_bBiosLock) return;
    const size_t p = wOffset & 0x0FFF;
    if (p < 16 || !window.Contains(p, 16)) return;
    m_bLockLoaded = true;
    if (!m_LockId) m_LockId.reset(new uint8_t[16]);
    if (!m_LockData) m_LockData.reset(new uint8_t[16]);
    std::memcpy(m_LockId.get(), aWindow + p - 16, 16);
    std::memcpy(m_LockData.get(), aWindow + p, 16);
    uint8_t bySum = 0;
    for (int i = 0; i < 16; ++i) bySum = static_cast<uint8_t>(bySum + m_LockData[i]);
    m_bLockDataPresent = bySum != 0;
    return;
  }
}

void CAwardBios::ParseBiosId() {
  const uint8_t* pSeg = m_pSegment.get();
  const size_t k = pSeg[kDateKindOffset] == 0xE0 ? 8 : 10;
  CopyText(m_szBiosDate, sizeof(m_szBiosDate), reinterpret_cast<const char*>(pSeg) + 0xEC71, k);
  // The length byte is signed and counts date, separator and text; a
  // length too small for them leaves an empty text, a long one is cut to
  // the field.
  const int nLength = static_cast<int8_t>(pSeg[kIdRecordOffset]);
  const int nText = nLength - static_cast<int>(k) - 1;
  CopyText(m_szBiosId, sizeof(m_szBiosId),
           reinterpret_cast<const char*>(pSeg) + kIdRecordOffset + 2 + k,
           nText > 0 ? static_cast<size_t>(nText) : 0);

  // Up to five dash-separated fields; the last two name the board.
  std::string astrFields[5];
  size_t nFields = 0;
  std::string strRest = m_szBiosId;
  while (nFields < 5) {
    const size_t nDash = strRest.find('-');
    if (strRest.empty() || nDash == std::string::npos) {
      astrFields[nFields++] = strRest;
      break;
    }
    astrFields[nFields++] = strRest.substr(0, nDash);
    strRest = strRest.substr(nDash + 1);
  }
  if (nFields >= 2) {
    CopyText(m_szIdLastPart, sizeof(m_szIdLastPart), astrFields[nFields - 1].c_str(),
             astrFields[nFields - 1].size());
    CopyText(m_szIdPrevPart, sizeof(m_szIdPrevPart), astrFields[nFields - 2].c_str(),
             std::min<size_t>(astrFields[nFields - 2].size(), 8));
  }
}

void CAwardBios::LookupFlashName() {
  const CByteView seg(m_pSegment.get(), winflash::kSegmentSize);
  seg.U16(kFlashIdOffset, &m_wFlashId);
  LookupFlashPartName(m_wFlashId, m_byFlashROMSize, m_szFlashName);
}

// ------------------------------------------------------ flash requests --

// One driver request. A failed one leaves its output as the caller
// prepared it and marks the engine's request failure, which the operations
// check before they trust what they read or go on writing.
bool CAwardBios::Request(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
                         uint32_t nOut) {
  uint32_t nReturned = 0;
  const bool bOk = m_hDevice && m_hDevice->IoControl(dwCode, pIn, nIn, pOut, nOut, &nReturned);
  if (!bOk) m_bRequestFailed = true;
  return bOk;
}

bool CAwardBios::RaiseSmi(SX86Registers* pRegs) {
  const bool bOk = !m_bSmiSilent && m_pDirect && m_pDirect->RaiseSmi(g_wSmiPort, pRegs);
  if (!bOk) m_bRequestFailed = true;
  return bOk;
}

bool CAwardBios::ReadFlash(uint32_t dwAddress, void* pBuffer, uint32_t nLength) {
  uint8_t* pOut = static_cast<uint8_t*>(pBuffer);
  uint8_t aChunk[winflash::kChunk];
  bool bOk =
      IsDirectMode() || Request(winflash::kSetAddress, &dwAddress, sizeof(dwAddress), nullptr, 0);
  // Whole 16-byte requests, but only nLength bytes reach the caller. After a
  // failed request no more are sent and the rest of the buffer reads as
  // erased cells.
  for (uint32_t nDone = 0; nDone < nLength; nDone += winflash::kChunk) {
    std::memset(aChunk, 0xFF, sizeof(aChunk));
    if (bOk && IsDirectMode()) {
      SX86Registers regs;
      winflash::SmiReadRegs(&regs, dwAddress + nDone);
      bOk = RaiseSmi(&regs);
      if (bOk) winflash::SmiReadResult(regs, aChunk);
    } else if (bOk) {
      bOk = Request(winflash::kReadNext, nullptr, 0, aChunk, sizeof(aChunk));
      if (!bOk) std::memset(aChunk, 0xFF, sizeof(aChunk));
    }
    std::memcpy(pOut + nDone, aChunk, std::min<uint32_t>(winflash::kChunk, nLength - nDone));
  }
  return bOk;
}

bool CAwardBios::ProgramFlash(uint32_t dwAddress, const void* pData, uint32_t nLength) {
  const uint8_t* pIn = static_cast<const uint8_t*>(pData);
  uint8_t aChunk[winflash::kChunk];
  uint8_t aReply[4];
  if (!IsDirectMode() && !Request(winflash::kSetAddress, &dwAddress, sizeof(dwAddress), nullptr, 0))
    return false;
  for (uint32_t nDone = 0; nDone < nLength; nDone += winflash::kChunk) {
    // A short last piece is padded with 0xFF, which programming leaves as
    // it is, instead of taking bytes from beyond the caller's data.
    std::memset(aChunk, 0xFF, sizeof(aChunk));
    std::memcpy(aChunk, pIn + nDone, std::min<uint32_t>(winflash::kChunk, nLength - nDone));
    bool bOk = false;
    if (IsDirectMode()) {
      SX86Registers regs;
      winflash::SmiProgramRegs(&regs, dwAddress + nDone, aChunk);
      bOk = RaiseSmi(&regs);
    } else {
      bOk = Request(winflash::kProgramNext, aChunk, sizeof(aChunk), aReply, sizeof(aReply));
    }
    // The address counter of a device that missed one chunk no longer
    // matches the data: nothing more goes to it.
    if (!bOk) return false;
  }
  return true;
}

uint16_t CAwardBios::EraseBlock(uint32_t dwAddress, uint32_t nLength) {
  if (IsDirectMode()) {
    SX86Registers regs;
    winflash::SmiEraseRegs(&regs, dwAddress, nLength);
    RaiseSmi(&regs);
    return static_cast<uint16_t>(regs.dwEax);
  }
  const winflash::SEraseRequest request = {dwAddress, nLength};
  uint32_t dwStatus = 0;
  Request(winflash::kEraseBlock, &request, sizeof(request), &dwStatus, sizeof(dwStatus));
  return static_cast<uint16_t>(dwStatus);
}

bool CAwardBios::EraseFlash(uint32_t dwAddress, uint32_t nLength) {
  if (dwAddress < m_dwRomBase) return false;
  // Find the block that starts at dwAddress. A map that ends first (block
  // size 0) or an address inside a block fails the erase.
  uint32_t nBlock = 1;
  for (uint32_t dwDistance = dwAddress - m_dwRomBase; dwDistance > 0; ++nBlock) {
    const uint32_t dwSize = BlockSize(nBlock);
    if (dwSize == 0 || dwSize > dwDistance) return false;
    dwDistance -= dwSize;
  }
  for (uint32_t nErased = 0; nErased < nLength; ++nBlock) {
    const uint32_t dwSize = BlockSize(nBlock);
    if (dwSize == 0 || !InRom(dwAddress, dwSize)) return false;
    const bool bAnswered = !m_bRequestFailed;
    m_wFlashStatus = EraseBlock(dwAddress, dwSize) & 0xFF;
    // An erase the device did not answer failed, whatever the cells say.
    if (bAnswered && m_bRequestFailed) return false;
    if (!BlankCheck(dwAddress)) return false;
    dwAddress += dwSize;
    nErased += dwSize;
  }
  return true;
}

bool CAwardBios::BlankCheck(uint32_t dwAddress) {
  if (IsPageWritePart(m_wFlashId)) return true;
  uint8_t aData[64];
  if (!ReadFlash(dwAddress, aData, sizeof(aData))) return false;
  for (int i = 0; i < 12; ++i)
    if (aData[i] != 0xFF) return false;
  return true;
}

void CAwardBios::SmiFlashControl(uint16_t wFunction) {
  if (IsDirectMode()) {
    SX86Registers regs;
    winflash::SmiControlRegs(&regs, wFunction);
    RaiseSmi(&regs);
    return;
  }
  uint8_t aReply[16];
  Request(winflash::kSmiControl, &wFunction, sizeof(wFunction), aReply, sizeof(aReply));
}

void CAwardBios::SmiFlashBegin() {
  if (g_bySmiLevel >= 4) SmiFlashControl(winflash::kSmiBeginFlash);
}

void CAwardBios::SmiFlashEnd() {
  if (g_bySmiLevel >= 4) SmiFlashControl(winflash::kSmiEndFlash);
}

void CAwardBios::WritePort(uint16_t wPort, uint8_t byValue) {
  if (IsDirectMode()) {
    if (!m_pDirect) return;
    m_pDirect->PortOut(wPort, byValue);
    m_pDirect->PortOut(0xEB, 0);  // bus delay between the index and data writes
    return;
  }
  const winflash::SPortRequest request = {wPort, byValue};
  Request(winflash::kWritePort, &request, sizeof(request), nullptr, 0);
}

void CAwardBios::WriteCmos(uint8_t byIndex, uint8_t byValue) {
  WritePort(winflash::kCmosIndexPort, byIndex);
  WritePort(winflash::kCmosDataPort, byValue);
}

bool CAwardBios::TrialEraseBootTop() {
  if (m_wFlashId != 0x58BF) return false;
  const uint32_t dwTop = m_dwBootAddr + m_dwBootSize - 0x1000;
  if (!InRom(dwTop, 0x1000)) return true;  // no sane boot block: treat it as untouchable
  SmiFlashBegin();
  m_wFlashStatus = EraseBlock(dwTop, 0x1000) & 0xFF;
  const bool bBlank = BlankCheck(dwTop);
  SmiFlashEnd();
  return !bBlank;
}

bool CAwardBios::BootBlockDamaged() {
  constexpr uint32_t kPiece = 0x1000;  // the update programs in 4 KB steps
  constexpr uint32_t kProbe = 16;      // bytes looked at first in each piece
  const uint32_t dwSegmentBase = 0u - winflash::kSegmentSize;  // the ROM's last 64 KB
  if (!m_pSegment || !m_dwBootSize || m_dwBootAddr < dwSegmentBase ||
      !InRom(m_dwBootAddr, m_dwBootSize))
    return false;
  auto Blank = [](const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
      if (p[i] != 0xFF) return false;
    return true;
  };
  // Erased in the flash, not in the running copy, over nBytes at dwAddress.
  auto ErasedHere = [&](uint32_t dwAddress, uint32_t nBytes) {
    const uint8_t* pRunning = m_pSegment.get() + (dwAddress - dwSegmentBase);
    if (Blank(pRunning, nBytes)) return false;
    std::unique_ptr<uint8_t[]> pFlash(new uint8_t[nBytes]);
    return ReadFlash(dwAddress, pFlash.get(), nBytes) && Blank(pFlash.get(), nBytes);
  };
  const uint64_t qwEnd = uint64_t(m_dwBootAddr) + m_dwBootSize;
  for (uint64_t a = m_dwBootAddr; a < qwEnd; a += kPiece) {
    const uint32_t dwPiece = static_cast<uint32_t>(std::min<uint64_t>(kPiece, qwEnd - a));
    // A piece whose first bytes are erased is read whole before it counts.
    if (ErasedHere(static_cast<uint32_t>(a), std::min(kProbe, dwPiece)) &&
        ErasedHere(static_cast<uint32_t>(a), dwPiece))
      return true;
  }
  return ErasedHere(0u - kProbe, kProbe);
}

bool CAwardBios::ReportWriteProtect() {
  const uint32_t nMessage = WriteProtectMessage(m_wFlashId, static_cast<uint8_t>(m_wFlashStatus));
  if (nMessage) m_Msg.ShowError(nMessage, kCaptionUpdateBios);
  return nMessage != 0;
}

// ---------------------------------------------------------- file dialogs --

namespace {
constexpr char kBiosFileFilter[] = "Binary Files (*.BIN)|*.BIN|All Files (*.*)|*.*||";
}

bool CAwardBios::ChooseOpenFile(WindowRef hOwner, std::string* pstrPath) {
  if (!m_platform.pFileDialogs) return false;
  return m_platform.pFileDialogs->ChooseOpenFile(hOwner, SFileDialogRequest::Open(kBiosFileFilter),
                                                 pstrPath);
}

bool CAwardBios::ChooseSaveFile(WindowRef hOwner, std::string* pstrPath) {
  if (!m_platform.pFileDialogs) return false;
  return m_platform.pFileDialogs->ChooseSaveFile(hOwner, SFileDialogRequest::Save(kBiosFileFilter),
                                                 pstrPath);
}

// ------------------------------------------------------ driver service --

SDriverServiceSettings CAwardBios::WinFlashServiceSettings() {
  SDriverServiceSettings settings;
  settings.strName = kWinFlashService;
  settings.dwStartType = kServiceDemandStart;
  settings.dwManagerAccess = kScManagerAllAccess;
  settings.dwServiceAccess = kServiceAllAccess;
  settings.nStartPolls = 0;
  settings.dwStopPollMs = 10;
  return settings;
}

void CAwardBios::StopDriver() {
  m_hDevice.reset();
  m_Service.Stop();
}

void CAwardBios::DeleteDriver() { m_Service.Remove(); }

bool CAwardBios::OpenDevice() {
  m_hDevice = m_platform.pDevices->Open(kWinFlashDevice);
  return m_hDevice != nullptr;
}

bool CAwardBios::ChooseDriverFile(const std::string& strName, std::string* pstrPath) {
  SFileDialogRequest request;
  request.strFilter = "SYS Files (*.sys)|*.SYS||";
  request.strDefaultExt = strName;
  request.strInitialFile = ".\\WinFlash.sys";
  request.bHideReadOnly = true;
  request.bOverwritePrompt = true;
  if (!m_platform.pFileDialogs) return false;
  return m_platform.pFileDialogs->ChooseOpenFile(m_Msg.GetOwner(), request, pstrPath);
}

bool CAwardBios::OpenDriver() {
  if (IsDirectMode()) return true;
  IFileSystem& files = *m_platform.pFiles;
  const std::string strName = IsWow64(*m_platform.pSystem) ? kWinFlashDriver64 : kWinFlashDriver;
  std::string strCurrent, strSystem;
  m_platform.pSystem->QueryCurrentDirectory(&strCurrent);
  m_platform.pSystem->QuerySystemDirectory(&strSystem);
  if (strCurrent.empty() || strCurrent.back() != '\\') strCurrent += '\\';
  if (strSystem.empty() || strSystem.back() != '\\') strSystem += '\\';
  const std::string strSource = strCurrent + strName;
  const std::string strTarget = strSystem + "Drivers\\" + strName;

  // An existing service is kept as it is, and a failed creation or start
  // shows nothing: the device open below decides.
  if (files.Open(strSource, EFileMode::Read)) {
    files.Copy(strSource, strTarget, false);
    m_Service.Install(strSource);
  } else if (files.Open(strTarget, EFileMode::Read)) {
    m_Service.Install(strTarget);
  } else {
    std::string strChosen;
    if (!ChooseDriverFile(strName, &strChosen)) {
      m_Msg.ShowError(std::string("Can't create WinFlash Service!"), kCaptionTessaro);
      return false;
    }
    files.Copy(strChosen, strTarget, false);
    m_Service.Install(strChosen);
  }
  m_Service.Start();
  if (!OpenDevice()) {
    m_Msg.ShowError(774, kCaptionTessaro);
    return false;
  }
  return true;
}
