#include "tessaro/shell/AboutDlg_win.h"

#include <string>

#include "tessaro/app/ControlIds.h"

const char* const g_pszProductVersion = "1.5.0.5";

CAboutDlg::CAboutDlg(HWND hParent) : CDialogBase(IDD_ABOUT, hParent) {}

BOOL CAboutDlg::OnInitDialog() {
  HWND hPicture = GetDlgItem(m_hWnd, IDC_ABOUT_PICTURE);
  SetWindowPos(hPicture, nullptr, 10, 10, 127, 96, SWP_NOZORDER | SWP_NOACTIVATE);
  m_picture.Attach(m_hWnd, IDC_ABOUT_PICTURE);
  m_picture.SetBitmaps(IDB_ABOUT_PICTURE, IDB_ABOUT_PICTURE, IDB_ABOUT_PICTURE, IDB_ABOUT_PICTURE,
                       IDB_ABOUT_PICTURE, IDB_ABOUT_PICTURE_MASK, kSkinSizeToBitmap, 0, 0);
  SetDlgItemTextA(m_hWnd, IDC_ABOUT_VERSION,
                  (std::string("Version:") + g_pszProductVersion).c_str());
  return TRUE;
}
