// TrivelOLE's one export and its entry point.
#include <windows.h>

#include <new>

#include "trivelole/PluginSystem_win.h"
#include "trivelole/TrivelPlugin_win.h"

// A new plug-in object asked for the interface by name: the interface
// pointer with count 1, or null (the object is not kept).
// No exception leaves the library: a host written in C could not catch it.
extern "C" __declspec(dllexport) void* __cdecl PlugIn_GetObject(const char* pszInterface) {
  try {
    CTrivelPluginObject* pObject = new CTrivelPluginObject(CreateWin32PluginSystem());
    void* pInterface = nullptr;
    if (!pObject->Ready() || pObject->QueryInterface(pszInterface, &pInterface) != 0) {
      delete pObject;
      return nullptr;
    }
    return pInterface;
  } catch (...) {
    return nullptr;
  }
}

// Only remembers the module: the page's template and the version come from
// the library's own resources. Everything else waits for the first object
// (nothing heavy under the loader lock).
BOOL WINAPI DllMain(HINSTANCE hModule, DWORD dwReason, LPVOID) {
  if (dwReason == DLL_PROCESS_ATTACH) {
    g_hTrivelModule = hModule;
    DisableThreadLibraryCalls(hModule);
  }
  return TRUE;
}
