// The AMI BIOS's hardware access: the "HwIOctl" driver (I/O ports and the
// BIOS's SMI flash interface) and the "Memctl" driver (physical memory,
// shared buffers), installed as services on demand, or, on the Windows 9x
// family, the AMI VxD and direct port instructions. One program-wide
// instance lives from start-up to exit; it detects the AMI BIOS, reads its
// identity from the F000 segment and holds the 4096-byte shared buffer the
// flash sequences move blocks through.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DirectIoPort.h"
#include "platform/DriverService.h"
#include "platform/Ports.h"
#include "protocol/AmiIoctl.h"
#include "tessaro/core/FamilyProbe.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"

// Port widths of ReadPort and WritePort.
enum EPortWidth : int { kPortByte = 0, kPortWord = 1, kPortDword = 2 };
// Functions of ManageDriver.
constexpr int kDriverInstall = 1;  // install and start
constexpr int kDriverRemove = 2;   // stop and remove

// Messages of the detection and identity reading.
constexpr uint32_t kMsgMapF000Failed = 791;
constexpr uint32_t kMsgMapPhysicalFailed = 792;

// The ports the AMI access uses. pDirectIo is the direct port of the
// Windows 9x family (null elsewhere); pStdout receives the driver manager's
// diagnostics (the console text of a GUI program; null discards them).
struct SAmiHwPorts {
  IServicePort* pServices = nullptr;
  IDevicePort* pDevices = nullptr;
  ISystem* pSystem = nullptr;
  IFileSystem* pFiles = nullptr;
  IUiPort* pUi = nullptr;
  IDirectIoPort* pDirectIo = nullptr;
  std::string* pStdout = nullptr;
};

class CAmiHwAccess : public IFamilyProbe {
 public:
  // Nothing is opened here: the driver directory is taken from the
  // current directory, the identity texts get their presets.
  CAmiHwAccess(const SAmiHwPorts& ports, const CResources& resources, bool bWin9xFamily);
  ~CAmiHwAccess() override;
  CAmiHwAccess(const CAmiHwAccess&) = delete;
  CAmiHwAccess& operator=(const CAmiHwAccess&) = delete;

  // --- driver manager and requests ---
  bool ManageDriver(const std::string& strName, const std::string& strPath, int nFunction);
  // Opens "\\.\" + name, installing the driver from the driver directory
  // when the device does not exist; null on failure.
  std::unique_ptr<IDevice> OpenDriverDevice(const std::string& strName);
  uint32_t ReadPort(int nWidth, uint16_t wPort);
  bool WritePort(int nWidth, uint16_t wPort, uint32_t dwValue);
  // Mode 0: the flash interface; mode 1: a CMOS write. The 32-bit status
  // (0 when the request could not be sent). On the 9x family the direct
  // call fills Result 1 and Result 2 of the request.
  uint32_t CallSmi(int nMode, ami::SSmiRequest* pRequest);
  // Whether the last CallSmi got an answer. Its 0 for a request that could
  // not be sent reads as success to the interface's callers, so the flash
  // sequences ask here before they trust a status.
  bool LastSmiAnswered() const { return m_bSmiAnswered; }
  uintptr_t MapPhysical(uint32_t dwType, uint32_t dwPhysical, uint32_t dwLength);
  void UnmapPhysical(uintptr_t pUser);
  // A shared buffer of dwSize bytes; its id, 0 on failure or with all
  // slots in use.
  uint32_t AllocSharedBuffer(uint32_t dwSize);
  uint32_t GetBufferPhysAddr(uint32_t dwId);
  void FreeSharedBuffers();
  bool CopySharedMemory(uintptr_t pDestination, uintptr_t pSource, uint32_t dwLength);

  // --- detection and identity ---
  bool DetectAmiBios() override;
  // Fills the identity texts and the SMI port from the F000 segment; the
  // SMI port (0xFFFF when "$SFI" is absent).
  uint16_t ReadBiosIdentity();

  // --- start-up and exit of the application object ---
  // Identity, HwIOctl, the slot table, the memory device, the shared
  // buffer, its physical address and the user buffer.
  void OpenAmiAccess() override;
  bool IsAmiIdentityKnown() const override { return m_wSmiPort != ami::kUnknownPort; }
  bool IsAmiDriverReady() const override { return m_dwSharedBufferPhys != 0; }
  // Frees the buffers, closes the devices and removes both services (NT).
  void CloseAmiAccess() override;
  // The Award half of start-up belongs to the Award engine.
  bool OpenAward() override { return false; }
  bool IsAwardBios() const override { return false; }
  bool AwardAllowsWindowsFlash() const override { return false; }

  bool IsWin9x() const { return m_bWin9x; }
  uintptr_t SharedBuffer() const { return m_pSharedBuffer; }
  uint8_t* UserBuffer() { return m_vecUserBuffer.empty() ? nullptr : m_vecUserBuffer.data(); }
  IDirectIoPort* DirectIo() const { return m_ports.pDirectIo; }

  // Fields in the order the program keeps them.
  uint16_t m_wSmiPort = ami::kUnknownPort;
  char m_cRomType = 0;
  char m_szRevision[20] = {};
  char m_szModel[20] = {};
  char m_szTagText[20] = {};  // preset "Unknown"
  char m_szDate[20] = {};
  char m_szIdentity1[20] = {};  // preset "Unknown"
  uint32_t m_dwSharedBufferId = 0;
  uint32_t m_dwSharedBufferPhys = 0;
  std::string m_strDriverDir;  // current directory at start-up, with a backslash
  bool m_bFailure = false;
  bool m_bAmiPresent = false;

 private:
  struct SSlot {
    uintptr_t pUser = 0;
    uint32_t dwId = 0;
  };
  // The F000 segment, read through Memctl (NT) or directly (9x); false
  // after the message of a failed mapping.
  bool ReadSegment(std::vector<uint8_t>* pSegment, bool bForDetection);
  IDevice* MemoryDevice() const;
  void Print(const std::string& strText);
  bool OpenMemctl();
  void ShowError(uint32_t nId);

  SAmiHwPorts m_ports;
  const CResources& m_resources;
  bool m_bWin9x;
  bool m_bSmiAnswered = false;
  std::vector<uint8_t> m_vecUserBuffer;
  uintptr_t m_pSharedBuffer = 0;
  SSlot m_aSlots[ami::kMaxBufferSlots];
  std::unique_ptr<IDevice> m_pHwIoctl;
  std::unique_ptr<IDevice> m_pMemctl;
  std::unique_ptr<IDevice> m_pVxd;  // the memory device of the 9x family
};
