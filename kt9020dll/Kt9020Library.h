// The controller access library's behaviour over ports: loading into a
// process (driver start-up, the cross-process mutex), the controller
// transactions and the port and MSR requests. The DLL shell
// (Exports_win.cpp) owns one instance per process and forwards each export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/MirelIoctl.h"
#include "platform/DriverService.h"
#include "platform/MutexPort.h"
#include "platform/Ports.h"
#include "platform/TokenPort.h"

// Values shared by every process that loads the library (one copy on the
// machine). Only plain values: a handle or pointer means something in one
// process only, so those stay in the per-process instance. Processes load
// and leave at the same time, so the attach count and the mutex flags are
// read and changed only with atomic operations (see Kt9020Library.cpp).
struct SKt9020Shared {
  uint32_t dwInterruptCount;  // never written; read by GetInterruptCount
  uint32_t dwAttachCount;     // processes that have the library loaded
  uint32_t dwWindowMessage;   // id of "KT9020_INTERRUPTED", kept for callers
  uint8_t byMutexCreated;     // the named mutex exists
  uint8_t bySecuritySetUp;    // its access descriptor was built successfully
  uint8_t byRS232;            // SetRS232Flag / IsRS232Processing
};
// The layout is the shared section's: every loaded copy of the library on
// the machine reads the same bytes, so it must not change. The count's
// natural 4-byte alignment is what makes its atomic operations lock-free.
static_assert(sizeof(SKt9020Shared) == 16, "shared section layout");
static_assert(offsetof(SKt9020Shared, dwAttachCount) == 4, "shared section layout");
static_assert(offsetof(SKt9020Shared, byMutexCreated) == 12, "shared section layout");

struct SKt9020Ports {
  IServicePort* pServices = nullptr;
  IDevicePort* pDevices = nullptr;
  ISystem* pSystem = nullptr;
  IUiPort* pUi = nullptr;
  IMutexPort* pMutexes = nullptr;
  ITokenPort* pToken = nullptr;
};

extern const char g_szMutexName[];   // "KT9020_MUTEX"
extern const char g_szDeviceName[];  // "\\\\.\\Mirel"
extern const char g_szDllVersion[16];

enum class EAttach {
  Loaded,      // the process may use the library
  Refused,     // not an NT-family system: the load fails
  EndProcess,  // the driver could not be started; the user was told, the process must end
};

// Controller ports addressed by ReadCommand/WriteCommand and ReadData/WriteData.
constexpr int kCommandPort = 0xE4;
constexpr int kDataPort = 0xE0;

class CKt9020Library {
 public:
  CKt9020Library(const SKt9020Ports& ports, SKt9020Shared* pShared);

  EAttach Attach();
  // Leaves the process: closes this process's handles, frees what it built.
  void Detach();

  bool Start();
  bool IsStart() const { return m_bStarted; }

  // Number of reply bytes copied to pDst; 0 on any failure.
  int GetAip(int nCommand, int nAddress, int nCount, void* pDst);
  bool SetAip(int nCommand, int nAddress, int nCount, const void* pData);
  bool IsKt9020Exist();

  bool InPortB(int nPort, uint8_t* pbyValue);
  bool OutPortB(int nPort, int nValue);
  bool ReadPortVal(int nPort, int* pnValue, int nSize);
  bool WritePortVal(int nPort, int nValue, int nSize);
  uint64_t ReadMsr(uint32_t dwIndex);
  bool WriteMsr(uint32_t dwIndex, uint32_t dwLow, uint32_t dwHigh);

  uint32_t GetInterruptCount() const { return m_pShared->dwInterruptCount; }
  uint8_t SetRs232Flag(int nFlag);
  uint8_t IsRs232Processing() const { return m_pShared->byRS232; }

  // How the controller driver's service is installed: boot start, from the
  // Drivers folder, waited for up to 10 interrogations one second apart.
  static SDriverServiceSettings MirelServiceSettings();

  // The description of the last failure, for callers and tests. The
  // library shows only two failures itself: the advice after a failed start
  // at load, and a failed build of the mutex's access descriptor.
  std::string LastErrorText() const { return m_szLastError; }
  // Whether this process holds its own handle of the named mutex.
  bool HoldsMutex() const { return m_pMutex != nullptr; }

 private:
  bool StartService();
  void SetUpMutex();
  std::unique_ptr<ISecurityDescriptor> BuildSecurity();
  bool Transact(bool bSet, int nCommand, int nAddress, int nCount, const void* pData, void* pDst,
                int* pnCopied);
  bool PortRequest(uint32_t dwCode, mirel::SPortRecord* pRecord);
  void Fail(const char* pszText);

  SKt9020Ports m_ports;
  SKt9020Shared* m_pShared;
  std::unique_ptr<IDevice> m_pDevice;
  std::unique_ptr<IService> m_pService;  // stays open while loaded
  std::unique_ptr<ISecurityDescriptor> m_pSecurity;
  std::unique_ptr<IMutex> m_pMutex;  // this process's handle keeps the mutex alive
  bool m_bStarted = false;
  bool m_bAttached = false;  // Attach succeeded; Detach has something to undo
  // A fixed buffer, not a std::string: callers may use the library from
  // several threads, and racing writes of a text must not touch the heap.
  char m_szLastError[128] = {};
};
