// Behaviour of the simulated Award board as the engine sees it through the
// WinFlash requests and the direct-mode port.
#include <gtest/gtest.h>

#include <vector>

#include "sim/SimBench.h"
#include "sim/SimDevicePort.h"
#include "protocol/WinFlashIoctl.h"

namespace {

using namespace winflash;

// 128 KB ROM at 0xFFFE0000: 64K, 32K, 8K, 8K, 16K blocks.
SSimAwardConfig SmallConfig() {
  SSimAwardConfig cfg;
  cfg.dwRomSize = 0x20000;
  cfg.nEraseRegions = 4;
  cfg.aEraseRegions[0] = {0x10000, 1};
  cfg.aEraseRegions[1] = {0x8000, 1};
  cfg.aEraseRegions[2] = {0x2000, 2};
  cfg.aEraseRegions[3] = {0x4000, 1};
  return cfg;
}

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return v;
}

class AwardBoard : public ::testing::Test {
 protected:
  void Make(const SSimAwardConfig& cfg) {
    m_vecFlash = Pattern(cfg.dwRomSize);
    std::string err;
    ASSERT_TRUE(m_bench.Open(cfg, m_vecFlash, nullptr, &err)) << err;
    m_devices.AddAwardBoard(&m_bench.Board());
    m_pDevice = m_devices.Open("\\\\.\\WINFLASH");
    ASSERT_TRUE(m_pDevice);
  }
  CSimAwardBoard& Board() { return m_bench.Board(); }
  bool Send(uint32_t code, const void* in, uint32_t nIn, void* out = nullptr, uint32_t nOut = 0) {
    uint32_t n = 0;
    return m_pDevice->IoControl(code, in, nIn, out, nOut, &n);
  }
  void SetAddress(uint32_t a) { ASSERT_TRUE(Send(kSetAddress, &a, 4)); }
  std::vector<uint8_t> ReadFlash(uint32_t a, size_t n) {
    SetAddress(a);
    std::vector<uint8_t> v((n + 15) / 16 * 16);
    for (size_t i = 0; i < v.size(); i += 16) EXPECT_TRUE(Send(kReadNext, nullptr, 0, &v[i], 16));
    v.resize(n);
    return v;
  }
  uint32_t ProgramFlash(uint32_t a, const std::vector<uint8_t>& data) {
    SetAddress(a);
    uint32_t last = 0;
    for (size_t i = 0; i < data.size(); i += 16)
      EXPECT_TRUE(Send(kProgramNext, &data[i], 16, &last, 4));
    return last;
  }
  uint32_t EraseBlock(uint32_t a, uint32_t len) {
    SEraseRequest r{a, len};
    uint32_t status = 0xDEAD;
    EXPECT_TRUE(Send(kEraseBlock, &r, sizeof r, &status, 4));
    return status;
  }
  CSimAwardBench m_bench;
  CSimDevicePort m_devices;
  std::unique_ptr<IDevice> m_pDevice;
  std::vector<uint8_t> m_vecFlash;
};

TEST_F(AwardBoard, ProgramWithoutEraseCannotSetBits) {
  Make(SmallConfig());
  const uint32_t a = 0xFFFE0100;
  std::vector<uint8_t> ones(16, 0xFF), zeros(16, 0x00), mixed(16, 0xA5);
  ProgramFlash(a, zeros);
  EXPECT_EQ(ReadFlash(a, 16), zeros);
  ProgramFlash(a, ones);  // a second program does not restore bits
  EXPECT_EQ(ReadFlash(a, 16), zeros);
  EXPECT_EQ(EraseBlock(0xFFFE0000, 0x10000), kStatusOk);
  ProgramFlash(a, mixed);
  EXPECT_EQ(ReadFlash(a, 16), mixed);
  ProgramFlash(a, std::vector<uint8_t>(16, 0x0F));
  EXPECT_EQ(ReadFlash(a, 16), std::vector<uint8_t>(16, 0x05));  // AND of both
}

TEST_F(AwardBoard, EraseFollowsBlockGeometry) {
  Make(SmallConfig());
  struct {
    uint32_t address, size;
  } blocks[] = {{0xFFFE0000, 0x10000},
                {0xFFFF0000, 0x8000},
                {0xFFFF8000, 0x2000},
                {0xFFFFA000, 0x2000},
                {0xFFFFC000, 0x4000}};
  for (auto& b : blocks) EXPECT_EQ(Board().BlockSizeAt(b.address), b.size) << std::hex << b.address;
  EXPECT_EQ(Board().BlockSizeAt(0xFFFF1000), 0u);  // inside a block
  EXPECT_EQ(Board().BlockSizeAt(0xFFFD0000), 0u);  // below the ROM

  // One 8 KB block: exactly that block turns blank.
  EXPECT_EQ(EraseBlock(0xFFFF8000, 0x2000), kStatusOk);
  auto all = ReadFlash(0xFFFE0000, 0x20000);
  for (uint32_t off = 0; off < 0x20000; ++off) {
    bool inside = off >= 0x18000 && off < 0x1A000;
    ASSERT_EQ(all[off], inside ? 0xFF : m_vecFlash[off]) << std::hex << off;
  }
  // A request off a block start changes nothing and reports the outside status.
  EXPECT_EQ(EraseBlock(0xFFFF9000, 0x1000), 0xA0u);
  EXPECT_EQ(ReadFlash(0xFFFFA000, 16),
            std::vector<uint8_t>(m_vecFlash.begin() + 0x1A000, m_vecFlash.begin() + 0x1A010));
  // A length spanning several blocks erases each block starting inside it.
  EXPECT_EQ(EraseBlock(0xFFFFA000, 0x6000), kStatusOk);
  auto top = ReadFlash(0xFFFFA000, 0x6000);
  EXPECT_EQ(top, std::vector<uint8_t>(0x6000, 0xFF));
}

TEST_F(AwardBoard, ProtectedRangesAndOutsideWritesChangeNothing) {
  SSimAwardConfig cfg = SmallConfig();
  cfg.nProtected = 1;
  cfg.aProtected[0] = {0xFFFFC000, 0x4000, 0xA2};
  Make(cfg);
  EXPECT_EQ(EraseBlock(0xFFFFC000, 0x4000), 0xA2u);
  EXPECT_EQ(ProgramFlash(0xFFFFC000, std::vector<uint8_t>(16, 0)), 0xA2u);
  EXPECT_EQ(ReadFlash(0xFFFFC000, 0x4000),
            std::vector<uint8_t>(m_vecFlash.begin() + 0x1C000, m_vecFlash.end()));
  // Writes below the ROM are refused with the outside status.
  EXPECT_EQ(ProgramFlash(0xFFFD0000, std::vector<uint8_t>(16, 0)), 0xA0u);
  EXPECT_EQ(ReadFlash(0xFFFD0000, 16), std::vector<uint8_t>(16, 0xFF));
  // An erase whose span reaches into the protected block erases nothing.
  EXPECT_EQ(EraseBlock(0xFFFFA000, 0x6000), 0xA2u);
  EXPECT_EQ(ReadFlash(0xFFFFA000, 16),
            std::vector<uint8_t>(m_vecFlash.begin() + 0x1A000, m_vecFlash.begin() + 0x1A010));
}

TEST_F(AwardBoard, ReadsAdvanceAndWrapAtTheTopOfTheAddressSpace) {
  Make(SmallConfig());
  auto v = ReadFlash(0xFFFFFFF8, 32);  // 8 ROM bytes, then 0x00000000 onwards
  for (int i = 0; i < 8; ++i) EXPECT_EQ(v[i], m_vecFlash[0x1FFF8 + i]);
  for (int i = 8; i < 32; ++i) EXPECT_EQ(v[i], 0xFF);
}

TEST_F(AwardBoard, PhysicalReadReturnsTheSegmentAndRefusesShortBuffers) {
  SSimAwardConfig cfg = SmallConfig();
  std::vector<uint8_t> flash = Pattern(cfg.dwRomSize), segment(kSegmentSize, 0x5C);
  std::string err;
  ASSERT_TRUE(m_bench.Open(cfg, flash, &segment, &err));
  m_devices.AddAwardBoard(&m_bench.Board());
  m_pDevice = m_devices.Open("\\\\.\\WinFlash");
  std::vector<uint8_t> out(kSegmentSize);
  uint32_t addr = kSegmentAddress, n = 0;
  ASSERT_TRUE(m_pDevice->IoControl(kReadPhysical, &addr, 4, out.data(), kSegmentSize, &n));
  EXPECT_EQ(n, kSegmentSize);
  EXPECT_EQ(out, segment);
  EXPECT_FALSE(m_pDevice->IoControl(kReadPhysical, &addr, 4, out.data(), 100, &n));
  EXPECT_EQ(m_pDevice->LastError(), 122u);
}

TEST_F(AwardBoard, CmosThroughIndexAndDataPorts) {
  Make(SmallConfig());
  SPortRequest idx{kCmosIndexPort, 0x90}, val{kCmosDataPort, 0xDD}, other{0x80, 0x12};
  ASSERT_TRUE(Send(kWritePort, &idx, 4));  // NMI mask bit ignored: index 0x10
  ASSERT_TRUE(Send(kWritePort, &val, 4));
  ASSERT_TRUE(Send(kWritePort, &other, 4));
  EXPECT_EQ(Board().Cmos()[0x10], 0xDD);
  CSimAwardDirectIo direct(&Board());
  uint8_t b = 0;
  ASSERT_TRUE(direct.PortOut(kCmosIndexPort, 0x10));
  ASSERT_TRUE(direct.PortIn(kCmosDataPort, &b));
  EXPECT_EQ(b, 0xDD);
}

TEST_F(AwardBoard, SmiControlTracksNestingAndPort) {
  Make(SmallConfig());
  uint16_t port = 0xB2;
  ASSERT_TRUE(Send(kSetSmiPort, &port, 2));
  EXPECT_EQ(Board().SmiPortSet(), 0xB2);
  uint8_t reply[16];
  uint16_t fn = kSmiQuery;
  ASSERT_TRUE(Send(kSmiControl, &fn, 2, reply, 16));
  EXPECT_EQ(reply[0], 4);
  fn = kSmiBeginFlash;
  Send(kSmiControl, &fn, 2, reply, 16);
  Send(kSmiControl, &fn, 2, reply, 16);
  EXPECT_EQ(Board().SmiDepth(), 2u);
  fn = kSmiEndFlash;
  for (int i = 0; i < 3; ++i) Send(kSmiControl, &fn, 2, reply, 16);
  EXPECT_EQ(Board().SmiDepth(), 0u);
  EXPECT_EQ(Board().SmiUnbalancedEnds(), 1u);
}

TEST_F(AwardBoard, DirectModeMatchesDriverMode) {
  Make(SmallConfig());
  CSimAwardDirectIo direct(&Board());
  SX86Registers r;
  SmiControlRegs(&r, kSmiQuery);
  ASSERT_TRUE(direct.RaiseSmi(0xB2, &r));
  EXPECT_EQ(r.dwEax & 0xFF, 4u);
  // A port without an SMI behind it answers nothing.
  SmiControlRegs(&r, kSmiQuery);
  direct.RaiseSmi(0x80, &r);
  EXPECT_EQ(r.dwEax & 0xFF, kSmiAlFlashControl);

  SmiEraseRegs(&r, 0xFFFFA000, 0x2000);
  ASSERT_TRUE(direct.RaiseSmi(0xB2, &r));
  EXPECT_EQ(r.dwEax & 0xFFFF, kStatusOk);
  uint8_t data[16], back[16];
  for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0x11 * i);
  SmiProgramRegs(&r, 0xFFFFA010, data);
  ASSERT_TRUE(direct.RaiseSmi(0xB2, &r));
  SmiReadRegs(&r, 0xFFFFA010);
  ASSERT_TRUE(direct.RaiseSmi(0xB2, &r));
  SmiReadResult(r, back);
  EXPECT_EQ(0, memcmp(back, data, 16));
  EXPECT_EQ(ReadFlash(0xFFFFA010, 16), std::vector<uint8_t>(data, data + 16));

  std::vector<uint8_t> seg(kSegmentSize);
  ASSERT_TRUE(direct.ReadPhysical(kSegmentAddress, seg.data(), kSegmentSize));
  EXPECT_EQ(0, memcmp(seg.data(), m_vecFlash.data() + 0x10000, kSegmentSize));
}

TEST_F(AwardBoard, LogKeepsCodesInputsAndOutputLengths) {
  Make(SmallConfig());
  Board().Log().Clear();
  uint8_t buf[32];
  SetAddress(0xFFFFFFE0);
  Send(kReadNext, nullptr, 0, buf, 16);
  Send(kReadNext, nullptr, 0, buf + 16, 16);
  Send(0x222FFC, nullptr, 0);  // unknown
  const CSimRequestLog& log = Board().Log();
  ASSERT_EQ(log.Count(), 4u);
  EXPECT_EQ(log.Entry(0)->dwCode, kSetAddress);
  EXPECT_EQ(log.Entry(0)->dwInBytes, 4u);
  EXPECT_EQ(log.Entry(0)->InU32(0), 0xFFFFFFE0u);
  EXPECT_EQ(log.Entry(1)->dwCode, kReadNext);
  EXPECT_EQ(log.Entry(1)->dwOutBytes, 16u);
  EXPECT_EQ(log.Entry(3)->bySucceeded, 0);
  EXPECT_EQ(m_pDevice->LastError(), 1u);
}

TEST_F(AwardBoard, PowerCutStopsAnsweringButKeepsWhatWasWritten) {
  SSimAwardConfig cfg = SmallConfig();
  cfg.dwPowerCutAfter = 3;
  Make(cfg);
  SetAddress(0xFFFFA000);
  EXPECT_EQ(EraseBlock(0xFFFFA000, 0x2000), kStatusOk);
  uint8_t data[16] = {1, 2, 3};
  uint32_t st;
  EXPECT_TRUE(Send(kProgramNext, data, 16, &st, 4));
  EXPECT_FALSE(Send(kProgramNext, data, 16, &st, 4));
  EXPECT_EQ(m_pDevice->LastError(), 31u);
  EXPECT_TRUE(Board().PoweredOff());
  EXPECT_EQ(Board().Flash()[0x1A000], 1);
  EXPECT_EQ(Board().Flash()[0x1A010], 0xFF);
}

// Runs a fixed sequence on a board with seeded faults and returns the flash.
std::vector<uint8_t> RunFaulty(uint32_t seed) {
  SSimAwardConfig cfg = SmallConfig();
  cfg.dwSeed = seed;
  cfg.nStuckBits = 8;
  cfg.nRandomEraseFails = 1;
  cfg.dwSilentProgramRate = 100;
  CSimAwardBench bench;
  std::vector<uint8_t> flash = Pattern(cfg.dwRomSize);
  EXPECT_TRUE(bench.Open(cfg, flash, nullptr, nullptr));
  CSimAwardBoard& b = bench.Board();
  for (uint32_t a = b.RomBase(); a != 0; a += b.BlockSizeAt(a)) b.Erase(a, b.BlockSizeAt(a));
  uint8_t zeros[16] = {};
  for (uint32_t off = 0; off < cfg.dwRomSize; off += 16) b.Program(b.RomBase() + off, zeros, 16);
  return std::vector<uint8_t>(b.Flash(), b.Flash() + cfg.dwRomSize);
}

TEST(AwardBoardFaults, SeededFaultsReproduceAndDifferBySeed) {
  auto a = RunFaulty(7), b = RunFaulty(7), c = RunFaulty(8);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  // Silent programs leave some 16-byte chunks erased, stuck-at-1 bits
  // survive programming zeros.
  size_t nonzero = 0;
  for (uint8_t x : a) nonzero += x != 0;
  EXPECT_GT(nonzero, 0u);
}

TEST(AwardBoardFaults, FailingEraseLeavesBlockNonBlankAndStuckBitsHold) {
  SSimAwardConfig cfg = SmallConfig();
  cfg.nEraseFails = 1;
  cfg.adwEraseFail[0] = 0xFFFF8000;
  cfg.nStuckBits = 4;
  cfg.dwSeed = 3;
  CSimAwardBench bench;
  std::vector<uint8_t> flash(cfg.dwRomSize, 0xFF);
  ASSERT_TRUE(bench.Open(cfg, flash, nullptr, nullptr));
  CSimAwardBoard& b = bench.Board();
  EXPECT_EQ(b.Erase(0xFFFF8000, 0x2000), kStatusOk);  // reports success ...
  EXPECT_NE(b.Flash()[0x18000], 0xFF);                // ... but stays non-blank
  for (uint32_t i = 0; i < b.StuckBitCount(); ++i) {
    uint32_t off;
    uint8_t mask;
    bool value;
    ASSERT_TRUE(b.StuckBit(i, &off, &mask, &value));
    uint32_t block = b.RomBase() + off;
    while (!b.BlockSizeAt(block)) --block;
    b.Erase(block, b.BlockSizeAt(block));
    EXPECT_EQ((b.Flash()[off] & mask) != 0, value);
    uint8_t zeros[16] = {};
    b.Program(b.RomBase() + (off & ~15u), zeros, 16);
    EXPECT_EQ((b.Flash()[off] & mask) != 0, value);
  }
}

TEST(AwardBoardFaults, InvalidConfigurationsAreRefused) {
  CSimAwardBench bench;
  std::vector<uint8_t> flash(0x20000, 0xFF);
  SSimAwardConfig cfg = SmallConfig();
  cfg.aEraseRegions[3].dwCount = 2;  // regions larger than the ROM
  EXPECT_FALSE(bench.Open(cfg, flash, nullptr, nullptr));
  cfg = SmallConfig();
  cfg.dwRomSize = 0x18000;  // not a multiple of 64 KB
  EXPECT_FALSE(bench.Open(cfg, std::vector<uint8_t>(0x18000), nullptr, nullptr));
}

}  // namespace
