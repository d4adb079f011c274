#include "tessaro/shell/TessaroShell_win.h"

#include <commctrl.h>

#include "tessaro/app/MainPresenter.h"
#include "tessaro/shell/SkinControls_win.h"
#include "tessaro/shell/TessaroDlg_win.h"

int RunTessaro(SPlatform& platform, CTessaroApp& app, IBiosEngine& engine, IBoardInfo& board,
               LPCSTR pszCommandLine) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                               ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  return app.InitInstance(pszCommandLine ? pszCommandLine : "", [&]() {
    // Dialogs and bitmaps come from the satellite too when it has them.
    SetResourceSatellite(reinterpret_cast<HMODULE>(app.Resources().Satellite()));
    int nExitCode = 0;
    {
      CMainPresenter presenter(platform, app.Resources(), engine, board);
      CTessaroDlg dialog(nullptr, presenter, app.Resources());
      if (dialog.DoModal() == -1) nExitCode = 1;
    }
    SetResourceSatellite(nullptr);
    return nExitCode;
  });
}
