// Stands in for Wine's session program in the end-to-end tests, so that a
// restart request of Tessaro is observed instead of ending the test's Wine
// session: appends its command line to the file named by
// TESSARO_REBOOT_LOG and exits at once.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
  const char* pszLog = std::getenv("TESSARO_REBOOT_LOG");
  if (!pszLog) return 0;
  FILE* pFile = std::fopen(pszLog, "a");
  if (!pFile) return 1;
  std::fprintf(pFile, "%s\n", GetCommandLineA());
  std::fclose(pFile);
  return 0;
}
