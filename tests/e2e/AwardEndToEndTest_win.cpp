// The Award engine under Wine against the bench's WinFlash.sys: the driver
// file is found in the current directory, installed and started through the
// real service control manager, and every request goes through
// DeviceIoControl. Message boxes and restarts are answered by fakes; the
// rest is the Win32 platform.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/fake/FakeDevicePort.h"
#include "platform/fake/Fakes.h"
#include "platform/win/Platform_win.h"
#include "sim/SimBench.h"
#include "tests/support/BenchDriver_win.h"
#include "tessaro/core/Resources.h"
#include "tessaro/award/AwardFlasher.h"
#include "tessaro/award/AwardSaver.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& strPath) {
  std::vector<uint8_t> data;
  SimReadFile(strPath, 1 << 22, &data);
  return data;
}

std::string ServiceBinaryPath() {
  std::string strPath;
  SC_HANDLE hScm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE h = hScm ? OpenServiceA(hScm, "WINFLASH", SERVICE_QUERY_CONFIG) : nullptr;
  if (h) {
    std::vector<uint8_t> buffer(8192);
    DWORD nNeeded = 0;
    auto* pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (QueryServiceConfigA(h, pConfig, static_cast<DWORD>(buffer.size()), &nNeeded))
      strPath = pConfig->lpBinaryPathName;
    CloseServiceHandle(h);
  }
  if (hScm) CloseServiceHandle(hScm);
  return strPath;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

TEST(AwardEndToEnd, SavesAndUpdatesTheDemoBoardThroughTheRealDriverService) {
  const std::string bin = BinaryDir();
  const std::string demo = bin + "\\sim\\boards\\demo\\";
  const std::string work = bin + "\\tests\\award\\e2e";
  CreateDirectoryA(work.c_str(), nullptr);
  ASSERT_TRUE(
      CopyFileA((bin + "\\bin\\WinFlash.sys").c_str(), (work + "\\WinFlash.sys").c_str(), FALSE));
  // The driver loads the board from the state file beside its image.
  ASSERT_TRUE(CopyFileA((demo + "demo.state").c_str(), (work + "\\WinFlash.state").c_str(), FALSE));
  RemoveWinFlashService();
  ASSERT_TRUE(SetCurrentDirectoryA(work.c_str()));

  SPlatform platform = GetWin32Platform();
  CFakeUi ui;
  CFakePowerPort power;
  CFakeDevicePort devices(nullptr, platform.pDevices);  // counts what goes to the driver
  platform.pUi = &ui;
  platform.pFileDialogs = &ui;
  platform.pPower = &power;
  platform.pDevices = &devices;
  CResources resources(*platform.pModules);

  LARGE_INTEGER t0, t1, t2;
  QueryPerformanceCounter(&t0);
  CAwardBios bios(platform, resources);
  ASSERT_TRUE(bios.Open()) << (ui.m_vecBoxes.empty() ? "" : ui.m_vecBoxes[0].strText);
  EXPECT_EQ(ServiceBinaryPath(), work + "\\WinFlash.sys");
  char szSystem[MAX_PATH];
  GetSystemDirectoryA(szSystem, MAX_PATH);
  EXPECT_NE(GetFileAttributesA((std::string(szSystem) + "\\Drivers\\WinFlash.sys").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(bios.IsAwardBios());
  EXPECT_STREQ(bios.m_szFlashName, "SST 49LF004A(B) /3.3V    ");
  EXPECT_STREQ(bios.m_szIdLastPart, "F1");
  EXPECT_TRUE(bios.m_bWinFlashSupported);

  // Save: the file is the board's flash.
  const std::vector<uint8_t> running = ReadAll(demo + "flash.bin");
  ASSERT_EQ(running.size(), 0x80000u);
  CAwardSaver saver(&bios, nullptr, nullptr, nullptr);
  ASSERT_TRUE(saver.Save(work + "\\saved.bin", false));
  EXPECT_TRUE(ReadAll(work + "\\saved.bin") == running);
  QueryPerformanceCounter(&t1);
  const size_t nSaveRequests = devices.m_vecRequests.size();

  // Update from the demo update: Yes to flash, No to the restart.
  ui.m_queAnswers = {IDYES, IDNO};
  FlashOptions options = DefaultFlashOptions();
  CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
  ASSERT_TRUE(flasher.Update(demo + "update.bin", &options));
  QueryPerformanceCounter(&t2);
  EXPECT_EQ(ui.m_vecBoxes.size(), 2u);
  EXPECT_TRUE(power.m_vecExitFlags.empty());

  // The flash now holds the update with the board's NV tables carried over
  // (16 and 8 bytes at +0x50 of the two tables in the top bank).
  std::vector<uint8_t> expected = ReadAll(demo + "update.bin");
  ASSERT_EQ(expected.size(), 0x80000u);
  const size_t L = 0x70000;
  std::copy(running.begin() + L + 0x5050, running.begin() + L + 0x5060,
            expected.begin() + L + 0x5050);
  std::copy(running.begin() + L + 0x5150, running.begin() + L + 0x5158,
            expected.begin() + L + 0x5150);
  EXPECT_EQ(std::vector<uint8_t>(flasher.Image(), flasher.Image() + 0x80000), expected);
  printf("Wine end to end: open + save %.1f s (%u requests), update %.1f s (%u requests)\n",
         Seconds(t0, t1), static_cast<unsigned>(nSaveRequests), Seconds(t1, t2),
         static_cast<unsigned>(devices.m_vecRequests.size() - nSaveRequests));

  // The driver wrote everything through to its state file: flash and CMOS
  // (read there rather than by another 32768 requests).
  bios.Close();
  RemoveWinFlashService();
  CSimAwardBench bench;
  std::string strError;
  ASSERT_TRUE(bench.OpenState(work + "\\WinFlash.state", &strError)) << strError;
  EXPECT_EQ(memcmp(bench.Board().Flash(), expected.data(), expected.size()), 0);
  for (int i = 0x10; i <= 0x31; ++i) EXPECT_EQ(bench.Board().Cmos()[i], 0xFF) << i;
  bench.Close();
}

TEST(AwardEndToEnd, MissingDriverEndsInTheDriverMessage) {
  const std::string work = BinaryDir() + "\\tests\\award\\e2e-missing";
  CreateDirectoryA(work.c_str(), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryA(work.c_str()));
  RemoveWinFlashService();
  char szSystem[MAX_PATH];
  GetSystemDirectoryA(szSystem, MAX_PATH);
  DeleteFileA((std::string(szSystem) + "\\Drivers\\WinFlash.sys").c_str());

  SPlatform platform = GetWin32Platform();
  CFakeUi ui;  // the open-file dialog is cancelled
  platform.pUi = &ui;
  platform.pFileDialogs = &ui;
  CResources resources(*platform.pModules);
  CAwardBios bios(platform, resources);
  EXPECT_FALSE(bios.Open());
  ASSERT_EQ(ui.m_vecBoxes.size(), 1u);
  EXPECT_EQ(ui.m_vecBoxes[0].strText, "Can't create WinFlash Service!");
  EXPECT_EQ(ui.m_vecBoxes[0].strCaption, "Tessaro");
  EXPECT_EQ(ui.m_vecDialogs.size(), 1u);
}

}  // namespace
