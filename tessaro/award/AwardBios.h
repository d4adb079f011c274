// The Award BIOS engine: the one object that knows the BIOS running on the
// board. It opens the flash driver, copies the 64 KB F000 segment, reads
// the records the BIOS keeps there (flash part, ROM size and block layout,
// capabilities, SMI port, date and identification, BIOS-lock data) and
// offers the flash operations the update and backup objects use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/DirectIoPort.h"
#include "platform/DriverService.h"
#include "platform/FileDialogPort.h"
#include "platform/Ports.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/core/SystemInfo.h"
#include "tessaro/award/FlashParts.h"

// The I/O port a software SMI is raised on, and the SMI flash-interface
// level the firmware reported (begin/end calls only from level 4 on).
extern uint16_t g_wSmiPort;
extern uint8_t g_bySmiLevel;
// The one owner of both: puts them back to their values at program start
// (port 0x80, level 0). CAwardBios::Open calls it before it reads the BIOS,
// so what one opened engine found never leaks into the next.
void ResetSmiSettings();

constexpr char kWinFlashService[] = "WINFLASH";
constexpr char kWinFlashDevice[] = "\\\\.\\WinFlash";
constexpr char kWinFlashDriver[] = "WinFlash.sys";
constexpr char kWinFlashDriver64[] = "WinFlash64.sys";

class CAwardBios {
 public:
  // pDirect serves the Windows 9x family, where the engine raises SMIs and
  // reads memory itself; it may be null where that family cannot occur.
  CAwardBios(SPlatform& platform, const CResources& resources, IDirectIoPort* pDirect = nullptr);
  ~CAwardBios();
  CAwardBios(const CAwardBios&) = delete;
  CAwardBios& operator=(const CAwardBios&) = delete;

  // Opens the driver, copies and parses the segment, sets up the SMI
  // interface. False only when the driver could not be opened (after its
  // message).
  bool Open();
  void Close();

  // Installs, starts and opens the flash driver; true at once on the 9x
  // family. Shows "Can't create WinFlash Service!" or 774 on failure.
  bool OpenDriver();
  // Stops the driver service (closing the device first) and deletes it.
  void StopDriver();
  void DeleteDriver();
  // How the flash driver's service is installed: demand start, no wait
  // after the start (the device open decides), status queries 10 ms apart
  // while it stops, for at most 5 s.
  static SDriverServiceSettings WinFlashServiceSettings();

  // The BIOS file dialogs of the update and save workflows; false when
  // cancelled.
  bool ChooseOpenFile(WindowRef hOwner, std::string* pstrPath);
  bool ChooseSaveFile(WindowRef hOwner, std::string* pstrPath);

  bool ReadBiosSegment();
  void ParseBiosSegment();
  bool IsAwardBios() const;

  // Flash access. Addresses are physical (the ROM ends at 0xFFFFFFFF).
  // Each returns false once a request was not answered (the driver refused
  // it, or the board lost power); the rest of the operation is not sent.
  bool ReadFlash(uint32_t dwAddress, void* pBuffer, uint32_t nLength);
  bool ProgramFlash(uint32_t dwAddress, const void* pData, uint32_t nLength);
  bool EraseFlash(uint32_t dwAddress, uint32_t nLength);
  // Whether a request went unanswered since the last ClearRequestFailure.
  // Data read after that is not the flash's, and a flash left half-erased
  // or half-programmed cannot be told apart from a protected one.
  bool RequestFailed() const { return m_bRequestFailed; }
  void ClearRequestFailure() { m_bRequestFailed = false; }
  bool BlankCheck(uint32_t dwAddress);
  void WriteCmos(uint8_t byIndex, uint8_t byValue);
  void SmiFlashBegin();
  void SmiFlashEnd();

  // Part rules: whether the top 4 KB of the boot block refuse an erase, and
  // the message after a failed boot-block stage.
  bool TrialEraseBootTop();
  // False when the part's rules name no message for the status.
  bool ReportWriteProtect();

  // Whether the flash's boot block was left erased or half-written by an
  // update cut short: some 4 KB piece of it (or the reset vector at the
  // top of the ROM) reads as erased cells where the running BIOS's copy of
  // the same bytes holds data. A board in this state will not start again
  // until the BIOS is written once more. A completed update that was not
  // yet followed by a restart differs from the running copy too, but has
  // no erased pieces, so it is not taken for a damaged one.
  bool BootBlockDamaged();

  // Layout helpers.
  void UpdateLayout(uint8_t byType);
  static uint32_t RomBase(uint8_t bySize64k);
  uint32_t BlockSize(uint32_t nBlock) const;  // bytes; 0 past the end of the map
  void ReadLockData();
  // True when [dwAddress, dwAddress + nLength) lies inside the ROM.
  bool InRom(uint32_t dwAddress, uint64_t nLength) const;

  bool IsDirectMode() const { return m_SysInfo.IsWin9x(); }
  SPlatform& Platform() { return m_platform; }
  const CResources& Resources() const { return m_resources; }
  CSystemInfo& SystemInfo() { return m_SysInfo; }
  const uint8_t* Segment() const { return m_pSegment.get(); }
  uint8_t* MutableSegment() { return m_pSegment.get(); }

  char m_szIdLastPart[32] = {};
  char m_szIdPrevPart[9] = {};
  char m_szBiosId[32] = {};
  char m_szBiosDate[16] = {};
  char m_szFlashName[kFlashNameField] = {};
  uint8_t m_byFlashROMSize = 0;  // 64 KB units
  uint8_t m_byLayoutType = 0;
  uint8_t m_EraseMap[20] = {};  // (size in KB, count) pairs, ended by a count of 0
  bool m_bBiosLock = false;
  bool m_bLockDataPresent = false;
  bool m_bLockLoaded = false;
  bool m_bWinFlashSupported = false;
  bool m_bHasDmi = false;
  bool m_bHasPnp = false;
  bool m_bNoDmiSignature = false;
  uint32_t m_dwDmiSize = 0, m_dwPnpSize = 0, m_dwBootSize = 0, m_dwMainSize = 0;  // bytes
  uint32_t m_dwDmiAddr = 0, m_dwPnpAddr = 0, m_dwBootAddr = 0;
  uint32_t m_dwRomBase = 0;
  uint32_t m_bHasHole = 0;
  uint32_t m_dwHoleSize = 0, m_dwHoleAddr = 0;
  std::unique_ptr<uint8_t[]> m_LockId;    // 16 bytes in front of the lock data
  std::unique_ptr<uint8_t[]> m_LockData;  // 16 bytes
  uint16_t m_wFlashStatus = 0;

 private:
  void FindSmiPort();
  void ReadKaFlash();
  void ParseBiosId();
  void LookupFlashName();
  void SetUpSmi();
  bool ChooseDriverFile(const std::string& strName, std::string* pstrPath);
  bool OpenDevice();
  bool Request(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut, uint32_t nOut);
  // An SMI raised in direct mode; false when the board did not take it.
  bool RaiseSmi(SX86Registers* pRegs);
  // One erase-block request; returns the status the driver reported.
  uint16_t EraseBlock(uint32_t dwAddress, uint32_t nLength);
  void SmiFlashControl(uint16_t wFunction);
  void WritePort(uint16_t wPort, uint8_t byValue);

  SPlatform& m_platform;
  const CResources& m_resources;
  IDirectIoPort* m_pDirect;
  CSystemInfo m_SysInfo;
  CDriverService m_Service;

 public:
  uint16_t m_wFlashId = kFlashIdUnknown;

 private:
  std::unique_ptr<uint8_t[]> m_pSegment;
  std::unique_ptr<IDevice> m_hDevice;
  uint32_t m_dwLockTop = 0;
  bool m_bRequestFailed = false;
  bool m_bSmiSilent = false;  // direct mode: the SMI handler did not answer the query

 public:
  CMessageHelper m_Msg;
};
