// Direct hardware access as the Windows 9x family allows it from a program:
// port IN/OUT, copies from physical memory below 1 MB, and software SMIs
// raised by an OUT to the SMI command port with the registers loaded.
// The Award engine uses it on that family instead of the WinFlash driver;
// the simulated board (sim/) implements it natively for tests.
#pragma once

#include <stdint.h>

#include "protocol/X86Registers.h"

class IDirectIoPort {
 public:
  virtual ~IDirectIoPort() = default;
  // Copies nBytes from physical (= linear below 1 MB) memory.
  virtual bool ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes) = 0;
  virtual bool PortOut(uint16_t wPort, uint8_t byValue) = 0;
  virtual bool PortIn(uint16_t wPort, uint8_t* pbyValue) = 0;
  // OUT DX, AL to wPort with *pRegs loaded; *pRegs receives the registers
  // the SMI handler left.
  virtual bool RaiseSmi(uint16_t wPort, SX86Registers* pRegs) = 0;
};
