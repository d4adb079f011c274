// The main window's view of the board identity and the local information
// file: the disk controller's subsystem id, the model's restrictions read
// at start-up and before an update from a file, and the two developer
// commands that convert information files.
#pragma once

#include <string>

#include "platform/Ports.h"
#include "platform/SetupApiPort.h"
#include "platform/WmiPort.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/liveupdate/BiosInfoFile.h"
#include "tessaro/liveupdate/BoardIdentity.h"
#include "tessaro/liveupdate/InfoFileOperations.h"

class CBoardInfo : public IBoardInfo {
 public:
  // bios tells the model and revision of the running BIOS; the directories
  // (system and temporary) are read from the platform here, once.
  CBoardInfo(SPlatform& platform, CMessageHelper& messages, IDeviceEnumPort& devices, IWmiPort& wmi,
             const IBiosIdentitySource& bios, bool bWin9xFamily);
  CBoardInfo(const CBoardInfo&) = delete;
  CBoardInfo& operator=(const CBoardInfo&) = delete;

  std::string IdentifyBoard() override;
  // The information file is keyed by the BIOS model, which the identity
  // source knows; without a detected BIOS nothing is read.
  void ReadModelFlags(const std::string& strBoardSid, SUpdateRestrictions* pFlags) override;
  void ReadUpdateFileFlags(SUpdateRestrictions* pFlags, std::string* pstrRebootMessage) override;
  void EncodeInfoFile(WindowRef hOwner) override;
  void DecodeInfoFile(WindowRef hOwner) override;
  bool VerifyInfoChecksum(const std::string& strPath) override;
  bool RefreshLocalInfoFile(const std::string& strPath) override;
  bool CheckProgramVersion() override;
  uint32_t BuildUpdateList(std::vector<std::string>* pvecEntries, SUpdateRestrictions* pFlags,
                           std::string* pstrRebootMessage) override;
  int SiteCount() override;
  std::string SitePath(int nSite) override;

  const CBoardIdentity& Identity() const { return m_identity; }

 private:
  CBiosInfoFile m_InfoFile;
  CInfoFileOperations m_operations;
  CBoardIdentity m_identity;
};
