#include "platform/win/DirectIoPort_win.h"

#include <windows.h>

#include <cstdint>

#include "platform/win/Platform_win.h"

namespace {

// Physical addresses below this are the same linear addresses in every
// process of the 9x family (bytes).
constexpr uint32_t kFirstMegabyte = 0x100000;

bool IsWin9xFamily() {
  SOsVersion version{};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetWin32Platform().pSystem->GetVersion(&version) &&
         version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

class CWinDirectIoPort : public IDirectIoPort {
 public:
  CWinDirectIoPort() : m_bAllowed(IsWin9xFamily()) {}

  bool ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes) override {
    if (!m_bAllowed || dwAddress >= kFirstMegabyte || nBytes > kFirstMegabyte - dwAddress)
      return false;
    // Byte by byte through a volatile pointer: this is memory the compiler
    // knows nothing about, and part of it is device memory.
    const volatile uint8_t* pSource =
        reinterpret_cast<const volatile uint8_t*>(static_cast<uintptr_t>(dwAddress));
    uint8_t* pTarget = static_cast<uint8_t*>(pOut);
    for (uint32_t i = 0; i < nBytes; ++i) pTarget[i] = pSource[i];
    return true;
  }

  bool PortOut(uint16_t wPort, uint8_t byValue) override {
    if (!m_bAllowed) return false;
    __asm__ __volatile__("outb %b0, %w1" : : "a"(byValue), "Nd"(wPort));
    return true;
  }

  bool PortIn(uint16_t wPort, uint8_t* pbyValue) override {
    if (!m_bAllowed) return false;
    uint8_t byValue;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(byValue) : "Nd"(wPort));
    *pbyValue = byValue;
    return true;
  }

  bool RaiseSmi(uint16_t wPort, SX86Registers* pRegs) override {
    if (!m_bAllowed) return false;
    uint32_t dwEax = pRegs->dwEax, dwEbx = pRegs->dwEbx, dwEcx = pRegs->dwEcx;
    uint32_t dwEdx = (pRegs->dwEdx & 0xFFFF0000u) | wPort;
    uint32_t dwEsi = pRegs->dwEsi, dwEdi = pRegs->dwEdi;
    // The SMI handler runs between this OUT and the next instruction; it
    // reads the registers, answers in them and may write memory (the
    // buffers some functions point to).
    __asm__ __volatile__("outb %%al, %%dx"
                         : "+a"(dwEax), "+b"(dwEbx), "+c"(dwEcx), "+d"(dwEdx), "+S"(dwEsi),
                           "+D"(dwEdi)
                         :
                         : "memory", "cc");
    pRegs->dwEax = dwEax;
    pRegs->dwEbx = dwEbx;
    pRegs->dwEcx = dwEcx;
    pRegs->dwEdx = dwEdx;
    pRegs->dwEsi = dwEsi;
    pRegs->dwEdi = dwEdi;
    return true;
  }

 private:
  // False on the NT family, where every instruction above would fault.
  bool m_bAllowed;
};

}  // namespace

IDirectIoPort& GetWin32DirectIoPort() {
  static CWinDirectIoPort s_port;
  return s_port;
}
