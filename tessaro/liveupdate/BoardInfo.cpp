#include "tessaro/liveupdate/BoardInfo.h"

#include <cstdio>

#include "tessaro/core/SystemInfo.h"

namespace {

std::string Directory(int (*pfn)(ISystem&, char*, int), ISystem& system) {
  char sz[kDirectoryBufferSize];
  pfn(system, sz, sizeof(sz));
  return sz;
}

SBoardIdentityPorts IdentityPorts(SPlatform& platform, CMessageHelper& messages,
                                  IDeviceEnumPort& devices, IWmiPort& wmi) {
  SBoardIdentityPorts ports;
  ports.pFiles = platform.pFiles;
  ports.pRegistry = platform.pRegistry;
  ports.pDevices = &devices;
  ports.pWmi = &wmi;
  ports.pUi = platform.pUi;
  ports.pMessages = &messages;
  return ports;
}

}  // namespace

CBoardInfo::CBoardInfo(SPlatform& platform, CMessageHelper& messages, IDeviceEnumPort& devices,
                       IWmiPort& wmi, const IBiosIdentitySource& bios, bool bWin9xFamily)
    : m_InfoFile(*platform.pFiles),
      m_operations(*platform.pFiles, platform.pFileDialogs, messages, m_InfoFile,
                   Directory(GetSystemDirectoryPath, *platform.pSystem),
                   Directory(GetTempDirectory, *platform.pSystem)),
      m_identity(IdentityPorts(platform, messages, devices, wmi), bios, m_InfoFile,
                 m_operations.LocalInfoFilePath(), bWin9xFamily) {}

std::string CBoardInfo::IdentifyBoard() {
  std::string strSid;
  if (!m_identity.GetBoardSID(&strSid)) strSid.clear();
  m_identity.m_strBoardSID = strSid;
  return strSid;
}

// The identity starts from the window's restrictions, so that a missing
// file or model leaves them as they are.
void CBoardInfo::ReadModelFlags(const std::string& strBoardSid, SUpdateRestrictions* pFlags) {
  std::string strModel;
  if (!m_identity.GetBiosModel(&strModel)) return;
  m_identity.m_strBoardSID = strBoardSid;
  m_identity.m_Restrictions = *pFlags;
  m_identity.ReadModelFlags(strModel);
  *pFlags = m_identity.m_Restrictions;
}

void CBoardInfo::ReadUpdateFileFlags(SUpdateRestrictions* pFlags, std::string* pstrRebootMessage) {
  std::string strModel;
  if (!m_identity.GetBiosModel(&strModel)) return;
  m_identity.m_Restrictions = *pFlags;
  m_identity.m_strRebootMsg = *pstrRebootMessage;
  m_identity.ReadUpdateFileFlags(strModel);
  *pFlags = m_identity.m_Restrictions;
  *pstrRebootMessage = m_identity.m_strRebootMsg;
}

void CBoardInfo::EncodeInfoFile(WindowRef) { m_operations.EncodeInfoFile(); }

void CBoardInfo::DecodeInfoFile(WindowRef) { m_operations.DecodeInfoFile(); }

bool CBoardInfo::VerifyInfoChecksum(const std::string& strPath) {
  return m_operations.VerifyInfoChecksum(strPath);
}

bool CBoardInfo::RefreshLocalInfoFile(const std::string& strPath) {
  return m_operations.RefreshLocalInfoFile(strPath);
}

bool CBoardInfo::CheckProgramVersion() { return m_operations.CheckProgramVersion(); }

// Without a detected BIOS there is no model to look up: as an unlisted one.
uint32_t CBoardInfo::BuildUpdateList(std::vector<std::string>* pvecEntries,
                                     SUpdateRestrictions* pFlags, std::string* pstrRebootMessage) {
  pvecEntries->clear();
  std::string strModel;
  if (!m_identity.GetBiosModel(&strModel)) return kMsgModelNotSupported;
  m_identity.m_Restrictions = *pFlags;
  m_identity.m_strRebootMsg = *pstrRebootMessage;
  int nEntries = 0;
  const uint32_t nMessage = m_identity.BuildUpdateList(strModel, &nEntries);
  if (nMessage) return nMessage;
  *pvecEntries = m_identity.m_arrBiosEntries;
  *pFlags = m_identity.m_Restrictions;
  *pstrRebootMessage = m_identity.m_strRebootMsg;
  return 0;
}

int CBoardInfo::SiteCount() { return m_InfoFile.GetInt("GLOBAL", "count", 0); }

std::string CBoardInfo::SitePath(int nSite) {
  char szKey[16];
  std::snprintf(szKey, sizeof(szKey), "path%02d", nSite);
  char szPath[256];
  m_InfoFile.GetString("GLOBAL", szKey, "", szPath, sizeof(szPath));
  return szPath;
}
