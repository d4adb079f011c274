// The main window's board facts through the information file: the disk
// controller's id, the model's restrictions at start-up and before an
// update from a file, keyed by the BIOS model rather than the whole id.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakeDeviceEnumPort.h"
#include "platform/fake/FakeWmiPort.h"
#include "tessaro/liveupdate/BoardInfo.h"
#include "tests/app/AppFakes.h"

namespace {

const char kLocal[] = "C:\\windows\\system32\\Tessaro.sys";

class BoardInfo : public ::testing::Test {
 protected:
  void UseInfo(const std::string& strText) {
    const std::vector<uint8_t> vec(strText.begin(), strText.end());
    m_fake.files.m_mapFiles[kLocal] = CInfoFileOperations::ToStoredForm(vec);
  }

  SFakePlatform m_fake;
  CResources m_resources{m_fake.modules};
  CMessageHelper m_messages{m_resources, m_fake.ui};
  CFakeDeviceEnumPort m_devices;
  CFakeWmiPort m_wmi;
  CFixedBiosIdentity m_bios{EBiosFamily::Award, "AB9", "14"};
  CBoardInfo m_board{m_fake.platform, m_messages, m_devices, m_wmi, m_bios, false};
};

TEST_F(BoardInfo, StartUpReadsTheModelsRestrictionsAndKeepsTheFlagsWithoutAFile) {
  SUpdateRestrictions flags;
  flags.bNoClearDMI = true;
  m_board.ReadModelFlags("8089", &flags);
  EXPECT_TRUE(flags.bNoClearDMI);  // no file: unchanged
  EXPECT_FALSE(flags.bNoClearCMOS);

  UseInfo(
      "[SUPPORT_MODEL]\r\nmodel01=AB9\r\n[AB9]\r\nNoClearCMOS=1\r\nNoFlashBootBlock=1\r\n"
      "NoClearDMI=0\r\n");
  flags = SUpdateRestrictions();
  m_board.ReadModelFlags("8089", &flags);
  EXPECT_TRUE(flags.bNoClearCMOS);
  EXPECT_TRUE(flags.bNoFlashBootBlock);
  EXPECT_FALSE(flags.bNoClearDMI);
  EXPECT_FALSE(flags.bNoFlashNvRam);
  EXPECT_TRUE(m_fake.ui.m_vecBoxes.empty());  // silent

  // A model the list lacks leaves the flags alone.
  m_bios.m_strModel = "ZZ1";
  flags = SUpdateRestrictions();
  flags.bNoClearPNP = true;
  m_board.ReadModelFlags("8089", &flags);
  EXPECT_TRUE(flags.bNoClearPNP);
  EXPECT_FALSE(flags.bNoClearCMOS);
}

TEST_F(BoardInfo, UpdateFromFileReadsTheModelSectionAndItsRebootText) {
  UseInfo("[AB9]\r\nNoClearPNP=1\r\nNoFlashNvRam=1\r\nRebootMessage=Unplug the card first.\r\n");
  SUpdateRestrictions flags;
  std::string strReboot = "old";
  m_board.ReadUpdateFileFlags(&flags, &strReboot);
  EXPECT_TRUE(flags.bNoClearPNP);
  EXPECT_TRUE(flags.bNoFlashNvRam);
  EXPECT_FALSE(flags.bNoClearCMOS);
  EXPECT_EQ("Unplug the card first.", strReboot);

  // Without a detected BIOS nothing is read.
  m_bios.m_eFamily = EBiosFamily::None;
  flags = SUpdateRestrictions();
  strReboot = "kept";
  m_board.ReadUpdateFileFlags(&flags, &strReboot);
  EXPECT_FALSE(flags.bNoClearPNP);
  EXPECT_EQ("kept", strReboot);
}

TEST_F(BoardInfo, IdentifiesTheBoardByItsDiskController) {
  EXPECT_EQ("", m_board.IdentifyBoard());
  const std::string strId = "PCI\\VEN_8086&DEV_27C0&SUBSYS_80891043&REV_01";
  m_devices.m_vecDevices.push_back(CFakeDeviceEnumPort::Device(strId));
  const std::string strKey = "HKLM\\System\\CurrentControlSet\\Enum\\" + strId;
  m_fake.registry.m_mapKeys[strKey];
  m_fake.registry.m_mapKeys[strKey + "\\3&1&0"].mapValues["Class"] = {true, 0, "HDC"};
  EXPECT_EQ("8089", m_board.IdentifyBoard());
}

}  // namespace
