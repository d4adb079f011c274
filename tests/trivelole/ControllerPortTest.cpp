// The plug-in's controller port: a profile record written through it comes
// back, in process over the bench and through the library's exports bound
// by name; a missing library or export leaves the port failing cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "protocol/MirelIoctl.h"
#include "sim/SimBench.h"
#include "tests/support/BenchControllerPort.h"
#include "trivelole/ControllerPort.h"

namespace {

constexpr int kWriteByte = 0x21;
constexpr int kReadBlock = 0x1A;
constexpr int kWriteBlock = 0x2A;

class ControllerPort : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string strError;
    ASSERT_TRUE(m_bench.Open(SSimMirelDescription{}, &strError)) << strError;
  }

  // Profile 3's clock record (51 bytes at 0x036F while profile 3 is selected
  // by writing 3 to 0x100B) is stored by writing 3 to 0x100C, and shows
  // again after another profile was selected in between.
  void WriteAndReadBackProfile(IControllerPort& port) {
    std::vector<uint8_t> vecClock(mirel::kClockRecordSize);
    for (size_t i = 0; i < vecClock.size(); ++i) vecClock[i] = static_cast<uint8_t>(0x30 + i);
    const uint8_t byThree = 3, byFour = 4;
    const int nSize = int(mirel::kClockRecordSize);
    ASSERT_EQ(1, port.SetAip(kWriteByte, mirel::kAddrProfileSelect, 0, &byThree));
    ASSERT_EQ(1, port.SetAip(kWriteBlock, mirel::kAddrClockRecord, nSize, vecClock.data()));
    ASSERT_EQ(1, port.SetAip(kWriteByte, mirel::kAddrProfileCommit, 0, &byThree));

    std::vector<uint8_t> vecRead(nSize + 8, 0xCC);
    ASSERT_EQ(1, port.SetAip(kWriteByte, mirel::kAddrProfileSelect, 0, &byFour));
    ASSERT_EQ(nSize, port.GetAip(kReadBlock, mirel::kAddrClockRecord, nSize, vecRead.data()));
    EXPECT_NE(0, std::memcmp(vecRead.data(), vecClock.data(), nSize)) << "profile 4 shows 3";

    ASSERT_EQ(1, port.SetAip(kWriteByte, mirel::kAddrProfileSelect, 0, &byThree));
    ASSERT_EQ(nSize, port.GetAip(kReadBlock, mirel::kAddrClockRecord, nSize, vecRead.data()));
    EXPECT_EQ(vecClock, std::vector<uint8_t>(vecRead.begin(), vecRead.begin() + nSize));
    EXPECT_EQ(0xCC, vecRead[nSize]);  // nothing past what the command asked for
    EXPECT_EQ(0, std::memcmp(m_controller.ClockRecord(3), vecClock.data(), nSize));
  }

  CSimMirelBench m_bench;  // a fresh controller with the factory defaults
  CSimMirelController& m_controller = m_bench.Controller();
};

TEST_F(ControllerPort, ProfileRecordWrittenInProcessIsReadBack) {
  CBenchControllerPort port(&m_controller);
  WriteAndReadBackProfile(port);
}

// ------------------------------------------------- binding by name --

// The exports a fake library offers: the bench port behind GetAIP/SetAIP.
IControllerPort* g_pBehindExports = nullptr;
int KT9020_CALL BenchGetAip(int nCommand, int nAddress, int nCount, void* pDst) {
  return g_pBehindExports->GetAip(nCommand, nAddress, nCount, pDst);
}
int KT9020_CALL BenchSetAip(int nCommand, int nAddress, int nCount, const void* pData) {
  return g_pBehindExports->SetAip(nCommand, nAddress, nCount, pData);
}

struct SLoaderLog {
  std::vector<std::string> vecLoads;
  std::vector<std::string> vecLookups;
};

// A library loader over a table of exports; records what it was asked.
class CFakeLoader : public ILibraryLoader {
 public:
  CFakeLoader(SLoaderLog* pLog, bool bLoads, std::map<std::string, PfnExport> mapExports)
      : m_pLog(pLog), m_bLoads(bLoads), m_mapExports(std::move(mapExports)) {}
  bool Load(const std::string& strName) override {
    m_pLog->vecLoads.push_back(strName);
    return m_bLoads;
  }
  PfnExport FindExport(const char* pszName) override {
    m_pLog->vecLookups.push_back(pszName);
    auto it = m_mapExports.find(pszName);
    return it == m_mapExports.end() ? nullptr : it->second;
  }

 private:
  SLoaderLog* m_pLog;
  bool m_bLoads;
  std::map<std::string, PfnExport> m_mapExports;
};

ILibraryLoader::PfnExport Export(int(KT9020_CALL* pfn)(int, int, int, void*)) {
  return reinterpret_cast<ILibraryLoader::PfnExport>(pfn);
}
ILibraryLoader::PfnExport Export(int(KT9020_CALL* pfn)(int, int, int, const void*)) {
  return reinterpret_cast<ILibraryLoader::PfnExport>(pfn);
}

TEST_F(ControllerPort, ProfileRecordWrittenThroughTheBoundExportsIsReadBack) {
  CBenchControllerPort bench(&m_controller);
  g_pBehindExports = &bench;
  SLoaderLog log;
  CLibraryControllerPort port(std::make_unique<CFakeLoader>(
      &log, true,
      std::map<std::string, ILibraryLoader::PfnExport>{{"GetAIP", Export(&BenchGetAip)},
                                                       {"SetAIP", Export(&BenchSetAip)}}));
  ASSERT_EQ(EControllerBind::Bound, port.Bind());
  EXPECT_TRUE(port.IsBound());
  EXPECT_EQ(std::vector<std::string>{"KT9020DLL.dll"}, log.vecLoads);
  EXPECT_EQ((std::vector<std::string>{"GetAIP", "SetAIP"}), log.vecLookups);
  WriteAndReadBackProfile(port);
  // The library's refusals come through unchanged: an unknown command is 0.
  uint8_t aby[8] = {};
  EXPECT_EQ(0, port.GetAip(0x19, 0, 0, aby));
  g_pBehindExports = nullptr;
}

struct SMissingCase {
  const char* pszName;
  bool bLoads;
  std::map<std::string, ILibraryLoader::PfnExport> mapExports;
  EControllerBind eExpected;
  const char* pszMissing;
};

TEST(ControllerPortBinding, MissingLibraryOrExportIsReportedAndEveryCallFails) {
  const SMissingCase aCases[] = {
      {"no library", false, {}, EControllerBind::NoLibrary, "KT9020DLL.dll"},
      {"no exports", true, {}, EControllerBind::NoExport, "GetAIP"},
      {"no SetAIP", true, {{"GetAIP", Export(&BenchGetAip)}}, EControllerBind::NoExport, "SetAIP"},
      {"no GetAIP", true, {{"SetAIP", Export(&BenchSetAip)}}, EControllerBind::NoExport, "GetAIP"},
  };
  for (const SMissingCase& c : aCases) {
    SLoaderLog log;
    CLibraryControllerPort port(std::make_unique<CFakeLoader>(&log, c.bLoads, c.mapExports));
    EXPECT_EQ(c.eExpected, port.Bind()) << c.pszName;
    EXPECT_FALSE(port.IsBound()) << c.pszName;
    EXPECT_EQ(c.pszMissing, port.Missing()) << c.pszName;
    // Unbound, nothing is called (the exports' target is not even set) and
    // the caller's buffer stays as it was.
    uint8_t aby[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(0, port.GetAip(0x11, 0x10, 0, aby)) << c.pszName;
    EXPECT_EQ(0xCC, aby[0]) << c.pszName;
    EXPECT_EQ(0, port.SetAip(0x21, 0x10, 0, aby)) << c.pszName;
  }
}

}  // namespace
