#include <gtest/gtest.h>

#include "tests/award/AwardTestKit.h"

namespace {

using winflash::LoadU32;

class AwardBiosTest : public ::testing::Test {
 protected:
  std::vector<uint8_t>& Seg() { return rig.device.m_segment; }
  // Copies the device's segment into the engine and parses it.
  CAwardBios& Parse() {
    std::memcpy(bios.MutableSegment(), Seg().data(), Seg().size());
    bios.ParseBiosSegment();
    return bios;
  }
  bool OpenBios() { return bios.Open(); }

  SAwardRig rig;
  CAwardBios bios{rig.platform, rig.resources};
};

TEST_F(AwardBiosTest, VendorTextDecidesAward) {
  struct SCase {
    const char* pszText;
    bool bAward;
  };
  const SCase aCases[] = {{"Award Modular", true},   {"Phoenix-Award", true},
                          {"Phoenix - Award", true}, {"Phoenix -Award", false},
                          {"Phoenix- Award", false}, {"American Megatrends", false},
                          {"Award m", false}};
  for (const SCase& c : aCases) {
    std::fill(Seg().begin() + 0xE061, Seg().begin() + 0xE080, 0);
    PutText(Seg(), 0xE061, c.pszText);
    EXPECT_EQ(Parse().IsAwardBios(), c.bAward) << c.pszText;
  }
}

TEST_F(AwardBiosTest, SizeAndLayoutComeFromTheKaFlashRecord) {
  PutKaFlash(Seg(), 0x1230 * 8, 2, 1, 0x07, {64, 3, 32, 1, 4, 2, 8, 1});
  CAwardBios& b = Parse();
  EXPECT_EQ(b.m_byFlashROMSize, 4);
  EXPECT_EQ(b.m_dwRomBase, 0xFFFC0000u);
  EXPECT_TRUE(b.m_bWinFlashSupported && b.m_bHasDmi && b.m_bHasPnp);
  EXPECT_EQ(b.m_dwDmiAddr, 0xFFFFC000u);
  EXPECT_EQ(b.m_dwDmiSize, 0x1000u);
  EXPECT_EQ(b.m_dwPnpAddr, 0xFFFFD000u);
  EXPECT_EQ(b.m_dwPnpSize, 0x1000u);
  EXPECT_EQ(b.m_dwBootAddr, 0xFFFFE000u);
  EXPECT_EQ(b.m_dwBootSize, 0x2000u);
  EXPECT_EQ(b.m_dwMainSize, 0x3E000u);
  EXPECT_EQ(b.m_EraseMap[0], 64);
  EXPECT_EQ(b.m_EraseMap[7], 1);

  // Types 6 and 7 keep the block addresses (the file names them) but set
  // the sizes.
  b.UpdateLayout(6);
  EXPECT_EQ(b.m_dwDmiSize, 0x10000u);
  EXPECT_EQ(b.m_dwDmiAddr, 0xFFFFC000u);
  EXPECT_EQ(b.m_dwBootAddr, 0xFFFF0000u);
  EXPECT_EQ(b.m_dwMainSize, 0x30000u);
}

TEST_F(AwardBiosTest, MissingOrCutOffRecordsLeaveDefaults) {
  CAwardBios& b = Parse();
  EXPECT_FALSE(b.m_bWinFlashSupported);
  EXPECT_EQ(b.m_byFlashROMSize, 0);
  EXPECT_EQ(g_wSmiPort, 0x0080);
  // Both records in the last aligned slots, their fields past the segment.
  PutText(Seg(), 0xFFF0, "$@AWDFLASH");
  PutText(Seg(), 0xFFF8, "KAFLASH");
  Parse();
  EXPECT_EQ(g_wSmiPort, 0x0080);
  EXPECT_EQ(b.m_byFlashROMSize, 0);
  // An aligned copy further down counts.
  PutText(Seg(), 0x800, "$@AWDFLASH");
  PutU16(Seg(), 0x82A, 0x00B2);
  Parse();
  EXPECT_EQ(g_wSmiPort, 0x00B2);
}

TEST_F(AwardBiosTest, EraseMapOffsetPastTheSegmentGivesAnEmptyMap) {
  PutKaFlash(Seg(), 0x100, 4, 1, 0x07, {64, 8});
  PutU16(Seg(), 0x10E, 0xFFF0);  // 20 bytes from here would leave the segment
  std::fill(Seg().begin() + 0xFFF0, Seg().end(), 0x40);
  CAwardBios& b = Parse();
  EXPECT_EQ(b.m_byFlashROMSize, 8);
  EXPECT_EQ(b.BlockSize(1), 0u);
  rig.devices.m_vecRequests.clear();
  EXPECT_FALSE(b.EraseFlash(0xFFF80000, 0x10000));
  EXPECT_EQ(rig.devices.Count(winflash::kEraseBlock), 0u);
}

TEST_F(AwardBiosTest, BlockSizesFollowTheEraseMap) {
  PutKaFlash(Seg(), 0x100, 4, 5, 0x07, {64, 7, 32, 1, 8, 2, 16, 1});
  CAwardBios& b = Parse();
  const uint32_t aExpected[] = {0,     65536, 65536, 65536, 65536, 65536, 65536,
                                65536, 32768, 8192,  8192,  16384, 0,     0};
  for (uint32_t n = 1; n < 14; ++n) EXPECT_EQ(b.BlockSize(n), aExpected[n]) << n;
}

TEST_F(AwardBiosTest, EraseWalksTheMapAndStopsWhereItMust) {
  PutKaFlash(Seg(), 0x100, 4, 5, 0x07, {64, 7, 32, 1, 8, 2, 16, 1});
  CAwardBios& b = Parse();
  ASSERT_TRUE(OpenBios());
  CFlashModel& dev = rig.device;

  // The 64 KB from 0xFFFF0000: blocks 8 (32 KB), 9 and 10 (8 KB), 11 (16 KB).
  rig.devices.m_vecRequests.clear();
  EXPECT_TRUE(b.EraseFlash(0xFFFF0000, 0x10000));
  std::vector<std::pair<uint32_t, uint32_t>> erased;
  for (const SDeviceRequest& r : rig.devices.m_vecRequests)
    if (r.dwCode == winflash::kEraseBlock)
      erased.push_back({LoadU32(&r.vecIn[0]), LoadU32(&r.vecIn[4])});
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {0xFFFF0000, 0x8000}, {0xFFFF8000, 0x2000}, {0xFFFFA000, 0x2000}, {0xFFFFC000, 0x4000}};
  EXPECT_EQ(erased, expected);

  rig.devices.m_vecRequests.clear();
  EXPECT_FALSE(b.EraseFlash(0xFFFF1000, 0x1000)) << "inside a block";
  EXPECT_FALSE(b.EraseFlash(0xFFF70000, 0x1000)) << "below the ROM";
  EXPECT_EQ(rig.devices.Count(winflash::kEraseBlock), 0u);
  // Asking for more than the map holds ends at the map's end instead of
  // walking on forever.
  EXPECT_FALSE(b.EraseFlash(0xFFFFC000, 0x20000));
  EXPECT_EQ(rig.devices.Count(winflash::kEraseBlock), 1u);

  // A block that stays programmed fails the blank check, except on
  // page-write parts.
  dev.m_bEraseWorks = false;
  dev.m_flash[0] = 0x00;
  EXPECT_FALSE(b.EraseFlash(0xFFF80000, 0x10000));
  b.m_wFlashId = 0x10BF;
  EXPECT_TRUE(b.EraseFlash(0xFFF80000, 0x10000));
}

TEST_F(AwardBiosTest, ShortReadsAndProgramsStayInsideTheCallersBuffer) {
  PutKaFlash(Seg(), 0x100, 4, 1, 0x07, {64, 8});
  ASSERT_TRUE(OpenBios());
  CFlashModel& dev = rig.device;
  for (size_t i = 0; i < 32; ++i) dev.m_flash[i] = static_cast<uint8_t>(i + 1);

  rig.devices.m_vecRequests.clear();
  uint8_t abyBuffer[24];
  std::memset(abyBuffer, 0xCC, sizeof(abyBuffer));
  bios.ReadFlash(0xFFF80000, abyBuffer, 20);
  ASSERT_EQ(rig.devices.m_vecRequests.size(), 3u);
  EXPECT_EQ(rig.devices.m_vecRequests[0].dwCode, winflash::kSetAddress);
  EXPECT_EQ(LoadU32(rig.devices.m_vecRequests[0].vecIn.data()), 0xFFF80000u);
  EXPECT_EQ(rig.devices.m_vecRequests[1].dwCode, winflash::kReadNext);
  EXPECT_EQ(rig.devices.m_vecRequests[2].nOutBytes, 16u);
  EXPECT_EQ(abyBuffer[19], 20);
  for (int i = 20; i < 24; ++i) EXPECT_EQ(abyBuffer[i], 0xCC) << i;

  rig.devices.m_vecRequests.clear();
  const uint8_t abyData[20] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                               10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  bios.ProgramFlash(0xFFF90000, abyData, 20);
  ASSERT_EQ(rig.devices.m_vecRequests.size(), 3u);
  const std::vector<uint8_t>& last = rig.devices.m_vecRequests[2].vecIn;
  ASSERT_EQ(last.size(), 16u);
  EXPECT_EQ(last[3], 19);
  for (int i = 4; i < 16; ++i) EXPECT_EQ(last[i], 0xFF) << "padding, not foreign bytes";
}

TEST_F(AwardBiosTest, OpenReadsTheSegmentAndSetsUpTheSmiPortInDriverMode) {
  PutText(Seg(), 0xE061, "Award Modular");
  PutText(Seg(), 0x400, "$@AWDFLASH");
  PutU16(Seg(), 0x42A, 0x00B2);
  PutKaFlash(Seg(), 0x100, 4, 1, 0x07, {64, 8});
  ASSERT_TRUE(OpenBios());
  const std::vector<SDeviceRequest>& log = rig.devices.m_vecRequests;
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0].dwCode, winflash::kReadPhysical);
  EXPECT_EQ(LoadU32(log[0].vecIn.data()), 0xF0000u);
  EXPECT_EQ(log[0].nOutBytes, 65536u);
  EXPECT_EQ(log[log.size() - 2].dwCode, winflash::kSetSmiPort);
  EXPECT_EQ(log[log.size() - 2].vecIn, (std::vector<uint8_t>{0xB2, 0x00}));
  EXPECT_EQ(log.back().dwCode, winflash::kSmiControl);
  EXPECT_EQ(log.back().vecIn, (std::vector<uint8_t>{0, 0}));
  EXPECT_TRUE(bios.IsAwardBios());
  // The reply is not read: no begin/end calls in driver mode.
  EXPECT_EQ(g_bySmiLevel, 0);
  rig.devices.m_vecRequests.clear();
  bios.SmiFlashBegin();
  bios.SmiFlashEnd();
  EXPECT_TRUE(rig.devices.m_vecRequests.empty());
  rig.state.SetSmiLevel(4);
  bios.SmiFlashBegin();
  bios.SmiFlashEnd();
  ASSERT_EQ(rig.devices.m_vecRequests.size(), 2u);
  EXPECT_EQ(rig.devices.m_vecRequests[0].vecIn, (std::vector<uint8_t>{2, 0}));
  EXPECT_EQ(rig.devices.m_vecRequests[1].vecIn, (std::vector<uint8_t>{3, 0}));
}

TEST_F(AwardBiosTest, EveryOpenStartsFromTheProgramStartSmiSettings) {
  PutText(Seg(), 0x400, "$@AWDFLASH");
  PutU16(Seg(), 0x42A, 0x00B2);
  ASSERT_TRUE(OpenBios());
  EXPECT_EQ(g_wSmiPort, 0x00B2);
  rig.state.SetSmiLevel(4);

  // A BIOS without the port record: the default port, not the last one.
  PutText(Seg(), 0x400, "$@NOFLASH!");
  rig.devices.m_vecRequests.clear();
  CAwardBios fresh(rig.platform, rig.resources);
  ASSERT_TRUE(fresh.Open());
  EXPECT_EQ(g_wSmiPort, 0x0080);
  EXPECT_EQ(g_bySmiLevel, 0);
  ASSERT_GE(rig.devices.m_vecRequests.size(), 2u);
  const SDeviceRequest& port = rig.devices.m_vecRequests[rig.devices.m_vecRequests.size() - 2];
  EXPECT_EQ(port.dwCode, winflash::kSetSmiPort);
  EXPECT_EQ(port.vecIn, (std::vector<uint8_t>{0x80, 0x00}));
}

TEST_F(AwardBiosTest, CmosWritesGoThroughIndexAndDataPorts) {
  ASSERT_TRUE(OpenBios());
  rig.devices.m_vecRequests.clear();
  bios.WriteCmos(0x10, 0xDD);
  ASSERT_EQ(rig.devices.m_vecRequests.size(), 2u);
  EXPECT_EQ(rig.devices.m_vecRequests[0].vecIn, (std::vector<uint8_t>{0x70, 0, 0x10, 0}));
  EXPECT_EQ(rig.devices.m_vecRequests[1].vecIn, (std::vector<uint8_t>{0x71, 0, 0xDD, 0}));
  EXPECT_EQ(rig.device.m_mapCmos[0x10], 0xDD);
}

TEST_F(AwardBiosTest, IdentificationTextSplitsIntoBoardFields) {
  struct SCase {
    std::string strDate, strId, strLast, strPrev;
  };
  const SCase aCases[] = {
      {"12/24/2004", "6A79A-ABC-NF4SLI900-K8", "K8", "NF4SLI90"},
      {"12/24/2004", "NODASHES", "", ""},
      {"12/24/2004", "A-B-C-D-E-F-G", "E", "D"},
  };
  for (const SCase& c : aCases) {
    CAwardBios fresh(rig.platform, rig.resources);
    std::fill(Seg().begin() + 0xEC70, Seg().begin() + 0xECF0, 0);
    PutBiosId(Seg(), c.strDate, c.strId);
    std::memcpy(fresh.MutableSegment(), Seg().data(), Seg().size());
    fresh.ParseBiosSegment();
    EXPECT_EQ(fresh.m_szBiosDate, c.strDate);
    EXPECT_EQ(fresh.m_szBiosId, c.strId);
    EXPECT_EQ(fresh.m_szIdLastPart, c.strLast) << c.strId;
    EXPECT_EQ(fresh.m_szIdPrevPart, c.strPrev) << c.strId;
  }
}

TEST_F(AwardBiosTest, DateIsEightCharactersWhenTheKindByteSaysSo) {
  // With an 8-character date the kind byte is the text's second character.
  PutBiosId(Seg(), "12/24/04", "W\xE0-X");
  EXPECT_STREQ(Parse().m_szBiosDate, "12/24/04");
  EXPECT_STREQ(bios.m_szIdLastPart, "X");
  Seg()[0xEC7B] = 'x';
  EXPECT_STREQ(Parse().m_szBiosDate, "12/24/04 W");
}

TEST_F(AwardBiosTest, IdentificationLengthByteIsBounded) {
  PutBiosId(Seg(), "12/24/2004", "X");
  Seg()[0xEC70] = 0x80;  // -128: no text at all
  EXPECT_STREQ(Parse().m_szBiosId, "");
  Seg()[0xEC70] = 0x05;  // shorter than the date
  EXPECT_STREQ(Parse().m_szBiosId, "");
  Seg()[0xEC70] = 0x7F;  // longer than the field: cut to 31 characters
  std::fill(Seg().begin() + 0xEC7C, Seg().begin() + 0xED00, 'Q');
  EXPECT_EQ(std::string(Parse().m_szBiosId), std::string(31, 'Q'));
}

// A lock record in the 4 KB window below the lock search top.
void PutLockRecord(CFlashModel& dev, uint32_t dwWindow, uint8_t byFlags, uint16_t wOffset,
                   uint8_t byFill) {
  uint8_t* p = dev.At(dwWindow);
  std::memcpy(p + 0x100, "*BS1", 4);
  p[0x106] = byFlags;
  p[0x109] = static_cast<uint8_t>(wOffset);
  p[0x10A] = static_cast<uint8_t>(wOffset >> 8);
  const size_t n = wOffset & 0xFFF;
  for (size_t i = 0; i < 16 && n + i < 0x1000; ++i) {
    if (n >= 16 + i) p[n - 16 + i] = static_cast<uint8_t>('a' + i);
    p[n + i] = byFill;
  }
}

TEST_F(AwardBiosTest, LockDataIsReadFromTheFlashOnceWhenTheLockFlagIsSet) {
  PutKaFlash(Seg(), 0x100, 4, 1, 0x07, {64, 8});
  // Type 1: search top 0xFFFFC000, windows below it.
  PutLockRecord(rig.device, 0xFFFF9000, 0x00, 0x0800, 0x11);
  ASSERT_TRUE(OpenBios());
  CAwardBios& b = bios;
  EXPECT_FALSE(b.m_bLockLoaded);
  EXPECT_FALSE(b.m_bBiosLock);

  PutLockRecord(rig.device, 0xFFFF9000, 0x10, 0x7800, 0x11);  // high bits of p ignored
  Parse();
  ASSERT_TRUE(b.m_bLockLoaded);
  EXPECT_TRUE(b.m_bBiosLock);
  EXPECT_TRUE(b.m_bLockDataPresent);
  EXPECT_EQ(b.m_LockId[0], 'a');
  EXPECT_EQ(b.m_LockData[15], 0x11);
  // Read once: later parses send no flash reads for it.
  rig.devices.m_vecRequests.clear();
  Parse();
  EXPECT_EQ(rig.devices.Count(winflash::kReadNext), 0u);
}

TEST_F(AwardBiosTest, LockDataSummingToZeroIsAbsentAndBadOffsetsAreNoRecord) {
  PutKaFlash(Seg(), 0x100, 4, 1, 0x07, {64, 8});
  PutLockRecord(rig.device, 0xFFFF9000, 0x10, 0x0800, 0x00);
  ASSERT_TRUE(OpenBios());
  CAwardBios& b = bios;
  EXPECT_TRUE(b.m_bLockLoaded);
  EXPECT_FALSE(b.m_bLockDataPresent);

  for (uint16_t wOffset : {0x0008, 0x0FF8}) {  // id before the window, data after it
    CAwardBios fresh(rig.platform, rig.resources);
    PutLockRecord(rig.device, 0xFFFF9000, 0x10, wOffset, 0x22);
    ASSERT_TRUE(fresh.Open());
    EXPECT_FALSE(fresh.m_bLockLoaded) << wOffset;
  }
}

TEST_F(AwardBiosTest, TrialEraseOfTheBootTopOnlyForThePartThatNeedsIt) {
  PutKaFlash(Seg(), 0x100, 4, 1, 0x07, {64, 8});
  PutU16(Seg(), 0xE059, 0x58BF);
  ASSERT_TRUE(OpenBios());
  rig.devices.m_vecRequests.clear();
  EXPECT_FALSE(bios.TrialEraseBootTop());
  ASSERT_EQ(rig.devices.Count(winflash::kEraseBlock), 1u);
  EXPECT_EQ(LoadU32(&rig.devices.m_vecRequests[0].vecIn[0]), 0xFFFFF000u);
  EXPECT_EQ(LoadU32(&rig.devices.m_vecRequests[0].vecIn[4]), 0x1000u);
  rig.device.m_bEraseWorks = false;
  *rig.device.At(0xFFFFF000) = 0;
  EXPECT_TRUE(bios.TrialEraseBootTop());

  bios.m_wFlashId = 0x50BF;
  rig.devices.m_vecRequests.clear();
  EXPECT_FALSE(bios.TrialEraseBootTop());
  EXPECT_TRUE(rig.devices.m_vecRequests.empty());
}

TEST_F(AwardBiosTest, WriteProtectReportUsesTheUpdateCaption) {
  bios.m_wFlashId = 0xAC89;
  bios.m_wFlashStatus = 0xA0;
  bios.ReportWriteProtect();
  EXPECT_TRUE(rig.ui.m_vecBoxes.empty());
  bios.m_wFlashStatus = 0xA2;
  bios.ReportWriteProtect();
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 1u);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strCaption, "Tessaro (Update Bios)");
  EXPECT_EQ(rig.ui.m_vecBoxes[0].dwFlags, kMbOk | kMbIconError);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strText.substr(0, 27), "FWH ROM is write-protected!");
}

// ------------------------------------------------------------- service --

TEST_F(AwardBiosTest, DriverFromTheCurrentDirectoryIsCopiedOverTheSystemCopyAndUsed) {
  rig.files.m_mapFiles["C:\\windows\\system32\\Drivers\\WinFlash.sys"] = {'o', 'l', 'd'};
  ASSERT_TRUE(bios.OpenDriver());
  EXPECT_EQ(rig.files.m_mapFiles["C:\\windows\\system32\\Drivers\\WinFlash.sys"],
            (std::vector<uint8_t>{'M', 'Z'}));
  // Two sessions with the service control manager, as ever: one creates
  // the service, the next opens and starts it.
  EXPECT_EQ(rig.services.m_vecCalls,
            (std::vector<std::string>{"manager", "create C:\\work\\WinFlash.sys", "manager",
                                      "open WINFLASH", "start WINFLASH"}));
  EXPECT_EQ(rig.services.m_vecAccess,
            (std::vector<uint32_t>{kScManagerAllAccess, kScManagerAllAccess, kServiceAllAccess}));
  const SServiceConfig& cfg = rig.services.m_vecCreated.at(0);
  EXPECT_EQ(cfg.strName, "WINFLASH");
  EXPECT_EQ(cfg.strDisplayName, "WINFLASH");
  EXPECT_EQ(cfg.dwServiceType, kServiceKernelDriver);
  EXPECT_EQ(cfg.dwStartType, kServiceDemandStart);
  EXPECT_EQ(cfg.dwErrorControl, kServiceErrorNormal);
  EXPECT_EQ(cfg.dwDesiredAccess, kServiceAllAccess);
  EXPECT_EQ(rig.devices.m_vecOpened, (std::vector<std::string>{"\\\\.\\WinFlash"}));
  EXPECT_TRUE(rig.ui.m_vecBoxes.empty());
}

TEST_F(AwardBiosTest, DriverLookupFallsBackToSystemCopyThenToTheDialog) {
  rig.files.m_mapFiles.clear();
  rig.system.m_bWow64 = true;  // the 64-bit driver under WOW64
  rig.files.m_mapFiles["C:\\windows\\system32\\Drivers\\WinFlash64.sys"] = {'M', 'Z'};
  ASSERT_TRUE(bios.OpenDriver());
  EXPECT_EQ(rig.services.Calls("create").at(0),
            "create C:\\windows\\system32\\Drivers\\WinFlash64.sys");

  rig.files.m_mapFiles.clear();
  rig.services.m_vecCalls.clear();
  rig.files.m_mapFiles["D:\\disk\\wf.sys"] = {'Z'};
  rig.ui.m_queFileAnswers.push_back("D:\\disk\\wf.sys");
  ASSERT_TRUE(bios.OpenDriver());
  ASSERT_EQ(rig.ui.m_vecDialogs.size(), 1u);
  EXPECT_EQ(rig.ui.m_vecDialogs[0].strFilter.substr(0, 24), "SYS Files (*.sys)|*.SYS|");
  EXPECT_EQ(rig.services.Calls("create").at(0), "create D:\\disk\\wf.sys");
  // The service from the first call stays as it is (Windows refuses a
  // second creation with 1073) and is started again: both count as done.
  EXPECT_EQ(rig.services.m_mapServices["WINFLASH"].config.strBinaryPath,
            "C:\\windows\\system32\\Drivers\\WinFlash64.sys");
  EXPECT_EQ(rig.services.Calls("start"), (std::vector<std::string>{"start WINFLASH"}));
  EXPECT_TRUE(rig.ui.m_vecBoxes.empty());
  EXPECT_EQ(rig.files.m_mapFiles["C:\\windows\\system32\\Drivers\\WinFlash64.sys"],
            (std::vector<uint8_t>{'Z'}));

  // With the fuller dialog: default extension, initial file and flags.
  struct SRecordingDialogs : IFileDialogPort {
    std::vector<SFileDialogRequest> requests;
    bool ChooseOpenFile(WindowRef, const SFileDialogRequest& r, std::string* p) override {
      requests.push_back(r);
      *p = "D:\\disk\\wf.sys";
      return true;
    }
    bool ChooseSaveFile(WindowRef, const SFileDialogRequest&, std::string*) override {
      return false;
    }
  } dialogs;
  rig.files.m_mapFiles.erase("C:\\windows\\system32\\Drivers\\WinFlash64.sys");
  rig.platform.pFileDialogs = &dialogs;
  ASSERT_TRUE(bios.OpenDriver());
  ASSERT_EQ(dialogs.requests.size(), 1u);
  EXPECT_EQ(dialogs.requests[0].strFilter, "SYS Files (*.sys)|*.SYS||");
  EXPECT_EQ(dialogs.requests[0].strDefaultExt, "WinFlash64.sys");
  EXPECT_EQ(dialogs.requests[0].strInitialFile, ".\\WinFlash.sys");
  EXPECT_TRUE(dialogs.requests[0].bHideReadOnly && dialogs.requests[0].bOverwritePrompt);
}

TEST_F(AwardBiosTest, StopAndDeleteCloseTheDeviceAndGoThroughTheirOwnSessions) {
  ASSERT_TRUE(bios.OpenDriver());
  EXPECT_EQ(rig.devices.m_nOpenDevices, 1);
  rig.services.m_vecCalls.clear();
  rig.services.m_nQueriesUntilStopped = 2;
  bios.StopDriver();
  EXPECT_EQ(rig.devices.m_nOpenDevices, 0);
  EXPECT_EQ(rig.services.m_vecCalls,
            (std::vector<std::string>{"manager", "open WINFLASH", "stop WINFLASH", "query WINFLASH",
                                      "query WINFLASH"}));
  EXPECT_EQ(rig.system.m_dwSleptMs, 10u);
  EXPECT_FALSE(rig.services.IsRunning("WINFLASH"));

  rig.services.m_vecCalls.clear();
  bios.DeleteDriver();
  EXPECT_EQ(rig.services.m_vecCalls,
            (std::vector<std::string>{"manager", "open WINFLASH", "delete WINFLASH"}));
  EXPECT_EQ(rig.services.m_mapServices.count("WINFLASH"), 0u);
}

TEST_F(AwardBiosTest, DriverThatNeverStopsIsWaitedForFiveSecondsNotForever) {
  ASSERT_TRUE(bios.OpenDriver());
  rig.services.m_nQueriesUntilStopped = -1;
  bios.StopDriver();
  EXPECT_EQ(rig.system.m_dwSleptMs, 5000u);
  EXPECT_EQ(rig.services.Count("query"), 501u);
}

TEST_F(AwardBiosTest, BiosFileDialogsOfferBinFiles) {
  std::string strPath;
  rig.ui.m_queFileAnswers = {"C:\\new.bin", ""};
  EXPECT_TRUE(bios.ChooseOpenFile(7, &strPath));
  EXPECT_EQ(strPath, "C:\\new.bin");
  EXPECT_FALSE(bios.ChooseSaveFile(7, &strPath));
  ASSERT_EQ(rig.ui.m_vecDialogs.size(), 2u);
  EXPECT_FALSE(rig.ui.m_vecDialogs[0].bSave);
  EXPECT_TRUE(rig.ui.m_vecDialogs[1].bSave);
  EXPECT_EQ(rig.ui.m_vecDialogs[1].strFilter, "Binary Files (*.BIN)|*.BIN|All Files (*.*)|*.*||");
}

TEST_F(AwardBiosTest, DriverFailuresShowTheirMessages) {
  rig.files.m_mapFiles.clear();
  rig.ui.m_queFileAnswers.push_back("");  // cancel
  EXPECT_FALSE(bios.Open());
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 1u);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strText, "Can't create WinFlash Service!");
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strCaption, "Tessaro");
  EXPECT_TRUE(rig.services.m_vecCalls.empty());
  EXPECT_TRUE(rig.devices.m_vecRequests.empty());

  rig.ui.m_vecBoxes.clear();
  rig.files.m_mapFiles["C:\\work\\WinFlash.sys"] = {'M', 'Z'};
  rig.devices.m_bOpenFails = true;  // the driver never answers
  EXPECT_FALSE(bios.Open());
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 1u);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strText.substr(0, 35), "Can't find driver file WinFlash.sys");
  EXPECT_EQ(rig.ui.m_vecBoxes[0].dwFlags, kMbOk | kMbIconError);
}

// ---------------------------------------------------------- direct mode --

class CRecordingDirectIo : public IDirectIoPort {
 public:
  std::vector<std::pair<uint16_t, SX86Registers>> m_vecSmis;
  std::vector<std::pair<uint16_t, uint8_t>> m_vecPorts;
  uint8_t m_byLevel = 4;
  std::vector<uint8_t> m_segment = std::vector<uint8_t>(winflash::kSegmentSize, 0);
  std::vector<std::pair<uint32_t, uint32_t>> m_vecReads;  // address, bytes
  bool ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t n) override {
    m_vecReads.push_back({dwAddress, n});
    std::memcpy(pOut, m_segment.data(), std::min<size_t>(n, m_segment.size()));
    return true;
  }
  bool PortOut(uint16_t wPort, uint8_t byValue) override {
    m_vecPorts.push_back({wPort, byValue});
    return true;
  }
  bool PortIn(uint16_t, uint8_t* pbyValue) override {
    *pbyValue = 0xFF;
    return true;
  }
  bool RaiseSmi(uint16_t wPort, SX86Registers* pRegs) override {
    m_vecSmis.push_back({wPort, *pRegs});
    if ((pRegs->dwEax & 0xFFFF) == winflash::kSmiAlFlashControl) pRegs->dwEax = m_byLevel;
    if ((pRegs->dwEax & 0xFF) == winflash::kSmiAlRead) {
      for (int i = 0; i < 4; ++i) {
        uint32_t* apReg[] = {&pRegs->dwEax, &pRegs->dwEcx, &pRegs->dwEdx, &pRegs->dwEbx};
        *apReg[i] = 0x01010101u * static_cast<uint32_t>(i + 1);
      }
    }
    return true;
  }
};

TEST(AwardDirectMode, Win9xFamilyRaisesSmisItself) {
  SAwardRig rig;
  rig.system.m_version.dwPlatformId = kPlatformWin9x;
  rig.system.m_version.dwMinorVersion = 10;
  CRecordingDirectIo io;
  PutText(io.m_segment, 0x400, "$@AWDFLASH");  // the BIOS names SMI port 0xB2
  PutU16(io.m_segment, 0x42A, 0x00B2);
  CAwardBios bios(rig.platform, rig.resources, &io);
  ASSERT_TRUE(bios.Open());
  EXPECT_TRUE(rig.services.m_vecCalls.empty());
  EXPECT_TRUE(rig.devices.m_vecRequests.empty());
  EXPECT_EQ(io.m_vecReads, (std::vector<std::pair<uint32_t, uint32_t>>{{0xF0000, 0x10000}}));
  EXPECT_EQ(g_wSmiPort, 0x00B2);
  // Eight 4 KB windows searched for lock data, then the level query.
  ASSERT_EQ(io.m_vecSmis.size(), 8 * 256 + 1u);
  EXPECT_EQ(io.m_vecSmis.back().first, 0x00B2);
  EXPECT_EQ(io.m_vecSmis.back().second.dwEax, 0x002Eu);
  EXPECT_EQ(g_bySmiLevel, 4);

  io.m_vecSmis.clear();
  uint8_t aby[20];
  bios.ReadFlash(0xFFFF0000, aby, 20);
  ASSERT_EQ(io.m_vecSmis.size(), 2u);
  EXPECT_EQ(io.m_vecSmis[1].second.dwEsi, 0xFFFF0010u);
  EXPECT_EQ(aby[19], 1) << "bytes 16-19 are EAX of the second reply";

  io.m_vecSmis.clear();
  const uint8_t abyData[16] = {0x10, 0x11, 0x12, 0x13, 0x20, 0x21, 0x22, 0x23,
                               0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42, 0x43};
  bios.ProgramFlash(0xFFFF0000, abyData, 16);
  ASSERT_EQ(io.m_vecSmis.size(), 1u);
  uint8_t abyBack[16];
  winflash::SmiProgramData(io.m_vecSmis[0].second, abyBack);
  EXPECT_EQ(0, std::memcmp(abyBack, abyData, 16));
  EXPECT_EQ(io.m_vecSmis[0].second.dwEax & 0xFF, 0x2Fu);
  EXPECT_EQ(io.m_vecSmis[0].second.dwEdi, 0xFFFF0000u);

  io.m_vecSmis.clear();
  bios.SmiFlashBegin();
  ASSERT_EQ(io.m_vecSmis.size(), 1u);
  EXPECT_EQ(io.m_vecSmis[0].second.dwEax, 0x022Eu);

  bios.WriteCmos(0x20, 0xFF);
  EXPECT_EQ(io.m_vecPorts, (std::vector<std::pair<uint16_t, uint8_t>>{
                               {0x70, 0x20}, {0xEB, 0}, {0x71, 0xFF}, {0xEB, 0}}));
}

}  // namespace
