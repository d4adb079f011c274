// The About box (template 302): the program's picture as a skinned
// button, its name, version and maker's notice.
#pragma once

#include "tessaro/app/ControlIds.h"
#include "tessaro/shell/SkinControls_win.h"

// The version the About box shows; the version resource says the same.
extern const char* const g_pszProductVersion;

class CAboutDlg : public CDialogBase {
 public:
  explicit CAboutDlg(HWND hParent);

 protected:
  BOOL OnInitDialog() override;

 private:
  CSkinButton m_picture;
};
