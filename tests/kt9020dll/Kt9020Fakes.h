// Fakes of the ports the controller library uses: the recording device and
// service manager of platform/fake, named mutexes whose lifetime follows
// their handles, and the token question. Events of the device and the
// mutexes go to one log so a test can assert their order
// ("open KT9020_MUTEX", "wait", "io 0x22200c", "release").
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "kt9020dll/Kt9020Library.h"
#include "platform/WinTypes.h"
#include "platform/fake/FakeDevicePort.h"
#include "platform/fake/FakeServicePort.h"
#include "platform/fake/Fakes.h"

using EventLog = std::vector<std::string>;

// A reply record of the command protocol: reply length, then data.
SDeviceReply CommandReply(uint8_t byLength, std::vector<uint8_t> vecData);

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
// The controller's service is installed and running unless a test says
// otherwise.
struct SFakeMachine {
  EventLog log;
  CFakeDevicePort devices{&log};
  CFakeServicePort services;
  CFakeSystem system;
  CFakeUi ui;
  CFakeMutexPort mutexes{&log};
  CFakeToken token;
  SKt9020Shared shared{};

  SFakeMachine() {
    devices.AddDevice(g_szDeviceName);
    services.Install("Mirel", true);
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
