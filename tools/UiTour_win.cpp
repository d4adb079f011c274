// Walks through the boxes and dialogs a program shows, for the scripted
// tour of the run command: logs each window's caption and text, saves a
// picture of it, then answers it with its default button. Tessaro's main
// window is walked through its About box and settings, then closed; the
// tour ends when the program has ended, or, for a program that never shows
// its main window, once no new window appeared for 4 s.
//   UiTour.exe <output folder> <seconds to wait for windows>
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tests/support/Wait_win.h"
#include "tools/WindowPicture_win.h"

namespace {

struct SFound {
  std::vector<HWND> vecWindows;
};

BOOL CALLBACK CollectDialogs(HWND hWnd, LPARAM lParam) {
  char szClass[64] = {0};
  GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (IsWindowVisible(hWnd) && std::string(szClass) == "#32770")
    reinterpret_cast<SFound*>(lParam)->vecWindows.push_back(hWnd);
  return TRUE;
}

BOOL CALLBACK CollectTexts(HWND hWnd, LPARAM lParam) {
  char szClass[64] = {0}, szText[2048] = {0};
  GetClassNameA(hWnd, szClass, sizeof(szClass));
  GetWindowTextA(hWnd, szText, sizeof(szText));
  if (szText[0] && IsWindowVisible(hWnd)) {
    std::string* pstr = reinterpret_cast<std::string*>(lParam);
    *pstr += std::string("  [") + szClass + "] " + szText + "\n";
  }
  return TRUE;
}

// Tessaro's main window: About (1014), Setting (1020), then Close (1015).
const int s_anMainSteps[] = {1014, 1020, 1015};
constexpr int kMainSteps = 3;

bool IsMainWindow(HWND hWnd) {
  return GetDlgItem(hWnd, 1003) && GetDlgItem(hWnd, 1014) && GetDlgItem(hWnd, 1015);
}

constexpr DWORD kPaintMs = 10000;  // a window paints within this
constexpr DWORD kQuietMs = 4000;   // no new window for this long: the program is done
constexpr DWORD kPollMs = 50;      // how often the windows are looked at

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: UiTour <output folder> <seconds>\n");
    return 2;
  }
  const std::string strFolder = argv[1];
  const DWORD dwLimit = static_cast<DWORD>(std::atoi(argv[2])) * 1000;
  std::set<HWND> setSeen;
  int nCount = 0;
  const DWORD dwStart = GetTickCount();
  DWORD dwLastSeen = dwStart;
  HWND hMain = nullptr;
  HANDLE hProgram = nullptr;  // the process of the main window, once seen
  int nMainStep = 0;
  while (GetTickCount() - dwStart < dwLimit) {
    SFound found;
    EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&found));
    for (HWND hWnd : found.vecWindows) {
      if (setSeen.count(hWnd)) continue;
      setSeen.insert(hWnd);
      const bool bPainted = WaitUntilPainted(hWnd, kPaintMs);
      char szCaption[256] = {0};
      GetWindowTextA(hWnd, szCaption, sizeof(szCaption));
      std::string strTexts;
      EnumChildWindows(hWnd, CollectTexts, reinterpret_cast<LPARAM>(&strTexts));
      char szName[64];
      std::snprintf(szName, sizeof(szName), "%02d-window.bmp", ++nCount);
      SaveWindowPicture(hWnd, strFolder + "\\" + szName);
      std::printf("window %d: \"%s\" (%s%s)\n%s", nCount, szCaption, szName,
                  bPainted ? "" : ", not painted in time", strTexts.c_str());
      std::fflush(stdout);
      dwLastSeen = GetTickCount();
      if (IsMainWindow(hWnd)) {
        hMain = hWnd;
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hWnd, &dwPid);
        if (!hProgram) hProgram = OpenProcess(SYNCHRONIZE, FALSE, dwPid);
        continue;
      }
      PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    // The main window is walked through its About box and settings, then
    // closed, each step once the previous window has gone: the main window
    // is disabled while one of its dialogs is open, and a step counts as
    // taken once its window opened (the main window disabled) or the main
    // window closed.
    if (hMain && IsWindow(hMain) && IsWindowEnabled(hMain) && nMainStep < kMainSteps) {
      const int nId = s_anMainSteps[nMainStep++];
      std::printf("main window: click %d\n", nId);
      std::fflush(stdout);
      PostMessageA(GetDlgItem(hMain, nId), BM_CLICK, 0, 0);
      if (!WaitFor([hMain]() { return !IsWindow(hMain) || !IsWindowEnabled(hMain); }, kPaintMs))
        std::printf("main window: click %d opened nothing\n", nId);
      dwLastSeen = GetTickCount();
    }
    // The tour is over once the program has ended or, when it never showed
    // its main window, once nothing new appeared for a while.
    if (hProgram && WaitForSingleObject(hProgram, 0) == WAIT_OBJECT_0) break;
    if (!hProgram && nCount > 0 && GetTickCount() - dwLastSeen > kQuietMs) break;
    Sleep(kPollMs);
  }
  if (hProgram) CloseHandle(hProgram);
  std::printf("%d window(s) seen\n", nCount);
  return nCount > 0 ? 0 : 1;
}
