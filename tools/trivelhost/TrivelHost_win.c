/* TrivelHost: a host program for TrivelOLE.dll, written in C against the
 * public header only, as a foreign host is. It loads the plug-in from the
 * path its installer registered (by name when none loads), finds
 * PlugIn_GetObject and calls nothing but the interface tables.
 *
 *   TrivelHost                 the page in a window, with Apply, OK and
 *                              Cancel buttons (slots 7, 5, 6); the host's
 *                              callback shows what it was told
 *   TrivelHost --contract      every rule of the binary contract, one line
 *                              per case on stdout; exit code 0 when all hold
 *   TrivelHost --info N FILE   the information document of profile N into
 *                              FILE; exit code 0 when written
 *
 * On 32-bit x86 every call into a table goes through a helper that checks
 * the stack pointer afterwards (TrivelCall_win.h). */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tools/trivelhost/TrivelCall_win.h"
#include "trivelole/TrivelOLE.h"

/* Host window controls. */
#define IDC_HOST_APPLY 201
#define IDC_HOST_OK 202
#define IDC_HOST_CANCEL 203
#define IDC_HOST_STATUS 204

static const char kHostClass[] = "TrivelHost";
static const char kHostTitle[] = "Trivel Host";

static TRIVEL_PFN_GetObject g_pfnGetObject;

/* What the plug-in last told the host through the callback. */
static int g_nCallbacks;
static int g_nLastFlag1 = -1, g_nLastFlag2 = -1;
static int g_bCallbackArgsOk = 1;
static HWND g_hStatus;

static int32_t TRIVEL_STDCALL HostNotify(const char* pszPlugin, const char* pszEvent, int32_t nZero,
                                         int32_t nFlag1, int32_t nFlag2) {
  char sz[128];
  if (!pszPlugin || strcmp(pszPlugin, "ULVOTRIVEL_PLUGIN") != 0 || !pszEvent ||
      strcmp(pszEvent, "DLG_CHANGED") != 0 || nZero != 0)
    g_bCallbackArgsOk = 0;
  ++g_nCallbacks;
  g_nLastFlag1 = nFlag1;
  g_nLastFlag2 = nFlag2;
  if (g_hStatus) {
    snprintf(sz, sizeof(sz), "Callbacks: %d, last %s %d, %d", g_nCallbacks,
             pszEvent ? pszEvent : "(null)", (int)nFlag1, (int)nFlag2);
    SetWindowTextA(g_hStatus, sz);
  }
  return 0;
}

/* The plug-in where its installer registered it (HKLM\Software\ULVO\Velmar,
 * ULVOTRIVEL_PLUGIN: its full path), as a monitoring host finds it; null
 * when nothing is registered or that file does not load. */
static HMODULE LoadRegisteredPlugin(void) {
  char szPath[MAX_PATH];
  DWORD dwType = 0, dwSize = sizeof(szPath) - 1;
  HKEY hKey;
  LONG nResult;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\ULVO\\Velmar", 0, KEY_QUERY_VALUE, &hKey) !=
      ERROR_SUCCESS)
    return NULL;
  nResult = RegQueryValueExA(hKey, "ULVOTRIVEL_PLUGIN", NULL, &dwType, (BYTE*)szPath, &dwSize);
  RegCloseKey(hKey);
  if (nResult != ERROR_SUCCESS || dwType != REG_SZ) return NULL;
  szPath[dwSize] = 0;
  return LoadLibraryA(szPath);
}

static int LoadPlugin(void) {
  /* Registered first; else by name, beside the host or on the search path. */
  HMODULE hPlugin = LoadRegisteredPlugin();
  if (!hPlugin) hPlugin = LoadLibraryA("TrivelOLE.dll");
  if (!hPlugin) {
    printf("TrivelOLE.dll not loaded (error %lu)\n", GetLastError());
    return 0;
  }
  g_pfnGetObject = (TRIVEL_PFN_GetObject)(uintptr_t)GetProcAddress(hPlugin, "PlugIn_GetObject");
  if (!g_pfnGetObject) printf("TrivelOLE.dll has no PlugIn_GetObject\n");
  return g_pfnGetObject != NULL;
}

/* ----------------------------------------------------------------- info -- */

static int RunInfo(int nProfile, const char* pszFile) {
  /* The documented size, and guard bytes behind it that must stay. */
  static char szBuffer[TRIVEL_INFO_BUFFER_SIZE + 64];
  SIULVOInfo* pInfo = (SIULVOInfo*)g_pfnGetObject("IULVOInfo");
  FILE* pFile;
  size_t n;
  int i;
  if (!pInfo) return 2;
  memset(szBuffer, 0xCC, sizeof(szBuffer));
  if (T_GetInfo(pInfo, szBuffer, nProfile) != 1) return 3;
  T_Release(pInfo);
  for (i = TRIVEL_INFO_BUFFER_SIZE; i < (int)sizeof(szBuffer); ++i)
    if ((unsigned char)szBuffer[i] != 0xCC) return 4;
  n = strnlen(szBuffer, TRIVEL_INFO_BUFFER_SIZE);
  if (n == TRIVEL_INFO_BUFFER_SIZE) return 4;
  pFile = fopen(pszFile, "wb");
  if (!pFile) return 5;
  fwrite(szBuffer, 1, n, pFile);
  fclose(pFile);
  return g_nStackFaults ? 6 : 0;
}

/* ------------------------------------------------------------- contract -- */

static int g_nFailed;

static void Check(int bHolds, const char* pszCase) {
  printf("%s %s\n", bHolds ? "ok  " : "FAIL", pszCase);
  if (!bHolds) ++g_nFailed;
}

static HWND CreateHostWindow(void);

static BOOL CALLBACK CountPage(HWND hWnd, LPARAM lParam) {
  char szClass[16];
  GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (strcmp(szClass, "#32770") == 0 && GetDlgItem(hWnd, 4022)) ++*(int*)lParam;
  return TRUE;
}
static int PagesIn(HWND hParent) {
  int n = 0;
  EnumChildWindows(hParent, CountPage, (LPARAM)&n);
  return n;
}

/* Lets the page handle what it was sent, and shows it. */
static void Pump(void) {
  MSG msg;
  while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

/* Moves the page's slider to nPos as the user does (position, then the
 * scroll notification). */
static void MoveSlider(HWND hPage, int nPos) {
  HWND hSlider = GetDlgItem(hPage, 4001);
  SendMessageA(hSlider, 0x0405 /* TBM_SETPOS */, TRUE, nPos);
  SendMessageA(hPage, WM_HSCROLL, MAKEWPARAM(4 /* TB_THUMBPOSITION */, nPos), (LPARAM)hSlider);
}

/* The clock item 0 setting of a profile as a new object reads it from the
 * controller ("<OC_CURRENT_SETTING>... MHz" of the document's FREQUENCE). */
static void ClockSetting(int nProfile, char* psz, size_t nSize) {
  static char szDoc[TRIVEL_INFO_BUFFER_SIZE];
  SIULVOInfo* pInfo = (SIULVOInfo*)g_pfnGetObject("IULVOInfo");
  const char *pBegin, *pEnd;
  psz[0] = 0;
  if (!pInfo) return;
  szDoc[0] = 0;
  T_GetInfo(pInfo, szDoc, nProfile);
  T_Release(pInfo);
  pBegin = strstr(szDoc, "<OC_CURRENT_SETTING>");
  if (!pBegin) return;
  pBegin += strlen("<OC_CURRENT_SETTING>");
  pEnd = strchr(pBegin, '<');
  if (!pEnd || (size_t)(pEnd - pBegin) >= nSize) return;
  memcpy(psz, pBegin, pEnd - pBegin);
  psz[pEnd - pBegin] = 0;
}

static int RunContract(void) {
  static const char* const kUnknown[] = {"iulvodialog", "IULVODIALOG", "IULVODialog ", "IULVO", "",
                                         "IULVOInfoX",  "IUnknown"};
  void* const kSentinel = (void*)(uintptr_t)0x5A5A5A5A;
  SIULVODialog *pDialog, *pDialog2;
  SIULVOExtend *pExtend, *pPlugin;
  SIULVOInfo* pInfo;
  void* pOut;
  char szName[TRIVEL_NAME_BUFFER_SIZE + 14];
  char szOriginal[64], szBefore[64], szAfter[64];
  HWND hHost, hPage, hPage2;
  size_t i;
  int bGuard, nNew, nPos;

  /* Lookup by name: the export and QueryInterface. */
  pExtend = (SIULVOExtend*)g_pfnGetObject("IULVOExtend");
  Check(pExtend != NULL, "GetObject(\"IULVOExtend\") gives an interface");
  if (!pExtend) return 1;
  Check(T_AddRef(pExtend) == 2, "AddRef on a fresh pointer returns 2");
  Check(T_Release(pExtend) == 0, "Release returns 0 while the object stays alive");
  pOut = NULL;
  Check(T_QueryInterface(pExtend, "IULVOExtend", &pOut) == 0 && pOut == pExtend,
        "QueryInterface(\"IULVOExtend\") gives the same pointer");
  Check(T_AddRef(pExtend) == 3, "QueryInterface counts the pointer it gives");
  T_Release(pExtend);
  T_Release(pExtend);
  pPlugin = NULL;
  Check(T_QueryInterface(pExtend, "IULVOPlugin", &pPlugin) == 0 && pPlugin == pExtend,
        "QueryInterface(\"IULVOPlugin\") gives the IULVOExtend pointer");
  T_Release(pPlugin);
  pDialog = NULL;
  pInfo = NULL;
  Check(T_QueryInterface(pExtend, "IULVODialog", &pDialog) == 0 && pDialog != NULL &&
            (void*)pDialog != (void*)pExtend,
        "QueryInterface(\"IULVODialog\") gives the dialog interface");
  Check(T_QueryInterface(pDialog, "IULVOInfo", &pInfo) == 0 && pInfo != NULL &&
            (void*)pInfo != (void*)pDialog && (void*)pInfo != (void*)pExtend,
        "QueryInterface(\"IULVOInfo\") through another interface");
  pOut = NULL;
  Check(T_QueryInterface(pInfo, "IULVOExtend", &pOut) == 0 && pOut == pExtend,
        "QueryInterface through IULVOInfo finds the same object");
  T_Release(pExtend);
  for (i = 0; i < sizeof(kUnknown) / sizeof(kUnknown[0]); ++i) {
    char szCase[96];
    pOut = kSentinel;
    snprintf(szCase, sizeof(szCase), "QueryInterface(\"%s\") returns 1, out slot untouched",
             kUnknown[i]);
    Check(T_QueryInterface(pDialog, kUnknown[i], &pOut) == 1 && pOut == kSentinel, szCase);
  }
  Check(T_QueryInterface(pDialog, "IULVODialog", NULL) == 1,
        "QueryInterface without an out slot hands out nothing");
  Check(T_AddRef(pDialog) == 4, "failed lookups count nothing");
  T_Release(pDialog);
  Check(g_pfnGetObject("iulvodialog") == NULL, "GetObject with a name in other case gives null");
  Check(g_pfnGetObject("IULVOUnknown") == NULL, "GetObject with an unknown name gives null");
  pPlugin = (SIULVOExtend*)g_pfnGetObject("IULVOPlugin");
  pOut = NULL;
  Check(pPlugin != NULL && T_QueryInterface(pPlugin, "IULVOExtend", &pOut) == 0 && pOut == pPlugin,
        "GetObject(\"IULVOPlugin\") gives the IULVOExtend interface of a new object");
  if (pPlugin) {
    Check(T_AddRef(pPlugin) == 3, "... with count 1 (2 after its QueryInterface)");
    Check(pPlugin != pExtend, "... of a new object");
    T_Release(pPlugin);
    T_Release(pPlugin);
    T_Release(pPlugin);
  }

  /* The name: exactly 18 bytes, nothing behind them. */
  memset(szName, 0xCC, sizeof(szName));
  Check(T_GetName(pInfo, szName) == 0, "GetName returns 0");
  bGuard = 1;
  for (i = TRIVEL_NAME_BUFFER_SIZE; i < sizeof(szName); ++i)
    if ((unsigned char)szName[i] != 0xCC) bGuard = 0;
  Check(memcmp(szName, "ULVOTRIVEL_PLUGIN", TRIVEL_NAME_BUFFER_SIZE) == 0 && bGuard,
        "GetName writes exactly the 18 bytes of \"ULVOTRIVEL_PLUGIN\" and its NUL");
  Check(T_GetName(pInfo, NULL) == 0 && T_GetInfo(pInfo, NULL, 0) == 1,
        "GetName and GetInfo without a buffer write nothing");
  Check(T_Command(pExtend, 1, 2, 3) == 0, "Command accepts and ignores its arguments");

  /* The Default profile's clock as the controller holds it now (read by
   * a new object, before any callback is registered: it clears it). */
  ClockSetting(0, szOriginal, sizeof(szOriginal));
  Check(szOriginal[0] != 0, "a new object reports the Default profile's clock");

  /* The page: created once. */
  hHost = CreateHostWindow();
  hPage = T_Create(pDialog, hHost);
  hPage2 = T_Create(pDialog, hHost);
  Check(hPage != NULL && GetParent(hPage) == hHost, "Create makes the page a child of the window");
  Check(hPage2 == hPage && PagesIn(hHost) == 1, "Create twice gives the same page, one window");
  if (!hPage) return 1;
  /* Slider positions away from the stored one. */
  nPos = (int)SendMessageA(GetDlgItem(hPage, 4001), 0x0400 /* TBM_GETPOS */, 0, 0);
  nPos = nPos > 200 ? nPos - 100 : nPos + 100;

  /* The callback: set, told on the Default tab, cleared by a new object. */
  Check(T_SetCallback(pExtend, 1234, HostNotify) == 0, "SetCallback returns 0");
  MoveSlider(hPage, nPos);
  Check(g_nCallbacks == 1 && g_nLastFlag1 == 1 && g_nLastFlag2 == 0,
        "a change on the Default tab calls back with 1, 0");
  pDialog2 = (SIULVODialog*)g_pfnGetObject("IULVODialog");
  MoveSlider(hPage, nPos + 1);
  Check(g_nCallbacks == 1, "a second GetObject clears the first object's callback");
  T_SetCallback(pExtend, 0, HostNotify);
  MoveSlider(hPage, nPos + 2);
  Check(g_nCallbacks == 2, "SetCallback again registers it again");
  T_SetCallback(pExtend, 0, NULL);
  MoveSlider(hPage, nPos + 3);
  Check(g_nCallbacks == 2, "SetCallback with null clears it");

  /* OnCancel saves nothing; OnOK applies through slot 7 (the pending note
   * goes out with 1, 1) and saves what the page shows. */
  T_SetCallback(pExtend, 0, HostNotify);
  T_OnCancel(pDialog);
  Check(g_nCallbacks == 2, "OnCancel does not apply (no callback)");
  ClockSetting(0, szBefore, sizeof(szBefore));
  Check(strcmp(szBefore, szOriginal) == 0, "OnCancel saved nothing");
  T_SetCallback(pExtend, 0, HostNotify);
  MoveSlider(hPage, nPos + 4);
  nNew = g_nCallbacks;
  T_OnOK(pDialog);
  Check(g_nCallbacks == nNew + 1 && g_nLastFlag1 == 1 && g_nLastFlag2 == 1,
        "OnOK runs Apply: the callback gets 1, 1");
  ClockSetting(0, szAfter, sizeof(szAfter));
  Check(szAfter[0] != 0 && strcmp(szOriginal, szAfter) != 0,
        "OnOK saved the Default profile (its clock changed)");
  printf("     clock of the Default profile: %s before, %s after OnOK\n", szOriginal, szAfter);
  Check(g_bCallbackArgsOk, "the callback got the plug-in name, \"DLG_CHANGED\" and 0");
  Pump();
  if (pDialog2) T_Release(pDialog2);

  /* The last release destroys the object and its page. */
  T_Release(pInfo);
  T_Release(pDialog);
  Check(IsWindow(hPage), "the page lives while a pointer is held");
  T_Release(pExtend);
  Check(!IsWindow(hPage), "the last Release destroys the page");
  DestroyWindow(hHost);

  Check(g_nStackFaults == 0, "every call left the stack pointer where it was");
  printf("contract: %d failed\n", g_nFailed);
  return g_nFailed ? 1 : 0;
}

/* ----------------------------------------------------------------- demo -- */

static SIULVODialog* g_pDemoDialog;

static LRESULT CALLBACK HostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_COMMAND:
      if (!g_pDemoDialog) break;
      switch (LOWORD(wParam)) {
        case IDC_HOST_APPLY:
          T_Apply(g_pDemoDialog);
          return 0;
        case IDC_HOST_OK:
          T_OnOK(g_pDemoDialog);
          DestroyWindow(hWnd);
          return 0;
        case IDC_HOST_CANCEL:
          T_OnCancel(g_pDemoDialog);
          DestroyWindow(hWnd);
          return 0;
      }
      return 0; /* IDOK and IDCANCEL of the keys end nothing */
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_DESTROY:
      if (g_hStatus == GetDlgItem(hWnd, IDC_HOST_STATUS)) g_hStatus = NULL;
      if (g_pDemoDialog) PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

static HWND CreateHostWindow(void) {
  static int s_bRegistered;
  if (!s_bRegistered) {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kHostClass;
    s_bRegistered = RegisterClassA(&wc) != 0;
  }
  return CreateWindowExA(WS_EX_CONTROLPARENT, kHostClass, kHostTitle,
                         WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                         CW_USEDEFAULT, 480, 420, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

static HWND AddButton(HWND hParent, const char* pszText, int nId, int x, int y) {
  HWND h = CreateWindowExA(0, "BUTTON", pszText, WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, 80, 26,
                           hParent, (HMENU)(INT_PTR)nId, GetModuleHandleA(NULL), NULL);
  SendMessageA(h, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), FALSE);
  return h;
}

static int RunDemo(void) {
  SIULVOExtend* pExtend = NULL;
  HWND hHost, hPage;
  RECT rcPage, rcFrame = {0, 0, 0, 0};
  MSG msg;
  int cx, cy;

  g_pDemoDialog = (SIULVODialog*)g_pfnGetObject("IULVODialog");
  if (!g_pDemoDialog) return 2;
  if (T_QueryInterface(g_pDemoDialog, "IULVOExtend", &pExtend) == 0)
    T_SetCallback(pExtend, 0, HostNotify);
  hHost = CreateHostWindow();
  hPage = T_Create(g_pDemoDialog, hHost);
  if (!hPage) return 3;
  /* The window fits the page, with the buttons and the status line below. */
  GetWindowRect(hPage, &rcPage);
  cx = rcPage.right - rcPage.left;
  cy = rcPage.bottom - rcPage.top;
  SetWindowPos(hPage, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(hPage, SW_SHOW);
  AddButton(hHost, "Apply", IDC_HOST_APPLY, cx - 270, cy + 8);
  AddButton(hHost, "OK", IDC_HOST_OK, cx - 180, cy + 8);
  AddButton(hHost, "Cancel", IDC_HOST_CANCEL, cx - 90, cy + 8);
  g_hStatus =
      CreateWindowExA(0, "STATIC", "Callbacks: 0", WS_CHILD | WS_VISIBLE, 8, cy + 42, cx - 16, 18,
                      hHost, (HMENU)IDC_HOST_STATUS, GetModuleHandleA(NULL), NULL);
  SendMessageA(g_hStatus, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), FALSE);
  rcFrame.right = cx;
  rcFrame.bottom = cy + 66;
  AdjustWindowRectEx(&rcFrame, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_CONTROLPARENT);
  SetWindowPos(hHost, NULL, 0, 0, rcFrame.right - rcFrame.left, rcFrame.bottom - rcFrame.top,
               SWP_NOMOVE | SWP_NOZORDER);
  ShowWindow(hHost, SW_SHOW);
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    if (IsDialogMessageA(hHost, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (pExtend) T_Release(pExtend);
  T_Release(g_pDemoDialog);
  g_pDemoDialog = NULL;
  return g_nStackFaults ? 4 : 0;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrev, LPSTR pszCmdLine, int nShow) {
  (void)hInstance;
  (void)hPrev;
  (void)pszCmdLine;
  (void)nShow;
  setvbuf(stdout, NULL, _IONBF, 0);
  if (!LoadPlugin()) return 2;
  if (__argc >= 2 && strcmp(__argv[1], "--contract") == 0) return RunContract();
  if (__argc == 4 && strcmp(__argv[1], "--info") == 0) return RunInfo(atoi(__argv[2]), __argv[3]);
  if (__argc >= 2) {
    printf("usage: TrivelHost [--contract | --info PROFILE FILE]\n");
    return 2;
  }
  return RunDemo();
}
