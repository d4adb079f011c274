// What the main window needs from the BIOS family engine of the machine and
// from the information file, as small interfaces: the engines and the
// information-file reader live in their own modules and are plugged in by
// the program's entry code; tests plug in fakes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Ports.h"
#include "tessaro/core/BiosFamily.h"
#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/UpdateRestrictions.h"

// The three display sinks of the main window that every per-operation
// engine object writes to while it works.
class IDisplaySinks {
 public:
  virtual ~IDisplaySinks() = default;
  // Progress bar range and position (a fresh bar runs from 0 to 100).
  virtual void SetProgressRange(int nLower, int nUpper) = 0;
  virtual void SetProgressPos(int nPos) = 0;
  virtual void SetStatusText(const std::string& strText) = 0;
  virtual void SetPercentText(const std::string& strText) = 0;
};

// The detected family's program-wide engine, as the main window uses it.
// Update and Save create the per-operation object, run it and delete it
// before they return; the engine shows its own questions, status lines and
// result messages.
class IBiosEngine {
 public:
  virtual ~IBiosEngine() = default;
  virtual EBiosFamily Family() const = 0;
  // Display texts: the BIOS version (identification) text, the BIOS part
  // number (AMI only, empty otherwise), the build date and the flash part.
  virtual std::string VersionText() const = 0;
  virtual std::string PartNumberText() const = 0;
  virtual std::string DateText() const = 0;
  virtual std::string FlashPartName() const = 0;
  // The BIOS id the information file is keyed by; false without a BIOS.
  virtual bool GetBiosId(std::string* pstrId) const = 0;
  // Checks that a per-operation object can work on this board (the AMI
  // engine's Initialize); 0 or the id of a message that ends the program.
  virtual uint32_t Prepare(IDisplaySinks& sinks) = 0;
  // The family's open and save dialogs; false when cancelled.
  virtual bool ChooseOpenFile(WindowRef hOwner, std::string* pstrPath) = 0;
  virtual bool ChooseSaveFile(WindowRef hOwner, std::string* pstrPath) = 0;
  // Programs the flash from a file; 0 or the id of an error message for
  // the caller to show.
  virtual uint32_t Update(const std::string& strPath, FlashOptions* pOptions,
                          const std::string& strRebootMessage, IDisplaySinks& sinks) = 0;
  // Backs the flash up into a file (automatic: no questions).
  virtual uint32_t Save(const std::string& strPath, bool bAutomatic, IDisplaySinks& sinks) = 0;
  // Loads a BIOS file with the family's own loader (its size and image
  // checks included) and sums the loaded bytes into 16 bits, wrapping: the
  // checksum an information file lists for a download. False when the
  // loader refused the file.
  virtual bool SumImageFile(const std::string& strPath, IDisplaySinks& sinks, uint16_t* pwSum) = 0;
};

// Board identification and the local information file.
class IBoardInfo {
 public:
  virtual ~IBoardInfo() = default;
  // The board's subsystem id text; empty when it cannot be identified.
  virtual std::string IdentifyBoard() = 0;
  // Start-up reading of the restrictions of the running BIOS's model on
  // the board strBoardSid (leaves them unchanged when the file or the
  // model is missing). The model comes from the detected engine.
  virtual void ReadModelFlags(const std::string& strBoardSid, SUpdateRestrictions* pFlags) = 0;
  // Restrictions and reboot text before an update from a chosen file.
  virtual void ReadUpdateFileFlags(SUpdateRestrictions* pFlags, std::string* pstrRebootMessage) = 0;
  // The developer tools that encode and decode an information file.
  virtual void EncodeInfoFile(WindowRef hOwner) = 0;
  virtual void DecodeInfoFile(WindowRef hOwner) = 0;

  // Live Update's steps over a downloaded information file, in the order
  // the flow takes them. The stored-form checksum of the file.
  virtual bool VerifyInfoChecksum(const std::string& strPath) = 0;
  // Keeps the newer of the download and the local file as the local one.
  virtual bool RefreshLocalInfoFile(const std::string& strPath) = 0;
  // False when the local file needs a newer program.
  virtual bool CheckProgramVersion() = 0;
  // The BIOS entries newer than the running BIOS for its model ("file,
  // checksum, date, notes"), or the id of the message that says why there
  // are none (797, 798, 771 or 752). Also reads the model's restrictions
  // and reboot text for the flash that follows (ReadUpdateFileFlags form).
  virtual uint32_t BuildUpdateList(std::vector<std::string>* pvecEntries,
                                   SUpdateRestrictions* pFlags, std::string* pstrRebootMessage) = 0;
  // The download sites: "GLOBAL"/"count" and the value of "path%02d".
  virtual int SiteCount() = 0;
  virtual std::string SitePath(int nSite) = 0;
};

// Stands in until an engine is wired: no board, nothing to show, every
// operation refused without touching anything.
class CNoBoardEngine : public IBiosEngine {
 public:
  EBiosFamily Family() const override { return EBiosFamily::None; }
  std::string VersionText() const override { return std::string(); }
  std::string PartNumberText() const override { return std::string(); }
  std::string DateText() const override { return std::string(); }
  std::string FlashPartName() const override { return "Unknown"; }
  bool GetBiosId(std::string* pstrId) const override {
    pstrId->clear();
    return false;
  }
  uint32_t Prepare(IDisplaySinks&) override { return 0; }
  bool ChooseOpenFile(WindowRef, std::string*) override { return false; }
  bool ChooseSaveFile(WindowRef, std::string*) override { return false; }
  uint32_t Update(const std::string&, FlashOptions*, const std::string&, IDisplaySinks&) override {
    return 0;
  }
  uint32_t Save(const std::string&, bool, IDisplaySinks&) override { return 0; }
  bool SumImageFile(const std::string&, IDisplaySinks&, uint16_t*) override { return false; }
};

// Stands in until the information file is wired: an unidentified board
// without restrictions.
class CNoBoardInfo : public IBoardInfo {
 public:
  std::string IdentifyBoard() override { return std::string(); }
  void ReadModelFlags(const std::string&, SUpdateRestrictions*) override {}
  void ReadUpdateFileFlags(SUpdateRestrictions*, std::string*) override {}
  void EncodeInfoFile(WindowRef) override {}
  void DecodeInfoFile(WindowRef) override {}
  bool VerifyInfoChecksum(const std::string&) override { return false; }
  bool RefreshLocalInfoFile(const std::string&) override { return false; }
  bool CheckProgramVersion() override { return true; }
  uint32_t BuildUpdateList(std::vector<std::string>*, SUpdateRestrictions*, std::string*) override {
    return 797;
  }
  int SiteCount() override { return 0; }
  std::string SitePath(int) override { return std::string(); }
};
