// Runs a fuzz target over its stored inputs (seed corpus and every crasher
// found so far), so the sanitizer builds replay them on each test run. The
// libFuzzer build (scripts/fuzz.sh) links the same target without this file.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int ReplayFile(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::vector<uint8_t> data;
  uint8_t buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  fclose(f);
  LLVMFuzzerTestOneInput(data.data(), data.size());
  return 1;
}

static int ReplayDir(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  int count = 0;
  while (dirent* e = readdir(d)) {
    std::string path = dir + "/" + e->d_name;
    struct stat st;
    if (e->d_name[0] != '.' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
      count += ReplayFile(path);
  }
  closedir(d);
  return count;
}

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) count += ReplayDir(argv[i]);
  // An empty input must always be handled too.
  LLVMFuzzerTestOneInput(nullptr, 0);
  printf("replayed %d inputs\n", count);
  return 0;
}
