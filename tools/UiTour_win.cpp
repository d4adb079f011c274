// Walks through the boxes and dialogs a program shows, for the scripted
// tour of the run command: logs each window's caption and text, saves a
// picture of it, then answers it with its default button. Tessaro's main
// window is walked through its About box and settings, then closed.
//   UiTour.exe <output folder> <seconds to wait for windows>
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

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
  DWORD dwLastAction = dwStart;
  HWND hMain = nullptr;
  int nMainStep = 0;
  while (GetTickCount() - dwStart < dwLimit) {
    SFound found;
    EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&found));
    for (HWND hWnd : found.vecWindows) {
      if (setSeen.count(hWnd)) continue;
      setSeen.insert(hWnd);
      Sleep(500);  // let it paint
      char szCaption[256] = {0};
      GetWindowTextA(hWnd, szCaption, sizeof(szCaption));
      std::string strTexts;
      EnumChildWindows(hWnd, CollectTexts, reinterpret_cast<LPARAM>(&strTexts));
      char szName[64];
      std::snprintf(szName, sizeof(szName), "%02d-window.bmp", ++nCount);
      SaveWindowPicture(hWnd, strFolder + "\\" + szName);
      std::printf("window %d: \"%s\" (%s)\n%s", nCount, szCaption, szName, strTexts.c_str());
      std::fflush(stdout);
      dwLastSeen = GetTickCount();
      if (IsMainWindow(hWnd)) {
        hMain = hWnd;
        continue;
      }
      PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    // The main window is walked through its About box and settings, then
    // closed, each step once the previous window has gone (the main window
    // is disabled while one of its dialogs is open).
    if (hMain && IsWindow(hMain) && IsWindowEnabled(hMain) &&
        GetTickCount() - dwLastAction > 1500 && nMainStep < kMainSteps) {
      const int nId = s_anMainSteps[nMainStep++];
      std::printf("main window: click %d\n", nId);
      std::fflush(stdout);
      PostMessageA(GetDlgItem(hMain, nId), BM_CLICK, 0, 0);
      dwLastAction = dwLastSeen = GetTickCount();
    }
    // The tour is over once nothing new appeared for a while.
    if (nCount > 0 && GetTickCount() - dwLastSeen > 4000) break;
    Sleep(200);
  }
  std::printf("%d window(s) seen\n", nCount);
  return nCount > 0 ? 0 : 1;
}
