// KT9020DLL under load and under killing, through the bench's Mirel.sys:
// four client processes (roles) each run iterations of a write of their
// own controller slot, its read-back and a shared read (Kt9020Soak.h),
// while the test kills processes at seeded points and starts a replacement
// that carries on from the role's progress. Two kinds of kill:
//   - parked: at a seeded iteration the client takes the library's mutex
//     "KT9020_MUTEX", writes inside it and signals; the test kills it with
//     the mutex owned, so the next waiter (in the library or in a client)
//     finds it abandoned;
//   - on progress: as soon as a role has done a seeded number of
//     iterations the test kills its process wherever it is: in a library
//     call holding the mutex or waiting for it, or between calls. The
//     write in flight may or may not have reached the controller; the
//     replacement writes it again.
// The soak passes when every role finishes (no wait is without a limit:
// no progress for kStallMs fails the test instead of hanging it), no
// client saw a failed call or a read that no write of its role explains,
// and the controller's state file at the end holds exactly the last write
// of every slot, with everything else (the profile records among it) as
// before.
//
// The size is a parameter: TESSARO_SOAK_ITERATIONS iterations per role
// (default 1000, three library calls each), TESSARO_SOAK_KILLS kills
// (default 12, half of each kind) and TESSARO_SOAK_SEED (default 15). A
// larger run by hand, for example:
//   export TESSARO_SOAK_ITERATIONS=5000 TESSARO_SOAK_KILLS=40
//   ctest --preset wine64 -R kt9020dll_soak --output-on-failure
// (run from a shell where scripts/wine-session.sh started the session).
// The figures of a run are printed at its end.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "protocol/MirelIoctl.h"
#include "sim/SimBench.h"
#include "tests/kt9020dll/ClientProcess_win.h"
#include "tests/kt9020dll/Kt9020Soak.h"
#include "tests/support/BenchDriver_win.h"

namespace {

constexpr DWORD kStallMs = 30000;  // no role advancing for this long: a deadlock
constexpr DWORD kExitMs = 10000;   // a killed process is gone within this
constexpr char kTag[] = "soak";

uint32_t EnvNumber(const char* pszName, uint32_t dwDefault) {
  const char* psz = std::getenv(pszName);
  return psz && *psz ? static_cast<uint32_t>(std::strtoul(psz, nullptr, 0)) : dwDefault;
}

std::string StatePath() { return BinaryDir() + "\\sim\\kt9020-soak.state"; }

// A copy of a controller's memory and profile records.
struct SControllerImage {
  std::vector<uint8_t> vecMemory;
  std::vector<uint8_t> vecProfiles[mirel::kProfiles];
};
bool ReadState(SControllerImage* pImage) {
  CSimMirelBench bench;
  std::string strError;
  if (!bench.OpenState(StatePath(), &strError)) return false;
  const uint8_t* pMemory = bench.Controller().Memory();
  pImage->vecMemory.assign(pMemory, pMemory + kSimMirelMemory);
  for (uint32_t n = 0; n < mirel::kProfiles; ++n) {
    const uint8_t* pVolt = bench.Controller().VoltageRecord(n);
    const uint8_t* pClock = bench.Controller().ClockRecord(n);
    pImage->vecProfiles[n].assign(pVolt, pVolt + mirel::kVoltageRecordSize);
    pImage->vecProfiles[n].insert(pImage->vecProfiles[n].end(), pClock,
                                  pClock + mirel::kClockRecordSize);
  }
  return true;
}

// The shared progress record of the roles, created by the test.
class CSharedProgress {
 public:
  CSharedProgress() {
    m_hMapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SSoakShared),
                           (std::string("kt9020_soak_") + kTag).c_str());
    if (m_hMapping)
      m_pShared =
          static_cast<SSoakShared*>(MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (m_pShared) ZeroMemory(m_pShared, sizeof(SSoakShared));
  }
  ~CSharedProgress() {
    if (m_pShared) UnmapViewOfFile(m_pShared);
    if (m_hMapping) CloseHandle(m_hMapping);
  }
  CSharedProgress(const CSharedProgress&) = delete;
  CSharedProgress& operator=(const CSharedProgress&) = delete;
  SSoakShared* operator->() const { return m_pShared; }
  bool Ready() const { return m_pShared != nullptr; }

 private:
  HANDLE m_hMapping = nullptr;
  SSoakShared* m_pShared = nullptr;
};

struct SKill {
  uint32_t nAt;  // iteration: parked at it, or killed once this many are done
  bool bParked;
};

// One role: its living process, the kills still ahead of it, its event.
struct SRole {
  std::unique_ptr<CClient> pProcess;
  std::deque<SKill> queKills;  // in iteration order
  std::unique_ptr<CSignal> pHeld;
  bool bFinished = false;
  int nStarts = 0;
};

struct SFigures {
  int nParkedKills = 0, nProgressKills = 0, nKillsInCall = 0, nStarts = 0;
  long nTransactions = 0, nAbandoned = 0;
  DWORD dwMs = 0;
};

class Kt9020Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    m_nIterations = std::max<uint32_t>(EnvNumber("TESSARO_SOAK_ITERATIONS", 1000), 4);
    m_nKills = EnvNumber("TESSARO_SOAK_KILLS", 12);
    m_dwSeed = EnvNumber("TESSARO_SOAK_SEED", 15);
    // A factory-default controller in a state file of its own.
    DeleteFileA(StatePath().c_str());
    SSimMirelDescription desc;
    desc.strStatePath = StatePath();
    {
      CSimMirelBench bench;
      std::string strError;
      ASSERT_TRUE(bench.Open(desc, &strError)) << strError;
    }
    ASSERT_TRUE(ReadState(&m_before));
    m_pDriver.reset(new CBenchDriver("Mirel", BinDir() + "Mirel.sys", StatePath()));
    ASSERT_TRUE(m_pDriver->Created());
    ASSERT_TRUE(m_pDriver->Start()) << m_pDriver->LastError();
    ASSERT_TRUE(m_progress.Ready());
  }
  void TearDown() override {
    for (SRole& role : m_aRoles) role.pProcess.reset();  // terminates what still runs
    m_pDriver.reset();
  }

  // The seeded kills, at most one per (role, iteration), never at the
  // first or last iteration; alternately parked and on progress.
  void PlanKills() {
    std::mt19937 rng(m_dwSeed);
    std::set<std::pair<int, uint32_t>> setUsed;
    for (uint32_t k = 0; k < m_nKills; ++k) {
      const int nRole = static_cast<int>(rng() % kSoakRoles);
      const uint32_t nAt = 1 + rng() % (m_nIterations - 2);
      if (!setUsed.insert({nRole, nAt}).second) continue;
      m_aRoles[nRole].queKills.push_back({nAt, k % 2 == 0});
    }
    for (SRole& role : m_aRoles)
      std::sort(role.queKills.begin(), role.queKills.end(),
                [](const SKill& a, const SKill& b) { return a.nAt < b.nAt; });
  }

  // Starts the role's next process from its progress.
  void Start(int nRole) {
    SRole& role = m_aRoles[nRole];
    const uint32_t nFirst = static_cast<uint32_t>(m_progress->aRoles[nRole].nNext);
    // Kills on progress the role has passed already are dropped.
    while (!role.queKills.empty() && !role.queKills.front().bParked &&
           role.queKills.front().nAt <= nFirst)
      role.queKills.pop_front();
    long nPark = -1;
    for (const SKill& kill : role.queKills)
      if (kill.bParked) {
        nPark = static_cast<long>(kill.nAt);
        break;
      }
    role.pHeld->Reset();
    role.pProcess.reset();
    role.pProcess = std::make_unique<CClient>(
        BinDir(), std::string("soak ") + kTag + " " + std::to_string(nRole) + " " +
                      std::to_string(m_dwSeed) + " " + std::to_string(nFirst) + " " +
                      std::to_string(m_nIterations) + " " + std::to_string(nPark));
    ++role.nStarts;
    ++m_figures.nStarts;
    ASSERT_TRUE(role.pProcess->Started()) << "role " << nRole;
  }

  void Kill(int nRole) {
    SRole& role = m_aRoles[nRole];
    const bool bParked = role.queKills.front().bParked;
    role.queKills.pop_front();
    TerminateProcess(role.pProcess->Process(), 9);
    ASSERT_EQ(9, role.pProcess->Exit(kExitMs)) << "role " << nRole << " did not end when killed";
    ++(bParked ? m_figures.nParkedKills : m_figures.nProgressKills);
    // Waiting for the mutex or holding it: the client marks its calls.
    if (!bParked && m_progress->aRoles[nRole].nInCall) ++m_figures.nKillsInCall;
    m_progress->aRoles[nRole].nInCall = 0;
    Start(nRole);
  }

  std::string Progress() const {
    std::string str;
    for (int n = 0; n < kSoakRoles; ++n)
      str += " role " + std::to_string(n) + ": " + std::to_string(m_progress->aRoles[n].nNext) +
             "/" + std::to_string(m_nIterations) + (m_aRoles[n].bFinished ? " finished;" : ";");
    return str;
  }

  // Runs every role to its end; false (with a failure) on a stall or a
  // process that ended by itself without finishing cleanly.
  bool RunRoles() {
    for (int n = 0; n < kSoakRoles; ++n) {
      m_aRoles[n].pHeld = std::make_unique<CSignal>(kTag, ("held" + std::to_string(n)).c_str());
      Start(n);
      if (HasFatalFailure()) return false;
    }
    const DWORD dwStart = GetTickCount();
    DWORD dwLastAdvance = dwStart;
    long nLastSum = -1;
    for (;;) {
      // What can happen next: a process ends, or a parked one signals.
      HANDLE ah[2 * kSoakRoles];
      int anRole[2 * kSoakRoles];
      bool abHeld[2 * kSoakRoles];
      DWORD n = 0;
      for (int r = 0; r < kSoakRoles; ++r) {
        if (m_aRoles[r].bFinished) continue;
        ah[n] = m_aRoles[r].pProcess->Process();
        anRole[n] = r;
        abHeld[n++] = false;
        if (!m_aRoles[r].queKills.empty() && m_aRoles[r].queKills.front().bParked) {
          ah[n] = m_aRoles[r].pHeld->Handle();
          anRole[n] = r;
          abHeld[n++] = true;
        }
      }
      if (n == 0) break;
      const DWORD dwWait = WaitForMultipleObjects(n, ah, FALSE, 10);
      if (dwWait < WAIT_OBJECT_0 + n) {
        const DWORD i = dwWait - WAIT_OBJECT_0;
        const int r = anRole[i];
        if (abHeld[i]) {
          Kill(r);
        } else {
          const long nExit = m_aRoles[r].pProcess->Exit(0);
          EXPECT_EQ(0, nExit) << "role " << r << " ended by itself;" << Progress();
          if (nExit != 0) return false;
          m_aRoles[r].bFinished = true;
        }
      } else if (dwWait != WAIT_TIMEOUT) {
        ADD_FAILURE() << "WaitForMultipleObjects: " << GetLastError();
        return false;
      }
      if (HasFatalFailure()) return false;
      // Kills on progress.
      for (int r = 0; r < kSoakRoles; ++r) {
        SRole& role = m_aRoles[r];
        if (!role.bFinished && !role.queKills.empty() && !role.queKills.front().bParked &&
            static_cast<uint32_t>(m_progress->aRoles[r].nNext) >= role.queKills.front().nAt)
          Kill(r);
        if (HasFatalFailure()) return false;
      }
      // The watchdog: some role must advance.
      long nSum = 0;
      for (int r = 0; r < kSoakRoles; ++r) nSum += m_progress->aRoles[r].nNext;
      if (nSum != nLastSum) {
        nLastSum = nSum;
        dwLastAdvance = GetTickCount();
      } else if (GetTickCount() - dwLastAdvance > kStallMs) {
        ADD_FAILURE() << "no role advanced for " << kStallMs << " ms (a deadlock?);" << Progress();
        return false;
      }
    }
    m_figures.dwMs = GetTickCount() - dwStart;
    return true;
  }

  uint32_t m_nIterations = 0, m_nKills = 0, m_dwSeed = 0;
  SControllerImage m_before;
  std::unique_ptr<CBenchDriver> m_pDriver;
  CSharedProgress m_progress;
  SRole m_aRoles[kSoakRoles];
  SFigures m_figures;
};

TEST_F(Kt9020Soak, KilledHoldersNeitherDeadlockNorLoseOrTearAnyWrite) {
  PlanKills();
  ASSERT_TRUE(RunRoles());

  for (int r = 0; r < kSoakRoles; ++r) {
    const SSoakRole& role = m_progress->aRoles[r];
    EXPECT_EQ(static_cast<int32_t>(m_nIterations), role.nNext) << "role " << r;
    EXPECT_EQ(0, role.nErrors) << "role " << r << ": failed calls or bad reads";
    EXPECT_TRUE(m_aRoles[r].queKills.empty()) << "role " << r << ": a planned kill never came";
    m_figures.nTransactions += role.nTransactions;
    m_figures.nAbandoned += role.nAbandoned;
  }
  std::printf(
      "soak: seed %u, %u iterations x %d roles, %ld library calls in %lu ms (%.0f per second); "
      "kills: %d parked holding the mutex, %d on progress (%d of them inside GetAIP/SetAIP); %d "
      "processes started; %ld own waits found the mutex abandoned\n",
      m_dwSeed, m_nIterations, kSoakRoles, m_figures.nTransactions,
      static_cast<unsigned long>(m_figures.dwMs),
      m_figures.dwMs ? m_figures.nTransactions * 1000.0 / m_figures.dwMs : 0.0,
      m_figures.nParkedKills, m_figures.nProgressKills, m_figures.nKillsInCall, m_figures.nStarts,
      m_figures.nAbandoned);
  EXPECT_GT(m_figures.nParkedKills, 0);

  // The controller as the driver left it (stopped: it writes through).
  m_pDriver->Stop();
  SControllerImage after;
  ASSERT_TRUE(ReadState(&after));
  std::vector<uint8_t> vecExpected = m_before.vecMemory;
  for (int r = 0; r < kSoakRoles; ++r)
    for (uint32_t nSlot = 0; nSlot < kSoakSlots && nSlot < m_nIterations; ++nSlot) {
      // The last iteration that wrote the slot.
      const uint32_t i = nSlot + (m_nIterations - 1 - nSlot) / kSoakSlots * kSoakSlots;
      const uint32_t dwValue = SoakValue(r, i), dwCheck = ~dwValue;
      uint8_t* p = &vecExpected[SoakSlotAddress(r, nSlot)];
      for (int b = 0; b < 4; ++b) {
        p[b] = static_cast<uint8_t>(dwValue >> (8 * b));
        p[4 + b] = static_cast<uint8_t>(dwCheck >> (8 * b));
      }
    }
  size_t nDiffering = 0, nFirst = 0;
  for (size_t a = 0; a < vecExpected.size(); ++a)
    if (vecExpected[a] != after.vecMemory[a] && nDiffering++ == 0) nFirst = a;
  EXPECT_EQ(0u, nDiffering) << "controller bytes differ from the expected content, the first at 0x"
                            << std::hex << nFirst;
  for (uint32_t n = 0; n < mirel::kProfiles; ++n)
    EXPECT_EQ(m_before.vecProfiles[n], after.vecProfiles[n]) << "profile " << n;
}

}  // namespace
