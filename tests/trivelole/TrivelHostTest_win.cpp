// TrivelOLE.dll end to end under Wine, as a host uses it: the host program
// (tools/trivelhost, C, the public header only) loads the plug-in by name,
// the plug-in loads KT9020DLL.dll beside the host, and the library talks to
// the bench's Mirel.sys, whose controller state file the tests prepare and
// read back. The plug-in finds its configuration through the registry
// value the host's installer writes (build/<preset>/trivel layout).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "protocol/MirelIoctl.h"
#include "sim/SimBench.h"
#include "tests/trivelole/ApplyRecords.h"
#include "tests/support/BenchDriver_win.h"
#include "tests/support/ProcessWindow_win.h"
#include "tests/support/Wait_win.h"
#include "tools/WindowPicture_win.h"

namespace {

constexpr DWORD kMs = 30000;  // a host starts, shows or answers within this

std::string Bin() { return BinaryDir() + "\\bin\\"; }
std::string StatePath() { return BinaryDir() + "\\sim\\trivel-test.state"; }

// The counter record at 0x090D: PC_UP 12, PC_UPTOTAL 3456, PC_POWER_CYCLE
// 789, PC_RESET_CYCLE 21, AC_UPTOTAL 0x1234, AC_POWER_CYCLE 0xFFFF.
const std::vector<uint8_t> kCounters = {0x0C, 0x00, 0x80, 0x0D, 0x15, 0x03,
                                        0x15, 0x00, 0x34, 0x12, 0xFF, 0xFF};

// A fresh controller with the counters above, written as the driver's
// state; its dwTimeoutAt-th command record (0: none) times out.
bool WriteFreshState(uint32_t dwTimeoutAt = 0) {
  DeleteFileA(StatePath().c_str());
  SSimMirelDescription desc;
  desc.config.dwTimeoutAt = dwTimeoutAt;
  desc.vecMemory.emplace_back(static_cast<uint16_t>(mirel::kAddrCounters), kCounters);
  desc.strStatePath = StatePath();
  CSimMirelBench bench;
  std::string strError;
  return bench.Open(desc, &strError);
}

struct SProfiles {
  std::vector<uint8_t> clock[7], voltage[7];
};
bool ReadProfiles(SProfiles* p) {
  CSimMirelBench bench;
  std::string strError;
  if (!bench.OpenState(StatePath(), &strError)) return false;
  for (uint32_t n = 0; n < 7; ++n) {
    const uint8_t* pClock = bench.Controller().ClockRecord(n);
    const uint8_t* pVolt = bench.Controller().VoltageRecord(n);
    p->clock[n].assign(pClock, pClock + mirel::kClockRecordSize);
    p->voltage[n].assign(pVolt, pVolt + mirel::kVoltageRecordSize);
  }
  return true;
}

// The host's installation as the plug-in reads it: the value
// ULVOTRIVEL_PLUGIN of HKLM\Software\ULVO\Velmar, for the length of a test.
class CRegisteredPlugin {
 public:
  explicit CRegisteredPlugin(const std::string& strPath) {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\ULVO\\Velmar", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &hKey, nullptr) != ERROR_SUCCESS)
      return;
    m_bSet = RegSetValueExA(hKey, "ULVOTRIVEL_PLUGIN", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(strPath.c_str()),
                            static_cast<DWORD>(strPath.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(hKey);
  }
  ~CRegisteredPlugin() {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\ULVO\\Velmar", 0, KEY_ALL_ACCESS, &hKey) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(hKey, "ULVOTRIVEL_PLUGIN");
      RegCloseKey(hKey);
    }
  }
  bool Set() const { return m_bSet; }

 private:
  bool m_bSet = false;
};

// One run of the host program, its output in a file, ended at the end.
class CHost {
 public:
  CHost(const std::string& strDir, const std::string& strArgs) {
    static int s_nRuns = 0;
    m_strOut = BinaryDir() + "\\sim\\trivel-host-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++s_nRuns) + ".out";
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hOut = CreateFileA(m_strOut.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                              0, nullptr);
    std::string strLine = "\"" + strDir + "TrivelHost.exe\" " + strArgs;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = hOut;
    m_bStarted = CreateProcessA(nullptr, &strLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                strDir.c_str(), &si, &m_pi) != FALSE;
    if (hOut != INVALID_HANDLE_VALUE) CloseHandle(hOut);
  }
  ~CHost() {
    if (m_bStarted) {
      if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(m_pi.hProcess, 99);
      WaitForSingleObject(m_pi.hProcess, kMs);
      CloseHandle(m_pi.hThread);
      CloseHandle(m_pi.hProcess);
    }
    DeleteFileA(m_strOut.c_str());
  }
  bool Started() const { return m_bStarted; }
  // The exit code, or -1 when it is still running after dwMs.
  int Exit(DWORD dwMs = kMs) {
    if (WaitForSingleObject(m_pi.hProcess, dwMs) != WAIT_OBJECT_0) return -1;
    DWORD dwCode = 0;
    GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return static_cast<int>(dwCode);
  }
  std::string Output() const {
    std::string str;
    FILE* pFile = fopen(m_strOut.c_str(), "rb");
    if (!pFile) return str;
    char sz[4096];
    size_t n;
    while ((n = fread(sz, 1, sizeof(sz), pFile)) > 0) str.append(sz, n);
    fclose(pFile);
    return str;
  }

  // A visible top-level window of this host with the class, or null.
  HWND Find(const char* pszClass) { return FindProcessWindow(m_pi.dwProcessId, pszClass); }
  HWND WaitFor(const char* pszClass, DWORD dwMs = kMs) {
    HWND h = nullptr;
    ::WaitFor([&]() { return (h = Find(pszClass)) != nullptr; }, dwMs);
    return h;
  }

 private:
  std::string m_strOut;
  PROCESS_INFORMATION m_pi = {};
  bool m_bStarted = false;
};

std::string Text(HWND hWnd) {
  char sz[512] = {0};
  GetWindowTextA(hWnd, sz, sizeof(sz));
  return sz;
}
std::string ItemText(HWND hDialog, int nId) { return Text(GetDlgItem(hDialog, nId)); }

// Answers the host's message boxes one after the other with OK until its
// main window shows or it ends; returns their texts in order.
std::vector<std::string> AnswerBoxes(CHost& host, bool bUntilWindow) {
  std::vector<std::string> vec;
  for (;;) {
    HWND hBox = nullptr, hMain = nullptr;
    bool bEnded = false;
    ::WaitFor(
        [&]() {
          hBox = host.Find("#32770");
          hMain = bUntilWindow ? host.Find("TrivelHost") : nullptr;
          bEnded = host.Exit(0) != -1;
          return hBox || hMain || bEnded;
        },
        kMs);
    if (!hBox) return vec;
    vec.push_back(ItemText(hBox, 0xFFFF));
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    WaitUntilGone(hBox, kMs);
  }
}

// The plug-in's page inside the host window.
HWND FindPage(HWND hHost) {
  HWND hPage = nullptr;
  ::WaitFor(
      [&]() {
        hPage = FindWindowExA(hHost, nullptr, "#32770", nullptr);
        return hPage && GetDlgItem(hPage, 4022);
      },
      kMs);
  return hPage;
}

void Shot(HWND hWnd, const char* pszName) {
  WaitUntilPainted(hWnd, kMs);
  const std::string strDir = BinaryDir() + "\\gui-shots";
  CreateDirectoryA(strDir.c_str(), nullptr);
  SaveWindowPicture(hWnd, strDir + "\\" + pszName + ".bmp");
}

// ------------------------------------------------------------ template --

// The page's dialog template as the library carries it.
struct STemplateItem {
  int nId;
  std::string strClass, strText;
  short x, y, cx, cy;
  DWORD dwStyle;
};
struct STemplate {
  DWORD dwStyle = 0;
  short cx = 0, cy = 0;
  WORD wPoints = 0;
  std::string strFont;
  std::vector<STemplateItem> vecItems;
};

// A string or ordinal field of a template: 0xFFFF and an ordinal (the
// predefined classes: 0x80 Button, 0x82 Static, 0x85 ComboBox), else a
// NUL-terminated UTF-16 text (ASCII here).
std::string ReadSzOrOrd(const WORD*& p) {
  static const char* const kClasses[] = {"Button",  "Edit",      "Static",
                                         "ListBox", "ScrollBar", "ComboBox"};
  if (*p == 0xFFFF) {
    const WORD w = p[1];
    p += 2;
    return w >= 0x80 && w <= 0x85 ? kClasses[w - 0x80] : "#" + std::to_string(w);
  }
  std::string str;
  while (*p) str += static_cast<char>(*p++);
  ++p;
  return str;
}

bool ReadPageTemplate(STemplate* pTemplate) {
  HMODULE hModule =
      LoadLibraryExA((Bin() + "TrivelOLE.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!hModule) return false;
  HRSRC hRes = FindResourceA(hModule, MAKEINTRESOURCEA(4000), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  const BYTE* pBase =
      hRes ? static_cast<const BYTE*>(LockResource(LoadResource(hModule, hRes))) : nullptr;
  if (!pBase) return false;
  auto dword = [](const BYTE* p) { return *reinterpret_cast<const DWORD*>(p); };
  // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style,
  // style, item count, x, y, cx, cy.
  if (*reinterpret_cast<const WORD*>(pBase) != 1 ||
      *reinterpret_cast<const WORD*>(pBase + 2) != 0xFFFF)
    return false;
  pTemplate->dwStyle = dword(pBase + 12);
  const WORD nItems = *reinterpret_cast<const WORD*>(pBase + 16);
  const short* pRect = reinterpret_cast<const short*>(pBase + 18);
  pTemplate->cx = pRect[2];
  pTemplate->cy = pRect[3];
  const WORD* p = reinterpret_cast<const WORD*>(pBase + 26);
  ReadSzOrOrd(p);  // menu
  ReadSzOrOrd(p);  // class
  ReadSzOrOrd(p);  // caption
  if (pTemplate->dwStyle & DS_SETFONT) {
    pTemplate->wPoints = p[0];
    p += 3;  // points, weight, italic and character set
    pTemplate->strFont = ReadSzOrOrd(p);
  }
  for (WORD n = 0; n < nItems; ++n) {
    const BYTE* pItem = reinterpret_cast<const BYTE*>((reinterpret_cast<uintptr_t>(p) + 3) &
                                                      ~static_cast<uintptr_t>(3));
    STemplateItem item;
    item.dwStyle = dword(pItem + 8);
    const short* pItemRect = reinterpret_cast<const short*>(pItem + 12);
    item.x = pItemRect[0];
    item.y = pItemRect[1];
    item.cx = pItemRect[2];
    item.cy = pItemRect[3];
    item.nId = static_cast<int>(dword(pItem + 20));
    p = reinterpret_cast<const WORD*>(pItem + 24);
    item.strClass = ReadSzOrOrd(p);
    item.strText = ReadSzOrOrd(p);
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);  // extra data
    pTemplate->vecItems.push_back(item);
  }
  FreeLibrary(hModule);
  return true;
}

TEST(TrivelPageTemplate, ControlsIdsTextsRectanglesAndVisibility) {
  STemplate page;
  ASSERT_TRUE(ReadPageTemplate(&page));
  EXPECT_EQ(static_cast<DWORD>(WS_CHILD | DS_CONTROL),
            page.dwStyle & (WS_CHILD | DS_CONTROL | WS_POPUP | WS_CAPTION));
  EXPECT_EQ(250, page.cx);
  EXPECT_EQ(190, page.cy);
  EXPECT_EQ(9, page.wPoints);
  EXPECT_EQ("Microsoft Sans Serif", page.strFont);
  const DWORD kList = CBS_DROPDOWNLIST, kSorted = CBS_DROPDOWNLIST | CBS_SORT;
  const DWORD kGroup = BS_GROUPBOX;
  struct SRow {
    int nId;
    const char* pszClass;
    const char* pszText;
    short x, y, cx, cy;
    bool bVisible;
    DWORD dwStyleBits;  // that must be set
    DWORD dwStyleMask;  // of the type bits
  };
  const int kNone = 0xFFFF;  // a control without id (-1 as 16 bits)
  const SRow kRows[] = {
      {4012, "Static", "Ext Clock:", 12, 40, 33, 8, true, SS_LEFT, SS_TYPEMASK},
      {4001, "msctls_trackbar32", "Slider1", 50, 38, 128, 15, true, TBS_NOTICKS, TBS_NOTICKS},
      {4010, "Static", "", 183, 40, 28, 9, true, SS_RIGHT, SS_TYPEMASK},
      {kNone, "Static", "MHz", 215, 40, 15, 8, true, SS_LEFT, SS_TYPEMASK},
      {4013, "Static", "PCIE Clock:", 12, 57, 38, 8, false, SS_LEFT, SS_TYPEMASK},
      {4002, "ComboBox", "", 55, 56, 58, 48, false, kList, kSorted},
      {4014, "Static", "PCI Clock:", 12, 74, 32, 8, false, SS_LEFT, SS_TYPEMASK},
      {4003, "ComboBox", "", 55, 73, 58, 53, false, kList, kSorted},
      {4015, "Static", "VID1:", 13, 108, 40, 8, true, SS_LEFT, SS_TYPEMASK},
      {4004, "ComboBox", "", 56, 106, 50, 60, true, kList, kSorted},
      {4016, "Static", "VID2:", 134, 108, 35, 8, true, SS_LEFT, SS_TYPEMASK},
      {4005, "ComboBox", "", 174, 106, 50, 53, true, kSorted, kSorted},
      {4017, "Static", "VID3:", 13, 124, 40, 8, true, SS_LEFT, SS_TYPEMASK},
      {4006, "ComboBox", "", 56, 122, 50, 48, true, kList, kSorted},
      {4018, "Static", "VID4:", 134, 124, 35, 8, false, SS_LEFT, SS_TYPEMASK},
      {4007, "ComboBox", "", 174, 122, 50, 57, false, kList, kSorted},
      {4019, "Static", "VID5:", 13, 139, 40, 8, false, SS_LEFT, SS_TYPEMASK},
      {4008, "ComboBox", "", 56, 138, 50, 69, false, kSorted, kSorted},
      {4020, "Static", "VID6:", 134, 140, 35, 8, false, SS_LEFT, SS_TYPEMASK},
      {4009, "ComboBox", "", 174, 138, 50, 64, false, kSorted, kSorted},
      {kNone, "Static", "Note: Clock Unit is MHz, Voltage Unit is V.", 7, 168, 157, 8, true,
       SS_LEFT, SS_TYPEMASK},
      {4011, "Button", "Default", 201, 166, 35, 11, true, BS_PUSHBUTTON, BS_TYPEMASK},
      {kNone, "Static", "Mode:", 168, 2, 21, 8, false, SS_LEFT, SS_TYPEMASK},
      {4021, "ComboBox", "", 197, 0, 53, 77, false, kList, kSorted},
      {kNone, "Button", "Clock", 7, 26, 230, 63, true, kGroup, BS_TYPEMASK},
      {kNone, "Button", "Voltage", 7, 95, 230, 67, true, kGroup, BS_TYPEMASK},
      {4022, "SysTabControl32", "Tab1", 0, 0, 244, 182, true, 0, 0},
  };
  ASSERT_EQ(sizeof(kRows) / sizeof(kRows[0]), page.vecItems.size());
  for (size_t i = 0; i < page.vecItems.size(); ++i) {
    const SRow& row = kRows[i];
    const STemplateItem& item = page.vecItems[i];
    SCOPED_TRACE("control " + std::to_string(i) + " (" + row.pszText + ")");
    EXPECT_EQ(row.nId, item.nId & 0xFFFF);
    // Window class names are case-insensitive (the resource compiler
    // stores them in capitals).
    EXPECT_EQ(0, _stricmp(row.pszClass, item.strClass.c_str())) << item.strClass;
    EXPECT_EQ(row.pszText, item.strText);
    EXPECT_EQ(row.x, item.x);
    EXPECT_EQ(row.y, item.y);
    EXPECT_EQ(row.cx, item.cx);
    EXPECT_EQ(row.cy, item.cy);
    EXPECT_EQ(row.bVisible, (item.dwStyle & WS_VISIBLE) != 0);
    EXPECT_EQ(row.dwStyleBits, item.dwStyle & row.dwStyleMask);
    EXPECT_TRUE(item.dwStyle & WS_CHILD);
  }
}

// ------------------------------------------------------------- fixture --

// The bench's controller for every test, from a fresh state file, and the
// plug-in registered in the build's layout.
class TrivelHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFreshState()) << StatePath();
    ASSERT_TRUE(ReadProfiles(&m_before));
    m_pDriver.reset(new CBenchDriver("Mirel", Bin() + "Mirel.sys", StatePath()));
    ASSERT_TRUE(m_pDriver->Created());
    ASSERT_TRUE(m_pDriver->Start()) << m_pDriver->LastError();
    m_pRegistered.reset(new CRegisteredPlugin(BinaryDir() + "\\trivel\\Common\\TrivelOLE.dll"));
    ASSERT_TRUE(m_pRegistered->Set());
  }
  void TearDown() override {
    m_pRegistered.reset();
    m_pDriver.reset();
  }
  // What the controller holds now (the driver stopped: it writes through).
  SProfiles After() {
    m_pDriver->Stop();
    SProfiles after;
    EXPECT_TRUE(ReadProfiles(&after));
    return after;
  }

  SProfiles m_before;
  std::unique_ptr<CBenchDriver> m_pDriver;
  std::unique_ptr<CRegisteredPlugin> m_pRegistered;
};

TEST_F(TrivelHost, ContractHoldsThroughTheTables) {
  CHost host(Bin(), "--contract");
  ASSERT_TRUE(host.Started());
  const int nExit = host.Exit();
  const std::string strOut = host.Output();
  EXPECT_EQ(0, nExit) << strOut;
  EXPECT_NE(std::string::npos, strOut.find("contract: 0 failed")) << strOut;
  EXPECT_EQ(std::string::npos, strOut.find("FAIL")) << strOut;
  // OnOK saved the Default profile, OnCancel nothing more; no other profile
  // was written.
  SProfiles after = After();
  EXPECT_NE(m_before.clock[0], after.clock[0]);
  for (int n = 1; n < 7; ++n) {
    EXPECT_EQ(m_before.clock[n], after.clock[n]) << "profile " << n;
    EXPECT_EQ(m_before.voltage[n], after.voltage[n]) << "profile " << n;
  }
}

// ------------------------------------------------------- the information --

// A small reader of the document: elements in document order with their
// path, NAME attribute and text.
struct SNode {
  std::string strPath, strName, strText;
};
bool ParseDocument(const std::string& strXml, std::vector<SNode>* pNodes) {
  std::vector<std::string> stack;
  size_t i = 0;
  while ((i = strXml.find('<', i)) != std::string::npos) {
    const size_t nEnd = strXml.find('>', i);
    if (nEnd == std::string::npos) return false;
    std::string strTag = strXml.substr(i + 1, nEnd - i - 1);
    i = nEnd + 1;
    if (strTag.empty() || strTag[0] == '?' || strTag[0] == '!') continue;
    if (strTag[0] == '/') {
      if (stack.empty() || stack.back() != strTag.substr(1)) return false;
      stack.pop_back();
      continue;
    }
    const bool bEmpty = strTag.back() == '/';
    if (bEmpty) strTag.pop_back();
    SNode node;
    const std::string strElement = strTag.substr(0, strTag.find_first_of(" \t\r\n"));
    const size_t nName = strTag.find("NAME=\"");
    if (nName != std::string::npos)
      node.strName = strTag.substr(nName + 6, strTag.find('"', nName + 6) - nName - 6);
    std::string strPath;
    for (const std::string& s : stack) strPath += s + "/";
    node.strPath = strPath + strElement;
    if (!bEmpty) {
      stack.push_back(strElement);
      const size_t nNext = strXml.find('<', i);
      if (nNext != std::string::npos && strXml.compare(nNext, 2, "</") == 0)
        node.strText = strXml.substr(i, nNext - i);
    }
    pNodes->push_back(node);
  }
  return stack.empty();
}

std::vector<SNode> Info(int nProfile) {
  const std::string strFile =
      BinaryDir() + "\\sim\\trivel-info-" + std::to_string(nProfile) + ".xml";
  DeleteFileA(strFile.c_str());
  CHost host(Bin(), "--info " + std::to_string(nProfile) + " \"" + strFile + "\"");
  EXPECT_EQ(0, host.Exit()) << host.Output();
  std::vector<SNode> nodes;
  FILE* pFile = fopen(strFile.c_str(), "rb");
  if (!pFile) return nodes;
  std::string strXml;
  char sz[4096];
  size_t n;
  while ((n = fread(sz, 1, sizeof(sz), pFile)) > 0) strXml.append(sz, n);
  fclose(pFile);
  DeleteFileA(strFile.c_str());
  EXPECT_EQ(0u, strXml.find("<?xml version=\"1.0\"?>")) << strXml;
  EXPECT_TRUE(ParseDocument(strXml, &nodes)) << strXml;
  return nodes;
}

TEST_F(TrivelHost, InformationDocumentNodeByNodeWithTheControllersCounters) {
  // The bench's profiles 0 and 4 hold different clock and voltage settings.
  const std::vector<SNode> doc0 = Info(0), doc4 = Info(4);
  const std::vector<std::string> vecPaths = {
      "ULVO_PLUGIN",
      "ULVO_PLUGIN/FREQUENCE",
      "ULVO_PLUGIN/FREQUENCE/ITEM",
      "ULVO_PLUGIN/FREQUENCE/ITEM/CAPTION",
      "ULVO_PLUGIN/FREQUENCE/ITEM/OC_CURRENT_SETTING",
      "ULVO_PLUGIN/VOLTAGE",
      "ULVO_PLUGIN/VOLTAGE/ITEM",
      "ULVO_PLUGIN/VOLTAGE/ITEM/CAPTION",
      "ULVO_PLUGIN/VOLTAGE/ITEM/OC_CURRENT_SETTING",
      "ULVO_PLUGIN/VOLTAGE/ITEM",
      "ULVO_PLUGIN/VOLTAGE/ITEM/CAPTION",
      "ULVO_PLUGIN/VOLTAGE/ITEM/OC_CURRENT_SETTING",
      "ULVO_PLUGIN/VOLTAGE/ITEM",
      "ULVO_PLUGIN/VOLTAGE/ITEM/CAPTION",
      "ULVO_PLUGIN/VOLTAGE/ITEM/OC_CURRENT_SETTING",
      "ULVO_PLUGIN/POWER",
      "ULVO_PLUGIN/POWER/ITEM",
      "ULVO_PLUGIN/POWER/ITEM/AC_UPTOTAL",
      "ULVO_PLUGIN/POWER/ITEM/AC_POWER_CYCLE",
      "ULVO_PLUGIN/POWER/ITEM/PC_UPTOTAL",
      "ULVO_PLUGIN/POWER/ITEM/PC_UP",
      "ULVO_PLUGIN/POWER/ITEM/PC_POWER_CYCLE",
      "ULVO_PLUGIN/POWER/ITEM/PC_RESET_CYCLE",
  };
  for (const std::vector<SNode>* pDoc : {&doc0, &doc4}) {
    ASSERT_EQ(vecPaths.size(), pDoc->size());
    const std::vector<SNode>& d = *pDoc;
    for (size_t i = 0; i < vecPaths.size(); ++i) EXPECT_EQ(vecPaths[i], d[i].strPath) << i;
    EXPECT_EQ("TRIVEL_FREQUENCE_1", d[2].strName);
    EXPECT_EQ("CPU FSB:", d[3].strText);
    EXPECT_EQ("TRIVEL_VOLT_1", d[6].strName);
    EXPECT_EQ("vCore:", d[7].strText);
    EXPECT_EQ("TRIVEL_VOLT_2", d[9].strName);
    EXPECT_EQ("vDIMM:", d[10].strText);
    EXPECT_EQ("TRIVEL_VOLT_3", d[12].strName);
    EXPECT_EQ("vChipset:", d[13].strText);
    EXPECT_EQ("Power Cycle", d[16].strName);
    // Live counters, little-endian, unsigned.
    EXPECT_EQ("4660 HR(s)", d[17].strText);
    EXPECT_EQ("65535 Cycle(s)", d[18].strText);
    EXPECT_EQ("3456 HR(s)", d[19].strText);
    EXPECT_EQ("12 HR(s)", d[20].strText);
    EXPECT_EQ("789 Cycle(s)", d[21].strText);
    EXPECT_EQ("21 Cycle(s)", d[22].strText);
    // Units of the item settings.
    EXPECT_NE(std::string::npos, d[4].strText.find(" MHz")) << d[4].strText;
    for (size_t i : {8u, 11u, 14u})
      EXPECT_NE(std::string::npos, d[i].strText.find(" V")) << d[i].strText;
  }
  // Two profiles: their own item values, the same counters.
  bool bDiffers = false;
  for (size_t i : {4u, 8u, 11u, 14u}) bDiffers |= doc0[i].strText != doc4[i].strText;
  EXPECT_TRUE(bDiffers);
}

// ---------------------------------------------------- failures at start --

// A folder with the host and the plug-in but no controller library.
TEST_F(TrivelHost, WithoutTheControllerLibraryTheHostEndsWithCode1AfterBothBoxes) {
  const std::string strDir = BinaryDir() + "\\trivel-nolib\\";
  CreateDirectoryA(strDir.c_str(), nullptr);
  ASSERT_TRUE(
      CopyFileA((Bin() + "TrivelHost.exe").c_str(), (strDir + "TrivelHost.exe").c_str(), FALSE));
  ASSERT_TRUE(
      CopyFileA((Bin() + "TrivelOLE.dll").c_str(), (strDir + "TrivelOLE.dll").c_str(), FALSE));
  DeleteFileA((strDir + "KT9020DLL.dll").c_str());
  CHost host(strDir, "");
  ASSERT_TRUE(host.Started());
  const std::vector<std::string> vecBoxes = AnswerBoxes(host, false);
  ASSERT_EQ(2u, vecBoxes.size());
  EXPECT_EQ("Load KT9020DLL failed.", vecBoxes[0]);
  EXPECT_EQ("Initial KT9020Dll Failed.", vecBoxes[1]);
  EXPECT_EQ(1, host.Exit());
}

TEST_F(TrivelHost, MissingConfigurationIsReportedOncePerItemSet) {
  // Registered where no configuration folder exists.
  m_pRegistered.reset(
      new CRegisteredPlugin(BinaryDir() + "\\trivel-noconfig\\Common\\TrivelOLE.dll"));
  CHost host(Bin(), "");
  ASSERT_TRUE(host.Started());
  const std::vector<std::string> vecBoxes = AnswerBoxes(host, true);
  int nLoad = 0;
  for (const std::string& s : vecBoxes) nLoad += s == "Load XML File Fail";
  EXPECT_EQ(2, nLoad);
  EXPECT_EQ("Load XML File Fail", vecBoxes.empty() ? "" : vecBoxes[0]);
  // The page comes up all the same, its names empty.
  HWND hHost = host.WaitFor("TrivelHost");
  ASSERT_TRUE(hHost);
  HWND hPage = FindPage(hHost);
  ASSERT_TRUE(hPage);
  EXPECT_EQ("", ItemText(hPage, 4012));
  PostMessageA(hHost, WM_CLOSE, 0, 0);
  EXPECT_EQ(0, host.Exit());
}

// ------------------------------------------------------------ the page --

void SelectTab(HWND hPage, int nTab) {
  PostMessageA(GetDlgItem(hPage, 4022), TCM_SETCURFOCUS, nTab, 0);
}
void MoveSlider(HWND hPage, int nPos) {
  HWND hSlider = GetDlgItem(hPage, 4001);
  SendMessageA(hSlider, TBM_SETPOS, TRUE, nPos);
  PostMessageA(hPage, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, nPos),
               reinterpret_cast<LPARAM>(hSlider));
}
bool SelectValue(HWND hPage, int nId, const char* pszText) {
  HWND hList = GetDlgItem(hPage, nId);
  if (SendMessageA(hList, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(pszText)) == CB_ERR)
    return false;
  PostMessageA(hPage, WM_COMMAND, MAKEWPARAM(nId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hList));
  return true;
}
bool Editable(HWND hPage) {
  for (int nId : {4001, 4002, 4003, 4004, 4005, 4006, 4007, 4008, 4009, 4011})
    if (!IsWindowEnabled(GetDlgItem(hPage, nId))) return false;
  return true;
}
bool ReadOnly(HWND hPage) {
  for (int nId : {4001, 4002, 4003, 4004, 4005, 4006, 4007, 4008, 4009, 4011})
    if (IsWindowEnabled(GetDlgItem(hPage, nId))) return false;
  return IsWindowEnabled(GetDlgItem(hPage, 4022)) != FALSE;
}
::testing::AssertionResult Shows(HWND hWnd, int nId, const std::string& str) {
  if (::WaitFor([&]() { return ItemText(hWnd, nId) == str; }, kMs))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "control " << nId << " shows \"" << ItemText(hWnd, nId) << "\", not \"" << str << "\"";
}

// Tabs, slider, lists, the Default button, the question and the host's
// buttons, as a user clicks them; then the records the controller holds.
// Voltage limits are 80 % and 120 % of V x Divisor / Factor x 1000,
// rounded, with the EQ map of the sample configuration.
TEST_F(TrivelHost, PageDrivenByTheUserCommitsTheExpectedRecords) {
  CHost host(Bin(), "");
  ASSERT_TRUE(host.Started());
  HWND hHost = host.WaitFor("TrivelHost");
  ASSERT_TRUE(hHost) << host.Output();
  HWND hPage = FindPage(hHost);
  ASSERT_TRUE(hPage);
  ASSERT_TRUE(IsWindowVisible(hPage));
  // The Default tab of the bench's reference clock 200 MHz.
  EXPECT_EQ("CPU FSB:", ItemText(hPage, 4012));
  EXPECT_EQ("vCore:", ItemText(hPage, 4015));
  EXPECT_TRUE(Editable(hPage));
  Shot(hHost, "trivel-default");

  // Enter and Esc reach the page as IDOK and IDCANCEL: nothing ends.
  SendMessageA(hPage, WM_COMMAND, IDOK, 0);
  SendMessageA(hPage, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(IsWindowVisible(hPage));

  // Default button on the Default tab: the defaults, the host told (1, 0);
  // Apply (slot 7) saves them and tells (1, 1).
  PostMessageA(GetDlgItem(hPage, 4011), BM_CLICK, 0, 0);
  EXPECT_TRUE(Shows(hPage, 4010, "204"));
  EXPECT_TRUE(Shows(hHost, 204, "Callbacks: 1, last DLG_CHANGED 1, 0"));
  PostMessageA(GetDlgItem(hHost, 201), BM_CLICK, 0, 0);
  EXPECT_TRUE(Shows(hHost, 204, "Callbacks: 2, last DLG_CHANGED 1, 1"));

  // Turbo is read-only.
  SelectTab(hPage, 1);
  EXPECT_TRUE(::WaitFor([&]() { return ReadOnly(hPage); }, kMs));
  Shot(hHost, "trivel-turbo");

  // User1: clock 300 MHz, vCore 1.6000, vDIMM 1.90, vChipset 1.60; the
  // host told (0, 0) each time; Apply saves profile 4.
  SelectTab(hPage, 4);
  EXPECT_TRUE(::WaitFor([&]() { return Editable(hPage); }, kMs));
  MoveSlider(hPage, 167);
  EXPECT_TRUE(Shows(hPage, 4010, "300"));
  EXPECT_TRUE(SelectValue(hPage, 4004, "1.6000"));
  EXPECT_TRUE(SelectValue(hPage, 4005, "1.90"));
  EXPECT_TRUE(SelectValue(hPage, 4006, "1.60"));
  EXPECT_TRUE(Shows(hHost, 204, "Callbacks: 6, last DLG_CHANGED 0, 0"));
  Shot(hHost, "trivel-user1");
  PostMessageA(GetDlgItem(hHost, 201), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntilResponsive(hHost, kMs));

  // User2 (no question: nothing unsaved), 400 MHz, then User3: the
  // question, answered Yes, saves profile 5 before the switch.
  SelectTab(hPage, 5);
  ASSERT_TRUE(WaitUntilResponsive(hHost, kMs));
  EXPECT_FALSE(host.Find("#32770"));
  MoveSlider(hPage, 267);
  EXPECT_TRUE(Shows(hPage, 4010, "400"));
  SelectTab(hPage, 6);
  HWND hBox = host.WaitFor("#32770");
  ASSERT_TRUE(hBox);
  EXPECT_EQ("Trivel", Text(hBox));
  EXPECT_EQ(
      " The settings have been changed.\r\n Do you want to save current settings for this "
      "Trivel item?",
      ItemText(hBox, 0xFFFF));
  EXPECT_TRUE(GetDlgItem(hBox, IDYES) && GetDlgItem(hBox, IDNO));
  Shot(hBox, "trivel-question");
  PostMessageA(hBox, WM_COMMAND, IDYES, 0);
  ASSERT_TRUE(WaitUntilGone(hBox, kMs));
  ASSERT_TRUE(WaitUntilResponsive(hHost, kMs));

  // Cancel (slot 6) saves nothing more and the host ends.
  PostMessageA(GetDlgItem(hHost, 203), BM_CLICK, 0, 0);
  EXPECT_EQ(0, host.Exit());

  SProfiles after = After();
  // Profile 0: the defaults. Clock 204 MHz (code 76), item 1 "DeftIdx" 1
  // (100 MHz, code 37: bits 7-8 in byte 23, bits 0-6 in byte 24 from bit 1),
  // item 2 index 0 (byte 8 bits 4-5).
  std::vector<uint8_t> clock0 = m_before.clock[0];
  clock0[15] = 76;
  clock0[23] = static_cast<uint8_t>(clock0[23] & 0xFC);
  clock0[24] = static_cast<uint8_t>((clock0[24] & 1) | (37 << 1));
  clock0[8] = static_cast<uint8_t>(clock0[8] & 0xCF);
  EXPECT_EQ(clock0, after.clock[0]);
  // vCore index 0 (code 0, 1.5 V, Factor 16): 75, 113; vDIMM 1.80 (code 0,
  // Factor 12): 120, 180; vChipset 1.50 (code 0, Factor 10): 120, 180.
  std::vector<uint8_t> volt0 = m_before.voltage[0];
  const uint8_t abyVolt0[] = {0, 0, 0};
  const uint8_t abyLimits0[] = {75, 113, 120, 180, 120, 180};
  memcpy(&volt0[1], abyVolt0, 3);
  memcpy(&volt0[17], abyLimits0, 6);
  EXPECT_EQ(volt0, after.voltage[0]);

  // Profile 4: 300 MHz (code 112); vCore 1.6000 (code 60; 80, 120), vDIMM
  // 1.90 (code 3; 127, 190), vChipset 1.60 (code 2; 128, 192).
  std::vector<uint8_t> clock4 = m_before.clock[4];
  clock4[15] = 112;
  EXPECT_EQ(clock4, after.clock[4]);
  std::vector<uint8_t> volt4 = m_before.voltage[4];
  const uint8_t abyVolt4[] = {60, 3, 2};
  const uint8_t abyLimits4[] = {80, 120, 127, 190, 128, 192};
  memcpy(&volt4[1], abyVolt4, 3);
  memcpy(&volt4[17], abyLimits4, 6);
  EXPECT_EQ(volt4, after.voltage[4]);

  // Profile 5: 400 MHz (code 150), its voltage codes kept.
  std::vector<uint8_t> clock5 = m_before.clock[5];
  clock5[15] = 150;
  EXPECT_EQ(clock5, after.clock[5]);
  EXPECT_EQ(std::vector<uint8_t>(m_before.voltage[5].begin() + 1, m_before.voltage[5].begin() + 4),
            std::vector<uint8_t>(after.voltage[5].begin() + 1, after.voltage[5].begin() + 4));

  // Nothing else was written.
  for (int n : {1, 2, 3, 6}) {
    EXPECT_EQ(m_before.clock[n], after.clock[n]) << "profile " << n;
    EXPECT_EQ(m_before.voltage[n], after.voltage[n]) << "profile " << n;
  }
}

// Apply while the controller times out on the clock record's write, on
// its commit, then on the voltage record's commit after the clock half was
// stored (the state file's timeout setting, at the records ApplyRecords.h
// names): the host shows "Save Setting failed" and the controller's
// profiles stay as they were, the clock half put back.
TEST_F(TrivelHost, ApplyWithAControllerTimeoutReportsSaveSettingFailedAndKeepsTheProfile) {
  for (const uint32_t dwTimeoutAt :
       {kRecordApplyClockWrite, kRecordApplyClockCommit, kRecordApplyVoltageCommit}) {
    SCOPED_TRACE("command record " + std::to_string(dwTimeoutAt) + " times out");
    m_pDriver.reset();
    ASSERT_TRUE(WriteFreshState(dwTimeoutAt));
    m_pDriver.reset(new CBenchDriver("Mirel", Bin() + "Mirel.sys", StatePath()));
    ASSERT_TRUE(m_pDriver->Start()) << m_pDriver->LastError();
    CHost host(Bin(), "");
    ASSERT_TRUE(host.Started());
    HWND hHost = host.WaitFor("TrivelHost");
    ASSERT_TRUE(hHost) << host.Output();
    HWND hPage = FindPage(hHost);
    ASSERT_TRUE(hPage);
    MoveSlider(hPage, 167);
    EXPECT_TRUE(Shows(hPage, 4010, "300"));
    PostMessageA(GetDlgItem(hHost, 201), BM_CLICK, 0, 0);
    HWND hBox = host.WaitFor("#32770");
    ASSERT_TRUE(hBox) << "no box after Apply";
    EXPECT_EQ("Save Setting failed", ItemText(hBox, 0xFFFF));
    if (dwTimeoutAt == kRecordApplyClockWrite) Shot(hBox, "trivel-save-failed");
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntilGone(hBox, kMs));
    PostMessageA(GetDlgItem(hHost, 203), BM_CLICK, 0, 0);  // Cancel
    EXPECT_EQ(0, host.Exit());
    SProfiles after = After();
    for (int n = 0; n < 7; ++n) {
      EXPECT_EQ(m_before.clock[n], after.clock[n]) << "profile " << n;
      EXPECT_EQ(m_before.voltage[n], after.voltage[n]) << "profile " << n;
    }
  }
}

}  // namespace
