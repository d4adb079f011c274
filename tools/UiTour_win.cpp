// Walks through the boxes and dialogs a program shows, for the scripted
// tour of the run command: logs each window's caption and text, saves a
// picture of it, then answers it with its default button (the flash
// question with Yes, a restart question with No, so that the tour never
// ends the Wine session). Tessaro's
// main window is walked through its About box, settings and a One-Click
// Live Update from the run's local FTP server, then closed; the
// tour ends when the program has ended, or, for a program that never shows
// its main window, once no new window appeared for 4 s.
//   UiTour.exe <output folder> <seconds to wait for windows>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

// Tessaro's main window: About (1014), Setting (1020), One-Click Live
// Update (1001), then Close (1015).
const int s_anMainSteps[] = {1014, 1020, 1001, 1015};
constexpr int kMainSteps = 4;
constexpr int kOneClick = 1001;

// The button the tour presses: the dialog's default button; but Yes to the
// flash question (the board is the bench's, and the tour shows the update
// through to its end) and No to restarting the machine.
int DefaultAnswer(HWND hWnd, const std::string& strTexts) {
  if (strTexts.find("REBOOT") != std::string::npos && GetDlgItem(hWnd, IDNO)) return IDNO;
  if (strTexts.find("Proceed to Flash") != std::string::npos && GetDlgItem(hWnd, IDYES))
    return IDYES;
  const LRESULT nDefault = SendMessageA(hWnd, DM_GETDEFID, 0, 0);
  if (HIWORD(nDefault) == DC_HASDEFID) return LOWORD(nDefault);
  return GetDlgItem(hWnd, IDYES) && !GetDlgItem(hWnd, IDOK) ? IDYES : IDOK;
}

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
      const int nAnswer = DefaultAnswer(hWnd, strTexts);
      PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(nAnswer, BN_CLICKED), 0);
    }
    // The main window is walked through its About box and settings, then
    // closed, each step once the previous window has gone: the main window
    // is disabled while one of its dialogs is open, and a step counts as
    // taken once its window opened (the main window disabled) or the main
    // window closed.
    // Live Update runs beside the window: it counts as taken once its
    // button went off, and the next step waits until it is back on.
    const bool bIdle = hMain && IsWindow(hMain) && IsWindowEnabled(hMain) &&
                       IsWindowEnabled(GetDlgItem(hMain, kOneClick));
    if (bIdle && nMainStep < kMainSteps) {
      const int nId = s_anMainSteps[nMainStep++];
      std::printf("main window: click %d\n", nId);
      std::fflush(stdout);
      PostMessageA(GetDlgItem(hMain, nId), BM_CLICK, 0, 0);
      if (!WaitFor(
              [hMain]() {
                return !IsWindow(hMain) || !IsWindowEnabled(hMain) ||
                       !IsWindowEnabled(GetDlgItem(hMain, kOneClick));
              },
              kPaintMs))
        std::printf("main window: click %d opened nothing\n", nId);
      dwLastSeen = GetTickCount();
    }
    // Pictures of a Live Update's download as it runs.
    if (hMain && IsWindow(hMain) && !IsWindowEnabled(GetDlgItem(hMain, kOneClick)) &&
        IsWindowVisible(GetDlgItem(hMain, 1018)) && nCount < 90) {
      char szPercent[16] = {0};
      GetDlgItemTextA(hMain, 1012, szPercent, sizeof(szPercent));
      static std::string s_strLastPercent;
      if (s_strLastPercent != szPercent && std::atoi(szPercent) % 25 == 0) {
        s_strLastPercent = szPercent;
        char szName[64];
        std::snprintf(szName, sizeof(szName), "%02d-download-%s.bmp", ++nCount, szPercent);
        SaveWindowPicture(hMain, strFolder + "\\" + szName);
        std::printf("main window: download at %s (%s)\n", szPercent, szName);
        std::fflush(stdout);
      }
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
