#include "tessaro/ami/AmiHwAccess.h"

#include <cstdio>
#include <cstring>

#include "platform/ByteView.h"
#include "platform/WinTypes.h"

namespace {

const char kHwIoctl[] = "HwIOctl";
const char kMemctl[] = "Memctl";
constexpr int kMemctlTries = 5;
constexpr uint32_t kMemctlPauseMs = 100;
constexpr uint32_t kBusyPauseMs = 1;
constexpr uint32_t kUserBufferSize = ami::kBlockSize;

// Copies n characters of the view at offset into a 20-character text;
// false (and an empty text) when they do not all lie inside the view.
bool CopyText(const CByteView& view, long nOffset, size_t n, char (&szOut)[20]) {
  szOut[0] = '\0';
  if (nOffset < 0 || n >= sizeof(szOut) || !view.Copy(static_cast<size_t>(nOffset), szOut, n))
    return false;
  szOut[n] = '\0';
  return true;
}

std::string Formatted(const char* pszFormat, uint32_t dwValue) {
  char sz[96];
  std::snprintf(sz, sizeof(sz), pszFormat, static_cast<unsigned>(dwValue));
  return sz;
}

}  // namespace

CAmiHwAccess::CAmiHwAccess(const SAmiHwPorts& ports, const CResources& resources, bool bWin9xFamily)
    : m_ports(ports), m_resources(resources), m_bWin9x(bWin9xFamily) {
  std::strcpy(m_szTagText, "Unknown");
  std::strcpy(m_szIdentity1, "Unknown");
  std::string strDir;
  if (m_ports.pSystem && m_ports.pSystem->QueryCurrentDirectory(&strDir)) {
    if (strDir.size() > 254) strDir.resize(254);
    if (strDir.empty() || strDir.back() != '\\') strDir += '\\';
    m_strDriverDir = strDir;
  }
}

CAmiHwAccess::~CAmiHwAccess() = default;

void CAmiHwAccess::Print(const std::string& strText) {
  if (m_ports.pStdout) *m_ports.pStdout += strText;
}

void CAmiHwAccess::ShowError(uint32_t nId) {
  if (!m_ports.pUi) return;
  CMessageHelper messages(m_resources, *m_ports.pUi);
  messages.ShowError(nId);
}

// ------------------------------------------------------ driver manager --

bool CAmiHwAccess::ManageDriver(const std::string& strName, const std::string& strPath,
                                int nFunction) {
  if (strName.empty() || strPath.empty()) {
    Print("Invalid Driver or Service provided to ManageDriver() \n");
    m_bFailure = true;
    return false;
  }
  if (nFunction != kDriverInstall && nFunction != kDriverRemove) {
    Print("Unknown ManageDriver() function. \n");
    m_bFailure = true;
    return false;
  }
  if (!m_ports.pServices || !m_ports.pSystem) {
    m_bFailure = true;
    return false;
  }
  SDriverServiceSettings settings;
  settings.strName = strName;
  settings.dwStartType = kServiceDemandStart;
  CDriverService service(*m_ports.pServices, *m_ports.pSystem, settings);
  auto NoManager = [&](EDriverServiceResult eResult) {
    if (eResult != EDriverServiceResult::NoManager) return false;
    Print(Formatted("Open SC Manager failed! Error = %d \n", service.LastError()));
    m_bFailure = true;
    return true;
  };
  if (nFunction == kDriverInstall) {
    // An existing service counts as created, a running one as started.
    EDriverServiceResult eResult = service.Install(strPath);
    if (NoManager(eResult)) return false;
    eResult = service.Start();
    if (NoManager(eResult)) return false;
    return eResult == EDriverServiceResult::Ok;
  }
  // Stop and delete: whatever they answer, the service is gone or going.
  if (NoManager(service.Stop())) return false;
  service.Remove();
  return true;
}

std::unique_ptr<IDevice> CAmiHwAccess::OpenDriverDevice(const std::string& strName) {
  if (!m_ports.pDevices) {
    m_bFailure = true;
    return nullptr;
  }
  const std::string strDevice = "\\\\.\\" + strName;
  std::unique_ptr<IDevice> pDevice = m_ports.pDevices->Open(strDevice);
  if (pDevice) return pDevice;
  if (m_ports.pDevices->LastError() != kErrorFileNotFound) {
    m_bFailure = true;
    return nullptr;
  }
  // Not installed yet: the driver file beside the program's start
  // directory must exist, or no service is created at all.
  const std::string strFile = m_strDriverDir + strName + ".sys";
  if (!m_ports.pFiles || !m_ports.pFiles->Open(strFile, EFileMode::Read)) {
    m_bFailure = true;
    return nullptr;
  }
  if (!ManageDriver(strName, strFile, kDriverInstall)) {
    ManageDriver(strName, strFile, kDriverRemove);
    m_bFailure = true;
    return nullptr;
  }
  pDevice = m_ports.pDevices->Open(strDevice);
  if (!pDevice) m_bFailure = true;
  return pDevice;
}

bool CAmiHwAccess::OpenMemctl() {
  for (int i = 0; i < kMemctlTries && !m_pMemctl; ++i) {
    m_pMemctl = OpenDriverDevice(kMemctl);
    m_ports.pSystem->Sleep(kMemctlPauseMs);
  }
  return m_pMemctl != nullptr;
}

IDevice* CAmiHwAccess::MemoryDevice() const { return m_bWin9x ? m_pVxd.get() : m_pMemctl.get(); }

// ------------------------------------------------------------ requests --

uint32_t CAmiHwAccess::ReadPort(int nWidth, uint16_t wPort) {
  static const uint32_t s_adwCodes[] = {ami::kReadPortByte, ami::kReadPortWord,
                                        ami::kReadPortDword};
  if (!m_pHwIoctl || nWidth < kPortByte || nWidth > kPortDword) return 0;
  const uint32_t dwPort = wPort;
  uint32_t dwValue = 0, nReturned = 0;
  if (!m_pHwIoctl->IoControl(s_adwCodes[nWidth], &dwPort, sizeof(dwPort), &dwValue, sizeof(dwValue),
                             &nReturned))
    return 0;
  return dwValue;
}

bool CAmiHwAccess::WritePort(int nWidth, uint16_t wPort, uint32_t dwValue) {
  static const uint32_t s_adwCodes[] = {ami::kWritePortByte, ami::kWritePortWord,
                                        ami::kWritePortDword};
  if (!m_pHwIoctl || nWidth < kPortByte || nWidth > kPortDword) return false;
  const ami::SPortWrite write = {wPort, dwValue};
  uint32_t nReturned = 0;
  return m_pHwIoctl->IoControl(s_adwCodes[nWidth], &write, sizeof(write), nullptr, 0, &nReturned);
}

uint32_t CAmiHwAccess::CallSmi(int nMode, ami::SSmiRequest* pRequest) {
  m_bSmiAnswered = false;
  if (m_bWin9x) {
    // The 9x family raises the SMI itself: the registers carry the block.
    IDirectIoPort* pDirect = m_ports.pDirectIo;
    if (!pDirect) return 0;
    SX86Registers regs = {};
    regs.dwEax = ami::kDirectSmiEaxBase + pRequest->wFunction;
    regs.dwEbx = ami::kDirectSmiEbx;
    regs.dwEcx = pRequest->dwSize & 0xFFFF;
    regs.dwEsi = pRequest->dwBuffer;
    regs.dwEdi = pRequest->dwRemaining;
    if (!pDirect->RaiseSmi(pRequest->wPort, &regs)) return 0;
    m_bSmiAnswered = true;
    // Three writes to an unused port give the handler its delay.
    for (int i = 0; i < 3; ++i)
      pDirect->PortOut(ami::kDelayPort, static_cast<uint8_t>(regs.dwEax & 0xFF));
    pRequest->dwResult1 = regs.dwEbx;
    pRequest->dwResult2 = regs.dwEcx;
    return regs.dwEax & 0xFFFF;
  }
  if (!m_pHwIoctl) return 0;
  const uint32_t dwCode = nMode == 1 ? ami::kCallSmiCmos : ami::kCallSmi;
  uint32_t dwStatus = 0;
  // A busy interface echoes the function word: send again after 1 ms.
  for (int nSend = 0; nSend < ami::kMaxSmiSends; ++nSend) {
    if (nSend > 0) m_ports.pSystem->Sleep(kBusyPauseMs);
    uint32_t nReturned = 0;
    dwStatus = 0;
    if (!m_pHwIoctl->IoControl(dwCode, pRequest, sizeof(*pRequest), &dwStatus, sizeof(dwStatus),
                               &nReturned))
      return 0;
    m_bSmiAnswered = true;
    if ((dwStatus & 0xFFFF) != pRequest->wFunction) break;
  }
  return dwStatus;
}

uintptr_t CAmiHwAccess::MapPhysical(uint32_t dwType, uint32_t dwPhysical, uint32_t dwLength) {
  if (!m_pMemctl) return 0;
  const ami::SMapRequest request = {dwType, 0, dwPhysical, 0, 0, dwLength};
  uintptr_t pUser = 0;
  uint32_t nReturned = 0;
  if (!m_pMemctl->IoControl(ami::kMapPhysical, &request, sizeof(request), &pUser, sizeof(pUser),
                            &nReturned) ||
      nReturned < sizeof(pUser))
    return 0;
  return pUser;
}

void CAmiHwAccess::UnmapPhysical(uintptr_t pUser) {
  if (!m_pMemctl || !pUser) return;
  uint32_t nReturned = 0;
  m_pMemctl->IoControl(ami::kUnmapPhysical, &pUser, sizeof(pUser), nullptr, 0, &nReturned);
}

uint32_t CAmiHwAccess::AllocSharedBuffer(uint32_t dwSize) {
  IDevice* pDevice = MemoryDevice();
  if (!pDevice) return 0;
  // A buffer that no slot could record would never be freed: ask only
  // while a slot is free.
  SSlot* pFree = nullptr;
  for (SSlot& slot : m_aSlots)
    if (!slot.pUser) {
      pFree = &slot;
      break;
    }
  if (!pFree) return 0;
  ami::SBufferRecord record = {};
  uint32_t nReturned = 0;
  if (!pDevice->IoControl(ami::kAllocBuffer, &dwSize, sizeof(dwSize), &record, sizeof(record),
                          &nReturned) ||
      nReturned < sizeof(record) || !record.pUser || !record.nId)
    return 0;
  pFree->pUser = record.pUser;
  pFree->dwId = static_cast<uint32_t>(record.nId);
  return pFree->dwId;
}

uint32_t CAmiHwAccess::GetBufferPhysAddr(uint32_t dwId) {
  IDevice* pDevice = MemoryDevice();
  if (!pDevice || !dwId) return 0;
  for (const SSlot& slot : m_aSlots) {
    if (!slot.pUser || slot.dwId != dwId) continue;
    uint32_t dwPhysical = 0, nReturned = 0;
    if (!pDevice->IoControl(ami::kBufferPhysical, &dwId, sizeof(dwId), &dwPhysical,
                            sizeof(dwPhysical), &nReturned))
      return 0;
    return dwPhysical;
  }
  return 0;
}

void CAmiHwAccess::FreeSharedBuffers() {
  if (IDevice* pDevice = MemoryDevice()) {
    for (SSlot& slot : m_aSlots) {
      if (!slot.pUser) continue;
      uint32_t nReturned = 0;
      pDevice->IoControl(ami::kFreeBuffer, &slot.pUser, sizeof(slot.pUser), nullptr, 0, &nReturned);
    }
  }
  for (SSlot& slot : m_aSlots) slot = SSlot();
  m_pSharedBuffer = 0;
  if (m_bWin9x) m_pVxd.reset();
}

bool CAmiHwAccess::CopySharedMemory(uintptr_t pDestination, uintptr_t pSource, uint32_t dwLength) {
  if (m_bWin9x || !m_pMemctl) return false;
  const ami::SCopyRequest request = {pDestination, pSource, dwLength};
  uint32_t nReturned = 0;
  return m_pMemctl->IoControl(ami::kCopyMemory, &request, sizeof(request), nullptr, 0, &nReturned);
}

// ----------------------------------------------- detection and identity --

bool CAmiHwAccess::ReadSegment(std::vector<uint8_t>* pSegment, bool bForDetection) {
  pSegment->assign(ami::kSegmentMapLength, 0);
  if (m_bWin9x) {
    // The first megabyte is mapped into every 9x process.
    return m_ports.pDirectIo && m_ports.pDirectIo->ReadPhysical(
                                    ami::kSegmentAddress, pSegment->data(), ami::kSegmentMapLength);
  }
  if (!m_pMemctl && !(bForDetection && OpenMemctl())) {
    // Detection without the driver finds no AMI BIOS, silently (the
    // Award detection follows); afterwards a missing driver is an error.
    if (!bForDetection) ShowError(kMsgMapPhysicalFailed);
    return false;
  }
  const uintptr_t pUser = MapPhysical(1, ami::kSegmentAddress, ami::kSegmentMapLength);
  if (!pUser) {
    ShowError(kMsgMapF000Failed);
    return false;
  }
  std::memcpy(pSegment->data(), reinterpret_cast<const void*>(pUser), ami::kSegmentMapLength);
  UnmapPhysical(pUser);
  return true;
}

bool CAmiHwAccess::DetectAmiBios() {
  std::vector<uint8_t> vecSegment;
  m_bAmiPresent = ReadSegment(&vecSegment, true) &&
                  std::memcmp(vecSegment.data() + ami::kSignatureOffset, ami::kSignature,
                              sizeof(ami::kSignature) - 1) == 0;
  return m_bAmiPresent;
}

uint16_t CAmiHwAccess::ReadBiosIdentity() {
  std::vector<uint8_t> vecSegment;
  if (!ReadSegment(&vecSegment, false)) return m_wSmiPort;
  const CByteView segment(vecSegment.data(), vecSegment.size());

  uint8_t byType = 0;
  segment.U8(ami::kRomTypeOffset, &byType);
  m_cRomType = static_cast<char>(byType);
  const long nSfi = segment.Find(ami::kSfiMarker);
  uint16_t wPort = ami::kUnknownPort;
  if (nSfi >= 0 && segment.U16(static_cast<size_t>(nSfi) + ami::kSfiPortOffset, &wPort)) {
    m_wSmiPort = wPort;
    const CByteView sfp = segment.Sub(static_cast<size_t>(nSfi) + ami::kSfiSfpOffset, 4);
    if (m_cRomType == '3' && sfp.Size() == 4 && std::memcmp(sfp.Data(), ami::kSfpMarker, 4) == 0)
      m_cRomType = 'B';
  }
  const long nTag = segment.Find(ami::kTagMarker);
  if (nTag >= 0) {
    // A tag cut off by the segment's end counts as absent.
    if (!CopyText(segment, nTag + ami::kTagRevisionOffset, 2, m_szRevision) ||
        !CopyText(segment, nTag + ami::kTagModelOffset, 5, m_szModel) ||
        !CopyText(segment, nTag + ami::kTagModelOffset, 8, m_szTagText)) {
      m_szRevision[0] = m_szModel[0] = '\0';
      std::strcpy(m_szTagText, "Unknown");
    }
  }
  CopyText(segment, ami::kDateOffset, 9, m_szDate);
  m_szDate[8] = '\0';  // the ninth byte is the date's terminator
  if (!CopyText(segment, ami::kIdentity1Offset, 6, m_szIdentity1))
    std::strcpy(m_szIdentity1, "Unknown");
  return m_wSmiPort;
}

// ---------------------------------------------------- start-up and exit --

void CAmiHwAccess::OpenAmiAccess() {
  ReadBiosIdentity();
  m_pHwIoctl = m_bWin9x ? nullptr : OpenDriverDevice(kHwIoctl);
  for (SSlot& slot : m_aSlots) slot = SSlot();
  if (m_bWin9x) {
    if (m_ports.pDevices) m_pVxd = m_ports.pDevices->Open(ami::kVxdName);
  } else if (!m_pMemctl) {
    OpenMemctl();
  }
  m_dwSharedBufferId = AllocSharedBuffer(kUserBufferSize);
  for (const SSlot& slot : m_aSlots)
    if (slot.pUser && slot.dwId == m_dwSharedBufferId) m_pSharedBuffer = slot.pUser;
  m_dwSharedBufferPhys = GetBufferPhysAddr(m_dwSharedBufferId);
  m_vecUserBuffer.assign(kUserBufferSize, 0);
}

void CAmiHwAccess::CloseAmiAccess() {
  m_vecUserBuffer.clear();
  m_vecUserBuffer.shrink_to_fit();
  FreeSharedBuffers();
  m_dwSharedBufferId = 0;
  m_dwSharedBufferPhys = 0;
  m_pHwIoctl.reset();
  m_pMemctl.reset();
  if (m_bWin9x) return;
  ManageDriver(kHwIoctl, m_strDriverDir + kHwIoctl + ".sys", kDriverRemove);
  ManageDriver(kMemctl, m_strDriverDir + kMemctl + ".sys", kDriverRemove);
}
