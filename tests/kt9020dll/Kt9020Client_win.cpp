// A foreign caller of KT9020DLL: loads the library by name from its own
// folder and binds every export with GetProcAddress, as a host program
// does. The DLL tests start it in several processes at once.
//   kt9020_client exports        names, ordinals, version, a refused command
//   kt9020_client loopback       round trips through the loopback device
//   kt9020_client load           exit 3 when the library loaded, 100 when not
//   kt9020_client rs232 TAG N    SetRS232Flag(N), signal TAG ready, wait for TAG go
//   kt9020_client read-rs232     exit code = IsRS232Processing()
//   kt9020_client hold TAG       own "KT9020_MUTEX", signal ready, release on go
//   kt9020_client stay TAG       signal ready, on go GetAIP(0x11) and exit with its result
//   kt9020_client getaip         exit code = GetAIP(0x11, 0x10, 0, buffer)
//   kt9020_client mirel          round trips through the simulated controller driver
//   kt9020_client hammer N K     N counter increments under the mutex and N
//                                block write/read pairs of writer K; exit 1000 +
//                                torn reads when any block read mixed two writes
//   kt9020_client read32 ADDR    exit code = u32 at controller address ADDR
//   kt9020_client bench TAG MS   after TAG go: GetAIP(0x11) for MS ms; exit = count
//   kt9020_client soak TAG ROLE SEED FIRST END HOLD
//                                iterations FIRST..END-1 of soak role ROLE
//                                (Kt9020Soak.h), progress in TAG's shared
//                                memory; at iteration HOLD (-1: none) it parks
//                                holding the mutex for the test to kill it.
//                                Exit 0, or 1000 + errors
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Only the names and function types: every export is bound at run time.
#include "kt9020dll/KT9020DLL.h"
#include "tests/kt9020dll/Kt9020Soak.h"

namespace {

// The export list of the public header, in its order (ordinals 1, 2, ...).
struct SExport {
  const char* pszName;
  int nOrdinal;
};
#define KT9020_EXPORT_ROW(name, ordinal, result, parameters) {#name, ordinal},
const SExport g_aExports[] = {KT9020_EXPORTS(KT9020_EXPORT_ROW)};
#undef KT9020_EXPORT_ROW
constexpr int kExports = sizeof(g_aExports) / sizeof(g_aExports[0]);

HMODULE g_hLibrary = nullptr;

template <typename T>
T Bind(const char* pszName) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(g_hLibrary, pszName)));
}
// An export by its name, typed by the public header.
#define KT9020_BIND(name) Bind<KT9020_PFN_##name>(#name)

int Failed(int nCode, const char* pszWhat) {
  std::printf("kt9020_client: %s\n", pszWhat);
  return nCode;
}

HANDLE Event(const char* pszTag, const char* pszWhich) {
  char szName[128];
  std::snprintf(szName, sizeof(szName), "kt9020_test_%s_%s", pszTag, pszWhich);
  return CreateEventA(nullptr, TRUE, FALSE, szName);
}

int CheckExports() {
  for (int i = 0; i < kExports; ++i) {
    FARPROC pByName = GetProcAddress(g_hLibrary, g_aExports[i].pszName);
    FARPROC pByOrdinal = GetProcAddress(g_hLibrary, MAKEINTRESOURCEA(g_aExports[i].nOrdinal));
    if (!pByName || pByName != pByOrdinal) return Failed(10 + i, g_aExports[i].pszName);
  }
  if (GetProcAddress(g_hLibrary, MAKEINTRESOURCEA(kExports + 1)))
    return Failed(30, "an export beyond the list");
  char szVersion[32];
  std::memset(szVersion, 0xCC, sizeof(szVersion));
  KT9020_BIND(GetDllVersion)(szVersion);
  if (std::memcmp(szVersion, "V1.0 2004/--/--", 16) != 0 ||
      static_cast<uint8_t>(szVersion[16]) != 0xCC)
    return Failed(31, "GetDllVersion is not exactly 16 bytes");
  if (KT9020_BIND(IsStart)() != 1) return Failed(32, "IsStart");
  if (KT9020_BIND(GetInterruptCount)() != 0) return Failed(33, "GetInterruptCount");
  uint8_t aby[8] = {};
  if (KT9020_BIND(GetAIP)(0x19, 0, 0, aby) != 0) return Failed(34, "GetAIP(0x19) answered");
  return 0;
}

int CheckLoopback() {
  KT9020_PFN_GetAIP pGetAip = KT9020_BIND(GetAIP);
  KT9020_PFN_SetAIP pSetAip = KT9020_BIND(SetAIP);
  const uint8_t abyWord[2] = {0x12, 0x34};
  uint8_t aby[16] = {};
  if (pSetAip(0x22, 0x0120, 0, abyWord) != 1) return Failed(40, "SetAIP(0x22)");
  if (pGetAip(0x12, 0x0120, 0, aby) != 2 || aby[0] != 0x12 || aby[1] != 0x34)
    return Failed(41, "GetAIP(0x12) round trip");
  const uint8_t abyBlock[5] = {5, 4, 3, 2, 1};
  std::memset(aby, 0xCC, sizeof(aby));
  if (pSetAip(0x2A, 0x0200, 5, abyBlock) != 1) return Failed(42, "SetAIP(0x2A)");
  if (pGetAip(0x1A, 0x0200, 5, aby) != 5 || std::memcmp(aby, abyBlock, 5) != 0 || aby[5] != 0xCC)
    return Failed(43, "block round trip");
  if (KT9020_BIND(IsKT9020Exist)() != 1) return Failed(44, "IsKT9020Exist");
  if (KT9020_BIND(ReadMSR)(0x1234) != 0x0000123400001234ull) return Failed(45, "ReadMSR");
  int nValue = 0;
  if (KT9020_BIND(ReadPortVal)(0x2E, &nValue, 2) != 1 || nValue != 0xA5A5)
    return Failed(46, "ReadPortVal");
  uint8_t by = 0;
  if (KT9020_BIND(InPortB)(0x80, &by) != 1 || by != 0xA5) return Failed(47, "InPortB");
  if (KT9020_BIND(ReadCommand)() != 0xA5) return Failed(48, "ReadCommand");
  return 0;
}

// The simulated controller: profile 3's clock record (51 bytes at 0x036F
// while profile 3 is selected by a write to 0x100B) is stored by writing 3
// to 0x100C and comes back after another profile was selected.
int CheckMirel() {
  KT9020_PFN_GetAIP pGetAip = KT9020_BIND(GetAIP);
  KT9020_PFN_SetAIP pSetAip = KT9020_BIND(SetAIP);
  if (KT9020_BIND(IsKT9020Exist)() != 1) return Failed(60, "IsKT9020Exist");
  uint8_t abyClock[51], aby[64];
  for (int i = 0; i < 51; ++i) abyClock[i] = static_cast<uint8_t>(0x40 + i);
  const uint8_t byThree = 3, byFour = 4;
  if (pSetAip(0x21, 0x100B, 0, &byThree) != 1 || pSetAip(0x2A, 0x036F, 51, abyClock) != 1 ||
      pSetAip(0x21, 0x100C, 0, &byThree) != 1)
    return Failed(61, "writing profile 3's clock record");
  if (pSetAip(0x21, 0x100B, 0, &byFour) != 1 || pGetAip(0x1A, 0x036F, 51, aby) != 51 ||
      std::memcmp(aby, abyClock, 51) == 0)
    return Failed(62, "profile 4 shows profile 3's record");
  std::memset(aby, 0xCC, sizeof(aby));
  if (pSetAip(0x21, 0x100B, 0, &byThree) != 1 || pGetAip(0x1A, 0x036F, 51, aby) != 51 ||
      std::memcmp(aby, abyClock, 51) != 0 || aby[51] != 0xCC)
    return Failed(63, "profile 3's clock record did not come back");
  if (KT9020_BIND(ReadMSR)(0x198) != 0x0613000006000613ull) return Failed(64, "ReadMSR");
  int nValue = 0;
  if (KT9020_BIND(WritePortVal)(0x2E, 0x1234, 2) != 1 ||
      KT9020_BIND(ReadPortVal)(0x2E, &nValue, 2) != 1 || nValue != 0x1234)
    return Failed(65, "port round trip");
  return 0;
}

uint32_t Read32(int nAddress) {
  uint8_t aby[4] = {};
  KT9020_BIND(GetAIP)(0x14, nAddress, 0, aby);
  return aby[0] | aby[1] << 8 | aby[2] << 16 | static_cast<uint32_t>(aby[3]) << 24;
}

// Addresses of the hammer test in free controller memory.
constexpr int kCounterAddress = 0x2000;
constexpr int kBlockAddress = 0x2100;
constexpr int kBlockBytes = 32;

int Hammer(int nCount, int nWriter) {
  KT9020_PFN_GetAIP pGetAip = KT9020_BIND(GetAIP);
  KT9020_PFN_SetAIP pSetAip = KT9020_BIND(SetAIP);
  // A caller that needs several commands in one piece holds the library's
  // mutex around them; the library's own waits nest inside.
  HANDLE hMutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "KT9020_MUTEX");
  if (!hMutex) return Failed(70, "no KT9020_MUTEX");
  int nTorn = 0;
  for (int i = 0; i < nCount; ++i) {
    WaitForSingleObject(hMutex, INFINITE);
    uint32_t dw = Read32(kCounterAddress) + 1;
    const uint8_t abyCounter[4] = {static_cast<uint8_t>(dw), static_cast<uint8_t>(dw >> 8),
                                   static_cast<uint8_t>(dw >> 16), static_cast<uint8_t>(dw >> 24)};
    pSetAip(0x24, kCounterAddress, 0, abyCounter);
    ReleaseMutex(hMutex);
    // One block command is one piece by itself: every read shows one write.
    uint8_t abyBlock[kBlockBytes];
    std::memset(abyBlock, (nWriter << 5) | (i & 0x1F), sizeof(abyBlock));
    pSetAip(0x2A, kBlockAddress, kBlockBytes, abyBlock);
    uint8_t abyRead[kBlockBytes] = {};
    if (pGetAip(0x1A, kBlockAddress, kBlockBytes, abyRead) != kBlockBytes) ++nTorn;
    for (int j = 1; j < kBlockBytes; ++j)
      if (abyRead[j] != abyRead[0]) {
        ++nTorn;
        break;
      }
  }
  CloseHandle(hMutex);
  return nTorn ? 1000 + nTorn : 0;
}

uint32_t GetU32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// One soak role's run: see Kt9020Soak.h for what each iteration does.
class CSoak {
 public:
  CSoak(SSoakRole* pRole, int nRole, uint32_t dwSeed)
      : m_pRole(pRole), m_nRole(nRole), m_dwSeed(dwSeed) {
    m_pGetAip = KT9020_BIND(GetAIP);
    m_pSetAip = KT9020_BIND(SetAIP);
  }

  // Iterations nFirst..nEnd-1; at nHold, parks holding the mutex after
  // signalling hHeld. The result is the process's exit code.
  int Run(uint32_t nFirst, uint32_t nEnd, uint32_t nHold, HANDLE hHeld) {
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "KT9020_MUTEX");
    if (!hMutex) return Failed(80, "no KT9020_MUTEX");
    // What the shared reads compare with: the board code and the selected
    // profile's clock record, which nobody changes during the soak.
    if (GetAip(0x1A, kClockRecord, kClockBytes, m_abyClock) != kClockBytes ||
        GetAip(0x12, kBoardCode, 0, m_abyBoard) != 2)
      return Failed(81, "first reads");
    for (uint32_t i = nFirst; i < nEnd; ++i) {
      const bool bPiece = i == nHold || SoakMix(m_dwSeed, m_nRole, i, 1) % 8 == 0;
      if (bPiece) Acquire(hMutex);
      WriteAndReadBack(i);
      if (i == nHold) {
        // Killed here by the test, the library's mutex owned: its next
        // waiter finds it abandoned.
        SetEvent(hHeld);
        WaitForSingleObject(GetCurrentProcess(), 60000);
        return Failed(7, "not killed while holding the mutex");
      }
      if (bPiece) ReleaseMutex(hMutex);
      SharedRead(i);
    }
    CloseHandle(hMutex);
    return m_pRole->nErrors ? 1000 + m_pRole->nErrors : 0;
  }

 private:
  static constexpr int kClockRecord = 0x036F, kClockBytes = 51, kBoardCode = 0x090A;

  void Acquire(HANDLE hMutex) {
    // An owner that was killed leaves the mutex abandoned: it is ours then.
    const DWORD dwWait = WaitForSingleObject(hMutex, 60000);
    if (dwWait == WAIT_ABANDONED) InterlockedIncrement(Counter(&m_pRole->nAbandoned));
    if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED) Error("own wait for the mutex");
  }
  static volatile LONG* Counter(volatile int32_t* p) { return reinterpret_cast<volatile LONG*>(p); }
  void Error(const char* pszWhat) {
    InterlockedIncrement(Counter(&m_pRole->nErrors));
    std::printf("kt9020_client soak role %d: %s\n", m_nRole, pszWhat);
  }
  void Done() { InterlockedIncrement(Counter(&m_pRole->nTransactions)); }
  // The exports, with the mark the test reads when it kills the process.
  int GetAip(int nCommand, int nAddress, int nCount, void* pDst) {
    m_pRole->nInCall = 1;
    const int nResult = m_pGetAip(nCommand, nAddress, nCount, pDst);
    m_pRole->nInCall = 0;
    return nResult;
  }
  int SetAip(int nCommand, int nAddress, int nCount, const void* pData) {
    m_pRole->nInCall = 1;
    const int nResult = m_pSetAip(nCommand, nAddress, nCount, pData);
    m_pRole->nInCall = 0;
    return nResult;
  }

  void WriteAndReadBack(uint32_t i) {
    const uint32_t nSlot = i % kSoakSlots;
    const int nAddress = static_cast<int>(SoakSlotAddress(m_nRole, nSlot));
    const uint32_t dwValue = SoakValue(m_nRole, i), dwCheck = ~dwValue;
    uint8_t abyPair[8];
    for (int b = 0; b < 4; ++b) {
      abyPair[b] = static_cast<uint8_t>(dwValue >> (8 * b));
      abyPair[4 + b] = static_cast<uint8_t>(dwCheck >> (8 * b));
    }
    const uint32_t dwChoice = SoakMix(m_dwSeed, m_nRole, i, 2);
    const bool bBlockWrite = dwChoice & 1, bBlockRead = dwChoice & 2;
    if (SetAip(bBlockWrite ? 0x2A : 0x28, nAddress, bBlockWrite ? 8 : 0, abyPair) != 1) {
      Error("write");
      return;
    }
    Done();
    InterlockedExchange(Counter(&m_pRole->nNext), static_cast<LONG>(i + 1));
    uint8_t abyRead[8] = {};
    if (GetAip(bBlockRead ? 0x1A : 0x18, nAddress, bBlockRead ? 8 : 0, abyRead) != 8) {
      Error("read-back");
      return;
    }
    Done();
    if (std::memcmp(abyRead, abyPair, 8) != 0) Error("read-back differs from the write");
  }

  void SharedRead(uint32_t i) {
    const uint32_t dwChoice = SoakMix(m_dwSeed, m_nRole, i, 3);
    uint8_t aby[64] = {};
    switch (dwChoice % 8) {
      case 0:
        if (GetAip(0x12, kBoardCode, 0, aby) != 2) return Error("board code read");
        Done();
        if (std::memcmp(aby, m_abyBoard, 2) != 0) Error("board code changed");
        return;
      case 1:
        if (GetAip(0x1A, kClockRecord, kClockBytes, aby) != kClockBytes)
          return Error("clock record read");
        Done();
        if (std::memcmp(aby, m_abyClock, kClockBytes) != 0) Error("clock record changed");
        return;
      default: {
        const int nOther =
            static_cast<int>((m_nRole + 1 + (dwChoice >> 3) % (kSoakRoles - 1)) % kSoakRoles);
        const uint32_t nSlot = (dwChoice >> 8) % kSoakSlots;
        if (GetAip(0x18, static_cast<int>(SoakSlotAddress(nOther, nSlot)), 0, aby) != 8)
          return Error("shared slot read");
        Done();
        if (!SoakPairValid(nOther, nSlot, GetU32(aby), GetU32(aby + 4)))
          Error("another role's slot holds no write of that role");
      }
    }
  }

  SSoakRole* m_pRole;
  int m_nRole;
  uint32_t m_dwSeed;
  KT9020_PFN_GetAIP m_pGetAip;
  KT9020_PFN_SetAIP m_pSetAip;
  uint8_t m_abyClock[kClockBytes] = {};
  uint8_t m_abyBoard[2] = {};
};

int Soak(int argc, char** argv) {
  if (argc < 8) return Failed(2, "soak TAG ROLE SEED FIRST END HOLD");
  const int nRole = std::atoi(argv[3]);
  if (nRole < 0 || nRole >= kSoakRoles) return Failed(2, "soak: role");
  char szName[128];
  std::snprintf(szName, sizeof(szName), "kt9020_soak_%s", argv[2]);
  HANDLE hMapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, szName);
  void* pView = hMapping ? MapViewOfFile(hMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
  if (!pView) return Failed(82, "no soak shared memory");
  std::snprintf(szName, sizeof(szName), "held%d", nRole);
  HANDLE hHeld = Event(argv[2], szName);
  SSoakShared* pShared = static_cast<SSoakShared*>(pView);
  CSoak soak(&pShared->aRoles[nRole], nRole, static_cast<uint32_t>(std::strtoul(argv[4], 0, 0)));
  const long nHold = std::atol(argv[7]);
  return soak.Run(static_cast<uint32_t>(std::atol(argv[5])),
                  static_cast<uint32_t>(std::atol(argv[6])),
                  nHold < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(nHold), hHeld);
}

int GetAip11() {
  uint8_t aby[8] = {};
  return KT9020_BIND(GetAIP)(0x11, 0x10, 0, aby);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Failed(2, "no mode");
  const char* pszMode = argv[1];
  const char* pszTag = argc > 2 ? argv[2] : "none";
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  g_hLibrary = LoadLibraryA("KT9020DLL.dll");
  if (!g_hLibrary) return Failed(100, "KT9020DLL.dll did not load");

  if (!std::strcmp(pszMode, "exports")) return CheckExports();
  if (!std::strcmp(pszMode, "loopback")) return CheckLoopback();
  if (!std::strcmp(pszMode, "load")) return 3;
  if (!std::strcmp(pszMode, "read-rs232")) return KT9020_BIND(IsRS232Processing)();
  if (!std::strcmp(pszMode, "getaip")) return GetAip11();
  if (!std::strcmp(pszMode, "mirel")) return CheckMirel();
  if (!std::strcmp(pszMode, "hammer"))
    return Hammer(argc > 2 ? std::atoi(argv[2]) : 1, argc > 3 ? std::atoi(argv[3]) : 0);
  if (!std::strcmp(pszMode, "soak")) return Soak(argc, argv);
  if (!std::strcmp(pszMode, "read32"))
    return static_cast<int>(Read32(argc > 2 ? std::strtol(argv[2], nullptr, 0) : 0));
  HANDLE hReady = Event(pszTag, "ready");
  HANDLE hGo = Event(pszTag, "go");
  if (!std::strcmp(pszMode, "rs232")) {
    KT9020_BIND(SetRS232Flag)(argc > 3 ? std::atoi(argv[3]) : 0);
    SetEvent(hReady);
    WaitForSingleObject(hGo, 60000);
    return 0;
  }
  if (!std::strcmp(pszMode, "hold")) {
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "KT9020_MUTEX");
    if (!hMutex) return Failed(50, "no KT9020_MUTEX");
    WaitForSingleObject(hMutex, INFINITE);
    SetEvent(hReady);
    WaitForSingleObject(hGo, 60000);
    ReleaseMutex(hMutex);
    return 0;
  }
  if (!std::strcmp(pszMode, "bench")) {
    DWORD dwMs = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 1000;
    SetEvent(hReady);
    WaitForSingleObject(hGo, 60000);
    int nDone = 0;
    for (DWORD dwStart = GetTickCount(); GetTickCount() - dwStart < dwMs; ++nDone) GetAip11();
    return nDone;
  }
  if (!std::strcmp(pszMode, "stay")) {
    SetEvent(hReady);
    WaitForSingleObject(hGo, 60000);
    int nResult = GetAip11();
    FreeLibrary(g_hLibrary);
    return nResult;
  }
  return Failed(2, "unknown mode");
}
