#include "tessaro/ami/AmiBios.h"

#include <cstdio>
#include <cstring>

#include "platform/FileDialogPort.h"
#include "platform/WinTypes.h"
#include "tessaro/core/SystemInfo.h"

namespace {

constexpr uint32_t kStatusSaving = 700;
constexpr uint32_t kStatusAutoSaving = 701;
constexpr uint32_t kStatusSaveError = 725;
constexpr uint32_t kStatusSaveSuccess = 726;
constexpr uint32_t kStatusFlashSuccess = 730;
constexpr uint32_t kStatusEraseError = 734;
constexpr uint32_t kStatusEraseSuccess = 735;
constexpr uint32_t kStatusErasing = 736;
constexpr uint32_t kStatusProgramError = 737;
constexpr uint32_t kStatusProgramSuccess = 738;
constexpr uint32_t kStatusProgramming = 739;
constexpr uint32_t kStatusVerifying = 740;
constexpr uint32_t kStatusVerifyError = 741;
constexpr uint32_t kStatusVerifySuccess = 742;
constexpr uint32_t kStatusClearingCmos = 743;
constexpr uint32_t kStatusLoadingDefaults = 744;
constexpr uint32_t kMsgAskFlash = 651;
constexpr uint32_t kMsgAskReboot = 654;
constexpr uint32_t kMsgFileFacts = 655;
constexpr uint32_t kMsgCmosWillClear = 657;
constexpr uint32_t kStepPauseMs = 100;
constexpr char kRomFilter[] = "Binary Files (*.ROM)|*.ROM|All Files (*.*)|*.*||";
// The model's 8-character BIOS id in the file, and the BIOS date in the
// image's last 64 KB (the segment the running BIOS shows at F000).
constexpr size_t kFileBiosIdLength = 8;
constexpr size_t kDateLength = 8;

bool IsError(uint32_t dwStatus) { return (dwStatus & ami::kStatusErrorMask) != 0; }

}  // namespace

CAmiBios::CAmiBios(SPlatform& platform, const CResources& resources, CAmiHwAccess& hw,
                   IDisplaySinks& sinks, FnModuleDecoder fnDecode)
    : m_platform(platform),
      m_resources(resources),
      m_hw(hw),
      m_sinks(sinks),
      m_fnDecode(fnDecode),
      m_Msg(resources, *platform.pUi) {
  m_sinks.SetProgressRange(0, 100);
  m_sinks.SetProgressPos(0);
  std::strcpy(m_szTagText, "Unknown");
}

void CAmiBios::SetStatus(uint32_t nId) { m_sinks.SetStatusText(m_resources.GetString(nId)); }

void CAmiBios::ShowProgress(uint32_t dwRemaining) {
  const uint32_t dwSizeKb = m_dwBiosSize / 1024;
  const uint32_t dwDoneKb = (m_dwBiosSize - dwRemaining) / 1024;
  const int nPercent = dwSizeKb ? static_cast<int>(dwDoneKb * 100 / dwSizeKb) : 100;
  char sz[16];
  std::snprintf(sz, sizeof(sz), "%d%%", nPercent);
  m_sinks.SetPercentText(sz);
  m_sinks.SetProgressPos(nPercent);
}

ami::SSmiRequest CAmiBios::Request(uint16_t wFunction, uint32_t dwSize,
                                   uint32_t dwRemaining) const {
  ami::SSmiRequest request = {};
  request.wFunction = wFunction;
  request.wPort = m_hw.m_wSmiPort;
  request.dwSize = dwSize;
  request.dwRemaining = dwRemaining;
  request.dwBuffer = m_hw.m_dwSharedBufferPhys;
  request.dwResult1 = 1;
  return request;
}

uint32_t CAmiBios::Send(ami::SSmiRequest* pRequest) {
  const uint32_t dwStatus = m_hw.CallSmi(0, pRequest);
  // An unanswered request wrote, erased or read nothing, whatever its
  // status of 0 says.
  return m_hw.LastSmiAnswered() ? dwStatus : kAmiSmiNoAnswer;
}

bool CAmiBios::FromShared(uint8_t* pOut) {
  if (m_hw.IsWin9x()) {
    // The VxD's buffer is mapped into the process.
    if (!m_hw.SharedBuffer()) return false;
    std::memcpy(pOut, reinterpret_cast<const void*>(m_hw.SharedBuffer()), ami::kBlockSize);
    return true;
  }
  return m_hw.CopySharedMemory(reinterpret_cast<uintptr_t>(pOut), m_hw.SharedBuffer(),
                               ami::kBlockSize);
}

bool CAmiBios::ToShared(const uint8_t* pIn) {
  if (m_hw.IsWin9x()) {
    if (!m_hw.SharedBuffer()) return false;
    std::memcpy(reinterpret_cast<void*>(m_hw.SharedBuffer()), pIn, ami::kBlockSize);
    return true;
  }
  return m_hw.CopySharedMemory(m_hw.SharedBuffer(), reinterpret_cast<uintptr_t>(pIn),
                               ami::kBlockSize);
}

// ------------------------------------------------------------- identity --

uint32_t CAmiBios::GetInformation() {
  ami::SSmiRequest request = Request(ami::kSmiGetInfo, 0, 0);
  if (m_hw.IsWin9x()) {
    // One direct call answers both results in the registers.
    const bool bAnswered = Send(&request) != kAmiSmiNoAnswer;
    m_dwResult1 = bAnswered ? request.dwResult1 : kAmiSmiNoAnswer;
    m_dwResult2 = bAnswered ? request.dwResult2 : kAmiSmiNoAnswer;
  } else {
    // NT: the first call answers Result 1 (asked for by Result 1 = 1), the
    // second Result 2 (asked for by Result 2 = 1).
    m_dwResult1 = Send(&request);
    request.dwResult1 = m_dwResult1;
    request.dwResult2 = 1;
    // A board that did not answer the first is not asked again.
    m_dwResult2 = m_dwResult1 == kAmiSmiNoAnswer ? kAmiSmiNoAnswer : Send(&request);
  }
  if (m_dwResult1 == kAmiSmiNoAnswer || m_dwResult2 == kAmiSmiNoAnswer) return kMsgAmiWrongInfo;
  uint8_t* pUser = m_hw.UserBuffer();
  if (pUser && FromShared(pUser)) std::memcpy(m_abyInfo, pUser, sizeof(m_abyInfo));
  // The ROM's size in bytes leads the information record.
  m_dwBiosSize = static_cast<uint32_t>(m_abyInfo[0]) | (static_cast<uint32_t>(m_abyInfo[1]) << 8) |
                 (static_cast<uint32_t>(m_abyInfo[2]) << 16) |
                 (static_cast<uint32_t>(m_abyInfo[3]) << 24);
  if (IsError(m_dwResult1) || IsError(m_dwResult2)) return kMsgAmiWrongInfo;
  return 0;
}

uint32_t CAmiBios::Initialize() {
  std::memcpy(m_szRevision, m_hw.m_szRevision, sizeof(m_szRevision));
  std::memcpy(m_szModel, m_hw.m_szModel, sizeof(m_szModel));
  std::memcpy(m_szTagText, m_hw.m_szTagText, sizeof(m_szTagText));
  std::memcpy(m_szDate, m_hw.m_szDate, sizeof(m_szDate));
  const uint32_t nResult = GetInformation();
  // A ROM size the interface cannot have is wrong information too: every
  // sequence counts whole 4096-byte blocks down from it.
  if (!nResult && (m_dwBiosSize == 0 || m_dwBiosSize % ami::kBlockSize != 0))
    return kMsgAmiWrongInfo;
  return nResult;
}

bool CAmiBios::ChooseSaveFile(IFileDialogPort* pDialogs, WindowRef hOwner, std::string* pstrPath) {
  if (!pDialogs) return false;
  return pDialogs->ChooseSaveFile(
      hOwner, SFileDialogRequest::Save(kRomFilter, "", ".\\amibios.rom"), pstrPath);
}

bool CAmiBios::ChooseOpenFile(IFileDialogPort* pDialogs, WindowRef hOwner, std::string* pstrPath) {
  if (!pDialogs) return false;
  return pDialogs->ChooseOpenFile(hOwner, SFileDialogRequest::Open(kRomFilter, "", ".\\*.rom"),
                                  pstrPath);
}

std::string CAmiBios::RomTypeName(char cRomType) {
  // The ROM type character of the BIOS segment names the flash interface
  // the BIOS drives; 'B' is a '3' whose interface also has "$SFP".
  struct SRomType {
    char cType;
    const char* pszName;
  };
  static const SRomType s_aTypes[] = {
      {'1', "AMI Flash 1 Mbit"},     {'2', "AMI Flash 2 Mbit"},     {'3', "AMI Flash SMI"},
      {'4', "AMI Flash 4 Mbit FWH"}, {'8', "AMI Flash 8 Mbit FWH"}, {'B', "AMI Flash SMI/SFP"},
      {'F', "AMI Flash FWH/LPC"},
  };
  for (const SRomType& type : s_aTypes)
    if (type.cType == cRomType) return type.pszName;
  return "Unknown";
}

uint32_t CAmiBios::LoadFile(const std::string& strPath) {
  std::vector<uint8_t> vecFile;
  if (!ReadWholeFile(*m_platform.pFiles, strPath, m_dwBiosSize, &vecFile) ||
      vecFile.size() != m_dwBiosSize)
    return kMsgAmiSizeError;
  const uint32_t nResult = CheckAmiImage(vecFile.data(), vecFile.size(), m_fnDecode);
  if (nResult) return nResult;
  m_vecImage.swap(vecFile);
  return 0;
}

// ----------------------------------------------------------------- save --

uint32_t CAmiBios::SaveToFile(const std::string& strPath, bool bAutomatic) {
  SetStatus(bAutomatic ? kStatusAutoSaving : kStatusSaving);
  std::unique_ptr<IFile> pFile = m_platform.pFiles->Open(strPath, EFileMode::CreateAlways);
  if (!pFile) {
    // Nothing was saved: say so rather than leave the save's first line.
    SetStatus(kStatusSaveError);
    return kAmiSaveFailed;
  }
  m_sinks.SetPercentText("%");
  m_sinks.SetProgressRange(0, 100);
  uint8_t* pUser = m_hw.UserBuffer();
  if (!pUser) return kMsgAmiNoMemory;

  ami::SSmiRequest open = Request(ami::kSmiOpen, 0, 0);
  m_wSequence = static_cast<uint16_t>(Send(&open));
  uint32_t dwRemaining = m_dwBiosSize;
  bool bWritten = true;
  while (dwRemaining != 0 && bWritten) {
    ami::SSmiRequest read = Request(ami::kSmiRead, ami::kBlockSize, dwRemaining);
    if (Send(&read) != 0 || !FromShared(pUser)) break;
    // A block that does not reach the file is not saved: the save fails
    // rather than report a whole ROM it did not write.
    bWritten = pFile->Write(pUser, ami::kBlockSize);
    if (!bWritten) break;
    dwRemaining -= ami::kBlockSize;
    ShowProgress(dwRemaining);
  }
  ami::SSmiRequest close = Request(ami::kSmiClose, m_wSequence, 0);
  Send(&close);
  m_sinks.SetProgressPos(0);
  m_sinks.SetPercentText("0%");
  pFile.reset();
  if (dwRemaining != 0) {
    SetStatus(kStatusSaveError);
    return kAmiSaveIncomplete;
  }
  SetStatus(kStatusSaveSuccess);
  return 0;
}

// ---------------------------------------------------------------- flash --

// The file's BIOS id and part number against the board's. The BIOS id
// check looks for the board's model anywhere in the file, the part-number
// check for the same model in the file's own tag (the one its BIOS will
// show at F000); the options switch each off. A board without a model
// would match any file: the id check refuses instead.
uint32_t CAmiBios::CheckIdentity(const std::string& strFile, const FlashOptions& options) {
  const std::string strModel = m_szModel;
  size_t nModel = strModel.empty() ? std::string::npos : strFile.find(strModel);
  if (!options.IgnoreBiosIDChk && nModel == std::string::npos) return kMsgAmiNotForThisBoard;

  // The file's own segment: its last 64 KB.
  std::string strSegment;
  if (strFile.size() >= ami::kSegmentSize)
    strSegment = strFile.substr(strFile.size() - ami::kSegmentSize);
  const size_t nTag = strSegment.find(ami::kTagMarker);
  std::string strFileModel;
  if (nTag != std::string::npos)
    strFileModel = strSegment.substr(nTag + ami::kTagModelOffset, strModel.size() ? 5 : 0);
  if (!options.IgnoreBiosPNChk && (strFileModel.size() != 5 || strFileModel != strModel))
    return kMsgAmiNotForThisBoard;

  // The id shown in the question: 8 characters from the model, cut at the
  // file's end; the file's tag when the model was not looked for.
  if (nModel == std::string::npos && nTag != std::string::npos)
    nModel = strFile.size() - ami::kSegmentSize + nTag + ami::kTagModelOffset;
  m_strFileBiosId =
      nModel == std::string::npos ? std::string() : strFile.substr(nModel, kFileBiosIdLength);
  m_strFileDate.clear();
  if (strSegment.size() >= ami::kDateOffset + kDateLength) {
    m_strFileDate = strSegment.substr(ami::kDateOffset, kDateLength);
    m_strFileDate.resize(std::strlen(m_strFileDate.c_str()));
  }
  return 0;
}

template <class F>
bool CAmiBios::EachBlock(F fnBlock) {
  uint32_t dwOffset = 0;
  for (uint32_t dwRemaining = m_dwBiosSize; dwRemaining != 0; dwRemaining -= ami::kBlockSize) {
    // The protected areas are the last m_dwLimit bytes of the ROM.
    if (m_dwLimit < dwRemaining) {
      if (!fnBlock(dwOffset, dwRemaining)) return false;
      ShowProgress(dwRemaining - ami::kBlockSize);
    }
    dwOffset += ami::kBlockSize;
  }
  return true;
}

uint32_t CAmiBios::EraseAll() {
  SetStatus(kStatusErasing);
  // The first pass passes over a failing block; the second ends at one.
  for (int nPass = 0; nPass < 2; ++nPass) {
    // A request the interface did not answer at all ends both passes: a
    // board that stopped answering erases nothing more.
    const bool bDone = EachBlock([&](uint32_t, uint32_t dwRemaining) {
      ami::SSmiRequest erase = Request(ami::kSmiErase, ami::kBlockSize, dwRemaining);
      const uint32_t dwStatus = Send(&erase);
      return dwStatus == 0 || (nPass == 0 && dwStatus != kAmiSmiNoAnswer);
    });
    if (!bDone) {
      SetStatus(kStatusEraseError);
      return kStatusEraseError;
    }
  }
  SetStatus(kStatusEraseSuccess);
  return 0;
}

uint32_t CAmiBios::ProgramAll() {
  SetStatus(kStatusProgramming);
  const bool bDone = EachBlock([&](uint32_t dwOffset, uint32_t dwRemaining) {
    if (!ToShared(m_vecImage.data() + dwOffset)) return false;
    ami::SSmiRequest program = Request(ami::kSmiProgram, ami::kBlockSize, dwRemaining);
    return Send(&program) == 0;
  });
  if (!bDone) {
    SetStatus(kStatusProgramError);
    return kMsgAmiProgramFailed;
  }
  SetStatus(kStatusProgramSuccess);
  return 0;
}

uint32_t CAmiBios::VerifyAll() {
  SetStatus(kStatusVerifying);
  uint8_t* pUser = m_hw.UserBuffer();
  if (!pUser) {
    SetStatus(kStatusVerifyError);
    return kMsgAmiNoMemory;
  }
  uint32_t nResult = 0;
  EachBlock([&](uint32_t dwOffset, uint32_t dwRemaining) {
    ami::SSmiRequest read = Request(ami::kSmiRead, ami::kBlockSize, dwRemaining);
    if (Send(&read) != 0 || !FromShared(pUser)) {
      nResult = kMsgAmiReadFailed;
      return false;
    }
    if (std::memcmp(pUser, m_vecImage.data() + dwOffset, ami::kBlockSize) != 0) {
      nResult = kMsgAmiVerifyError;
      return false;
    }
    return true;
  });
  SetStatus(nResult ? kStatusVerifyError : kStatusVerifySuccess);
  return nResult;
}

bool CAmiBios::ClearCmos() {
  SetStatus(kStatusClearingCmos);
  bool bAnswered = true;
  for (uint8_t byLocation : ami::kClearCmosLocations) {
    if (m_hw.IsWin9x()) {
      IDirectIoPort* pDirect = m_hw.DirectIo();
      // Index and value each written twice, as the chipset expects.
      bAnswered = pDirect && pDirect->PortOut(0x70, byLocation) &&
                  pDirect->PortOut(0x70, byLocation) && pDirect->PortOut(0x71, 0xFF) &&
                  pDirect->PortOut(0x71, 0xFF);
    } else {
      ami::SSmiRequest cmos = Request(ami::kSmiGetInfo, byLocation, 0);
      const uint32_t dwStatus = m_hw.CallSmi(1, &cmos);
      bAnswered = m_hw.LastSmiAnswered() && !IsError(dwStatus);
    }
    if (!bAnswered) return false;
  }
  return true;
}

uint32_t CAmiBios::CheckKeptTopBlock() {
  if (m_dwLimit < ami::kBlockSize) return 0;  // the update rewrites the top block
  uint8_t* pUser = m_hw.UserBuffer();
  if (!pUser) return kMsgAmiNoMemory;
  ami::SSmiRequest open = Request(ami::kSmiOpen, 0, 0);
  const uint16_t wSequence = static_cast<uint16_t>(Send(&open));
  ami::SSmiRequest read = Request(ami::kSmiRead, ami::kBlockSize, ami::kBlockSize);
  const bool bRead = Send(&read) == 0 && FromShared(pUser);
  ami::SSmiRequest close = Request(ami::kSmiClose, wSequence, 0);
  Send(&close);
  if (!bRead) return kMsgAmiReadFailed;
  // The top block holds the processor's reset vector: a ROM whose top
  // block is blank cannot start, and an update that keeps it stays so.
  for (uint32_t i = 0; i < ami::kBlockSize; ++i)
    if (pUser[i] != 0xFF) return 0;
  return kMsgAmiBootBlockErased;
}

uint32_t CAmiBios::Flash(const std::string& strPath, const FlashOptions& options) {
  uint64_t qwSize = 0;
  {
    std::unique_ptr<IFile> pFile = m_platform.pFiles->Open(strPath, EFileMode::Read);
    if (!pFile || !pFile->GetSize(&qwSize) || qwSize != m_dwBiosSize) return kMsgAmiSizeError;
  }
  std::vector<uint8_t> vecFile;
  if (!ReadWholeFile(*m_platform.pFiles, strPath, m_dwBiosSize, &vecFile)) return kMsgAmiSizeError;
  const std::string strFile(vecFile.begin(), vecFile.end());
  if (uint32_t nResult = CheckIdentity(strFile, options)) return nResult;

  if (uint32_t nResult = GetInformation()) return nResult;
  m_dwLimit = 0;
  if (!options.BootBlock) m_dwLimit = m_dwResult1;
  if (!options.NvRam) m_dwLimit += m_dwResult2;
  if (uint32_t nResult = LoadFile(strPath)) return nResult;
  if (uint32_t nResult = CheckKeptTopBlock()) return nResult;

  const std::string strQuestion =
      FormatText(m_Msg.Text(kMsgAskFlash),
                 FormatText(m_Msg.Text(kMsgFileFacts), m_strFileBiosId, m_strFileDate),
                 options.ClearCMOS ? m_Msg.Text(kMsgCmosWillClear) : std::string());
  if (m_Msg.Ask(strQuestion, kCaptionUpdateBios, kMbYesNo) != kIdYes) return 0;

  ami::SSmiRequest open = Request(ami::kSmiOpen, 0, 0);
  const uint32_t dwOpen = Send(&open);
  m_wSequence = static_cast<uint16_t>(dwOpen);
  // No sequence was opened on a board that did not answer: nothing to
  // erase, nothing to close, and the ROM is as it was.
  if (dwOpen == kAmiSmiNoAnswer) {
    SetStatus(kStatusEraseError);
    return kStatusEraseError;
  }
  auto CloseSequence = [&]() {
    ami::SSmiRequest close = Request(ami::kSmiClose, m_wSequence, 0);
    return Send(&close) == 0;
  };
  uint32_t nResult = EraseAll();
  if (nResult == 0) {
    m_platform.pSystem->Sleep(kStepPauseMs);
    nResult = ProgramAll();
  }
  if (nResult == 0) {
    m_platform.pSystem->Sleep(kStepPauseMs);
    nResult = VerifyAll();
  }
  const bool bClosed = CloseSequence();
  // An erase failure comes back as its own text (734), so the window shows
  // it as an error rather than nothing.
  if (nResult) return nResult;

  // The ROM holds the new BIOS, but a board that does not take the close
  // or a CMOS location now (its driver failed, it lost power, or it stayed
  // busy) has not finished the update: no success and no restart question.
  if (!bClosed || (options.ClearCMOS && !ClearCmos())) return kMsgAmiUnfinished;
  // Loading the defaults is the BIOS's own work at the next start once the
  // CMOS checksum no longer matches: clearing did that already.
  if (options.LoadCMOSDefault) SetStatus(kStatusLoadingDefaults);

  CSystemInfo systemInfo(*m_platform.pSystem, *m_platform.pPower, *m_platform.pUi);
  if (options.AutoRebootSystem) {
    systemInfo.Reboot();
  } else {
    const std::string strReboot =
        m_strRebootMsg.empty() ? std::string() : "\n" + m_strRebootMsg + "\n";
    if (m_Msg.Ask(FormatText(m_Msg.Text(kMsgAskReboot), strReboot), kCaptionUpdateBios, kMbYesNo) ==
        kIdYes)
      systemInfo.Reboot();
  }
  SetStatus(kStatusFlashSuccess);
  return 0;
}
