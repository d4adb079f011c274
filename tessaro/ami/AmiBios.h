// The per-operation AMI engine object: created by the main window for one
// save or update and deleted after it. It asks the BIOS's SMI flash
// interface for its facts, saves the flash ROM into a file and writes a
// checked BIOS file into it, 4096-byte block by block through the shared
// buffer of the program-wide hardware access, with status texts and a
// "%d%%" progress on the window's sinks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileDialogPort.h"
#include "platform/Ports.h"
#include "tessaro/ami/AmiHwAccess.h"
#include "tessaro/ami/AmiImage.h"
#include "tessaro/core/BiosEngine.h"
#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"

// Result and status ids of the AMI sequences.
constexpr uint32_t kMsgAmiProgramFailed = 786;
constexpr uint32_t kMsgAmiReadFailed = 787;
constexpr uint32_t kMsgAmiNoMemory = 788;
constexpr uint32_t kMsgAmiSizeError = 753;
constexpr uint32_t kMsgAmiNotForThisBoard = 762;
constexpr uint32_t kMsgAmiVerifyError = 764;
constexpr uint32_t kMsgAmiWrongInfo = 794;
constexpr uint32_t kMsgAmiUnfinished = 783;       // written and verified, then no answer
constexpr uint32_t kMsgAmiBootBlockErased = 784;  // the kept boot block reads erased
// The status a flash-sequence request gets when the interface did not
// answer it at all (the driver's request failed): every error bit set.
constexpr uint32_t kAmiSmiNoAnswer = ami::kStatusErrorMask;
constexpr uint32_t kAmiSaveFailed = 1;       // the file could not be created
constexpr uint32_t kAmiSaveIncomplete = 14;  // the ROM could not be read to its end

class CAmiBios {
 public:
  // fnDecode decompresses the image's "-lh5-" modules (null: a file with
  // a compressed module is refused).
  CAmiBios(SPlatform& platform, const CResources& resources, CAmiHwAccess& hw, IDisplaySinks& sinks,
           FnModuleDecoder fnDecode);
  CAmiBios(const CAmiBios&) = delete;
  CAmiBios& operator=(const CAmiBios&) = delete;

  // The identity from the hardware access and the interface's 20-byte
  // information record; 0 or 794.
  uint32_t Initialize();
  void SetRebootMessage(const std::string& strText) { m_strRebootMsg = strText; }
  // Reads and checks the image file; 0 or the id of the refusing message.
  uint32_t LoadFile(const std::string& strPath);
  // The family's file dialogs, shown before any engine object exists.
  static bool ChooseSaveFile(IFileDialogPort* pDialogs, WindowRef hOwner, std::string* pstrPath);
  static bool ChooseOpenFile(IFileDialogPort* pDialogs, WindowRef hOwner, std::string* pstrPath);
  // The name the window shows for a flash ROM type character; "Unknown"
  // for a character the table lacks (an update then stops with 795).
  static std::string RomTypeName(char cRomType);

  // Saves the whole ROM; 0, kAmiSaveFailed or kAmiSaveIncomplete (after
  // its status text 725).
  uint32_t SaveToFile(const std::string& strPath, bool bAutomatic);
  // Writes the file into the ROM; 0 (done, or the user's No) or a message.
  uint32_t Flash(const std::string& strPath, const FlashOptions& options);

  uint32_t m_dwBiosSize = 0;  // bytes, from the information record
  std::vector<uint8_t> m_vecImage;
  char m_szRevision[20] = {};
  char m_szModel[20] = {};
  char m_szTagText[20] = {};
  char m_szDate[20] = {};
  uint8_t m_abyInfo[ami::kInfoBytes] = {};
  uint32_t m_dwResult1 = 0;  // boot-block bytes at the end of the ROM
  uint32_t m_dwResult2 = 0;  // NvRam bytes below them
  std::string m_strRebootMsg;
  uint32_t m_dwLimit = 0;  // protected bytes at the end of the ROM
  std::string m_strFileBiosId;
  std::string m_strFileDate;

 private:
  // The file's BIOS id and part number checks; 0 or 762.
  uint32_t CheckIdentity(const std::string& strFile, const FlashOptions& options);
  // Get information: on NT twice (Result 1, then Result 2); 0 or 794.
  uint32_t GetInformation();
  ami::SSmiRequest Request(uint16_t wFunction, uint32_t dwSize, uint32_t dwRemaining) const;
  uint32_t Send(ami::SSmiRequest* pRequest);
  void SetStatus(uint32_t nId);
  void ShowProgress(uint32_t dwRemaining);
  // The shared buffer from or to the caller's memory.
  bool FromShared(uint8_t* pOut);
  bool ToShared(const uint8_t* pIn);
  // One pass over the blocks the limit does not protect; false at the
  // first failing request (*pdwStatus has its status).
  template <class F>
  bool EachBlock(F fnBlock);
  uint32_t EraseAll();
  uint32_t ProgramAll();
  uint32_t VerifyAll();
  // False when a location's write got no answer or an error status.
  bool ClearCmos();
  // With the ROM's top block kept by the limit: 0, 784 when it reads
  // erased (that ROM cannot start), or 787 when it cannot be read.
  uint32_t CheckKeptTopBlock();

  SPlatform& m_platform;
  const CResources& m_resources;
  CAmiHwAccess& m_hw;
  IDisplaySinks& m_sinks;
  FnModuleDecoder m_fnDecode;
  CMessageHelper m_Msg;
  uint16_t m_wSequence = 0;  // the open sequence's status, sent back with the close
};
