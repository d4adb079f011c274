// Board descriptions, state files and restarts of the in-process bench.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/SimBench.h"
#include "tests/sim/TempDir.h"
#include "protocol/WinFlashIoctl.h"

namespace {

TEST(AwardDescription, ParsesEverySetting) {
  const char* text =
      "# demo\n"
      "board award\n"
      "rom_size 256K\n"
      "flash_id 0x5ABF   # SST\n"
      "erase_blocks 64K*3 32K*1 8K*2 16K*1\n"
      "flash img/flash.bin\n"
      "segment /abs/seg.bin\n"
      "state s.state\n"
      "smi_port 0xB2\nsmi_level 5\nsmi_busy 1\n"
      "protect 0xFFFFE000 8K 0xA2\n"
      "outside_status 0xA0\n"
      "cmos 0x10 0x55\n"
      "seed 9\nerase_fail 0xFFFC0000\nerase_fail random\nstuck_bits 3\n"
      "silent_program 5\nsilent_program_rate 20\npower_cut_after 1000\n";
  SSimAwardDescription d;
  std::string err;
  ASSERT_TRUE(ParseAwardDescription(text, "/base/", &d, &err)) << err;
  EXPECT_EQ(d.config.dwRomSize, 0x40000u);
  EXPECT_EQ(d.config.wFlashId, 0x5ABF);
  ASSERT_EQ(d.config.nEraseRegions, 4u);
  EXPECT_EQ(d.config.aEraseRegions[1].dwBlockSize, 0x8000u);
  EXPECT_EQ(d.config.aEraseRegions[0].dwCount, 3u);
  EXPECT_EQ(d.strFlashPath, "/base/img/flash.bin");
  EXPECT_EQ(d.strSegmentPath, "/abs/seg.bin");
  EXPECT_EQ(d.strStatePath, "/base/s.state");
  EXPECT_EQ(d.config.wSmiPort, 0xB2);
  EXPECT_EQ(d.config.bySmiLevel, 5);
  EXPECT_EQ(d.config.bySmiBusy, 1);
  ASSERT_EQ(d.config.nProtected, 1u);
  EXPECT_EQ(d.config.aProtected[0].dwLength, 0x2000u);
  EXPECT_EQ(d.config.aProtected[0].dwStatus, 0xA2u);
  ASSERT_EQ(d.vecCmos.size(), 1u);
  EXPECT_EQ(d.config.dwSeed, 9u);
  EXPECT_EQ(d.config.nEraseFails, 1u);
  EXPECT_EQ(d.config.nRandomEraseFails, 1u);
  EXPECT_EQ(d.config.nStuckBits, 3u);
  EXPECT_EQ(d.config.dwSilentProgramAt, 5u);
  EXPECT_EQ(d.config.dwSilentProgramRate, 20u);
  EXPECT_EQ(d.config.dwPowerCutAfter, 1000u);
}

TEST(AwardDescription, RefusesBadLinesNamingThem) {
  struct {
    const char* text;
    const char* where;
  } cases[] = {
      {"flash f\nrom_size lots\n", "line 2"},
      {"flash f\nerase_blocks 64K\n", "line 2"},
      {"flash f\nprotect 1 2\n", "line 2"},
      {"flash f\nbogus 1\n", "line 2"},
      {"board mirel\nflash f\n", "line 1"},
      {"rom_size 128K\n", "no flash image"},
      {"flash f\nrom_size 0x1FFFFFFFF\n", "line 2"},
      {"flash f\nsilent_program_rate 1001\n", "line 2"},
  };
  for (auto& c : cases) {
    SSimAwardDescription d;
    std::string err;
    EXPECT_FALSE(ParseAwardDescription(c.text, "", &d, &err)) << c.text;
    EXPECT_NE(err.find(c.where), std::string::npos) << err;
  }
}

TEST(AwardBench, StateSurvivesARestartAndAPowerCut) {
  CTempDir dir;
  std::vector<uint8_t> flash(0x20000, 0x33);
  ASSERT_TRUE(SimWriteFile(dir.Path("flash.bin"), flash.data(), flash.size()));
  const std::string text =
      "rom_size 128K\nflash flash.bin\nstate board.state\npower_cut_after 5\ncmos 0x20 0x42\n";
  ASSERT_TRUE(SimWriteFile(dir.Path("board.txt"), text.data(), text.size()));
  std::string err;
  {
    CSimAwardBench bench;
    ASSERT_TRUE(bench.Open(dir.Path("board.txt"), &err)) << err;
    CSimAwardBoard& b = bench.Board();
    EXPECT_EQ(b.Cmos()[0x20], 0x42);
    uint32_t n, st;
    winflash::SEraseRequest er{0xFFFF0000, 0x10000};
    EXPECT_EQ(b.Request(winflash::kEraseBlock, &er, 8, &st, 4, &n), kSimOk);
    uint32_t a = 0xFFFF0000;
    EXPECT_EQ(b.Request(winflash::kSetAddress, &a, 4, nullptr, 0, &n), kSimOk);
    uint8_t data[16] = {0x12, 0x34};
    EXPECT_EQ(b.Request(winflash::kProgramNext, data, 16, &st, 4, &n), kSimOk);
    EXPECT_EQ(b.Request(winflash::kProgramNext, data, 16, &st, 4, &n), kSimOk);
    EXPECT_EQ(b.Request(winflash::kProgramNext, data, 16, &st, 4, &n), kSimOk);
    EXPECT_EQ(b.Request(winflash::kProgramNext, data, 16, &st, 4, &n), kSimNotAnswering);
    // The process ends here without any orderly shutdown of the board.
  }
  CSimAwardBench again;
  ASSERT_TRUE(again.Open(dir.Path("board.txt"), &err)) << err;
  const uint8_t* f = again.Board().Flash();
  EXPECT_EQ(f[0x10000], 0x12);
  EXPECT_EQ(f[0x10020], 0x12);
  EXPECT_EQ(f[0x10030], 0xFF);  // the request after the cut never happened
  EXPECT_EQ(f[0x00000], 0x33);
  EXPECT_EQ(again.Board().Cmos()[0x20], 0x42);
  EXPECT_FALSE(again.Board().PoweredOff());  // power is back after a restart

  CSimAwardBench fromState;
  ASSERT_TRUE(fromState.OpenState(dir.Path("board.state"), &err)) << err;
  EXPECT_EQ(fromState.Board().Flash()[0x10000], 0x12);
}

TEST(AwardBench, RefusesDamagedStateFiles) {
  CTempDir dir;
  std::vector<uint8_t> flash(0x20000, 0x33);
  CSimAwardBench bench;
  ASSERT_TRUE(bench.Open(SSimAwardConfig{0x20000}, flash, nullptr, nullptr));
  std::vector<uint8_t> blob(bench.Board().StateBlob(),
                            bench.Board().StateBlob() + bench.Board().StateSize());
  CSimAwardBoard b;
  CSimFileHost host;
  EXPECT_TRUE(b.Restore(blob.data(), blob.size(), host.Host()));
  EXPECT_FALSE(b.Restore(blob.data(), blob.size() - 1, host.Host()));
  std::vector<uint8_t> bad = blob;
  bad[0] = 0x01;  // ROM size no longer valid
  EXPECT_FALSE(b.Restore(bad.data(), bad.size(), host.Host()));
  EXPECT_FALSE(b.Restore(blob.data(), 10, host.Host()));
}

}  // namespace

namespace {

TEST(DemoBoard, BuildTreeHoldsARunningAwardBoardAndItsUpdate) {
  const char* pszBinary = getenv("TESSARO_BINARY_DIR");
  if (!pszBinary) GTEST_SKIP() << "run through ctest: TESSARO_BINARY_DIR names the build tree";
  std::string dir = std::string(pszBinary) + "/sim/boards/demo/";
  CSimAwardBench bench;
  std::string err;
  ASSERT_TRUE(bench.Open(dir + "board.txt", &err)) << err;
  CSimAwardBoard& b = bench.Board();
  EXPECT_EQ(b.Config().dwRomSize, 0x80000u);
  EXPECT_EQ(memcmp(b.Segment() + 0xE061, "Phoenix - Award", 15), 0);
  EXPECT_EQ(b.Segment()[0xE059] | (b.Segment()[0xE05A] << 8), 0x60BF);
  // The board's geometry is the one its BIOS describes in its erase map.
  uint32_t a = b.RomBase();
  for (int i = 0; i < 10; ++i) {
    uint8_t kb = b.Segment()[0xE4C0 + 2 * i], n = b.Segment()[0xE4C1 + 2 * i];
    if (n == 0) break;
    for (int k = 0; k < n; ++k, a += kb * 1024)
      ASSERT_EQ(b.BlockSizeAt(a), kb * 1024u) << std::hex << a;
  }
  EXPECT_EQ(a, 0u);
  std::vector<uint8_t> update;
  ASSERT_TRUE(SimReadFile(dir + "update.bin", 1 << 20, &update));
  EXPECT_EQ(update.size(), 0x80000u);
  EXPECT_NE(memcmp(update.data(), b.Flash(), 0x1000), 0);
  CSimAwardBench fromState;
  EXPECT_TRUE(fromState.OpenState(dir + "demo.state", &err)) << err;
}

}  // namespace
