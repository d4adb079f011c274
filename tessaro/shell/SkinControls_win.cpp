#include "tessaro/shell/SkinControls_win.h"

#include <commctrl.h>

#include <vector>

namespace {

HMODULE g_hSatellite = nullptr;
const char kSkinProperty[] = "TessaroSkin";
const COLORREF kTransparent = RGB(255, 255, 255);
const COLORREF kDisabledCaption = RGB(91, 102, 117);
// Focus cues are drawn once the keyboard has moved the focus, as standard
// dialogs do; a mouse user never sees them.
bool g_bKeyboardCues = false;

// The dialog manager asks the focused control about each key it handles;
// a focus-moving key turns the cues on.
void NoteDialogKey(LPARAM lParam) {
  const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
  if (!pMsg || pMsg->message != WM_KEYDOWN) return;
  switch (pMsg->wParam) {
    case VK_TAB:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      g_bKeyboardCues = true;
      break;
    default:
      break;
  }
}

}  // namespace

void SetResourceSatellite(HMODULE hSatellite) { g_hSatellite = hSatellite; }

HINSTANCE ResourceModuleFor(LPCSTR pszType, UINT nId) {
  if (g_hSatellite && FindResourceA(g_hSatellite, MAKEINTRESOURCEA(nId), pszType))
    return g_hSatellite;
  return GetModuleHandleA(nullptr);
}

HBITMAP LoadSkinBitmap(UINT nId) {
  if (nId == 0) return nullptr;
  return static_cast<HBITMAP>(LoadImageA(ResourceModuleFor(MAKEINTRESOURCEA(2), nId),
                                         MAKEINTRESOURCEA(nId), IMAGE_BITMAP, 0, 0,
                                         LR_CREATEDIBSECTION));
}

HRGN RegionFromMask(HBITMAP hMask) {
  BITMAP bm;
  if (!hMask || !GetObjectA(hMask, sizeof(bm), &bm)) return nullptr;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = bm.bmWidth;
  bi.bmiHeader.biHeight = -bm.bmHeight;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
  HDC hdc = GetDC(nullptr);
  const int nRows = GetDIBits(hdc, hMask, 0, bm.bmHeight, pixels.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, hdc);
  if (nRows != bm.bmHeight) return nullptr;

  const std::vector<SMaskRun> runs = BuildMaskRuns(pixels.data(), bm.bmWidth, bm.bmHeight);
  std::vector<BYTE> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  RGNDATA* pData = reinterpret_cast<RGNDATA*>(data.data());
  pData->rdh.dwSize = sizeof(RGNDATAHEADER);
  pData->rdh.iType = RDH_RECTANGLES;
  pData->rdh.nCount = static_cast<DWORD>(runs.size());
  pData->rdh.nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
  SetRect(&pData->rdh.rcBound, 0, 0, bm.bmWidth, bm.bmHeight);
  RECT* pRects = reinterpret_cast<RECT*>(pData->Buffer);
  for (size_t i = 0; i < runs.size(); ++i)
    SetRect(&pRects[i], runs[i].nLeft, runs[i].nTop, runs[i].nRight, runs[i].nBottom);
  return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), pData);
}

// ------------------------------------------------------------ dialogs --

INT_PTR CDialogBase::DoModal() {
  return DialogBoxParamA(ResourceModuleFor(MAKEINTRESOURCEA(5), m_nTemplateId),
                         MAKEINTRESOURCEA(m_nTemplateId), m_hParent, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

bool CDialogBase::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CDialogBase* pThis = nullptr;
  if (nMsg == WM_INITDIALOG) {
    pThis = reinterpret_cast<CDialogBase*>(lParam);
    pThis->m_hWnd = hWnd;
    SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
  } else {
    pThis = reinterpret_cast<CDialogBase*>(GetWindowLongPtrA(hWnd, DWLP_USER));
  }
  if (!pThis) return FALSE;
  INT_PTR nResult = 0;
  if (pThis->OnMessage(nMsg, wParam, lParam, &nResult)) return nResult;
  switch (nMsg) {
    case WM_INITDIALOG:
      return pThis->OnInitDialog();
    case WM_COMMAND:
      return pThis->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

CSkinDialog::~CSkinDialog() {
  if (m_hBackground) DeleteObject(m_hBackground);
  if (m_hRegion) DeleteObject(m_hRegion);
}

void CSkinDialog::SetSkin(UINT nBackgroundId, UINT nMaskId) {
  HBITMAP hMask = LoadSkinBitmap(nMaskId);
  if (m_hRegion) DeleteObject(m_hRegion);
  m_hRegion = RegionFromMask(hMask);
  if (hMask) DeleteObject(hMask);
  if (m_hBackground) DeleteObject(m_hBackground);
  m_hBackground = LoadSkinBitmap(nBackgroundId);
  BITMAP bm;
  if (m_hBackground && GetObjectA(m_hBackground, sizeof(bm), &bm)) {
    m_size.cx = bm.bmWidth;
    m_size.cy = bm.bmHeight;
  }
}

bool CSkinDialog::OnMessage(UINT nMsg, WPARAM wParam, LPARAM, INT_PTR* pResult) {
  switch (nMsg) {
    case WM_INITDIALOG: {
      // No caption bar or frame: the skin is the whole window. The title
      // stays the window text, for the task bar and for automation.
      LONG_PTR style = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
      style &= ~(WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME);
      SetWindowLongPtrA(m_hWnd, GWL_STYLE, style | WS_POPUP);
      LONG_PTR exStyle = GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE);
      exStyle &= ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE);
      SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, exStyle);
      RECT rcWork;
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcWork, 0);
      const int x = rcWork.left + (rcWork.right - rcWork.left - m_size.cx) / 2;
      const int y = rcWork.top + (rcWork.bottom - rcWork.top - m_size.cy) / 2;
      SetWindowPos(m_hWnd, nullptr, x, y, m_size.cx, m_size.cy,
                   SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOACTIVATE);
      if (m_hRegion) {
        // The window owns the region from here on.
        SetWindowRgn(m_hWnd, m_hRegion, TRUE);
        m_hRegion = nullptr;
      }
      SetPropA(m_hWnd, kSkinProperty, m_hBackground);
      return false;  // the derived dialog's OnInitDialog runs next
    }
    case WM_ERASEBKGND: {
      if (!m_hBackground) return false;
      HDC hdc = reinterpret_cast<HDC>(wParam);
      HDC hMem = CreateCompatibleDC(hdc);
      HGDIOBJ hOld = SelectObject(hMem, m_hBackground);
      BitBlt(hdc, 0, 0, m_size.cx, m_size.cy, hMem, 0, 0, SRCCOPY);
      SelectObject(hMem, hOld);
      DeleteDC(hMem);
      *pResult = TRUE;
      return true;
    }
    case WM_NCHITTEST:
      // Every point of the background drags the window.
      SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, HTCAPTION);
      *pResult = TRUE;
      return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      // Labels and buttons paint the skin themselves.
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      *pResult = reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
      return true;
    case WM_DESTROY:
      RemovePropA(m_hWnd, kSkinProperty);
      return false;
    default:
      return false;
  }
}

void PaintParentBackground(HWND hChild, HDC hdc) {
  HWND hParent = GetParent(hChild);
  RECT rc;
  GetClientRect(hChild, &rc);
  HBITMAP hSkin = static_cast<HBITMAP>(GetPropA(hParent, kSkinProperty));
  if (hSkin) {
    POINT pt = {0, 0};
    MapWindowPoints(hChild, hParent, &pt, 1);
    HDC hMem = CreateCompatibleDC(hdc);
    HGDIOBJ hOld = SelectObject(hMem, hSkin);
    BitBlt(hdc, 0, 0, rc.right, rc.bottom, hMem, pt.x, pt.y, SRCCOPY);
    SelectObject(hMem, hOld);
    DeleteDC(hMem);
    return;
  }
  HBRUSH hBrush = reinterpret_cast<HBRUSH>(SendMessageA(
      hParent, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hParent)));
  FillRect(hdc, &rc, hBrush ? hBrush : GetSysColorBrush(COLOR_BTNFACE));
}

// ------------------------------------------------------------- button --

CSkinButton::~CSkinButton() {
  if (m_hWnd) RemoveWindowSubclass(m_hWnd, Proc, 1);
  ReleaseBitmaps();
}

void CSkinButton::ReleaseBitmaps() {
  for (int i = 0; i < kSkinSlotCount; ++i) {
    if (m_ahBitmaps[i] && m_abOwned[i]) DeleteObject(m_ahBitmaps[i]);
    m_ahBitmaps[i] = nullptr;
    m_abOwned[i] = false;
  }
}

bool CSkinButton::Attach(HWND hDialog, int nId) {
  m_hWnd = GetDlgItem(hDialog, nId);
  if (!m_hWnd) return false;
  m_state = CSkinButtonState(
      CSkinButtonState::KindFromStyle(static_cast<uint32_t>(GetWindowLongPtrA(m_hWnd, GWL_STYLE))));
  SetWindowSubclass(m_hWnd, Proc, 1, reinterpret_cast<DWORD_PTR>(this));

  // The caption doubles as the tooltip.
  m_hTooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0,
                               0, 0, 0, hDialog, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (m_hTooltip) {
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = m_hWnd;
    ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    ti.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(m_hTooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
  return true;
}

void CSkinButton::SetBitmaps(UINT nSlot1, UINT nSlot2, UINT nSlot3, UINT nSlot4, UINT nSlot5,
                             UINT nSlot6, int nStyle, int nSetting1, int nSetting2) {
  ReleaseBitmaps();
  const UINT anIds[kSkinSlotCount] = {nSlot1, nSlot2, nSlot3, nSlot4, nSlot5, nSlot6};
  for (int i = 0; i < kSkinSlotCount; ++i) {
    m_ahBitmaps[i] = LoadSkinBitmap(anIds[i]);
    m_abOwned[i] = m_ahBitmaps[i] != nullptr;
  }
  if (!m_ahBitmaps[3]) m_ahBitmaps[3] = m_ahBitmaps[0];  // disabled look: the normal image
  m_nStyle = nStyle < 0 ? 0 : nStyle > 2 ? 2 : nStyle;
  m_crCaption = static_cast<COLORREF>(nSetting1);
  m_nCaptionInset = nSetting2 < 0 ? 0 : nSetting2;
  if (!m_hWnd) return;
  BITMAP bm;
  if (m_nStyle == kSkinSizeToBitmap && m_ahBitmaps[0] &&
      GetObjectA(m_ahBitmaps[0], sizeof(bm), &bm))
    SetWindowPos(m_hWnd, nullptr, 0, 0, bm.bmWidth, bm.bmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (m_ahBitmaps[5]) SetWindowRgn(m_hWnd, RegionFromMask(m_ahBitmaps[5]), TRUE);
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

bool CSkinButton::PointInside(LPARAM lParam) const {
  RECT rc;
  GetClientRect(m_hWnd, &rc);
  POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  return PtInRect(&rc, pt) != FALSE;
}

void CSkinButton::Apply(const CSkinButtonState::SActions& actions) {
  if (actions.bCapture) SetCapture(m_hWnd);
  if (actions.bTrackLeave) {
    TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE, m_hWnd, 0};
    TrackMouseEvent(&tme);
  }
  if (actions.bReleaseCapture && GetCapture() == m_hWnd) ReleaseCapture();
  if (actions.bRepaint) InvalidateRect(m_hWnd, nullptr, FALSE);
  if (actions.bUncheckGroup) {
    HWND hDialog = GetParent(m_hWnd);
    HWND hItem = m_hWnd;
    while ((hItem = GetNextDlgGroupItem(hDialog, hItem, FALSE)) != nullptr && hItem != m_hWnd)
      PostMessageA(hItem, kMsgRadioGroupUncheck, 0, 0);
  }
  if (actions.bClick)
    SendMessageA(GetParent(m_hWnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m_hWnd), BN_CLICKED),
                 reinterpret_cast<LPARAM>(m_hWnd));
}

void CSkinButton::Paint(HDC hdc) {
  RECT rc;
  GetClientRect(m_hWnd, &rc);
  HDC hMem = CreateCompatibleDC(hdc);
  HBITMAP hFrame = CreateCompatibleBitmap(hdc, rc.right, rc.bottom);
  HGDIOBJ hOldFrame = SelectObject(hMem, hFrame);
  PaintParentBackground(m_hWnd, hMem);

  const bool bEnabled = IsWindowEnabled(m_hWnd) != FALSE;
  bool abHave[kSkinSlotCount];
  for (int i = 0; i < kSkinSlotCount; ++i) abHave[i] = m_ahBitmaps[i] != nullptr;
  HBITMAP hArt = m_ahBitmaps[m_state.SlotToDraw(bEnabled, abHave) - 1];
  BITMAP bm;
  if (hArt && GetObjectA(hArt, sizeof(bm), &bm)) {
    HDC hArtDc = CreateCompatibleDC(hdc);
    HGDIOBJ hOldArt = SelectObject(hArtDc, hArt);
    TransparentBlt(hMem, 0, 0, bm.bmWidth, bm.bmHeight, hArtDc, 0, 0, bm.bmWidth, bm.bmHeight,
                   kTransparent);
    SelectObject(hArtDc, hOldArt);
    DeleteDC(hArtDc);
  }

  char szText[256] = {0};
  GetWindowTextA(m_hWnd, szText, sizeof(szText));
  if (m_nStyle != kSkinSizeToBitmap && szText[0]) {
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(GetParent(m_hWnd), WM_GETFONT, 0, 0));
    HGDIOBJ hOldFont = SelectObject(hMem, hFont);
    SetBkMode(hMem, TRANSPARENT);
    SetTextColor(hMem, bEnabled ? m_crCaption : kDisabledCaption);
    RECT rcText = rc;
    const int nShift = m_state.LooksPressed() ? 1 : 0;
    HFONT hSmall = nullptr;
    if (m_nStyle == kSkinCaptionBelowIcon) {
      // Centred in the band under the icon. A caption that needs more than
      // the band (a longer translation), in height or for its longest word,
      // takes a smaller font and, if it must, grows upwards towards the
      // icon.
      rcText.top = rc.bottom * 56 / 100;
      rcText.bottom = rc.bottom - m_nCaptionInset;
      InflateRect(&rcText, -3, 0);
      const int nBand = rcText.bottom - rcText.top;
      RECT rcMeasure = rcText;
      int nHeight = DrawTextA(hMem, szText, -1, &rcMeasure, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
      // A word wider than the band is not broken but cut at both ends.
      if (nHeight > nBand || rcMeasure.right > rcText.right) {
        hSmall = CreateFontA(-10, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, "Arial");
        SelectObject(hMem, hSmall);
        rcMeasure = rcText;
        nHeight = DrawTextA(hMem, szText, -1, &rcMeasure, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
      }
      if (nHeight > nBand) rcText.top = rcText.bottom - nHeight;
      OffsetRect(&rcText, 0, (nHeight < nBand ? (nBand - nHeight) / 2 : 0) + nShift);
      DrawTextA(hMem, szText, -1, &rcText, DT_CENTER | DT_WORDBREAK);
    } else {
      OffsetRect(&rcText, 0, nShift);
      rcText.bottom -= m_nCaptionInset;
      DrawTextA(hMem, szText, -1, &rcText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(hMem, hOldFont);
    if (hSmall) DeleteObject(hSmall);
  }
  // Keyboard users see which button has the focus.
  if (GetFocus() == m_hWnd && g_bKeyboardCues) {
    RECT rcFocus = rc;
    InflateRect(&rcFocus, -4, -4);
    SetTextColor(hMem, RGB(255, 255, 255));
    SetBkColor(hMem, RGB(0, 0, 0));
    DrawFocusRect(hMem, &rcFocus);
  }
  BitBlt(hdc, 0, 0, rc.right, rc.bottom, hMem, 0, 0, SRCCOPY);
  SelectObject(hMem, hOldFrame);
  DeleteObject(hFrame);
  DeleteDC(hMem);
}

LRESULT CSkinButton::Handle(UINT nMsg, WPARAM wParam, LPARAM lParam, bool* pbHandled) {
  *pbHandled = true;
  switch (nMsg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetFocus(m_hWnd);
      Apply(m_state.OnPress());
      return 0;
    case WM_MOUSEMOVE:
      Apply(m_state.OnMove(PointInside(lParam)));
      return 0;
    case WM_MOUSELEAVE:
      Apply(m_state.OnLeave());
      return 0;
    case WM_LBUTTONUP:
      Apply(m_state.OnRelease(PointInside(lParam)));
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != m_hWnd) Apply(m_state.OnCaptureLost());
      return 0;
    case WM_KILLFOCUS:
      // Handled here entirely: the standard button would draw its own
      // focus rectangle over the skin.
      if (m_state.IsPressed()) Apply(m_state.OnCaptureLost());
      InvalidateRect(m_hWnd, nullptr, FALSE);
      return 0;
    case WM_GETDLGCODE:
      NoteDialogKey(lParam);
      *pbHandled = false;
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(m_hWnd, nullptr, FALSE);
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE) {
        Apply(m_state.OnSpaceKey());
        return 0;
      }
      break;
    case WM_KEYDOWN:
    case WM_CHAR:
      if (wParam == VK_SPACE || wParam == ' ') return 0;
      break;
    case BM_CLICK:
      if (IsWindowEnabled(m_hWnd)) {
        m_state.OnPress();
        Apply(m_state.OnRelease(true));
      }
      return 0;
    case BM_GETCHECK:
      return m_state.IsChecked() ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      Apply(m_state.SetChecked(wParam == BST_CHECKED));
      return 0;
    case BM_GETSTATE:
      return (m_state.IsChecked() ? BST_CHECKED : 0) | (m_state.LooksPressed() ? BST_PUSHED : 0);
    case BM_SETSTATE:
    case BM_SETSTYLE:
      return 0;
    case kMsgRadioGroupUncheck:
      Apply(m_state.OnGroupUncheck());
      return 0;
    case WM_ENABLE: {
      // The parent's skin shows through the shape: repaint what lies under it.
      RECT rc;
      GetWindowRect(m_hWnd, &rc);
      MapWindowPoints(nullptr, GetParent(m_hWnd), reinterpret_cast<POINT*>(&rc), 2);
      InvalidateRect(GetParent(m_hWnd), &rc, TRUE);
      InvalidateRect(m_hWnd, nullptr, FALSE);
      return 0;
    }
    case WM_SETTEXT: {
      LRESULT lResult = DefSubclassProc(m_hWnd, nMsg, wParam, lParam);
      InvalidateRect(m_hWnd, nullptr, FALSE);
      return lResult;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(m_hWnd, &ps);
      Paint(hdc);
      EndPaint(m_hWnd, &ps);
      return 0;
    }
    case WM_NOTIFY: {
      NMTTDISPINFOA* pInfo = reinterpret_cast<NMTTDISPINFOA*>(lParam);
      if (pInfo->hdr.code == TTN_GETDISPINFOA) {
        GetWindowTextA(m_hWnd, pInfo->szText, sizeof(pInfo->szText));
        return 0;
      }
      break;
    }
    default:
      break;
  }
  *pbHandled = false;
  return 0;
}

LRESULT CALLBACK CSkinButton::Proc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR dwRef) {
  CSkinButton* pThis = reinterpret_cast<CSkinButton*>(dwRef);
  bool bHandled = false;
  LRESULT lResult = pThis->Handle(nMsg, wParam, lParam, &bHandled);
  if (bHandled) return lResult;
  if (nMsg == WM_NCDESTROY) {
    RemoveWindowSubclass(hWnd, Proc, 1);
    pThis->m_hWnd = nullptr;
  }
  return DefSubclassProc(hWnd, nMsg, wParam, lParam);
}

// -------------------------------------------------------------- label --

namespace {

LRESULT CALLBACK LabelProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR dwRef) {
  SLabelStyle* pStyle = reinterpret_cast<SLabelStyle*>(dwRef);
  switch (nMsg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hWnd, &ps);
      RECT rc;
      GetClientRect(hWnd, &rc);
      HDC hMem = CreateCompatibleDC(hdc);
      HBITMAP hFrame = CreateCompatibleBitmap(hdc, rc.right, rc.bottom);
      HGDIOBJ hOldFrame = SelectObject(hMem, hFrame);
      PaintParentBackground(hWnd, hMem);
      char szText[512] = {0};
      GetWindowTextA(hWnd, szText, sizeof(szText));
      HGDIOBJ hOldFont = SelectObject(hMem, pStyle->hFont);
      SetBkMode(hMem, TRANSPARENT);
      SetTextColor(hMem, pStyle->crText);
      DrawTextA(hMem, szText, -1, &rc, pStyle->nFormat | DT_NOPREFIX);
      SelectObject(hMem, hOldFont);
      BitBlt(hdc, 0, 0, rc.right, rc.bottom, hMem, 0, 0, SRCCOPY);
      SelectObject(hMem, hOldFrame);
      DeleteObject(hFrame);
      DeleteDC(hMem);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_SETTEXT: {
      LRESULT lResult = DefSubclassProc(hWnd, nMsg, wParam, lParam);
      InvalidateRect(hWnd, nullptr, FALSE);
      return lResult;
    }
    case WM_SETFONT:
      // The label draws with the font it is given, and WM_GETFONT names it.
      pStyle->hFont = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) InvalidateRect(hWnd, nullptr, FALSE);
      return DefSubclassProc(hWnd, nMsg, wParam, 0);
    case WM_NCDESTROY:
      RemoveWindowSubclass(hWnd, LabelProc, 1);
      delete pStyle;
      break;
    default:
      break;
  }
  return DefSubclassProc(hWnd, nMsg, wParam, lParam);
}

}  // namespace

HWND CreateSkinLabel(HWND hParent, int nId, int x, int y, int nWidth, int nHeight,
                     const SLabelStyle& style) {
  HWND hLabel =
      CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, x, y, nWidth,
                      nHeight, hParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)),
                      GetModuleHandleA(nullptr), nullptr);
  if (!hLabel) return nullptr;
  SendMessageA(hLabel, WM_SETFONT, reinterpret_cast<WPARAM>(style.hFont), FALSE);
  SetWindowSubclass(hLabel, LabelProc, 1, reinterpret_cast<DWORD_PTR>(new SLabelStyle(style)));
  return hLabel;
}

// ----------------------------------------------------------- progress --

namespace {

struct SProgressColours {
  COLORREF crTrack;
  COLORREF crFill;
};

LRESULT CALLBACK ProgressProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR dwRef) {
  SProgressColours* pColours = reinterpret_cast<SProgressColours*>(dwRef);
  switch (nMsg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hWnd, &ps);
      RECT rc;
      GetClientRect(hWnd, &rc);
      PBRANGE range = {0, 100};
      SendMessageA(hWnd, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
      const int nPos = static_cast<int>(SendMessageA(hWnd, PBM_GETPOS, 0, 0));
      const int nSpan = range.iHigh > range.iLow ? range.iHigh - range.iLow : 1;
      int nFill = MulDiv(nPos - range.iLow, rc.right, nSpan);
      nFill = nFill < 0 ? 0 : nFill > rc.right ? rc.right : nFill;
      HBRUSH hTrack = CreateSolidBrush(pColours->crTrack);
      HBRUSH hFill = CreateSolidBrush(pColours->crFill);
      FillRect(hdc, &rc, hTrack);
      RECT rcFill = {0, 0, nFill, rc.bottom};
      FillRect(hdc, &rcFill, hFill);
      DeleteObject(hTrack);
      DeleteObject(hFill);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(hWnd, ProgressProc, 1);
      delete pColours;
      break;
    default:
      break;
  }
  return DefSubclassProc(hWnd, nMsg, wParam, lParam);
}

}  // namespace

HWND CreateSkinProgress(HWND hParent, int nId, int x, int y, int nWidth, int nHeight,
                        COLORREF crTrack, COLORREF crFill) {
  HWND hProgress = CreateWindowExA(
      0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, x, y, nWidth, nHeight, hParent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), GetModuleHandleA(nullptr), nullptr);
  if (!hProgress) return nullptr;
  SendMessageA(hProgress, PBM_SETRANGE32, 0, 100);
  SetWindowSubclass(hProgress, ProgressProc, 1,
                    reinterpret_cast<DWORD_PTR>(new SProgressColours{crTrack, crFill}));
  return hProgress;
}
