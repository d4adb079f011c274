// The processor registers of a software SMI on the Windows 9x family, where
// a program raises it itself. Shared by the direct-I/O port, the Award
// engine's 9x requests and the bench. Freestanding C++ (no standard
// library), so that the kernel drivers of the bench build it too.
#pragma once

#include <stdint.h>

// Registers at the OUT DX, AL that raises a software SMI, and as the SMI
// handler leaves them. The implementation puts the port into DX (the low
// word of dwEdx); everything else is the caller's.
struct SX86Registers {
  uint32_t dwEax;
  uint32_t dwEbx;
  uint32_t dwEcx;
  uint32_t dwEdx;
  uint32_t dwEsi;
  uint32_t dwEdi;
};
static_assert(sizeof(SX86Registers) == 24, "six 32-bit registers");
