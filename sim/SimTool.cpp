// Command-line tool of the bench:
//   simtool image <recipe.txt> <image.bin> [<segment.bin>]
//       builds an Award image (and the F000 segment of a board running it)
//   simtool state <board.txt> <out.state>
//       turns a board description into the state file the kernel drivers
//       load (the description's own state setting is ignored)
//   simtool mirel-state [<mirel.txt>] <out.state>
//       the state file of a Mirel controller (default controller without a
//       description)
//   simtool ami-image <board.txt> <image.bin>
//       the ROM image of an AMI board description (its image file, or the
//       generated one with the description's segment fields)
//   simtool ami-state <board.txt> <out.state>
//       the state file of an AMI board description
//   simtool show <board.state>
//       prints what a state file holds
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "sim/AwardImageBuilder.h"
#include "sim/SimAmiBench.h"
#include "sim/SimBench.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: simtool image <recipe.txt> <image.bin> [<segment.bin>]\n"
          "       simtool state <board.txt> <out.state>\n"
          "       simtool mirel-state [<mirel.txt>] <out.state>\n"
          "       simtool ami-image <board.txt> <image.bin>\n"
          "       simtool ami-state <board.txt> <out.state>\n"
          "       simtool show <board.state>\n");
  return 2;
}

int BuildImage(const std::string& strRecipe, const std::string& strImage,
               const std::string& strSegment) {
  std::vector<uint8_t> text;
  if (!SimReadFile(strRecipe, 1 << 20, &text)) {
    fprintf(stderr, "simtool: cannot read %s\n", strRecipe.c_str());
    return 1;
  }
  SAwardImageRecipe recipe;
  std::string strError;
  std::vector<uint8_t> image, segment;
  if (!ParseAwardImageRecipe(std::string(text.begin(), text.end()), &recipe, &strError) ||
      !BuildAwardImage(recipe, &image, &segment, &strError)) {
    fprintf(stderr, "simtool: %s: %s\n", strRecipe.c_str(), strError.c_str());
    return 1;
  }
  if (!SimWriteFile(strImage, image.data(), image.size()) ||
      (!strSegment.empty() && !SimWriteFile(strSegment, segment.data(), segment.size()))) {
    fprintf(stderr, "simtool: cannot write the output\n");
    return 1;
  }
  return 0;
}

int MakeState(const std::string& strBoard, const std::string& strState) {
  std::vector<uint8_t> text;
  SSimAwardDescription desc;
  std::string strError;
  if (!SimReadFile(strBoard, 1 << 20, &text) ||
      !ParseAwardDescription(std::string(text.begin(), text.end()), SimDirectoryOf(strBoard), &desc,
                             &strError)) {
    fprintf(stderr, "simtool: %s: %s\n", strBoard.c_str(),
            strError.empty() ? "cannot read" : strError.c_str());
    return 1;
  }
  desc.strStatePath = strState;
  remove(strState.c_str());  // start from the description, not an old state
  CSimAwardBench bench;
  if (!bench.Open(desc, &strError)) {
    fprintf(stderr, "simtool: %s\n", strError.c_str());
    return 1;
  }
  return bench.Host().WriteFailed() ? 1 : 0;
}

int MakeMirelState(const std::string& strDescription, const std::string& strState) {
  SSimMirelDescription desc;
  std::string strError;
  if (!strDescription.empty()) {
    std::vector<uint8_t> text;
    if (!SimReadFile(strDescription, 1 << 20, &text) ||
        !ParseMirelDescription(std::string(text.begin(), text.end()),
                               SimDirectoryOf(strDescription), &desc, &strError)) {
      fprintf(stderr, "simtool: %s: %s\n", strDescription.c_str(),
              strError.empty() ? "cannot read" : strError.c_str());
      return 1;
    }
  }
  desc.strStatePath = strState;
  remove(strState.c_str());
  CSimMirelBench bench;
  if (!bench.Open(desc, &strError)) {
    fprintf(stderr, "simtool: %s\n", strError.c_str());
    return 1;
  }
  return bench.Host().WriteFailed() ? 1 : 0;
}

bool ReadAmiDescription(const std::string& strBoard, SSimAmiDescription* pDesc) {
  std::vector<uint8_t> text;
  std::string strError = "cannot read";
  if (!SimReadFile(strBoard, 1 << 20, &text) ||
      !ParseAmiDescription(std::string(text.begin(), text.end()), SimDirectoryOf(strBoard), pDesc,
                           &strError)) {
    fprintf(stderr, "simtool: %s: %s\n", strBoard.c_str(), strError.c_str());
    return false;
  }
  return true;
}

// The ROM as a board built from the description holds it (state files
// named by the description are not used).
int MakeAmiImage(const std::string& strBoard, const std::string& strImage) {
  SSimAmiDescription desc;
  if (!ReadAmiDescription(strBoard, &desc)) return 1;
  desc.strStatePath.clear();
  CSimAmiBench bench;
  std::string strError;
  if (!bench.Open(desc, &strError)) {
    fprintf(stderr, "simtool: %s\n", strError.c_str());
    return 1;
  }
  if (!SimWriteFile(strImage, bench.Board().Rom(), bench.Board().Config().dwRomSize)) {
    fprintf(stderr, "simtool: cannot write %s\n", strImage.c_str());
    return 1;
  }
  return 0;
}

int MakeAmiState(const std::string& strBoard, const std::string& strState) {
  SSimAmiDescription desc;
  if (!ReadAmiDescription(strBoard, &desc)) return 1;
  desc.strStatePath = strState;
  remove(strState.c_str());  // start from the description, not an old state
  CSimAmiBench bench;
  std::string strError;
  if (!bench.Open(desc, &strError)) {
    fprintf(stderr, "simtool: %s\n", strError.c_str());
    return 1;
  }
  return bench.Host().WriteFailed() ? 1 : 0;
}

int Show(const std::string& strState) {
  CSimAmiBench ami;
  if (ami.OpenState(strState, nullptr)) {
    const SSimAmiConfig& c = ami.Board().Config();
    printf("AMI board: ROM %u KB, boot block %u KB, NvRam %u KB, SMI port 0x%X\n",
           c.dwRomSize / 1024, c.dwBootBlockSize / 1024, c.dwNvRamSize / 1024, c.wSmiPort);
    return 0;
  }
  CSimMirelBench mirel;
  if (mirel.OpenState(strState, nullptr)) {
    printf("Mirel controller: profile %u selected, %u MSRs\n", mirel.Controller().SelectedProfile(),
           mirel.Controller().Config().nMsrs);
    return 0;
  }
  CSimAwardBench bench;
  std::string strError;
  if (!bench.OpenState(strState, &strError)) {
    fprintf(stderr, "simtool: %s\n", strError.c_str());
    return 1;
  }
  const SSimAwardConfig& c = bench.Board().Config();
  printf("Award board: ROM %u KB at 0x%08X, part id 0x%04X, SMI port 0x%X level %u\n",
         c.dwRomSize / 1024, bench.Board().RomBase(), c.wFlashId, c.wSmiPort, c.bySmiLevel);
  for (uint32_t i = 0; i < c.nProtected; ++i)
    printf("protected 0x%08X +0x%X status 0x%X\n", c.aProtected[i].dwAddress,
           c.aProtected[i].dwLength, c.aProtected[i].dwStatus);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string strCommand = argv[1];
  if (strCommand == "image" && (argc == 4 || argc == 5))
    return BuildImage(argv[2], argv[3], argc == 5 ? argv[4] : "");
  if (strCommand == "state" && argc == 4) return MakeState(argv[2], argv[3]);
  if (strCommand == "mirel-state" && (argc == 3 || argc == 4))
    return MakeMirelState(argc == 4 ? argv[2] : "", argv[argc - 1]);
  if (strCommand == "ami-image" && argc == 4) return MakeAmiImage(argv[2], argv[3]);
  if (strCommand == "ami-state" && argc == 4) return MakeAmiState(argv[2], argv[3]);
  if (strCommand == "show" && argc == 3) return Show(argv[2]);
  return Usage();
}
