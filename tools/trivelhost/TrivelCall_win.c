/* The checked call into a table entry (see TrivelCall_win.h). */
#include "tools/trivelhost/TrivelCall_win.h"

#include <stdio.h>

int g_nStackFaults = 0;

#if defined(__i386__)

/* int32_t TrivelThiscall(const void* pfn, void* pThis, int nArgs,
 *                        const uint32_t* pArgs, int32_t* pnDelta)   (cdecl)
 * Pushes pArgs[nArgs-1] .. pArgs[0], loads ECX with pThis and calls pfn.
 * A thiscall callee returns with the stack pointer just above the
 * arguments it removed; *pnDelta receives how far the stack pointer is
 * from there (0 when the callee removed exactly its arguments). The stack
 * pointer is put right again in every case, from EBP, which every
 * convention preserves. */
int32_t TrivelThiscall(const void* pfn, void* pThis, int nArgs, const uint32_t* pArgs,
                       int32_t* pnDelta);
__asm__(
    ".text\n"
    ".globl _TrivelThiscall\n"
    "_TrivelThiscall:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl %esp, %ebx\n" /* where the stack must be after the call */
    "  movl 16(%ebp), %ecx\n"
    "  movl 20(%ebp), %esi\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  movl 12(%ebp), %ecx\n"
    "  call *8(%ebp)\n"
    "  movl %esp, %edx\n"
    "  subl %ebx, %edx\n"
    "  movl 24(%ebp), %edi\n"
    "  movl %edx, (%edi)\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

intptr_t TrivelCallSlot(const void* pfn, void* pThis, int nArgs, uintptr_t a, uintptr_t b,
                        uintptr_t c) {
  uint32_t aArgs[3] = {(uint32_t)a, (uint32_t)b, (uint32_t)c};
  int32_t nDelta = 0;
  int32_t nResult = TrivelThiscall(pfn, pThis, nArgs, aArgs, &nDelta);
  if (nDelta != 0) {
    ++g_nStackFaults;
    printf("stack: a call with %d argument(s) left ESP off by %d bytes\n", nArgs, (int)nDelta);
  }
  return nResult;
}

#else

intptr_t TrivelCallSlot(const void* pfn, void* pThis, int nArgs, uintptr_t a, uintptr_t b,
                        uintptr_t c) {
  /* One convention: every argument in a register, the unused ones ignored
   * by an entry that takes fewer. */
  typedef intptr_t (*PFN_ENTRY)(void*, uintptr_t, uintptr_t, uintptr_t);
  (void)nArgs;
  return ((PFN_ENTRY)(uintptr_t)pfn)(pThis, a, b, c);
}

#endif
