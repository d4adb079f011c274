// The overclocking page over the whole plug-in object and the bench's
// controller, driven through a fake view: filling the page, the question
// before a profile switch drops changes, Cancel, Apply and what it commits,
// the host's notifications, and the read-only profiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "protocol/MirelIoctl.h"
#include "tests/trivelole/ApplyRecords.h"
#include "tests/trivelole/FakePluginSystem.h"
#include "trivelole/TrivelPlugin.h"

namespace {

constexpr char kQuestion[] =
    " The settings have been changed.\r\n Do you want to save current settings for this Trivel "
    "item?";
constexpr int kScrollThumbTrack = 5;
constexpr int kScrollEnd = 8;

class CFakePageView : public ITrivelPageView {
 public:
  struct SBox {
    std::string strText;
    std::string strCaption;
    uint32_t dwStyle;
  };
  std::map<int, std::string> mapTexts;
  std::map<int, std::vector<std::string>> mapLists;
  std::map<int, int> mapSelection;
  std::vector<std::string> vecTabs;
  int nSliderMax = -1;
  int nSliderPos = 0;
  int nFocusedTab = 0;
  bool bEditing = true;
  std::vector<bool> vecEnableCalls;
  std::vector<SBox> vecBoxes;
  std::vector<int> vecAnswers;  // then kBoxAnswerOk

  void SetText(int nId, const std::string& strText) override { mapTexts[nId] = strText; }
  void SetSliderRange(int nMax) override { nSliderMax = nMax; }
  void SetSliderPos(int nPos) override {
    nSliderPos = nPos < 0 ? 0 : (nPos > nSliderMax ? nSliderMax : nPos);
  }
  int GetSliderPos() override { return nSliderPos; }
  void AddListItem(int nId, const std::string& strText) override {
    mapLists[nId].push_back(strText);
  }
  void SelectListItem(int nId, int nIndex) override {
    // A list selects nothing for an index it does not have.
    const int nCount = static_cast<int>(mapLists[nId].size());
    mapSelection[nId] = nIndex >= 0 && nIndex < nCount ? nIndex : -1;
  }
  int GetListSelection(int nId) override {
    auto it = mapSelection.find(nId);
    return it == mapSelection.end() ? -1 : it->second;
  }
  void AddTab(int nIndex, const std::string& strText) override {
    EXPECT_EQ(static_cast<int>(vecTabs.size()), nIndex);
    vecTabs.push_back(strText);
  }
  int FocusedTab() override { return nFocusedTab; }
  void EnableEditing(bool bEnable) override {
    bEditing = bEnable;
    vecEnableCalls.push_back(bEnable);
  }
  int MessageBox(const std::string& strText, const char* pszCaption, uint32_t dwStyle) override {
    vecBoxes.push_back({strText, pszCaption ? pszCaption : "<none>", dwStyle});
    if (vecAnswers.empty()) return kBoxAnswerOk;
    const int nAnswer = vecAnswers.front();
    vecAnswers.erase(vecAnswers.begin());
    return nAnswer;
  }
};

class CFakeNotifier : public ITrivelNotifier {
 public:
  bool bRegistered = true;
  std::vector<std::pair<int, int>> vecCalls;
  bool HasCallback() const override { return bRegistered; }
  void Notify(int nFlag1, int nFlag2) override { vecCalls.push_back({nFlag1, nFlag2}); }
};

using Calls = std::vector<std::pair<int, int>>;

class TrivelPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_bench.IsOpen());
    Build();
  }
  void Build() {
    m_pPlugin.reset();
    m_view = CFakePageView();
    m_pPlugin = std::make_unique<CTrivelPlugin>(&m_bench.system, &m_notifier);
    ASSERT_TRUE(m_pPlugin->Ready());
    Page().Attach(&m_view);
  }
  CTrivelPagePresenter& Page() { return m_pPlugin->Page(); }
  // The user picks tab nTab (answering the question with nAnswer if asked).
  void SwitchTo(int nTab, int nAnswer = kBoxAnswerNo) {
    m_view.nFocusedTab = nTab;
    m_view.vecAnswers.assign(1, nAnswer);
    Page().OnTabChanged();
    m_view.vecAnswers.clear();
  }
  void MoveSlider(int nPos) {
    m_view.SetSliderPos(nPos);
    Page().OnHorizontalScroll(kScrollThumbTrack, true);
  }
  CSimMirelController& Controller() { return m_bench.Controller(); }
  std::vector<uint8_t> ClockRecord(int p) {
    return std::vector<uint8_t>(Controller().ClockRecord(p),
                                Controller().ClockRecord(p) + kClockRecordBytes);
  }
  std::vector<uint8_t> VoltageRecord(int p) {
    return std::vector<uint8_t>(Controller().VoltageRecord(p),
                                Controller().VoltageRecord(p) + kVoltageRecordBytes);
  }

  CPluginBench m_bench;
  CFakeNotifier m_notifier;
  CFakePageView m_view;
  std::unique_ptr<CTrivelPlugin> m_pPlugin;
};

TEST_F(TrivelPage, AttachFillsThePageAndShowsTheDefaultProfile) {
  EXPECT_EQ("CPU FSB:", m_view.mapTexts[kIdcClockLabel0]);
  EXPECT_EQ("vCore:", m_view.mapTexts[kIdcVoltLabel0]);
  EXPECT_EQ("vDIMM:", m_view.mapTexts[kIdcVoltLabel0 + 1]);
  EXPECT_EQ("vChipset:", m_view.mapTexts[kIdcVoltLabel0 + 2]);
  EXPECT_EQ(467, m_view.nSliderMax);
  EXPECT_EQ(157u, m_view.mapLists[kIdcClockList1].size());
  EXPECT_EQ("Auto", m_view.mapLists[kIdcClockList1][0]);
  EXPECT_EQ(3u, m_view.mapLists[kIdcClockList2].size());
  EXPECT_EQ(17u, m_view.mapLists[kIdcVoltList0].size());
  EXPECT_EQ("1.5000", m_view.mapLists[kIdcVoltList0][0]);
  EXPECT_EQ(10u, m_view.mapLists[kIdcVoltList1].size());
  EXPECT_EQ(8u, m_view.mapLists[kIdcVoltList2].size());
  EXPECT_EQ(0u, m_view.mapLists.count(kIdcVoltList5));
  EXPECT_EQ(
      (std::vector<std::string>{"Default", "Turbo", "Normal", "Quiet", "User1", "User2", "User3"}),
      m_view.vecTabs);
  // Profile 0 of the fresh controller: code 75 (200 MHz), PCIE 100 MHz,
  // PCI 33.33, vCore 1.5000, vDIMM 1.80 (code 0), vChipset 1.50.
  EXPECT_EQ(67, m_view.nSliderPos);
  EXPECT_EQ("200", m_view.mapTexts[kIdcClockValue]);
  EXPECT_EQ(1, m_view.mapSelection[kIdcClockList1]);
  EXPECT_EQ(0, m_view.mapSelection[kIdcClockList2]);
  EXPECT_EQ(0, m_view.mapSelection[kIdcVoltList0]);
  EXPECT_EQ(1, m_view.mapSelection[kIdcVoltList1]);
  EXPECT_EQ(0, m_view.mapSelection[kIdcVoltList2]);
  EXPECT_EQ(0, Page().CurrentProfile());
  EXPECT_FALSE(Page().Changed());
  EXPECT_TRUE(m_notifier.vecCalls.empty());
}

TEST_F(TrivelPage, ClockBelowTheListShowsTheSliderAtItsStart) {
  Controller().ClockRecord(0)[15] = 10;  // 27 MHz
  Controller().ProfileChanged(0);
  Build();
  EXPECT_EQ(0, m_view.nSliderPos);
  EXPECT_EQ("133", m_view.mapTexts[kIdcClockValue]);
}

TEST_F(TrivelPage, SwitchingWithChangesAsksAndYesSavesThePreviousProfile) {
  SwitchTo(4);
  EXPECT_TRUE(m_view.vecBoxes.empty()) << "nothing changed yet";
  MoveSlider(100);  // 233 MHz
  EXPECT_EQ("233", m_view.mapTexts[kIdcClockValue]);
  EXPECT_TRUE(Page().ClockChanged());

  SwitchTo(5, kBoxAnswerYes);
  ASSERT_EQ(1u, m_view.vecBoxes.size());
  EXPECT_EQ(kQuestion, m_view.vecBoxes[0].strText);
  EXPECT_EQ("Trivel", m_view.vecBoxes[0].strCaption);
  EXPECT_EQ(0x44u, m_view.vecBoxes[0].dwStyle);
  EXPECT_EQ(87, Controller().ClockRecord(4)[15]) << "233 MHz saved into profile 4";
  EXPECT_EQ(5, Page().CurrentProfile());
  EXPECT_EQ(5, Page().PreviousProfile());
  EXPECT_FALSE(Page().ClockChanged());
  EXPECT_FALSE(Page().VoltageChanged());
  EXPECT_TRUE(Page().Changed());

  // Back on profile 4 the saved value shows, as code 87 reads: 232 MHz.
  SwitchTo(4);
  EXPECT_EQ(1u, m_view.vecBoxes.size());
  EXPECT_EQ("232", m_view.mapTexts[kIdcClockValue]);
}

TEST_F(TrivelPage, NoKeepsTheChangedFlagAndApplySavesTheProfileNowShown) {
  SwitchTo(4);
  const std::vector<uint8_t> vecProfile4 = ClockRecord(4);
  MoveSlider(300);
  m_view.SelectListItem(kIdcVoltList1, 9);
  Page().OnVoltageListChanged();
  SwitchTo(5, kBoxAnswerNo);
  ASSERT_EQ(1u, m_view.vecBoxes.size());
  EXPECT_TRUE(Page().Changed());
  EXPECT_FALSE(Page().ClockChanged());
  EXPECT_EQ(vecProfile4, ClockRecord(4)) << "No saves nothing";

  Page().Apply();
  EXPECT_FALSE(Page().Changed());
  EXPECT_EQ(vecProfile4, ClockRecord(4));
  // Profile 5 was saved with the values loaded for it: its codes are kept
  // and its limits now come from the EQ map (the bench starts them at 0).
  const std::vector<uint8_t> vecVolt5 = VoltageRecord(5);
  EXPECT_EQ(75, vecVolt5[1]);
  EXPECT_EQ(0, vecVolt5[2]);
  EXPECT_EQ(5, vecVolt5[3]);
  EXPECT_EQ(0x40 + 4, vecVolt5[4]);
  EXPECT_NE(0, vecVolt5[17]);
  EXPECT_EQ(85, Controller().ClockRecord(5)[15]);
  EXPECT_EQ(1u, m_view.vecBoxes.size());
}

TEST_F(TrivelPage, AfterCancelASwitchAsksNothingUntilTheNextApply) {
  SwitchTo(4);
  MoveSlider(10);
  Page().OnCancel();
  EXPECT_TRUE(Page().Cancelled());
  SwitchTo(6);
  EXPECT_TRUE(m_view.vecBoxes.empty());
  EXPECT_FALSE(Page().ClockChanged()) << "the changes are dropped";
  EXPECT_EQ(6, Page().CurrentProfile());

  Page().Apply();
  EXPECT_FALSE(Page().Cancelled());
  MoveSlider(20);
  SwitchTo(4);
  EXPECT_EQ(1u, m_view.vecBoxes.size()) << "the question is back";
}

TEST_F(TrivelPage, ApplyWithoutChangeWritesNothing) {
  SwitchTo(4);
  const uint32_t nRequests = Controller().Requests();
  Page().Apply();
  Page().Apply();
  EXPECT_EQ(nRequests, Controller().Requests());
  EXPECT_TRUE(m_view.vecBoxes.empty());
  EXPECT_TRUE(m_notifier.vecCalls.empty());
}

TEST_F(TrivelPage, ApplyCommitsTheShownValuesIntoTheControllersProfile) {
  SwitchTo(4);
  const std::vector<uint8_t> vecClockBefore = ClockRecord(4);
  const std::vector<uint8_t> vecVoltBefore = VoltageRecord(4);
  MoveSlider(71);                            // 204 MHz
  m_view.SelectListItem(kIdcClockList1, 0);  // Auto
  m_view.SelectListItem(kIdcClockList2, 2);  // 40.00
  m_view.SelectListItem(kIdcVoltList0, 4);   // 1.6000
  m_view.SelectListItem(kIdcVoltList1, 0);   // 1.75, code 1
  m_view.SelectListItem(kIdcVoltList2, 7);   // 2.00, code 7
  Page().OnClockListChanged();
  Page().OnVoltageListChanged();
  Page().Apply();
  EXPECT_TRUE(m_view.vecBoxes.empty());

  std::vector<uint8_t> vecClock = vecClockBefore;
  vecClock[15] = 76;
  vecClock[8] = static_cast<uint8_t>((vecClock[8] & 0xCF) | 0x20);
  // Auto at 203 MHz (what code 76 reads as) stays at 100 MHz: code 37.
  vecClock[23] = static_cast<uint8_t>(vecClock[23] & 0xFC);
  vecClock[24] = static_cast<uint8_t>((vecClock[24] & 1) | (37 << 1));
  EXPECT_EQ(vecClock, ClockRecord(4));
  EXPECT_EQ(1, Controller().Memory()[mirel::kAddrLiveFlags] & 1);

  // Limits from the shipped EQ map: vCore 1.6 / 16, vDIMM 1.75 / 12,
  // vChipset 2.00 / 10, each x 1000 at 80 % and 120 %.
  std::vector<uint8_t> vecVolt = vecVoltBefore;
  vecVolt[1] = 60;
  vecVolt[2] = 1;
  vecVolt[3] = 7;
  const uint8_t abyLimits[6] = {80, 120, 117, 175, 160, 240};
  std::memcpy(&vecVolt[17], abyLimits, sizeof abyLimits);
  EXPECT_EQ(vecVolt, VoltageRecord(4));

  // The page shows what was saved when the profile comes back.
  SwitchTo(5);
  SwitchTo(4);
  EXPECT_EQ(70, m_view.nSliderPos);
  EXPECT_EQ(0, m_view.mapSelection[kIdcClockList1]);
  EXPECT_EQ(7, m_view.mapSelection[kIdcVoltList2]);
}

TEST_F(TrivelPage, FailedSaveIsReportedOnceAndNotRetried) {
  SwitchTo(4);
  MoveSlider(50);
  m_bench.system.pfnFails = [](bool bWrite, int, int nAddress) {
    return bWrite && nAddress == mirel::kAddrClockRecord;
  };
  Page().Apply();
  ASSERT_EQ(1u, m_view.vecBoxes.size());
  EXPECT_EQ("Save Setting failed", m_view.vecBoxes[0].strText);
  EXPECT_EQ("<none>", m_view.vecBoxes[0].strCaption);
  EXPECT_EQ(kBoxOk, m_view.vecBoxes[0].dwStyle);
  EXPECT_FALSE(Page().Changed());
  Page().Apply();
  EXPECT_EQ(1u, m_view.vecBoxes.size());
}

// The host test times out Apply's clock record write and the clock and
// voltage commits by their place among the controller's command records
// (ApplyRecords.h).
TEST_F(TrivelPage, FirstApplyWritesTheRecordsWhereTheHostTestExpectsThem) {
  EXPECT_EQ(kRecordsAtStart, Controller().Requests());
  uint32_t nClockWrite = 0;
  std::vector<uint32_t> vecCommits;
  m_bench.system.pfnBeforeCall = [&](bool bWrite, int, int nAddress) {
    const uint32_t nRecord = Controller().Requests() + 1;
    if (bWrite && nAddress == mirel::kAddrClockRecord && !nClockWrite) nClockWrite = nRecord;
    if (bWrite && nAddress == mirel::kAddrProfileCommit) vecCommits.push_back(nRecord);
  };
  MoveSlider(167);
  Page().Apply();
  m_bench.system.pfnBeforeCall = nullptr;
  EXPECT_EQ(kRecordApplyClockWrite, nClockWrite);
  EXPECT_EQ((std::vector<uint32_t>{kRecordApplyClockCommit, kRecordApplyVoltageCommit}),
            vecCommits);
}

// A controller timeout on one of Apply's four writes, injected into the
// bench's controller (it answers "timeout" and does nothing): the clock
// record (0x036F), its commit (the first write of 0x100C), the voltage
// record (0x0302), its commit (the second write of 0x100C).
struct STimeoutCase {
  const char* pszName;
  int nAddress;
  int nOccurrence;  // the n-th write of that address during Apply
  int nCommits;     // writes of 0x100C by Apply (a committed clock half is committed back)
};

class TrivelPageTimeout : public TrivelPage, public ::testing::WithParamInterface<STimeoutCase> {
 protected:
  std::vector<std::vector<uint8_t>> Profiles() {
    std::vector<std::vector<uint8_t>> vec;
    for (int p = 0; p < kTrivelProfiles; ++p) {
      vec.push_back(ClockRecord(p));
      vec.push_back(VoltageRecord(p));
    }
    return vec;
  }
};

TEST_P(TrivelPageTimeout, ApplyReportsSaveFailedAndTheTimedOutRecordStaysAsItWas) {
  const STimeoutCase& c = GetParam();
  SwitchTo(4);
  const std::vector<std::vector<uint8_t>> vecBefore = Profiles();
  const int nSliderBefore = m_view.nSliderPos;
  MoveSlider(167);                          // 300 MHz, code 112
  m_view.SelectListItem(kIdcVoltList0, 4);  // 1.6000, code 60
  Page().OnVoltageListChanged();
  int nSeen = 0, nCommits = 0;
  m_bench.system.pfnBeforeCall = [&](bool bWrite, int, int nAddress) {
    if (bWrite && nAddress == mirel::kAddrProfileCommit) ++nCommits;
    if (bWrite && nAddress == c.nAddress && ++nSeen == c.nOccurrence)
      Controller().InjectTimeouts(1);
  };
  Page().Apply();
  m_bench.system.pfnBeforeCall = nullptr;
  ASSERT_GE(nSeen, c.nOccurrence) << "the write to time out was not sent";
  EXPECT_EQ(c.nCommits, nCommits);
  ASSERT_EQ(std::vector<std::string>{"Save Setting failed"},
            std::vector<std::string>{m_view.vecBoxes.empty() ? "" : m_view.vecBoxes[0].strText});
  EXPECT_EQ(1u, m_view.vecBoxes.size());

  // Both records of the profile are as they were, also where the clock
  // half was committed before the voltage half timed out. No other
  // profile changed.
  std::vector<std::vector<uint8_t>> vecExpected = vecBefore;
  EXPECT_EQ(vecExpected, Profiles());

  // A later Apply on another profile stores that profile's records, and
  // nothing the failed Apply left behind in the controller reaches it or
  // the failed profile.
  SwitchTo(5, kBoxAnswerNo);
  MoveSlider(267);  // 400 MHz, code 150
  Page().Apply();
  EXPECT_EQ(1, static_cast<int>(std::count_if(m_view.vecBoxes.begin(), m_view.vecBoxes.end(),
                                              [](const CFakePageView::SBox& box) {
                                                return box.strText == "Save Setting failed";
                                              })));
  vecExpected[2 * 5][15] = 150;
  const std::vector<std::vector<uint8_t>> vecAfter = Profiles();
  EXPECT_EQ(vecExpected[2 * 4], vecAfter[2 * 4]);
  EXPECT_EQ(vecExpected[2 * 4 + 1], vecAfter[2 * 4 + 1]);
  EXPECT_EQ(vecExpected[2 * 5], vecAfter[2 * 5]);
  // Profile 5's voltage record is its own: its number and its codes.
  EXPECT_EQ(5, vecAfter[2 * 5 + 1][0]);
  EXPECT_EQ(std::vector<uint8_t>(vecBefore[2 * 5 + 1].begin(), vecBefore[2 * 5 + 1].begin() + 4),
            std::vector<uint8_t>(vecAfter[2 * 5 + 1].begin(), vecAfter[2 * 5 + 1].begin() + 4));
  // The page shows the failed profile as the controller holds it.
  SwitchTo(4, kBoxAnswerNo);
  EXPECT_EQ(nSliderBefore, m_view.nSliderPos);
}

INSTANTIATE_TEST_SUITE_P(
    EachWriteOfApply, TrivelPageTimeout,
    ::testing::Values(STimeoutCase{"ClockRecord", mirel::kAddrClockRecord, 1, 0},
                      STimeoutCase{"ClockCommit", mirel::kAddrProfileCommit, 1, 1},
                      STimeoutCase{"VoltageRecord", mirel::kAddrVoltageRecord, 1, 2},
                      STimeoutCase{"VoltageCommit", mirel::kAddrProfileCommit, 2, 3}),
    [](const ::testing::TestParamInfo<STimeoutCase>& info) { return info.param.pszName; });

// A record whose commit timed out stays written but uncommitted in the
// controller. The next commits (the failed profile's clock record put back,
// then another profile's clock record) must store that clock record only:
// if the voltage record write that follows times out as well, the other
// profile keeps its own voltage record and does not receive the failed
// profile's, and its clock half is put back too.
TEST_F(TrivelPage, RecordLeftByATimedOutCommitReachesNoOtherProfile) {
  SwitchTo(4);
  m_view.SelectListItem(kIdcVoltList0, 4);  // 1.6000, code 60
  Page().OnVoltageListChanged();
  const std::vector<uint8_t> vecVolt4 = VoltageRecord(4), vecVolt5 = VoltageRecord(5);
  const std::vector<uint8_t> vecClock5 = ClockRecord(5);
  int nCommits = 0, nVoltageWrites = 0;
  m_bench.system.pfnBeforeCall = [&](bool bWrite, int, int nAddress) {
    if (!bWrite) return;
    // Profile 4's voltage commit, then profile 5's voltage record write.
    if ((nAddress == mirel::kAddrProfileCommit && ++nCommits == 2) ||
        (nAddress == mirel::kAddrVoltageRecord && ++nVoltageWrites == 2))
      Controller().InjectTimeouts(1);
  };
  Page().Apply();
  SwitchTo(5, kBoxAnswerNo);
  MoveSlider(267);
  Page().Apply();
  m_bench.system.pfnBeforeCall = nullptr;
  ASSERT_EQ(2, nVoltageWrites);
  EXPECT_EQ(2, static_cast<int>(std::count_if(m_view.vecBoxes.begin(), m_view.vecBoxes.end(),
                                              [](const CFakePageView::SBox& box) {
                                                return box.strText == "Save Setting failed";
                                              })));
  EXPECT_EQ(vecVolt4, VoltageRecord(4));
  EXPECT_EQ(vecVolt5, VoltageRecord(5));
  EXPECT_EQ(vecClock5, ClockRecord(5));
}

TEST_F(TrivelPage, HostHearsOfChangesOnTheDefaultTabAndAtApply) {
  const struct {
    int nTab;
    Calls callsAtChange;
    Calls callsAtApply;
  } kCases[] = {
      {0, {{1, 0}}, {{1, 0}, {1, 1}}},
      {4, {{0, 0}}, {{0, 0}}},
      {6, {{0, 0}}, {{0, 0}}},
  };
  for (const auto& c : kCases) {
    Build();
    SwitchTo(c.nTab);
    m_notifier.vecCalls.clear();
    MoveSlider(80);
    EXPECT_EQ(c.callsAtChange, m_notifier.vecCalls) << c.nTab;
    EXPECT_EQ(c.nTab == 0, Page().NotifyPending());
    Page().Apply();
    EXPECT_EQ(c.callsAtApply, m_notifier.vecCalls) << c.nTab;
    EXPECT_FALSE(Page().NotifyPending());
  }
  // Without a registered callback nothing is called, the flags still work.
  Build();
  m_notifier.bRegistered = false;
  m_notifier.vecCalls.clear();
  Page().OnDefaultClicked();
  Page().Apply();
  EXPECT_TRUE(m_notifier.vecCalls.empty());
  EXPECT_FALSE(Page().Changed());
}

TEST_F(TrivelPage, DefaultButtonSelectsTheDefaultIndexes) {
  SwitchTo(4);
  m_notifier.vecCalls.clear();
  Page().OnDefaultClicked();
  EXPECT_EQ(71, m_view.nSliderPos);
  EXPECT_EQ("204", m_view.mapTexts[kIdcClockValue]);
  EXPECT_EQ(1, m_view.mapSelection[kIdcClockList1]);
  EXPECT_EQ(0, m_view.mapSelection[kIdcClockList2]);
  EXPECT_EQ(0, m_view.mapSelection[kIdcVoltList0]);
  EXPECT_EQ(1, m_view.mapSelection[kIdcVoltList1]);
  EXPECT_EQ(0, m_view.mapSelection[kIdcVoltList2]);
  EXPECT_TRUE(Page().ClockChanged());
  EXPECT_TRUE(Page().VoltageChanged());
  EXPECT_TRUE(Page().Changed());
  EXPECT_EQ((Calls{{0, 0}}), m_notifier.vecCalls);
}

TEST_F(TrivelPage, ReadOnlyProfilesDisableEditing) {
  for (int nTab : {1, 2, 3, 0, 4, 5, 6, 2}) {
    SwitchTo(nTab);
    EXPECT_EQ(nTab < 1 || nTab > 3, m_view.bEditing) << nTab;
  }
  // A scroll that is not a position change still counts as a change.
  Page().OnHorizontalScroll(kScrollEnd, true);
  EXPECT_TRUE(Page().ClockChanged());
  // A focus outside the tabs keeps the profile.
  m_view.nFocusedTab = -1;
  Page().OnTabChanged();
  EXPECT_EQ(2, Page().CurrentProfile());
  EXPECT_FALSE(m_view.bEditing);
}

TEST_F(TrivelPage, WithoutAViewTheHandlersTouchNothing) {
  Page().Detach();
  const uint32_t nRequests = Controller().Requests();
  Page().OnHorizontalScroll(kScrollThumbTrack, true);
  Page().OnTabChanged();
  Page().OnDefaultClicked();
  Page().Apply();
  EXPECT_EQ(nRequests, Controller().Requests());
  EXPECT_TRUE(m_view.vecBoxes.empty());
}

}  // namespace
