// The page's dialog procedure and its controls. The procedure stays thin:
// every decision (flags, questions, what to save) is the presenter's.
#include "trivelole/TrivelPage_win.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "trivelole/TrivelOLERes.h"

namespace {

// The slider and the tab control are common controls: their classes are
// registered once per process, on the first page.
void InitPageControls() {
  static bool s_bDone = false;
  if (s_bDone) return;
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  s_bDone = InitCommonControlsEx(&icc) != FALSE;
}

// The page lies on its tab control: its labels, group boxes and slider take
// the tab body's background, as on a property page, where the system draws
// themed tabs. Bound at run time: systems without themes have no uxtheme.
void UseTabBackground(HWND hWnd) {
  using PfnEnableTexture = HRESULT(WINAPI*)(HWND, DWORD);
  static const PfnEnableTexture s_pfnEnable = []() -> PfnEnableTexture {
    HMODULE hTheme = LoadLibraryA("uxtheme.dll");  // kept for the page's painting
    return hTheme ? reinterpret_cast<PfnEnableTexture>(
                        reinterpret_cast<void*>(GetProcAddress(hTheme, "EnableThemeDialogTexture")))
                  : nullptr;
  }();
  if (s_pfnEnable) s_pfnEnable(hWnd, ETDT_ENABLETAB);
}

}  // namespace

CTrivelPageWindow::CTrivelPageWindow(CTrivelPagePresenter* pPresenter, HINSTANCE hModule)
    : m_pPresenter(pPresenter), m_hModule(hModule) {}

CTrivelPageWindow::~CTrivelPageWindow() {
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
}

HWND CTrivelPageWindow::Create(HWND hParent) {
  if (m_hWnd && IsWindow(m_hWnd)) return m_hWnd;
  InitPageControls();
  // WM_INITDIALOG (inside this call) sets m_hWnd and attaches the view.
  HWND hWnd = CreateDialogParamA(m_hModule, MAKEINTRESOURCEA(IDD_TRIVEL_PAGE), hParent, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
  if (!hWnd) m_hWnd = nullptr;
  return hWnd;
}

void CTrivelPageWindow::End(INT_PTR nResult) {
  if (m_hWnd && IsWindow(m_hWnd)) EndDialog(m_hWnd, nResult);
}

INT_PTR CALLBACK CTrivelPageWindow::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CTrivelPageWindow* pThis = nullptr;
  if (uMsg == WM_INITDIALOG) {
    pThis = reinterpret_cast<CTrivelPageWindow*>(lParam);
    SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    pThis->m_hWnd = hWnd;
  } else {
    pThis = reinterpret_cast<CTrivelPageWindow*>(GetWindowLongPtrA(hWnd, DWLP_USER));
  }
  return pThis ? pThis->HandleMessage(uMsg, wParam, lParam) : FALSE;
}

INT_PTR CTrivelPageWindow::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_INITDIALOG:
      UseTabBackground(m_hWnd);
      m_pPresenter->Attach(this);
      return TRUE;  // the first control gets the focus
    case WM_HSCROLL:
      m_pPresenter->OnHorizontalScroll(LOWORD(wParam),
                                       reinterpret_cast<HWND>(lParam) == Item(IDC_TRIVEL_SLIDER));
      return FALSE;
    case WM_COMMAND: {
      const int nId = LOWORD(wParam);
      const int nCode = HIWORD(wParam);
      if (nCode == CBN_SELCHANGE &&
          (nId == IDC_TRIVEL_CLOCK_LIST1 || nId == IDC_TRIVEL_CLOCK_LIST2)) {
        m_pPresenter->OnClockListChanged();
      } else if (nCode == CBN_SELCHANGE && nId >= IDC_TRIVEL_VOLT_LIST0 &&
                 nId <= IDC_TRIVEL_VOLT_LIST5) {
        m_pPresenter->OnVoltageListChanged();
      } else if (nCode == BN_CLICKED && nId == IDC_TRIVEL_DEFAULT) {
        m_pPresenter->OnDefaultClicked();
      }
      // Enter and Esc arrive as IDOK and IDCANCEL: the page is not a box
      // that keys close; only the host ends it.
      return TRUE;
    }
    case WM_NOTIFY: {
      const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
      if (pHeader->idFrom == IDC_TRIVEL_TABS && pHeader->code == TCN_SELCHANGE) {
        m_pPresenter->OnTabChanged();
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DESTROY:
      m_pPresenter->Detach();
      m_hWnd = nullptr;
      return FALSE;
  }
  return FALSE;
}

void CTrivelPageWindow::SetText(int nId, const std::string& strText) {
  SetDlgItemTextA(m_hWnd, nId, strText.c_str());
}

void CTrivelPageWindow::SetSliderRange(int nMax) {
  SendMessageA(Item(IDC_TRIVEL_SLIDER), TBM_SETRANGEMIN, FALSE, 0);
  SendMessageA(Item(IDC_TRIVEL_SLIDER), TBM_SETRANGEMAX, FALSE, nMax);
}

void CTrivelPageWindow::SetSliderPos(int nPos) {
  SendMessageA(Item(IDC_TRIVEL_SLIDER), TBM_SETPOS, TRUE, nPos);
}

int CTrivelPageWindow::GetSliderPos() {
  return static_cast<int>(SendMessageA(Item(IDC_TRIVEL_SLIDER), TBM_GETPOS, 0, 0));
}

// Lists 4005, 4008 and 4009 sort their texts, so a text's row need not be
// its position in the value list: every row carries its value index, and
// the presenter's indexes are translated through it both ways.
void CTrivelPageWindow::AddListItem(int nId, const std::string& strText) {
  HWND hList = Item(nId);
  const LRESULT nIndex = SendMessageA(hList, CB_GETCOUNT, 0, 0);
  const LRESULT nRow =
      SendMessageA(hList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strText.c_str()));
  if (nRow >= 0) SendMessageA(hList, CB_SETITEMDATA, nRow, nIndex);
}

void CTrivelPageWindow::SelectListItem(int nId, int nIndex) {
  HWND hList = Item(nId);
  const LRESULT nRows = SendMessageA(hList, CB_GETCOUNT, 0, 0);
  for (LRESULT nRow = 0; nRow < nRows; ++nRow) {
    if (SendMessageA(hList, CB_GETITEMDATA, nRow, 0) == nIndex) {
      SendMessageA(hList, CB_SETCURSEL, nRow, 0);
      return;
    }
  }
  SendMessageA(hList, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int CTrivelPageWindow::GetListSelection(int nId) {
  HWND hList = Item(nId);
  const LRESULT nRow = SendMessageA(hList, CB_GETCURSEL, 0, 0);
  if (nRow == CB_ERR) return -1;
  return static_cast<int>(SendMessageA(hList, CB_GETITEMDATA, nRow, 0));
}

void CTrivelPageWindow::AddTab(int nIndex, const std::string& strText) {
  TCITEMA item = {};
  item.mask = TCIF_TEXT | TCIF_IMAGE;
  item.pszText = const_cast<char*>(strText.c_str());
  item.iImage = nIndex;
  SendMessageA(Item(IDC_TRIVEL_TABS), TCM_INSERTITEMA, nIndex, reinterpret_cast<LPARAM>(&item));
}

int CTrivelPageWindow::FocusedTab() {
  return static_cast<int>(SendMessageA(Item(IDC_TRIVEL_TABS), TCM_GETCURFOCUS, 0, 0));
}

void CTrivelPageWindow::EnableEditing(bool bEnable) {
  EnableWindow(Item(IDC_TRIVEL_SLIDER), bEnable);
  for (int nId = IDC_TRIVEL_CLOCK_LIST1; nId <= IDC_TRIVEL_VOLT_LIST5; ++nId)
    EnableWindow(Item(nId), bEnable);
  EnableWindow(Item(IDC_TRIVEL_DEFAULT), bEnable);
}

int CTrivelPageWindow::MessageBox(const std::string& strText, const char* pszCaption,
                                  uint32_t dwStyle) {
  return ::MessageBoxA(m_hWnd, strText.c_str(), pszCaption, dwStyle);
}
