#include <gtest/gtest.h>

#include "tessaro/core/Switches.h"
#include "tessaro/award/AwardFlasher.h"
#include "tests/award/AwardTestKit.h"

namespace {

class AwardFlasherLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PutKaFlash(rig.device.m_segment, 0x100, 2, 1, 0x07, {64, 4});  // 256 KB
    ASSERT_TRUE(bios.Open());
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const CFakeUi::SBox& box : rig.ui.m_vecBoxes) texts.push_back(box.strText);
    return texts;
  }

  SAwardRig rig{0x40000};
  CAwardBios bios{rig.platform, rig.resources};
  CAwardFlasher flasher{&bios, nullptr, nullptr, nullptr};
};

TEST_F(AwardFlasherLoadTest, MissingFileCannotBeOpened) {
  EXPECT_FALSE(flasher.LoadFile("C:\\none.bin"));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Couldn't open the file!"}));
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strCaption, "Tessaro (Update Bios)");
  EXPECT_EQ(rig.ui.m_vecBoxes[0].dwFlags, kMbOk | kMbIconError);
}

TEST_F(AwardFlasherLoadTest, EveryWrongSizeIsASizeError) {
  for (size_t n :
       {size_t(0), size_t(1), size_t(0x3FFFF), size_t(0x40001), size_t(0x20000), size_t(0x80000)}) {
    rig.ui.m_vecBoxes.clear();
    rig.files.m_mapFiles["C:\\bios.bin"] = std::vector<uint8_t>(n, 0xFF);
    EXPECT_FALSE(flasher.LoadFile("C:\\bios.bin")) << n;
    EXPECT_EQ(Texts(), (std::vector<std::string>{"BIOS file size error!"})) << n;
    EXPECT_EQ(flasher.m_dwSourceFileSize, 0u);
  }
  // With -debug the sizes are shown first.
  rig.ui.m_vecBoxes.clear();
  rig.state.SetDebug(true);
  EXPECT_FALSE(flasher.LoadFile("C:\\bios.bin"));
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 2u);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strText,
            "m_dwSourceFileSize = 00080000 (524288)\ndwProgramSize = 40000 (262144)");
  EXPECT_EQ(rig.ui.m_vecBoxes[0].dwFlags, kMbOk | kMbIconInformation);
}

TEST_F(AwardFlasherLoadTest, ShortReadIsAReadError) {
  CStubDisk disk;
  disk.m_qwSize = 0x40000;
  disk.m_nReadable = 0x3F000;
  rig.platform.pFiles = &disk;
  EXPECT_FALSE(flasher.LoadFile("C:\\bios.bin"));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Read File Error!"}));
  EXPECT_EQ(flasher.Image(), nullptr);

  rig.ui.m_vecBoxes.clear();
  disk.m_nReadable = 0x40000;
  disk.m_byFill = 0x5A;
  EXPECT_TRUE(flasher.LoadFile("C:\\bios.bin"));
  EXPECT_TRUE(rig.ui.m_vecBoxes.empty());
  EXPECT_EQ(flasher.Image()[0x3FFFF], 0x5A);
}

TEST(AwardTexts, FormatFillsOnlyTextArguments) {
  EXPECT_EQ(FormatText("a%sb%sc", "1", "2"), "a1b2c");
  EXPECT_EQ(FormatText("%d%% %s %s %s", "x"), "%d% x  ");
  EXPECT_EQ(FormatText("100%"), "100%");
}

}  // namespace
