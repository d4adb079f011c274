// The plug-in object: interface lookup, construction with and without the
// controller library and configuration, the shutdown privilege guard, the
// counters and the information document node by node, and GetInfo's
// buffer.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/MirelIoctl.h"
#include "tests/trivelole/FakePluginSystem.h"
#include "trivelole/TrivelPlugin.h"

namespace {

class CSilentNotifier : public ITrivelNotifier {
 public:
  bool HasCallback() const override { return false; }
  void Notify(int, int) override {}
};

TEST(TrivelInterfaces, NamesAreFoundExactlyAndInOrder) {
  const struct {
    const char* pszName;
    ETrivelInterface eExpected;
  } kCases[] = {
      {"IULVOExtend", ETrivelInterface::Extend}, {"IULVOInfo", ETrivelInterface::Info},
      {"IULVODialog", ETrivelInterface::Dialog}, {"IULVOPlugin", ETrivelInterface::Extend},
      {"iulvodialog", ETrivelInterface::None},   {"IULVODialog ", ETrivelInterface::None},
      {"IULVO", ETrivelInterface::None},         {"", ETrivelInterface::None},
      {nullptr, ETrivelInterface::None},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.eExpected, FindTrivelInterface(c.pszName)) << (c.pszName ? c.pszName : "null");
}

class TrivelPlugin : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_bench.IsOpen()); }
  std::unique_ptr<CTrivelPlugin> Make() {
    return std::make_unique<CTrivelPlugin>(&m_bench.system, &m_notifier);
  }
  void SetCounters(uint8_t byLow, uint8_t byHigh, int nOffset) {
    const uint8_t aby[2] = {byLow, byHigh};
    m_bench.Controller().SetMemory(static_cast<uint16_t>(mirel::kAddrCounters + nOffset), aby, 2);
  }
  std::string Info(CTrivelPlugin& plugin, int nProfile) {
    std::vector<char> vecBuffer(kTrivelInfoBufferSize, 'x');
    plugin.GetInfo(vecBuffer.data(), vecBuffer.size(), nProfile);
    return vecBuffer.data();
  }

  CPluginBench m_bench;
  CSilentNotifier m_notifier;
};

TEST_F(TrivelPlugin, BuildsQuietlyOverTheBenchWithThePrivilegeHeld) {
  {
    auto pPlugin = Make();
    EXPECT_TRUE(pPlugin->Ready());
    EXPECT_TRUE(m_bench.system.vecBoxes.empty());
    EXPECT_TRUE(m_bench.system.vecExitCodes.empty());
    EXPECT_EQ(3, m_bench.system.nOpenedControllers) << "both item sets and the counter reader";
    EXPECT_EQ((std::vector<bool>{true, true}), m_bench.system.vecPrivilege);
    EXPECT_EQ(0, pPlugin->Refs());
    EXPECT_EQ(1, pPlugin->AddRef());
    EXPECT_EQ(2, pPlugin->AddRef());
    EXPECT_EQ(1, pPlugin->Release());
  }
  EXPECT_EQ((std::vector<bool>{true, true, false, false}), m_bench.system.vecPrivilege);
}

TEST_F(TrivelPlugin, PrivilegeErrorsAreShownAndConstructionGoesOn) {
  m_bench.system.dwPrivilegeError = 0x522;
  Make().reset();
  ASSERT_EQ(4u, m_bench.system.vecBoxes.size());
  for (const auto& box : m_bench.system.vecBoxes) {
    EXPECT_EQ("The operation failed with error 0x00000522.", box.strText);
    EXPECT_EQ("Error", box.strCaption);
    EXPECT_EQ(kBoxIconStop, box.dwStyle);
  }
}

TEST_F(TrivelPlugin, MissingControllerLibraryEndsTheHost) {
  m_bench.system.pController = nullptr;
  auto pPlugin = Make();
  EXPECT_EQ((std::vector<std::string>{"Load KT9020DLL failed.", "Initial KT9020Dll Failed."}),
            m_bench.system.BoxTexts());
  EXPECT_EQ(std::vector<uint32_t>{1}, m_bench.system.vecExitCodes);
  EXPECT_FALSE(pPlugin->Ready());
  EXPECT_TRUE(m_bench.system.vecPrivilege.empty()) << "no counter reader was built";
  char szBuffer[16] = "unchanged";
  pPlugin->GetInfo(szBuffer, sizeof szBuffer, 0);
  EXPECT_STREQ("", szBuffer);
}

TEST_F(TrivelPlugin, MissingConfigurationIsReportedOncePerItemSet) {
  m_bench.system.strRegistered = "C:\\Nowhere\\TrivelOLE.dll";
  auto pPlugin = Make();
  EXPECT_TRUE(pPlugin->Ready());
  EXPECT_EQ(2, m_bench.system.CountBoxes("Load XML File Fail"));
  EXPECT_TRUE(m_bench.system.vecExitCodes.empty());
}

// Walks the document's nodes in order: name, attribute NAME, text.
std::vector<std::string> Nodes(const std::string& strXml, std::string* pstrDeclaration) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_string(strXml.c_str(),
                              pugi::parse_default | pugi::parse_declaration | pugi::parse_pi))
      << strXml;
  std::vector<std::string> vecNodes;
  struct SWalker : pugi::xml_tree_walker {
    std::vector<std::string>* pvec;
    std::string* pstrDecl;
    bool for_each(pugi::xml_node& node) override {
      if (node.type() == pugi::node_declaration || node.type() == pugi::node_pi) {
        *pstrDecl = std::string(node.name()) + " " + node.attribute("version").value();
      } else if (node.type() == pugi::node_element) {
        std::string str = std::string(depth(), ' ') + node.name();
        if (node.attribute("NAME")) str += std::string(" NAME=") + node.attribute("NAME").value();
        if (node.first_child().type() == pugi::node_pcdata)
          str += std::string(" = ") + node.child_value();
        pvec->push_back(str);
      }
      return true;
    }
  } walker;
  walker.pvec = &vecNodes;
  walker.pstrDecl = pstrDeclaration;
  doc.traverse(walker);
  return vecNodes;
}

TEST_F(TrivelPlugin, InformationDocumentListsItemsAndCountersNodeByNode) {
  SetCounters(0x34, 0x12, 8);   // AC_UPTOTAL 4660
  SetCounters(0xFF, 0xFF, 10);  // AC_POWER_CYCLE 65535
  auto pPlugin = Make();
  std::string strDeclaration;
  const std::vector<std::string> vecProfile0 = Nodes(Info(*pPlugin, 0), &strDeclaration);
  EXPECT_EQ("xml 1.0", strDeclaration);
  const std::vector<std::string> vecExpected0 = {
      "ULVO_PLUGIN",
      " FREQUENCE",
      "  ITEM NAME=TRIVEL_FREQUENCE_1",
      "   CAPTION = CPU FSB:",
      "   OC_CURRENT_SETTING = 200 MHz",
      " VOLTAGE",
      "  ITEM NAME=TRIVEL_VOLT_1",
      "   CAPTION = vCore:",
      "   OC_CURRENT_SETTING = 1.5000 V",
      "  ITEM NAME=TRIVEL_VOLT_2",
      "   CAPTION = vDIMM:",
      "   OC_CURRENT_SETTING = 1.80 V",
      "  ITEM NAME=TRIVEL_VOLT_3",
      "   CAPTION = vChipset:",
      "   OC_CURRENT_SETTING = 1.50 V",
      " POWER",
      "  ITEM NAME=Power Cycle",
      "   AC_UPTOTAL = 4660 HR(s)",
      "   AC_POWER_CYCLE = 65535 Cycle(s)",
      "   PC_UPTOTAL = 3456 HR(s)",
      "   PC_UP = 12 HR(s)",
      "   PC_POWER_CYCLE = 789 Cycle(s)",
      "   PC_RESET_CYCLE = 21 Cycle(s)",
  };
  EXPECT_EQ(vecExpected0, vecProfile0);

  // Profile 3: other values, the same counters.
  std::vector<std::string> vecExpected3 = vecExpected0;
  vecExpected3[4] = "   OC_CURRENT_SETTING = 216 MHz";  // code 81
  vecExpected3[8] = "   OC_CURRENT_SETTING = 1.5750 V";
  vecExpected3[14] = "   OC_CURRENT_SETTING = 1.65 V";
  EXPECT_EQ(vecExpected3, Nodes(Info(*pPlugin, 3), &strDeclaration));

  // Counters are read at each call.
  SetCounters(0x01, 0x00, 0);
  EXPECT_EQ("   PC_UP = 1 HR(s)", Nodes(Info(*pPlugin, 0), &strDeclaration)[20]);
}

TEST_F(TrivelPlugin, FailedCounterReadGivesZeros) {
  m_bench.system.pfnFails = [](bool bWrite, int, int nAddress) {
    return !bWrite && nAddress == mirel::kAddrCounters;
  };
  auto pPlugin = Make();
  std::string strDeclaration;
  const std::vector<std::string> vecNodes = Nodes(Info(*pPlugin, 0), &strDeclaration);
  ASSERT_EQ(23u, vecNodes.size());
  EXPECT_EQ("   AC_UPTOTAL = 0 HR(s)", vecNodes[17]);
  EXPECT_EQ("   PC_RESET_CYCLE = 0 Cycle(s)", vecNodes[22]);

  // The reader's own library missing: reported, zeros, construction goes on.
  CFakePluginSystem system;
  CPowerCounterReader reader(&system);
  EXPECT_EQ(std::vector<std::string>{"Load KT9020DLL failed."}, system.BoxTexts());
  SPowerCounters counters;
  counters.wPcUp = 7;
  EXPECT_TRUE(reader.ReadCounters(&counters));
  EXPECT_EQ(0, counters.wPcUp);
}

TEST_F(TrivelPlugin, GetInfoNeverWritesPastTheHostsBuffer) {
  auto pPlugin = Make();
  const std::string strXml = Info(*pPlugin, 0);
  ASSERT_GT(strXml.size(), 100u);
  const size_t nSizes[] = {strXml.size() + 1, strXml.size(), 1, 0};
  for (size_t nSize : nSizes) {
    std::vector<char> vecBuffer(nSize + 8, 'x');
    pPlugin->GetInfo(vecBuffer.data(), nSize, 0);
    if (nSize > strXml.size()) {
      EXPECT_EQ(strXml, vecBuffer.data());
    } else if (nSize > 0) {
      EXPECT_EQ('\0', vecBuffer[0]) << "a document that does not fit gives the empty text";
    }
    for (size_t i = nSize; i < vecBuffer.size(); ++i) ASSERT_EQ('x', vecBuffer[i]) << nSize;
  }
  pPlugin->GetInfo(nullptr, 100, 0);
  // Profiles outside 0..6 give the document of values read as index 0.
  EXPECT_NE(std::string::npos, Info(*pPlugin, 9).find("133 MHz"));
}

}  // namespace
