/* TrivelOLE: the overclocking plug-in's binary interface, for C and C++
 * hosts.
 *
 * The host loads TrivelOLE.dll, calls PlugIn_GetObject with an interface
 * name ("IULVODialog", "IULVOExtend" or "IULVOPlugin", "IULVOInfo") and
 * receives an interface pointer of a new plug-in object with reference
 * count 1, or null. An interface pointer points to a pointer to its table
 * of entry points. Every entry takes the interface pointer as its hidden
 * object argument in the member-function convention (on 32-bit x86:
 * thiscall, the object in ECX and the callee removes the stack
 * arguments); the other arguments are 32-bit values (pointers are
 * pointer-sized). The host calls everything on one user-interface thread.
 *
 * Buffers: GetName writes exactly 18 bytes ("ULVOTRIVEL_PLUGIN" and its
 * NUL); GetInfo writes at most TRIVEL_INFO_BUFFER_SIZE bytes, its NUL
 * included.
 *
 * The controller library KT9020DLL.dll must be found by plain name (beside
 * the host program, in the system folder or on the path); without it the
 * plug-in shows "Load KT9020DLL failed." and "Initial KT9020Dll Failed."
 * and ends the host process with exit code 1.
 */
#ifndef TRIVELOLE_H
#define TRIVELOLE_H

#include <stdint.h>

#if defined(__i386__) || defined(_M_IX86)
#if defined(_MSC_VER)
#define TRIVEL_THISCALL __thiscall
#else
#define TRIVEL_THISCALL __attribute__((thiscall))
#endif
#else
#define TRIVEL_THISCALL
#endif

#if defined(_WIN32)
#define TRIVEL_STDCALL __stdcall
#define TRIVEL_CDECL __cdecl
#else
#define TRIVEL_STDCALL
#define TRIVEL_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define TRIVEL_NAME_BUFFER_SIZE 18
#define TRIVEL_INFO_BUFFER_SIZE 4096

/* The host's callback: plug-in name, event name ("DLG_CHANGED"), 0, and
 * two flags; callee-cleans. Its result is ignored. */
typedef int32_t(TRIVEL_STDCALL* TRIVEL_PFN_NOTIFY)(const char* pszPlugin, const char* pszEvent,
                                                   int32_t nZero, int32_t nFlag1, int32_t nFlag2);

typedef struct SIULVOPlugin SIULVOPlugin; /* any of the three interfaces */

/* Slots 0-3, common to all three tables. */
#define TRIVEL_PLUGIN_SLOTS(Self)                                                            \
  int32_t(TRIVEL_THISCALL* QueryInterface)(Self * pThis, const char* pszName, void** ppOut); \
  int32_t(TRIVEL_THISCALL* AddRef)(Self * pThis);                                            \
  int32_t(TRIVEL_THISCALL* Release)(Self * pThis);                                           \
  int32_t(TRIVEL_THISCALL* GetName)(Self * pThis, char* pszBuffer);

typedef struct SIULVODialog SIULVODialog;
typedef struct SIULVODialogVtbl {
  TRIVEL_PLUGIN_SLOTS(SIULVODialog)
  void*(TRIVEL_THISCALL* Create)(SIULVODialog* pThis, void* hwndParent); /* slot 4: HWND */
  void(TRIVEL_THISCALL* OnOK)(SIULVODialog* pThis);                      /* slot 5 */
  void(TRIVEL_THISCALL* OnCancel)(SIULVODialog* pThis);                  /* slot 6 */
  void(TRIVEL_THISCALL* Apply)(SIULVODialog* pThis);                     /* slot 7 */
} SIULVODialogVtbl;
struct SIULVODialog {
  const SIULVODialogVtbl* pVtbl;
};

typedef struct SIULVOExtend SIULVOExtend;
typedef struct SIULVOExtendVtbl {
  TRIVEL_PLUGIN_SLOTS(SIULVOExtend)
  int32_t(TRIVEL_THISCALL* Command)(SIULVOExtend* pThis, uintptr_t a, uintptr_t b,
                                    uintptr_t c); /* slot 4 */
  int32_t(TRIVEL_THISCALL* SetCallback)(SIULVOExtend* pThis, uintptr_t nContext,
                                        TRIVEL_PFN_NOTIFY pfnNotify); /* slot 5 */
} SIULVOExtendVtbl;
struct SIULVOExtend {
  const SIULVOExtendVtbl* pVtbl;
};

typedef struct SIULVOInfo SIULVOInfo;
typedef struct SIULVOInfoVtbl {
  TRIVEL_PLUGIN_SLOTS(SIULVOInfo)
  int32_t(TRIVEL_THISCALL* GetInfo)(SIULVOInfo* pThis, char* pszBuffer, int32_t nProfile); /* 4 */
} SIULVOInfoVtbl;
struct SIULVOInfo {
  const SIULVOInfoVtbl* pVtbl;
};

/* The one export (ordinal 1, caller removes the argument). */
typedef void*(TRIVEL_CDECL* TRIVEL_PFN_GetObject)(const char* pszInterface);

#ifdef __cplusplus
}
#endif

#endif /* TRIVELOLE_H */
