/* Kernel driver hosting one simulation core: built as WinFlash.sys
   (SIM_DRIVER_AWARD: the Award board, "\\.\WinFlash"), as Mirel.sys
   (SIM_DRIVER_MIREL: the Mirel controller, "\\.\Mirel"), and as the AMI
   board's two drivers: Memctl.sys (SIM_DRIVER_AMI_MEMCTL, "\\.\Memctl":
   owns the board, its F000 segment, shared buffers and state file) and
   HwIOctl.sys (SIM_DRIVER_AMI_HWIOCTL, "\\.\HwIOctl": no board of its own;
   it relays every request to Memctl, see Relay()). It imports only ntoskrnl
   (Wine starts a driver importing anything else as a plain DLL).

   Where the driver finds its state file (HwIOctl has none):
     1. the REG_SZ value "StateFile" of the service key's "Parameters"
        subkey (a DOS path "Z:\...\demo.state" or an NT path "\??\...");
        when it is set, no other place is looked at;
     otherwise the first of these that exists:
     2. the driver's own image path with ".sys" replaced by ".state" (a
        harness puts "WinFlash.state" beside the "WinFlash.sys" it installs);
     3. "\SystemRoot\System32\drivers\<WinFlash|Mirel|Memctl>.state".
   The Award and AMI drivers need an existing state file (simtool state and
   ami-state make one); without one they do not start. The Mirel driver
   starts a factory-default controller when none exists and creates the file
   at the first place above that it can.

   Every change of the core's state is written through to the file at once:
   Wine ends drivers without calling their unload routine.

   This file is C: the DDK headers do not compile as C++. The core is
   reached through sim/driver/SimDriverCore.h. */
#include <ntddk.h>
#include <string.h>

#include "sim/driver/SimDriverCore.h"

#if defined(SIM_DRIVER_AWARD)
#define SIM_NAME L"WinFlash"
#elif defined(SIM_DRIVER_MIREL)
#define SIM_NAME L"Mirel"
#elif defined(SIM_DRIVER_AMI_MEMCTL)
#define SIM_NAME L"Memctl"
#elif defined(SIM_DRIVER_AMI_HWIOCTL)
#define SIM_NAME L"HwIOctl"
#define SIM_RELAY_ONLY 1
#else
#error "SIM_DRIVER_AWARD, SIM_DRIVER_MIREL, SIM_DRIVER_AMI_MEMCTL or SIM_DRIVER_AMI_HWIOCTL"
#endif

/* HwIOctl's requests as Memctl takes them from the HwIOctl driver: input
   the u32 I/O control code the caller sent, then the caller's input; output
   as the caller offered it. */
#define kRelayCode CTL_CODE(0x8A3E, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* Result codes of the core (ESimResult in sim/SimHost.h). */
enum { kSimOk = 0, kSimInvalidRequest = 1, kSimInvalidParameter = 2, kSimBufferTooSmall = 3 };

DRIVER_INITIALIZE DriverEntry;
static DRIVER_DISPATCH DispatchCreateClose;
static DRIVER_DISPATCH DispatchControl;
static DRIVER_UNLOAD DriverUnload;

#define kTag 0x6D695342u /* 'BSim' */
#define kMaxPath 512u    /* characters */
#define kMaxInput 4096u  /* largest request input accepted (bytes) */

static HANDLE g_hState = NULL;
static KMUTEX g_Mutex;
static PDEVICE_OBJECT g_pDevice = NULL;
static UNICODE_STRING g_LinkName;
static UINT8* g_pInput = NULL;

#if defined(SIM_DRIVER_AMI_MEMCTL)
static BOOLEAN g_bAllocShared;
static void* AllocShared(size_t nBytes);
static BOOLEAN FreeShared(void* p);
#endif

static void* HostAlloc(void* pContext, size_t nBytes) {
  void* p;
  (void)pContext;
#if defined(SIM_DRIVER_AMI_MEMCTL)
  if (g_bAllocShared) return AllocShared(nBytes);
#endif
  p = ExAllocatePoolWithTag(NonPagedPool, nBytes ? nBytes : 1, kTag);
  if (p) memset(p, 0, nBytes);
  return p;
}

static void HostFree(void* pContext, void* p) {
  (void)pContext;
#if defined(SIM_DRIVER_AMI_MEMCTL)
  if (FreeShared(p)) return;
#endif
  if (p) ExFreePool(p);
}

#if !defined(SIM_RELAY_ONLY)
static void HostWritten(void* pContext, const uint8_t* pBlob, uint32_t dwOffset, uint32_t nBytes) {
  IO_STATUS_BLOCK iosb;
  LARGE_INTEGER offset;
  (void)pContext;
  if (!g_hState) return;
  offset.QuadPart = dwOffset;
  ZwWriteFile(g_hState, NULL, NULL, NULL, &iosb, (PVOID)(pBlob + dwOffset), nBytes, &offset, NULL);
}

#if defined(SIM_DRIVER_AMI_MEMCTL)
/* The AMI board's memory as the caller sees it. The core answers with
   addresses in this process (winedevice.exe), where the caller cannot reach
   them, so everything the caller is handed is a view of a section: the F000
   segment (a copy made at start; the core never changes it) and every shared
   buffer (the core's allocation itself is a view of a section in this
   process, so the SMI handler's reads and programs and the caller's view are
   the same bytes). Each view the caller gets is mapped into its process by
   id (PsGetCurrentProcessId() in the dispatch routine: Wine runs it in the
   caller's context as far as ids go) and recorded here, so that addresses
   the caller sends back are translated to the core's and checked against
   the process that received them. */
enum { kMaxShared = 50 /* the core's buffer slots */, kMaxCallerMappings = 16 /* the core's */ };
#define kSegmentBytes 0x10000u /* the F000 segment */

typedef struct SShared {
  HANDLE hSection;   /* NULL: slot free */
  UINT8* pView;      /* this process's view: the bytes the core uses */
  SIZE_T nBytes;     /* as the core asked */
  ULONG_PTR pCaller; /* the allocating process's view, 0: none */
  HANDLE idCaller;
} SShared;

typedef struct SCallerMapping {
  ULONG_PTR pCaller; /* address handed out, 0: slot free */
  ULONG_PTR pBase;   /* the caller's view it lies in */
  ULONG_PTR pCore;   /* what the core handed out */
  SIZE_T nBytes;     /* of the caller's view */
  HANDLE idCaller;
} SCallerMapping;

static SShared g_aShared[kMaxShared];
static SShared g_Segment;
static SCallerMapping g_aCallerMappings[kMaxCallerMappings];
/* Set around an allocate request: the core's next allocation is a shared
   buffer (the only allocation the core makes while answering it). */
static BOOLEAN g_bAllocShared;

static BOOLEAN CreateShared(SShared* p, SIZE_T nBytes) {
  LARGE_INTEGER size;
  PVOID pBase = NULL;
  SIZE_T nView = 0;
  size.QuadPart = nBytes;
  if (!NT_SUCCESS(ZwCreateSection(&p->hSection, SECTION_ALL_ACCESS, NULL, &size, PAGE_READWRITE,
                                  SEC_COMMIT, NULL))) {
    p->hSection = NULL;
    return FALSE;
  }
  if (!NT_SUCCESS(ZwMapViewOfSection(p->hSection, ZwCurrentProcess(), &pBase, 0, 0, NULL, &nView,
                                     ViewUnmap, 0, PAGE_READWRITE))) {
    ZwClose(p->hSection);
    p->hSection = NULL;
    return FALSE;
  }
  p->pView = pBase; /* a new section reads zero, as HostAlloc promises */
  p->nBytes = nBytes;
  p->pCaller = 0;
  p->idCaller = NULL;
  return TRUE;
}

static void DestroyShared(SShared* p) {
  if (!p->hSection) return;
  ZwUnmapViewOfSection(ZwCurrentProcess(), p->pView);
  ZwClose(p->hSection);
  memset(p, 0, sizeof *p);
}

static void* AllocShared(size_t nBytes) {
  int i;
  g_bAllocShared = FALSE;
  for (i = 0; i < kMaxShared; ++i)
    if (!g_aShared[i].hSection)
      return CreateShared(&g_aShared[i], nBytes) ? g_aShared[i].pView : NULL;
  return NULL;
}

static BOOLEAN FreeShared(void* p) {
  int i;
  for (i = 0; i < kMaxShared; ++i) {
    if (g_aShared[i].hSection && g_aShared[i].pView == p) {
      DestroyShared(&g_aShared[i]);
      return TRUE;
    }
  }
  return FALSE;
}

static HANDLE OpenCaller(HANDLE idCaller) {
  OBJECT_ATTRIBUTES oa;
  CLIENT_ID cid;
  HANDLE h = NULL;
  cid.UniqueProcess = idCaller;
  cid.UniqueThread = NULL;
  InitializeObjectAttributes(&oa, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
  return NT_SUCCESS(ZwOpenProcess(&h, PROCESS_ALL_ACCESS, &oa, &cid)) ? h : NULL;
}

/* A whole view of the section in the caller; 0 on failure. */
static ULONG_PTR MapIntoCaller(HANDLE hSection, HANDLE idCaller, ULONG dwProtect) {
  HANDLE hProcess = OpenCaller(idCaller);
  PVOID pBase = NULL;
  SIZE_T nView = 0;
  NTSTATUS status;
  if (!hProcess) return 0;
  status =
      ZwMapViewOfSection(hSection, hProcess, &pBase, 0, 0, NULL, &nView, ViewUnmap, 0, dwProtect);
  ZwClose(hProcess);
  return NT_SUCCESS(status) ? (ULONG_PTR)pBase : 0;
}

static void UnmapFromCaller(HANDLE idCaller, ULONG_PTR pBase) {
  HANDLE hProcess = OpenCaller(idCaller);
  if (!hProcess) return; /* the process has ended, its views with it */
  ZwUnmapViewOfSection(hProcess, (PVOID)pBase);
  ZwClose(hProcess);
}

/* The segment's section, filled from the core once it is loaded. */
static BOOLEAN CreateSegment(void) {
  const uint8_t* pSegment = SimCoreSegment();
  if (!pSegment || !CreateShared(&g_Segment, kSegmentBytes)) return FALSE;
  memcpy(g_Segment.pView, pSegment, kSegmentBytes);
  return TRUE;
}

/* The shared buffer a range of the caller lies wholly in (as the caller
   sees it), or NULL. */
static SShared* CallerBuffer(HANDLE idCaller, ULONG_PTR p, ULONG_PTR n) {
  int i;
  for (i = 0; i < kMaxShared; ++i) {
    SShared* b = &g_aShared[i];
    if (b->hSection && b->pCaller && b->idCaller == idCaller && p >= b->pCaller &&
        p - b->pCaller <= b->nBytes && n <= b->nBytes - (p - b->pCaller))
      return b;
  }
  return NULL;
}

static ULONG_PTR GetPointerAt(const UINT8* p) {
  ULONG_PTR v;
  memcpy(&v, p, sizeof v);
  return v;
}

/* Reading and writing the caller's own memory. Wine's ntoskrnl exports no
   NtReadVirtualMemory/NtWriteVirtualMemory, and MmCopyVirtualMemory and
   KeStackAttachProcess are stubs; but under Wine a driver is user-mode code
   inside winedevice.exe, whose ntdll has both. They are looked up once in
   the loaded ntdll (the process's module list, then its export table), so
   the driver still imports nothing but ntoskrnl. Where the lookup fails
   (anything but Wine), a copy touching the caller's memory is refused. */
typedef NTSTATUS(NTAPI* PFN_VIRTUAL_COPY)(HANDLE hProcess, PVOID pAddress, PVOID pBuffer,
                                          SIZE_T nBytes, SIZE_T* pnDone);
static PFN_VIRTUAL_COPY g_pfnReadCaller = NULL;
static PFN_VIRTUAL_COPY g_pfnWriteCaller = NULL;

/* Offsets of the user-mode process structures (bytes): the TEB's PEB, the
   PEB's loader data, its load order list, and a module entry's base and
   name. The TEB itself is read through the thread's segment register. */
#if defined(_WIN64)
#define SIM_TEB_SELF "movq %%gs:0x30, %0"
enum { kTebPeb = 0x60, kPebLdr = 0x18, kLdrLoadOrder = 0x10, kEntryBase = 0x30, kEntryName = 0x58 };
#else
#define SIM_TEB_SELF "movl %%fs:0x18, %0"
enum { kTebPeb = 0x30, kPebLdr = 0x0C, kLdrLoadOrder = 0x0C, kEntryBase = 0x18, kEntryName = 0x2C };
#endif

static UINT8* CurrentTeb(void) {
  UINT8* p;
  __asm__(SIM_TEB_SELF : "=r"(p));
  return p;
}

static BOOLEAN IsNtdll(const UNICODE_STRING* pName) {
  static const WCHAR kName[] = L"ntdll.dll";
  USHORT i, n = (USHORT)(sizeof kName / sizeof kName[0] - 1);
  if (!pName->Buffer || pName->Length != n * sizeof(WCHAR)) return FALSE;
  for (i = 0; i < n; ++i) {
    WCHAR c = pName->Buffer[i];
    if (c >= L'A' && c <= L'Z') c = (WCHAR)(c - L'A' + L'a');
    if (c != kName[i]) return FALSE;
  }
  return TRUE;
}

static UINT32 ImageU32(const UINT8* p) {
  UINT32 v;
  memcpy(&v, p, 4);
  return v;
}

/* An export of a loaded PE image by name, or NULL. */
static void* FindExport(UINT8* pBase, const char* pszName) {
  UINT8* pNt = pBase + ImageU32(pBase + 0x3C);
  UINT8* pOptional = pNt + 24;
  /* The export directory entry: after the PE32+ or PE32 optional header's
     fixed part. */
  UINT8* pDirectory = pOptional + (*(UINT16*)pOptional == 0x20B ? 112 : 96);
  UINT8* pExports = pBase + ImageU32(pDirectory);
  UINT32 i, nNames = ImageU32(pExports + 24);
  UINT8* pFunctions = pBase + ImageU32(pExports + 28);
  UINT8* pNames = pBase + ImageU32(pExports + 32);
  UINT8* pOrdinals = pBase + ImageU32(pExports + 36);
  size_t nName = strlen(pszName) + 1;
  if (!ImageU32(pDirectory)) return NULL;
  for (i = 0; i < nNames; ++i) {
    if (memcmp(pBase + ImageU32(pNames + 4 * i), pszName, nName) == 0)
      return pBase + ImageU32(pFunctions + 4 * *(UINT16*)(pOrdinals + 2 * i));
  }
  return NULL;
}

static void FindCallerMemoryAccess(void) {
  UINT8* pPeb = *(UINT8**)(CurrentTeb() + kTebPeb);
  UINT8* pLdr = pPeb ? *(UINT8**)(pPeb + kPebLdr) : NULL;
  LIST_ENTRY *pHead, *p;
  if (!pLdr) return;
  pHead = (LIST_ENTRY*)(pLdr + kLdrLoadOrder);
  for (p = pHead->Flink; p && p != pHead; p = p->Flink) {
    UINT8* pEntry = (UINT8*)p; /* the load order links come first */
    if (!IsNtdll((const UNICODE_STRING*)(pEntry + kEntryName))) continue;
    g_pfnReadCaller =
        (PFN_VIRTUAL_COPY)FindExport(*(UINT8**)(pEntry + kEntryBase), "NtReadVirtualMemory");
    g_pfnWriteCaller =
        (PFN_VIRTUAL_COPY)FindExport(*(UINT8**)(pEntry + kEntryBase), "NtWriteVirtualMemory");
    return;
  }
}

/* [p, p + n) of the caller touches a view Memctl gave it. */
static BOOLEAN TouchesCallerViews(HANDLE idCaller, ULONG_PTR p, ULONG_PTR n) {
  int i;
  for (i = 0; i < kMaxShared; ++i) {
    const SShared* b = &g_aShared[i];
    if (b->hSection && b->pCaller && b->idCaller == idCaller && p < b->pCaller + b->nBytes &&
        b->pCaller < p + n)
      return TRUE;
  }
  for (i = 0; i < kMaxCallerMappings; ++i) {
    const SCallerMapping* m = &g_aCallerMappings[i];
    if (m->pCaller && m->idCaller == idCaller && p < m->pBase + m->nBytes && m->pBase < p + n)
      return TRUE;
  }
  return FALSE;
}

/* A copy between a shared buffer (pView, this process) and the caller's
   own memory at pCaller. */
static NTSTATUS CopyWithCaller(HANDLE idCaller, BOOLEAN bToBuffer, UINT8* pView, ULONG_PTR pCaller,
                               ULONG_PTR n) {
  PFN_VIRTUAL_COPY pfn = bToBuffer ? g_pfnReadCaller : g_pfnWriteCaller;
  HANDLE hProcess;
  UINT8* pBounce = NULL;
  SIZE_T nDone = 0;
  NTSTATUS status;
  if (!pfn) return STATUS_NOT_SUPPORTED;
  if (pCaller + n < pCaller || TouchesCallerViews(idCaller, pCaller, n))
    return STATUS_INVALID_PARAMETER;
  if (!n) return STATUS_SUCCESS;
  hProcess = OpenCaller(idCaller);
  if (!hProcess) return STATUS_INVALID_PARAMETER;
  /* Into a shared buffer through a bounce buffer: a read that fails half
     way leaves the shared buffer as it was. */
  if (bToBuffer && !(pBounce = ExAllocatePoolWithTag(NonPagedPool, n, kTag))) {
    ZwClose(hProcess);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  status = bToBuffer ? pfn(hProcess, (PVOID)pCaller, pBounce, n, &nDone)
                     : pfn(hProcess, (PVOID)pCaller, pView, n, &nDone);
  ZwClose(hProcess);
  if (NT_SUCCESS(status) && nDone == n) {
    if (pBounce) memcpy(pView, pBounce, n);
    status = STATUS_SUCCESS;
  } else {
    status = STATUS_INVALID_PARAMETER; /* an address the caller cannot reach */
  }
  if (pBounce) ExFreePool(pBounce);
  return status;
}

static NTSTATUS StatusOf(uint32_t dwResult);

/* One request to "\\.\Memctl" from process idCaller; the core's addresses
   go through the caller's views. */
static NTSTATUS MemctlRequest(HANDLE idCaller, ULONG dwCode, const UINT8* pIn, ULONG nIn,
                              UINT8* pOut, ULONG nOut, uint32_t* pnReturned) {
  const ULONG nPointer = sizeof(ULONG_PTR);
  uint32_t dwResult, nIgnored;
  int i;
  *pnReturned = 0;
  /* A board whose power failed answers nothing, not even the copies this
     driver serves between the caller's memory and a shared buffer. */
  if (!SimCoreAnswering()) return STATUS_UNSUCCESSFUL;
  switch (dwCode) {
    case 0x80003480u: { /* map physical memory */
      ULONG_PTR pCore, pBase, nOffset;
      SShared* pSection = NULL;
      SCallerMapping* pSlot = NULL;
      dwResult = SimCoreRequest(kSimCoreMainDevice, dwCode, pIn, nIn, pOut, nOut, pnReturned);
      if (dwResult != kSimOk) return StatusOf(dwResult);
      pCore = GetPointerAt(pOut);
      if (pCore - (ULONG_PTR)SimCoreSegment() < kSegmentBytes) {
        pSection = &g_Segment;
        nOffset = pCore - (ULONG_PTR)SimCoreSegment();
      } else {
        for (i = 0; i < kMaxShared && !pSection; ++i)
          if (g_aShared[i].hSection && pCore - (ULONG_PTR)g_aShared[i].pView < g_aShared[i].nBytes)
            pSection = &g_aShared[i];
        nOffset = pSection ? pCore - (ULONG_PTR)pSection->pView : 0;
      }
      for (i = 0; i < kMaxCallerMappings && !pSlot; ++i)
        if (!g_aCallerMappings[i].pCaller) pSlot = &g_aCallerMappings[i];
      /* The segment is ROM to the caller: its view is read-only. */
      pBase = pSection && pSlot
                  ? MapIntoCaller(pSection->hSection, idCaller,
                                  pSection == &g_Segment ? PAGE_READONLY : PAGE_READWRITE)
                  : 0;
      if (!pBase) {
        SimCoreRequest(kSimCoreMainDevice, 0x80003484u, (const UINT8*)&pCore, nPointer, NULL, 0,
                       &nIgnored);
        *pnReturned = 0;
        return STATUS_INSUFFICIENT_RESOURCES;
      }
      pSlot->pCaller = pBase + nOffset;
      pSlot->pBase = pBase;
      pSlot->pCore = pCore;
      pSlot->nBytes = pSection->nBytes;
      pSlot->idCaller = idCaller;
      memcpy(pOut, &pSlot->pCaller, nPointer);
      return STATUS_SUCCESS;
    }
    case 0x80003484u: { /* unmap */
      ULONG_PTR p;
      if (nIn < nPointer) return STATUS_INVALID_PARAMETER;
      p = GetPointerAt(pIn);
      for (i = 0; i < kMaxCallerMappings; ++i) {
        SCallerMapping* m = &g_aCallerMappings[i];
        if (!p || m->pCaller != p || m->idCaller != idCaller) continue;
        dwResult = SimCoreRequest(kSimCoreMainDevice, dwCode, (const UINT8*)&m->pCore, nPointer,
                                  NULL, 0, &nIgnored);
        UnmapFromCaller(m->idCaller, m->pBase);
        memset(m, 0, sizeof *m);
        return StatusOf(dwResult);
      }
      return STATUS_INVALID_PARAMETER;
    }
    case 0x222804u: { /* allocate a shared buffer */
      ULONG_PTR pCore;
      SShared* b = NULL;
      g_bAllocShared = TRUE;
      dwResult = SimCoreRequest(kSimCoreMainDevice, dwCode, pIn, nIn, pOut, nOut, pnReturned);
      g_bAllocShared = FALSE;
      if (dwResult != kSimOk) return StatusOf(dwResult);
      pCore = GetPointerAt(pOut);
      for (i = 0; i < kMaxShared && !b; ++i)
        if (g_aShared[i].hSection && (ULONG_PTR)g_aShared[i].pView == pCore) b = &g_aShared[i];
      if (b) b->pCaller = MapIntoCaller(b->hSection, idCaller, PAGE_READWRITE);
      if (!b || !b->pCaller) {
        SimCoreRequest(kSimCoreMainDevice, 0x222808u, (const UINT8*)&pCore, nPointer, NULL, 0,
                       &nIgnored);
        *pnReturned = 0;
        return STATUS_INSUFFICIENT_RESOURCES;
      }
      b->idCaller = idCaller;
      memcpy(pOut, &b->pCaller, nPointer); /* the id after it stays as the core gave it */
      return STATUS_SUCCESS;
    }
    case 0x222808u: { /* free a shared buffer */
      ULONG_PTR p, pCore, pCaller;
      SShared* b;
      if (nIn < nPointer) return STATUS_INVALID_PARAMETER;
      p = GetPointerAt(pIn);
      b = p ? CallerBuffer(idCaller, p, 0) : NULL;
      if (!b || b->pCaller != p) return STATUS_INVALID_PARAMETER;
      pCore = (ULONG_PTR)b->pView;
      pCaller = b->pCaller;
      /* The core ends mappings into the buffer with it; so do the views. */
      for (i = 0; i < kMaxCallerMappings; ++i) {
        SCallerMapping* m = &g_aCallerMappings[i];
        if (m->pCaller && m->pCore - pCore < b->nBytes) {
          UnmapFromCaller(m->idCaller, m->pBase);
          memset(m, 0, sizeof *m);
        }
      }
      UnmapFromCaller(b->idCaller, pCaller);
      b->pCaller = 0;
      /* The core frees its view through HostFree, which ends the section. */
      return StatusOf(SimCoreRequest(kSimCoreMainDevice, dwCode, (const UINT8*)&pCore, nPointer,
                                     NULL, 0, pnReturned));
    }
    case 0x222818u: { /* copy: {destination, source, length}, pointer-sized */
      ULONG_PTR a[3];
      SShared *pDst, *pSrc;
      if (nIn < sizeof a) return STATUS_INVALID_PARAMETER;
      memcpy(a, pIn, sizeof a);
      pDst = CallerBuffer(idCaller, a[0], a[2]);
      pSrc = CallerBuffer(idCaller, a[1], a[2]);
      if (!pDst && !pSrc) return STATUS_INVALID_PARAMETER;
      if (!pDst)
        return CopyWithCaller(idCaller, FALSE, pSrc->pView + (a[1] - pSrc->pCaller), a[0], a[2]);
      if (!pSrc)
        return CopyWithCaller(idCaller, TRUE, pDst->pView + (a[0] - pDst->pCaller), a[1], a[2]);
      a[0] = a[0] - pDst->pCaller + (ULONG_PTR)pDst->pView;
      a[1] = a[1] - pSrc->pCaller + (ULONG_PTR)pSrc->pView;
      return StatusOf(SimCoreRequest(kSimCoreMainDevice, dwCode, (const UINT8*)a, sizeof a, pOut,
                                     nOut, pnReturned));
    }
    default:
      return StatusOf(SimCoreRequest(kSimCoreMainDevice, dwCode, pIn, nIn, pOut, nOut, pnReturned));
  }
}
#endif

/* A path assembled in a pool buffer. */
typedef struct SPath {
  WCHAR* psz;
  ULONG nChars;
} SPath;

static BOOLEAN Append(SPath* p, const WCHAR* psz, ULONG nChars) {
  if (p->nChars + nChars >= kMaxPath) return FALSE;
  memcpy(p->psz + p->nChars, psz, nChars * sizeof(WCHAR));
  p->nChars += nChars;
  p->psz[p->nChars] = 0;
  return TRUE;
}

static ULONG Length(const WCHAR* psz) {
  ULONG n = 0;
  while (psz[n]) ++n;
  return n;
}

/* A registry or user path made into an NT path. */
static BOOLEAN SetNtPath(SPath* p, const WCHAR* psz, ULONG nChars) {
  p->nChars = 0;
  p->psz[0] = 0;
  while (nChars && psz[nChars - 1] == 0) --nChars;
  if (nChars >= 2 && psz[1] == L':') return Append(p, L"\\??\\", 4) && Append(p, psz, nChars);
  if (nChars >= 1 && psz[0] == L'\\') return Append(p, psz, nChars);
  return Append(p, L"\\SystemRoot\\", 12) && Append(p, psz, nChars);
}

/* A REG_SZ or REG_EXPAND_SZ value of an open key into *p. */
static BOOLEAN QueryPath(HANDLE hKey, const WCHAR* pszName, SPath* p) {
  ULONG nBuffer = sizeof(KEY_VALUE_PARTIAL_INFORMATION) + kMaxPath * sizeof(WCHAR);
  KEY_VALUE_PARTIAL_INFORMATION* pInfo = HostAlloc(NULL, nBuffer);
  UNICODE_STRING name;
  ULONG nResult = 0;
  BOOLEAN bOk;
  if (!pInfo) return FALSE;
  RtlInitUnicodeString(&name, pszName);
  bOk = NT_SUCCESS(
            ZwQueryValueKey(hKey, &name, KeyValuePartialInformation, pInfo, nBuffer, &nResult)) &&
        (pInfo->Type == REG_SZ || pInfo->Type == REG_EXPAND_SZ) &&
        SetNtPath(p, (const WCHAR*)pInfo->Data, pInfo->DataLength / sizeof(WCHAR));
  HostFree(NULL, pInfo);
  return bOk;
}

static HANDLE OpenKey(HANDLE hRoot, PUNICODE_STRING pName) {
  OBJECT_ATTRIBUTES oa;
  HANDLE h = NULL;
  InitializeObjectAttributes(&oa, pName, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, hRoot, NULL);
  return NT_SUCCESS(ZwOpenKey(&h, KEY_READ, &oa)) ? h : NULL;
}

/* Candidate n (0..2) of the state file path; FALSE when it does not apply. */
static BOOLEAN CandidatePath(PUNICODE_STRING pRegistryPath, int n, SPath* p) {
  HANDLE hService, hParameters;
  UNICODE_STRING sub;
  BOOLEAN bOk = FALSE;
  if (n == 2) {
    p->nChars = 0;
    return Append(p, L"\\SystemRoot\\System32\\drivers\\", 30) &&
           Append(p, SIM_NAME, Length(SIM_NAME)) && Append(p, L".state", 6);
  }
  hService = OpenKey(NULL, pRegistryPath);
  if (!hService) return FALSE;
  if (n == 0) {
    RtlInitUnicodeString(&sub, L"Parameters");
    hParameters = OpenKey(hService, &sub);
    if (hParameters) {
      bOk = QueryPath(hParameters, L"StateFile", p);
      ZwClose(hParameters);
    }
  } else if (QueryPath(hService, L"ImagePath", p) && p->nChars > 4) {
    /* "...\WinFlash.sys" -> "...\WinFlash.state" */
    p->nChars -= 4;
    bOk = Append(p, L".state", 6);
  }
  ZwClose(hService);
  return bOk;
}

static HANDLE OpenStateFile(const SPath* pPath, BOOLEAN bCreate) {
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES oa;
  IO_STATUS_BLOCK iosb;
  HANDLE h = NULL;
  NTSTATUS status;
  name.Buffer = pPath->psz;
  name.Length = (USHORT)(pPath->nChars * sizeof(WCHAR));
  name.MaximumLength = name.Length;
  InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  status = ZwCreateFile(&h, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &oa, &iosb, NULL,
                        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        bCreate ? FILE_OVERWRITE_IF : FILE_OPEN,
                        FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
  return NT_SUCCESS(status) ? h : NULL;
}

/* Reads the whole state file into the core. */
static BOOLEAN RestoreFrom(HANDLE h) {
  IO_STATUS_BLOCK iosb;
  FILE_STANDARD_INFORMATION info;
  LARGE_INTEGER offset;
  ULONG nBytes;
  UINT8* pBlob;
  BOOLEAN bOk;
  if (!NT_SUCCESS(ZwQueryInformationFile(h, &iosb, &info, sizeof info, FileStandardInformation)) ||
      info.EndOfFile.QuadPart <= 0 || info.EndOfFile.QuadPart > (32 << 20))
    return FALSE;
  nBytes = (ULONG)info.EndOfFile.QuadPart;
  pBlob = HostAlloc(NULL, nBytes);
  if (!pBlob) return FALSE;
  offset.QuadPart = 0;
  bOk = NT_SUCCESS(ZwReadFile(h, NULL, NULL, NULL, &iosb, pBlob, nBytes, &offset, NULL)) &&
        iosb.Information == nBytes && SimCoreRestore(pBlob, nBytes);
  HostFree(NULL, pBlob);
  return bOk;
}

static NTSTATUS LoadState(PUNICODE_STRING pRegistryPath) {
  SPath path;
  NTSTATUS status = STATUS_OBJECT_NAME_NOT_FOUND;
  int n, nFirst = 1;
  HANDLE h;
  path.psz = HostAlloc(NULL, (kMaxPath + 1) * sizeof(WCHAR));
  path.nChars = 0;
  if (!path.psz) return STATUS_INSUFFICIENT_RESOURCES;
  /* A state file named in the service's parameters is the only one used. */
  if (CandidatePath(pRegistryPath, 0, &path)) nFirst = 0;
  for (n = nFirst; n < (nFirst == 0 ? 1 : 3) && status != STATUS_SUCCESS; ++n) {
    if (!CandidatePath(pRegistryPath, n, &path)) continue;
    h = OpenStateFile(&path, FALSE);
    if (h && RestoreFrom(h)) {
      g_hState = h;
      status = STATUS_SUCCESS;
    } else if (h) {
      ZwClose(h);
    }
  }
#if defined(SIM_DRIVER_MIREL)
  /* No controller yet: a factory-default one, saved at the first place
     that takes a new file. */
  for (n = nFirst; n < (nFirst == 0 ? 1 : 3) && status != STATUS_SUCCESS; ++n) {
    if (!CandidatePath(pRegistryPath, n, &path)) continue;
    g_hState = OpenStateFile(&path, TRUE);
    if (!g_hState) continue;
    status = SimCoreCreateDefault() ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
  }
#endif
  HostFree(NULL, path.psz);
  return status;
}

static NTSTATUS StatusOf(uint32_t dwResult) {
  switch (dwResult) {
    case kSimOk:
      return STATUS_SUCCESS;
    case kSimInvalidRequest:
      return STATUS_INVALID_DEVICE_REQUEST; /* ERROR_INVALID_FUNCTION */
    case kSimInvalidParameter:
      return STATUS_INVALID_PARAMETER; /* ERROR_INVALID_PARAMETER */
    case kSimBufferTooSmall:
      return STATUS_BUFFER_TOO_SMALL; /* ERROR_INSUFFICIENT_BUFFER */
    default:
      return STATUS_UNSUCCESSFUL; /* ERROR_GEN_FAILURE: the device does not answer */
  }
}

#endif

static NTSTATUS Complete(PIRP pIrp, NTSTATUS status, ULONG_PTR nInformation) {
  pIrp->IoStatus.Status = status;
  pIrp->IoStatus.Information = nInformation;
  IoCompleteRequest(pIrp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT pDevice, PIRP pIrp) {
  (void)pDevice;
  return Complete(pIrp, STATUS_SUCCESS, 0);
}

#if defined(SIM_RELAY_ONLY)
/* HwIOctl reaches the board through Memctl, which owns it: SMI transfers
   read and write Memctl's shared buffers, and there is one CMOS. Wine hosts
   each driver service without a load order group in a winedevice.exe of
   its own, so the two drivers share no memory; the request travels as a
   relayed request through a handle on "\Device\Memctl", opened at the first
   request and again after Memctl was restarted. */
static HANDLE g_hMemctl = NULL;

static HANDLE OpenMemctl(void) {
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES oa;
  IO_STATUS_BLOCK iosb;
  HANDLE h = NULL;
  RtlInitUnicodeString(&name, L"\\Device\\Memctl");
  InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  return NT_SUCCESS(ZwCreateFile(&h, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &oa, &iosb, NULL,
                                 FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0))
             ? h
             : NULL;
}

/* g_pInput holds the code and the caller's input (nIn bytes after it). */
static NTSTATUS Relay(ULONG nIn, void* pOut, ULONG nOut, ULONG_PTR* pnReturned) {
  IO_STATUS_BLOCK iosb;
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  int nTry;
  *pnReturned = 0;
  for (nTry = 0; nTry < 2; ++nTry) {
    if (!g_hMemctl) g_hMemctl = OpenMemctl();
    /* Memctl not running: the device does not answer. */
    if (!g_hMemctl) return STATUS_UNSUCCESSFUL;
    iosb.Status = STATUS_UNSUCCESSFUL;
    iosb.Information = 0;
    status = ZwDeviceIoControlFile(g_hMemctl, NULL, NULL, NULL, &iosb, kRelayCode, g_pInput,
                                   nIn + 4, pOut, nOut);
    if (status != STATUS_INVALID_HANDLE && status != STATUS_FILE_CLOSED &&
        status != STATUS_NO_SUCH_DEVICE && status != STATUS_DEVICE_DOES_NOT_EXIST &&
        status != STATUS_OBJECT_NAME_NOT_FOUND)
      break;
    /* Memctl was stopped (and maybe started again) since the handle was
       opened. */
    ZwClose(g_hMemctl);
    g_hMemctl = NULL;
  }
  if (NT_SUCCESS(status)) *pnReturned = iosb.Information <= nOut ? iosb.Information : 0;
  return status;
}
#endif

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT pDevice, PIRP pIrp) {
  PIO_STACK_LOCATION pStack = IoGetCurrentIrpStackLocation(pIrp);
  ULONG dwCode = pStack->Parameters.DeviceIoControl.IoControlCode;
  ULONG nIn = pStack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG nOut = pStack->Parameters.DeviceIoControl.OutputBufferLength;
  void* pBuffer = pIrp->AssociatedIrp.SystemBuffer;
  NTSTATUS status;
#if defined(SIM_RELAY_ONLY)
  ULONG_PTR nReturned = 0;
#else
  uint32_t nReturned = 0;
#endif
  (void)pDevice;
#if defined(SIM_RELAY_ONLY)
  /* The relayed request carries the code before the input. */
  if (nIn > kMaxInput - 4 || (nIn && !pBuffer)) return Complete(pIrp, STATUS_INVALID_PARAMETER, 0);
#else
  if (nIn > kMaxInput || (nIn && !pBuffer)) return Complete(pIrp, STATUS_INVALID_PARAMETER, 0);
#endif
  if (!pBuffer) nOut = 0;
  KeWaitForSingleObject(&g_Mutex, Executive, KernelMode, FALSE, NULL);
  /* Buffered requests share one buffer for input and output; the core
     reads its input from a copy so that a reply never overwrites it. */
#if defined(SIM_RELAY_ONLY)
  memcpy(g_pInput, &dwCode, 4);
  if (nIn) memcpy(g_pInput + 4, pBuffer, nIn);
  status = Relay(nIn, nOut ? pBuffer : NULL, nOut, &nReturned);
#else
  if (nIn) memcpy(g_pInput, pBuffer, nIn);
#if defined(SIM_DRIVER_AMI_MEMCTL)
  if (dwCode == (ULONG)kRelayCode) {
    /* A request the HwIOctl driver relays: the caller's code first. */
    ULONG dwRelayed = 0;
    if (nIn < 4) {
      status = STATUS_INVALID_PARAMETER;
    } else {
      memcpy(&dwRelayed, g_pInput, 4);
      status = StatusOf(SimCoreRequest(kSimCoreHwIoctl, dwRelayed, nIn > 4 ? g_pInput + 4 : NULL,
                                       nIn - 4, nOut ? pBuffer : NULL, nOut, &nReturned));
    }
  } else {
    status = MemctlRequest(PsGetCurrentProcessId(), dwCode, nIn ? g_pInput : NULL, nIn,
                           nOut ? pBuffer : NULL, nOut, &nReturned);
  }
#else
  status = StatusOf(SimCoreRequest(kSimCoreMainDevice, dwCode, nIn ? g_pInput : NULL, nIn,
                                   nOut ? pBuffer : NULL, nOut, &nReturned));
#endif
#endif
  KeReleaseMutex(&g_Mutex, FALSE);
  return Complete(pIrp, status, NT_SUCCESS(status) ? nReturned : 0);
}

static VOID NTAPI DriverUnload(PDRIVER_OBJECT pDriver) {
  (void)pDriver;
  IoDeleteSymbolicLink(&g_LinkName);
  if (g_pDevice) IoDeleteDevice(g_pDevice);
#if defined(SIM_RELAY_ONLY)
  if (g_hMemctl) ZwClose(g_hMemctl);
  g_hMemctl = NULL;
#else
  SimCoreDestroy();
#if defined(SIM_DRIVER_AMI_MEMCTL)
  DestroyShared(&g_Segment);
#endif
  if (g_hState) ZwClose(g_hState);
#endif
  HostFree(NULL, g_pInput);
  g_hState = NULL;
  g_pDevice = NULL;
  g_pInput = NULL;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT pDriver, PUNICODE_STRING pRegistryPath) {
  UNICODE_STRING deviceName;
  NTSTATUS status;
  KeInitializeMutex(&g_Mutex, 0);
  g_pInput = HostAlloc(NULL, kMaxInput);
  if (!g_pInput) return STATUS_INSUFFICIENT_RESOURCES;
#if defined(SIM_RELAY_ONLY)
  (void)pRegistryPath;
#else
  {
    static const SSimDriverHost host = {HostAlloc, HostFree, HostWritten};
    SimCoreInit(&host);
  }
  status = LoadState(pRegistryPath);
  if (!NT_SUCCESS(status)) return status;
#if defined(SIM_DRIVER_AMI_MEMCTL)
  if (!CreateSegment()) return STATUS_INSUFFICIENT_RESOURCES;
  FindCallerMemoryAccess();
#endif
#endif

  RtlInitUnicodeString(&deviceName, L"\\Device\\" SIM_NAME);
  RtlInitUnicodeString(&g_LinkName, L"\\DosDevices\\" SIM_NAME);
  status = IoCreateDevice(pDriver, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_pDevice);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&g_LinkName, &deviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(g_pDevice);
    g_pDevice = NULL;
    return status;
  }
  pDriver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  pDriver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  pDriver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  pDriver->DriverUnload = DriverUnload;
  return STATUS_SUCCESS;
}
