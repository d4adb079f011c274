#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/WinTypes.h"
#include "platform/fake/Fakes.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/core/StringTable.h"
#include "tessaro/core/Switches.h"
#include "tests/support/ProgramStateScope.h"

namespace {

// The program's own module serves the built-in table, as the resource
// section of Tessaro.exe does.
void InstallBuiltinTable(CFakeModulePort* pModules) {
  size_t nCount = 0;
  const SStringEntry* pEntries = GetBuiltinStrings(&nCount);
  for (size_t i = 0; i < nCount; ++i)
    pModules->m_mapStrings[CFakeModulePort::kSelf][pEntries[i].nId] = pEntries[i].pszText;
}

TEST(StringTable, IdsAreUniqueAscendingAndInRangeWithText) {
  size_t nCount = 0;
  const SStringEntry* pEntries = GetBuiltinStrings(&nCount);
  ASSERT_GT(nCount, 90u);
  for (size_t i = 0; i < nCount; ++i) {
    EXPECT_GE(pEntries[i].nId, 601u);
    EXPECT_LE(pEntries[i].nId, 916u);
    EXPECT_NE('\0', pEntries[i].pszText[0]) << pEntries[i].nId;
    if (i) {
      EXPECT_LT(pEntries[i - 1].nId, pEntries[i].nId);
    }
  }
}

TEST(StringTable, KeepsTheExactTexts) {
  EXPECT_STREQ("Flash ROM  is write protected!", FindBuiltinString(790));  // two blanks
  EXPECT_STREQ("Tessaro (Download)", FindBuiltinString(612));
  EXPECT_STREQ("Tessaro (Update Bios)", FindBuiltinString(613));
  EXPECT_STREQ("Tessaro (Save Bios)", FindBuiltinString(614));
  EXPECT_STREQ(
      "Can't find driver file WinFlash.sys\n\n Please check WinFlash.sys in\n "
      "%WINNT_DIR%\\SYSTEM32\\DRIVERS\\\n",
      FindBuiltinString(774));
  EXPECT_STREQ("Erasing %s Block...", FindBuiltinString(727));
  EXPECT_NE(nullptr, std::strstr(FindBuiltinString(796), "\"One Click LiveUpdate\""));
  EXPECT_EQ(nullptr, FindBuiltinString(600));
}

TEST(Resources, SatelliteNameFollowsTheLanguageCode) {
  EXPECT_EQ("C:\\T\\TessaroDEU.dll", CResources::SatelliteName("C:\\T\\", "DEU"));
  EXPECT_EQ("C:\\T\\Tessaro.dll", CResources::SatelliteName("C:\\T\\", ""));
}

TEST(Resources, SatelliteTextsWinAndOwnTextsFillTheGaps) {
  CFakeModulePort modules;
  InstallBuiltinTable(&modules);
  modules.m_mapLoadable["C:\\T\\TessaroDEU.dll"] = 42;
  modules.m_mapStrings[42][610] = "Tessaro DE";
  CResources resources(modules);

  EXPECT_FALSE(resources.LoadSatellite("C:\\T\\TessaroFRA.dll"));  // missing: no error
  EXPECT_EQ("Tessaro", resources.GetString(610));

  ASSERT_TRUE(resources.LoadSatellite("C:\\T\\TessaroDEU.dll"));
  EXPECT_EQ("Tessaro DE", resources.GetString(610));
  EXPECT_EQ("Save BIOS", resources.GetString(907));
  std::string strText = "stale";
  EXPECT_FALSE(resources.GetString(999, &strText));
  EXPECT_EQ("", strText);

  resources.Release();
  EXPECT_EQ(std::vector<ModuleRef>{42}, modules.m_vecFreed);
  EXPECT_EQ("Tessaro", resources.GetString(610));
}

TEST(MessageHelper, BoxesCarryTextCaptionIconAndOwner) {
  CFakeModulePort modules;
  InstallBuiltinTable(&modules);
  CResources resources(modules);
  CFakeUi ui;
  CMessageHelper msg(resources, ui);
  msg.SetOwner(0x1234);

  msg.ShowInfo(658);
  msg.ShowError(801, kCaptionSaveBios);
  ui.m_queAnswers = {kIdNo};
  EXPECT_EQ(kIdNo, msg.Ask(653, kCaptionTessaro, kMbYesNo));
  msg.ShowError(999, 0);  // unknown text, no caption
  msg.ShowInfo(std::string("ready text"), kCaptionUpdateBios);

  ASSERT_EQ(5u, ui.m_vecBoxes.size());
  EXPECT_EQ(FindBuiltinString(658), ui.m_vecBoxes[0].strText);
  EXPECT_EQ("Tessaro", ui.m_vecBoxes[0].strCaption);
  EXPECT_EQ(kMbOk | kMbIconInformation, ui.m_vecBoxes[0].dwFlags);
  EXPECT_EQ(0x1234u, ui.m_vecBoxes[0].hOwner);
  EXPECT_EQ("This program only support AMI and Award BIOS!", ui.m_vecBoxes[1].strText);
  EXPECT_EQ("Tessaro (Save Bios)", ui.m_vecBoxes[1].strCaption);
  EXPECT_EQ(kMbOk | kMbIconError, ui.m_vecBoxes[1].dwFlags);
  EXPECT_EQ(kMbYesNo | kMbIconQuestion, ui.m_vecBoxes[2].dwFlags);
  EXPECT_EQ("", ui.m_vecBoxes[3].strText);
  EXPECT_EQ("", ui.m_vecBoxes[3].strCaption);
  EXPECT_EQ("ready text", ui.m_vecBoxes[4].strText);
  EXPECT_EQ("Tessaro (Update Bios)", ui.m_vecBoxes[4].strCaption);
}

struct SSwitchCase {
  const char* pszLine;
  bool* pbFlag;  // the one flag expected to be set, or null
};

class CommandLine : public ::testing::TestWithParam<SSwitchCase> {};

TEST_P(CommandLine, SetsAtMostTheOneExactlyMatchingSwitch) {
  CProgramStateScope state;  // every switch off
  bool* apFlags[] = {&g_bTest, &g_bBeta, &g_bPower, &g_bTran, &g_bDebug};
  EXPECT_EQ(GetParam().pbFlag, ApplyCommandLine(GetParam().pszLine));
  for (bool* pb : apFlags) EXPECT_EQ(pb == GetParam().pbFlag, *pb);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLine,
    ::testing::Values(SSwitchCase{"-test", &g_bTest}, SSwitchCase{"-beta", &g_bBeta},
                      SSwitchCase{"-power", &g_bPower}, SSwitchCase{"-tran", &g_bTran},
                      SSwitchCase{"-Debug", &g_bDebug}, SSwitchCase{"-DEBUG", &g_bDebug},
                      SSwitchCase{"-debug -beta", nullptr}, SSwitchCase{"", nullptr},
                      SSwitchCase{"-debug ", nullptr}, SSwitchCase{"/debug", nullptr},
                      SSwitchCase{"debug", nullptr}));

}  // namespace
