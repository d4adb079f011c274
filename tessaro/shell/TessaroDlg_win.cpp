#include "tessaro/shell/TessaroDlg_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>

#include "tessaro/shell/AboutDlg_win.h"
#include "tessaro/shell/ChoiceListDlg_win.h"
#include "tessaro/app/ControlIds.h"
#include "tessaro/shell/SettingDlg_win.h"

namespace {

// Colours of the skin (0xBBGGRR through RGB).
const COLORREF kTitleColour = RGB(232, 238, 246);
const COLORREF kCaptionColour = RGB(138, 160, 184);
const COLORREF kValueColour = RGB(232, 238, 246);
const COLORREF kStatusColour = RGB(159, 176, 195);
const COLORREF kButtonCaption = RGB(229, 237, 245);

// The nine skinned buttons: control, caption string, position and size in
// pixels of the client area, the six skin bitmaps (0 none), style and the
// caption's distance from the bottom edge.
struct SButtonRow {
  int nId;
  UINT nCaption;
  int x, y, cx, cy;
  UINT anSlots[kSkinSlotCount];
  int nStyle;
  int nInset;
};
const SButtonRow s_aButtons[] = {
    {IDC_ONECLICK_UPDATE, 904, 46, 36, 74, 74, {15, 13, 14, 16, 0, 0}, kSkinCaptionBelowIcon, 3},
    {IDC_STEP_UPDATE, 905, 46, 125, 74, 74, {19, 17, 18, 20, 0, 0}, kSkinCaptionBelowIcon, 3},
    {IDC_UPDATE_FILE, 906, 337, 36, 74, 74, {27, 25, 26, 28, 0, 0}, kSkinCaptionBelowIcon, 3},
    {IDC_SAVE_BIOS, 907, 337, 125, 74, 74, {23, 21, 22, 24, 0, 0}, kSkinCaptionBelowIcon, 3},
    {IDC_ABOUT, 908, 229, 179, 80, 39, {30, 29, 0, 0, 0, 31}, kSkinCaptionCentred, 0},
    {IDC_SETTING, 909, 149, 179, 80, 39, {33, 32, 0, 0, 0, 34}, kSkinCaptionCentred, 0},
    {IDC_STOP, 910, 190, 179, 77, 19, {36, 35, 0, 37, 0, 38}, kSkinCaptionCentred, 0},
    {IDC_WEBSITE, 911, 204, 5, 49, 16, {10, 8, 0, 0, 0, 11}, kSkinSizeToBitmap, 0},
    {IDC_CLOSE, 912, 427, 9, 28, 26, {45, 43, 44, 0, 0, 46}, kSkinSizeToBitmap, 0},
};

// Labels: control, caption string (0: filled at run time), place, font.
// Each value starts below its caption's last pixel row (the captions'
// descenders). The flash part's label reaches to the panel's inner edge:
// part names are up to 25 characters.
enum EFont { kTitle, kCaption, kValue, kStatus };
struct SLabelRow {
  int nId;
  UINT nCaption;
  int x, y, cx, cy;
  EFont eFont;
  UINT nFormat;
};
const SLabelRow s_aLabels[] = {
    {IDC_TITLE, 0, 34, 7, 166, 18, kTitle, DT_LEFT | DT_VCENTER | DT_SINGLELINE},
    {IDC_CAPTION_VERSION, 901, 140, 43, 178, 13, kCaption, DT_LEFT | DT_SINGLELINE},
    {IDC_VERSION_1, 0, 140, 56, 100, 15, kValue, DT_LEFT | DT_SINGLELINE},
    {IDC_VERSION_2, 0, 240, 56, 40, 15, kValue, DT_LEFT | DT_SINGLELINE},
    {IDC_VERSION_3, 0, 280, 56, 38, 15, kValue, DT_LEFT | DT_SINGLELINE},
    {IDC_CAPTION_DATE, 903, 140, 73, 178, 13, kCaption, DT_LEFT | DT_SINGLELINE},
    {IDC_BIOS_DATE, 0, 140, 86, 178, 15, kValue, DT_LEFT | DT_SINGLELINE},
    {IDC_CAPTION_FLASH, 902, 140, 103, 178, 13, kCaption, DT_LEFT | DT_SINGLELINE},
    {IDC_FLASH_TYPE, 0, 140, 116, 184, 15, kValue, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS},
    {IDC_STATUS, 0, 140, 135, 142, 14, kStatus, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS},
    {IDC_PERCENT, 0, 282, 135, 36, 14, kStatus, DT_RIGHT | DT_SINGLELINE},
    {IDC_LIVE_STATUS, 0, 140, 135, 142, 14, kStatus, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS},
};

// Tells the window that PostToWindow queued work (the queue, not the
// message, carries it, so no pointer travels through the message loop).
constexpr UINT kMsgRunPosted = WM_APP + 1;

HFONT MakeFont(int nPixels, int nWeight) {
  return CreateFontA(-nPixels, 0, 0, 0, nWeight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, "Arial");
}

}  // namespace

CTessaroDlg::CTessaroDlg(HWND hParent, CMainPresenter& presenter, const CResources& resources)
    : CSkinDialog(IDD_TESSARO_MAIN, hParent), m_presenter(presenter), m_resources(resources) {
  SetSkin(IDB_MAIN_BACKGROUND, IDB_MAIN_MASK);
  m_hTitleFont = MakeFont(14, FW_BOLD);
  m_hCaptionFont = MakeFont(11, FW_NORMAL);
  m_hValueFont = MakeFont(13, FW_BOLD);
  m_hNarrowValueFont = MakeFont(12, FW_BOLD);
  m_hStatusFont = MakeFont(11, FW_NORMAL);
}

CTessaroDlg::~CTessaroDlg() {
  for (HFONT hFont :
       {m_hTitleFont, m_hCaptionFont, m_hValueFont, m_hNarrowValueFont, m_hStatusFont})
    if (hFont) DeleteObject(hFont);
}

void CTessaroDlg::CreateLabels() {
  const HFONT ahFonts[] = {m_hTitleFont, m_hCaptionFont, m_hValueFont, m_hStatusFont};
  const COLORREF acrColours[] = {kTitleColour, kCaptionColour, kValueColour, kStatusColour};
  for (const SLabelRow& row : s_aLabels) {
    HWND hLabel = CreateSkinLabel(m_hWnd, row.nId, row.x, row.y, row.cx, row.cy,
                                  {ahFonts[row.eFont], acrColours[row.eFont], row.nFormat});
    if (row.nCaption) SetWindowTextA(hLabel, m_resources.GetString(row.nCaption).c_str());
  }
  ShowWindow(GetDlgItem(m_hWnd, IDC_LIVE_STATUS), SW_HIDE);
  CreateSkinProgress(m_hWnd, IDC_PROGRESS, 140, 152, 178, 8, RGB(31, 43, 57), RGB(47, 129, 247));
  SetPercentText("0%");
}

void CTessaroDlg::PlaceButtons() {
  for (size_t i = 0; i < sizeof(s_aButtons) / sizeof(s_aButtons[0]); ++i) {
    const SButtonRow& row = s_aButtons[i];
    HWND hButton = GetDlgItem(m_hWnd, row.nId);
    SetWindowPos(hButton, nullptr, row.x, row.y, row.cx, row.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // Overlapping buttons (Stop lies over Setting and About) must not
    // paint over each other.
    SetWindowLongPtrA(hButton, GWL_STYLE, GetWindowLongPtrA(hButton, GWL_STYLE) | WS_CLIPSIBLINGS);
    SetWindowTextA(hButton, m_resources.GetString(row.nCaption).c_str());
    m_aButtons[i].Attach(m_hWnd, row.nId);
    m_aButtons[i].SetBitmaps(row.anSlots[0], row.anSlots[1], row.anSlots[2], row.anSlots[3],
                             row.anSlots[4], row.anSlots[5], row.nStyle,
                             static_cast<int>(kButtonCaption), row.nInset);
  }
  // The information-file tools sit in the free corner of the left column.
  SetWindowPos(GetDlgItem(m_hWnd, IDC_ENCODE_INFO), nullptr, 10, 60, 24, 22, SWP_NOZORDER);
  SetWindowPos(GetDlgItem(m_hWnd, IDC_DECODE_INFO), nullptr, 10, 86, 24, 22, SWP_NOZORDER);
}

BOOL CTessaroDlg::OnInitDialog() {
  m_hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TESSARO),
                                          IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  CreateLabels();
  PlaceButtons();
  SetText(IDC_WEBSITE, m_resources.GetString(911));
  m_presenter.OnInitDialog(*this);
  SetFocus(GetDlgItem(m_hWnd, IDC_UPDATE_FILE));
  return FALSE;  // the focus is set
}

bool CTessaroDlg::OnCommand(int nId, int nCode) {
  if (nCode != BN_CLICKED) return false;
  switch (nId) {
    case IDOK:
      return true;  // Enter does not end the program
    case IDCANCEL:
      // Escape and the system menu's Close act like the Close button.
      m_presenter.OnCommand(*this, IDC_CLOSE);
      return true;
    default:
      m_presenter.OnCommand(*this, nId);
      return true;
  }
}

bool CTessaroDlg::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) {
  if (nMsg == WM_TIMER) {
    m_presenter.OnTimer(*this, static_cast<int>(wParam));
    *pResult = 0;
    return true;
  }
  if (nMsg == kMsgRunPosted) {
    RunPostedWork();
    *pResult = 0;
    return true;
  }
  if (nMsg == WM_QUERYDRAGICON) {
    *pResult = reinterpret_cast<INT_PTR>(m_hIcon);
    return true;
  }
  if (nMsg == WM_PAINT && IsIconic(m_hWnd)) {
    // Minimised: the icon centred in the client area.
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(m_hWnd, &ps);
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    DrawIcon(hdc, (rc.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
             (rc.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, m_hIcon);
    EndPaint(m_hWnd, &ps);
    *pResult = TRUE;
    return true;
  }
  return CSkinDialog::OnMessage(nMsg, wParam, lParam, pResult);
}

void CTessaroDlg::LayOutVersion() {
  HDC hdc = GetDC(m_hWnd);
  HGDIOBJ hOld = SelectObject(hdc, m_hValueFont);
  int x = 140;
  for (int nId : {IDC_VERSION_1, IDC_VERSION_2, IDC_VERSION_3}) {
    HWND hLabel = GetDlgItem(m_hWnd, nId);
    char sz[256] = {0};
    GetWindowTextA(hLabel, sz, sizeof(sz));
    SIZE size = {0, 0};
    GetTextExtentPoint32A(hdc, sz, lstrlenA(sz), &size);
    // The board id stands apart from the version it completes.
    if (nId == IDC_VERSION_3 && sz[0]) x += 5;
    const int cx = x + size.cx > 318 ? 318 - x : size.cx;
    SetWindowPos(hLabel, nullptr, x, 56, cx > 0 ? cx + 1 : 0, 15, SWP_NOZORDER | SWP_NOACTIVATE);
    x += size.cx;
  }
  SelectObject(hdc, hOld);
  ReleaseDC(m_hWnd, hdc);
  RECT rc = {130, 50, 328, 73};
  InvalidateRect(m_hWnd, &rc, TRUE);
}

void CTessaroDlg::SetText(int nId, const std::string& strText) {
  SetDlgItemTextA(m_hWnd, nId, strText.c_str());
  // The title button's text is the window's title; the header shows it.
  if (nId == IDC_WEBSITE) SetDlgItemTextA(m_hWnd, IDC_TITLE, strText.c_str());
  if (nId == IDC_VERSION_1 || nId == IDC_VERSION_2 || nId == IDC_VERSION_3) LayOutVersion();
  if (nId == IDC_FLASH_TYPE) FitValueFont(nId);
}

void CTessaroDlg::FitValueFont(int nId) {
  HWND hLabel = GetDlgItem(m_hWnd, nId);
  char sz[256] = {0};
  GetWindowTextA(hLabel, sz, sizeof(sz));
  RECT rc;
  GetClientRect(hLabel, &rc);
  HDC hdc = GetDC(hLabel);
  HGDIOBJ hOld = SelectObject(hdc, m_hValueFont);
  SIZE size = {0, 0};
  GetTextExtentPoint32A(hdc, sz, lstrlenA(sz), &size);
  SelectObject(hdc, hOld);
  ReleaseDC(hLabel, hdc);
  HFONT hFont = size.cx > rc.right ? m_hNarrowValueFont : m_hValueFont;
  SendMessageA(hLabel, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
}

void CTessaroDlg::EnableControl(int nId, bool bEnable) {
  HWND hControl = GetDlgItem(m_hWnd, nId);
  EnableWindow(hControl, bEnable);
  // Stop lies over Setting and About and is only shown while it can act.
  if (nId == IDC_STOP) ShowWindow(hControl, bEnable ? SW_SHOW : SW_HIDE);
}

void CTessaroDlg::ShowControl(int nId, bool bShow) {
  ShowWindow(GetDlgItem(m_hWnd, nId), bShow ? SW_SHOW : SW_HIDE);
}

void CTessaroDlg::Repaint() {
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CTessaroDlg::CloseWindow() { EndDialog(m_hWnd, IDCANCEL); }

void CTessaroDlg::EndProgram(int nExitCode) {
  // Through the runtime's exit, so that the program-wide objects release
  // the drivers on the way out.
  std::exit(nExitCode);
}

void CTessaroDlg::ShowAbout() {
  CAboutDlg dialog(m_hWnd);
  dialog.DoModal();
}

void CTessaroDlg::RunAmiSettings(CAmiSettings* pSettings) {
  CAmiSettingDlg dialog(m_hWnd, pSettings);
  dialog.DoModal();
}

void CTessaroDlg::RunAwardSettings(CAwardSettings* pSettings) {
  CAwardSettingDlg dialog(m_hWnd, pSettings);
  dialog.DoModal();
}

void CTessaroDlg::OpenAddress(const std::string& strAddress) {
  ShellExecuteA(m_hWnd, "open", strAddress.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CTessaroDlg::SetProgressRange(int nLower, int nUpper) {
  HWND hProgress = GetDlgItem(m_hWnd, IDC_PROGRESS);
  // PBM_SETRANGE (WM_USER + 1) with both bounds in one LPARAM, as the
  // download's progress is set; ranges beyond 16 bits need the wide form.
  if (nLower >= 0 && nUpper >= 0 && nLower <= 0xFFFF && nUpper <= 0xFFFF)
    SendMessageA(hProgress, PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper));
  else
    SendMessageA(hProgress, PBM_SETRANGE32, nLower, nUpper);
  InvalidateRect(hProgress, nullptr, FALSE);
  UpdateWindow(hProgress);
}

void CTessaroDlg::SetProgressPos(int nPos) {
  HWND hProgress = GetDlgItem(m_hWnd, IDC_PROGRESS);
  SendMessageA(hProgress, PBM_SETPOS, nPos, 0);
  UpdateWindow(hProgress);
}

void CTessaroDlg::SetStatusText(const std::string& strText) {
  SetDlgItemTextA(m_hWnd, IDC_STATUS, strText.c_str());
  UpdateWindow(GetDlgItem(m_hWnd, IDC_STATUS));
}

void CTessaroDlg::SetPercentText(const std::string& strText) {
  SetDlgItemTextA(m_hWnd, IDC_PERCENT, strText.c_str());
  UpdateWindow(GetDlgItem(m_hWnd, IDC_PERCENT));
}

void CTessaroDlg::StartTimer(int nTimerId, uint32_t dwIntervalMs) {
  SetTimer(m_hWnd, static_cast<UINT_PTR>(nTimerId), dwIntervalMs, nullptr);
}

void CTessaroDlg::StopTimer(int nTimerId) { KillTimer(m_hWnd, static_cast<UINT_PTR>(nTimerId)); }

void CTessaroDlg::PostToWindow(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(m_mutexPosted);
    m_queuePosted.push_back(std::move(work));
  }
  // Without a window the message goes nowhere and the work stays queued
  // until the dialog object is destroyed: dropped, as promised.
  PostMessageA(m_hWnd, kMsgRunPosted, 0, 0);
}

void CTessaroDlg::RunPostedWork() {
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(m_mutexPosted);
      if (m_queuePosted.empty()) return;
      work = std::move(m_queuePosted.front());
      m_queuePosted.pop_front();
    }
    work();  // outside the lock: the work may post more
  }
}

int CTessaroDlg::ChooseBiosEntry(const std::vector<SBiosListRow>& vecRows) {
  std::vector<std::vector<std::string>> vecCells;
  for (const SBiosListRow& row : vecRows)
    vecCells.push_back({row.strFile, row.strDate, row.strNotes});
  CChoiceListDlg dialog(IDD_BIOS_LIST, m_hWnd,
                        {{"File Name", 100}, {"Build Date", 100}, {"Release Notes", 500}},
                        vecCells);
  dialog.DoModal();
  return dialog.GetChoice();
}

int CTessaroDlg::ChooseSite(const std::vector<std::string>& vecSites) {
  std::vector<std::vector<std::string>> vecCells;
  for (const std::string& strSite : vecSites) vecCells.push_back({strSite});
  CChoiceListDlg dialog(IDD_SITE_LIST, m_hWnd, {{"FTP Site", 0}}, vecCells);
  dialog.DoModal();
  return dialog.GetChoice();
}

bool CTessaroDlg::RunTimeoutDialog() {
  CTimeoutDlg dialog(m_hWnd);
  m_pTimeoutDlg = &dialog;
  dialog.DoModal();
  m_pTimeoutDlg = nullptr;
  return dialog.GetResult() == 1;
}

void CTessaroDlg::EndTimeoutDialog(bool bKeepWaiting) {
  if (!m_pTimeoutDlg || !m_pTimeoutDlg->Handle()) return;
  m_pTimeoutDlg->SetResult(bKeepWaiting ? 1 : 0);
  EndDialog(m_pTimeoutDlg->Handle(), bKeepWaiting ? IDCANCEL : IDOK);
}
