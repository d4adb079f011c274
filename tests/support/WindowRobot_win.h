// A robot for Tessaro's windows, as a screen reader or a test program sees
// them from outside: starts a program, finds its dialogs, reads the
// controls' texts, clicks buttons and takes pictures (written to
// build/<preset>/gui-shots).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tessaro/app/ControlIds.h"
#include "tools/WindowPicture_win.h"

inline std::string BinDirectory() {
  char sz[MAX_PATH] = {0};
  GetModuleFileNameA(nullptr, sz, MAX_PATH);
  std::string str = sz;
  return str.substr(0, str.find_last_of('\\') + 1);
}

// One started program, ended at the end of the test whatever happened.
class CProgram {
 public:
  // pszDirectory: the working directory (the caller's when null).
  CProgram(const std::string& strExe, const std::string& strArgs, const char* pszBoard = "award",
           const char* pszDialog = nullptr, const char* pszDirectory = nullptr) {
    SetEnvironmentVariableA("TESSARO_GUIHOST_BOARD", pszBoard);
    SetEnvironmentVariableA("TESSARO_GUIHOST_DIALOG", pszDialog);
    std::string strLine = "\"" + BinDirectory() + strExe + "\"";
    if (!strArgs.empty()) strLine += " " + strArgs;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    m_bStarted = CreateProcessA(nullptr, &strLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                pszDirectory, &si, &m_pi) != FALSE;
  }
  ~CProgram() {
    if (!m_bStarted) return;
    if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_pi.hProcess, 99);
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
  }
  bool Started() const { return m_bStarted; }
  DWORD Id() const { return m_pi.dwProcessId; }
  // The exit code once it ended within the time, else -1.
  int WaitExit(DWORD dwMs) {
    if (WaitForSingleObject(m_pi.hProcess, dwMs) != WAIT_OBJECT_0) return -1;
    DWORD dwCode = 0;
    GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return static_cast<int>(dwCode);
  }

  // A visible dialog of this program with the title (and the control).
  HWND WaitForDialog(const std::string& strTitle, int nControl = 0, DWORD dwMs = 15000) {
    const DWORD dwStart = GetTickCount();
    do {
      SSearch search = {this, strTitle, nControl, nullptr};
      EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
      if (search.hFound) {
        Sleep(300);  // let it paint
        return search.hFound;
      }
      Sleep(50);
    } while (GetTickCount() - dwStart < dwMs);
    return nullptr;
  }

 private:
  struct SSearch {
    CProgram* pThis;
    std::string strTitle;
    int nControl;
    HWND hFound;
  };
  static BOOL CALLBACK Match(HWND hWnd, LPARAM lParam) {
    SSearch* p = reinterpret_cast<SSearch*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    char szClass[32] = {0}, szTitle[256] = {0};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    if (dwPid == p->pThis->Id() && IsWindowVisible(hWnd) && std::string(szClass) == "#32770" &&
        p->strTitle == szTitle && (!p->nControl || GetDlgItem(hWnd, p->nControl))) {
      p->hFound = hWnd;
      return FALSE;
    }
    return TRUE;
  }

  PROCESS_INFORMATION m_pi = {};
  bool m_bStarted = false;
};

inline std::string Text(HWND hDialog, int nId) {
  char sz[1024] = {0};
  GetDlgItemTextA(hDialog, nId, sz, sizeof(sz));
  return sz;
}

inline bool Visible(HWND hDialog, int nId) {
  return IsWindowVisible(GetDlgItem(hDialog, nId)) != FALSE;
}
inline bool Enabled(HWND hDialog, int nId) {
  return IsWindowEnabled(GetDlgItem(hDialog, nId)) != FALSE;
}

// Clicks without waiting: the click may open a modal window.
inline void Click(HWND hDialog, int nId) { PostMessageA(GetDlgItem(hDialog, nId), BM_CLICK, 0, 0); }

inline void Shot(HWND hWnd, const char* pszName) {
  const std::string strDir = BinDirectory() + "..\\gui-shots";
  CreateDirectoryA(strDir.c_str(), nullptr);
  SaveWindowPicture(hWnd, strDir + "\\" + pszName + ".bmp");
}

// Answers the start notice and returns the main window.
inline HWND PassWelcome(CProgram& program, bool bShoot = false) {
  HWND hBox = program.WaitForDialog("Tessaro", 0xFFFF);
  if (!hBox) return nullptr;
  EXPECT_EQ(0u, Text(hBox, 0xFFFF).find("Tessaro backs up"));
  if (bShoot) Shot(hBox, "welcome");
  Click(hBox, IDOK);
  return program.WaitForDialog("Tessaro", IDC_UPDATE_FILE);
}
