// The plug-in's controller port bound to real libraries under Wine: the
// controller library's loopback build (bin\kt9020sim, an in-process device
// instead of the driver) answers a round trip through GetAIP and SetAIP
// called as the public header types them; a missing library and a library
// without the exports are reported and every call fails cleanly.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "trivelole/ControllerPort_win.h"

namespace {

std::string BinDir() {
  char sz[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, sz, sizeof(sz));
  std::string str(sz, n);
  return str.substr(0, str.find_last_of('\\') + 1);
}

TEST(Win32ControllerPort, LoopbackLibraryAnswersARoundTrip) {
  EControllerBind eBind = EControllerBind::NoLibrary;
  auto pPort = OpenWin32ControllerPort(&eBind, BinDir() + "kt9020sim\\KT9020DLL.dll");
  ASSERT_EQ(EControllerBind::Bound, eBind) << pPort->Missing();
  const uint8_t abyWord[2] = {0x5A, 0xC3};
  uint8_t aby[4] = {0xCC, 0xCC, 0xCC, 0xCC};
  EXPECT_EQ(1, pPort->SetAip(0x22, 0x0140, 0, abyWord));
  EXPECT_EQ(2, pPort->GetAip(0x12, 0x0140, 0, aby));
  EXPECT_EQ(0x5A, aby[0]);
  EXPECT_EQ(0xC3, aby[1]);
  EXPECT_EQ(0xCC, aby[2]);
  EXPECT_EQ(0, pPort->GetAip(0x19, 0x0140, 0, aby));  // refused by the library
}

TEST(Win32ControllerPort, MissingLibraryOrExportsAreReported) {
  EControllerBind eBind = EControllerBind::Bound;
  auto pNone = OpenWin32ControllerPort(&eBind, BinDir() + "no-such-library.dll");
  EXPECT_EQ(EControllerBind::NoLibrary, eBind);
  uint8_t aby[4] = {};
  EXPECT_EQ(0, pNone->GetAip(0x11, 0x10, 0, aby));
  EXPECT_EQ(0, pNone->SetAip(0x21, 0x10, 0, aby));

  // The plug-in itself is a library without them.
  auto pOther = OpenWin32ControllerPort(&eBind, BinDir() + "TrivelOLE.dll");
  EXPECT_EQ(EControllerBind::NoExport, eBind);
  EXPECT_EQ("GetAIP", pOther->Missing());
  EXPECT_EQ(0, pOther->GetAip(0x11, 0x10, 0, aby));
}

}  // namespace
