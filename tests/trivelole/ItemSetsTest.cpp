// The item sets over the bench's controller: the index <-> code
// conversions with their rounding, the "Auto" PCIE clock and its live flag,
// the voltage lists over the VID table, the EQ-map limits, the
// configuration folder and files, and what happens to indexes, names and
// records that do not fit.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "protocol/MirelIoctl.h"
#include "tests/trivelole/FakePluginSystem.h"
#include "trivelole/ItemSets.h"

namespace {

constexpr char kLoadXmlFail[] = "Load XML File Fail";
constexpr char kGetStringFail[] = "GetString In XML File Fail";

// The clock item 1 code as the record holds it (bits 7-8 in byte 23, bits
// 0-6 in byte 24 above its bit 0).
int Item1Code(const uint8_t* pbyRecord) { return (pbyRecord[23] & 3) * 128 + (pbyRecord[24] >> 1); }

class ItemSets : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_bench.IsOpen()); }

  // Both sets bound and loaded from the bench as it is now.
  void LoadSets() {
    m_pClock = std::make_unique<CClockItemSet>(&m_bench.system);
    m_pVoltage = std::make_unique<CVoltageItemSet>(&m_bench.system);
    ASSERT_TRUE(m_pClock->Initialise());
    ASSERT_TRUE(m_pVoltage->Initialise());
    ASSERT_TRUE(m_pClock->Load());
    ASSERT_TRUE(m_pVoltage->Load());
  }
  void SetMemory(uint16_t wAddress, uint8_t byValue) {
    m_bench.Controller().SetMemory(wAddress, &byValue, 1);
  }
  uint8_t Memory(uint16_t wAddress) { return m_bench.Controller().Memory()[wAddress]; }
  std::string ClockText(int nItem, int nIndex) {
    std::string str;
    EXPECT_TRUE(m_pClock->GetValueText(nItem, nIndex, &str));
    return str;
  }
  std::string VoltText(int nItem, int nIndex) {
    std::string str;
    EXPECT_TRUE(m_pVoltage->GetValueText(nItem, nIndex, &str));
    return str;
  }

  CPluginBench m_bench;
  std::unique_ptr<CClockItemSet> m_pClock;
  std::unique_ptr<CVoltageItemSet> m_pVoltage;
};

// ------------------------------------------------------------- rounding --

TEST(TrivelRounding, SinglePrecisionTruncationPlusHalfRule) {
  const struct {
    double x;
    int nExpected;
  } kCases[] = {
      {204 * 0.37499531255859303, 76},  // 76.499: stays below the half
      {133 * 0.37499531255859303, 50},
      {76 * 2.6667, 203},
      {2.5, 3},
      {-1.5, -1},  // truncation toward zero, the negative rest adds nothing
      {0.0, 0},
      {1e12, INT_MAX},
      {-1e12, INT_MIN},
      {std::numeric_limits<double>::infinity(), INT_MAX},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.nExpected, TrivelRound(c.x)) << c.x;
}

// ---------------------------------------------------- configuration folder --

TEST(TrivelConfigFolder, RegisteredPathMapsToLowerCaseMirelFolder) {
  const struct {
    const char* pszRegistered;
    const char* pszFolder;
  } kCases[] = {
      {"D:\\Apps\\Common\\TrivelOLE.dll", "d:\\apps\\mirel\\"},
      {"C:\\COMMON\\x\\Common Files\\TRIVELOLE.DLL", "c:\\mirel\\x\\mirel files\\"},
      {"C:\\a\\trivelole.dll\\b\\trivelole.dll", "c:\\a\\"},
      {"C:\\Apps\\TrivelOLE.dl", ""},
      {"C:\\Apps\\Trivel.dll", ""},
      {"", ""},
      {"TrivelOLE.dll", ""},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.pszFolder, ConfigFolderFromRegisteredPath(c.pszRegistered)) << c.pszRegistered;
  EXPECT_EQ("00A3", FormatBoardCode(0x00, 0xA3));
  EXPECT_EQ("12AB", FormatBoardCode(0x12, 0xAB));
  EXPECT_EQ("FFFF", FormatBoardCode(0xFF, 0xFF));
}

TEST_F(ItemSets, FilesComeFromTheRegisteredFolderAndTheBoardCode) {
  LoadSets();
  const std::string strFolder = FakeLower(m_bench.Folder()) + "/mirel/00A3\\";
  EXPECT_EQ(strFolder + "TrivelConfig.XML", m_pClock->XmlPath());
  EXPECT_EQ(strFolder + "ULVOEQ.ini", m_pVoltage->EqMapPath());
  EXPECT_TRUE(m_bench.system.vecBoxes.empty()) << m_bench.system.vecBoxes[0].strText;
  std::string strName;
  ASSERT_TRUE(m_pClock->GetItemName(0, &strName));
  EXPECT_EQ("CPU FSB:", strName);
  ASSERT_TRUE(m_pVoltage->GetItemName(2, &strName));
  EXPECT_EQ("vChipset:", strName);

  // Another board code, and no registered path at all (relative paths).
  const uint8_t abyBoard[2] = {0x12, 0xAB};
  m_bench.Controller().SetMemory(mirel::kAddrBoardCode, abyBoard, 2);
  m_bench.system.bRegistered = false;
  CClockItemSet other(&m_bench.system);
  ASSERT_TRUE(other.Initialise());
  EXPECT_EQ("12AB\\TrivelConfig.XML", other.XmlPath());
  EXPECT_EQ(1, m_bench.system.CountBoxes(kLoadXmlFail));
}

// ------------------------------------------------------------ clock items --

TEST_F(ItemSets, ClockItemZeroStoresCodesAndReadsThemBack) {
  LoadSets();
  ASSERT_EQ(200, m_pClock->ReferenceClock());
  const struct {
    int nIndex;
    uint8_t byCode;
    int nReadBack;
  } kCases[] = {
      {71, 76, 70},  // 204 MHz is stored as 76 and shows as 203 MHz
      {0, 50, 0},    // 133 MHz
      {467, 225, 467},
      {67, 75, 67},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(m_pClock->SetIndex(4, 0, c.nIndex));
    EXPECT_EQ(c.byCode, m_pClock->Record(4)[15]) << c.nIndex;
    EXPECT_EQ(c.nReadBack, m_pClock->GetIndex(4, 0)) << c.nIndex;
  }
  EXPECT_EQ(71, m_pClock->GetDefaultIndex(0));  // 200 MHz + 2 %
  EXPECT_EQ("204", ClockText(0, 71));
}

TEST_F(ItemSets, AutoPcieClockFollowsTheOverclockAndSetsTheLiveFlagAtOnce) {
  LoadSets();
  SetMemory(mirel::kAddrLiveFlags, 0x80);  // other bits are kept
  const uint8_t* pbyController = m_bench.Controller().ClockRecord(4);
  const std::vector<uint8_t> vecStored(pbyController, pbyController + kClockRecordBytes);
  const struct {
    int nMhz;
    int nCode;
  } kCases[] = {{214, 37}, {215, 42}, {250, 43}, {600, 96}};
  for (const auto& c : kCases) {
    ASSERT_TRUE(m_pClock->SetIndex(4, 0, c.nMhz - 133));
    ASSERT_TRUE(m_pClock->SetIndex(4, 1, 0));
    EXPECT_EQ(c.nCode, Item1Code(m_pClock->Record(4))) << c.nMhz;
    EXPECT_EQ(0x81, Memory(mirel::kAddrLiveFlags));
    EXPECT_EQ(0, m_pClock->GetIndex(4, 1)) << "shows Auto";
  }
  // Index 1 stores 100 MHz and clears the flag before any commit.
  ASSERT_TRUE(m_pClock->SetIndex(4, 1, 1));
  EXPECT_EQ(37, Item1Code(m_pClock->Record(4)));
  EXPECT_EQ(0x80, Memory(mirel::kAddrLiveFlags));
  EXPECT_EQ(1, m_pClock->GetIndex(4, 1));
  EXPECT_EQ(vecStored, std::vector<uint8_t>(pbyController, pbyController + kClockRecordBytes))
      << "nothing committed";
}

TEST_F(ItemSets, ReferenceClockCodesGiveTheirDefaults) {
  const struct {
    uint8_t byCode;
    int nReference;
    int nDefault;
    int nAutoCodeAt600;  // "Auto" with item 0 at 600 MHz
  } kCases[] = {
      {1, 133, 3, 96},    // 282 MHz follows; the item's ceiling is 255 MHz
      {2, 200, 71, 96},   // 256 MHz, above the ceiling too
      {0, 266, 138, 86},  // 229 MHz
      {7, 0, 0, 37},      // unknown: lowest clock, PCIE clock stays at 100 MHz
  };
  for (const auto& c : kCases) {
    SetMemory(mirel::kAddrReferenceClock, c.byCode);
    LoadSets();
    EXPECT_EQ(c.nReference, m_pClock->ReferenceClock()) << int(c.byCode);
    EXPECT_EQ(c.nDefault, m_pClock->GetDefaultIndex(0)) << int(c.byCode);
    ASSERT_TRUE(m_pClock->SetIndex(0, 0, 467));
    ASSERT_TRUE(m_pClock->SetIndex(0, 1, 0));
    EXPECT_EQ(c.nAutoCodeAt600, Item1Code(m_pClock->Record(0))) << int(c.byCode);
  }
  // A failed read of the reference code counts as code 0.
  SetMemory(mirel::kAddrReferenceClock, 1);
  m_bench.system.pfnFails = [](bool bWrite, int, int nAddress) {
    return !bWrite && nAddress == mirel::kAddrReferenceClock;
  };
  LoadSets();
  EXPECT_EQ(266, m_pClock->ReferenceClock());
}

TEST_F(ItemSets, RecordCodesOutsideTheListsAreClampedIntoThem) {
  uint8_t* pbyRecord = m_bench.Controller().ClockRecord(5);
  pbyRecord[15] = 10;  // 27 MHz
  pbyRecord[23] = 3;   // item 1 code 511: 1363 MHz
  pbyRecord[24] = 0xFF;
  pbyRecord[8] = 0x30;                            // item 2 index 3 of three
  m_bench.Controller().ClockRecord(6)[15] = 255;  // 680 MHz
  m_bench.Controller().ClockRecord(6)[24] = 2;    // item 1 code 1: 3 MHz
  m_bench.Controller().ProfileChanged(5);
  m_bench.Controller().ProfileChanged(6);
  LoadSets();
  EXPECT_EQ(0, m_pClock->GetIndex(5, 0));
  EXPECT_EQ(156, m_pClock->GetIndex(5, 1));
  EXPECT_EQ(2, m_pClock->GetIndex(5, 2));
  EXPECT_EQ(467, m_pClock->GetIndex(6, 0));
  EXPECT_EQ(1, m_pClock->GetIndex(6, 1)) << "100 MHz, not Auto";
  EXPECT_EQ("255", ClockText(1, 156));

  // Outside a list nothing is read and nothing is stored.
  std::string strText = "kept";
  EXPECT_FALSE(m_pClock->GetValueText(0, 468, &strText));
  EXPECT_FALSE(m_pClock->GetValueText(0, -1, &strText));
  EXPECT_FALSE(m_pClock->GetValueText(3, 0, &strText));
  EXPECT_FALSE(m_pVoltage->GetValueText(1, 10, &strText));
  EXPECT_EQ("kept", strText);
  const std::vector<uint8_t> vecBefore(m_pClock->Record(4),
                                       m_pClock->Record(4) + kClockRecordBytes);
  const struct {
    int nProfile, nItem, nIndex;
  } kRefused[] = {{-1, 0, 0},  {7, 0, 0},  {4, 3, 0},   {4, -1, 0},
                  {4, 0, 468}, {4, 0, -1}, {4, 1, 157}, {4, 2, 3}};
  for (const auto& r : kRefused) {
    EXPECT_FALSE(m_pClock->SetIndex(r.nProfile, r.nItem, r.nIndex)) << r.nProfile << r.nItem;
    EXPECT_FALSE(m_pVoltage->SetIndex(r.nProfile, r.nItem, r.nIndex + 17 * (r.nIndex > 0)));
  }
  EXPECT_EQ(vecBefore,
            std::vector<uint8_t>(m_pClock->Record(4), m_pClock->Record(4) + kClockRecordBytes));
  EXPECT_EQ(0, m_pClock->GetIndex(7, 0));
  EXPECT_EQ(0, m_pVoltage->GetIndex(-1, 0));
  EXPECT_EQ(nullptr, m_pClock->Record(7));
}

// Storing an index and reading it back gives an index that reads back as
// itself once stored again: the lists and the codes agree everywhere. The
// coded clocks may move by one MHz; the voltage and PCI lists are exact.
TEST_F(ItemSets, EveryListEntryRoundTripsToAStableIndex) {
  LoadSets();
  for (int nItem = 0; nItem < kTrivelItems; ++nItem) {
    ASSERT_EQ((std::vector<int>{468, 157, 3})[nItem], m_pClock->GetValueCount(nItem));
    for (int i = 0; i < m_pClock->GetValueCount(nItem); ++i) {
      ASSERT_TRUE(m_pClock->SetIndex(6, nItem, i));
      const int nRead = m_pClock->GetIndex(6, nItem);
      EXPECT_LE(std::abs(nRead - i), nItem == 2 ? 0 : 1) << nItem << "/" << i;
      ASSERT_TRUE(m_pClock->SetIndex(6, nItem, nRead));
      EXPECT_EQ(nRead, m_pClock->GetIndex(6, nItem)) << nItem << "/" << i;
    }
  }
  for (int nItem = 0; nItem < kTrivelItems; ++nItem) {
    ASSERT_EQ((std::vector<int>{17, 10, 8})[nItem], m_pVoltage->GetValueCount(nItem));
    for (int i = 0; i < m_pVoltage->GetValueCount(nItem); ++i) {
      ASSERT_TRUE(m_pVoltage->SetIndex(6, nItem, i));
      EXPECT_EQ(i, m_pVoltage->GetIndex(6, nItem)) << nItem << "/" << i;
    }
  }
}

// ---------------------------------------------------------- voltage items --

TEST_F(ItemSets, VoltageCodesMapToTheirEntries) {
  const struct {
    int nByte;
    uint8_t byCode;
    int nItem;
    int nIndex;
  } kCases[] = {
      {1, 20, 0, 1},                   // nearest code 15
      {1, 23, 0, 2},                   // nearest code 30
      {1, 255, 0, 16}, {1, 22, 0, 1},  // 15 and 30 lie 7 and 8 away
      {2, 0, 1, 1},                    // code 0 is 1.80 V
      {2, 1, 1, 0},    {2, 99, 1, 0},  // no such code
      {3, 7, 2, 7},
  };
  for (const auto& c : kCases) {
    m_bench.Controller().VoltageRecord(3)[c.nByte] = c.byCode;
    m_bench.Controller().ProfileChanged(3);
    LoadSets();
    EXPECT_EQ(c.nIndex, m_pVoltage->GetIndex(3, c.nItem)) << int(c.byCode);
  }
  EXPECT_EQ("1.80", VoltText(1, 1));
  EXPECT_EQ("2.30", VoltText(1, 9));
  EXPECT_EQ("2.00", VoltText(2, 7));
  EXPECT_EQ((std::vector<std::string>{"33.33", "36.36", "40.00"}),
            (std::vector<std::string>{ClockText(2, 0), ClockText(2, 1), ClockText(2, 2)}));
}

TEST_F(ItemSets, VoltageItemZeroSitsAboveTheBaseVid) {
  const struct {
    uint8_t byBase;
    const char* pszFirst;
    const char* pszLast;
  } kCases[] = {
      {29, "1.5000", "1.9000"},   {0, "1.0875", "1.4875"},     {20, "0.8375", "1.2375"},
      {21, "1.6000", "2.0000"},   {61, "1.1000", "1.5000"},    {62, "-1.0000", "-0.6000"},
      {63, "-1.0000", "-0.6000"}, {200, "-1.0000", "-0.6000"},  // no VID beyond the table
  };
  for (const auto& c : kCases) {
    SetMemory(mirel::kAddrBaseVid, c.byBase);
    LoadSets();
    EXPECT_EQ(c.byBase, m_pVoltage->BaseVid());
    EXPECT_EQ(c.pszFirst, VoltText(0, 0)) << int(c.byBase);
    EXPECT_EQ(c.pszLast, VoltText(0, 16)) << int(c.byBase);
  }
  SetMemory(mirel::kAddrBaseVid, 29);
  LoadSets();
  EXPECT_EQ("1.5250", VoltText(0, 1));
  EXPECT_EQ("1.7000", VoltText(0, 8));
}

TEST_F(ItemSets, LimitsScaleTheVoltageByTheEqMap) {
  LoadSets();
  // The section names count over the whole document: "EQ" is the third.
  m_bench.WriteConfig(
      "<Trivel><VoltageItems><VoltageItem><ULVOEQMAP>A</ULVOEQMAP></VoltageItem>"
      "<VoltageItem><ULVOEQMAP>B</ULVOEQMAP></VoltageItem>"
      "<VoltageItem><ULVOEQMAP>EQ</ULVOEQMAP></VoltageItem></VoltageItems></Trivel>");
  LoadSets();
  const struct {
    const char* pszSection;
    uint8_t byLow, byHigh;
  } kCases[] = {
      {"[EQ]\r\nFactor=8\r\nDivisor=1\r\n", 150, 225},  // V 1.50
      {"[EQ]\r\nFactor=8\r\nDivisor=0\r\n", 0, 0},
      {"[EQ]\r\nFactor=0\r\nDivisor=1\r\n", 254, 254},  // infinite: the ceiling
      {"[EQ]\r\nFactor=0\r\nDivisor=0\r\n", 0, 0},      // no scaling at all
      {"[EQ]\r\nFactor=8\r\n", 0, 0},                   // Divisor defaults to 0
      {"[eq]\r\n factor = 16abc\r\nDIVISOR=2\r\n", 150, 225},
      {"[EQ]\r\nFactor=8\r\nDivisor=-1\r\n", 0, 0},  // a negative limit is none
      {"[EQ]\r\nFactor=1\r\nDivisor=100\r\n", 254, 254},
      {"[Other]\r\nFactor=8\r\nDivisor=1\r\n", 0, 0},  // section missing
  };
  for (const auto& c : kCases) {
    m_bench.WriteEqMap(c.pszSection);
    ASSERT_TRUE(m_pVoltage->SetIndex(2, 2, 0));
    EXPECT_EQ(c.byLow, m_pVoltage->Record(2)[21]) << c.pszSection;
    EXPECT_EQ(c.byHigh, m_pVoltage->Record(2)[22]) << c.pszSection;
    EXPECT_EQ(0, m_pVoltage->Record(2)[3]);
  }
  // Without its section name the item has no scaling: a message, no limits.
  m_bench.WriteConfig(
      "<Trivel><VoltageItems><VoltageItem><ULVOEQMAP>EQ</ULVOEQMAP></VoltageItem>"
      "<VoltageItem><ULVOEQMAP>EQ</ULVOEQMAP></VoltageItem></VoltageItems></Trivel>");
  m_bench.WriteEqMap("[EQ]\r\nFactor=8\r\nDivisor=1\r\n");
  LoadSets();
  m_bench.system.vecBoxes.clear();
  ASSERT_TRUE(m_pVoltage->SetIndex(2, 2, 0));
  EXPECT_EQ(std::vector<std::string>{kGetStringFail}, m_bench.system.BoxTexts());
  EXPECT_EQ(0, m_pVoltage->Record(2)[21]);
  ASSERT_TRUE(m_pVoltage->SetIndex(2, 1, 0));  // 1.75 V over Factor 8
  EXPECT_EQ(175, m_pVoltage->Record(2)[19]);
  EXPECT_EQ(1, m_pVoltage->Record(2)[2]);

  // The shipped map: vCore 1.6 V over Factor 16 gives 80 and 120.
  m_bench.WriteConfig(ShippedConfigFile("TrivelConfig.XML"));
  m_bench.WriteEqMap(ShippedConfigFile("ULVOEQ.ini"));
  LoadSets();
  ASSERT_TRUE(m_pVoltage->SetIndex(2, 0, 4));
  EXPECT_EQ(80, m_pVoltage->Record(2)[17]);
  EXPECT_EQ(120, m_pVoltage->Record(2)[18]);
}

// ----------------------------------------------------------- configuration --

TEST_F(ItemSets, MissingConfigurationIsReportedOncePerSet) {
  m_bench.system.strRegistered = m_bench.Folder() + "/elsewhere/TrivelOLE.dll";
  LoadSets();
  EXPECT_EQ(2, m_bench.system.CountBoxes(kLoadXmlFail));
  EXPECT_EQ(6, m_bench.system.CountBoxes(kGetStringFail)) << "three names per set";
  std::string strName = "x";
  ASSERT_TRUE(m_pClock->GetItemName(1, &strName));
  EXPECT_EQ("", strName);
  EXPECT_EQ(71, m_pClock->GetDefaultIndex(0));
  EXPECT_EQ(0, m_pClock->GetDefaultIndex(1));
  EXPECT_EQ(0, m_pVoltage->GetDefaultIndex(2));

  // No XML engine: the same as a failed load.
  m_bench.system.vecBoxes.clear();
  m_bench.system.bXmlEngine = false;
  CVoltageItemSet voltage(&m_bench.system);
  ASSERT_TRUE(voltage.Initialise());
  EXPECT_EQ(std::vector<std::string>{kLoadXmlFail}, m_bench.system.BoxTexts());
}

TEST_F(ItemSets, ConfigurationTextIsReadInDocumentOrderAndCut) {
  const std::string strLong(40, 'N');
  m_bench.WriteConfig(
      "<Trivel><ClockItems>"
      "<ClockItem><ItemName>" +
      strLong +
      "</ItemName><DeftIdx>99</DeftIdx></ClockItem>"
      "<ClockItem><ItemName>PCIE</ItemName><DeftIdx>12ab</DeftIdx></ClockItem>"
      "</ClockItems>"
      "<VoltageItems>"
      "<VoltageItem><ItemName>" +
      strLong +
      "</ItemName></VoltageItem>"
      "<VoltageItem><ItemName>V<b>2</b></ItemName><DeftIdx>-4</DeftIdx></VoltageItem>"
      "<VoltageItem><ItemName>V3</ItemName><DeftIdx>x7</DeftIdx><DeftIdx>999</DeftIdx>"
      "</VoltageItem></VoltageItems></Trivel>");
  LoadSets();
  // Two ClockItems: the third clock name is missing, one message.
  EXPECT_EQ(std::vector<std::string>{kGetStringFail}, m_bench.system.BoxTexts());
  std::string strName;
  m_pClock->GetItemName(0, &strName);
  EXPECT_EQ(std::string(kClockNameChars, 'N'), strName);
  m_pClock->GetItemName(2, &strName);
  EXPECT_EQ("", strName);
  m_pVoltage->GetItemName(0, &strName);
  EXPECT_EQ(std::string(kVoltageNameChars, 'N'), strName);
  m_pVoltage->GetItemName(1, &strName);
  EXPECT_EQ("V2", strName) << "text of the element and its descendants";
  EXPECT_EQ(12, m_pClock->GetDefaultIndex(1)) << "\"12ab\" reads as 12";
  EXPECT_EQ(0, m_pClock->GetDefaultIndex(2)) << "no third DeftIdx";
  // Occurrences count over the whole document, not per item: the first
  // voltage DeftIdx ("-4", never read) sits in the second item, so the
  // second is "x7" and the third "999".
  EXPECT_EQ(0, m_pVoltage->GetDefaultIndex(1)) << "letters only read as 0";
  EXPECT_EQ(7, m_pVoltage->GetDefaultIndex(2)) << "clamped to the last entry";

  m_bench.WriteConfig(
      "<Trivel><ClockItems><ClockItem><DeftIdx>0</DeftIdx></ClockItem>"
      "<ClockItem><DeftIdx> 999</DeftIdx></ClockItem>"
      "<ClockItem><DeftIdx>+2</DeftIdx></ClockItem></ClockItems></Trivel>");
  LoadSets();
  EXPECT_EQ(156, m_pClock->GetDefaultIndex(1)) << "clamped to the last entry";
  EXPECT_EQ(2, m_pClock->GetDefaultIndex(2));
}

// ------------------------------------------------------------- records --

TEST_F(ItemSets, FailedRecordReadsLeaveZeroedRecords) {
  // Clock reads fail with a message each; voltage reads fail silently.
  m_bench.system.pfnFails = [](bool bWrite, int, int nAddress) {
    return !bWrite &&
           (nAddress == mirel::kAddrClockRecord || nAddress == mirel::kAddrVoltageRecord);
  };
  LoadSets();
  EXPECT_EQ(7, m_bench.system.CountBoxes("Load Mode Data Error."));
  EXPECT_EQ(7u, m_bench.system.vecBoxes.size());
  for (int p = 0; p < kTrivelProfiles; ++p) {
    for (uint32_t i = 0; i < kClockRecordBytes; ++i) ASSERT_EQ(0, m_pClock->Record(p)[i]) << p;
    for (uint32_t i = 0; i < kVoltageRecordBytes; ++i) ASSERT_EQ(0, m_pVoltage->Record(p)[i]) << p;
    EXPECT_EQ(0, m_pClock->GetIndex(p, 0));
    EXPECT_EQ(1, m_pVoltage->GetIndex(p, 1));
  }

  // A profile select that fails reads nothing either.
  m_bench.system.pfnFails = [](bool bWrite, int, int nAddress) {
    return bWrite && nAddress == mirel::kAddrProfileSelect;
  };
  m_bench.system.vecBoxes.clear();
  LoadSets();
  EXPECT_EQ(7, m_bench.system.CountBoxes("Load Mode Data Error."));
}

TEST_F(ItemSets, CommitWritesTheRecordIntoItsProfile) {
  LoadSets();
  ASSERT_TRUE(m_pClock->SetIndex(5, 0, 71));
  ASSERT_TRUE(m_pClock->SetIndex(5, 2, 1));
  ASSERT_TRUE(m_pVoltage->SetIndex(5, 1, 9));
  ASSERT_TRUE(m_pClock->Commit(5));
  ASSERT_TRUE(m_pVoltage->Commit(5));
  EXPECT_EQ(
      0, std::memcmp(m_pClock->Record(5), m_bench.Controller().ClockRecord(5), kClockRecordBytes));
  EXPECT_EQ(0, std::memcmp(m_pVoltage->Record(5), m_bench.Controller().VoltageRecord(5),
                           kVoltageRecordBytes));
  EXPECT_EQ(76, m_bench.Controller().ClockRecord(5)[15]);
  EXPECT_EQ(0x10, m_bench.Controller().ClockRecord(5)[8] & 0x30);
  EXPECT_EQ(9, m_bench.Controller().VoltageRecord(5)[2]);

  // Either write failing fails the commit.
  for (int nAddress : {int(mirel::kAddrClockRecord), int(mirel::kAddrProfileCommit)}) {
    m_bench.system.pfnFails = [nAddress](bool bWrite, int, int nAt) {
      return bWrite && nAt == nAddress;
    };
    EXPECT_FALSE(m_pClock->Commit(5)) << nAddress;
  }
  EXPECT_FALSE(m_pClock->Commit(7));
}

}  // namespace
