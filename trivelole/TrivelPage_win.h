// The page's window: the child dialog from template 4000 of the library's
// own module, its controls as ITrivelPageView, and a dialog procedure that
// turns messages into calls of CTrivelPagePresenter.
#pragma once

#include <windows.h>

#include <string>

#include "trivelole/PagePresenter.h"

class CTrivelPageWindow : public ITrivelPageView {
 public:
  CTrivelPageWindow(CTrivelPagePresenter* pPresenter, HINSTANCE hModule);
  ~CTrivelPageWindow() override;
  CTrivelPageWindow(const CTrivelPageWindow&) = delete;
  CTrivelPageWindow& operator=(const CTrivelPageWindow&) = delete;

  // Creates the page as a child of hParent once; later calls return the
  // same window. Null when the window could not be created.
  HWND Create(HWND hParent);
  HWND Handle() const { return m_hWnd; }
  // Ends the page as a dialog ends (hidden, not destroyed).
  void End(INT_PTR nResult);

  // ITrivelPageView.
  void SetText(int nId, const std::string& strText) override;
  void SetSliderRange(int nMax) override;
  void SetSliderPos(int nPos) override;
  int GetSliderPos() override;
  void AddListItem(int nId, const std::string& strText) override;
  void SelectListItem(int nId, int nIndex) override;
  int GetListSelection(int nId) override;
  void AddTab(int nIndex, const std::string& strText) override;
  int FocusedTab() override;
  void EnableEditing(bool bEnable) override;
  int MessageBox(const std::string& strText, const char* pszCaption, uint32_t dwStyle) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
  HWND Item(int nId) const { return GetDlgItem(m_hWnd, nId); }

  CTrivelPagePresenter* m_pPresenter;
  HINSTANCE m_hModule;
  HWND m_hWnd = nullptr;
};
