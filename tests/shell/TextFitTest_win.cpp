// Every text Tessaro's windows show fits its control, in English and with
// the German satellite, with the fonts the prerequisites install: each
// label, button, check box, frame and list text is measured with the font
// the control draws it with, against the room the control gives it, and
// no two visible controls overlap unless the window means them to. The
// main window shows the longest texts it can get: every flash part name of
// both families, the long forms of the BIOS version and the date.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/win/Platform_win.h"
#include "tessaro/ami/AmiBios.h"
#include "tessaro/app/MainPresenter.h"
#include "tessaro/app/SettingsPresenter.h"
#include "tessaro/award/FlashParts.h"
#include "tessaro/shell/AboutDlg_win.h"
#include "tessaro/shell/ChoiceListDlg_win.h"
#include "tessaro/shell/SettingDlg_win.h"
#include "tessaro/shell/TessaroDlg_win.h"
#include "tessaro/shell/TimeoutDlg_win.h"
#include "tests/support/WindowRobot_win.h"

namespace {

// How a control draws its text, where the class and style alone do not
// say it: the main window's controls paint themselves.
enum class EDraws {
  Standard,          // the control class's own painting
  SkinLabel,         // one line in the label's own font
  CaptionBelowIcon,  // skinned button: wrapped in the band under the icon
  CaptionCentred,    // skinned button: one centred line
  NoCaption,         // skinned button: a picture only
};

struct SWindowRules {
  std::map<int, EDraws> mapDraws;  // controls not drawn the standard way
  // Pairs of controls placed over or against each other on purpose.
  std::set<std::pair<int, int>> setMeantOverlaps;
  // Labels whose changing text is shortened with an ellipsis by design.
  std::set<int> setEllipsisAllowed;
};

std::string ClassOf(HWND hWnd) {
  char sz[64] = {0};
  GetClassNameA(hWnd, sz, sizeof(sz));
  return sz;
}

std::string WindowText(HWND hWnd) {
  char sz[1024] = {0};
  GetWindowTextA(hWnd, sz, sizeof(sz));
  return sz;
}

bool HasVisibleStyle(HWND hWnd) { return (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_VISIBLE) != 0; }

// The extent of strText drawn with hFont and nFormat, wrapped at nWidth
// when nFormat asks for word breaks.
SIZE Measure(HFONT hFont, const std::string& strText, UINT nFormat, int nWidth) {
  HDC hdc = GetDC(nullptr);
  HGDIOBJ hOld = SelectObject(hdc, hFont ? hFont : GetStockObject(DEFAULT_GUI_FONT));
  RECT rc = {0, 0, nWidth, 0};
  DrawTextA(hdc, strText.c_str(), -1, &rc, nFormat | DT_CALCRECT);
  SelectObject(hdc, hOld);
  ReleaseDC(nullptr, hdc);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

HFONT FontOf(HWND hWnd) { return reinterpret_cast<HFONT>(SendMessageA(hWnd, WM_GETFONT, 0, 0)); }

class CFitChecker {
 public:
  CFitChecker(HWND hWindow, const SWindowRules& rules) : m_hWindow(hWindow), m_rules(rules) {}

  // Every problem of the window as it is now, one line each.
  std::vector<std::string> Check() {
    m_vecProblems.clear();
    std::vector<HWND> vecShown;
    for (HWND hChild = GetWindow(m_hWindow, GW_CHILD); hChild;
         hChild = GetWindow(hChild, GW_HWNDNEXT)) {
      if (!HasVisibleStyle(hChild)) continue;
      vecShown.push_back(hChild);
      CheckInsideWindow(hChild);
      CheckText(hChild);
    }
    for (size_t i = 0; i < vecShown.size(); ++i)
      for (size_t j = i + 1; j < vecShown.size(); ++j) CheckOverlap(vecShown[i], vecShown[j]);
    return m_vecProblems;
  }

 private:
  static std::string Name(HWND hControl) {
    std::ostringstream os;
    os << "control " << GetDlgCtrlID(hControl) << " (" << ClassOf(hControl) << " \""
       << WindowText(hControl) << "\")";
    return os.str();
  }
  void Report(HWND hControl, const std::string& strWhat) {
    m_vecProblems.push_back(Name(hControl) + ": " + strWhat);
  }
  void NeedRoom(HWND hControl, const std::string& strText, SIZE need, int cx, int cy) {
    if (need.cx <= cx && need.cy <= cy) return;
    std::ostringstream os;
    os << "\"" << strText << "\" needs " << need.cx << "x" << need.cy << " px, has " << cx << "x"
       << cy;
    Report(hControl, os.str());
  }

  RECT PlaceOf(HWND hControl) const {
    RECT rc;
    GetWindowRect(hControl, &rc);
    MapWindowPoints(nullptr, m_hWindow, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
  }

  void CheckInsideWindow(HWND hControl) {
    RECT rcClient, rc = PlaceOf(hControl), rcBoth;
    GetClientRect(m_hWindow, &rcClient);
    IntersectRect(&rcBoth, &rc, &rcClient);
    if (!IsRectEmpty(&rc) && !EqualRect(&rcBoth, &rc)) Report(hControl, "reaches past the window");
  }

  EDraws DrawsOf(HWND hControl) const {
    auto it = m_rules.mapDraws.find(GetDlgCtrlID(hControl));
    return it == m_rules.mapDraws.end() ? EDraws::Standard : it->second;
  }

  void CheckText(HWND hControl) {
    const std::string strClass = ClassOf(hControl);
    RECT rc;
    GetClientRect(hControl, &rc);
    if (strClass == WC_LISTVIEWA) {
      CheckList(hControl);
      return;
    }
    const std::string strText = WindowText(hControl);
    if (strText.empty()) return;
    const LONG_PTR style = GetWindowLongPtrA(hControl, GWL_STYLE);
    const int nId = GetDlgCtrlID(hControl);
    switch (DrawsOf(hControl)) {
      case EDraws::SkinLabel:
        if (m_rules.setEllipsisAllowed.count(nId)) return;
        NeedRoom(hControl, strText,
                 Measure(FontOf(hControl), strText, DT_SINGLELINE | DT_NOPREFIX, 0), rc.right,
                 rc.bottom);
        return;
      case EDraws::CaptionBelowIcon:
        CheckCaptionBelowIcon(hControl, strText, rc);
        return;
      case EDraws::CaptionCentred:
        NeedRoom(hControl, strText, Measure(FontOf(GetParent(hControl)), strText, DT_SINGLELINE, 0),
                 rc.right, rc.bottom);
        return;
      case EDraws::NoCaption:
        return;
      case EDraws::Standard:
        break;
    }
    const HFONT hFont = FontOf(hControl);
    if (strClass == "Static") {
      const LONG_PTR type = style & SS_TYPEMASK;
      const UINT nPrefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
      if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
        NeedRoom(hControl, strText,
                 Measure(hFont, strText, DT_WORDBREAK | DT_EXPANDTABS | nPrefix, rc.right),
                 rc.right, rc.bottom);
      else if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP)
        NeedRoom(hControl, strText, Measure(hFont, strText, DT_SINGLELINE | nPrefix, 0), rc.right,
                 rc.bottom);
      return;
    }
    if (strClass == "Button") {
      SIZE need = Measure(hFont, strText, DT_SINGLELINE, 0);
      switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX:
          need.cx += 16;  // the frame's corner and the gaps either side
          break;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE:
          need.cx += GetSystemMetrics(SM_CXMENUCHECK) + 4;  // the box and its gap
          break;
        default:
          need.cx += 8;  // the raised edge and the focus frame
          need.cy += 4;
          break;
      }
      NeedRoom(hControl, strText, need, rc.right, rc.bottom);
    }
  }

  // The skinned button wraps its caption into the band under its icon,
  // with a smaller font when the band is too low or its longest word too
  // wide for it; the caption may grow upwards but stays clear of the icon,
  // which keeps to the upper half.
  void CheckCaptionBelowIcon(HWND hControl, const std::string& strText, const RECT& rc) {
    const int cxBand = rc.right - 6;
    const int cyBand = rc.bottom - 3 - rc.bottom * 56 / 100;
    SIZE need = Measure(FontOf(GetParent(hControl)), strText, DT_CENTER | DT_WORDBREAK, cxBand);
    if (need.cy > cyBand || need.cx > cxBand) {
      HFONT hSmall = CreateFontA(-10, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                 DEFAULT_PITCH | FF_SWISS, "Arial");
      need = Measure(hSmall, strText, DT_CENTER | DT_WORDBREAK, cxBand);
      DeleteObject(hSmall);
    }
    NeedRoom(hControl, strText, need, cxBand, rc.bottom - 3 - (rc.bottom / 2 + 1));
  }

  // Column titles and cells within their columns; a column that reaches
  // past the list's right edge scrolls, so only its title counts.
  void CheckList(HWND hList) {
    const HFONT hFont = FontOf(hList);
    RECT rcList;
    GetClientRect(hList, &rcList);
    HWND hHeader = reinterpret_cast<HWND>(SendMessageA(hList, LVM_GETHEADER, 0, 0));
    const int nColumns =
        hHeader ? static_cast<int>(SendMessageA(hHeader, HDM_GETITEMCOUNT, 0, 0)) : 0;
    const int nRows = static_cast<int>(SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0));
    int xColumn = 0;
    for (int nColumn = 0; nColumn < nColumns; ++nColumn) {
      char sz[256] = {0};
      LVCOLUMNA column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.pszText = sz;
      column.cchTextMax = sizeof(sz);
      SendMessageA(hList, LVM_GETCOLUMNA, nColumn, reinterpret_cast<LPARAM>(&column));
      SIZE need = Measure(hFont, sz, DT_SINGLELINE | DT_NOPREFIX, 0);
      need.cx += 12;  // the header's margins
      NeedRoom(hList, std::string("column ") + sz, need, column.cx, need.cy);
      const bool bScrolls = xColumn + column.cx > rcList.right;
      xColumn += column.cx;
      for (int nRow = 0; nRow < nRows && !bScrolls; ++nRow) {
        char szCell[256] = {0};
        LVITEMA item = {};
        item.iSubItem = nColumn;
        item.pszText = szCell;
        item.cchTextMax = sizeof(szCell);
        SendMessageA(hList, LVM_GETITEMTEXTA, nRow, reinterpret_cast<LPARAM>(&item));
        SIZE needCell = Measure(hFont, szCell, DT_SINGLELINE | DT_NOPREFIX, 0);
        needCell.cx += 12;  // the cell's margins
        NeedRoom(hList, szCell, needCell, column.cx, needCell.cy);
      }
    }
  }

  void CheckOverlap(HWND hOne, HWND hOther) {
    RECT rcOne = PlaceOf(hOne), rcOther = PlaceOf(hOther), rcBoth;
    if (!IntersectRect(&rcBoth, &rcOne, &rcOther)) return;
    const int nOne = GetDlgCtrlID(hOne), nOther = GetDlgCtrlID(hOther);
    if (m_rules.setMeantOverlaps.count({nOne, nOther}) ||
        m_rules.setMeantOverlaps.count({nOther, nOne}))
      return;
    // A frame holds the controls it surrounds.
    if (IsFrameAround(hOne, rcOne, rcOther) || IsFrameAround(hOther, rcOther, rcOne)) return;
    Report(hOne, "overlaps " + Name(hOther));
  }
  static bool IsFrameAround(HWND hFrame, const RECT& rcFrame, const RECT& rcInner) {
    if (ClassOf(hFrame) != "Button" ||
        (GetWindowLongPtrA(hFrame, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX)
      return false;
    RECT rcBoth;
    IntersectRect(&rcBoth, &rcFrame, &rcInner);
    return EqualRect(&rcBoth, &rcInner) != FALSE;
  }

  HWND m_hWindow;
  const SWindowRules& m_rules;
  std::vector<std::string> m_vecProblems;
};

std::string Lines(const std::vector<std::string>& vec) {
  std::string str;
  for (const std::string& strLine : vec) str += "\n  " + strLine;
  return str;
}

// ---------------------------------------------------------------- runs --

// Runs fnRobot on this thread once a visible window of this thread titled
// pszTitle exists (a thread timer polls for it while the modal loop runs).
struct SRobot {
  const char* pszTitle;
  std::function<void(HWND)> fnRobot;
  bool bRan = false;
};
SRobot* g_pRobot = nullptr;

BOOL CALLBACK MatchTitle(HWND hWnd, LPARAM lParam) {
  HWND* phFound = reinterpret_cast<HWND*>(lParam);
  if (IsWindowVisible(hWnd) && WindowText(hWnd) == g_pRobot->pszTitle) {
    *phFound = hWnd;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK PollForWindow(HWND, UINT, UINT_PTR nTimer, DWORD) {
  if (!g_pRobot || g_pRobot->bRan) return;
  HWND hFound = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), MatchTitle, reinterpret_cast<LPARAM>(&hFound));
  if (!hFound) return;
  g_pRobot->bRan = true;
  KillTimer(nullptr, nTimer);
  UpdateWindow(hFound);
  g_pRobot->fnRobot(hFound);
}

void WithRobot(SRobot* pRobot, const std::function<void()>& fnModal) {
  g_pRobot = pRobot;
  const UINT_PTR nTimer = SetTimer(nullptr, 0, 20, PollForWindow);
  fnModal();
  KillTimer(nullptr, nTimer);
  g_pRobot = nullptr;
}

// The languages the windows are checked in: the program's own texts and
// the German satellite's.
struct SLanguage {
  const char* pszName;
  const char* pszSatellite;  // in the test's folder; null for none
};
const SLanguage s_aLanguages[] = {{"english", nullptr}, {"german", "TessaroDEU.dll"}};

// The satellite of the language in use for the scope, as the program sets
// it up.
class CLanguageScope {
 public:
  CLanguageScope(CResources& resources, const SLanguage& language) : m_resources(resources) {
    if (language.pszSatellite) {
      m_bLoaded = resources.LoadSatellite(BinDirectory() + language.pszSatellite);
      SetResourceSatellite(reinterpret_cast<HMODULE>(resources.Satellite()));
    }
  }
  ~CLanguageScope() {
    SetResourceSatellite(nullptr);
    m_resources.Release();
  }
  bool Ready(const SLanguage& language) const { return !language.pszSatellite || m_bLoaded; }

 private:
  CResources& m_resources;
  bool m_bLoaded = false;
};

// An engine that reports the texts the test gives it.
class CTextEngine : public CNoBoardEngine {
 public:
  EBiosFamily m_eFamily = EBiosFamily::Award;
  std::string m_strVersion, m_strPartNumber, m_strDate, m_strFlash;
  EBiosFamily Family() const override { return m_eFamily; }
  std::string VersionText() const override { return m_strVersion; }
  std::string PartNumberText() const override { return m_strPartNumber; }
  std::string DateText() const override { return m_strDate; }
  std::string FlashPartName() const override { return m_strFlash; }
};

class CSidBoard : public CNoBoardInfo {
 public:
  std::string IdentifyBoard() override { return "8089"; }
};

SWindowRules MainWindowRules() {
  SWindowRules rules;
  for (int nId : {IDC_TITLE, IDC_CAPTION_VERSION, IDC_VERSION_1, IDC_VERSION_2, IDC_VERSION_3,
                  IDC_CAPTION_DATE, IDC_BIOS_DATE, IDC_CAPTION_FLASH, IDC_FLASH_TYPE, IDC_STATUS,
                  IDC_PERCENT, IDC_LIVE_STATUS})
    rules.mapDraws[nId] = EDraws::SkinLabel;
  for (int nId : {IDC_ONECLICK_UPDATE, IDC_STEP_UPDATE, IDC_UPDATE_FILE, IDC_SAVE_BIOS})
    rules.mapDraws[nId] = EDraws::CaptionBelowIcon;
  for (int nId : {IDC_ABOUT, IDC_SETTING, IDC_STOP}) rules.mapDraws[nId] = EDraws::CaptionCentred;
  for (int nId : {IDC_WEBSITE, IDC_CLOSE}) rules.mapDraws[nId] = EDraws::NoCaption;
  // The version pieces are laid end to end, each a pixel wider than its
  // text; Stop lies over Setting and About while it shows.
  rules.setMeantOverlaps = {{IDC_VERSION_1, IDC_VERSION_2},
                            {IDC_VERSION_2, IDC_VERSION_3},
                            {IDC_STOP, IDC_SETTING},
                            {IDC_STOP, IDC_ABOUT}};
  // Status lines change with the work and end in an ellipsis when long.
  rules.setEllipsisAllowed = {IDC_STATUS, IDC_LIVE_STATUS};
  return rules;
}

// The main window of one family in one language: as it opens, then with
// each flash part name and each long version form the family can show.
void CheckMainWindow(const SLanguage& language, EBiosFamily eFamily) {
  SPlatform& platform = GetWin32Platform();
  CResources resources(*platform.pModules);
  CLanguageScope scope(resources, language);
  ASSERT_TRUE(scope.Ready(language)) << language.pszSatellite;

  CTextEngine engine;
  engine.m_eFamily = eFamily;
  // Versions as long as the families write them, dates in the long form.
  std::vector<std::vector<std::string>> vecVersions;
  std::vector<std::string> vecFlashNames;
  if (eFamily == EBiosFamily::Award) {
    engine.m_strVersion = "6A79AK0EC-00";  // ends in 00: the board id follows
    engine.m_strDate = "12/28/2009";
    // Head, tail and board id: the demo board's long id, and the short
    // form followed by the board id.
    vecVersions = {{"6A79AK0EC-00-KT9S-", "F1", ""}, {"6A79AK0EC-", "00", "8089"}};
    size_t nCount = 0;
    const SFlashPart* pParts = GetFlashPartTable(&nCount);
    for (size_t i = 0; i < nCount; ++i) vecFlashNames.push_back(pParts[i].szName);
  } else {
    engine.m_strVersion = "08.00.15";
    engine.m_strPartNumber = "AMIBIOS-0815-01";
    engine.m_strDate = "12/28/2009";
    vecVersions = {{"", "08.00.15", "AMIBIOS-0815-"}};
    for (char c : {'1', '2', '3', '4', '8', 'B', 'F', '?'})
      vecFlashNames.push_back(CAmiBios::RomTypeName(c));
  }
  engine.m_strFlash = vecFlashNames.front();
  CSidBoard board;
  CMainPresenter presenter(platform, resources, engine, board);
  CTessaroDlg window(nullptr, presenter, resources);
  const SWindowRules rules = MainWindowRules();
  const std::string strShot = std::string("fit-main-") +
                              (eFamily == EBiosFamily::Award ? "award-" : "ami-") +
                              language.pszName;

  SRobot robot = {"Tessaro", [&](HWND hWindow) {
                    // At rest Stop is off and out of sight.
                    EXPECT_FALSE(HasVisibleStyle(GetDlgItem(hWindow, IDC_STOP)));
                    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hWindow, IDC_STOP)));
                    CFitChecker checker(hWindow, rules);
                    EXPECT_EQ("", Lines(checker.Check())) << "as the window opens";
                    const HFONT hValueFont = FontOf(GetDlgItem(hWindow, IDC_FLASH_TYPE));
                    auto Width = [&](const std::string& str) {
                      return Measure(hValueFont, str, DT_SINGLELINE | DT_NOPREFIX, 0).cx;
                    };
                    std::string strWidest;
                    for (const std::string& strName : vecFlashNames) {
                      window.SetText(IDC_FLASH_TYPE, strName);
                      EXPECT_EQ("", Lines(checker.Check())) << "flash part \"" << strName << "\"";
                      if (Width(strName) > Width(strWidest)) strWidest = strName;
                    }
                    // The picture shows the widest of them.
                    window.SetText(IDC_FLASH_TYPE, strWidest);
                    for (const std::vector<std::string>& vecPieces : vecVersions) {
                      window.SetText(IDC_VERSION_1, vecPieces[0]);
                      window.SetText(IDC_VERSION_2, vecPieces[1]);
                      window.SetText(IDC_VERSION_3, vecPieces[2]);
                      EXPECT_EQ("", Lines(checker.Check()))
                          << "version " << vecPieces[0] << vecPieces[1] << " " << vecPieces[2];
                    }
                    // While a download runs Stop shows over Setting and About.
                    window.EnableControl(IDC_STOP, true);
                    EXPECT_EQ("", Lines(checker.Check())) << "with Stop";
                    window.EnableControl(IDC_STOP, false);
                    EXPECT_FALSE(HasVisibleStyle(GetDlgItem(hWindow, IDC_STOP)));
                    RedrawWindow(hWindow, nullptr, nullptr,
                                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                    Shot(hWindow, strShot.c_str());
                    window.CloseWindow();
                  }};
  WithRobot(&robot, [&] { window.DoModal(); });
  EXPECT_TRUE(robot.bRan) << "the main window did not show";
}

// A dialog shown modally, checked once it shows, then cancelled.
void CheckDialog(const char* pszTitle, const std::string& strShot,
                 const std::function<void()>& fnModal, const SWindowRules& rules = {}) {
  SRobot robot = {pszTitle, [&](HWND hDialog) {
                    CFitChecker checker(hDialog, rules);
                    EXPECT_EQ("", Lines(checker.Check())) << pszTitle;
                    Shot(hDialog, strShot.c_str());
                    PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
                  }};
  WithRobot(&robot, fnModal);
  EXPECT_TRUE(robot.bRan) << "no dialog \"" << pszTitle << "\" showed";
}

// The fonts the windows ask for, as the prerequisites provide them: the
// dialogs' face and the caption buttons' glyph font, and a face with
// Arial's metrics for the skinned labels.
int CALLBACK NoteFace(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM lParam) {
  *reinterpret_cast<bool*>(lParam) = true;
  return 0;
}

bool FontInstalled(const char* pszFace) {
  LOGFONTA lf = {};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(lf.lfFaceName, pszFace, LF_FACESIZE);
  bool bFound = false;
  HDC hdc = GetDC(nullptr);
  EnumFontFamiliesExA(hdc, &lf, NoteFace, reinterpret_cast<LPARAM>(&bFound), 0);
  ReleaseDC(nullptr, hdc);
  return bFound;
}

int TextWidth(const char* pszFace, BYTE byPitchAndFamily) {
  HFONT hFont =
      CreateFontA(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, byPitchAndFamily, pszFace);
  const int cx = Measure(hFont, "Tessaro - Award BIOS", DT_SINGLELINE, 0).cx;
  DeleteObject(hFont);
  return cx;
}

TEST(TextFit, TheWindowsFontsAreInstalled) {
  for (const char* pszFace : {"Tahoma", "Marlett", "Liberation Sans"})
    EXPECT_TRUE(FontInstalled(pszFace)) << pszFace;
  // Arial, asked for as the labels ask, comes out with Arial's metrics.
  EXPECT_EQ(TextWidth("Liberation Sans", DEFAULT_PITCH),
            TextWidth("Arial", DEFAULT_PITCH | FF_SWISS));
  EXPECT_EQ(TextWidth("Liberation Sans", DEFAULT_PITCH), TextWidth("Arial", DEFAULT_PITCH));
}

TEST(TextFit, MainWindowShowsTheLongestTextsOfBothFamilies) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  for (const SLanguage& language : s_aLanguages) {
    SCOPED_TRACE(language.pszName);
    {
      SCOPED_TRACE("award");
      CheckMainWindow(language, EBiosFamily::Award);
    }
    {
      SCOPED_TRACE("ami");
      CheckMainWindow(language, EBiosFamily::Ami);
    }
  }
}

TEST(TextFit, DialogsShowTheirTextsInFull) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  SPlatform& platform = GetWin32Platform();
  for (const SLanguage& language : s_aLanguages) {
    SCOPED_TRACE(language.pszName);
    CResources resources(*platform.pModules);
    CLanguageScope scope(resources, language);
    ASSERT_TRUE(scope.Ready(language));
    const std::string strSuffix = std::string("-") + language.pszName;
    // The main window's object opens the dialogs as it does for the user;
    // its own window is not needed for that.
    CNoBoardEngine engine;
    CNoBoardInfo board;
    CMainPresenter presenter(platform, resources, engine, board);
    CTessaroDlg window(nullptr, presenter, resources);

    SWindowRules aboutRules;
    aboutRules.mapDraws[IDC_ABOUT_PICTURE] = EDraws::NoCaption;
    CheckDialog(
        "About ulvo Tessaro", "fit-about" + strSuffix, [&] { window.ShowAbout(); }, aboutRules);

    CAmiSettings ami;
    CheckDialog("Advance Setting", "fit-ami-setting" + strSuffix,
                [&] { window.RunAmiSettings(&ami); });
    // The Award dialog with its optional part-number check shown.
    CAwardSettings award;
    award.m_bShowPartNumberBox = true;
    CheckDialog("Advance Setting", "fit-award-setting" + strSuffix,
                [&] { window.RunAwardSettings(&award); });

    CheckDialog("Tessaro", "fit-timeout" + strSuffix, [&] { window.RunTimeoutDialog(); });

    // The lists with long entries of their kind.
    CheckDialog("Available BIOS", "fit-bios-list" + strSuffix, [&] {
      window.ChooseBiosEntry({{"6A79AK0E.B16", "12/28/2009", "Supports new CPUs; fan table"},
                              {"6A79AK0E.B15", "09/30/2009", "First release"}});
    });
    CheckDialog("Available FTP Site", "fit-site-list" + strSuffix, [&] {
      window.ChooseSite({"ftp://ftp.ulvo.com/pub/download/tessaro/",
                         "ftp://beta.ulvo.com/pub/download/tessaro/beta/"});
    });
  }
}

}  // namespace
