#include "tessaro/shell/ChoiceListDlg_win.h"

#include <commctrl.h>

#include "tessaro/app/ControlIds.h"

BOOL CChoiceListDlg::OnInitDialog() {
  m_nChoice = -1;
  HWND hList = GetDlgItem(m_hWnd, IDC_CHOICE_LIST);
  SendMessageA(hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  RECT rcList;
  GetClientRect(hList, &rcList);
  for (size_t nColumn = 0; nColumn < m_vecColumns.size(); ++nColumn) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(m_vecColumns[nColumn].pszTitle);
    column.cx = m_vecColumns[nColumn].nWidth ? m_vecColumns[nColumn].nWidth : rcList.right;
    column.iSubItem = static_cast<int>(nColumn);
    SendMessageA(hList, LVM_INSERTCOLUMNA, nColumn, reinterpret_cast<LPARAM>(&column));
  }
  for (size_t nRow = 0; nRow < m_vecRows.size(); ++nRow) {
    const std::vector<std::string>& vecCells = m_vecRows[nRow];
    for (size_t nColumn = 0; nColumn < vecCells.size() && nColumn < m_vecColumns.size();
         ++nColumn) {
      LVITEMA item = {};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(nRow);
      item.iSubItem = static_cast<int>(nColumn);
      item.pszText = const_cast<char*>(vecCells[nColumn].c_str());
      SendMessageA(hList, nColumn == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0,
                   reinterpret_cast<LPARAM>(&item));
    }
  }
  return TRUE;
}

bool CChoiceListDlg::TakeSelection() {
  const int nSelected =
      static_cast<int>(SendMessageA(GetDlgItem(m_hWnd, IDC_CHOICE_LIST), LVM_GETNEXTITEM,
                                    static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
  if (nSelected < 0) return false;
  m_nChoice = nSelected;
  EndDialog(m_hWnd, IDOK);
  return true;
}

bool CChoiceListDlg::OnCommand(int nId, int) {
  if (nId == IDOK) {
    TakeSelection();  // nothing selected: the dialog stays
    return true;
  }
  if (nId == IDCANCEL) {
    m_nChoice = -1;
    EndDialog(m_hWnd, IDCANCEL);
    return true;
  }
  return false;
}

// A double click on a row is Next for that row.
bool CChoiceListDlg::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) {
  if (nMsg == WM_NOTIFY) {
    const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
    if (pHeader->idFrom == IDC_CHOICE_LIST && pHeader->code == NM_DBLCLK) {
      TakeSelection();
      *pResult = 0;
      return true;
    }
  }
  return CDialogBase::OnMessage(nMsg, wParam, lParam, pResult);
}
