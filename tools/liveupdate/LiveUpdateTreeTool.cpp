// Writes the Live Update server's files for a demo board into a folder
// that a local FTP server serves:
//   liveupdate_tree --root DIR --port N --board award|ami --bios UPDATE.BIN
//                   [--beta] [--date Y/M/D]
// The information file lists the demo board's model with one newer BIOS
// (the given file, its checksum computed) on one site
// "ftp://127.0.0.1:N/pub/bios/", which holds the file. --beta puts the
// information file at the beta path too; --date sets its edition date
// (default: today).
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/liveupdate/LiveUpdateTree.h"

namespace {

// Larger than any BIOS file the program loads.
constexpr size_t kMaxBiosBytes = 16 * 1024 * 1024;

int Usage() {
  std::fprintf(stderr,
               "usage: liveupdate_tree --root DIR --port N --board award|ami --bios UPDATE.BIN "
               "[--beta] [--date Y/M/D]\n");
  return 2;
}

bool ReadFile(const std::string& strPath, std::vector<uint8_t>* pvecData) {
  std::ifstream file(strPath, std::ios::binary);
  if (!file) return false;
  pvecData->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad() && pvecData->size() <= kMaxBiosBytes;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  const std::tm* pTm = std::localtime(&now);
  if (!pTm) return "2004/6/21";
  return std::to_string(pTm->tm_year + 1900) + "/" + std::to_string(pTm->tm_mon + 1) + "/" +
         std::to_string(pTm->tm_mday);
}

}  // namespace

int main(int argc, char** argv) {
  std::string strRoot, strBoard, strBios, strDate = Today();
  long nPort = 0;
  bool bBeta = false;
  for (int i = 1; i < argc; ++i) {
    const std::string strArg = argv[i];
    const bool bHasValue = i + 1 < argc;
    if (strArg == "--beta") {
      bBeta = true;
    } else if (!bHasValue) {
      return Usage();
    } else if (strArg == "--root") {
      strRoot = argv[++i];
    } else if (strArg == "--port") {
      char* pEnd = nullptr;
      nPort = std::strtol(argv[++i], &pEnd, 10);
      if (*pEnd || nPort < 1 || nPort > 65535) return Usage();
    } else if (strArg == "--board") {
      strBoard = argv[++i];
    } else if (strArg == "--bios") {
      strBios = argv[++i];
    } else if (strArg == "--date") {
      strDate = argv[++i];
    } else {
      return Usage();
    }
  }
  if (strRoot.empty() || strBios.empty() || !nPort) return Usage();
  const SLiveUpdateDemoBoard* pBoard = FindLiveUpdateDemoBoard(strBoard);
  if (!pBoard) return Usage();

  std::vector<uint8_t> vecImage;
  if (!ReadFile(strBios, &vecImage)) {
    std::fprintf(stderr, "liveupdate_tree: cannot read %s\n", strBios.c_str());
    return 1;
  }
  SLiveUpdateInfo info;
  std::string strError;
  if (!BuildLiveUpdateDemoInfo(*pBoard, "127.0.0.1:" + std::to_string(nPort), vecImage, &info,
                               &strError)) {
    std::fprintf(stderr, "liveupdate_tree: %s: %s\n", strBios.c_str(), strError.c_str());
    return 1;
  }
  info.strDate = strDate;
  info.bBetaCopy = bBeta;

  if (!WriteLiveUpdateTree(info, strRoot, &strError)) {
    std::fprintf(stderr, "liveupdate_tree: %s\n", strError.c_str());
    return 1;
  }
  std::printf("liveupdate_tree: %s (%s %s -> %s, checksum %04X) in %s\n", kLiveUpdateInfoPath,
              pBoard->pszModel, pBoard->pszInstalled, pBoard->pszNewer,
              LiveUpdateBiosChecksum(vecImage), strRoot.c_str());
  return 0;
}
