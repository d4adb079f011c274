// Live Update's two choices: the BIOS file (template 304, three columns)
// and the download site (template 309, one column). Next takes the
// selected row and does nothing without one; Quit chooses nothing.
#pragma once

#include <string>
#include <vector>

#include "tessaro/shell/SkinControls_win.h"

struct SChoiceColumn {
  const char* pszTitle;
  int nWidth;  // pixels; 0: the list's whole width
};

class CChoiceListDlg : public CDialogBase {
 public:
  CChoiceListDlg(UINT nTemplateId, HWND hParent, std::vector<SChoiceColumn> vecColumns,
                 std::vector<std::vector<std::string>> vecRows)
      : CDialogBase(nTemplateId, hParent),
        m_vecColumns(std::move(vecColumns)),
        m_vecRows(std::move(vecRows)) {}
  // The chosen row, or -1 after Quit.
  int GetChoice() const { return m_nChoice; }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int nId, int nCode) override;
  bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) override;

 private:
  bool TakeSelection();

  std::vector<SChoiceColumn> m_vecColumns;
  std::vector<std::vector<std::string>> m_vecRows;
  int m_nChoice = -1;
};
