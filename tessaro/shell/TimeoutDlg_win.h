// The time-out dialog of Live Update.
#pragma once

#include "tessaro/app/ControlIds.h"
#include "tessaro/shell/SkinControls_win.h"

// The small dialog Live Update shows when a download stalls (template
// 305): Abort leaves the result 0, Wait sets it to 1. The owner may also
// set the result and end the dialog itself.
class CTimeoutDlg : public CDialogBase {
 public:
  explicit CTimeoutDlg(HWND hParent) : CDialogBase(IDD_TIMEOUT, hParent) {}
  void SetResult(int nResult) { m_nResult = nResult; }
  int GetResult() const { return m_nResult; }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int nId, int nCode) override;

 private:
  int m_nResult = 0;
};
