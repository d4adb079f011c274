// The overclocking page's state and workflows: the seven profiles as tabs
// (0 "Default", 1 "Turbo", 2 "Normal", 3 "Quiet", 4-6 "User1"-"User3";
// 1-3 read-only), clock item 0 as a slider, clock items 1-2 and voltage
// items 0-2 as drop-down lists, the change flags, the question before a
// profile switch drops changes, Apply and the host's notification. The
// dialog procedure forwards its messages here; native tests drive it with
// a fake view.
#pragma once

#include <string>

#include "trivelole/ItemSets.h"

// Control ids of the page (dialog template 4000).
enum ETrivelControl : int {
  kIdcSlider = 4001,      // clock item 0 value index
  kIdcClockList1 = 4002,  // clock items 1, 2
  kIdcClockList2 = 4003,
  kIdcVoltList0 = 4004,  // voltage items 0-2; 4007-4009 stay empty
  kIdcVoltList1 = 4005,
  kIdcVoltList2 = 4006,
  kIdcVoltList5 = 4009,
  kIdcClockValue = 4010,   // clock item 0 value text
  kIdcDefault = 4011,      // "Default" button
  kIdcClockLabel0 = 4012,  // labels of clock items 0-2
  kIdcVoltLabel0 = 4015,   // labels of voltage items 0-2
  kIdcTabs = 4022,
};
constexpr int kTrivelPageTemplate = 4000;

// The page's controls as the presenter sees them.
class ITrivelPageView {
 public:
  virtual ~ITrivelPageView() = default;
  virtual void SetText(int nId, const std::string& strText) = 0;
  virtual void SetSliderRange(int nMax) = 0;  // 0..nMax, without redraw
  // Sets the position (with redraw); the slider keeps it within its range.
  virtual void SetSliderPos(int nPos) = 0;
  virtual int GetSliderPos() = 0;
  virtual void AddListItem(int nId, const std::string& strText) = 0;
  virtual void SelectListItem(int nId, int nIndex) = 0;
  virtual int GetListSelection(int nId) = 0;  // -1 when none
  virtual void AddTab(int nIndex, const std::string& strText) = 0;
  // The tab that has the focus in the tab control (-1 when none).
  virtual int FocusedTab() = 0;
  // Enables or disables the slider, lists 4002-4009 and the button 4011.
  virtual void EnableEditing(bool bEnable) = 0;
  // A message box owned by the page; returns the answer (kBoxAnswer*).
  virtual int MessageBox(const std::string& strText, const char* pszCaption, uint32_t dwStyle) = 0;
};

// The host's callback as the presenter calls it: plug-in name,
// "DLG_CHANGED", 0, then the two flags.
class ITrivelNotifier {
 public:
  virtual ~ITrivelNotifier() = default;
  virtual bool HasCallback() const = 0;
  virtual void Notify(int nFlag1, int nFlag2) = 0;
};

class CTrivelPagePresenter {
 public:
  CTrivelPagePresenter(CClockItemSet* pClock, CVoltageItemSet* pVoltage,
                       ITrivelNotifier* pNotifier);

  // The page exists: fills it and shows profile 0. Before this (and after
  // Detach) the handlers below do nothing to a view.
  void Attach(ITrivelPageView* pView);
  void Detach();

  // Handlers.
  void OnHorizontalScroll(int nCode, bool bFromSlider);
  void OnClockListChanged();    // 4002, 4003
  void OnVoltageListChanged();  // 4004-4009
  void OnDefaultClicked();      // 4011
  void OnTabChanged();          // returns the notification result 0

  // The host's buttons (IULVODialog).
  void Apply();
  void OnCancel();

  // Operations.
  void LoadProfile(int nProfile);
  bool SaveProfile(int nProfile);
  void LoadDefaults();
  void MarkChanged();

  int CurrentProfile() const { return m_nCurrent; }
  int PreviousProfile() const { return m_nPrevious; }
  bool Changed() const { return m_bChanged; }
  bool ClockChanged() const { return m_bClockChanged; }
  bool VoltageChanged() const { return m_bVoltageChanged; }
  bool NotifyPending() const { return m_bNotifyPending; }
  bool Cancelled() const { return m_bCancel; }

 private:
  CClockItemSet* m_pClock;
  CVoltageItemSet* m_pVoltage;
  ITrivelNotifier* m_pNotifier;
  ITrivelPageView* m_pView = nullptr;
  int m_nCurrent = 0;
  int m_nPrevious = 0;
  bool m_bChanged = false;
  bool m_bClockChanged = false;
  bool m_bVoltageChanged = false;
  bool m_bNotifyPending = false;
  bool m_bCancel = false;
};
