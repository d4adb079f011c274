// The simulated Mirel controller as KT9020DLL reaches it through "\\.\Mirel".
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "protocol/MirelCommands.h"
#include "protocol/MirelIoctl.h"
#include "sim/SimBench.h"
#include "sim/SimDevicePort.h"

namespace {

using namespace mirel;

// A command record as the library builds it.
std::vector<uint8_t> Record(uint8_t cmd, uint16_t address, uint8_t count = 0,
                            const std::vector<uint8_t>& data = {}) {
  std::vector<uint8_t> r(kCommandRecordSize, 0);
  uint32_t send = 0, reply = 0;
  EXPECT_TRUE(CommandLengths(cmd, count, &send, &reply));
  r[kRecCommand] = cmd;
  r[kRecRequestLength] = static_cast<uint8_t>(RequestLength(cmd, send));
  r[kRecReplyLength] = static_cast<uint8_t>(reply);
  r[kRecAddressHigh] = static_cast<uint8_t>(address >> 8);
  r[kRecAddressLow] = static_cast<uint8_t>(address);
  size_t at = kRecData;
  if (cmd == kCmdReadCount || cmd == kCmdWriteCount) r[at++] = count;
  for (uint8_t b : data) r[at++] = b;
  return r;
}

class Mirel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_bench.Open(SSimMirelDescription(), nullptr));
    m_devices.AddMirelController(&m_bench.Controller());
    m_pDevice = m_devices.Open("\\\\.\\mirel");
    ASSERT_TRUE(m_pDevice);
  }
  // Sends a record; returns the reply (empty when the request failed).
  std::vector<uint8_t> Send(const std::vector<uint8_t>& rec, uint32_t code = kGetAip) {
    std::vector<uint8_t> out(kCommandRecordSize, 0xCC);
    uint32_t n = 0;
    if (!m_pDevice->IoControl(code, rec.data(), static_cast<uint32_t>(rec.size()), out.data(),
                              kCommandRecordSize, &n))
      return {};
    EXPECT_EQ(n, kCommandRecordSize);
    return out;
  }
  std::vector<uint8_t> Read(uint16_t address, uint8_t count) {
    auto reply = Send(Record(kCmdReadCount, address, count));
    EXPECT_EQ(reply[kRecReplyLength], count);
    return std::vector<uint8_t>(reply.begin() + kRecReplyData,
                                reply.begin() + kRecReplyData + count);
  }
  void Write(uint16_t address, const std::vector<uint8_t>& data) {
    auto reply =
        Send(Record(kCmdWriteCount, address, static_cast<uint8_t>(data.size()), data), kSetAip);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[kRecReplyLength], 1);
  }
  void WriteByte(uint16_t address, uint8_t value) {
    auto reply = Send(Record(0x21, address, 0, {value}), kSetAip);
    ASSERT_EQ(reply[kRecReplyLength], 1);
  }
  CSimMirelBench m_bench;
  CSimDevicePort m_devices;
  std::unique_ptr<IDevice> m_pDevice;
};

TEST_F(Mirel, AnswersEveryCommandOfTheTableWithItsLengths) {
  for (int cmd = 0x11; cmd <= 0x18; ++cmd) {
    auto reply = Send(Record(static_cast<uint8_t>(cmd), kAddrBoardCode));
    ASSERT_FALSE(reply.empty()) << cmd;
    EXPECT_EQ(reply[kRecReplyLength], cmd - 0x10);
    EXPECT_EQ(reply[kRecCommand], cmd);
  }
  for (int cmd = 0x21; cmd <= 0x28; ++cmd) {
    auto reply = Send(Record(static_cast<uint8_t>(cmd), 0x2000, 0,
                             std::vector<uint8_t>(cmd - 0x20, static_cast<uint8_t>(cmd))),
                      kSetAip);
    ASSERT_FALSE(reply.empty()) << cmd;
    EXPECT_EQ(reply[kRecReplyLength], 1);
  }
  EXPECT_EQ(m_bench.Controller().Memory()[0x2007], 0x28);
  EXPECT_EQ(Send(Record(kCmdProbe, 0x1000), kSetAip)[kRecReplyLength], 1);
  EXPECT_EQ(Read(kAddrBoardCode, 2), (std::vector<uint8_t>{0x00, 0xA3}));
  EXPECT_EQ(Read(kAddrReferenceClock, 1)[0], 2);
  EXPECT_EQ(Read(kAddrCounters, kCountersSize).size(), kCountersSize);
}

TEST_F(Mirel, RefusesUnknownCodesAndInconsistentRecordsBeforeDoingAnything) {
  auto rec = Record(0x21, 0x2000, 0, {0x55});
  for (uint8_t bad : {0x10, 0x19, 0x1B, 0x29, 0x2B, 0x00, 0xFF}) {
    rec[kRecCommand] = bad;
    EXPECT_TRUE(Send(rec, kSetAip).empty()) << int(bad);
    EXPECT_EQ(m_pDevice->LastError(), 87u);
  }
  rec = Record(0x21, 0x2000, 0, {0x55});
  rec[kRecRequestLength] = 4;  // claims two data bytes
  EXPECT_TRUE(Send(rec, kSetAip).empty());
  rec = Record(kCmdReadCount, 0xFFFF, 2);  // runs past the address space
  EXPECT_TRUE(Send(rec).empty());
  EXPECT_EQ(m_bench.Controller().Memory()[0x2000], 0);
  std::vector<uint8_t> shortRec(20, 0);
  uint8_t out[kCommandRecordSize];
  uint32_t n;
  EXPECT_FALSE(m_pDevice->IoControl(kGetAip, shortRec.data(), 20, out, sizeof out, &n));
}

TEST_F(Mirel, ProfilesAreSelectedReadWrittenAndCommitted) {
  WriteByte(kAddrProfileSelect, 3);
  auto clock3 = Read(kAddrClockRecord, kClockRecordSize);
  auto volt3 = Read(kAddrVoltageRecord, kVoltageRecordSize);
  EXPECT_EQ(clock3[0], 3);
  EXPECT_EQ(volt3[0], 3);
  // Store a changed clock record into profile 5; its voltage record stays.
  auto volt5 = std::vector<uint8_t>(m_bench.Controller().VoltageRecord(5),
                                    m_bench.Controller().VoltageRecord(5) + kVoltageRecordSize);
  clock3[15] = 99;
  Write(kAddrClockRecord, clock3);
  WriteByte(kAddrProfileCommit, 5);
  WriteByte(kAddrProfileSelect, 5);
  EXPECT_EQ(Read(kAddrClockRecord, kClockRecordSize), clock3);
  EXPECT_EQ(Read(kAddrVoltageRecord, kVoltageRecordSize), volt5);
  // Profile 3 itself is unchanged.
  WriteByte(kAddrProfileSelect, 3);
  EXPECT_EQ(Read(kAddrClockRecord, kClockRecordSize)[15], 75 + 6);
}

// A commit stores the record just written. A record written before it
// whose own commit timed out stays out of the committed profile, and a
// timed-out record write leaves nothing for the next commit to store.
TEST_F(Mirel, CommitStoresOnlyTheRecordJustWritten) {
  CSimMirelController& ctl = m_bench.Controller();
  const std::vector<uint8_t> volt4(ctl.VoltageRecord(4), ctl.VoltageRecord(4) + kVoltageRecordSize);
  const std::vector<uint8_t> volt5(ctl.VoltageRecord(5), ctl.VoltageRecord(5) + kVoltageRecordSize);
  const std::vector<uint8_t> clock5(ctl.ClockRecord(5), ctl.ClockRecord(5) + kClockRecordSize);
  WriteByte(kAddrProfileSelect, 4);
  std::vector<uint8_t> volt = Read(kAddrVoltageRecord, kVoltageRecordSize);
  volt[1] = 60;
  Write(kAddrVoltageRecord, volt);
  ctl.InjectTimeouts(1);  // profile 4's commit is lost
  EXPECT_EQ(Send(Record(0x21, kAddrProfileCommit, 0, {4}), kSetAip)[kRecReplyLength],
            kReplyTimeout);
  std::vector<uint8_t> clock = clock5;
  clock[15] = 150;
  Write(kAddrClockRecord, clock);
  WriteByte(kAddrProfileCommit, 5);
  EXPECT_EQ(std::vector<uint8_t>(ctl.ClockRecord(5), ctl.ClockRecord(5) + kClockRecordSize), clock);
  EXPECT_EQ(std::vector<uint8_t>(ctl.VoltageRecord(5), ctl.VoltageRecord(5) + kVoltageRecordSize),
            volt5);
  EXPECT_EQ(std::vector<uint8_t>(ctl.VoltageRecord(4), ctl.VoltageRecord(4) + kVoltageRecordSize),
            volt4);
  // A timed-out record write, then a commit: nothing is stored.
  ctl.InjectTimeouts(1);
  clock[15] = 160;
  EXPECT_EQ(Send(Record(kCmdWriteCount, kAddrClockRecord, kClockRecordSize, clock),
                 kSetAip)[kRecReplyLength],
            kReplyTimeout);
  WriteByte(kAddrProfileCommit, 6);
  EXPECT_EQ(150, ctl.ClockRecord(5)[15]);
  EXPECT_EQ(75 + 2 * 6, ctl.ClockRecord(6)[15]);
}

TEST_F(Mirel, InjectedTimeoutAnswersFFAndChangesNothing) {
  m_bench.Controller().InjectTimeouts(1);
  auto reply = Send(Record(0x21, 0x2000, 0, {0x77}), kSetAip);
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply[kRecReplyLength], kReplyTimeout);
  EXPECT_EQ(m_bench.Controller().Memory()[0x2000], 0);
  EXPECT_EQ(Send(Record(0x21, 0x2000, 0, {0x77}), kSetAip)[kRecReplyLength], 1);
  EXPECT_EQ(m_bench.Controller().Memory()[0x2000], 0x77);
}

TEST_F(Mirel, PortRecordsEchoWithTheirSizes) {
  auto port = [&](uint32_t code, uint8_t size, uint32_t p, uint32_t value, SPortRecord* reply) {
    SPortRecord rec{};
    rec.bySize = size;
    rec.dwPort = p, rec.dwValue = value, rec.byPort = static_cast<uint8_t>(p);
    rec.byValue = static_cast<uint8_t>(value), rec.wPort = static_cast<uint16_t>(p);
    rec.wValue = static_cast<uint16_t>(value);
    uint32_t n = 0;
    return m_pDevice->IoControl(code, &rec, sizeof rec, reply, sizeof *reply, &n) &&
           n == sizeof rec;
  };
  SPortRecord r{};
  ASSERT_TRUE(port(kOutPortB, 1, kCommandPort, 0x5A, &r));
  ASSERT_TRUE(port(kInPortB, 1, kCommandPort, 0, &r));
  EXPECT_EQ(r.byValue, 0x5A);
  EXPECT_EQ(r.bySize, 1);
  ASSERT_TRUE(port(kWritePortVal, 4, 0x300, 0x11223344, &r));
  ASSERT_TRUE(port(kReadPortVal, 2, 0x302, 0, &r));
  EXPECT_EQ(r.wValue, 0x1122);
  EXPECT_EQ(r.bySize, 2);
  ASSERT_TRUE(port(kReadPortVal, 4, 0x300, 0, &r));
  EXPECT_EQ(r.dwValue, 0x11223344u);
  ASSERT_TRUE(port(kReadPortVal, 1, kDataPort, 0, &r));
  EXPECT_EQ(r.byValue, 0xFF);  // never written
  EXPECT_FALSE(port(kReadPortVal, 3, 0x300, 0, &r));
  EXPECT_FALSE(port(kReadPortVal, 4, 0xFFFE, 0, &r));
}

TEST_F(Mirel, MsrTableReadsWritesAndRefusesUnknownIndexes) {
  uint32_t idx = 0x198, n = 0;
  uint8_t out[8];
  ASSERT_TRUE(m_pDevice->IoControl(kReadMsr, &idx, 4, out, 8, &n));
  EXPECT_EQ(n, 8u);
  SMsrWrite w{0x199, 0x0000061A, 0};
  ASSERT_TRUE(m_pDevice->IoControl(kWriteMsr, &w, sizeof w, nullptr, 0, &n));
  idx = 0x199;
  ASSERT_TRUE(m_pDevice->IoControl(kReadMsr, &idx, 4, out, 8, &n));
  EXPECT_EQ(out[0], 0x1A);
  idx = 0xC0000080;
  EXPECT_FALSE(m_pDevice->IoControl(kReadMsr, &idx, 4, out, 8, &n));
  w.dwIndex = 0x12345;
  EXPECT_FALSE(m_pDevice->IoControl(kWriteMsr, &w, sizeof w, nullptr, 0, &n));
  const CSimRequestLog& log = m_bench.Controller().Log();
  ASSERT_EQ(log.Count(), 5u);
  EXPECT_EQ(log.Entry(1)->dwCode, kWriteMsr);
  EXPECT_EQ(log.Entry(1)->InU32(4), 0x61Au);
}

TEST(MirelBench, ProfilesPersistAcrossRestarts) {
  char tmpl[] = "/tmp/simmirelXXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string desc = dir + "/mirel.txt";
  const std::string text =
      "board mirel\nstate mirel.state\nmemory 0x0104 01\nmsr 0x10 1 2\ntimeout_at 99\n";
  ASSERT_TRUE(SimWriteFile(desc, text.data(), text.size()));
  {
    CSimMirelBench bench;
    std::string err;
    ASSERT_TRUE(bench.Open(desc, &err)) << err;
    CSimMirelController& c = bench.Controller();
    EXPECT_EQ(c.Memory()[kAddrReferenceClock], 1);
    uint32_t n = 0;
    auto sel = Record(0x21, kAddrProfileSelect, 0, {6});
    std::vector<uint8_t> out(kCommandRecordSize);
    c.Request(kSetAip, sel.data(), kCommandRecordSize, out.data(), kCommandRecordSize, &n);
    std::vector<uint8_t> volt(kVoltageRecordSize, 0x42);
    auto wr = Record(kCmdWriteCount, kAddrVoltageRecord, kVoltageRecordSize, volt);
    c.Request(kSetAip, wr.data(), kCommandRecordSize, out.data(), kCommandRecordSize, &n);
    auto commit = Record(0x21, kAddrProfileCommit, 0, {6});
    c.Request(kSetAip, commit.data(), kCommandRecordSize, out.data(), kCommandRecordSize, &n);
  }
  CSimMirelBench again;
  std::string err;
  ASSERT_TRUE(again.Open(desc, &err)) << err;
  EXPECT_EQ(again.Controller().VoltageRecord(6)[10], 0x42);
  EXPECT_EQ(again.Controller().SelectedProfile(), 6u);
  EXPECT_EQ(again.Controller().Config().nMsrs, 1u);
  EXPECT_EQ(again.Controller().Config().dwTimeoutAt, 99u);
  SSimMirelDescription d;
  EXPECT_FALSE(ParseMirelDescription("profile 7 clock 00\n", "", &d, &err));
  EXPECT_FALSE(ParseMirelDescription("board award\n", "", &d, &err));
  EXPECT_FALSE(ParseMirelDescription("memory 0xFFFF 01 02\n", "", &d, &err));
  system(("rm -rf '" + dir + "'").c_str());
}

// The bytes of a memory line follow the address whatever white space
// separates them; a line without a space used to throw out of the parser.
TEST(SimMirelDescription, ReadsMemoryBytesAfterAnyWhiteSpace) {
  SSimMirelDescription d;
  std::string err;
  ASSERT_TRUE(ParseMirelDescription("memory 0x10\t01 02\n", "", &d, &err)) << err;
  ASSERT_EQ(d.vecMemory.size(), 1u);
  EXPECT_EQ(d.vecMemory[0].first, 0x10);
  EXPECT_EQ(d.vecMemory[0].second, (std::vector<uint8_t>{1, 2}));
  // A form feed is white space to the word split but not between hex
  // bytes: refused, not thrown.
  EXPECT_FALSE(ParseMirelDescription(std::string("memory 0\f01\n"), "", &d, &err));
  EXPECT_FALSE(ParseMirelDescription(std::string("memory\f0\f01\n"), "", &d, &err));
}

}  // namespace
