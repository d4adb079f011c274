/* KT9020DLL: access to the Mirel hardware-monitor and overclocking
 * controller (through the driver "\\.\Mirel"), its I/O ports and the
 * processor's model-specific registers. The public interface for C and C++
 * callers.
 *
 * Every export is a plain C function with the __cdecl calling convention
 * (the caller removes the arguments); results are 0 on failure. Callers
 * load the library with LoadLibraryA and bind the exports by name with
 * GetProcAddress (the KT9020_PFN_* types below), or link its import library.
 * The library serialises controller commands of all processes on the named
 * mutex "KT9020_MUTEX"; a caller that needs several commands in one piece
 * may hold that mutex around them.
 */
#ifndef KT9020DLL_H
#define KT9020DLL_H

#include <stdint.h>

/* __cdecl on Windows; other systems have one C calling convention (the
 * native build reads this header for the function types only). */
#if defined(_WIN32)
#define KT9020_CALL __cdecl
#else
#define KT9020_CALL
#endif

/* Storage class of the declarations: empty for callers, dllexport where
 * the library defines them. */
#ifndef KT9020_API
#define KT9020_API
#endif

/* Every export as X(name, ordinal, result, parameters), in name order; the
 * ordinals count from 1 in that order. The build writes the library's
 * module definition file from this list (cmake/GenerateDef.cmake, which
 * also refuses a list out of order) and the deliverable check compares the
 * shipped export table with it: an export is added here and nowhere else.
 *
 * Commands (GetAIP, SetAIP): nCommand is a controller command code, nAddress
 * a 16-bit controller address. 0x11-0x18 read 1-8 bytes, 0x1A reads a block
 * of nCount bytes (at most 254), 0x20 touches an address, 0x21-0x28 write
 * 1-8 bytes, 0x2A writes a block of nCount bytes (at most 252); other codes
 * are refused before anything is sent.
 */
/* clang-format off */
#define KT9020_EXPORTS(X)                                                                   \
  /* A read command; the reply bytes copied to pDst (never more than the  */               \
  /* command asks for), 0 on failure or time-out.                         */               \
  X(GetAIP, 1, int, (int nCommand, int nAddress, int nCount, void* pDst))                  \
  /* Copies the 16-byte version text, terminator included; 0 for no buffer. */             \
  X(GetDllVersion, 2, int, (char* pszBuffer))                                              \
  /* Kept for callers: always 0. */                                                        \
  X(GetInterruptCount, 3, uint32_t, (void))                                                \
  /* Reads one byte from I/O port nPort into *pbyValue; 1 on success. */                   \
  X(InPortB, 4, int, (int nPort, uint8_t* pbyValue))                                       \
  /* 1 when the controller answers the presence test (0x20 at 0x1000). */                  \
  X(IsKT9020Exist, 5, int, (void))                                                         \
  /* The flag of SetRS232Flag, shared by every process on the machine. */                  \
  X(IsRS232Processing, 6, uint8_t, (void))                                                 \
  /* 1 when this process has the driver's device open. */                                  \
  X(IsStart, 7, uint8_t, (void))                                                           \
  /* Writes the low byte of nValue to I/O port nPort; 1 on success. */                     \
  X(OutPortB, 8, int, (int nPort, int nValue))                                             \
  /* The byte at the controller's command port (0xE4); 0 on failure. */                    \
  X(ReadCommand, 9, uint8_t, (void))                                                       \
  /* The byte at the controller's data port (0xE0); 0 on failure. */                       \
  X(ReadData, 10, uint8_t, (void))                                                         \
  /* The 64-bit value of model-specific register dwIndex; 0 on failure. */                 \
  X(ReadMSR, 11, uint64_t, (uint32_t dwIndex))                                             \
  /* Reads nSize (1, 2 or 4) bytes from I/O port nPort into *pnValue; 1 on success. */     \
  X(ReadPortVal, 12, uint8_t, (int nPort, int* pnValue, int nSize))                        \
  /* A write command with the caller's data bytes; 1 when the controller took it. */       \
  X(SetAIP, 13, int, (int nCommand, int nAddress, int nCount, const void* pData))          \
  /* Stores the low byte of nFlag for every process on the machine; returns it. */         \
  X(SetRS232Flag, 14, uint8_t, (int nFlag))                                                \
  /* Starts the driver (as administrator) and opens its device; 1 on success. */           \
  X(Start, 15, int, (void))                                                                \
  /* Writes the low byte of nValue to the command port (0xE4); 1 on success. */            \
  X(WriteCommand, 16, uint8_t, (int nValue))                                               \
  /* Writes the low byte of nValue to the data port (0xE0); 1 on success. */               \
  X(WriteData, 17, uint8_t, (int nValue))                                                  \
  /* Writes dwHigh:dwLow to model-specific register dwIndex; 1 on success. */              \
  X(WriteMSR, 18, int, (uint32_t dwIndex, uint32_t dwLow, uint32_t dwHigh))                \
  /* Writes nSize (1, 2 or 4) bytes of nValue to I/O port nPort; 1 on success. */          \
  X(WritePortVal, 19, uint8_t, (int nPort, int nValue, int nSize))
/* clang-format on */

#ifdef __cplusplus
extern "C" {
#endif

/* The declarations, and a pointer type per export for binding by name:
 * KT9020_PFN_GetAIP and so on. */
#define KT9020_DECLARE(name, ordinal, result, parameters) \
  KT9020_API result KT9020_CALL name parameters;          \
  typedef result(KT9020_CALL* KT9020_PFN_##name) parameters;
KT9020_EXPORTS(KT9020_DECLARE)
#undef KT9020_DECLARE

#ifdef __cplusplus
}
#endif

#endif /* KT9020DLL_H */
