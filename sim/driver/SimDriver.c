/* Kernel driver hosting one simulation core: built twice, as WinFlash.sys
   (SIM_DRIVER_AWARD: the Award board, "\\.\WinFlash") and as Mirel.sys
   (SIM_DRIVER_MIREL: the Mirel controller, "\\.\Mirel"). It imports only
   ntoskrnl (Wine starts a driver importing anything else as a plain DLL).

   Where the driver finds its state file:
     1. the REG_SZ value "StateFile" of the service key's "Parameters"
        subkey (a DOS path "Z:\...\demo.state" or an NT path "\??\...");
        when it is set, no other place is looked at;
     otherwise the first of these that exists:
     2. the driver's own image path with ".sys" replaced by ".state" (a
        harness puts "WinFlash.state" beside the "WinFlash.sys" it installs);
     3. "\SystemRoot\System32\drivers\<WinFlash|Mirel>.state".
   The Award driver needs an existing state file (simtool state makes one);
   without one it does not start. The Mirel driver starts a factory-default
   controller when none exists and creates the file at the first place above
   that it can.

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
#else
#error "SIM_DRIVER_AWARD or SIM_DRIVER_MIREL"
#endif

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

static void* HostAlloc(void* pContext, size_t nBytes) {
  void* p = ExAllocatePoolWithTag(NonPagedPool, nBytes ? nBytes : 1, kTag);
  (void)pContext;
  if (p) memset(p, 0, nBytes);
  return p;
}

static void HostFree(void* pContext, void* p) {
  (void)pContext;
  if (p) ExFreePool(p);
}

static void HostWritten(void* pContext, const uint8_t* pBlob, uint32_t dwOffset, uint32_t nBytes) {
  IO_STATUS_BLOCK iosb;
  LARGE_INTEGER offset;
  (void)pContext;
  if (!g_hState) return;
  offset.QuadPart = dwOffset;
  ZwWriteFile(g_hState, NULL, NULL, NULL, &iosb, (PVOID)(pBlob + dwOffset), nBytes, &offset, NULL);
}

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

static NTSTATUS Complete(PIRP pIrp, NTSTATUS status, ULONG_PTR nInformation) {
  pIrp->IoStatus.Status = status;
  pIrp->IoStatus.Information = nInformation;
  IoCompleteRequest(pIrp, IO_NO_INCREMENT);
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

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT pDevice, PIRP pIrp) {
  (void)pDevice;
  return Complete(pIrp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT pDevice, PIRP pIrp) {
  PIO_STACK_LOCATION pStack = IoGetCurrentIrpStackLocation(pIrp);
  ULONG dwCode = pStack->Parameters.DeviceIoControl.IoControlCode;
  ULONG nIn = pStack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG nOut = pStack->Parameters.DeviceIoControl.OutputBufferLength;
  void* pBuffer = pIrp->AssociatedIrp.SystemBuffer;
  uint32_t nReturned = 0, dwResult;
  NTSTATUS status;
  (void)pDevice;
  if (nIn > kMaxInput) return Complete(pIrp, STATUS_INVALID_PARAMETER, 0);
  KeWaitForSingleObject(&g_Mutex, Executive, KernelMode, FALSE, NULL);
  /* Buffered requests share one buffer for input and output; the core
     reads its input from a copy so that a reply never overwrites it. */
  if (nIn && pBuffer) memcpy(g_pInput, pBuffer, nIn);
  dwResult =
      SimCoreRequest(dwCode, nIn ? g_pInput : NULL, nIn, nOut ? pBuffer : NULL, nOut, &nReturned);
  KeReleaseMutex(&g_Mutex, FALSE);
  status = StatusOf(dwResult);
  return Complete(pIrp, status, NT_SUCCESS(status) ? nReturned : 0);
}

static VOID NTAPI DriverUnload(PDRIVER_OBJECT pDriver) {
  (void)pDriver;
  IoDeleteSymbolicLink(&g_LinkName);
  if (g_pDevice) IoDeleteDevice(g_pDevice);
  SimCoreDestroy();
  if (g_hState) ZwClose(g_hState);
  HostFree(NULL, g_pInput);
  g_hState = NULL;
  g_pDevice = NULL;
  g_pInput = NULL;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT pDriver, PUNICODE_STRING pRegistryPath) {
  static const SSimDriverHost host = {HostAlloc, HostFree, HostWritten};
  UNICODE_STRING deviceName;
  NTSTATUS status;
  SimCoreInit(&host);
  KeInitializeMutex(&g_Mutex, 0);
  g_pInput = HostAlloc(NULL, kMaxInput);
  if (!g_pInput) return STATUS_INSUFFICIENT_RESOURCES;
  status = LoadState(pRegistryPath);
  if (!NT_SUCCESS(status)) return status;

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
