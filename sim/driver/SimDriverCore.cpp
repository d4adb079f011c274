// C entry points of the core a driver hosts (see SimDriverCore.h).
#include "sim/driver/SimDriverCore.h"

#if defined(SIM_DRIVER_AWARD)
#include "sim/SimAwardBoard.h"
using CCore = CSimAwardBoard;
#elif defined(SIM_DRIVER_MIREL)
#include "sim/SimMirelController.h"
using CCore = CSimMirelController;
#elif defined(SIM_DRIVER_AMI_MEMCTL)
#include "sim/SimAmiBoard.h"
using CCore = CSimAmiBoard;
#else
#error "SIM_DRIVER_AWARD, SIM_DRIVER_MIREL or SIM_DRIVER_AMI_MEMCTL"
#endif

namespace {

// No constructor runs in a driver: the object starts zeroed, which is the
// state of a core that was never created.
CCore g_Core;
SSimHost g_Host;

}  // namespace

extern "C" void SimCoreInit(const SSimDriverHost* pHost) {
  g_Host.pContext = nullptr;
  g_Host.pfnAlloc = pHost->pfnAlloc;
  g_Host.pfnFree = pHost->pfnFree;
  g_Host.pfnStateWritten = pHost->pfnStateWritten;
}

extern "C" int SimCoreRestore(const uint8_t* pBlob, size_t nBytes) {
  if (!g_Core.Restore(pBlob, nBytes, &g_Host)) return 0;
  g_Core.Log().Init(&g_Host, 0);  // the log serves in-process tests only
  return 1;
}

extern "C" int SimCoreCreateDefault(void) {
#if defined(SIM_DRIVER_MIREL)
  if (!g_Core.Create(SSimMirelConfig(), &g_Host)) return 0;
  g_Core.Log().Init(&g_Host, 0);
  return 1;
#else
  return 0;  // a board needs its images
#endif
}

extern "C" uint32_t SimCoreRequest(uint32_t dwDevice, uint32_t dwCode, const void* pIn,
                                   uint32_t nIn, void* pOut, uint32_t nOut, uint32_t* pnReturned) {
#if defined(SIM_DRIVER_AMI_MEMCTL)
  return g_Core.Request(
      dwDevice == kSimCoreHwIoctl ? CSimAmiBoard::kHwIoctl : CSimAmiBoard::kMemctl, dwCode, pIn,
      nIn, pOut, nOut, pnReturned);
#else
  (void)dwDevice;
  return g_Core.Request(dwCode, pIn, nIn, pOut, nOut, pnReturned);
#endif
}

extern "C" int SimCoreAnswering(void) {
#if defined(SIM_DRIVER_AMI_MEMCTL)
  return g_Core.PoweredOff() ? 0 : 1;
#else
  return 1;
#endif
}

extern "C" const uint8_t* SimCoreSegment(void) {
#if defined(SIM_DRIVER_AMI_MEMCTL)
  return g_Core.Segment();
#else
  return nullptr;
#endif
}

extern "C" void SimCoreDestroy(void) { g_Core.Destroy(); }
