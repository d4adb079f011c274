#include "kt9020dll/Kt9020Library.h"

#include <cstdio>
#include <cstring>

#include "kt9020dll/ControllerCommand.h"
#include "kt9020dll/PortRecord.h"
#include "platform/ByteView.h"
#include "platform/DriverService.h"
#include "platform/WinTypes.h"

const char g_szMutexName[] = "KT9020_MUTEX";
const char g_szDeviceName[] = "\\\\.\\Mirel";
const char g_szDllVersion[16] = "V1.0 2004/--/--";

namespace {

const char kServiceName[] = "Mirel";
// Characters GetSystemDirectoryA may fill, terminator included.
constexpr size_t kSystemDirectoryBuffer = 256;
// Waiting for the driver to come up: interrogations one second apart.
constexpr int kStartPolls = 10;
constexpr uint32_t kStartPollMs = 1000;
constexpr uint32_t kMsrReplyBytes = 8;
// What Everyone may do with the mutex: all standard rights, and release
// (MUTEX_MODIFY_STATE): every transaction opens it to wait and to release.
constexpr uint32_t kMutexEveryoneRights = kStandardRightsAll | kMutexModifyState;

const char kStartFailText[] =
    "When you see this dialog box, please login as administrator and run this\n"
    "program once so that you won't see this dialog box again.";

// The shared values are memory every process with the library maps, so
// they change only through atomic read-modify-write instructions (on x86
// the locked instructions InterlockedIncrement and InterlockedCompareExchange
// use, which work across processes on shared pages): a plain ++ or -- in two
// processes loading or leaving at once would lose one of the changes.
void AddAttach(SKt9020Shared* pShared) {
  __atomic_add_fetch(&pShared->dwAttachCount, 1u, __ATOMIC_SEQ_CST);
}

// Takes one process off the count unless it is already 0; true when this
// took the last one.
bool RemoveAttach(SKt9020Shared* pShared) {
  uint32_t dwCount = __atomic_load_n(&pShared->dwAttachCount, __ATOMIC_SEQ_CST);
  // A failed exchange reloads dwCount with the value another process left.
  while (dwCount > 0 && !__atomic_compare_exchange_n(&pShared->dwAttachCount, &dwCount, dwCount - 1,
                                                     false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
  }
  return dwCount == 1;
}

uint8_t LoadFlag(const uint8_t* pbyFlag) { return __atomic_load_n(pbyFlag, __ATOMIC_SEQ_CST); }
void StoreFlag(uint8_t* pbyFlag, uint8_t byValue) {
  __atomic_store_n(pbyFlag, byValue, __ATOMIC_SEQ_CST);
}

const char* SecurityFailureFormat(ESecurityStep eStep) {
  switch (eStep) {
    case ESecurityStep::AllocateSid:
      return "AllocateAndInitializeSid Error %u\n";
    case ESecurityStep::SetAclEntries:
      return "SetEntriesInAcl Error %u\n";
    case ESecurityStep::AllocateDescriptor:
      return "LocalAlloc Error %u\n";
    case ESecurityStep::InitializeDescriptor:
      return "InitializeSecurityDescriptor Error %u\n";
    case ESecurityStep::SetDacl:
    case ESecurityStep::None:
      break;
  }
  return "SetSecurityDescriptorDacl Error %u\n";
}

}  // namespace

void CKt9020Library::Fail(const char* pszText) {
  std::snprintf(m_szLastError, sizeof(m_szLastError), "%s", pszText);
}

CKt9020Library::CKt9020Library(const SKt9020Ports& ports, SKt9020Shared* pShared)
    : m_ports(ports), m_pShared(pShared) {}

EAttach CKt9020Library::Attach() {
  SOsVersion version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!m_ports.pSystem->GetVersion(&version) || version.dwPlatformId != kPlatformWinNT)
    return EAttach::Refused;
  if (!Start()) {
    Fail("Start driver fail!");
    m_ports.pUi->ShowMessageBox(0, kStartFailText, "MSG", kMbOk);
    return EAttach::EndProcess;
  }
  SetUpMutex();
  AddAttach(m_pShared);
  m_bAttached = true;
  return EAttach::Loaded;
}

void CKt9020Library::Detach() {
  if (!m_bAttached) return;
  m_bAttached = false;
  if (RemoveAttach(m_pShared)) {
    // The last process is leaving: with its handle the mutex goes away.
    StoreFlag(&m_pShared->byMutexCreated, 0);
    StoreFlag(&m_pShared->bySecuritySetUp, 0);
  }
  // Each process closes only its own handles and frees only what it built.
  m_pMutex.reset();
  m_pSecurity.reset();
  m_pDevice.reset();
  m_pService.reset();
  m_bStarted = false;
}

void CKt9020Library::SetUpMutex() {
  // A later process opens the mutex the first one created and keeps its own
  // handle, so the mutex lives as long as any process has the library.
  if (LoadFlag(&m_pShared->byMutexCreated)) {
    m_pMutex = m_ports.pMutexes->Open(g_szMutexName, kSynchronize | kMutexModifyState);
    if (m_pMutex) return;
  }
  // First process (or the creator's mutex is gone): create it, open to Everyone.
  if (!m_pSecurity) {
    m_pSecurity = BuildSecurity();
    StoreFlag(&m_pShared->bySecuritySetUp, m_pSecurity ? 1 : 0);
  }
  m_pMutex = m_ports.pMutexes->Create(g_szMutexName, m_pSecurity.get());
  if (m_pMutex) StoreFlag(&m_pShared->byMutexCreated, 1);
}

std::unique_ptr<ISecurityDescriptor> CKt9020Library::BuildSecurity() {
  ESecurityStep eStep = ESecurityStep::None;
  uint32_t dwError = 0;
  std::unique_ptr<ISecurityDescriptor> pSecurity =
      m_ports.pMutexes->BuildEveryoneDescriptor(kMutexEveryoneRights, &eStep, &dwError);
  if (pSecurity) return pSecurity;
  char szText[64];
  std::snprintf(szText, sizeof(szText), SecurityFailureFormat(eStep),
                static_cast<unsigned>(dwError));
  Fail(szText);
  m_ports.pUi->ShowMessageBox(0, szText, "Error", kMbOk);
  return nullptr;
}

bool CKt9020Library::Start() {
  if (m_ports.pToken->IsAdministrator() && !StartService()) return false;
  // A non-administrator relies on the service already running.
  std::unique_ptr<IDevice> pDevice = m_ports.pDevices->Open(g_szDeviceName);
  if (!pDevice) {
    Fail("Failed to obtain file handle to device: Mirel");
    return false;
  }
  m_pDevice = std::move(pDevice);
  m_bStarted = true;
  return true;
}

SDriverServiceSettings CKt9020Library::MirelServiceSettings() {
  SDriverServiceSettings settings;
  settings.strName = kServiceName;
  settings.dwStartType = kServiceBootStart;  // it must come up with Windows from now on
  settings.dwManagerAccess = kScManagerAllAccess;
  settings.dwServiceAccess = kServiceAllAccess;
  settings.nStartPolls = kStartPolls;
  settings.dwStartPollMs = kStartPollMs;
  return settings;
}

bool CKt9020Library::StartService() {
  CDriverService service(*m_ports.pServices, *m_ports.pSystem, MirelServiceSettings());
  // The driver file must already be in the Drivers folder; it is not copied.
  const EDriverServiceResult eResult = service.EnsureRunning([this](std::string* pstrPath) {
    std::string strSystem;
    if (!m_ports.pSystem->QuerySystemDirectory(&strSystem) || strSystem.empty() ||
        strSystem.size() >= kSystemDirectoryBuffer)
      return false;
    *pstrPath = strSystem + "\\Drivers\\Mirel.sys";
    return true;
  });
  switch (eResult) {
    case EDriverServiceResult::Ok:
      m_pService = service.TakeService();
      return true;
    case EDriverServiceResult::NoManager:
      Fail("Could not open Service Control Manager");
      return false;
    case EDriverServiceResult::NoBinaryPath:
      Fail("Could not find Windows system directory");
      return false;
    case EDriverServiceResult::CreateFailed:
    case EDriverServiceResult::OpenFailed:
      Fail("Could not create Service!");
      return false;
    default:
      Fail("Could not start Mirel.sys");
      return false;
  }
}

bool CKt9020Library::Transact(bool bSet, int nCommand, int nAddress, int nCount, const void* pData,
                              void* pDst, int* pnCopied) {
  const char* pszRequestFail = bSet ? "Error occured in SetAIP" : "Error occured in GetAIP";
  std::unique_ptr<IMutex> pMutex =
      m_ports.pMutexes->Open(g_szMutexName, kSynchronize | kMutexModifyState);
  if (!pMutex) {
    Fail(bSet ? "SetAIP: Open mutex fail" : "GetAIP: Open mutex fail");
    return false;
  }
  // Unknown commands and bad counts are refused before any wait or I/O.
  uint32_t nSent = 0, nExpected = 0;
  if (!GetCommandInputDataLength(nCommand, nCount, &nSent)) {
    Fail("GetCommandInputDataLength() return fail!");
    return false;
  }
  if (!GetCommandOutputDataLength(nCommand, nCount, &nExpected)) {
    Fail("GetCommandOutputDataLength() return fail!");
    return false;
  }
  // The count byte of a block read is not caller data; everything else is.
  bool bCallerData = mirel::FindCommand(nCommand)->eCount != mirel::ECountUse::ReplyLength;
  if ((bSet && bCallerData && nSent && !pData) || (!bSet && nExpected && !pDst)) {
    Fail(pszRequestFail);
    return false;
  }
  SCommandRecord request, reply{};
  BuildCommandRecord(nCommand, nAddress, nCount, bSet ? pData : nullptr, &request);

  // An abandoned mutex (its owner died) is owned by us now: go on.
  if (pMutex->Wait() == EWaitResult::Failed) {
    Fail(pszRequestFail);
    return false;
  }
  bool bResult = false;
  uint32_t nReturned = 0;
  if (!m_pDevice ||
      !m_pDevice->IoControl(bSet ? mirel::kSetAip : mirel::kGetAip, request.aby,
                            sizeof(request.aby), reply.aby, sizeof(reply.aby), &nReturned)) {
    Fail(pszRequestFail);
  } else {
    uint32_t nLength = 0;
    if (ParseCommandReply(reply, &nLength) == EReply::Timeout) {
      Fail(bSet ? "SetAIP: Driver timeout" : "GetAIP: Driver timeout");
    } else {
      if (!bSet) {
        // Never more than the command asked for: the caller sized dst for that.
        uint32_t nCopy = nLength < nExpected ? nLength : nExpected;
        CByteView(reply.aby, sizeof(reply.aby)).Copy(mirel::kRecReplyData, pDst, nCopy);
        *pnCopied = static_cast<int>(nCopy);
      }
      bResult = true;
    }
  }
  if (!pMutex->Release()) Fail(bSet ? "SetAIP: Release mutex fail" : "GetAIP: Release mutex fail");
  return bResult;
}

int CKt9020Library::GetAip(int nCommand, int nAddress, int nCount, void* pDst) {
  int nCopied = 0;
  return Transact(false, nCommand, nAddress, nCount, nullptr, pDst, &nCopied) ? nCopied : 0;
}

bool CKt9020Library::SetAip(int nCommand, int nAddress, int nCount, const void* pData) {
  return Transact(true, nCommand, nAddress, nCount, pData, nullptr, nullptr);
}

bool CKt9020Library::IsKt9020Exist() {
  uint8_t abyData[8] = {};
  return SetAip(0x20, 0x1000, 0, abyData);
}

bool CKt9020Library::PortRequest(uint32_t dwCode, mirel::SPortRecord* pRecord) {
  mirel::SPortRecord reply{};
  uint32_t nReturned = 0;
  if (!m_pDevice ||
      !m_pDevice->IoControl(dwCode, pRecord, sizeof(*pRecord), &reply, sizeof(reply), &nReturned))
    return false;
  *pRecord = reply;
  return true;
}

bool CKt9020Library::InPortB(int nPort, uint8_t* pbyValue) {
  mirel::SPortRecord record = MakePortRecord(EPortFill::ByteIn, 1, static_cast<uint32_t>(nPort), 0);
  if (!pbyValue || !PortRequest(mirel::kInPortB, &record)) {
    Fail("Error occured in InPortB");
    return false;
  }
  *pbyValue = record.byValue;
  return true;
}

bool CKt9020Library::OutPortB(int nPort, int nValue) {
  mirel::SPortRecord record = MakePortRecord(EPortFill::ByteOut, 1, static_cast<uint32_t>(nPort),
                                             static_cast<uint32_t>(nValue));
  if (!PortRequest(mirel::kOutPortB, &record)) {
    Fail("Error occured in WriteData");
    return false;
  }
  return true;
}

bool CKt9020Library::ReadPortVal(int nPort, int* pnValue, int nSize) {
  // Only 1, 2 and 4 byte accesses have a place for the value in the reply.
  if (!IsPortAccessSize(nSize)) {
    Fail("Error occurred in ReadPortVal ==> Size not match");
    return false;
  }
  uint8_t bySize = static_cast<uint8_t>(nSize);
  mirel::SPortRecord record =
      MakePortRecord(EPortFill::AllViews, bySize, static_cast<uint32_t>(nPort), 0);
  if (!pnValue || !PortRequest(mirel::kReadPortVal, &record)) {
    Fail("Error occurred in ReadPortVal!");
    return false;
  }
  uint32_t dwValue = 0;
  if (record.bySize != bySize || !PortReplyValue(record, bySize, &dwValue)) {
    Fail("Error occurred in ReadPortVal ==> Size not match");
    return false;
  }
  *pnValue = static_cast<int>(dwValue);
  return true;
}

bool CKt9020Library::WritePortVal(int nPort, int nValue, int nSize) {
  if (!IsPortAccessSize(nSize)) {
    Fail("Error occurred in WritePortVal ==> Size not match");
    return false;
  }
  uint8_t bySize = static_cast<uint8_t>(nSize);
  mirel::SPortRecord record = MakePortRecord(
      EPortFill::AllViews, bySize, static_cast<uint32_t>(nPort), static_cast<uint32_t>(nValue));
  if (!PortRequest(mirel::kWritePortVal, &record)) {
    Fail("Error occurred in WritePortVal!");
    return false;
  }
  if (record.bySize != bySize) {
    Fail("Error occurred in WritePortVal ==> Size not match");
    return false;
  }
  return true;
}

uint64_t CKt9020Library::ReadMsr(uint32_t dwIndex) {
  uint8_t abyReply[kMsrReplyBytes] = {};
  uint32_t nReturned = 0;
  if (!m_pDevice || !m_pDevice->IoControl(mirel::kReadMsr, &dwIndex, sizeof(dwIndex), abyReply,
                                          sizeof(abyReply), &nReturned)) {
    Fail("ia32error::err_ring0_ioctl");
    return 0;
  }
  if (nReturned != kMsrReplyBytes) {
    Fail("ia32error::err_ring0_size");
    return 0;
  }
  CByteView view(abyReply, sizeof(abyReply));
  uint32_t dwLow = 0, dwHigh = 0;
  view.U32(0, &dwLow);
  view.U32(4, &dwHigh);
  return (static_cast<uint64_t>(dwHigh) << 32) | dwLow;
}

bool CKt9020Library::WriteMsr(uint32_t dwIndex, uint32_t dwLow, uint32_t dwHigh) {
  mirel::SMsrWrite request{dwIndex, dwLow, dwHigh};
  uint32_t nReturned = 0;
  if (!m_pDevice ||
      !m_pDevice->IoControl(mirel::kWriteMsr, &request, sizeof(request), nullptr, 0, &nReturned)) {
    Fail("ia32error::err_ring0_ioctl");
    return false;
  }
  return true;
}

uint8_t CKt9020Library::SetRs232Flag(int nFlag) {
  m_pShared->byRS232 = static_cast<uint8_t>(nFlag);
  return m_pShared->byRS232;
}
