// The driver-service helper over the recording service manager: which calls
// each operation makes, what counts as success, how long it waits (through
// the system port, so nothing here sleeps) and where a failure stops it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/DriverService.h"
#include "platform/WinTypes.h"
#include "platform/fake/FakeServicePort.h"
#include "platform/fake/Fakes.h"

namespace {

using Calls = std::vector<std::string>;

SDriverServiceSettings Settings(const char* pszName, uint32_t dwStartType, int nStartPolls = 0) {
  SDriverServiceSettings settings;
  settings.strName = pszName;
  settings.dwStartType = dwStartType;
  settings.nStartPolls = nStartPolls;
  settings.dwStartPollMs = 1000;
  settings.nStopPolls = 50;
  settings.dwStopPollMs = 100;
  return settings;
}

bool PathOf(const char* pszPath, std::string* pstrPath) {
  *pstrPath = pszPath;
  return true;
}

class DriverService : public ::testing::Test {
 protected:
  CFakeServicePort services;
  CFakeSystem system;
};

TEST_F(DriverService, InstallCreatesAKernelDriverServiceOfTheGivenStartType) {
  struct SCase {
    const char* pszName;
    uint32_t dwStartType;
  };
  const SCase aCases[] = {{"WINFLASH", kServiceDemandStart},
                          {"Mirel", kServiceBootStart},
                          {"HwIOctl", kServiceDemandStart},
                          {"Memctl", kServiceSystemStart}};
  for (const SCase& c : aCases) {
    CFakeServicePort fresh;
    SDriverServiceSettings settings = Settings(c.pszName, c.dwStartType);
    settings.dwManagerAccess = 0x0002;  // SC_MANAGER_CREATE_SERVICE only
    settings.dwServiceAccess = 0x0010;  // SERVICE_START only
    CDriverService service(fresh, system, settings);
    const std::string strPath = std::string("C:\\drivers\\") + c.pszName + ".sys";
    EXPECT_EQ(EDriverServiceResult::Ok, service.Install(strPath)) << c.pszName;
    EXPECT_EQ((Calls{"manager", "create " + strPath}), fresh.m_vecCalls);
    EXPECT_EQ(std::vector<uint32_t>{0x0002}, fresh.m_vecAccess);
    ASSERT_EQ(1u, fresh.m_vecCreated.size());
    const SServiceConfig& config = fresh.m_vecCreated[0];
    EXPECT_EQ(c.pszName, config.strName);
    EXPECT_EQ(c.pszName, config.strDisplayName);
    EXPECT_EQ(0x0010u, config.dwDesiredAccess);
    EXPECT_EQ(kServiceKernelDriver, config.dwServiceType);
    EXPECT_EQ(c.dwStartType, config.dwStartType);
    EXPECT_EQ(kServiceErrorNormal, config.dwErrorControl);
    EXPECT_EQ(strPath, config.strBinaryPath);
    EXPECT_EQ(0, fresh.m_nOpenServices);  // every handle closed again
  }
}

TEST_F(DriverService, AnExistingServiceCountsAsInstalledAndKeepsItsPath) {
  services.Install("WINFLASH", false).config.strBinaryPath = "C:\\old\\WinFlash.sys";
  CDriverService service(services, system, Settings("WINFLASH", kServiceDemandStart));
  EXPECT_EQ(EDriverServiceResult::Ok, service.Install("C:\\new\\WinFlash.sys"));
  EXPECT_EQ(0u, service.LastError());
  EXPECT_EQ("C:\\old\\WinFlash.sys", services.m_mapServices["WINFLASH"].config.strBinaryPath);

  // Any other refusal is a failure, with Windows' code.
  services.m_mapServices.clear();
  services.Fail(EServiceCall::Create, kErrorAccessDenied);
  EXPECT_EQ(EDriverServiceResult::CreateFailed, service.Install("C:\\new\\WinFlash.sys"));
  EXPECT_EQ(kErrorAccessDenied, service.LastError());
}

TEST_F(DriverService, StartWithoutPollsStartsOnceAndTakesAlreadyRunningAsDone) {
  services.Install("WINFLASH", false);
  CDriverService service(services, system, Settings("WINFLASH", kServiceDemandStart));
  EXPECT_EQ(EDriverServiceResult::Ok, service.Start());
  EXPECT_EQ((Calls{"manager", "open WINFLASH", "start WINFLASH"}), services.m_vecCalls);
  EXPECT_TRUE(services.IsRunning("WINFLASH"));

  // Started again while it runs: Windows answers 1056, which is success.
  services.m_vecCalls.clear();
  EXPECT_EQ(EDriverServiceResult::Ok, service.Start());
  EXPECT_EQ((Calls{"manager", "open WINFLASH", "start WINFLASH"}), services.m_vecCalls);
  EXPECT_EQ(0u, system.m_dwSleptMs);
  EXPECT_EQ(0, services.m_nOpenServices);
}

TEST_F(DriverService, StartWithPollsLeavesARunningServiceAloneAndWaitsForAStartedOne) {
  services.Install("Mirel", true);
  CDriverService service(services, system, Settings("Mirel", kServiceBootStart, 10));
  EXPECT_EQ(EDriverServiceResult::Ok, service.Start());
  EXPECT_EQ((Calls{"manager", "open Mirel", "interrogate Mirel"}), services.m_vecCalls);

  services.Install("Mirel", false);
  services.m_nPollsUntilRunning = 3;
  services.m_vecCalls.clear();
  EXPECT_EQ(EDriverServiceResult::Ok, service.Start());
  EXPECT_EQ((Calls{"manager", "open Mirel", "interrogate Mirel", "start Mirel", "interrogate Mirel",
                   "interrogate Mirel", "interrogate Mirel"}),
            services.m_vecCalls);
  EXPECT_EQ(3000u, system.m_dwSleptMs);  // a pause before each interrogation
}

TEST_F(DriverService, AServiceThatNeverRunsFailsAfterTheLastPoll) {
  services.Install("Mirel", false);
  services.m_nPollsUntilRunning = 11;
  CDriverService service(services, system, Settings("Mirel", kServiceBootStart, 10));
  EXPECT_EQ(EDriverServiceResult::NotRunning, service.Start());
  EXPECT_EQ(10000u, system.m_dwSleptMs);
  EXPECT_EQ(1u + 10u, services.Count("interrogate"));
  EXPECT_EQ(0u, service.LastError());
}

TEST_F(DriverService, EnsureRunningCreatesFromTheCallersPathOnlyWhenTheServiceIsMissing) {
  services.Install("Mirel", true);
  CDriverService service(services, system, Settings("Mirel", kServiceBootStart, 10));
  int nPathQueries = 0;
  auto fnPath = [&](std::string* pstrPath) {
    ++nPathQueries;
    return PathOf("C:\\windows\\system32\\Drivers\\Mirel.sys", pstrPath);
  };
  EXPECT_EQ(EDriverServiceResult::Ok, service.EnsureRunning(fnPath));
  EXPECT_EQ(0, nPathQueries);
  EXPECT_TRUE(services.m_vecCreated.empty());
  // The service handle is the caller's now; the manager is closed.
  EXPECT_EQ(1, services.m_nOpenServices);
  std::unique_ptr<IService> pService = service.TakeService();
  ASSERT_NE(nullptr, pService);
  EXPECT_EQ(nullptr, service.TakeService());
  pService.reset();
  EXPECT_EQ(0, services.m_nOpenServices);

  services.m_mapServices.clear();
  services.m_vecCalls.clear();
  EXPECT_EQ(EDriverServiceResult::Ok, service.EnsureRunning(fnPath));
  EXPECT_EQ(1, nPathQueries);
  EXPECT_EQ((Calls{"manager", "open Mirel", "create C:\\windows\\system32\\Drivers\\Mirel.sys",
                   "interrogate Mirel", "start Mirel", "interrogate Mirel"}),
            services.m_vecCalls);
  EXPECT_EQ(kServiceBootStart, services.m_vecCreated.at(0).dwStartType);
}

TEST_F(DriverService, EnsureRunningWithoutADriverPathCreatesNothing) {
  CDriverService service(services, system, Settings("Mirel", kServiceBootStart, 10));
  EXPECT_EQ(EDriverServiceResult::NoBinaryPath,
            service.EnsureRunning([](std::string*) { return false; }));
  EXPECT_EQ((Calls{"manager", "open Mirel"}), services.m_vecCalls);
  EXPECT_EQ(nullptr, service.TakeService());
}

TEST_F(DriverService, EnsureRunningUsesTheServiceAnotherProcessCreatedMeanwhile) {
  services.Install("Mirel", false);
  services.Fail(EServiceCall::Open, kErrorServiceDoesNotExist, 1);  // not there yet
  CDriverService service(services, system, Settings("Mirel", kServiceBootStart, 10));
  EXPECT_EQ(EDriverServiceResult::Ok,
            service.EnsureRunning([](std::string* p) { return PathOf("C:\\Mirel.sys", p); }));
  EXPECT_EQ((Calls{"manager", "open Mirel", "create C:\\Mirel.sys", "open Mirel",
                   "interrogate Mirel", "start Mirel", "interrogate Mirel"}),
            services.m_vecCalls);
  EXPECT_NE(nullptr, service.TakeService());
}

// Each step that fails ends the operation there, with its result and the
// code Windows gave.
TEST_F(DriverService, EveryFailedStepEndsTheOperationWithItsResult) {
  struct SCase {
    const char* pszWhat;
    EServiceCall eCall;
    uint32_t dwError;
    EDriverServiceResult eResult;
    Calls calls;
  };
  const SCase aCases[] = {
      {"manager",
       EServiceCall::OpenManager,
       kErrorAccessDenied,
       EDriverServiceResult::NoManager,
       {"manager"}},
      // Not allowed to open an existing service: taken for a missing one,
      // whose creation Windows refuses (1073), so the open is tried again.
      {"open",
       EServiceCall::Open,
       kErrorAccessDenied,
       EDriverServiceResult::OpenFailed,
       {"manager", "open Mirel", "create C:\\Mirel.sys", "open Mirel"}},
      {"create",
       EServiceCall::Create,
       kErrorAccessDenied,
       EDriverServiceResult::CreateFailed,
       {"manager", "open Mirel", "create C:\\Mirel.sys"}},
      {"start",
       EServiceCall::Start,
       1058,
       EDriverServiceResult::StartFailed,
       {"manager", "open Mirel", "create C:\\Mirel.sys", "interrogate Mirel", "start Mirel"}},
  };
  for (const SCase& c : aCases) {
    CFakeServicePort fresh;
    CFakeSystem quiet;
    fresh.Fail(c.eCall, c.dwError);
    if (c.eCall == EServiceCall::Open) fresh.Install("Mirel", false);
    CDriverService service(fresh, quiet, Settings("Mirel", kServiceBootStart, 10));
    EXPECT_EQ(c.eResult, service.EnsureRunning([](std::string* p) {
      return PathOf("C:\\Mirel.sys", p);
    })) << c.pszWhat;
    EXPECT_EQ(c.dwError, service.LastError()) << c.pszWhat;
    EXPECT_EQ(c.calls, fresh.m_vecCalls) << c.pszWhat;
    EXPECT_EQ(0u, quiet.m_dwSleptMs) << c.pszWhat;
    EXPECT_EQ(nullptr, service.TakeService()) << c.pszWhat;
    EXPECT_EQ(0, fresh.m_nOpenServices) << c.pszWhat;
  }

  // The same for the operations on an installed service.
  services.Install("WINFLASH", true);
  CDriverService service(services, system, Settings("WINFLASH", kServiceDemandStart));
  services.Fail(EServiceCall::OpenManager, kErrorAccessDenied);
  EXPECT_EQ(EDriverServiceResult::NoManager, service.Start());
  EXPECT_EQ(EDriverServiceResult::NoManager, service.Stop());
  EXPECT_EQ(EDriverServiceResult::NoManager, service.Remove());
  EXPECT_EQ(EDriverServiceResult::NoManager, service.Install("C:\\WinFlash.sys"));
  services.Heal(EServiceCall::OpenManager);
  services.Fail(EServiceCall::Open, kErrorAccessDenied);
  EXPECT_EQ(EDriverServiceResult::OpenFailed, service.Start());
  EXPECT_EQ(EDriverServiceResult::OpenFailed, service.Stop());
  EXPECT_EQ(EDriverServiceResult::OpenFailed, service.Remove());
  services.Heal(EServiceCall::Open);
  services.Fail(EServiceCall::Query, kErrorAccessDenied);
  EXPECT_EQ(EDriverServiceResult::StopFailed, service.Stop());
  EXPECT_EQ(kErrorAccessDenied, service.LastError());
  services.Fail(EServiceCall::Delete, kErrorAccessDenied);
  EXPECT_EQ(EDriverServiceResult::DeleteFailed, service.Remove());
  EXPECT_EQ(kErrorAccessDenied, service.LastError());
  EXPECT_TRUE(services.m_vecCreated.empty());
  EXPECT_EQ(0, services.m_nOpenServices);
}

TEST_F(DriverService, StopWaitsForTheStopButNotForever) {
  services.Install("WINFLASH", true);
  services.m_nQueriesUntilStopped = 3;
  CDriverService service(services, system, Settings("WINFLASH", kServiceDemandStart));
  EXPECT_EQ(EDriverServiceResult::Ok, service.Stop());
  EXPECT_EQ((Calls{"manager", "open WINFLASH", "stop WINFLASH", "query WINFLASH", "query WINFLASH",
                   "query WINFLASH"}),
            services.m_vecCalls);
  EXPECT_EQ(200u, system.m_dwSleptMs);
  EXPECT_FALSE(services.IsRunning("WINFLASH"));

  // A stopped service refuses the stop and reads "stopped" at once.
  services.m_vecCalls.clear();
  EXPECT_EQ(EDriverServiceResult::Ok, service.Stop());
  EXPECT_EQ((Calls{"manager", "open WINFLASH", "stop WINFLASH", "query WINFLASH"}),
            services.m_vecCalls);

  // A driver that never stops: 50 pauses of 100 ms, then a failure.
  services.Install("WINFLASH", true);
  services.m_nQueriesUntilStopped = -1;
  services.m_vecCalls.clear();
  system.m_dwSleptMs = 0;
  EXPECT_EQ(EDriverServiceResult::StopFailed, service.Stop());
  EXPECT_EQ(5000u, system.m_dwSleptMs);
  EXPECT_EQ(51u, services.Count("query"));
}

TEST_F(DriverService, RemoveMarksTheServiceWhichGoesWithItsLastHandle) {
  services.Install("Mirel", true);
  CDriverService keeper(services, system, Settings("Mirel", kServiceBootStart, 10));
  ASSERT_EQ(EDriverServiceResult::Ok,
            keeper.EnsureRunning([](std::string* p) { return PathOf("C:\\Mirel.sys", p); }));
  std::unique_ptr<IService> pKept = keeper.TakeService();

  CDriverService service(services, system, Settings("Mirel", kServiceBootStart));
  EXPECT_EQ(EDriverServiceResult::Ok, service.Remove());
  EXPECT_EQ(1u, services.m_mapServices.count("Mirel"));  // still held
  EXPECT_EQ(EDriverServiceResult::OpenFailed, service.Remove());
  EXPECT_EQ(kErrorServiceMarkedForDelete, service.LastError());
  pKept.reset();
  EXPECT_EQ(0u, services.m_mapServices.count("Mirel"));
  EXPECT_EQ(EDriverServiceResult::OpenFailed, service.Stop());
  EXPECT_EQ(kErrorServiceDoesNotExist, service.LastError());
}

}  // namespace
