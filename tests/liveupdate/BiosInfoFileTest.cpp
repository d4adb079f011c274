// The information-file reader: grammar, lookups, loading and the codec.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fake/Fakes.h"
#include "tessaro/liveupdate/BiosInfoFile.h"

namespace {

struct SLookupCase {
  const char* pszName;
  std::string strText;
  const char* pszSection;
  const char* pszKey;
  bool bFound;
  const char* pszValue;
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

const std::vector<SLookupCase>& LookupCases() {
  static const std::vector<SLookupCase> s_cases = {
      {"blanks around '=' belong to key and value", "[GLOBAL]\r\ncount = 3\r\n", "GLOBAL", "count",
       false, ""},
      {"key with its trailing blank", "[GLOBAL]\r\ncount = 3\r\n", "GLOBAL", "count ", true, " 3"},
      {"plain key line", "[GLOBAL]\r\ncount=3\r\n", "GLOBAL", "count", true, "3"},
      {"section names are case-sensitive", "[global]\r\ncount=3\r\n", "GLOBAL", "count", false, ""},
      {"keys are case-sensitive", "[GLOBAL]\r\nCount=3\r\n", "GLOBAL", "count", false, ""},
      {"second '=' belongs to the value", "[A]\r\nk=b=c\r\n", "A", "k", true, "b=c"},
      {"empty value is found", "[A]\r\nk=\r\n", "A", "k", true, ""},
      {"header preceded by blanks", "  \t[A]\r\nk=1\r\n", "A", "k", true, "1"},
      {"header with text around it", "x[A]y\r\nk=1\r\n", "A", "k", true, "1"},
      {"'[' without ']' is no header", "[A\r\nk=1\r\n", "A", "k", false, ""},
      {"a key line holding brackets names a section", "[Z]\r\nv=[A]\r\nk=1\r\n", "A", "k", true,
       "1"},
      {"line starting with '[' ends the section", "[A]\r\n[B\r\nk=1\r\n", "A", "k", false, ""},
      {"indented header does not end the section", "[A]\r\n  [B]\r\nk=1\r\n", "A", "k", true, "1"},
      {"first matching key wins", "[A]\r\nk=1\r\nk=2\r\n", "A", "k", true, "1"},
      {"first matching section wins", "[A]\r\nx=1\r\n[A]\r\nk=2\r\n", "A", "k", false, ""},
      {"key of another section is not found", "[A]\r\nx=1\r\n[B]\r\nk=2\r\n", "A", "k", false, ""},
      {"lines without '=' are skipped", "[A]\r\nnothing\r\nk=1\r\n", "A", "k", true, "1"},
      {"CR-only line ends", "[A]\rx=0\rk=1\r", "A", "k", true, "1"},
      {"LF-CR line ends", "[A]\n\rx=0\n\rk=1", "A", "k", true, "1"},
      {"LF LF is one line end", "[A]\n\nk=1", "A", "k", true, "1"},
      {"third line-end character starts an empty line", "[A]\r\n\nk=1", "A", "k", true, "1"},
      {"last line without line end is examined", "[A]\r\nk=1", "A", "k", true, "1"},
      {"header on the last line has no body", "x=1\r\n[A]", "A", "x", false, ""},
      {"first zero byte ends the text", std::string("[A]\r\nx=1\r\n\0k=1\r\n", 16), "A", "k", false,
       ""},
      {"zero byte ends the value", std::string("[A]\r\nk=12\0003\r\n", 13), "A", "k", true, "12"},
      {"empty section name", "[]\r\nk=1\r\n", "", "k", true, "1"},
      {"line of 1025 characters is read", "[A]\r\nk=" + Repeat('v', 1023) + "\r\n", "A", "k", true,
       nullptr},
      {"line of 1026 characters ends the lookup", "[A]\r\nx=" + Repeat('v', 1024) + "\r\nk=1\r\n",
       "A", "k", false, ""},
      {"too-long line before the section ends the lookup", Repeat('v', 1026) + "\r\n[A]\r\nk=1\r\n",
       "A", "k", false, ""},
      {"too-long line after the key is never reached", "[A]\r\nk=1\r\n" + Repeat('v', 5000), "A",
       "k", true, "1"},
      {"too-long key line itself", "[A]\r\nk=" + Repeat('v', 1024), "A", "k", false, ""},
      {"binary bytes are ordinary characters", "[A\x80]\r\n\x01\xff=\xfe\r\n", "A\x80", "\x01\xff",
       true, "\xfe"},
  };
  return s_cases;
}

class CReaderTest : public ::testing::Test {
 protected:
  CFakeFileSystem m_fs;
  CBiosInfoFile m_file{m_fs};

  void LoadText(const std::string& strText) {
    ASSERT_TRUE(m_file.LoadBytes(reinterpret_cast<const uint8_t*>(strText.data()), strText.size(),
                                 INFO_PLAIN));
  }
};

TEST_F(CReaderTest, LookupsFollowTheGrammarAndAgreeWithTheLineWalk) {
  for (const SLookupCase& c : LookupCases()) {
    LoadText(c.strText);
    std::string strValue;
    bool bFound = m_file.GetString(c.pszSection, c.pszKey, "dflt", &strValue);
    EXPECT_EQ(c.bFound, bFound) << c.pszName;
    if (c.pszValue) {
      EXPECT_EQ(c.bFound ? c.pszValue : "dflt", strValue) << c.pszName;
    }
    std::string strScanned;
    EXPECT_EQ(c.bFound, m_file.LookupByScan(c.pszSection, c.pszKey, &strScanned)) << c.pszName;
    if (c.bFound) {
      EXPECT_EQ(strValue, strScanned) << c.pszName;
    }
  }
}

TEST_F(CReaderTest, GetIntReadsAsAtoiAndFallsBackOnEmptyOrMissing) {
  LoadText(
      "[N]\r\na= 42abc\r\nb=-7\r\nc=abc\r\nd=\r\ne=+5\r\nf=99999999999\r\ng=-99999999999\r\n"
      "h=\t\v12\r\n");
  EXPECT_EQ(42, m_file.GetInt("N", "a", 9));
  EXPECT_EQ(-7, m_file.GetInt("N", "b", 9));
  EXPECT_EQ(0, m_file.GetInt("N", "c", 9));
  EXPECT_EQ(9, m_file.GetInt("N", "d", 9));
  EXPECT_EQ(5, m_file.GetInt("N", "e", 9));
  EXPECT_EQ(INT_MAX, m_file.GetInt("N", "f", 9));
  EXPECT_EQ(INT_MIN, m_file.GetInt("N", "g", 9));
  EXPECT_EQ(12, m_file.GetInt("N", "h", 9));
  EXPECT_EQ(9, m_file.GetInt("N", "missing", 9));
}

TEST_F(CReaderTest, ValuesAndDefaultsAreCutToTheCallersBuffer) {
  LoadText("[A]\r\nk=" + Repeat('v', 1000) + "\r\n");
  char szSmall[8];
  std::memset(szSmall, 'x', sizeof(szSmall));
  EXPECT_TRUE(m_file.GetString("A", "k", "", szSmall, 4));
  EXPECT_STREQ("vvv", szSmall);
  EXPECT_EQ('x', szSmall[4]);  // nothing written past the given size
  EXPECT_FALSE(m_file.GetString("A", "missing", "defaultlong", szSmall, 5));
  EXPECT_STREQ("defa", szSmall);
  char szUntouched = 'u';
  EXPECT_TRUE(m_file.GetString("A", "k", "", &szUntouched, 0));
  EXPECT_EQ('u', szUntouched);
  std::string strValue;
  EXPECT_TRUE(m_file.GetString("A", "k", "", &strValue));
  EXPECT_EQ(Repeat('v', 1000), strValue);
}

TEST_F(CReaderTest, ReadLineReportsNextOffsetLastLineAndTooLong) {
  LoadText("ab\r\ncd\n\r\nef");
  std::string strLine;
  EXPECT_EQ(4, m_file.ReadLine(0, &strLine));
  EXPECT_EQ("ab", strLine);
  EXPECT_EQ(8, m_file.ReadLine(4, &strLine));  // LF CR, then LF starts an empty line
  EXPECT_EQ("cd", strLine);
  EXPECT_EQ(9, m_file.ReadLine(8, &strLine));
  EXPECT_EQ("", strLine);
  EXPECT_EQ(CBiosInfoFile::kLineWasLast, m_file.ReadLine(9, &strLine));
  EXPECT_EQ("ef", strLine);
  LoadText(Repeat('x', 1026));
  EXPECT_EQ(CBiosInfoFile::kLineTooLong, m_file.ReadLine(0, &strLine));
  EXPECT_EQ(CBiosInfoFile::kMaxLineChars, strLine.size());
}

TEST_F(CReaderTest, LoadAcceptsUpToTheSizeLimitAndEmptiesTheReaderOnFailure) {
  std::string strText = "[A]\r\nk=1\r\n";
  std::vector<uint8_t> vecExact(strText.begin(), strText.end());
  vecExact.resize(CBiosInfoFile::kMaxFileSize, ' ');
  m_fs.m_mapFiles["exact"] = vecExact;
  std::vector<uint8_t> vecOver = vecExact;
  vecOver.push_back(' ');
  m_fs.m_mapFiles["over"] = vecOver;
  m_fs.m_mapFiles["empty"] = {};

  ASSERT_TRUE(m_file.Load("exact", INFO_PLAIN));
  EXPECT_EQ(CBiosInfoFile::kMaxFileSize, m_file.GetSize());
  EXPECT_EQ(1, m_file.GetInt("A", "k", 0));

  EXPECT_FALSE(m_file.Load("over", INFO_PLAIN));
  EXPECT_EQ(0u, m_file.GetSize());
  EXPECT_EQ(7, m_file.GetInt("A", "k", 7));

  ASSERT_TRUE(m_file.Load("exact", INFO_PLAIN));
  EXPECT_FALSE(m_file.Load("missing", INFO_PLAIN));
  EXPECT_EQ(7, m_file.GetInt("A", "k", 7));

  ASSERT_TRUE(m_file.Load("empty", INFO_DECODE));
  std::string strValue;
  EXPECT_FALSE(m_file.GetString("A", "k", "d", &strValue));
  EXPECT_EQ("d", strValue);
}

TEST(InfoCodec, RotatesByOneBitAndRoundTrips) {
  uint8_t aby[] = {0x80, 0x01, 0x00, 0xFF, 0x5A};
  CBiosInfoFile::Encode(aby, sizeof(aby));
  EXPECT_EQ(0x01, aby[0]);
  EXPECT_EQ(0x02, aby[1]);
  EXPECT_EQ(0x00, aby[2]);
  EXPECT_EQ(0xFF, aby[3]);
  EXPECT_EQ(0xB4, aby[4]);
  std::vector<uint8_t> vecAll(256);
  for (int i = 0; i < 256; ++i) vecAll[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> vecCopy = vecAll;
  CBiosInfoFile::Encode(vecCopy.data(), vecCopy.size());
  EXPECT_NE(vecAll, vecCopy);
  CBiosInfoFile::Decode(vecCopy.data(), vecCopy.size());
  EXPECT_EQ(vecAll, vecCopy);
}

TEST(InfoCodec, LoadModesTransformTheBytesAndChecksumBytesJoinTheLastLine) {
  CFakeFileSystem fs;
  std::string strText = "[A]\r\nk=1";
  std::vector<uint8_t> vecStored(strText.begin(), strText.end());
  CBiosInfoFile::Encode(vecStored.data(), vecStored.size());
  // Two checksum bytes that decode to "xy".
  vecStored.push_back(static_cast<uint8_t>('x' << 1));
  vecStored.push_back(static_cast<uint8_t>('y' << 1));
  fs.m_mapFiles["stored"] = vecStored;
  fs.m_mapFiles["plain"].assign(strText.begin(), strText.end());

  CBiosInfoFile file(fs);
  std::string strValue;
  ASSERT_TRUE(file.Load("stored", INFO_DECODE));
  EXPECT_TRUE(file.GetString("A", "k", "", &strValue));
  EXPECT_EQ("1xy", strValue);  // no line end before the checksum: it extends the value

  ASSERT_TRUE(file.Load("plain", INFO_ENCODE));
  EXPECT_FALSE(file.GetString("A", "k", "", &strValue));
  ASSERT_TRUE(file.Load("plain", INFO_PLAIN));
  EXPECT_TRUE(file.GetString("A", "k", "", &strValue));
  EXPECT_EQ("1", strValue);
}

}  // namespace
