/* The simulation core as the driver's C code sees it: the DDK headers do
   not compile as C++, so the driver glue is C and reaches the C++ core
   through these functions (SimDriverCore.cpp). */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SSimDriverHost {
  void* (*pfnAlloc)(void* pContext, size_t nBytes);
  void (*pfnFree)(void* pContext, void* pMemory);
  void (*pfnStateWritten)(void* pContext, const uint8_t* pBlob, uint32_t dwOffset, uint32_t nBytes);
} SSimDriverHost;

/* Sets the host; call once before anything else. */
void SimCoreInit(const SSimDriverHost* pHost);
/* Loads a state blob; nonzero on success. */
int SimCoreRestore(const uint8_t* pBlob, size_t nBytes);
/* A factory-default core where the kind allows one (the controller);
   nonzero on success. */
int SimCoreCreateDefault(void);
/* The device a request arrived through (the AMI board answers two). */
enum { kSimCoreMainDevice = 0, kSimCoreHwIoctl = 1 };
/* One request; returns an ESimResult. */
uint32_t SimCoreRequest(uint32_t dwDevice, uint32_t dwCode, const void* pIn, uint32_t nIn,
                        void* pOut, uint32_t nOut, uint32_t* pnReturned);
/* Zero once the board's power has failed (an injected power cut): the
   driver then answers nothing, also what it serves without the core. */
int SimCoreAnswering(void);
/* The AMI board's 64 KB F000 segment (constant once loaded), else null. */
const uint8_t* SimCoreSegment(void);
void SimCoreDestroy(void);

#ifdef __cplusplus
}
#endif
