// Live Update's dialogs on the real windows: the BIOS list's columns and
// rows, Next that waits for a selection, Quit; and the time-out dialog that
// the window closes itself when data arrives.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/win/Platform_win.h"
#include "tessaro/app/MainPresenter.h"
#include "tessaro/shell/ChoiceListDlg_win.h"
#include "tessaro/shell/TessaroDlg_win.h"
#include "tests/shell/WindowReadyBoard_win.h"
#include "tests/support/WindowRobot_win.h"

namespace {

struct SSearch {
  const char* pszTitle;
  HWND hFound;
};

BOOL CALLBACK MatchTitle(HWND hWnd, LPARAM lParam) {
  SSearch* p = reinterpret_cast<SSearch*>(lParam);
  char sz[64] = {0};
  GetWindowTextA(hWnd, sz, sizeof(sz));
  if (IsWindowVisible(hWnd) && lstrcmpA(sz, p->pszTitle) == 0) {
    p->hFound = hWnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindOwnDialog(const char* pszTitle) {
  SSearch search = {pszTitle, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.hFound;
}

std::string Cell(HWND hList, int nRow, int nColumn) {
  char sz[256] = {0};
  LVITEMA item = {};
  item.iSubItem = nColumn;
  item.pszText = sz;
  item.cchTextMax = sizeof(sz);
  SendMessageA(hList, LVM_GETITEMTEXTA, nRow, reinterpret_cast<LPARAM>(&item));
  return sz;
}

// Runs fnRobot on the dialog's own thread once the dialog titled
// pszTitle shows (a timer of the thread polls for it), then ends.
struct SRobot {
  const char* pszTitle;
  std::function<void(HWND)> fnRobot;
  bool bRan = false;
};
SRobot* g_pRobot = nullptr;

void CALLBACK PollForDialog(HWND, UINT, UINT_PTR nTimer, DWORD) {
  if (!g_pRobot || g_pRobot->bRan) return;
  HWND hDialog = FindOwnDialog(g_pRobot->pszTitle);
  if (!hDialog) return;
  g_pRobot->bRan = true;
  KillTimer(nullptr, nTimer);
  g_pRobot->fnRobot(hDialog);
}

void WithRobot(SRobot* pRobot, const std::function<void()>& fnModal) {
  g_pRobot = pRobot;
  const UINT_PTR nTimer = SetTimer(nullptr, 0, 20, PollForDialog);
  fnModal();
  KillTimer(nullptr, nTimer);
  g_pRobot = nullptr;
}

TEST(LiveUpdateDialogs, BiosListShowsItsColumnsAndNextWaitsForARow) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  CChoiceListDlg dialog(
      IDD_BIOS_LIST, nullptr, {{"File Name", 100}, {"Build Date", 100}, {"Release Notes", 500}},
      {{"ab9_16.bin", "2009/10/20", "Fan table"}, {"ab9_15.bin", "2009/9/30", "First release"}});
  bool bStayedWithoutSelection = false;
  SRobot robot = {"Available BIOS", [&](HWND hDialog) {
                    HWND hList = GetDlgItem(hDialog, IDC_CHOICE_LIST);
                    EXPECT_EQ(2, ListView_GetItemCount(hList));
                    EXPECT_EQ(100, ListView_GetColumnWidth(hList, 0));
                    EXPECT_EQ(100, ListView_GetColumnWidth(hList, 1));
                    EXPECT_EQ(500, ListView_GetColumnWidth(hList, 2));
                    EXPECT_EQ("2009/9/30", Cell(hList, 1, 1));
                    EXPECT_EQ("Fan table", Cell(hList, 0, 2));
                    EXPECT_EQ("&Next", Text(hDialog, IDOK));
                    EXPECT_EQ("&Quit", Text(hDialog, IDCANCEL));
                    SendMessageA(hDialog, WM_COMMAND, IDOK, 0);  // no row yet
                    bStayedWithoutSelection = IsWindowVisible(hDialog) != FALSE;
                    ListView_SetItemState(hList, 1, LVIS_SELECTED | LVIS_FOCUSED,
                                          LVIS_SELECTED | LVIS_FOCUSED);
                    UpdateWindow(hDialog);
                    Shot(hDialog, "liveupdate-bios-list");
                    PostMessageA(hDialog, WM_COMMAND, IDOK, 0);
                  }};
  WithRobot(&robot, [&] { dialog.DoModal(); });
  EXPECT_TRUE(robot.bRan);
  EXPECT_TRUE(bStayedWithoutSelection);
  EXPECT_EQ(1, dialog.GetChoice());

  CChoiceListDlg sites(IDD_SITE_LIST, nullptr, {{"FTP Site", 0}},
                       {{"ftp://ftp.ulvo.com/pub/bios/"}, {"ftp://mirror.ulvo.com/bios/"}});
  SRobot quit = {"Available FTP Site", [&](HWND hDialog) {
                   HWND hList = GetDlgItem(hDialog, IDC_CHOICE_LIST);
                   RECT rc;
                   GetClientRect(hList, &rc);
                   EXPECT_EQ(rc.right, ListView_GetColumnWidth(hList, 0));
                   EXPECT_EQ("ftp://mirror.ulvo.com/bios/", Cell(hList, 1, 0));
                   ListView_SetItemState(hList, 0, LVIS_SELECTED, LVIS_SELECTED);
                   UpdateWindow(hDialog);
                   Shot(hDialog, "liveupdate-site-list");
                   PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
                 }};
  WithRobot(&quit, [&] { sites.DoModal(); });
  EXPECT_TRUE(quit.bRan);
  EXPECT_EQ(-1, sites.GetChoice());
}

// The window's own seam: RunTimeoutDialog shows template 305 and returns
// Wait when EndTimeoutDialog closes it, as arriving data does.

TEST(LiveUpdateDialogs, TimeoutDialogClosedByTheWindowMeansWait) {
  SPlatform& platform = GetWin32Platform();
  CResources resources(*platform.pModules);
  CNoBoardEngine engine;
  CWindowReadyBoard board;
  CMainPresenter presenter(platform, resources, engine, board);
  CTessaroDlg window(nullptr, presenter, resources);
  bool bWaited = false;
  std::string strText;
  board.m_fnReady = [&] {
    window.PostToWindow([&] {
      SRobot robot = {"Tessaro", [&](HWND hDialog) {
                        if (!GetDlgItem(hDialog, IDOK)) return;
                        strText = Text(hDialog, IDOK) + "/" + Text(hDialog, IDCANCEL);
                        Shot(hDialog, "liveupdate-stall-dialog");
                        window.EndTimeoutDialog(true);
                      }};
      WithRobot(&robot, [&] { bWaited = window.RunTimeoutDialog(); });
      window.CloseWindow();
    });
  };
  window.DoModal();
  EXPECT_EQ("&Abort/&Wait", strText);
  EXPECT_TRUE(bWaited);
}

}  // namespace
