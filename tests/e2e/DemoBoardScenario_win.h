// Tessaro.exe end to end on the bench's demo board: the real program, the
// real service control manager and the bench's WinFlash.sys under Wine,
// driven from outside through its windows. Each scenario starts from a
// fresh copy of the demo board (512 KB) in a working folder of its own: the
// driver is installed from there and keeps the board in "WinFlash.state"
// beside it, which the test reads back once the program has ended.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimBench.h"
#include "tests/support/BenchDriver_win.h"
#include "tests/support/WindowRobot_win.h"

inline const char* const kOptionsKey = "Software\\ULVO\\Tessaro";

inline std::string DemoDir() { return BinaryDir() + "\\sim\\boards\\demo\\"; }

inline void SetOption(const char* pszName, DWORD dwValue) {
  HKEY hKey = nullptr;
  ASSERT_EQ(0, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOptionsKey, 0, nullptr, 0, KEY_SET_VALUE,
                               nullptr, &hKey, nullptr));
  RegSetValueExA(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                 sizeof(dwValue));
  RegCloseKey(hKey);
}

inline LONG Option(const char* pszName) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOptionsKey, 0, KEY_READ, &hKey) != 0) return -1;
  DWORD dwValue = 0, dwSize = sizeof(dwValue);
  const LONG nResult =
      RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(&dwValue), &dwSize);
  RegCloseKey(hKey);
  return nResult == 0 ? static_cast<LONG>(dwValue) : -1;
}

class CDemoBoardScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey);
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strWork = BinaryDir() + "\\tests\\gui\\e2e-" + pInfo->name();
    CreateDirectoryA((BinaryDir() + "\\tests\\gui").c_str(), nullptr);
    CreateDirectoryA(m_strWork.c_str(), nullptr);
    DeleteFileA(Work("saved.bin").c_str());
    RemoveWinFlashService();
    ASSERT_TRUE(CopyFileA((BinaryDir() + "\\bin\\WinFlash.sys").c_str(),
                          Work("WinFlash.sys").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA((DemoDir() + "demo.state").c_str(), Work("WinFlash.state").c_str(), FALSE));
    m_vecRunning = ReadAll(DemoDir() + "flash.bin");
    ASSERT_EQ(0x80000u, m_vecRunning.size());
    m_dwStart = GetTickCount();
  }
  void TearDown() override {
    std::printf("  scenario %s: %.1f s\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                (GetTickCount() - m_dwStart) / 1000.0);
    RemoveWinFlashService();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey);
  }

  std::string Work(const char* pszName) const { return m_strWork + "\\" + pszName; }

  CProgram* Start(const std::string& strArgs = "") {
    m_pProgram.reset(new CProgram("Tessaro.exe", strArgs, "award", nullptr, m_strWork.c_str()));
    return m_pProgram.get();
  }

  // Ends the program through its Close button.
  void Close(HWND hMain) {
    Click(hMain, IDC_CLOSE);
    EXPECT_EQ(0, m_pProgram->WaitExit(15000));
  }

  // The board as the driver left it (the service is removed first, so the
  // driver has let go of its state file).
  bool ReadBoard(std::vector<uint8_t>* pFlash, std::vector<uint8_t>* pCmos) {
    RemoveWinFlashService();
    CSimAwardBench bench;
    std::string strError;
    if (!bench.OpenState(Work("WinFlash.state"), &strError)) {
      ADD_FAILURE() << strError;
      return false;
    }
    pFlash->assign(bench.Board().Flash(), bench.Board().Flash() + m_vecRunning.size());
    pCmos->assign(bench.Board().Cmos(), bench.Board().Cmos() + 128);
    bench.Close();
    return true;
  }

  // The CMOS bytes the demo board starts with.
  std::vector<uint8_t> DemoCmos() {
    CSimAwardBench bench;
    std::string strError;
    std::vector<uint8_t> vecCmos;
    if (bench.OpenState(DemoDir() + "demo.state", &strError))
      vecCmos.assign(bench.Board().Cmos(), bench.Board().Cmos() + 128);
    return vecCmos;
  }

  // Update From File up to the flash question, answered Yes.
  HWND StartUpdate(HWND hMain, const std::string& strFile, bool bShoot) {
    Click(hMain, IDC_UPDATE_FILE);
    HWND hOpen = m_pProgram->WaitForDialog("Open");
    if (!hOpen) return nullptr;
    ChooseFile(hOpen, strFile);
    HWND hAsk = m_pProgram->WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 30000);
    if (!hAsk) return nullptr;
    EXPECT_NE(std::string::npos, Text(hAsk, 0xFFFF).find("Proceed to Flash your BIOS?"));
    if (bShoot) Shot(hAsk, "e2e-question-flash");
    Click(hAsk, IDYES);
    return hAsk;
  }

  // The update image with the board's NV tables carried over (16 and 8
  // bytes at +0x50 of the two tables in the top 64 KB bank).
  std::vector<uint8_t> ExpectedAfterUpdate() const {
    std::vector<uint8_t> vecExpected = ReadAll(DemoDir() + "update.bin");
    const size_t nTop = 0x70000;
    std::copy(m_vecRunning.begin() + nTop + 0x5050, m_vecRunning.begin() + nTop + 0x5060,
              vecExpected.begin() + nTop + 0x5050);
    std::copy(m_vecRunning.begin() + nTop + 0x5150, m_vecRunning.begin() + nTop + 0x5158,
              vecExpected.begin() + nTop + 0x5150);
    return vecExpected;
  }

  std::string m_strWork;
  std::vector<uint8_t> m_vecRunning;
  std::unique_ptr<CProgram> m_pProgram;
  DWORD m_dwStart = 0;
};
