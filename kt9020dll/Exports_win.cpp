// KT9020DLL's exports: plain C functions, the caller removes the arguments.
// Each forwards to the controller access code; until the driver start-up
// is wired in, every request fails (result 0).
#include <windows.h>

#include <cstdint>
#include <cstring>

extern "C" {

__declspec(dllexport) int __cdecl GetAIP(int, int, int, void*) { return 0; }
__declspec(dllexport) int __cdecl SetAIP(int, int, int, const void*) { return 0; }
__declspec(dllexport) int __cdecl IsKT9020Exist() { return 0; }
__declspec(dllexport) int __cdecl GetDllVersion(char* pszBuffer) {
  static const char s_szVersion[16] = "V1.0 2004/--/--";
  if (!pszBuffer) return 0;
  std::memcpy(pszBuffer, s_szVersion, sizeof(s_szVersion));
  return 1;
}
__declspec(dllexport) int __cdecl Start() { return 0; }
__declspec(dllexport) uint8_t __cdecl IsStart() { return 0; }
__declspec(dllexport) uint32_t __cdecl GetInterruptCount() { return 0; }
__declspec(dllexport) uint8_t __cdecl SetRS232Flag(int nFlag) {
  return static_cast<uint8_t>(nFlag);
}
__declspec(dllexport) uint8_t __cdecl IsRS232Processing() { return 0; }
__declspec(dllexport) int __cdecl InPortB(int, uint8_t*) { return 0; }
__declspec(dllexport) int __cdecl OutPortB(int, int) { return 0; }
__declspec(dllexport) uint8_t __cdecl ReadCommand() { return 0; }
__declspec(dllexport) uint8_t __cdecl WriteCommand(int) { return 0; }
__declspec(dllexport) uint8_t __cdecl ReadData() { return 0; }
__declspec(dllexport) uint8_t __cdecl WriteData(int) { return 0; }
__declspec(dllexport) uint8_t __cdecl ReadPortVal(int, int*, int) { return 0; }
__declspec(dllexport) uint8_t __cdecl WritePortVal(int, int, int) { return 0; }
__declspec(dllexport) int64_t __cdecl ReadMSR(uint32_t) { return 0; }
__declspec(dllexport) int __cdecl WriteMSR(uint32_t, uint32_t, uint32_t) { return 0; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
