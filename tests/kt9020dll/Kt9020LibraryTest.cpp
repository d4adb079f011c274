// Loading, driver start-up, the cross-process mutex and the transactions of
// the controller library, over recording fakes. A second CKt9020Library over
// the same machine fakes and shared values plays a second process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "kt9020dll/Kt9020Library.h"
#include "tests/kt9020dll/Kt9020Fakes.h"

namespace {

const EventLog kTransaction = {"open KT9020_MUTEX", "wait", "io 0x22200c", "release"};

class Kt9020Library : public ::testing::Test {
 protected:
  SFakeMachine m;
  CKt9020Library lib{m.Ports(), &m.shared};

  void AttachOk() {
    ASSERT_EQ(EAttach::Loaded, lib.Attach());
    m.log.clear();
    m.devices.m_vecRequests.clear();
  }
  std::vector<uint8_t> LastInput() { return m.devices.m_vecRequests.back().vecIn; }
};

// ----------------------------------------------------------- loading --

TEST_F(Kt9020Library, RefusesToLoadOutsideTheNtFamily) {
  m.system.m_version.dwPlatformId = 1;
  EXPECT_EQ(EAttach::Refused, lib.Attach());
  EXPECT_TRUE(m.devices.m_vecOpened.empty());
  EXPECT_EQ(0, m.mutexes.m_nCreates);
  lib.Detach();  // the loader still sends the detach: nothing to undo
  EXPECT_EQ(0u, m.shared.dwAttachCount);
}

TEST_F(Kt9020Library, AdministratorCreatesBootStartServiceFromTheDriversFolder) {
  m.services.m_mapServices.clear();
  m.services.m_nPollsUntilRunning = 3;
  ASSERT_EQ(EAttach::Loaded, lib.Attach());
  const CFakeServicePort& s = m.services;
  ASSERT_EQ(1u, s.m_vecCreated.size());
  const SServiceConfig& c = s.m_vecCreated[0];
  EXPECT_EQ("Mirel", c.strName);
  EXPECT_EQ("Mirel", c.strDisplayName);
  EXPECT_EQ(kServiceAllAccess, c.dwDesiredAccess);
  EXPECT_EQ(kServiceKernelDriver, c.dwServiceType);
  EXPECT_EQ(kServiceBootStart, c.dwStartType);
  EXPECT_EQ(kServiceErrorNormal, c.dwErrorControl);
  EXPECT_EQ("C:\\windows\\system32\\Drivers\\Mirel.sys", c.strBinaryPath);
  EXPECT_EQ(1u, s.Count("start"));
  EXPECT_EQ(3000u, m.system.m_dwSleptMs);  // one-second polls until it runs
  EXPECT_EQ(1, s.m_nOpenServices);         // the service handle stays open
  // One session with the service control manager: open, create, a look
  // whether it runs, the start, then interrogations until it does.
  EXPECT_EQ((std::vector<std::string>{"manager", "open Mirel",
                                      "create C:\\windows\\system32\\Drivers\\Mirel.sys",
                                      "interrogate Mirel", "start Mirel", "interrogate Mirel",
                                      "interrogate Mirel", "interrogate Mirel"}),
            s.m_vecCalls);
  EXPECT_EQ((std::vector<uint32_t>{kScManagerAllAccess, kServiceAllAccess}), s.m_vecAccess);
  EXPECT_EQ(std::vector<std::string>{"\\\\.\\Mirel"}, m.devices.m_vecOpened);
  EXPECT_TRUE(lib.IsStart());
  EXPECT_EQ(1u, m.shared.dwAttachCount);
}

TEST_F(Kt9020Library, RunningServiceIsNotStartedAgain) {
  ASSERT_EQ(EAttach::Loaded, lib.Attach());
  EXPECT_EQ(0u, m.services.Count("start"));
  EXPECT_TRUE(m.services.m_vecCreated.empty());
}

TEST_F(Kt9020Library, NonAdministratorOnlyOpensTheDevice) {
  m.token.m_bAdministrator = false;
  m.services.Fail(EServiceCall::OpenManager, kErrorAccessDenied);  // as for a plain user
  ASSERT_EQ(EAttach::Loaded, lib.Attach());
  EXPECT_EQ(1u, m.devices.m_vecOpened.size());
  EXPECT_TRUE(lib.IsStart());
}

TEST_F(Kt9020Library, ServiceStartedByAnotherProcessMeanwhileIsNoFailure) {
  m.services.Install("Mirel", false);
  m.services.Fail(EServiceCall::Start, kErrorServiceAlreadyRunning);
  EXPECT_TRUE(lib.Start());
  EXPECT_EQ("", lib.LastErrorText());
}

TEST_F(Kt9020Library, ServiceCreatedByAnotherProcessMeanwhileIsUsed) {
  // Not there when this process looks, there when it creates it: Windows
  // refuses the creation with 1073, and the other process's service is
  // opened and started instead of failing the load.
  m.services.Install("Mirel", false);
  m.services.Fail(EServiceCall::Open, kErrorServiceDoesNotExist, 1);
  EXPECT_TRUE(lib.Start());
  EXPECT_EQ("", lib.LastErrorText());
  EXPECT_EQ((std::vector<std::string>{
                "manager", "open Mirel", "create C:\\windows\\system32\\Drivers\\Mirel.sys",
                "open Mirel", "interrogate Mirel", "start Mirel", "interrogate Mirel"}),
            m.services.m_vecCalls);
  EXPECT_TRUE(m.services.IsRunning("Mirel"));
  EXPECT_EQ(1, m.services.m_nOpenServices);
}

struct SStartCase {
  const char* pszText;
  void (*pSetUp)(SFakeMachine&);
};

TEST_F(Kt9020Library, EveryStartFailureStoresItsText) {
  const SStartCase aCases[] = {
      {"Could not open Service Control Manager",
       [](SFakeMachine& f) { f.services.Fail(EServiceCall::OpenManager, kErrorAccessDenied); }},
      {"Could not find Windows system directory",
       [](SFakeMachine& f) {
         f.services.m_mapServices.clear();
         f.system.m_bDirectoriesFail = true;
       }},
      {"Could not find Windows system directory",
       [](SFakeMachine& f) {
         f.services.m_mapServices.clear();
         f.system.m_strSystemDir.assign(256, 'x');  // does not fit 256 characters
       }},
      {"Could not create Service!",
       [](SFakeMachine& f) {
         f.services.m_mapServices.clear();
         f.services.Fail(EServiceCall::Create, kErrorAccessDenied);
       }},
      {"Could not start Mirel.sys",
       [](SFakeMachine& f) {
         f.services.Install("Mirel", false);
         f.services.Fail(EServiceCall::Start, 1058);  // ERROR_SERVICE_DISABLED
       }},
      {"Could not start Mirel.sys",
       [](SFakeMachine& f) {
         f.services.Install("Mirel", false);
         f.services.m_nPollsUntilRunning = 11;
       }},
      {"Failed to obtain file handle to device: Mirel",
       [](SFakeMachine& f) { f.devices.m_bOpenFails = true; }},
  };
  for (const SStartCase& c : aCases) {
    SFakeMachine f;
    c.pSetUp(f);
    CKt9020Library one(f.Ports(), &f.shared);
    EXPECT_FALSE(one.Start()) << c.pszText;
    EXPECT_EQ(c.pszText, one.LastErrorText());
    EXPECT_FALSE(one.IsStart()) << c.pszText;
    EXPECT_LE(f.system.m_dwSleptMs, 10000u);
  }
}

TEST_F(Kt9020Library, FailedStartAtLoadTellsTheUserAndEndsTheProcess) {
  m.devices.m_bOpenFails = true;
  EXPECT_EQ(EAttach::EndProcess, lib.Attach());
  EXPECT_EQ("Start driver fail!", lib.LastErrorText());
  ASSERT_EQ(1u, m.ui.m_vecBoxes.size());
  EXPECT_EQ(
      "When you see this dialog box, please login as administrator and run this\n"
      "program once so that you won't see this dialog box again.",
      m.ui.m_vecBoxes[0].strText);
  EXPECT_EQ("MSG", m.ui.m_vecBoxes[0].strCaption);
  EXPECT_EQ(0u, m.ui.m_vecBoxes[0].hOwner);
  EXPECT_EQ(kMbOk, m.ui.m_vecBoxes[0].dwFlags);
  EXPECT_EQ(0u, m.shared.dwAttachCount);
  EXPECT_EQ(0, m.mutexes.m_nCreates);
}

// ------------------------------------------------- mutex and processes --

TEST_F(Kt9020Library, FirstProcessCreatesTheMutexOpenToEveryoneLaterOnesOpenIt) {
  ASSERT_EQ(EAttach::Loaded, lib.Attach());
  EXPECT_EQ(std::vector<bool>{true}, m.mutexes.m_vecCreatedWithSecurity);
  EXPECT_EQ(1, m.shared.byMutexCreated);
  EXPECT_EQ(1, m.shared.bySecuritySetUp);

  CKt9020Library second(m.Ports(), &m.shared);
  ASSERT_EQ(EAttach::Loaded, second.Attach());
  EXPECT_EQ(1, m.mutexes.m_nCreates);  // nothing created
  EXPECT_EQ(1, m.mutexes.m_nDescriptors);
  EXPECT_EQ(std::vector<uint32_t>{kSynchronize | kMutexModifyState}, m.mutexes.m_vecOpenAccess);
  EXPECT_TRUE(second.HoldsMutex());
  EXPECT_EQ(2, m.mutexes.m_mapMutexes["KT9020_MUTEX"].nHandles);
  EXPECT_EQ(2u, m.shared.dwAttachCount);
}

TEST_F(Kt9020Library, MutexOutlivesTheProcessThatCreatedIt) {
  ASSERT_EQ(EAttach::Loaded, lib.Attach());
  CKt9020Library second(m.Ports(), &m.shared);
  ASSERT_EQ(EAttach::Loaded, second.Attach());

  lib.Detach();                            // the creator leaves first
  EXPECT_EQ(0, m.mutexes.m_nDescriptors);  // it freed what it built
  EXPECT_EQ(1u, m.shared.dwAttachCount);
  EXPECT_EQ(1, m.devices.m_nOpenDevices);
  m.devices.m_queReplies.push_back(CommandReply(1, {0x42}));
  uint8_t by = 0;
  EXPECT_EQ(1, second.GetAip(0x11, 0x10, 0, &by));
  EXPECT_EQ(0x42, by);

  second.Detach();
  EXPECT_EQ(0u, m.shared.dwAttachCount);
  EXPECT_EQ(0, m.shared.byMutexCreated);
  EXPECT_TRUE(m.mutexes.m_mapMutexes.empty());
  EXPECT_EQ(0, m.devices.m_nOpenDevices);
  EXPECT_EQ(0, m.services.m_nOpenServices);

  // A process loading afterwards creates the mutex anew.
  CKt9020Library third(m.Ports(), &m.shared);
  ASSERT_EQ(EAttach::Loaded, third.Attach());
  EXPECT_EQ(2, m.mutexes.m_nCreates);
  third.Detach();
}

// Many processes load and leave at once, each with its own ports but all
// over one shared section: threads play them. The count in the shared
// section must come out exact once everyone has loaded and once everyone
// has left. A lost update needs two threads inside the same few
// instructions, so the rounds repeat to make one likely when it can happen.
TEST(Kt9020LibraryShared, ConcurrentLoadsAndLeavesNeverLoseACount) {
  constexpr int kProcesses = 8;
  constexpr int kLoadsEach = 1500;
  constexpr int kRounds = 3;
  SKt9020Shared shared{};
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    std::atomic<int> nWaiting{kProcesses};
    std::atomic<int> nLoaded{0};
    std::atomic<int> nDoneLoading{0};
    std::atomic<bool> bLeave{false};
    std::vector<std::thread> vecThreads;
    for (int t = 0; t < kProcesses; ++t) {
      vecThreads.emplace_back([&] {
        SFakeMachine machine;
        std::vector<std::unique_ptr<CKt9020Library>> vecLibraries;
        // Every thread starts once all exist, so their loads overlap.
        --nWaiting;
        while (nWaiting.load() > 0) std::this_thread::yield();
        for (int i = 0; i < kLoadsEach; ++i) {
          vecLibraries.push_back(std::make_unique<CKt9020Library>(machine.Ports(), &shared));
          if (vecLibraries.back()->Attach() == EAttach::Loaded) ++nLoaded;
        }
        ++nDoneLoading;
        while (!bLeave.load()) std::this_thread::yield();
        for (auto& pLibrary : vecLibraries) pLibrary->Detach();
      });
    }
    while (nDoneLoading.load() < kProcesses) std::this_thread::yield();
    EXPECT_EQ(kProcesses * kLoadsEach, nLoaded.load());
    EXPECT_EQ(uint32_t(kProcesses * kLoadsEach),
              __atomic_load_n(&shared.dwAttachCount, __ATOMIC_SEQ_CST))
        << "round " << nRound;
    bLeave = true;
    for (std::thread& thread : vecThreads) thread.join();
    EXPECT_EQ(0u, shared.dwAttachCount) << "round " << nRound;
    EXPECT_EQ(0, shared.byMutexCreated);  // the last one to leave cleared it
  }
}

TEST_F(Kt9020Library, SecurityFailuresAreShownAndTheMutexGetsDefaultSecurity) {
  const std::pair<ESecurityStep, const char*> aCases[] = {
      {ESecurityStep::AllocateSid, "AllocateAndInitializeSid Error 1307\n"},
      {ESecurityStep::SetAclEntries, "SetEntriesInAcl Error 1307\n"},
      {ESecurityStep::AllocateDescriptor, "LocalAlloc Error 1307\n"},
      {ESecurityStep::InitializeDescriptor, "InitializeSecurityDescriptor Error 1307\n"},
      {ESecurityStep::SetDacl, "SetSecurityDescriptorDacl Error 1307\n"},
  };
  for (const auto& c : aCases) {
    SFakeMachine f;
    f.mutexes.m_eFailStep = c.first;
    f.mutexes.m_dwFailError = 1307;
    CKt9020Library one(f.Ports(), &f.shared);
    ASSERT_EQ(EAttach::Loaded, one.Attach()) << c.second;
    EXPECT_EQ(c.second, one.LastErrorText());
    ASSERT_EQ(1u, f.ui.m_vecBoxes.size());
    EXPECT_EQ(c.second, f.ui.m_vecBoxes[0].strText);
    EXPECT_EQ("Error", f.ui.m_vecBoxes[0].strCaption);
    EXPECT_EQ(std::vector<bool>{false}, f.mutexes.m_vecCreatedWithSecurity);
    EXPECT_EQ(0, f.shared.bySecuritySetUp);
    EXPECT_EQ(1, f.shared.byMutexCreated);
  }
}

// ------------------------------------------------------- transactions --

TEST_F(Kt9020Library, TransactionOpensWaitsSendsAndReleases) {
  AttachOk();
  m.devices.m_queReplies.push_back(CommandReply(2, {0xAA, 0xBB}));
  uint8_t aby[2] = {};
  EXPECT_EQ(2, lib.GetAip(0x12, 0x0203, 0, aby));
  EXPECT_EQ(kTransaction, m.log);
  EXPECT_EQ(0xAA, aby[0]);
  EXPECT_EQ(0xBB, aby[1]);
  EXPECT_EQ(mirel::kCommandRecordSize, LastInput().size());
  EXPECT_EQ(mirel::kCommandRecordSize, m.devices.m_vecRequests.back().nOutBytes);
  EXPECT_EQ(0x02, LastInput()[4]);
  EXPECT_EQ(0x03, LastInput()[5]);
  // Opened so that the release really works (Windows refuses it otherwise).
  EXPECT_EQ(kSynchronize | kMutexModifyState, m.mutexes.m_vecOpenAccess.back());
  EXPECT_FALSE(m.mutexes.m_mapMutexes["KT9020_MUTEX"].bOwned);
}

TEST_F(Kt9020Library, GetAipCopiesNoMoreThanTheCommandAskedFor) {
  AttachOk();
  uint8_t aby[16];
  // Long reply to a one-byte read: one byte copied, the rest of dst untouched.
  std::vector<uint8_t> vecLong(200, 0x77);
  m.devices.m_queReplies.push_back(CommandReply(200, vecLong));
  memset(aby, 0xCC, sizeof(aby));
  EXPECT_EQ(1, lib.GetAip(0x11, 0, 0, aby));
  EXPECT_EQ(0x77, aby[0]);
  EXPECT_EQ(0xCC, aby[1]);
  // Block read of 5 with a longer reply: 5 bytes.
  m.devices.m_queReplies.push_back(CommandReply(9, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  memset(aby, 0xCC, sizeof(aby));
  EXPECT_EQ(5, lib.GetAip(0x1A, 0x40, 5, aby));
  EXPECT_EQ(5, LastInput()[6]);
  EXPECT_EQ(5, aby[4]);
  EXPECT_EQ(0xCC, aby[5]);
  // Short reply: what came.
  m.devices.m_queReplies.push_back(CommandReply(3, {1, 2, 3}));
  memset(aby, 0xCC, sizeof(aby));
  EXPECT_EQ(3, lib.GetAip(0x18, 0, 0, aby));
  EXPECT_EQ(0xCC, aby[3]);
}

TEST_F(Kt9020Library, DriverTimeoutAndRequestFailureReleaseTheMutex) {
  AttachOk();
  uint8_t aby[8] = {};
  m.devices.m_queReplies.push_back(CommandReply(0xFF, {1}));
  EXPECT_EQ(0, lib.GetAip(0x11, 0, 0, aby));
  EXPECT_EQ("GetAIP: Driver timeout", lib.LastErrorText());
  EXPECT_EQ(0, aby[0]);
  m.devices.m_queReplies.push_back(CommandReply(0xFF, {}));
  EXPECT_FALSE(lib.SetAip(0x21, 0, 0, aby));
  EXPECT_EQ("SetAIP: Driver timeout", lib.LastErrorText());
  m.devices.m_queReplies.push_back(SDeviceReply{false, {}, 0});
  EXPECT_EQ(0, lib.GetAip(0x11, 0, 0, aby));
  EXPECT_EQ("Error occured in GetAIP", lib.LastErrorText());
  m.devices.m_queReplies.push_back(SDeviceReply{false, {}, 0});
  EXPECT_FALSE(lib.SetAip(0x21, 0, 0, aby));
  EXPECT_EQ("Error occured in SetAIP", lib.LastErrorText());
  EXPECT_EQ("release", m.log.back());
  EXPECT_FALSE(m.mutexes.m_mapMutexes["KT9020_MUTEX"].bOwned);
}

TEST_F(Kt9020Library, UnknownCommandIsRefusedBeforeAnyWaitOrRequest) {
  AttachOk();
  uint8_t aby[8] = {};
  EXPECT_EQ(0, lib.GetAip(0x19, 0, 0, aby));
  EXPECT_EQ("GetCommandInputDataLength() return fail!", lib.LastErrorText());
  EXPECT_FALSE(lib.SetAip(0x29, 0, 0, aby));
  EXPECT_EQ("GetCommandInputDataLength() return fail!", lib.LastErrorText());
  // A block write longer than the record holds is refused the same way.
  std::vector<uint8_t> vecBig(300, 1);
  EXPECT_FALSE(lib.SetAip(0x2A, 0, 253, vecBig.data()));
  EXPECT_EQ((EventLog{"open KT9020_MUTEX", "open KT9020_MUTEX", "open KT9020_MUTEX"}), m.log);
  EXPECT_TRUE(m.devices.m_vecRequests.empty());
}

TEST_F(Kt9020Library, MissingMutexFailsTheTransaction) {
  ASSERT_TRUE(lib.Start());  // started, but the load never created the mutex
  uint8_t aby[8] = {};
  EXPECT_EQ(0, lib.GetAip(0x11, 0, 0, aby));
  EXPECT_EQ("GetAIP: Open mutex fail", lib.LastErrorText());
  EXPECT_FALSE(lib.SetAip(0x21, 0, 0, aby));
  EXPECT_EQ("SetAIP: Open mutex fail", lib.LastErrorText());
  EXPECT_TRUE(m.devices.m_vecRequests.empty());
}

TEST_F(Kt9020Library, AbandonedMutexIsOwnedAndTheTransactionGoesOn) {
  AttachOk();
  m.mutexes.m_queWaitResults.push_back(EWaitResult::Abandoned);
  m.devices.m_queReplies.push_back(CommandReply(1, {0x5A}));
  uint8_t by = 0;
  EXPECT_EQ(1, lib.GetAip(0x11, 0, 0, &by));
  EXPECT_EQ(0x5A, by);
  EXPECT_EQ(kTransaction, m.log);
  EXPECT_FALSE(m.mutexes.m_mapMutexes["KT9020_MUTEX"].bOwned);

  m.log.clear();
  m.mutexes.m_queWaitResults.push_back(EWaitResult::Failed);
  EXPECT_EQ(0, lib.GetAip(0x11, 0, 0, &by));
  EXPECT_EQ((EventLog{"open KT9020_MUTEX", "wait"}), m.log);  // not serialised: not sent
}

TEST_F(Kt9020Library, SetAipSendsTheCallersDataBytes) {
  AttachOk();
  const uint8_t abyData[] = {0x10, 0x20, 0x30, 0x40};
  m.devices.m_queReplies.push_back(CommandReply(1, {0}));
  EXPECT_TRUE(lib.SetAip(0x23, 0x0510, 0, abyData));
  EXPECT_EQ(mirel::kSetAip, m.devices.m_vecRequests.back().dwCode);
  std::vector<uint8_t> vecIn = LastInput();
  EXPECT_EQ((std::vector<uint8_t>{0x23, 0, 5, 1, 0x05, 0x10, 0x10, 0x20, 0x30, 0}),
            std::vector<uint8_t>(vecIn.begin(), vecIn.begin() + 10));
  // No data where data is needed: refused before the wait.
  m.log.clear();
  EXPECT_FALSE(lib.SetAip(0x23, 0, 0, nullptr));
  EXPECT_EQ("Error occured in SetAIP", lib.LastErrorText());
  EXPECT_EQ(0, lib.GetAip(0x11, 0, 0, nullptr));
  EXPECT_EQ((EventLog{"open KT9020_MUTEX", "open KT9020_MUTEX"}), m.log);
}

TEST_F(Kt9020Library, PresenceTestTouchesAddress1000) {
  AttachOk();
  m.devices.m_queReplies.push_back(CommandReply(1, {0}));
  EXPECT_TRUE(lib.IsKt9020Exist());
  std::vector<uint8_t> vecIn = LastInput();
  vecIn.resize(7);
  EXPECT_EQ((std::vector<uint8_t>{0x20, 0, 2, 1, 0x10, 0x00, 0}), vecIn);
  m.devices.m_queReplies.push_back(CommandReply(0xFF, {}));
  EXPECT_FALSE(lib.IsKt9020Exist());
}

TEST_F(Kt9020Library, NotStartedLibraryFailsEveryRequest) {
  m.devices.m_bOpenFails = true;
  CKt9020Library idle(m.Ports(), &m.shared);
  uint8_t by = 0;
  int n = 0;
  EXPECT_FALSE(idle.InPortB(0x80, &by));
  EXPECT_FALSE(idle.ReadPortVal(0x80, &n, 1));
  EXPECT_EQ(0u, idle.ReadMsr(0x10));
  EXPECT_FALSE(idle.WriteMsr(0x10, 1, 2));
  EXPECT_TRUE(m.devices.m_vecRequests.empty());
}

// ------------------------------------------------------- ports and MSR --

mirel::SPortRecord Reply(uint8_t bySize, uint32_t dwValue, uint16_t wValue, uint8_t byValue) {
  mirel::SPortRecord r{};
  r.bySize = bySize;
  r.dwValue = dwValue;
  r.wValue = wValue;
  r.byValue = byValue;
  return r;
}

SDeviceReply PortReply(const mirel::SPortRecord& r) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
  SDeviceReply reply;
  reply.vecOut.assign(p, p + sizeof(r));
  return reply;
}

TEST_F(Kt9020Library, ReadPortValTakesTheValueOfItsSize) {
  AttachOk();
  for (int nSize : {1, 2, 4}) {
    m.devices.m_queReplies.push_back(
        PortReply(Reply(static_cast<uint8_t>(nSize), 0xF1F2F3F4, 0xE1E2, 0xD1)));
    int n = 0;
    ASSERT_TRUE(lib.ReadPortVal(0x2E, &n, nSize)) << nSize;
    EXPECT_EQ(nSize == 1 ? 0xD1 : nSize == 2 ? 0xE1E2 : static_cast<int>(0xF1F2F3F4), n);
    EXPECT_EQ(mirel::kReadPortVal, m.devices.m_vecRequests.back().dwCode);
    EXPECT_EQ(nSize, LastInput()[0]);
    EXPECT_EQ(0x2E, LastInput()[4]);   // dword port
    EXPECT_EQ(0x2E, LastInput()[12]);  // byte port
    EXPECT_EQ(0x2E, LastInput()[14]);  // word port
  }
}

TEST_F(Kt9020Library, PortFailureTexts) {
  AttachOk();
  int n = 0;
  uint8_t by = 0;
  m.devices.m_queReplies.push_back(PortReply(Reply(2, 0, 0, 0)));
  EXPECT_FALSE(lib.ReadPortVal(0x2E, &n, 1));
  EXPECT_EQ("Error occurred in ReadPortVal ==> Size not match", lib.LastErrorText());
  m.devices.m_queReplies.push_back(PortReply(Reply(1, 0, 0, 0)));
  EXPECT_FALSE(lib.WritePortVal(0x2E, 5, 4));
  EXPECT_EQ("Error occurred in WritePortVal ==> Size not match", lib.LastErrorText());
  EXPECT_EQ(
      (std::vector<uint8_t>{4, 0, 0, 0, 0x2E, 0, 0, 0, 5, 0, 0, 0, 0x2E, 5, 0x2E, 0, 5, 0, 0, 0}),
      LastInput());

  SDeviceReply failed{false, {}, 0};
  m.devices.m_queReplies = {failed, failed, failed, failed};
  EXPECT_FALSE(lib.ReadPortVal(0x2E, &n, 2));
  EXPECT_EQ("Error occurred in ReadPortVal!", lib.LastErrorText());
  EXPECT_FALSE(lib.WritePortVal(0x2E, 1, 2));
  EXPECT_EQ("Error occurred in WritePortVal!", lib.LastErrorText());
  EXPECT_FALSE(lib.InPortB(0xE4, &by));
  EXPECT_EQ("Error occured in InPortB", lib.LastErrorText());
  EXPECT_FALSE(lib.OutPortB(0xE4, 1));
  EXPECT_EQ("Error occured in WriteData", lib.LastErrorText());

  // Sizes without a value place never reach the driver.
  size_t nBefore = m.devices.m_vecRequests.size();
  EXPECT_FALSE(lib.ReadPortVal(0x2E, &n, 3));
  EXPECT_FALSE(lib.WritePortVal(0x2E, 1, 0));
  EXPECT_EQ(nBefore, m.devices.m_vecRequests.size());
}

TEST_F(Kt9020Library, BytePortsUseTheirViews) {
  AttachOk();
  m.devices.m_queReplies.push_back(PortReply(Reply(1, 0, 0, 0x9C)));
  uint8_t by = 0;
  ASSERT_TRUE(lib.InPortB(kCommandPort, &by));
  EXPECT_EQ(0x9C, by);
  EXPECT_EQ(mirel::kInPortB, m.devices.m_vecRequests.back().dwCode);
  EXPECT_EQ(20u, LastInput().size());
  ASSERT_TRUE(lib.OutPortB(kDataPort, 0x1A5));
  EXPECT_EQ(mirel::kOutPortB, m.devices.m_vecRequests.back().dwCode);
  EXPECT_EQ(0xA5, LastInput()[13]);
  EXPECT_EQ(0xE0, LastInput()[14]);
}

TEST_F(Kt9020Library, ReadMsrReturnsAllSixtyFourBits) {
  AttachOk();
  SDeviceReply reply;
  reply.vecOut = {0x67, 0x45, 0x23, 0x81, 0xEF, 0xCD, 0xAB, 0x89};
  m.devices.m_queReplies.push_back(reply);
  EXPECT_EQ(0x89ABCDEF81234567ull, lib.ReadMsr(0x1A0));
  EXPECT_EQ((std::vector<uint8_t>{0xA0, 0x01, 0, 0}), LastInput());
  EXPECT_EQ(8u, m.devices.m_vecRequests.back().nOutBytes);

  reply.nReturned = 4;
  m.devices.m_queReplies.push_back(reply);
  EXPECT_EQ(0u, lib.ReadMsr(0x1A0));
  EXPECT_EQ("ia32error::err_ring0_size", lib.LastErrorText());
  m.devices.m_queReplies.push_back(SDeviceReply{false, {}, 0});
  EXPECT_EQ(0u, lib.ReadMsr(0x1A0));
  EXPECT_EQ("ia32error::err_ring0_ioctl", lib.LastErrorText());
}

TEST_F(Kt9020Library, WriteMsrSendsIndexLowHigh) {
  AttachOk();
  EXPECT_TRUE(lib.WriteMsr(0x199, 0x11223344, 0x55667788));
  EXPECT_EQ(mirel::kWriteMsr, m.devices.m_vecRequests.back().dwCode);
  EXPECT_EQ(
      (std::vector<uint8_t>{0x99, 0x01, 0, 0, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}),
      LastInput());
  m.devices.m_queReplies.push_back(SDeviceReply{false, {}, 0});
  EXPECT_FALSE(lib.WriteMsr(0x199, 0, 0));
  EXPECT_EQ("ia32error::err_ring0_ioctl", lib.LastErrorText());
}

}  // namespace
