// KT9020DLL's entry point and exports: plain C functions, the caller
// removes the arguments (__cdecl), results 0 on failure. Each export
// forwards to this process's CKt9020Library. The definitions follow the
// declarations of the public header, so a signature or calling convention
// that strays from it does not compile.
#include <windows.h>

#include <cstdint>
#include <cstring>

#define KT9020_API __declspec(dllexport)
#include "kt9020dll/KT9020DLL.h"
#include "kt9020dll/Kt9020Library.h"
#include "kt9020dll/LibraryPorts_win.h"

namespace {

// One copy for every process that loads the library: GNU ld marks the
// ".shared" section shared because of the attribute (a .def SECTIONS line
// would be ignored). Plain values only; handles and pointers are per process.
SKt9020Shared g_shared __attribute__((section(".shared"), shared)) = {0, 0, 0, 0, 0, 0};

CKt9020Library* g_pLibrary = nullptr;

}  // namespace

// Loading the library starts the driver: as administrator it installs and
// starts the "Mirel" service and polls it for up to 10 s (one-second
// sleeps), then opens the device and creates or opens the named mutex, all
// here, under the loader lock. Service control manager calls and waits
// under the loader lock are a known risk: they deadlock when anything they
// wait for needs that lock (a thread starting or a library loading in this
// process), and they hold up every other load in the process meanwhile.
// The work stays here all the same because the product's design prescribes
// it: callers rely on a library whose driver is running once LoadLibrary
// returns, and on a load that fails (the user is told, the process ends)
// when the driver cannot start, which a start on the first export call
// could not give them.
BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID) {
  switch (dwReason) {
    case DLL_PROCESS_ATTACH:
      g_pLibrary = new CKt9020Library(GetWin32LibraryPorts(), &g_shared);
      switch (g_pLibrary->Attach()) {
        case EAttach::Loaded:
          break;
        case EAttach::Refused:
          delete g_pLibrary;
          g_pLibrary = nullptr;
          return FALSE;
        case EAttach::EndProcess:
          // The user has been told to run the host once as administrator.
          ExitProcess(0);
      }
      g_shared.dwWindowMessage = RegisterWindowMessageA("KT9020_INTERRUPTED");
      return TRUE;
    case DLL_PROCESS_DETACH:
      if (g_pLibrary) {
        g_pLibrary->Detach();
        delete g_pLibrary;
        g_pLibrary = nullptr;
      }
      return TRUE;
    default:
      return TRUE;
  }
}

extern "C" {

int __cdecl GetAIP(int nCommand, int nAddress, int nCount, void* pDst) {
  return g_pLibrary ? g_pLibrary->GetAip(nCommand, nAddress, nCount, pDst) : 0;
}

int __cdecl SetAIP(int nCommand, int nAddress, int nCount, const void* pData) {
  return g_pLibrary && g_pLibrary->SetAip(nCommand, nAddress, nCount, pData) ? 1 : 0;
}

int __cdecl IsKT9020Exist() { return g_pLibrary && g_pLibrary->IsKt9020Exist() ? 1 : 0; }

int __cdecl GetDllVersion(char* pszBuffer) {
  if (!pszBuffer) return 0;
  std::memcpy(pszBuffer, g_szDllVersion, sizeof(g_szDllVersion));
  return 1;
}

int __cdecl Start() { return g_pLibrary && g_pLibrary->Start() ? 1 : 0; }

uint8_t __cdecl IsStart() { return g_pLibrary && g_pLibrary->IsStart() ? 1 : 0; }

uint32_t __cdecl GetInterruptCount() { return g_shared.dwInterruptCount; }

uint8_t __cdecl SetRS232Flag(int nFlag) {
  g_shared.byRS232 = static_cast<uint8_t>(nFlag);
  return g_shared.byRS232;
}

uint8_t __cdecl IsRS232Processing() { return g_shared.byRS232; }

int __cdecl InPortB(int nPort, uint8_t* pbyValue) {
  return g_pLibrary && g_pLibrary->InPortB(nPort, pbyValue) ? 1 : 0;
}

int __cdecl OutPortB(int nPort, int nValue) {
  return g_pLibrary && g_pLibrary->OutPortB(nPort, nValue) ? 1 : 0;
}

uint8_t __cdecl ReadCommand() {
  uint8_t byValue = 0;
  return g_pLibrary && g_pLibrary->InPortB(kCommandPort, &byValue) ? byValue : 0;
}

uint8_t __cdecl WriteCommand(int nValue) {
  return g_pLibrary && g_pLibrary->OutPortB(kCommandPort, nValue) ? 1 : 0;
}

uint8_t __cdecl ReadData() {
  uint8_t byValue = 0;
  return g_pLibrary && g_pLibrary->InPortB(kDataPort, &byValue) ? byValue : 0;
}

uint8_t __cdecl WriteData(int nValue) {
  return g_pLibrary && g_pLibrary->OutPortB(kDataPort, nValue) ? 1 : 0;
}

uint8_t __cdecl ReadPortVal(int nPort, int* pnValue, int nSize) {
  return g_pLibrary && g_pLibrary->ReadPortVal(nPort, pnValue, nSize) ? 1 : 0;
}

uint8_t __cdecl WritePortVal(int nPort, int nValue, int nSize) {
  return g_pLibrary && g_pLibrary->WritePortVal(nPort, nValue, nSize) ? 1 : 0;
}

uint64_t __cdecl ReadMSR(uint32_t dwIndex) { return g_pLibrary ? g_pLibrary->ReadMsr(dwIndex) : 0; }

int __cdecl WriteMSR(uint32_t dwIndex, uint32_t dwLow, uint32_t dwHigh) {
  return g_pLibrary && g_pLibrary->WriteMsr(dwIndex, dwLow, dwHigh) ? 1 : 0;
}

}  // extern "C"
