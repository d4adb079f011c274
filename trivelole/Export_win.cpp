// TrivelOLE's one export. The plug-in object is not built yet: every
// interface lookup fails.
#include <windows.h>

extern "C" __declspec(dllexport) void* __cdecl PlugIn_GetObject(const char*) { return nullptr; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
