// Which board this is, and what the information file offers it.
//
// Three facts identify the board: the model and the two-character revision
// code carried by the running BIOS (read by its engine), and the PCI
// subsystem id of the board's disk controller from the device registry.
// Award boards whose BIOS says revision "00" take the revision from the
// WMI class Win32_BaseBoard instead. CBoardIdentity matches these facts
// against the information file: the model's section, whether the installed
// revision is supported, the newer BIOS files on offer, and the flash
// options the maker forbids for the model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Ports.h"
#include "platform/SetupApiPort.h"
#include "platform/WmiPort.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/BiosFamily.h"
#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/liveupdate/BiosInfoFile.h"

// What the running BIOS's engine knows of its identity. The application
// wires it to the engine that detected the BIOS.
class IBiosIdentitySource {
 public:
  virtual ~IBiosIdentitySource() = default;
  virtual EBiosFamily Family() const = 0;
  // AMI: the 5-character model field of the BIOS tag; Award: the model
  // part of the BIOS id.
  virtual std::string Model() const = 0;
  // AMI: the 2-character revision field of the BIOS tag; Award: the last
  // part of the BIOS id ("00" when the BIOS does not carry one).
  virtual std::string Revision() const = 0;
};

// An identity given as plain texts (filled by whoever read the engine).
class CFixedBiosIdentity : public IBiosIdentitySource {
 public:
  CFixedBiosIdentity() = default;
  CFixedBiosIdentity(EBiosFamily eFamily, std::string strModel, std::string strRevision)
      : m_eFamily(eFamily),
        m_strModel(std::move(strModel)),
        m_strRevision(std::move(strRevision)) {}
  EBiosFamily Family() const override { return m_eFamily; }
  std::string Model() const override { return m_strModel; }
  std::string Revision() const override { return m_strRevision; }

  EBiosFamily m_eFamily = EBiosFamily::None;
  std::string m_strModel;
  std::string m_strRevision;
};

// Message ids BuildUpdateList reports (0 is success).
constexpr uint32_t kMsgModelNotSupported = 797;
constexpr uint32_t kMsgBiosNotSupported = 798;
constexpr uint32_t kMsgNoFileInList = 771;
constexpr uint32_t kMsgAlreadyUpToDate = 752;

struct SBoardIdentityPorts {
  IFileSystem* pFiles = nullptr;
  IRegistry* pRegistry = nullptr;
  IDeviceEnumPort* pDevices = nullptr;
  IWmiPort* pWmi = nullptr;
  IUiPort* pUi = nullptr;
  CMessageHelper* pMessages = nullptr;  // debug texts, caption "Tessaro"
};

class CBoardIdentity {
 public:
  // Limits of the lists a model section can fill.
  static constexpr size_t kMaxSupportCodes = 512;
  static constexpr size_t kMaxBiosEntries = 64;

  // infoFile is the main window's reader (ReadModelFlags loads it);
  // strLocalInfoPath the local information file (system directory +
  // "Tessaro.sys"); bWin9xFamily chooses how the disk controller is found.
  CBoardIdentity(const SBoardIdentityPorts& ports, const IBiosIdentitySource& bios,
                 CBiosInfoFile& infoFile, std::string strLocalInfoPath, bool bWin9xFamily);

  // The disk controller's subsystem id (4 hexadecimal characters as the
  // device registry spells them); false when no disk controller was found.
  bool GetBoardSID(std::string* pstrSID);
  // False when no BIOS family was detected.
  bool GetBiosModel(std::string* pstrModel) const;
  bool GetBiosRevision(std::string* pstrRevision);
  // The board version from WMI as a 2-digit text; "00" when unusable.
  std::string GetBaseBoardRevision();
  // The revision in the WMI Version text: the number between the first
  // ':' and the next ')' as "%02d"; "00" when there is none.
  static std::string RevisionFromBoardVersion(const std::string& strVersion);

  // The section of model in m_InfoFile; false when the model is not in
  // the list (or only its per-SID variant would be, and it is missing).
  bool FindModelSection(const std::string& strModel, std::string* pstrSection) const;
  bool IsRevisionSupported();
  bool IsNewerRevision(const std::string& strCode);
  // Fills m_arrSupport, m_arrBiosEntries, the restrictions and the reboot
  // text from the model's section; 0 with the entry count, or the message
  // id 797, 798, 771 or 752.
  uint32_t BuildUpdateList(const std::string& strModel, int* pnEntries);
  // Start-up: loads the local file into the main reader and reads the
  // model's restrictions; silent on every failure.
  void ReadModelFlags(const std::string& strModel);
  // Before a flash from a user-chosen file: the restrictions and reboot
  // text of the section named by the model itself, read from a fresh load
  // of the local file.
  void ReadUpdateFileFlags(const std::string& strModel);
  // Switches the forbidden options off for one flash.
  void ApplyRestrictions(FlashOptions* pOptions) const;

  std::string m_strBoardSID;
  std::vector<std::string> m_arrSupport;
  int m_nSupportCount = 0;
  std::vector<std::string> m_arrBiosEntries;
  int m_nBiosEntryCount = 0;
  SUpdateRestrictions m_Restrictions;
  std::string m_strRebootMsg;

 private:
  bool GetBoardSIDWin9x(std::string* pstrSID);
  bool GetBoardSIDWinNT(std::string* pstrSID);
  bool IsHardDiskController(const std::string& strKeyPath);
  static std::string SidFromHardwareKey(const std::string& strHardwareKey);
  void SplitSupport(const std::string& strSupport);
  bool IsNewerRevision(const std::string& strCode, const std::string& strRevision) const;
  void ReadRestrictionInts(const CBiosInfoFile& file, const std::string& strSection);
  void Debug(const std::string& strText) const;

  SBoardIdentityPorts m_ports;
  const IBiosIdentitySource& m_bios;
  CBiosInfoFile& m_InfoFile;
  std::string m_strLocalInfoPath;
  bool m_bWin9xFamily;
};
