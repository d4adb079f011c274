// Tessaro.exe on the bench's AMI demo board (1 MB) through the real service
// manager: the program installs "HwIOctl" and "Memctl" from its start
// folder, detects the AMI BIOS, shows its facts, saves and updates the
// flash, and removes both services when it ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/AmiIoctl.h"
#include "sim/SimAmiBench.h"
#include "tests/support/BenchDriver_win.h"
#include "tests/support/WindowRobot_win.h"

namespace {

std::string AmiDemoDir() { return BinaryDir() + "\\sim\\boards\\ami\\"; }
const char kOptionsKey[] = "Software\\ULVO\\Tessaro";

std::vector<std::string> SplitLines(const std::string& strText) {
  std::vector<std::string> vec;
  size_t nStart = 0;
  while (nStart < strText.size()) {
    size_t nEnd = strText.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = strText.size();
    std::string strLine = strText.substr(nStart, nEnd - nStart);
    if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
    vec.push_back(strLine);
    nStart = nEnd + 1;
  }
  return vec;
}

bool WriteAll(const std::string& strPath, const std::vector<uint8_t>& vec) {
  HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  DWORD dwWritten = 0;
  const bool bOk =
      WriteFile(hFile, vec.data(), static_cast<DWORD>(vec.size()), &dwWritten, nullptr) &&
      dwWritten == vec.size();
  CloseHandle(hFile);
  return bOk;
}

bool ServiceExists(const char* pszName) {
  SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!hManager) return false;
  SC_HANDLE hService = OpenServiceA(hManager, pszName, SERVICE_QUERY_STATUS);
  if (hService) CloseServiceHandle(hService);
  CloseServiceHandle(hManager);
  return hService != nullptr;
}

class AmiEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey);
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strWork = BinaryDir() + "\\tests\\gui\\e2e-ami-" + pInfo->name();
    CreateDirectoryA((BinaryDir() + "\\tests\\gui").c_str(), nullptr);
    CreateDirectoryA(m_strWork.c_str(), nullptr);
    DeleteFileA(Work("saved.rom").c_str());
    RemoveDriverService("HwIOctl");
    RemoveDriverService("Memctl");
    // The drivers beside the program's start folder, the board's state
    // beside Memctl (which owns the board).
    for (const char* pszDriver : {"HwIOctl.sys", "Memctl.sys"})
      ASSERT_TRUE(
          CopyFileA((BinaryDir() + "\\bin\\" + pszDriver).c_str(), Work(pszDriver).c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA((AmiDemoDir() + "ami.state").c_str(), Work("Memctl.state").c_str(), FALSE));
    m_vecRunning = ReadAll(AmiDemoDir() + "flash.bin");
    ASSERT_EQ(0x100000u, m_vecRunning.size());
    m_dwStart = GetTickCount();
  }
  void TearDown() override {
    std::printf("  scenario %s: %.1f s\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                (GetTickCount() - m_dwStart) / 1000.0);
    m_pProgram.reset();
    RemoveDriverService("HwIOctl");
    RemoveDriverService("Memctl");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey);
  }
  std::string Work(const char* pszName) const { return m_strWork + "\\" + pszName; }
  CProgram* Start() {
    m_pProgram.reset(new CProgram("Tessaro.exe", "", "ami", nullptr, m_strWork.c_str()));
    return m_pProgram.get();
  }
  // The flash as Memctl left it (its service removed first, so the driver
  // has let go of its state file).
  std::vector<uint8_t> Flash() {
    RemoveDriverService("HwIOctl");
    RemoveDriverService("Memctl");
    CSimAmiBench bench;
    std::string strError;
    std::vector<uint8_t> vec;
    if (!bench.OpenState(Work("Memctl.state"), &strError)) {
      ADD_FAILURE() << strError;
      return vec;
    }
    vec.assign(bench.Board().Rom(), bench.Board().Rom() + m_vecRunning.size());
    return vec;
  }

  // Update From File with the demo board's newer BIOS: the question
  // (pictured when pszShot names it) answered Yes, the reboot question No.
  void FlashUpdate(CProgram& program, HWND hMain, const char* pszShot) {
    Click(hMain, IDC_UPDATE_FILE);
    HWND hOpen = program.WaitForDialog("Open");
    ASSERT_NE(nullptr, hOpen);
    ChooseFile(hOpen, AmiDemoDir() + "update.bin");
    HWND hAsk = program.WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 30000);
    ASSERT_NE(nullptr, hAsk);
    EXPECT_NE(std::string::npos, Text(hAsk, 0xFFFF).find("File BIOS ID : P4X00.02"));
    if (pszShot) Shot(hAsk, pszShot);
    Click(hAsk, IDYES);
    // The question goes before the flash starts (the window is busy until
    // it ends, so only the box itself can be watched).
    ASSERT_TRUE(WaitUntilGone(hAsk, 30000)) << "the flash question stayed open";
    // Clear CMOS is on by default: then the reboot question; No.
    HWND hReboot = program.WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 300000);
    ASSERT_NE(nullptr, hReboot);
    EXPECT_NE(std::string::npos, Text(hReboot, 0xFFFF).find("updated successfully"));
    Click(hReboot, IDNO);
    EXPECT_TRUE(WaitForControlText(hMain, IDC_STATUS, "BIOS Flash Success!", 30000));
  }

  std::string m_strWork;
  std::vector<uint8_t> m_vecRunning;
  std::unique_ptr<CProgram> m_pProgram;
  DWORD m_dwStart = 0;
};

TEST_F(AmiEndToEnd, StartShowsTheAmiBoardSavesItAndRemovesTheServicesAtExit) {
  CProgram* pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  Shot(hMain, "e2e-ami-main");
  EXPECT_EQ("Tessaro - AMI BIOS", Text(hMain, IDC_WEBSITE));
  EXPECT_EQ("1ABKQ0", Text(hMain, IDC_VERSION_2));
  EXPECT_EQ("12/08/26", Text(hMain, IDC_BIOS_DATE));
  EXPECT_EQ("AMI Flash FWH/LPC", Text(hMain, IDC_FLASH_TYPE));
  EXPECT_TRUE(ServiceExists("HwIOctl"));
  EXPECT_TRUE(ServiceExists("Memctl"));

  Click(hMain, IDC_SAVE_BIOS);
  HWND hAsk = pProgram->WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hAsk);
  Click(hAsk, IDYES);
  HWND hSave = pProgram->WaitForDialog("Save As");
  ASSERT_NE(nullptr, hSave);
  ChooseFile(hSave, Work("saved.rom"));
  EXPECT_TRUE(WaitForControlText(hMain, IDC_STATUS, "BIOS Save Success!", 120000));
  ASSERT_TRUE(WaitUntilIdle(hMain));
  EXPECT_TRUE(ReadAll(Work("saved.rom")) == m_vecRunning);

  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, pProgram->WaitExit(15000));
  EXPECT_FALSE(ServiceExists("HwIOctl"));
  EXPECT_FALSE(ServiceExists("Memctl"));
}

TEST_F(AmiEndToEnd, UpdateFromFileWritesTheNewBiosOutsideTheProtectedTail) {
  CProgram* pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  FlashUpdate(*pProgram, hMain, "e2e-ami-question-flash");
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, pProgram->WaitExit(15000));

  // Boot block and NvRam are flashed by default: the whole ROM is the file.
  const std::vector<uint8_t> vecUpdate = ReadAll(AmiDemoDir() + "update.bin");
  EXPECT_TRUE(Flash() == vecUpdate);
}

}  // namespace

namespace {

// A file of the wrong size (753) and one for another board (762) are
// refused before the flash question: the flash stays as it was.
TEST_F(AmiEndToEnd, RefusedFilesLeaveTheFlashAsItWas) {
  std::vector<uint8_t> vecShort = ReadAll(AmiDemoDir() + "update.bin");
  ASSERT_FALSE(vecShort.empty());
  std::vector<uint8_t> vecOther = vecShort;
  vecShort.pop_back();
  // The other board's model in the file's tag ("_TG_" + 4 in its last 64 KB).
  const size_t nSegment = vecOther.size() - ami::kSegmentSize;
  for (size_t i = nSegment; i + 9 < vecOther.size(); ++i)
    if (std::memcmp(&vecOther[i], "_TG_", 4) == 0) {
      std::memcpy(&vecOther[i + 4], "Q9Z99", 5);
      break;
    }
  struct SCase {
    const char* pszFile;
    const std::vector<uint8_t>* pData;
    const char* pszText;
  } aCases[] = {{"short.rom", &vecShort, "BIOS file size error!"},
                {"other.rom", &vecOther, "The part number of bios file does not match"}};
  CProgram* pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  for (const SCase& c : aCases) {
    ASSERT_TRUE(WriteAll(Work(c.pszFile), *c.pData));
    Click(hMain, IDC_UPDATE_FILE);
    HWND hOpen = pProgram->WaitForDialog("Open");
    ASSERT_NE(nullptr, hOpen);
    ChooseFile(hOpen, Work(c.pszFile));
    HWND hError = pProgram->WaitForDialog("Tessaro", 0xFFFF, 30000);
    ASSERT_NE(nullptr, hError) << c.pszFile;
    EXPECT_EQ(0u, Text(hError, 0xFFFF).find(c.pszText)) << Text(hError, 0xFFFF);
    Shot(hError, c.pData == &vecShort ? "e2e-ami-refused-size" : "e2e-ami-refused-board");
    Click(hError, IDOK);
    ASSERT_TRUE(WaitUntilClosed(hError, hMain));
  }
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, pProgram->WaitExit(15000));
  EXPECT_TRUE(Flash() == m_vecRunning);
}

}  // namespace

namespace {

// Boards the program refuses after its start notice: one whose BIOS has no
// "$SFI" (no SMI port: 751) and one whose shared buffer gets no physical
// address (800). The program ends without a main window and removes the
// services it installed.
TEST_F(AmiEndToEnd, BoardsWithoutSmiPortOrDriverBufferAreRefusedAfterTheWelcome) {
  struct SCase {
    const char* pszName;
    const char* pszExtra;
    bool bRemoveSfi;
    const char* pszText;
  } aCases[] = {
      {"no $SFI", "", true, "The BIOS on your M/B does not support Tessaro!"},
      {"no physical address", "no_physical 1\n", false, "Load System Driver failure!"},
  };
  const std::vector<uint8_t> vecBoard = ReadAll(AmiDemoDir() + "board.txt");
  for (const SCase& c : aCases) {
    RemoveDriverService("HwIOctl");
    RemoveDriverService("Memctl");
    DeleteFileA(Work("Memctl.state").c_str());
    // The demo board's description (without its "$SFI" line when that is
    // to go), an image file without "$SFI" at all, and a state made of both.
    std::string strBoard;
    for (const std::string& strLine : SplitLines(std::string(vecBoard.begin(), vecBoard.end())))
      if (!(c.bRemoveSfi && strLine.compare(0, 4, "sfi ") == 0)) strBoard += strLine + "\n";
    SSimAmiDescription desc;
    std::string strError;
    ASSERT_TRUE(ParseAmiDescription(strBoard + c.pszExtra, m_strWork + "\\", &desc, &strError))
        << strError;
    std::vector<uint8_t> vecRom = BuildAmiRom(desc);
    for (size_t i = vecRom.size() - ami::kSegmentSize; i + 4 <= vecRom.size(); ++i)
      if (c.bRemoveSfi && std::memcmp(&vecRom[i], "$SFI", 4) == 0) vecRom[i] = '#';
    ASSERT_TRUE(WriteAll(Work("image.bin"), vecRom));
    ASSERT_TRUE(ParseAmiDescription(strBoard + c.pszExtra + "image image.bin\nstate Memctl.state\n",
                                    m_strWork + "\\", &desc, &strError))
        << strError;
    {
      CSimAmiBench bench;
      ASSERT_TRUE(bench.Open(desc, &strError)) << strError;
    }
    CProgram* pProgram = Start();
    ASSERT_TRUE(pProgram->Started());
    HWND hWelcome = pProgram->WaitForDialog("Tessaro", 0xFFFF);
    ASSERT_NE(nullptr, hWelcome) << c.pszName;
    Click(hWelcome, IDOK);
    ASSERT_TRUE(WaitUntilGone(hWelcome, 15000));
    HWND hError = pProgram->WaitForDialog("Tessaro", 0xFFFF, 30000);
    ASSERT_NE(nullptr, hError) << c.pszName;
    EXPECT_EQ(c.pszText, Text(hError, 0xFFFF)) << c.pszName;
    Click(hError, IDOK);
    EXPECT_EQ(0, pProgram->WaitExit(15000)) << c.pszName;
    EXPECT_FALSE(ServiceExists("HwIOctl")) << c.pszName;
    EXPECT_FALSE(ServiceExists("Memctl")) << c.pszName;
  }
}

}  // namespace

namespace {

// The AMI "Advance Setting" dialog switches the boot block off; the next
// update then leaves the last 64 KB of the ROM (the boot block) as it was.
TEST_F(AmiEndToEnd, BootBlockSwitchedOffInTheSettingsIsKeptByTheUpdate) {
  CProgram* pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  Click(hMain, IDC_SETTING);
  HWND hSetting = pProgram->WaitForDialog("Advance Setting");
  ASSERT_NE(nullptr, hSetting);
  Shot(hSetting, "e2e-ami-setting");
  EXPECT_TRUE(Visible(hSetting, IDC_SET_NVRAM));  // the AMI dialog (307)
  ASSERT_EQ(BST_CHECKED, IsDlgButtonChecked(hSetting, IDC_SET_BOOTBLOCK));
  SendMessageA(GetDlgItem(hSetting, IDC_SET_BOOTBLOCK), BM_CLICK, 0, 0);
  Click(hSetting, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));

  FlashUpdate(*pProgram, hMain, nullptr);
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, pProgram->WaitExit(15000));

  const std::vector<uint8_t> vecUpdate = ReadAll(AmiDemoDir() + "update.bin");
  const std::vector<uint8_t> vecFlash = Flash();
  ASSERT_EQ(m_vecRunning.size(), vecFlash.size());
  const size_t nBootBlock = vecFlash.size() - 0x10000;
  EXPECT_TRUE(std::equal(vecFlash.begin(), vecFlash.begin() + nBootBlock, vecUpdate.begin()));
  EXPECT_TRUE(
      std::equal(vecFlash.begin() + nBootBlock, vecFlash.end(), m_vecRunning.begin() + nBootBlock));
}

}  // namespace

namespace {

// Faults through the real drivers: the demo board with a fault added to
// its description, made into Memctl's state here.
class AmiFaultEndToEnd : public AmiEndToEnd {
 protected:
  void MakeBoard(const std::string& strExtra) {
    RemoveDriverService("HwIOctl");
    RemoveDriverService("Memctl");
    DeleteFileA(Work("Memctl.state").c_str());
    const std::vector<uint8_t> vecBoard = ReadAll(AmiDemoDir() + "board.txt");
    SSimAmiDescription desc;
    std::string strError;
    ASSERT_TRUE(WriteAll(Work("image.bin"), m_vecRunning));
    ASSERT_TRUE(ParseAmiDescription(std::string(vecBoard.begin(), vecBoard.end()) + strExtra +
                                        "image image.bin\nstate Memctl.state\n",
                                    m_strWork + "\\", &desc, &strError))
        << strError;
    CSimAmiBench bench;
    ASSERT_TRUE(bench.Open(desc, &strError)) << strError;
  }
  // Update From File with the newer BIOS, Yes to the question; the
  // program's error box must follow, with no restart question before it.
  void FailingUpdate(CProgram& program, HWND hMain, const char* pszMessage, const char* pszStatus,
                     const char* pszShot) {
    Click(hMain, IDC_UPDATE_FILE);
    HWND hOpen = program.WaitForDialog("Open");
    ASSERT_NE(nullptr, hOpen);
    ChooseFile(hOpen, AmiDemoDir() + "update.bin");
    HWND hAsk = program.WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 30000);
    ASSERT_NE(nullptr, hAsk);
    Click(hAsk, IDYES);
    ASSERT_TRUE(WaitUntilGone(hAsk, 30000)) << "the flash question stayed open";
    HWND hError = program.WaitForDialog("Tessaro", 0xFFFF, 300000);
    ASSERT_NE(nullptr, hError);
    EXPECT_EQ(pszMessage, Text(hError, 0xFFFF));
    Shot(hError, pszShot);
    Click(hError, IDOK);
    ASSERT_TRUE(WaitUntilClosed(hError, hMain));
    EXPECT_EQ(pszStatus, Text(hMain, IDC_STATUS));
  }
};

// An erase that fails in the middle of the ROM: "BIOS Erase Error!", no
// restart question, and no block of the new BIOS was programmed.
TEST_F(AmiFaultEndToEnd, EraseFailureShowsTheEraseErrorAndProgramsNothing) {
  MakeBoard("erase_fail_block 100\n");
  CProgram* pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  FailingUpdate(*pProgram, hMain, "BIOS Erase Error!", "BIOS Erase Error!", "e2e-ami-erase-error");
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, pProgram->WaitExit(15000));

  const std::vector<uint8_t> vecUpdate = ReadAll(AmiDemoDir() + "update.bin");
  const std::vector<uint8_t> vecFlash = Flash();
  ASSERT_EQ(vecUpdate.size(), vecFlash.size());
  for (size_t nBlock = 0; nBlock < vecFlash.size() / ami::kBlockSize; ++nBlock) {
    const auto itFlash = vecFlash.begin() + nBlock * ami::kBlockSize;
    const auto itUpdate = vecUpdate.begin() + nBlock * ami::kBlockSize;
    const bool bBlank =
        std::all_of(itFlash, itFlash + ami::kBlockSize, [](uint8_t by) { return by == 0xFF; });
    // Erased, or (the failing block) still holding what it held.
    EXPECT_TRUE(bBlank || nBlock == 100) << "block " << nBlock;
    EXPECT_FALSE(!bBlank && std::equal(itFlash, itFlash + ami::kBlockSize, itUpdate))
        << "block " << nBlock << " was programmed";
  }
}

// The power fails while the new BIOS is programmed: the program says the
// flash could not be programmed. Started again on the board as the cut
// left it, it shows the same running BIOS and the same update succeeds.
TEST_F(AmiFaultEndToEnd, PowerCutWhileProgrammingIsReportedAndTheSameUpdateRecovers) {
  // SMI calls: 2 at the start and 2 more when Update From File prepares
  // the engine, 4 information calls of the update, the open, two erase
  // passes of 256 blocks, then the programs: the cut falls on block 100.
  MakeBoard("power_cut_after " + std::to_string(2 + 2 + 4 + 1 + 512 + 100) + "\n");
  CProgram* pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  FailingUpdate(*pProgram, hMain, "Flash ROM cannot be correctly programmed!",
                "BIOS Program Error!", "e2e-ami-power-cut");
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, pProgram->WaitExit(15000));
  const std::vector<uint8_t> vecUpdate = ReadAll(AmiDemoDir() + "update.bin");
  const std::vector<uint8_t> vecCut = Flash();
  ASSERT_EQ(vecUpdate.size(), vecCut.size());
  const size_t nCut = 100 * ami::kBlockSize;  // programmed below, erased from here
  EXPECT_TRUE(std::equal(vecCut.begin(), vecCut.begin() + nCut, vecUpdate.begin()));
  EXPECT_TRUE(
      std::all_of(vecCut.begin() + nCut, vecCut.end(), [](uint8_t by) { return by == 0xFF; }));

  pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  EXPECT_EQ("1ABKQ0", Text(hMain, IDC_VERSION_2));
  EXPECT_EQ("12/08/26", Text(hMain, IDC_BIOS_DATE));
  FlashUpdate(*pProgram, hMain, nullptr);
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, pProgram->WaitExit(15000));
  EXPECT_TRUE(Flash() == vecUpdate);
}

}  // namespace
