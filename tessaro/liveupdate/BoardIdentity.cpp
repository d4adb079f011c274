#include "tessaro/liveupdate/BoardIdentity.h"

#include <algorithm>
#include <cstdio>

#include "tessaro/core/Switches.h"
#include "tessaro/liveupdate/TextRules.h"
#include "tessaro/liveupdate/WmiQuery.h"

namespace {

// Controller class of IDE/ATA disk controllers in the device registry.
const char kHdcClass[] = "HDC";
// Key of the live device tree of the 9x Configuration Manager.
const char kDynEnumKey[] = "Config Manager\\Enum";
// Where the NT family keeps its device keys, below HKEY_LOCAL_MACHINE.
const char kNtEnumKey[] = "System\\CurrentControlSet\\Enum\\";
// Largest hardware-id property accepted from a device, in bytes: far more
// than any real multi-string, and a stop for a driver that keeps asking
// for more.
constexpr uint32_t kMaxHardwareIdBytes = 0x10000;
// Separators of the model list's first token.
const char kTokenSeparators[] = " \t\r\n";

// "model%02d" and the like.
std::string Numbered(const char* pszFormat, int n) {
  char sz[32];
  std::snprintf(sz, sizeof(sz), pszFormat, n);
  return sz;
}

// Index of the last entry equal to code; -1 when absent.
int LastIndexOf(const std::vector<std::string>& vec, const std::string& strCode) {
  for (size_t i = vec.size(); i-- > 0;)
    if (vec[i] == strCode) return static_cast<int>(i);
  return -1;
}

}  // namespace

CBoardIdentity::CBoardIdentity(const SBoardIdentityPorts& ports, const IBiosIdentitySource& bios,
                               CBiosInfoFile& infoFile, std::string strLocalInfoPath,
                               bool bWin9xFamily)
    : m_ports(ports),
      m_bios(bios),
      m_InfoFile(infoFile),
      m_strLocalInfoPath(std::move(strLocalInfoPath)),
      m_bWin9xFamily(bWin9xFamily) {}

void CBoardIdentity::Debug(const std::string& strText) const {
  if (g_bDebug && m_ports.pMessages) m_ports.pMessages->ShowInfo(strText, kCaptionTessaro);
}

// ------------------------------------------------------- disk controller --

std::string CBoardIdentity::SidFromHardwareKey(const std::string& strHardwareKey) {
  // The four characters after "SUBSYS_", else from the seventh on; a
  // shorter text gives what it has.
  size_t nAt = strHardwareKey.find("SUBSYS_");
  nAt = nAt == std::string::npos ? 6 : nAt + 7;
  if (nAt >= strHardwareKey.size()) return std::string();
  return strHardwareKey.substr(nAt, 4);
}

bool CBoardIdentity::IsHardDiskController(const std::string& strKeyPath) {
  if (!m_ports.pRegistry) return false;
  std::unique_ptr<IRegistryKey> pKey =
      m_ports.pRegistry->Open(ERegRoot::LocalMachine, strKeyPath, kRegRead);
  std::string strClass;
  if (!pKey || !pKey->QueryString("Class", &strClass)) return false;
  return UpperAscii(strClass) == kHdcClass;
}

bool CBoardIdentity::GetBoardSIDWin9x(std::string* pstrSID) {
  std::unique_ptr<IRegistryKey> pEnum = m_ports.pDevices->OpenDynData(kDynEnumKey);
  if (!pEnum) return false;
  std::string strName;
  for (uint32_t n = 0; pEnum->EnumSubKey(n, &strName); ++n) {
    std::unique_ptr<IRegistryKey> pEntry =
        m_ports.pDevices->OpenDynData(std::string(kDynEnumKey) + "\\" + strName);
    std::string strHardwareKey;
    if (!pEntry || !pEntry->QueryString("HardWareKey", &strHardwareKey)) continue;
    // The value was read into 1024 bytes.
    if (strHardwareKey.size() > 1023) strHardwareKey.resize(1023);
    if (strHardwareKey.find("PCI\\") == std::string::npos) continue;
    if (IsHardDiskController("Enum\\" + strHardwareKey)) {
      *pstrSID = SidFromHardwareKey(strHardwareKey);
      return true;
    }
  }
  return false;
}

bool CBoardIdentity::GetBoardSIDWinNT(std::string* pstrSID) {
  std::unique_ptr<IDeviceInfoList> pList = m_ports.pDevices->GetPresentDevices();
  if (!pList) return false;
  std::vector<uint8_t> vecBuffer;
  for (uint32_t n = 0; pList->SelectDevice(n); ++n) {
    vecBuffer.assign(256, 0);
    uint32_t dwError = 0;
    bool bSkip = false;
    for (;;) {
      uint32_t nRequired = 0;
      if (pList->GetHardwareId(vecBuffer.data(), static_cast<uint32_t>(vecBuffer.size()),
                               &nRequired, &dwError))
        break;
      if (dwError == kErrorInvalidData) {
        bSkip = true;
        break;
      }
      if (dwError != kErrorInsufficientBuffer || vecBuffer.size() >= kMaxHardwareIdBytes)
        return false;
      size_t nNext = std::max<size_t>(nRequired, vecBuffer.size() * 2);
      vecBuffer.assign(std::min<size_t>(nNext, kMaxHardwareIdBytes), 0);
    }
    if (bSkip) continue;
    // The first string of the multi-string, bounded by the buffer.
    auto itEnd = std::find(vecBuffer.begin(), vecBuffer.end(), 0);
    std::string strHardwareId(vecBuffer.begin(), itEnd);
    if (strHardwareId.empty() || !m_ports.pRegistry) continue;
    std::unique_ptr<IRegistryKey> pKey =
        m_ports.pRegistry->Open(ERegRoot::LocalMachine, kNtEnumKey + strHardwareId, kRegRead);
    std::string strInstance;
    if (!pKey || !pKey->EnumSubKey(0, &strInstance)) continue;
    if (IsHardDiskController(kNtEnumKey + strHardwareId + "\\" + strInstance)) {
      *pstrSID = SidFromHardwareKey(strHardwareId);
      return true;
    }
  }
  return false;
}

bool CBoardIdentity::GetBoardSID(std::string* pstrSID) {
  if (!m_ports.pDevices) return false;
  return m_bWin9xFamily ? GetBoardSIDWin9x(pstrSID) : GetBoardSIDWinNT(pstrSID);
}

// ------------------------------------------------------ model, revision --

bool CBoardIdentity::GetBiosModel(std::string* pstrModel) const {
  if (m_bios.Family() == EBiosFamily::None) return false;
  *pstrModel = m_bios.Model();
  return true;
}

bool CBoardIdentity::GetBiosRevision(std::string* pstrRevision) {
  switch (m_bios.Family()) {
    case EBiosFamily::Ami:
      *pstrRevision = m_bios.Revision();
      return true;
    case EBiosFamily::Award:
      *pstrRevision = m_bios.Revision();
      if (*pstrRevision == "00") *pstrRevision = GetBaseBoardRevision();
      return true;
    case EBiosFamily::None:
      break;
  }
  return false;
}

std::string CBoardIdentity::RevisionFromBoardVersion(const std::string& strVersion) {
  size_t nColon = strVersion.find(':');
  std::string strRest = nColon == std::string::npos ? strVersion : strVersion.substr(nColon + 1);
  size_t nClose = strRest.find(')');
  if (nClose == std::string::npos || nClose == 0) return "00";
  char sz[16];
  std::snprintf(sz, sizeof(sz), "%02d", AtoI(std::string_view(strRest).substr(0, nClose)));
  return sz;
}

std::string CBoardIdentity::GetBaseBoardRevision() {
  if (!m_ports.pWmi || !m_ports.pUi) return "00";
  CWmiQuery query(*m_ports.pWmi, *m_ports.pUi);
  query.Connect(CWmiQuery::kCimNamespace);
  return RevisionFromBoardVersion(query.GetFirstInstanceProperty("Win32_BaseBoard", "Version"));
}

// ------------------------------------------------------------- matching --

bool CBoardIdentity::FindModelSection(const std::string& strModel, std::string* pstrSection) const {
  std::string strTarget = strModel;
  // The first walk may redirect once to the list entry spelling model and
  // board SID together; a section found by that second walk that again
  // lists SIDs has no further variant, and the walk ends there.
  for (int nWalk = 0; nWalk < 2; ++nWalk) {
    bool bRedirected = false;
    for (int n = 1;; ++n) {
      std::string strEntry;
      m_InfoFile.GetString("SUPPORT_MODEL", Numbered("model%02d", n).c_str(), "", &strEntry);
      std::string strToken(FirstToken(strEntry, kTokenSeparators));
      if (strToken.empty()) return false;
      if (strToken != strTarget) continue;
      std::string strSid;
      m_InfoFile.GetString(strToken.c_str(), "SID1", "", &strSid);
      if (strSid.empty()) {
        *pstrSection = strToken;
        return true;
      }
      strTarget = strModel + m_strBoardSID;
      bRedirected = true;
      break;
    }
    if (!bRedirected) break;
  }
  return false;
}

bool CBoardIdentity::IsRevisionSupported() {
  std::string strRevision;
  if (!GetBiosRevision(&strRevision)) return false;
  return LastIndexOf(m_arrSupport, strRevision) >= 0;
}

bool CBoardIdentity::IsNewerRevision(const std::string& strCode,
                                     const std::string& strRevision) const {
  if (strCode.empty()) return false;
  // A code absent from the list is never offered, however long the list.
  int nCode = LastIndexOf(m_arrSupport, strCode);
  int nInstalled = LastIndexOf(m_arrSupport, strRevision);
  return nCode >= 0 && nInstalled >= 0 && nCode < nInstalled;
}

bool CBoardIdentity::IsNewerRevision(const std::string& strCode) {
  std::string strRevision;
  if (!GetBiosRevision(&strRevision)) return false;
  return IsNewerRevision(strCode, strRevision);
}

void CBoardIdentity::SplitSupport(const std::string& strSupport) {
  m_arrSupport.clear();
  std::string_view rest(strSupport);
  // Codes have at most three characters: a longer remainder holds a ','.
  // One that does not is taken whole as the last code.
  while (rest.size() > 3 && m_arrSupport.size() < kMaxSupportCodes) {
    size_t nComma = rest.find(',');
    if (nComma == std::string_view::npos) break;
    m_arrSupport.emplace_back(rest.substr(0, nComma));
    rest.remove_prefix(nComma + 1);
  }
  if (m_arrSupport.size() < kMaxSupportCodes) m_arrSupport.emplace_back(rest);
  m_nSupportCount = static_cast<int>(m_arrSupport.size());
}

void CBoardIdentity::ReadRestrictionInts(const CBiosInfoFile& file, const std::string& strSection) {
  size_t nKeys = 0;
  const SRestrictionKey* pKeys = GetRestrictionKeys(&nKeys);
  for (size_t i = 0; i < nKeys; ++i)
    m_Restrictions.*pKeys[i].pFlag = file.GetInt(strSection.c_str(), pKeys[i].pszKey, 0) == 1;
}

uint32_t CBoardIdentity::BuildUpdateList(const std::string& strModel, int* pnEntries) {
  m_arrBiosEntries.clear();
  m_nBiosEntryCount = 0;
  std::string strSection;
  if (!FindModelSection(strModel, &strSection)) return kMsgModelNotSupported;
  const char* pszSection = strSection.c_str();

  char szSupport[256];
  if (!m_InfoFile.GetString(pszSection, "support", "", szSupport, sizeof(szSupport)) ||
      !szSupport[0])
    return kMsgBiosNotSupported;
  SplitSupport(szSupport);
  // The installed revision is read once: on some boards it costs a WMI query.
  std::string strRevision;
  if (!GetBiosRevision(&strRevision) || LastIndexOf(m_arrSupport, strRevision) < 0)
    return kMsgBiosNotSupported;

  const int nFiles = m_InfoFile.GetInt(pszSection, "files", 0);
  if (nFiles < 1) return kMsgNoFileInList;
  char szVersions[256];
  m_InfoFile.GetString(pszSection, "versions", "", szVersions, sizeof(szVersions));
  std::string_view rest(szVersions);
  // Past the end of the list every further code is empty and never
  // offered, so the walk stops there rather than counting on to "files".
  for (int n = 0; n < nFiles && !rest.empty(); ++n) {
    size_t nComma = rest.find(',');
    std::string strCode(rest.substr(0, nComma));
    rest.remove_prefix(nComma == std::string_view::npos ? rest.size() : nComma + 1);
    if (!IsNewerRevision(strCode, strRevision)) continue;
    if (m_arrBiosEntries.size() >= kMaxBiosEntries) break;
    char szEntry[256];
    m_InfoFile.GetString(pszSection, strCode.c_str(), "", szEntry, sizeof(szEntry));
    m_arrBiosEntries.emplace_back(szEntry);
  }
  m_nBiosEntryCount = static_cast<int>(m_arrBiosEntries.size());
  if (m_arrBiosEntries.empty()) return kMsgAlreadyUpToDate;

  ReadRestrictionInts(m_InfoFile, strSection);
  m_InfoFile.GetString(pszSection, "RebootMessage", "", &m_strRebootMsg);
  *pnEntries = m_nBiosEntryCount;
  return 0;
}

void CBoardIdentity::ReadModelFlags(const std::string& strModel) {
  if (!m_InfoFile.Load(m_strLocalInfoPath, INFO_DECODE)) return;
  std::string strSection;
  if (FindModelSection(strModel, &strSection)) ReadRestrictionInts(m_InfoFile, strSection);
}

void CBoardIdentity::ReadUpdateFileFlags(const std::string& strModel) {
  Debug(strModel);
  if (!m_ports.pFiles) return;
  CBiosInfoFile file(*m_ports.pFiles);
  if (!file.Load(m_strLocalInfoPath, INFO_DECODE)) return;
  const char* pszSection = strModel.c_str();
  size_t nKeys = 0;
  const SRestrictionKey* pKeys = GetRestrictionKeys(&nKeys);
  for (size_t i = 0; i < nKeys; ++i) {
    const SRestrictionKey& key = pKeys[i];
    char szValue[1024];
    file.GetString(pszSection, key.pszKey, "0", szValue, sizeof(szValue));
    bool& bFlag = m_Restrictions.*key.pFlag;
    bFlag = szValue[0] == '1';
    Debug(std::string(key.pszMember) + (bFlag ? " = true" : " = false"));
  }
  std::string strMessage;
  file.GetString(pszSection, "RebootMessage", "", &strMessage);
  m_strRebootMsg = strMessage;
  if (strMessage.empty()) {
    Debug("m_strRebootMsg = Empty");
  } else {
    Debug("m_strRebootMsg = pcMsgTemp");
    Debug(strMessage);
  }
}

void CBoardIdentity::ApplyRestrictions(FlashOptions* pOptions) const {
  m_Restrictions.ApplyTo(pOptions);
}
