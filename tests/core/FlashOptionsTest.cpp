#include <gtest/gtest.h>

#include <cstring>

#include "platform/fake/Fakes.h"
#include "tessaro/core/FlashOptions.h"

namespace {

const char kKey[] = "Software\\ULVO\\Tessaro";

TEST(FlashOptions, FirstRunKeepsTheDefaults) {
  CFakeRegistry registry;
  CFakeSystem system;
  FlashOptions options = DefaultFlashOptions();
  LoadOptions(registry, system, &options);
  const uint8_t abExpected[kOptionCount] = {1, 1, 1, 1, 0, 0, 1, 1, 1, 0, 0};
  EXPECT_EQ(0, std::memcmp(abExpected, &options, kOptionCount));
}

TEST(FlashOptions, FieldsAreIndexableByPositionInRegistryOrder) {
  FlashOptions options = DefaultFlashOptions();
  options[kOptLoadCMOSDefault] = 1;
  options[kOptIgnoreBiosPNChk] = 1;
  EXPECT_EQ(1, options.LoadCMOSDefault);
  EXPECT_EQ(1, options.IgnoreBiosPNChk);
  EXPECT_STREQ("LoadCMOSDefault", g_apszOptionNames[kOptLoadCMOSDefault]);
  EXPECT_STREQ("IgnoreBiosPNChk", g_apszOptionNames[10]);
}

TEST(FlashOptions, AnyNonZeroValueIsOnAndIsStoredBackAsOne) {
  CFakeRegistry registry;
  CFakeSystem system;
  registry.Create(ERegRoot::LocalMachine, kKey, kRegWrite)->SetDword("AutoRebootSystem", 7);
  registry.Create(ERegRoot::LocalMachine, kKey, kRegWrite)->SetDword("BootBlock", 0);
  FlashOptions options = DefaultFlashOptions();
  LoadOptions(registry, system, &options);
  EXPECT_EQ(1, options.AutoRebootSystem);
  EXPECT_EQ(0, options.BootBlock);
  // Values that are not stored keep their field.
  EXPECT_EQ(1, options.ClearCMOS);
  EXPECT_EQ(0, options.IgnoreBiosIDChk);

  SaveOptions(registry, system, options);
  EXPECT_EQ(1u, registry.Find(ERegRoot::LocalMachine, kKey, "AutoRebootSystem")->dwValue);
  for (size_t i = 0; i < kOptionCount; ++i) {
    const CFakeRegistry::SValue* pValue =
        registry.Find(ERegRoot::LocalMachine, kKey, g_apszOptionNames[i]);
    ASSERT_NE(nullptr, pValue) << g_apszOptionNames[i];
    EXPECT_EQ(options[i], pValue->dwValue) << g_apszOptionNames[i];
  }
}

TEST(FlashOptions, UnreadableValueKeepsItsField) {
  CFakeRegistry registry;
  CFakeSystem system;
  // A string where a DWORD belongs cannot be read as one.
  registry.Create(ERegRoot::LocalMachine, kKey, kRegWrite)->SetString("ClearCMOS", "0");
  FlashOptions options = DefaultFlashOptions();
  LoadOptions(registry, system, &options);
  EXPECT_EQ(1, options.ClearCMOS);
}

TEST(FlashOptions, WriteFailuresAreIgnored) {
  CFakeRegistry registry;
  CFakeSystem system;
  registry.m_bFailWrites = true;
  FlashOptions options = DefaultFlashOptions();
  options.AutoRebootSystem = 1;
  SaveOptions(registry, system, options);
  EXPECT_EQ(nullptr, registry.Find(ERegRoot::LocalMachine, kKey, "AutoRebootSystem"));
  EXPECT_EQ(1, options.AutoRebootSystem);

  CFakeRegistry noKey;
  noKey.m_bFailCreate = true;
  SaveOptions(noKey, system, options);
  EXPECT_TRUE(noKey.m_mapKeys.empty());
}

TEST(FlashOptions, ReadsAndWritesUseThe64BitViewUnderWow64) {
  CFakeRegistry registry;
  CFakeSystem system;
  system.m_bWow64 = true;
  registry.Create(ERegRoot::LocalMachine, kKey, kRegWrite);
  registry.m_vecOpened.clear();
  FlashOptions options = DefaultFlashOptions();
  LoadOptions(registry, system, &options);
  SaveOptions(registry, system, options);
  ASSERT_EQ(2 * kOptionCount, registry.m_vecOpened.size());
  const std::string strRead =
      std::string("HKLM\\") + kKey + "|" + std::to_string(kRegRead | kReg64View);
  const std::string strWrite =
      std::string("HKLM\\") + kKey + "|create|" + std::to_string(kRegWrite | kReg64View);
  for (size_t i = 0; i < kOptionCount; ++i) {
    EXPECT_EQ(strRead, registry.m_vecOpened[i]);
    EXPECT_EQ(strWrite, registry.m_vecOpened[kOptionCount + i]);
  }
}

}  // namespace
