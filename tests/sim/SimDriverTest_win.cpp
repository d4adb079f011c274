// The bench's kernel drivers under Wine: services created and started
// through the service control manager, devices opened by name, requests
// round-tripped with DeviceIoControl, state written through to the files.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "protocol/MirelCommands.h"
#include "protocol/MirelIoctl.h"
#include "sim/SimBench.h"
#include "protocol/WinFlashIoctl.h"
#include "tests/support/BenchDriver_win.h"

namespace {

using CDevice = CBenchDevice;

double Microseconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return (b.QuadPart - a.QuadPart) * 1e6 / f.QuadPart;
}

TEST(WinFlashDriver, ServiceStartsAndAnswersEveryRequestWithWriteThrough) {
  std::string bin = BinaryDir();
  std::string state = bin + "\\sim\\winflash-test.state";
  ASSERT_TRUE(CopyFileA((bin + "\\sim\\boards\\demo\\demo.state").c_str(), state.c_str(), FALSE));
  const uint32_t kBlock = 0xFFFFC000;  // the demo board's 4 KB DMI block
  uint8_t data[16];
  for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0x30 + i);
  {
    CBenchDriver service("WINFLASH", bin + "\\bin\\WinFlash.sys", state);
    ASSERT_TRUE(service.Created());
    ASSERT_TRUE(service.Start()) << service.LastError();
    CDevice dev("\\\\.\\WinFlash");
    ASSERT_TRUE(dev.Open()) << GetLastError();

    std::vector<uint8_t> seg(winflash::kSegmentSize);
    uint32_t addr = winflash::kSegmentAddress;
    DWORD n = 0;
    ASSERT_TRUE(dev.Io(winflash::kReadPhysical, &addr, 4, seg.data(), winflash::kSegmentSize, &n));
    EXPECT_EQ(n, winflash::kSegmentSize);
    EXPECT_EQ(memcmp(seg.data() + 0xE061, "Phoenix - Award", 15), 0);

    uint16_t port = 0xB2, fn = winflash::kSmiQuery;
    uint8_t reply[16] = {};
    EXPECT_TRUE(dev.Io(winflash::kSetSmiPort, &port, 2, nullptr, 0));
    EXPECT_TRUE(dev.Io(winflash::kSmiControl, &fn, 2, reply, 16));
    EXPECT_EQ(reply[0], 4);

    uint8_t chunk[16];
    addr = kBlock;
    ASSERT_TRUE(dev.Io(winflash::kSetAddress, &addr, 4, nullptr, 0));
    ASSERT_TRUE(dev.Io(winflash::kReadNext, nullptr, 0, chunk, 16));
    EXPECT_EQ(memcmp(chunk, "IMD$", 4), 0);
    winflash::SEraseRequest er{kBlock, 0x1000};
    uint32_t status = 0xFFFF;
    ASSERT_TRUE(dev.Io(winflash::kEraseBlock, &er, sizeof er, &status, 4));
    EXPECT_EQ(status, winflash::kStatusOk);
    ASSERT_TRUE(dev.Io(winflash::kSetAddress, &addr, 4, nullptr, 0));
    ASSERT_TRUE(dev.Io(winflash::kProgramNext, data, 16, &status, 4));
    uint8_t ones[16];
    memset(ones, 0xFF, 16);
    ASSERT_TRUE(dev.Io(winflash::kSetAddress, &addr, 4, nullptr, 0));
    ASSERT_TRUE(dev.Io(winflash::kProgramNext, ones, 16, &status, 4));  // cannot set bits
    ASSERT_TRUE(dev.Io(winflash::kSetAddress, &addr, 4, nullptr, 0));
    ASSERT_TRUE(dev.Io(winflash::kReadNext, nullptr, 0, chunk, 16));
    EXPECT_EQ(memcmp(chunk, data, 16), 0);
    ASSERT_TRUE(dev.Io(winflash::kReadNext, nullptr, 0, chunk, 16));
    EXPECT_EQ(chunk[0], 0xFF);

    winflash::SPortRequest idx{winflash::kCmosIndexPort, 0x10}, val{winflash::kCmosDataPort, 0xDD};
    EXPECT_TRUE(dev.Io(winflash::kWritePort, &idx, 4, nullptr, 0));
    EXPECT_TRUE(dev.Io(winflash::kWritePort, &val, 4, nullptr, 0));
    EXPECT_FALSE(dev.Io(0x222FFC, nullptr, 0, nullptr, 0));

    // Round-trip time of one 16-byte read (reported in the bench's notes).
    const int kCount = 200;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < kCount; ++i) dev.Io(winflash::kReadNext, nullptr, 0, chunk, 16);
    QueryPerformanceCounter(&t1);
    printf("WinFlash.sys round trip: %.0f us per request\n", Microseconds(t0, t1) / kCount);
    service.Stop();
  }
  // The state file holds what was written, without any orderly shutdown
  // of the board's core.
  CSimAwardBench bench;
  std::string err;
  ASSERT_TRUE(bench.OpenState(state, &err)) << err;
  const uint8_t* p = bench.Board().Flash() + (kBlock - bench.Board().RomBase());
  EXPECT_EQ(memcmp(p, data, 16), 0);
  EXPECT_EQ(p[16], 0xFF);
  EXPECT_EQ(bench.Board().Cmos()[0x10], 0xDD);
  bench.Close();
  DeleteFileA(state.c_str());
}

TEST(WinFlashDriver, FindsItsStateBesideTheDriverWithoutParameters) {
  // As the program installs it: a service whose image path is the driver,
  // with "WinFlash.state" beside it (what the run command prepares).
  std::string bin = BinaryDir();
  std::string dir = bin + "\\sim\\beside";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(
      CopyFileA((bin + "\\bin\\WinFlash.sys").c_str(), (dir + "\\WinFlash.sys").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((bin + "\\sim\\boards\\demo\\demo.state").c_str(),
                        (dir + "\\WinFlash.state").c_str(), FALSE));
  {
    CBenchDriver service("WINFLASH", dir + "\\WinFlash.sys", "");
    ASSERT_TRUE(service.Start()) << service.LastError();
    CDevice dev("\\\\.\\WinFlash");
    ASSERT_TRUE(dev.Open());
    std::vector<uint8_t> seg(winflash::kSegmentSize);
    uint32_t addr = winflash::kSegmentAddress;
    ASSERT_TRUE(dev.Io(winflash::kReadPhysical, &addr, 4, seg.data(), winflash::kSegmentSize));
    EXPECT_EQ(seg[0xE059] | (seg[0xE05A] << 8), 0x60BF);
    service.Stop();
  }
  // Without any state file the board does not come up.
  ASSERT_TRUE(DeleteFileA((dir + "\\WinFlash.state").c_str()));
  CBenchDriver service("WINFLASH", dir + "\\WinFlash.sys", "");
  EXPECT_FALSE(service.Start());
}

// The program's driver-service helper against Wine's service control
// manager: a second installation (1073) and a second start (1056) are what
// the callers wanted; stop and removal work on the running driver.
TEST(WinFlashDriver, ServiceHelperTakesAnExistingAndARunningServiceAsDone) {
  std::string bin = BinaryDir();
  std::string state = bin + "\\sim\\winflash-helper.state";
  ASSERT_TRUE(CopyFileA((bin + "\\sim\\boards\\demo\\demo.state").c_str(), state.c_str(), FALSE));
  {
    CBenchDriver driver("WINFLASH", bin + "\\bin\\WinFlash.sys", state);
    ASSERT_TRUE(driver.Created());
    SPlatform& p = GetWin32Platform();
    {
      // What Windows itself answers to the second creation.
      std::unique_ptr<IServiceManager> pManager = p.pServices->OpenManager(kScManagerAllAccess);
      ASSERT_NE(nullptr, pManager);
      SServiceConfig config;
      config.strName = config.strDisplayName = "WINFLASH";
      config.dwDesiredAccess = kServiceAllAccess;
      config.dwServiceType = kServiceKernelDriver;
      config.dwStartType = kServiceDemandStart;
      config.dwErrorControl = kServiceErrorNormal;
      config.strBinaryPath = bin + "\\bin\\WinFlash.sys";
      EXPECT_EQ(nullptr, pManager->Create(config));
      EXPECT_EQ(kErrorServiceExists, pManager->LastError());
    }
    CDriverService service(*p.pServices, *p.pSystem, BenchDriverSettings("WINFLASH"));
    EXPECT_EQ(EDriverServiceResult::Ok, service.Install(bin + "\\elsewhere\\WinFlash.sys"));
    EXPECT_EQ(EDriverServiceResult::Ok, service.Start()) << service.LastError();
    EXPECT_EQ(EDriverServiceResult::Ok, service.Start()) << service.LastError();
    {
      CDevice dev("\\\\.\\WinFlash");
      EXPECT_TRUE(dev.Open());
    }
    EXPECT_EQ(EDriverServiceResult::Ok, service.Stop()) << service.LastError();
    EXPECT_EQ(EDriverServiceResult::Ok, service.Remove()) << service.LastError();
    EXPECT_EQ(EDriverServiceResult::OpenFailed, service.Start());
  }
  DeleteFileA(state.c_str());
}

// One controller transaction: a record out, a record back.
bool Transact(CDevice& dev, uint8_t cmd, uint16_t address, uint8_t count,
              const std::vector<uint8_t>& data, std::vector<uint8_t>* pReply) {
  std::vector<uint8_t> rec(mirel::kCommandRecordSize, 0);
  uint32_t send = 0, reply = 0;
  if (!mirel::CommandLengths(cmd, count, &send, &reply)) return false;
  rec[mirel::kRecCommand] = cmd;
  rec[mirel::kRecRequestLength] = static_cast<uint8_t>(mirel::RequestLength(cmd, send));
  rec[mirel::kRecReplyLength] = static_cast<uint8_t>(reply);
  rec[mirel::kRecAddressHigh] = static_cast<uint8_t>(address >> 8);
  rec[mirel::kRecAddressLow] = static_cast<uint8_t>(address);
  size_t at = mirel::kRecData;
  if (cmd == mirel::kCmdReadCount || cmd == mirel::kCmdWriteCount) rec[at++] = count;
  for (uint8_t b : data) rec[at++] = b;
  pReply->assign(mirel::kCommandRecordSize, 0);
  bool bWrite = (cmd >= 0x21 && cmd <= 0x28) || cmd == mirel::kCmdWriteCount;
  return dev.Io(bWrite ? mirel::kSetAip : mirel::kGetAip, rec.data(), mirel::kCommandRecordSize,
                pReply->data(), mirel::kCommandRecordSize) &&
         (*pReply)[mirel::kRecReplyLength] != mirel::kReplyTimeout;
}

std::vector<uint8_t> ProfilePattern() {
  std::vector<uint8_t> v(mirel::kVoltageRecordSize);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(0xA0 + i);
  return v;
}

// Runs in a second process started by the test below.
TEST(MirelChild, ReadsTheProfileTheParentWrote) {
  if (!getenv("TESSARO_MIREL_CHILD")) GTEST_SKIP() << "started by MirelDriver only";
  CDevice dev("\\\\.\\Mirel");
  ASSERT_TRUE(dev.Open());
  std::vector<uint8_t> reply;
  ASSERT_TRUE(Transact(dev, 0x21, mirel::kAddrProfileSelect, 0, {2}, &reply));
  ASSERT_TRUE(Transact(dev, mirel::kCmdReadCount, mirel::kAddrVoltageRecord,
                       mirel::kVoltageRecordSize, {}, &reply));
  EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 4, reply.begin() + 4 + mirel::kVoltageRecordSize),
            ProfilePattern());
}

TEST(MirelDriver, ServiceStartsAndKeepsProfilesAcrossProcesses) {
  std::string bin = BinaryDir();
  std::string state = bin + "\\sim\\mirel-test.state";
  DeleteFileA(state.c_str());  // the driver starts a factory-default controller
  CBenchDriver service("Mirel", bin + "\\bin\\Mirel.sys", state);
  ASSERT_TRUE(service.Created());
  ASSERT_TRUE(service.Start()) << service.LastError();
  {
    CDevice dev("\\\\.\\Mirel");
    ASSERT_TRUE(dev.Open()) << GetLastError();
    std::vector<uint8_t> reply;
    ASSERT_TRUE(Transact(dev, mirel::kCmdReadCount, mirel::kAddrBoardCode, 2, {}, &reply));
    EXPECT_EQ(reply[4], 0x00);
    EXPECT_EQ(reply[5], 0xA3);
    ASSERT_TRUE(Transact(dev, 0x21, mirel::kAddrProfileSelect, 0, {2}, &reply));
    ASSERT_TRUE(Transact(dev, mirel::kCmdWriteCount, mirel::kAddrVoltageRecord,
                         mirel::kVoltageRecordSize, ProfilePattern(), &reply));
    ASSERT_TRUE(Transact(dev, 0x21, mirel::kAddrProfileCommit, 0, {2}, &reply));
    ASSERT_TRUE(Transact(dev, 0x21, mirel::kAddrProfileSelect, 0, {0}, &reply));

    mirel::SPortRecord rec{}, out{};
    rec.bySize = 1;
    rec.wPort = mirel::kCommandPort;
    rec.byValue = 0x5C;
    ASSERT_TRUE(dev.Io(mirel::kOutPortB, &rec, sizeof rec, &out, sizeof out));
    ASSERT_TRUE(dev.Io(mirel::kInPortB, &rec, sizeof rec, &out, sizeof out));
    EXPECT_EQ(out.byValue, 0x5C);
    uint32_t msr = 0x198;
    uint8_t value[8];
    EXPECT_TRUE(dev.Io(mirel::kReadMsr, &msr, 4, value, 8));

    const int kCount = 100;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < kCount; ++i) Transact(dev, 0x11, mirel::kAddrLiveFlags, 0, {}, &reply);
    QueryPerformanceCounter(&t1);
    printf("Mirel.sys round trip: %.0f us per command record\n", Microseconds(t0, t1) / kCount);
  }

  // A second process sees the profile.
  char szExe[MAX_PATH];
  GetModuleFileNameA(nullptr, szExe, MAX_PATH);
  std::string cmd = std::string("\"") + szExe + "\" --gtest_filter=MirelChild.*";
  SetEnvironmentVariableA("TESSARO_MIREL_CHILD", "1");
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(
      CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  SetEnvironmentVariableA("TESSARO_MIREL_CHILD", nullptr);
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u);

  // And the profile is in the state file for the next start.
  service.Stop();
  CSimMirelBench bench;
  std::string err;
  ASSERT_TRUE(bench.OpenState(state, &err)) << err;
  std::vector<uint8_t> v(bench.Controller().VoltageRecord(2),
                         bench.Controller().VoltageRecord(2) + mirel::kVoltageRecordSize);
  EXPECT_EQ(v, ProfilePattern());
  bench.Close();
  DeleteFileA(state.c_str());
}

}  // namespace
