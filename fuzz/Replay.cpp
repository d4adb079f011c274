// Runs a fuzz target over its stored inputs (seed corpus and every crasher
// found so far), so the sanitizer builds replay them on each test run. The
// libFuzzer build (scripts/fuzz.sh) links the same target without this file.
//   <target> <corpus folder> [<crashers folder> ...]
// The corpus folder must exist and hold at least one input: a corpus that
// moved or emptied would otherwise test nothing and still pass. Crasher
// folders are optional (a target without crashers has none). An input that
// is listed but cannot be read fails the run too.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Replays one file; false when it cannot be read.
bool ReplayFile(const std::string& strPath) {
  FILE* pFile = fopen(strPath.c_str(), "rb");
  if (!pFile) return false;
  std::vector<uint8_t> vecData;
  uint8_t abyBuffer[4096];
  size_t nRead;
  while ((nRead = fread(abyBuffer, 1, sizeof abyBuffer, pFile)) > 0)
    vecData.insert(vecData.end(), abyBuffer, abyBuffer + nRead);
  const bool bError = ferror(pFile) != 0;
  fclose(pFile);
  if (bError) return false;
  LLVMFuzzerTestOneInput(vecData.data(), vecData.size());
  return true;
}

struct SReplayCount {
  bool bFolderFound = false;
  int nReplayed = 0;
  int nUnreadable = 0;
};

// Replays every regular file of the folder (names starting with '.' are
// skipped: editors and version control keep their files there).
SReplayCount ReplayFolder(const std::string& strFolder) {
  SReplayCount count;
  DIR* pDir = opendir(strFolder.c_str());
  if (!pDir) return count;
  count.bFolderFound = true;
  while (dirent* pEntry = readdir(pDir)) {
    const std::string strPath = strFolder + "/" + pEntry->d_name;
    struct stat st;
    if (pEntry->d_name[0] == '.' || stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (ReplayFile(strPath)) {
      ++count.nReplayed;
    } else {
      ++count.nUnreadable;
      fprintf(stderr, "replay: cannot read %s\n", strPath.c_str());
    }
  }
  closedir(pDir);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s <corpus folder> [<crashers folder> ...]\n", argv[0]);
    return 2;
  }
  const SReplayCount corpus = ReplayFolder(argv[1]);
  if (!corpus.bFolderFound) {
    fprintf(stderr, "replay: corpus folder %s is missing\n", argv[1]);
    return 1;
  }
  if (corpus.nReplayed == 0) {
    fprintf(stderr, "replay: corpus folder %s holds no input\n", argv[1]);
    return 1;
  }
  int nReplayed = corpus.nReplayed;
  int nUnreadable = corpus.nUnreadable;
  for (int i = 2; i < argc; ++i) {
    const SReplayCount crashers = ReplayFolder(argv[i]);
    nReplayed += crashers.nReplayed;
    nUnreadable += crashers.nUnreadable;
  }
  // An empty input must always be handled too.
  LLVMFuzzerTestOneInput(nullptr, 0);
  printf("replayed %d inputs (%d from the corpus)\n", nReplayed, corpus.nReplayed);
  if (nUnreadable > 0) {
    fprintf(stderr, "replay: %d stored input(s) could not be read\n", nUnreadable);
    return 1;
  }
  return 0;
}
