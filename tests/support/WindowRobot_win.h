// A robot for Tessaro's windows, as a screen reader or a test program sees
// them from outside: starts a program, finds its dialogs, reads the
// controls' texts, clicks buttons and takes pictures (written to
// build/<preset>/gui-shots).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tessaro/app/ControlIds.h"
#include "tests/support/Wait_win.h"
#include "tools/WindowPicture_win.h"

// A window appears, closes, paints or answers within this (milliseconds);
// generous, because two tests may share the machine's cores with Wine.
constexpr DWORD kWindowMs = 15000;

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

  // The dialog of this program with the title (and the control, when not
  // 0) as it is now, or null. bVisibleOnly: only a visible one (a dialog
  // box exists before its modal loop shows it).
  HWND FindDialog(const std::string& strTitle, int nControl = 0, bool bVisibleOnly = true) {
    SSearch search = {this, strTitle, nControl, bVisibleOnly, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
  }

  // Waits for the visible dialog and for its painting, so that a picture
  // of it shows it. Fails the test, naming the dialog, when it does not
  // appear or paint within dwMs; returns it (null when it did not appear).
  HWND WaitForDialog(const std::string& strTitle, int nControl = 0, DWORD dwMs = kWindowMs) {
    HWND hFound = nullptr;
    if (!WaitFor([&]() { return (hFound = FindDialog(strTitle, nControl)) != nullptr; }, dwMs)) {
      ADD_FAILURE() << "no dialog \"" << strTitle << "\""
                    << (nControl ? " with control " + std::to_string(nControl) : std::string())
                    << " appeared within " << dwMs << " ms";
      return nullptr;
    }
    if (!WaitUntilPainted(hFound, dwMs))
      ADD_FAILURE() << "dialog \"" << strTitle << "\" was not painted within " << dwMs << " ms";
    return hFound;
  }

 private:
  struct SSearch {
    CProgram* pThis;
    std::string strTitle;
    int nControl;
    bool bVisibleOnly;
    HWND hFound;
  };
  static BOOL CALLBACK Match(HWND hWnd, LPARAM lParam) {
    SSearch* p = reinterpret_cast<SSearch*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    char szClass[32] = {0}, szTitle[256] = {0};
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    if (dwPid == p->pThis->Id() && (!p->bVisibleOnly || IsWindowVisible(hWnd)) &&
        std::string(szClass) == "#32770" && p->strTitle == szTitle &&
        (!p->nControl || GetDlgItem(hWnd, p->nControl))) {
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

// A control's text read without asking the window: the workflows run on
// the window's thread and pump no messages while they work, so a
// WM_GETTEXT would wait for the end of the workflow.
inline std::string QuietText(HWND hDialog, int nId) {
  WCHAR wsz[256] = {0};
  InternalGetWindowText(GetDlgItem(hDialog, nId), wsz, 256);
  char sz[256] = {0};
  WideCharToMultiByte(CP_ACP, 0, wsz, -1, sz, sizeof(sz), nullptr, nullptr);
  return sz;
}

inline bool Visible(HWND hDialog, int nId) {
  return IsWindowVisible(GetDlgItem(hDialog, nId)) != FALSE;
}
inline bool Enabled(HWND hDialog, int nId) {
  return IsWindowEnabled(GetDlgItem(hDialog, nId)) != FALSE;
}

inline std::string Title(HWND hWnd) {
  char sz[256] = {0};
  GetWindowTextA(hWnd, sz, sizeof(sz));
  return sz;
}

// The window's thread is back in a message loop: every workflow a click
// started on it has returned or shows a window of its own. Use
// EXPECT_TRUE / ASSERT_TRUE; the failure names the window.
inline ::testing::AssertionResult WaitUntilIdle(HWND hWnd, DWORD dwMs = kWindowMs) {
  const std::string strTitle = Title(hWnd);
  if (WaitUntilResponsive(hWnd, dwMs)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "window \"" << strTitle << "\" did not return to its message loop within " << dwMs
         << " ms";
}

// The dialog has closed and, when hOwner is given, the window that opened
// it is back in its message loop, so whatever follows the dialog there
// (settings stored, buttons enabled again) is done.
inline ::testing::AssertionResult WaitUntilClosed(HWND hDialog, HWND hOwner = nullptr,
                                                  DWORD dwMs = kWindowMs) {
  const std::string strTitle = Title(hDialog);
  if (!WaitUntilGone(hDialog, dwMs))
    return ::testing::AssertionFailure()
           << "dialog \"" << strTitle << "\" did not close within " << dwMs << " ms";
  if (hOwner) return WaitUntilIdle(hOwner, dwMs);
  return ::testing::AssertionSuccess();
}

// The control shows the text within dwMs (read quietly, see QuietText).
inline ::testing::AssertionResult WaitForControlText(HWND hDialog, int nId,
                                                     const std::string& strText, DWORD dwMs) {
  if (WaitFor([&]() { return QuietText(hDialog, nId) == strText; }, dwMs))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "control " << nId << " did not show \"" << strText << "\" within " << dwMs
         << " ms; it shows \"" << QuietText(hDialog, nId) << "\"";
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

// A whole file (at most 4 MB); empty when it cannot be read.
inline std::vector<uint8_t> ReadAll(const std::string& strPath) {
  std::vector<uint8_t> data;
  HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return data;
  const DWORD dwSize = GetFileSize(hFile, nullptr);
  if (dwSize != INVALID_FILE_SIZE && dwSize <= (1u << 22)) {
    data.resize(dwSize);
    DWORD dwRead = 0;
    if (!ReadFile(hFile, data.data(), dwSize, &dwRead, nullptr) || dwRead != dwSize) data.clear();
  }
  CloseHandle(hFile);
  return data;
}

inline bool Exists(const std::string& strPath) {
  return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Wine's file dialogs: the name goes into the edit inside control 0x47c.
inline void ChooseFile(HWND hFileDialog, const std::string& strPath) {
  HWND hBox = GetDlgItem(hFileDialog, 0x47c);
  HWND hName = FindWindowExA(hBox, nullptr, nullptr, nullptr);
  hName = hName ? FindWindowExA(hName, nullptr, "Edit", nullptr) : nullptr;
  SendMessageA(hName ? hName : hBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strPath.c_str()));
  Click(hFileDialog, IDOK);
}
