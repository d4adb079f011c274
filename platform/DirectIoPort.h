// Port and memory instructions for the Windows 9x family, where a program
// may touch the hardware itself instead of asking a kernel driver. The
// software SMI call is an OUT of AL to the SMI command port with the general
// registers loaded; the firmware's handler answers in the same registers.
#pragma once

#include <cstdint>

#include "tessaro/award/WinFlashIoctl.h"

class IDirectIoPort {
 public:
  virtual ~IDirectIoPort() = default;
  // Copies nBytes from linear address dwAddress (the low megabyte is mapped
  // one to one on that family).
  virtual bool ReadMemory(uint32_t dwAddress, void* pOut, uint32_t nBytes) = 0;
  // OUT wPort, byValue.
  virtual void WritePort(uint16_t wPort, uint8_t byValue) = 0;
  // OUT wPort, AL with every register of *pRegs loaded; *pRegs receives the
  // registers as the SMI handler left them.
  virtual void RaiseSmi(uint16_t wPort, winflash::SSmiRegisters* pRegs) = 0;
};
