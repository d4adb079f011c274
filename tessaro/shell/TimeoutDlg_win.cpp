#include "tessaro/shell/TimeoutDlg_win.h"

BOOL CTimeoutDlg::OnInitDialog() {
  m_nResult = 0;
  return TRUE;
}

bool CTimeoutDlg::OnCommand(int nId, int) {
  if (nId == IDOK) {
    m_nResult = 0;  // Abort
  } else if (nId == IDCANCEL) {
    m_nResult = 1;  // Wait
  } else {
    return false;
  }
  EndDialog(m_hWnd, nId);
  return true;
}
