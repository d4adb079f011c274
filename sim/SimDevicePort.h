// In-process devices: an IDevicePort whose "\\.\WinFlash" (and, once
// added, "\\.\Mirel", or an AMI board's "\\.\HwIOctl" and
// "\\.\Memctl") are simulation cores in this process, and the
// direct-mode ports of the Award and AMI boards.
//
//   CSimAwardBench bench;  bench.Open("board.txt", &err);
//   CSimDevicePort devices(pRealPortOrNull);
//   devices.AddAwardBoard(&bench.Board());
//   platform.pDevices = &devices;          // the engine opens "\\.\WinFlash"
//   CSimAwardDirectIo direct(&bench.Board());  // the Windows 9x branch
//
// Device names compare without regard to case, as Win32 does. Names that
// no core answers go to the fallback port (or fail with error 2, file not
// found). Errors of a request map to Win32 codes: unknown request 1,
// bad input 87, output too small 122, device not answering (power cut) 31.
// The cores must outlive the port and every device opened from it.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/DirectIoPort.h"
#include "platform/Ports.h"

#include "sim/SimAmiBoard.h"
#include "sim/SimAwardBoard.h"

class CSimMirelController;

class CSimDevicePort : public IDevicePort {
 public:
  // One request to a core: returns an ESimResult (sim/SimHost.h).
  using PfnRequest = uint32_t (*)(void* pCore, uint32_t dwCode, const void* pIn, uint32_t nIn,
                                  void* pOut, uint32_t nOut, uint32_t* pnReturned);

  explicit CSimDevicePort(IDevicePort* pFallback = nullptr) : m_pFallback(pFallback) {}

  void AddDevice(const std::string& strName, PfnRequest pfnRequest, void* pCore);
  void AddAwardBoard(CSimAwardBoard* pBoard);                 // as "\\.\WinFlash"
  void AddMirelController(CSimMirelController* pController);  // as "\\.\Mirel"
  // As "\\.\HwIOctl", "\\.\Memctl" (mappings and shared buffers; not
  // with the board's missing-Memctl fault) and the 9x VxD (shared buffers).
  void AddAmiBoard(CSimAmiBoard* pBoard);
  // Opens fail with error 2 while set (a missing driver).
  void SetOpenFails(bool bFail) { m_bOpenFails = bFail; }
  // Devices opened so far, by name as asked.
  const std::vector<std::string>& Opened() const { return m_vecOpened; }

  std::unique_ptr<IDevice> Open(const std::string& strName) override;
  uint32_t LastError() const override { return m_dwLastError; }

  static uint32_t Win32Error(uint32_t dwSimResult);

 private:
  struct SEntry {
    std::string strName;
    PfnRequest pfnRequest;
    void* pCore;
  };
  IDevicePort* m_pFallback;
  std::vector<SEntry> m_vecDevices;
  std::vector<std::string> m_vecOpened;
  bool m_bOpenFails = false;
  uint32_t m_dwLastError = 0;
};

// The direct side of a board (Windows 9x family path): CSimAwardDirectIo,
// CSimAmiDirectIo.
template <class TBoard>
class CSimDirectIo : public IDirectIoPort {
 public:
  explicit CSimDirectIo(TBoard* pBoard) : m_pBoard(pBoard) {}
  bool ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes) override {
    return m_pBoard->ReadPhysical(dwAddress, pOut, nBytes);
  }
  bool PortOut(uint16_t wPort, uint8_t byValue) override {
    return m_pBoard->PortOut(wPort, byValue);
  }
  bool PortIn(uint16_t wPort, uint8_t* pbyValue) override {
    return m_pBoard->PortIn(wPort, pbyValue);
  }
  bool RaiseSmi(uint16_t wPort, SX86Registers* pRegs) override {
    return m_pBoard->RaiseSmi(wPort, pRegs);
  }

 private:
  TBoard* m_pBoard;
};
using CSimAwardDirectIo = CSimDirectIo<CSimAwardBoard>;
using CSimAmiDirectIo = CSimDirectIo<CSimAmiBoard>;
