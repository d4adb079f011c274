// Recording fakes of the ports the controller library uses: a device that
// records each request and answers from a script, a service manager, named
// mutexes whose lifetime follows their handles, and the token question.
// Events of the device and the mutexes go to one log so a test can assert
// their order ("open KT9020_MUTEX", "wait", "io 0x22200c", "release").
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "kt9020dll/Kt9020Library.h"
#include "platform/WinTypes.h"
#include "platform/fake/Fakes.h"

using EventLog = std::vector<std::string>;

struct SDeviceRequest {
  uint32_t dwCode;
  std::vector<uint8_t> vecIn;
  uint32_t nOutBytes;
};

struct SDeviceReply {
  bool bOk = true;
  std::vector<uint8_t> vecOut;  // copied to the output buffer (at most its size)
  int64_t nReturned = -1;       // byte count reported; -1: the output size
};

class CRecordingDevicePort : public IDevicePort {
 public:
  explicit CRecordingDevicePort(EventLog* pLog) : m_pLog(pLog) {}
  std::vector<std::string> m_vecOpened;
  bool m_bOpenFails = false;
  std::vector<SDeviceRequest> m_vecRequests;
  std::deque<SDeviceReply> m_queReplies;  // empty: success, zero-filled output
  int m_nOpenDevices = 0;

  std::unique_ptr<IDevice> Open(const std::string& strName) override;
  uint32_t LastError() const override { return m_bOpenFails ? kErrorFileNotFound : 0; }

  // A reply record of the command protocol: reply length, then data.
  static SDeviceReply CommandReply(uint8_t byLength, std::vector<uint8_t> vecData);
  EventLog* m_pLog;
};

struct SFakeServiceState {
  bool bManagerFails = false;
  bool bExists = false;
  bool bCreateFails = false;
  bool bStartFails = false;
  uint32_t dwStartError = 1058;  // ERROR_SERVICE_DISABLED
  bool bRunning = false;
  int nPollsUntilRunning = 0;  // interrogations after Start before it reports running
  std::vector<SServiceConfig> vecCreated;
  int nStarts = 0;
  int nInterrogations = 0;
  int nOpenServices = 0;  // service objects not yet closed
};

class CFakeServicePort : public IServicePort {
 public:
  SFakeServiceState m_state;
  std::unique_ptr<IServiceManager> OpenManager(uint32_t dwAccess) override;
  uint32_t LastError() const override { return m_state.bManagerFails ? 5 : 0; }
};

// Named mutexes of the whole "machine": several library instances (one per
// simulated process) share one port.
class CFakeMutexPort : public IMutexPort {
 public:
  struct SNamed {
    int nHandles = 0;
    bool bOwned = false;
  };
  explicit CFakeMutexPort(EventLog* pLog) : m_pLog(pLog) {}
  std::map<std::string, SNamed> m_mapMutexes;
  std::vector<uint32_t> m_vecOpenAccess;     // access of every Open
  std::deque<EWaitResult> m_queWaitResults;  // next wait outcomes; empty: Owned
  ESecurityStep m_eFailStep = ESecurityStep::None;
  uint32_t m_dwFailError = 0;
  int m_nDescriptors = 0;  // built and not yet freed
  int m_nCreates = 0;
  std::vector<bool> m_vecCreatedWithSecurity;

  std::unique_ptr<ISecurityDescriptor> BuildEveryoneDescriptor(uint32_t dwRights,
                                                               ESecurityStep* pStep,
                                                               uint32_t* pdwError) override;
  std::unique_ptr<IMutex> Create(const std::string& strName,
                                 const ISecurityDescriptor* pSecurity) override;
  std::unique_ptr<IMutex> Open(const std::string& strName, uint32_t dwAccess) override;
  uint32_t LastError() const override { return 2; }

  EventLog* m_pLog;
  std::unique_ptr<IMutex> MakeHandle(const std::string& strName, uint32_t dwAccess);
};

class CFakeToken : public ITokenPort {
 public:
  bool m_bAdministrator = true;
  bool IsAdministrator() override { return m_bAdministrator; }
};

// One simulated process's ports over machine-wide fakes.
struct SFakeMachine {
  EventLog log;
  CRecordingDevicePort devices{&log};
  CFakeServicePort services;
  CFakeSystem system;
  CFakeUi ui;
  CFakeMutexPort mutexes{&log};
  CFakeToken token;
  SKt9020Shared shared{};

  SFakeMachine() {
    services.m_state.bExists = true;
    services.m_state.bRunning = true;
  }
  SKt9020Ports Ports() {
    SKt9020Ports ports;
    ports.pServices = &services;
    ports.pDevices = &devices;
    ports.pSystem = &system;
    ports.pUi = &ui;
    ports.pMutexes = &mutexes;
    ports.pToken = &token;
    return ports;
  }
};
