// The codec against the archiving tools Debian packages, run as black
// boxes: jlha (jlha-utils) writes archives whose "-lh5-" streams our
// decoder must read, and lhasa and jlha must extract the streams our
// encoder writes. A missing tool fails the test: scripts/prereqs.sh
// installs both.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/Lh5.h"
#include "tests/formats/Lh5TestData.h"
#include "tests/formats/LhaArchive.h"

namespace {

namespace fs = std::filesystem;
using namespace lh5test;
using Bytes = std::vector<uint8_t>;

struct SInput {
  std::string strName;
  Bytes vec;
  bool bCompressible;  // the archiver is expected to choose "-lh5-" for it
};

std::vector<SInput> Inputs() {
  return {
      {"text20k.txt", Text(20000), true},
      {"text300k.txt", Text(300000, 9), true},
      {"window.txt", Text(lh5::kDictionaryBytes, 4), true},
      {"alphabet.bin", SmallAlphabet(100000), true},
      {"repeat.bin", Repetitive(200000), true},
      {"periodic.bin", WindowPeriodic(65536), true},
      {"zeros.bin", Bytes(50000, 0), true},
      {"skewed.bin", Skewed(100000), true},
      {"random.bin", Random(50000), false},
      {"one.bin", {0x5A}, false},
  };
}

bool ToolPresent(const char* pszTool) {
  std::string strCommand = std::string("command -v ") + pszTool + " >/dev/null 2>&1";
  return std::system(strCommand.c_str()) == 0;
}

void WriteFile(const fs::path& path, const Bytes& vec) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(vec.data()), static_cast<std::streamsize>(vec.size()));
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A fresh folder under the build tree (or /tmp), removed afterwards.
class CScratch {
 public:
  CScratch() {
    const char* pszBase = std::getenv("TESSARO_BINARY_DIR");
    std::string strTemplate = std::string(pszBase ? pszBase : "/tmp") + "/lh5-tools-XXXXXX";
    std::vector<char> vecName(strTemplate.begin(), strTemplate.end());
    vecName.push_back(0);
    if (mkdtemp(vecName.data())) m_path = vecName.data();
  }
  ~CScratch() {
    std::error_code error;
    if (!m_path.empty()) fs::remove_all(m_path, error);
  }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

// Runs a shell command in the folder; its output goes to log.txt there.
int RunIn(const fs::path& dir, const std::string& strCommand) {
  std::string strLine = "cd '" + dir.string() + "' && " + strCommand + " >log.txt 2>&1";
  return std::system(strLine.c_str());
}

// What the last command printed.
std::string Log(const fs::path& dir) {
  Bytes vec = ReadFile(dir / "log.txt");
  return std::string(vec.begin(), vec.end());
}

class Lh5Tools : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* psz : {"jlha", "lhasa"})
      ASSERT_TRUE(ToolPresent(psz)) << psz << " is not installed: run scripts/prereqs.sh";
    ASSERT_FALSE(m_scratch.Path().empty());
  }
  CScratch m_scratch;
};

TEST_F(Lh5Tools, DecoderReadsTheArchiversStreamsAtEveryHeaderLevel) {
  std::vector<SInput> vecInputs = Inputs();
  std::string strFiles;
  for (const SInput& input : vecInputs) {
    WriteFile(m_scratch.Path() / input.strName, input.vec);
    strFiles += " " + input.strName;
  }
  for (int nLevel : {0, 1, 2}) {
    SCOPED_TRACE("header level " + std::to_string(nLevel));
    std::string strArchive = "level" + std::to_string(nLevel) + ".lzh";
    ASSERT_EQ(
        RunIn(m_scratch.Path(), "jlha -a" + std::to_string(nLevel) + "o5 " + strArchive + strFiles),
        0)
        << Log(m_scratch.Path());
    Bytes vecArchive = ReadFile(m_scratch.Path() / strArchive);
    std::vector<SLhaMember> vecMembers;
    ASSERT_TRUE(ParseLhaArchive(vecArchive, &vecMembers));
    ASSERT_EQ(vecMembers.size(), vecInputs.size());
    for (const SInput& input : vecInputs) {
      SCOPED_TRACE(input.strName);
      const SLhaMember* pMember = nullptr;
      for (const SLhaMember& member : vecMembers)
        if (member.strName == input.strName) pMember = &member;
      ASSERT_NE(pMember, nullptr);
      EXPECT_EQ(pMember->nLevel, nLevel);
      ASSERT_EQ(pMember->dwOriginalSize, input.vec.size());
      EXPECT_EQ(pMember->wCrc, LhaCrc16(input.vec.data(), input.vec.size()));
      const uint8_t* pPacked = vecArchive.data() + pMember->nDataOffset;
      if (input.bCompressible) {
        ASSERT_EQ(pMember->strMethod, "-lh5-");
      }
      if (pMember->strMethod != "-lh5-") continue;  // stored: nothing to decode
      Bytes vecOut(input.vec.size());
      ASSERT_TRUE(Lh5Decode(pPacked, pMember->nPackedSize, vecOut.data(), vecOut.size()));
      EXPECT_TRUE(vecOut == input.vec);
    }
  }
}

TEST_F(Lh5Tools, ExtractorsAcceptTheEncodersStreams) {
  std::vector<SInput> vecInputs = Inputs();
  vecInputs.push_back({"random1m.bin", Random(1 << 20, 99), false});
  vecInputs.push_back({"text1m.txt", Text(1 << 20, 21), true});
  vecInputs.push_back({"empty.bin", {}, false});
  // Short members of many sizes: the last code ends at every bit position
  // of the final byte, where decoders that read ahead lose it when the
  // stream stops right there.
  for (unsigned n = 0; n < 60; ++n) {
    size_t nSize = 1 + (n * 37) % 3000;
    vecInputs.push_back({"short" + std::to_string(n) + ".bin",
                         n % 2 ? Bytes(nSize, static_cast<uint8_t>(n)) : Text(nSize, n), false});
  }
  Bytes vecArchive;
  for (const SInput& input : vecInputs) {
    Bytes vecPacked = Lh5Encode(input.vec.data(), input.vec.size());
    AppendLevel0Member(&vecArchive, input.strName, vecPacked, input.vec);
  }
  vecArchive.push_back(0);  // end of archive
  WriteFile(m_scratch.Path() / "ours.lzh", vecArchive);

  // Both tools check each member's CRC-16 against the bytes they decoded.
  struct STool {
    const char* pszName;
    const char* pszTest;
    const char* pszExtract;
  };
  for (const STool& tool : {STool{"lhasa", "lhasa t ours.lzh", "lhasa -xfw=out-lhasa ours.lzh"},
                            STool{"jlha", "jlha -t ours.lzh", "jlha -xfw=out-jlha ours.lzh"}}) {
    SCOPED_TRACE(tool.pszName);
    EXPECT_EQ(RunIn(m_scratch.Path(), tool.pszTest), 0) << Log(m_scratch.Path());
    ASSERT_EQ(RunIn(m_scratch.Path(), tool.pszExtract), 0) << Log(m_scratch.Path());
    for (const SInput& input : vecInputs) {
      fs::path path = m_scratch.Path() / (std::string("out-") + tool.pszName) / input.strName;
      ASSERT_TRUE(fs::exists(path)) << input.strName;
      EXPECT_TRUE(ReadFile(path) == input.vec) << input.strName;
    }
  }
}

TEST(Lh5ArchiveSupport, ParserRefusesHeadersOutsideTheArchive) {
  Bytes vecText = Text(3000);
  Bytes vecArchive;
  AppendLevel0Member(&vecArchive, "a.txt", Lh5Encode(vecText.data(), vecText.size()), vecText);
  vecArchive.push_back(0);
  std::vector<SLhaMember> vecMembers;
  ASSERT_TRUE(ParseLhaArchive(vecArchive, &vecMembers));
  ASSERT_EQ(vecMembers.size(), 1u);
  EXPECT_EQ(vecMembers[0].strName, "a.txt");
  // Cut anywhere inside the header or data: refused, never read past.
  for (size_t n = 1; n + 1 < vecArchive.size(); ++n) {
    Bytes vecCut(vecArchive.begin(), vecArchive.begin() + n);
    EXPECT_FALSE(ParseLhaArchive(vecCut, &vecMembers)) << n;
  }
  Bytes vecBadSum = vecArchive;
  vecBadSum[1] ^= 1;
  EXPECT_FALSE(ParseLhaArchive(vecBadSum, &vecMembers));
}

}  // namespace
