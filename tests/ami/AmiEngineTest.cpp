// The AMI engine on the bench's in-process AMI board: whole SMI request
// sequences for information, save and update, the protected tails of the
// options, and every refused file and injected fault ending before
// anything is written.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/Lh5.h"
#include "platform/fake/FakeServicePort.h"
#include "platform/fake/Fakes.h"
#include "sim/SimAmiBench.h"
#include "sim/SimDevicePort.h"
#include "tessaro/ami/AmiEngine.h"
#include "tests/ami/AmiRig.h"
#include "tests/support/ProgramStateScope.h"

namespace {

constexpr uint32_t kRom = 0x100000;
constexpr uint32_t kBlocks = kRom / ami::kBlockSize;
const char kUpdatePath[] = "C:\\work\\update.rom";

const char kBoard[] =
    "board ami\nrom_size 1M\nboot_block 64K\nnvram 64K\nsmi_port 0xB2\nidentity 1ABKQ0\n"
    "rom_type F\nsfi 0xF500\ntag 0xF600 P4X00 01\ndate 12/08/26\nseed 11\n";
const char kUpdate[] =
    "board ami\nrom_size 1M\nsmi_port 0xB2\nidentity 1ABKQ0\nrom_type F\nsfi 0xF500\n"
    "tag 0xF600 P4X00 02\ndate 03/14/27\nseed 12\n";

// Records what the window's sinks were told.
struct SSinks : IDisplaySinks {
  std::vector<std::string> vecStatus;
  std::string strPercent;
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int) override {}
  void SetStatusText(const std::string& str) override { vecStatus.push_back(str); }
  void SetPercentText(const std::string& str) override { strPercent = str; }
};

bool Decode(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  return Lh5Decode(pIn, nIn, pOut, nOut);
}

std::vector<uint8_t> Rom(const std::string& strDescription) {
  SSimAmiDescription desc;
  std::string strError;
  EXPECT_TRUE(ParseAmiDescription(strDescription, ".", &desc, &strError)) << strError;
  return BuildAmiRom(desc);
}

class AmiEngine : public ::testing::Test, protected SAmiRig {
 protected:
  // The board of kBoard plus extra description lines; the engine detects
  // it and sets up its access as start-up does.
  void Start(const std::string& strExtra = "") {
    SSimAmiDescription desc;
    std::string strError;
    ASSERT_TRUE(ParseAmiDescription(std::string(kBoard) + strExtra, ".", &desc, &strError))
        << strError;
    m_bench.Close();
    ASSERT_TRUE(m_bench.Open(desc, &strError)) << strError;
    Attach();
  }
  // The engine on the bench's board as it is.
  void Attach() {
    m_vecRunning.assign(Board().Rom(), Board().Rom() + kRom);
    m_devices.AddAmiBoard(&Board());
    m_pEngine.reset();
    m_pHw.reset(new CAmiHwAccess(Ports(), m_resources, false));
    ASSERT_TRUE(m_pHw->DetectAmiBios());
    m_pHw->OpenAmiAccess();
    ASSERT_TRUE(m_pHw->IsAmiIdentityKnown() && m_pHw->IsAmiDriverReady());
    m_pEngine.reset(new CAmiEngine(m_platform, m_resources, *m_pHw, Decode));
    ASSERT_EQ(0u, m_pEngine->Prepare(m_sinks));
    Board().ClearLogs();
    m_sinks.vecStatus.clear();
  }
  CSimAmiBoard& Board() { return m_bench.Board(); }

  // The function words the board saw, in order.
  std::vector<uint16_t> Functions() {
    std::vector<uint16_t> vec;
    for (uint32_t i = 0; i < Board().SmiCount(); ++i) vec.push_back(Board().SmiEntry(i)->wFunction);
    return vec;
  }
  size_t Count(uint16_t wFunction) {
    size_t n = 0;
    for (uint16_t w : Functions()) n += w == wFunction;
    return n;
  }
  uint32_t Update(const std::vector<uint8_t>& vecFile, const FlashOptions& options) {
    m_files.m_mapFiles[kUpdatePath] = vecFile;
    FlashOptions copy = options;
    return m_pEngine->Update(kUpdatePath, &copy, "", m_sinks);
  }
  bool RomEquals(const std::vector<uint8_t>& vec, uint32_t dwFrom, uint32_t dwTo) {
    return std::memcmp(Board().Rom() + dwFrom, vec.data() + dwFrom, dwTo - dwFrom) == 0;
  }

  CProgramStateScope m_state;
  CSimAmiBench m_bench;
  SSinks m_sinks;
  std::unique_ptr<CAmiHwAccess> m_pHw;
  std::unique_ptr<CAmiEngine> m_pEngine;
  std::vector<uint8_t> m_vecRunning;
};

TEST_F(AmiEngine, StartShowsTheBoardsFactsAndAsksTheInterfaceTwice) {
  Start();
  EXPECT_EQ("1ABKQ0", m_pEngine->VersionText());
  EXPECT_EQ("P4X00.01", m_pEngine->PartNumberText());
  EXPECT_EQ("12/08/26", m_pEngine->DateText());
  EXPECT_NE("Unknown", m_pEngine->FlashPartName());
  CAmiBios bios(m_platform, m_resources, *m_pHw, m_sinks, Decode);
  ASSERT_EQ(0u, bios.Initialize());
  EXPECT_EQ(kRom, bios.m_dwBiosSize);
  EXPECT_EQ(0x10000u, bios.m_dwResult1);
  EXPECT_EQ(0x10000u, bios.m_dwResult2);
  EXPECT_EQ((std::vector<uint16_t>{ami::kSmiGetInfo, ami::kSmiGetInfo}), Functions());
}

TEST_F(AmiEngine, SaveWritesTheWholeRomInOneSequence) {
  Start();
  ASSERT_EQ(0u, m_pEngine->Save("C:\\work\\amibios.rom", false, m_sinks));
  EXPECT_EQ(m_vecRunning, m_files.m_mapFiles["C:\\work\\amibios.rom"]);
  const std::vector<uint16_t> vec = Functions();
  ASSERT_EQ(2 + 1 + kBlocks + 1, vec.size());
  EXPECT_EQ(ami::kSmiOpen, vec[2]);
  EXPECT_EQ(ami::kSmiClose, vec.back());
  EXPECT_EQ(kBlocks, Count(ami::kSmiRead));
  EXPECT_EQ(kRom, Board().SmiEntry(3)->dwRemaining);  // counting down from the ROM's size
  EXPECT_EQ(ami::kBlockSize, Board().SmiEntry(3 + kBlocks - 1)->dwRemaining);
  EXPECT_EQ("BIOS Save Success!", m_sinks.vecStatus.back());
  EXPECT_EQ("0%", m_sinks.strPercent);

  // A file that cannot be written is an error, never a success.
  m_files.m_bFailWrites = true;
  m_pEngine->Save("C:\\work\\again.rom", true, m_sinks);
  EXPECT_EQ("BIOS Save Error!", m_sinks.vecStatus.back());
}

TEST_F(AmiEngine, UpdateWritesTheFileOutsideTheProtectedTail) {
  struct SCase {
    bool bBootBlock, bNvRam;
    uint32_t dwProtected;  // bytes at the ROM's end left as they were
  } aCases[] = {
      {true, true, 0}, {false, true, 0x10000}, {true, false, 0x10000}, {false, false, 0x20000}};
  const std::vector<uint8_t> vecUpdate = Rom(kUpdate);
  for (const SCase& c : aCases) {
    Start();
    FlashOptions options = DefaultFlashOptions();
    options.BootBlock = c.bBootBlock;
    options.NvRam = c.bNvRam;
    options.ClearCMOS = 0;
    m_ui.m_queAnswers = {kIdYes, kIdNo};  // flash, then no reboot now
    ASSERT_EQ(0u, Update(vecUpdate, options)) << c.dwProtected;
    EXPECT_TRUE(RomEquals(vecUpdate, 0, kRom - c.dwProtected)) << c.dwProtected;
    EXPECT_TRUE(RomEquals(m_vecRunning, kRom - c.dwProtected, kRom)) << c.dwProtected;
    const size_t nBlocks = (kRom - c.dwProtected) / ami::kBlockSize;
    // A kept tail is looked at first (its top block must not be erased):
    // one more sequence that reads that block only.
    const size_t nChecks = c.dwProtected ? 1 : 0;
    EXPECT_EQ(2 * nBlocks, Count(ami::kSmiErase));  // two passes
    EXPECT_EQ(nBlocks, Count(ami::kSmiProgram));
    EXPECT_EQ(nBlocks + nChecks, Count(ami::kSmiRead));
    EXPECT_EQ(1 + nChecks, Count(ami::kSmiOpen));
    EXPECT_EQ(1 + nChecks, Count(ami::kSmiClose));
    EXPECT_EQ("BIOS Flash Success!", m_sinks.vecStatus.back());
  }
}

TEST_F(AmiEngine, ClearCmosSetsItsFourLocationsAndTheQuestionSaysSo) {
  Start();
  FlashOptions options = DefaultFlashOptions();
  options.ClearCMOS = 1;
  m_ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_EQ(0u, Update(Rom(kUpdate), options));
  for (uint8_t byLocation : ami::kClearCmosLocations) EXPECT_EQ(0xFF, Board().Cmos()[byLocation]);
  EXPECT_NE(std::string::npos, m_ui.m_vecBoxes[0].strText.find("CMOS will be cleared"));
  EXPECT_NE(std::string::npos, m_ui.m_vecBoxes[0].strText.find("File BIOS ID : P4X00.02"));
  EXPECT_NE(std::string::npos, m_ui.m_vecBoxes[0].strText.find("File Build Date : 03/14/27"));
}

TEST_F(AmiEngine, RefusedFilesAndNoWriteNothing) {
  std::vector<uint8_t> vecUpdate = Rom(kUpdate);
  struct SCase {
    const char* pszName;
    std::vector<uint8_t> vecFile;
    uint32_t nResult;
  } aCases[] = {
      {"one byte short", std::vector<uint8_t>(vecUpdate.begin(), vecUpdate.end() - 1), 753},
      {"one byte long",
       [&] {
         std::vector<uint8_t> v = vecUpdate;
         v.push_back(0);
         return v;
       }(),
       753},
      {"other model", Rom(std::string(kUpdate) + "tag 0xF600 Q9Z99 02\n"), 762},
      {"no header", Rom(std::string(kUpdate) + "break no_header\n"), 760},
      {"cut chain", Rom(std::string(kUpdate) + "break cut_chain\n"), 802},
      {"looping chain", Rom(std::string(kUpdate) + "break looping_chain\n"), 802},
      {"module past the end", Rom(std::string(kUpdate) + "break link_outside\n"), 802},
      {"corrupt compressed module", Rom(std::string(kUpdate) + "break corrupt_module\n"), 760},
      {"wrong original size", Rom(std::string(kUpdate) + "break wrong_size\n"), 760},
      {"wrong sum", Rom(std::string(kUpdate) + "break wrong_sum\n"), 760},
      {"the user says No", vecUpdate, 0},
  };
  Start();
  for (const SCase& c : aCases) {
    Board().ClearLogs();
    m_ui.m_queAnswers = {kIdNo};
    EXPECT_EQ(c.nResult, Update(c.vecFile, DefaultFlashOptions())) << c.pszName;
    EXPECT_EQ(0u, Count(ami::kSmiErase) + Count(ami::kSmiProgram) + Count(ami::kSmiOpen))
        << c.pszName;
  }
  EXPECT_TRUE(RomEquals(m_vecRunning, 0, kRom));
}

// A board without "_TG_" has no model; looking for an empty model would
// match any file, so the id check refuses every file instead.
TEST_F(AmiEngine, BoardWithoutATagRefusesEveryFile) {
  SSimAmiDescription desc;
  std::string strError;
  ASSERT_TRUE(ParseAmiDescription(kBoard, ".", &desc, &strError));
  std::vector<uint8_t> vecRom = BuildAmiRom(desc);
  std::memset(vecRom.data() + kRom - ami::kSegmentSize + 0xF600, 0x11, 16);
  ASSERT_TRUE(m_bench.Open(desc.config, vecRom, nullptr, &strError)) << strError;
  Attach();
  EXPECT_STREQ("", m_pHw->m_szModel);
  m_ui.m_queAnswers = {kIdYes, kIdNo};
  EXPECT_EQ(762u, Update(Rom(kUpdate), DefaultFlashOptions()));
  EXPECT_EQ(0u, Count(ami::kSmiErase) + Count(ami::kSmiOpen));
}

TEST_F(AmiEngine, InjectedFaultsEndWithTheirMessageAndNoSuccessText) {
  struct SCase {
    const char* pszExtra;
    uint32_t nResult;
    const char* pszLastStatus;
  } aCases[] = {
      {"erase_fail_block 3\n", 734, "BIOS Erase Error!"},
      {"program_fail_block 3\n", 786, "BIOS Program Error!"},
      {"silent_program 3\n", 764, "BIOS Verify Error!"},
      {"info_error1 0x12\n", 794, nullptr},
      {"busy_echo 5 3\n", 0, "BIOS Flash Success!"},  // re-sent until answered
  };
  const std::vector<uint8_t> vecUpdate = Rom(kUpdate);
  for (const SCase& c : aCases) {
    SSimAmiDescription desc;
    std::string strError;
    ASSERT_TRUE(ParseAmiDescription(std::string(kBoard) + c.pszExtra, ".", &desc, &strError));
    m_bench.Close();
    ASSERT_TRUE(m_bench.Open(desc, &strError));
    // Faults of the information record show at the start already.
    m_devices.AddAmiBoard(&Board());
    CAmiHwAccess hw(Ports(), m_resources, false);
    ASSERT_TRUE(hw.DetectAmiBios());
    hw.OpenAmiAccess();
    CAmiEngine engine(m_platform, m_resources, hw, Decode);
    m_files.m_mapFiles[kUpdatePath] = vecUpdate;
    m_ui.m_queAnswers = {kIdYes, kIdNo};
    m_sinks.vecStatus.clear();
    FlashOptions options = DefaultFlashOptions();
    options.ClearCMOS = 0;
    EXPECT_EQ(c.nResult, engine.Update(kUpdatePath, &options, "", m_sinks)) << c.pszExtra;
    if (c.pszLastStatus) {
      ASSERT_FALSE(m_sinks.vecStatus.empty()) << c.pszExtra;
      EXPECT_EQ(c.pszLastStatus, m_sinks.vecStatus.back()) << c.pszExtra;
    }
    if (c.nResult) {
      for (const std::string& str : m_sinks.vecStatus) EXPECT_NE("BIOS Flash Success!", str);
      EXPECT_TRUE(m_power.m_vecExitFlags.empty()) << c.pszExtra;
    }
  }
}

}  // namespace

namespace {

// The Windows 9x family has no drivers: the segment is read directly, the
// SMI is raised through the port with the request in the registers, and
// the blocks move through the VxD's shared buffer mapped in the process.
TEST_F(AmiEngine, Windows9xFamilySavesAndUpdatesThroughTheDirectPort) {
  SSimAmiDescription desc;
  std::string strError;
  ASSERT_TRUE(ParseAmiDescription(kBoard, ".", &desc, &strError));
  ASSERT_TRUE(m_bench.Open(desc, &strError)) << strError;
  m_vecRunning.assign(Board().Rom(), Board().Rom() + kRom);
  m_devices.AddAmiBoard(&Board());
  CSimAmiDirectIo direct(&Board());
  SAmiHwPorts ports = Ports();
  ports.pDirectIo = &direct;
  CAmiHwAccess hw(ports, m_resources, true);
  ASSERT_TRUE(hw.DetectAmiBios());
  hw.OpenAmiAccess();
  ASSERT_TRUE(hw.IsAmiIdentityKnown() && hw.IsAmiDriverReady());
  CAmiEngine engine(m_platform, m_resources, hw, Decode);
  ASSERT_EQ(0u, engine.Save("C:\\work\\9x.rom", true, m_sinks));
  EXPECT_EQ(m_vecRunning, m_files.m_mapFiles["C:\\work\\9x.rom"]);

  const std::vector<uint8_t> vecUpdate = Rom(kUpdate);
  FlashOptions options = DefaultFlashOptions();
  options.ClearCMOS = 1;
  m_ui.m_queAnswers = {kIdYes, kIdNo};
  m_files.m_mapFiles[kUpdatePath] = vecUpdate;
  ASSERT_EQ(0u, engine.Update(kUpdatePath, &options, "", m_sinks));
  EXPECT_TRUE(RomEquals(vecUpdate, 0, kRom));
  // Through port 0x70 bit 7 of the index is the NMI mask: the locations
  // reach the checksum bytes 0x2E, 0x2F, 0x3E and 0x3F of the first bank.
  for (uint8_t byLocation : ami::kClearCmosLocations)
    EXPECT_EQ(0xFF, Board().Cmos()[byLocation & 0x7F]) << int(byLocation);
  // No driver was asked for anything: only the VxD's buffer was opened.
  for (const std::string& strName : m_devices.Opened()) {
    EXPECT_EQ(std::string::npos, strName.find("HwIOctl")) << strName;
    EXPECT_EQ(std::string::npos, strName.find("Memctl")) << strName;
  }
}

}  // namespace
