// The overclocking page's workflows: what each handler does to the item
// sets, the view and the change flags.
#include "trivelole/PagePresenter.h"

#include <cstdlib>
#include <vector>

namespace {

constexpr const char* kTabNames[kTrivelProfiles] = {"Default", "Turbo", "Normal", "Quiet",
                                                    "User1",   "User2", "User3"};
constexpr char kSaveQuestion[] =
    " The settings have been changed.\r\n Do you want to save current settings for this Trivel "
    "item?";
constexpr char kSaveCaption[] = "Trivel";
constexpr char kSaveFailed[] = "Save Setting failed";

// Scroll notification codes 0-5: line up/down, page up/down, thumb
// position, thumb track.
constexpr int kLastPositionCode = 5;

// Profiles 1-3 ("Turbo", "Normal", "Quiet") are read-only in the page.
bool Editable(int nProfile) { return nProfile < 1 || nProfile > 3; }

// The clock item 0 text at the slider's position beside the slider. The
// slider keeps its position within its range; a text outside the list is
// not shown.
void ShowClockValue(const CClockItemSet* pClock, ITrivelPageView* pView) {
  std::string strText;
  if (!pClock->GetValueText(0, pView->GetSliderPos(), &strText)) strText.clear();
  pView->SetText(kIdcClockValue, strText);
}

}  // namespace

CTrivelPagePresenter::CTrivelPagePresenter(CClockItemSet* pClock, CVoltageItemSet* pVoltage,
                                           ITrivelNotifier* pNotifier)
    : m_pClock(pClock), m_pVoltage(pVoltage), m_pNotifier(pNotifier) {}

void CTrivelPagePresenter::Attach(ITrivelPageView* pView) {
  m_pView = pView;
  if (!m_pView) return;
  std::string strText;
  m_pClock->GetItemName(0, &strText);
  m_pView->SetText(kIdcClockLabel0, strText);

  // The slider's range is the span of clock item 0 in MHz (0..467).
  std::string strFirst, strLast;
  const int nCount = m_pClock->GetValueCount(0);
  int nRange = 0;
  if (nCount > 0 && m_pClock->GetValueText(0, 0, &strFirst) &&
      m_pClock->GetValueText(0, nCount - 1, &strLast))
    nRange = std::atoi(strLast.c_str()) - std::atoi(strFirst.c_str());
  m_pView->SetSliderRange(nRange);

  for (int n = 0; n < kTrivelItems; ++n) {
    m_pVoltage->GetItemName(n, &strText);
    m_pView->SetText(kIdcVoltLabel0 + n, strText);
    for (int i = 0; i < m_pVoltage->GetValueCount(n); ++i)
      if (m_pVoltage->GetValueText(n, i, &strText))
        m_pView->AddListItem(kIdcVoltList0 + n, strText);
  }
  for (int n = 1; n < kTrivelItems; ++n)
    for (int i = 0; i < m_pClock->GetValueCount(n); ++i)
      if (m_pClock->GetValueText(n, i, &strText)) m_pView->AddListItem(kIdcSlider + n, strText);
  for (int i = 0; i < kTrivelProfiles; ++i) m_pView->AddTab(i, kTabNames[i]);

  LoadProfile(0);
  m_nCurrent = m_nPrevious = 0;
}

void CTrivelPagePresenter::Detach() { m_pView = nullptr; }

void CTrivelPagePresenter::LoadProfile(int nProfile) {
  if (!m_pView) return;
  m_pView->SetSliderPos(m_pClock->GetIndex(nProfile, 0));
  ShowClockValue(m_pClock, m_pView);
  m_pView->SelectListItem(kIdcClockList1, m_pClock->GetIndex(nProfile, 1));
  m_pView->SelectListItem(kIdcClockList2, m_pClock->GetIndex(nProfile, 2));
  for (int n = 0; n < kTrivelItems; ++n)
    m_pView->SelectListItem(kIdcVoltList0 + n, m_pVoltage->GetIndex(nProfile, n));
}

bool CTrivelPagePresenter::SaveProfile(int nProfile) {
  if (!m_pView || !m_pClock->Record(nProfile) || !m_pVoltage->Record(nProfile)) return false;
  // A save that fails part-way leaves the profile as it was: in memory, and
  // in the controller, where a clock record already committed is committed
  // again as it was, so that no profile keeps a new clock with the old
  // voltages the new clock was set up with.
  const std::vector<uint8_t> vecClock(m_pClock->Record(nProfile),
                                      m_pClock->Record(nProfile) + kClockRecordBytes);
  const std::vector<uint8_t> vecVoltage(m_pVoltage->Record(nProfile),
                                        m_pVoltage->Record(nProfile) + kVoltageRecordBytes);
  if (!m_pClock->SetIndex(nProfile, 0, m_pView->GetSliderPos()) ||
      !m_pClock->SetIndex(nProfile, 1, m_pView->GetListSelection(kIdcClockList1)) ||
      !m_pClock->SetIndex(nProfile, 2, m_pView->GetListSelection(kIdcClockList2)) ||
      !m_pClock->Commit(nProfile)) {
    m_pClock->RestoreRecord(nProfile, vecClock);
    return false;
  }
  m_bClockChanged = false;
  bool bVoltageSaved = true;
  for (int n = 0; n < kTrivelItems && bVoltageSaved; ++n)
    bVoltageSaved = m_pVoltage->SetIndex(nProfile, n, m_pView->GetListSelection(kIdcVoltList0 + n));
  if (!bVoltageSaved || !m_pVoltage->Commit(nProfile)) {
    m_pVoltage->RestoreRecord(nProfile, vecVoltage);
    m_pClock->RestoreRecord(nProfile, vecClock);
    m_pClock->Commit(nProfile);
    return false;
  }
  m_bVoltageChanged = false;
  return true;
}

void CTrivelPagePresenter::LoadDefaults() {
  if (!m_pView) return;
  m_pView->SetSliderPos(m_pClock->GetDefaultIndex(0));
  ShowClockValue(m_pClock, m_pView);
  m_pView->SelectListItem(kIdcClockList1, m_pClock->GetDefaultIndex(1));
  m_pView->SelectListItem(kIdcClockList2, m_pClock->GetDefaultIndex(2));
  for (int n = 0; n < kTrivelItems; ++n)
    m_pView->SelectListItem(kIdcVoltList0 + n, m_pVoltage->GetDefaultIndex(n));
  m_bVoltageChanged = true;
  m_bClockChanged = true;
  MarkChanged();
}

void CTrivelPagePresenter::MarkChanged() {
  m_bChanged = true;
  const bool bDefaultTab = m_pView && m_pView->FocusedTab() == 0;
  if (m_pNotifier && m_pNotifier->HasCallback()) m_pNotifier->Notify(bDefaultTab ? 1 : 0, 0);
  if (bDefaultTab) m_bNotifyPending = true;
}

void CTrivelPagePresenter::OnHorizontalScroll(int nCode, bool bFromSlider) {
  if (!m_pView) return;
  if (nCode >= 0 && nCode <= kLastPositionCode && bFromSlider) ShowClockValue(m_pClock, m_pView);
  MarkChanged();
  m_bClockChanged = true;
}

void CTrivelPagePresenter::OnClockListChanged() {
  if (!m_pView) return;
  MarkChanged();
  m_bClockChanged = true;
}

void CTrivelPagePresenter::OnVoltageListChanged() {
  if (!m_pView) return;
  MarkChanged();
  m_bVoltageChanged = true;
}

void CTrivelPagePresenter::OnDefaultClicked() { LoadDefaults(); }

void CTrivelPagePresenter::OnTabChanged() {
  if (!m_pView) return;
  if ((m_bClockChanged || m_bVoltageChanged) && !m_bCancel) {
    // The answer's save is not reported: the switch goes on either way.
    if (m_pView->MessageBox(kSaveQuestion, kSaveCaption, kBoxYesNo | kBoxIconInformation) ==
        kBoxAnswerYes)
      SaveProfile(m_nPrevious);
  }
  // Changes not saved now are dropped with the profile they were made on
  // (after Cancel too); the changed flag stays for the next Apply.
  m_bClockChanged = false;
  m_bVoltageChanged = false;
  const int nTab = m_pView->FocusedTab();
  if (nTab >= 0 && nTab < kTrivelProfiles) {
    m_nCurrent = nTab;
    LoadProfile(nTab);
    m_nPrevious = m_nCurrent;
  }
  m_pView->EnableEditing(Editable(m_nCurrent));
}

void CTrivelPagePresenter::Apply() {
  if (m_bChanged) {
    if (!SaveProfile(m_nCurrent) && m_pView) m_pView->MessageBox(kSaveFailed, nullptr, kBoxOk);
    // Not retried by a second Apply.
    m_bChanged = false;
  }
  if (m_bNotifyPending) {
    if (m_pNotifier && m_pNotifier->HasCallback()) m_pNotifier->Notify(1, 1);
    m_bNotifyPending = false;
  }
  m_bCancel = false;
}

void CTrivelPagePresenter::OnCancel() { m_bCancel = true; }
