// What every XML document of the plug-in must do alike, whichever engine
// stands behind it: the native build's pugixml document and the Windows
// build's MSXML document run these same cases (XmlDocumentTest.cpp natively,
// XmlDocumentTest_win.cpp under Wine). Serialisation is compared as parsed
// content, never as bytes: the engines lay out white space differently.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "trivelole/PluginPorts.h"

using XmlDocumentFactory = std::unique_ptr<IXmlDocument> (*)();

// A file in the temporary folder, removed at the end of the scope.
class CTempXmlFile {
 public:
  explicit CTempXmlFile(const std::string& strContent) {
    // Native and sanitizer runs may share the folder at the same time.
    std::random_device random;
    m_path = std::filesystem::temp_directory_path() /
             ("trivel-xml-" + std::to_string(random()) + "-" + std::to_string(random()) + ".xml");
    std::ofstream file(m_path, std::ios::binary);
    file << strContent;
  }
  CTempXmlFile(const CTempXmlFile&) = delete;
  CTempXmlFile& operator=(const CTempXmlFile&) = delete;
  ~CTempXmlFile() {
    std::error_code error;
    std::filesystem::remove(m_path, error);
  }
  std::string Path() const { return m_path.string(); }

 private:
  std::filesystem::path m_path;
};

// A configuration in the layout the plug-in reads, in UTF-8. The second
// ClockItems group makes document order and the order of parents differ
// from the order of the items under one parent.
constexpr char kContractConfiguration[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Trivel>\n"
    "  <ClockItems>\n"
    "    <ClockItem><ItemName>CPU Clock</ItemName><DeftIdx>5</DeftIdx></ClockItem>\n"
    "    <ClockItem><ItemName>PCI Clock</ItemName></ClockItem>\n"
    "  </ClockItems>\n"
    "  <VoltageItems>\n"
    "    <VoltageItem><ItemName>Vcore</ItemName><ULVOEQMAP>VCORE</ULVOEQMAP></VoltageItem>\n"
    "  </VoltageItems>\n"
    "  <ClockItems>\n"
    "    <ClockItem><ItemName>AGP Clock</ItemName><DeftIdx>12ab</DeftIdx></ClockItem>\n"
    "  </ClockItems>\n"
    "  <Note>one<B>two<C>three</C></B>four</Note>\n"
    "  <Text>Caf\xC3\xA9 \xE4\xB8\xAD</Text>\n"
    "</Trivel>\n";

class XmlDocumentContract : public ::testing::TestWithParam<XmlDocumentFactory> {
 protected:
  std::unique_ptr<IXmlDocument> NewDocument() {
    std::unique_ptr<IXmlDocument> pDocument = GetParam()();
    EXPECT_TRUE(pDocument && pDocument->IsReady());
    return pDocument;
  }
  // A document loaded from text; fails the test when it does not load.
  std::unique_ptr<IXmlDocument> LoadedDocument(const std::string& strContent) {
    std::unique_ptr<IXmlDocument> pDocument = NewDocument();
    CTempXmlFile file(strContent);
    EXPECT_TRUE(pDocument->Load(file.Path()));
    return pDocument;
  }
};

struct SLookup {
  const char* pszPath;
  int n;
  const char* pszExpected;  // null: the lookup fails
};

TEST_P(XmlDocumentContract, LooksUpPathsInDocumentOrderAcrossTheWholeDocument) {
  std::unique_ptr<IXmlDocument> pDocument = LoadedDocument(kContractConfiguration);
  const SLookup aLookups[] = {
      // The n-th ItemName under any ClockItem: the third lies in another group.
      {"Trivel/ClockItems/ClockItem/ItemName", 0, "CPU Clock"},
      {"Trivel/ClockItems/ClockItem/ItemName", 1, "PCI Clock"},
      {"Trivel/ClockItems/ClockItem/ItemName", 2, "AGP Clock"},
      {"Trivel/ClockItems/ClockItem/ItemName", 3, nullptr},
      {"Trivel/ClockItems/ClockItem/DeftIdx", 1, "12ab"},
      {"Trivel/ClockItems/ClockItem/DeftIdx", 2, nullptr},
      {"Trivel/VoltageItems/VoltageItem/ULVOEQMAP", 0, "VCORE"},
      // A leading "/" anchors at the document node, as the plain form does.
      {"/Trivel/ClockItems/ClockItem/ItemName", 2, "AGP Clock"},
      {"/Trivel/VoltageItems/VoltageItem/ItemName", 0, "Vcore"},
      // Paths name elements from the root down, not anywhere below it.
      {"ClockItems/ClockItem/ItemName", 0, nullptr},
      {"Trivel/ClockItem/ItemName", 0, nullptr},
      {"Trivel/Missing", 0, nullptr},
      {"Trivel/ClockItems/ClockItem/ItemName", -1, nullptr},
      // The document node is no element: it has no text of its own to give.
      {"/", 0, nullptr},
  };
  for (const SLookup& lookup : aLookups) {
    SCOPED_TRACE(std::string(lookup.pszPath) + " #" + std::to_string(lookup.n));
    std::string strText = "untouched";
    const bool bFound = pDocument->GetString(lookup.pszPath, lookup.n, &strText);
    EXPECT_EQ(lookup.pszExpected != nullptr, bFound);
    if (lookup.pszExpected) {
      EXPECT_EQ(lookup.pszExpected, strText);
    }
  }
}

TEST_P(XmlDocumentContract, GivesTheTextOfAnElementAndItsDescendantsInTheAnsiCodePage) {
  std::unique_ptr<IXmlDocument> pDocument = LoadedDocument(kContractConfiguration);
  std::string strText;
  ASSERT_TRUE(pDocument->GetString("Trivel/Note", 0, &strText));
  EXPECT_EQ("onetwothreefour", strText);
  ASSERT_TRUE(pDocument->GetString("Trivel/ClockItems/ClockItem", 0, &strText));
  EXPECT_EQ("CPU Clock5", strText);
  // U+00E9 is byte 0xE9; a character the code page lacks becomes '?'.
  ASSERT_TRUE(pDocument->GetString("Trivel/Text", 0, &strText));
  EXPECT_EQ("Caf\xE9 ?", strText);
}

TEST_P(XmlDocumentContract, RefusesFilesThatAreMissingOrNotWellFormed) {
  std::unique_ptr<IXmlDocument> pDocument = NewDocument();
  EXPECT_FALSE(pDocument->Load(
      (std::filesystem::temp_directory_path() / "trivel-no-such-file.xml").string()));
  const char* const apszBroken[] = {
      "<Trivel><ClockItems></Trivel>",
      "<Trivel>",
      "",
      "<Trivel/><Second/>",
  };
  for (const char* pszBroken : apszBroken) {
    SCOPED_TRACE(pszBroken);
    CTempXmlFile file(pszBroken);
    EXPECT_FALSE(pDocument->Load(file.Path()));
  }
  // A failed load leaves nothing to look up, not the previous document.
  CTempXmlFile good(kContractConfiguration);
  ASSERT_TRUE(pDocument->Load(good.Path()));
  CTempXmlFile broken("<Trivel><ClockItems></Trivel>");
  EXPECT_FALSE(pDocument->Load(broken.Path()));
  std::string strText;
  EXPECT_FALSE(pDocument->GetString("Trivel/ClockItems/ClockItem/ItemName", 0, &strText));
}

// Builds the shape of the plug-in's information document.
inline void BuildInfoDocument(IXmlDocument* pDocument) {
  ASSERT_TRUE(pDocument->AddDeclaration("xml", "version=\"1.0\""));
  ASSERT_TRUE(pDocument->AddElement("/", 0, "Info"));
  ASSERT_TRUE(pDocument->AddElement("/Info", 0, "Profile"));
  ASSERT_TRUE(pDocument->AddElement("/Info", 0, "Profile"));
  ASSERT_TRUE(pDocument->AddTextElement("/Info/Profile", 0, "Name", "first"));
  ASSERT_TRUE(pDocument->AddTextElement("/Info/Profile", 1, "Name", "second"));
  ASSERT_TRUE(pDocument->AddTextElement("/Info/Profile", 1, "Clock", "133"));
  ASSERT_TRUE(pDocument->AddTextElement("/Info", 0, "Empty", ""));
  ASSERT_TRUE(pDocument->SetAttribute("/Info/Profile", 1, "id", "2"));
  ASSERT_TRUE(pDocument->SetAttribute("/Info/Profile", 1, "id", "7"));  // replaces
  ASSERT_TRUE(pDocument->SetAttribute("/Info/Profile", 0, "id", "1"));
}

TEST_P(XmlDocumentContract, AppendsElementsAndSetsAttributesOnTheNthSelectedNode) {
  std::unique_ptr<IXmlDocument> pDocument = NewDocument();
  BuildInfoDocument(pDocument.get());
  const SLookup aLookups[] = {
      {"Info/Profile/Name", 0, "first"},
      {"Info/Profile/Name", 1, "second"},
      {"Info/Profile", 1, "second133"},
      {"Info/Empty", 0, ""},
  };
  for (const SLookup& lookup : aLookups) {
    SCOPED_TRACE(std::string(lookup.pszPath) + " #" + std::to_string(lookup.n));
    std::string strText;
    ASSERT_TRUE(pDocument->GetString(lookup.pszPath, lookup.n, &strText));
    EXPECT_EQ(lookup.pszExpected, strText);
  }
  // Text handed in is ANSI too, and comes back as it went in.
  ASSERT_TRUE(pDocument->AddTextElement("/Info", 0, "Owner", "Ren\xE9"));
  std::string strText;
  ASSERT_TRUE(pDocument->GetString("Info/Owner", 0, &strText));
  EXPECT_EQ("Ren\xE9", strText);

  // A document has one root element.
  EXPECT_FALSE(pDocument->AddElement("/", 0, "Second"));
  EXPECT_FALSE(pDocument->AddTextElement("/", 0, "Second", "x"));
  EXPECT_FALSE(pDocument->GetString("/Second", 0, &strText));
  // Nothing is appended to or set on a node that is not there.
  EXPECT_FALSE(pDocument->AddElement("/Info/Profile", 2, "Name"));
  EXPECT_FALSE(pDocument->AddTextElement("/Info/Missing", 0, "Name", "x"));
  EXPECT_FALSE(pDocument->SetAttribute("/Info/Profile", 2, "id", "3"));
  EXPECT_FALSE(pDocument->SetAttribute("/Info/Profile", -1, "id", "3"));
  EXPECT_FALSE(pDocument->GetString("Info/Profile/Name", 2, &strText));
}

TEST_P(XmlDocumentContract, SerialisesToTextThatParsesBackToTheSameContent) {
  std::unique_ptr<IXmlDocument> pDocument = NewDocument();
  BuildInfoDocument(pDocument.get());
  std::string strXml;
  ASSERT_TRUE(pDocument->GetXml(&strXml));
  EXPECT_EQ(0u, strXml.find("<?xml version=\"1.0\"?>")) << strXml;
  EXPECT_EQ(std::string::npos, strXml.find('\0'));

  std::unique_ptr<IXmlDocument> pParsed = LoadedDocument(strXml);
  const SLookup aLookups[] = {
      {"/Info/Profile/Name", 0, "first"},
      {"/Info/Profile/Name", 1, "second"},
      {"/Info/Profile/Clock", 0, "133"},
      {"/Info/Profile/Clock", 1, nullptr},
      {"/Info/Empty", 0, ""},
      // The replaced attribute holds its last value and occurs once.
      {"/Info/Profile[@id='7']/Name", 0, "second"},
      {"/Info/Profile[@id='1']/Name", 0, "first"},
      {"/Info/Profile[@id='2']", 0, nullptr},
  };
  for (const SLookup& lookup : aLookups) {
    SCOPED_TRACE(std::string(lookup.pszPath) + " #" + std::to_string(lookup.n));
    std::string strText;
    EXPECT_EQ(lookup.pszExpected != nullptr,
              pParsed->GetString(lookup.pszPath, lookup.n, &strText));
    if (lookup.pszExpected) {
      EXPECT_EQ(lookup.pszExpected, strText);
    }
  }
  // Serialising the parsed document again gives the same content. (The
  // text of an element with element children is not compared: the white
  // space that serialisation puts between them is the engine's to lay out.)
  std::string strAgain;
  ASSERT_TRUE(pParsed->GetXml(&strAgain));
  std::unique_ptr<IXmlDocument> pAgain = LoadedDocument(strAgain);
  std::string strText;
  ASSERT_TRUE(pAgain->GetString("Info/Profile[@id='7']/Clock", 0, &strText));
  EXPECT_EQ("133", strText);
  EXPECT_FALSE(pAgain->GetString("Info/Profile/Name", 2, &strText));
}
