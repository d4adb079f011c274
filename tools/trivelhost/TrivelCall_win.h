/* Calls into TrivelOLE's interface tables with a check of the stack.
 *
 * On 32-bit x86 every entry of the tables is thiscall: the object in ECX,
 * the other arguments on the stack, removed by the callee. A plug-in built
 * with another convention (cdecl, or stdcall with the object on the stack)
 * links and even runs for a while, and then leaves the host's stack off by
 * a few bytes after every call. TrivelCallSlot makes the call from a small
 * assembly helper that pushes the arguments itself and measures how far the
 * stack pointer moved; any difference is counted as a fault.
 *
 * On x86-64 there is one convention; the call is made as a plain call with
 * up to three arguments after the object. */
#ifndef TRIVEL_CALL_WIN_H
#define TRIVEL_CALL_WIN_H

#include <stdint.h>

/* Calls pfn (a table entry) on pThis with nArgs (0-3) of a, b, c; the
 * entry's result (meaningless for entries without one). */
intptr_t TrivelCallSlot(const void* pfn, void* pThis, int nArgs, uintptr_t a, uintptr_t b,
                        uintptr_t c);
/* Calls whose stack pointer differed afterwards (always 0 on x86-64). */
extern int g_nStackFaults;

/* The result as the entry declares it: a 32-bit value, a pointer or none. */
static inline int32_t TrivelCallInt(const void* pfn, void* pThis, int nArgs, uintptr_t a,
                                    uintptr_t b, uintptr_t c) {
  return (int32_t)TrivelCallSlot(pfn, pThis, nArgs, a, b, c);
}
static inline void* TrivelCallPtr(const void* pfn, void* pThis, int nArgs, uintptr_t a) {
  return (void*)TrivelCallSlot(pfn, pThis, nArgs, a, 0, 0);
}
static inline void TrivelCallVoid(const void* pfn, void* pThis) {
  TrivelCallSlot(pfn, pThis, 0, 0, 0, 0);
}

/* A table slot as a plain address. */
#define TRIVEL_SLOT(p, name) ((const void*)(uintptr_t)(p)->pVtbl->name)

/* The entries of TrivelOLE.h, through the interface's own table. */
#define T_QueryInterface(p, name, out) \
  TrivelCallInt(TRIVEL_SLOT(p, QueryInterface), (p), 2, (uintptr_t)(name), (uintptr_t)(out), 0)
#define T_AddRef(p) TrivelCallInt(TRIVEL_SLOT(p, AddRef), (p), 0, 0, 0, 0)
#define T_Release(p) TrivelCallInt(TRIVEL_SLOT(p, Release), (p), 0, 0, 0, 0)
#define T_GetName(p, buf) TrivelCallInt(TRIVEL_SLOT(p, GetName), (p), 1, (uintptr_t)(buf), 0, 0)
#define T_Create(p, hwnd) ((HWND)TrivelCallPtr(TRIVEL_SLOT(p, Create), (p), 1, (uintptr_t)(hwnd)))
#define T_OnOK(p) TrivelCallVoid(TRIVEL_SLOT(p, OnOK), (p))
#define T_OnCancel(p) TrivelCallVoid(TRIVEL_SLOT(p, OnCancel), (p))
#define T_Apply(p) TrivelCallVoid(TRIVEL_SLOT(p, Apply), (p))
#define T_Command(p, a, b, c) TrivelCallInt(TRIVEL_SLOT(p, Command), (p), 3, (a), (b), (c))
#define T_SetCallback(p, ctx, pfn) \
  TrivelCallInt(TRIVEL_SLOT(p, SetCallback), (p), 2, (uintptr_t)(ctx), (uintptr_t)(pfn), 0)
#define T_GetInfo(p, buf, profile)                                                                 \
  TrivelCallInt(TRIVEL_SLOT(p, GetInfo), (p), 2, (uintptr_t)(buf), (uintptr_t)(intptr_t)(profile), \
                0)

#endif /* TRIVEL_CALL_WIN_H */
