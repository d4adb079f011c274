// The plug-in object's logic, apart from its binary interfaces and its
// window (TrivelPlugin_win.cpp builds those around it): construction in the
// order the host expects (clock items, voltage items, counter reader, then
// the fourteen profile records), the reference count, interface lookup by
// name, the page presenter and the information document.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "trivelole/InfoDocument.h"
#include "trivelole/ItemSets.h"
#include "trivelole/PagePresenter.h"
#include "trivelole/PluginPorts.h"

constexpr char kTrivelPluginName[] = "ULVOTRIVEL_PLUGIN";
constexpr char kTrivelChangedEvent[] = "DLG_CHANGED";

// The three interfaces; "IULVOPlugin" answers with the IULVOExtend one.
enum class ETrivelInterface { None, Dialog, Extend, Info };
// Exact, case-sensitive lookup in the order "IULVOExtend", "IULVOInfo",
// "IULVODialog", "IULVOPlugin". A null name finds nothing.
ETrivelInterface FindTrivelInterface(const char* pszName);

class CTrivelPlugin {
 public:
  // Builds the item sets and the counter reader and reads the records.
  // When the controller library cannot be loaded: "Initial KT9020Dll
  // Failed.", the host process is ended with code 1, and (where the system
  // returns from that) the object stays not Ready().
  CTrivelPlugin(IPluginSystem* pSystem, ITrivelNotifier* pNotifier);
  ~CTrivelPlugin();
  CTrivelPlugin(const CTrivelPlugin&) = delete;
  CTrivelPlugin& operator=(const CTrivelPlugin&) = delete;

  bool Ready() const { return m_bReady; }

  // Plain counts, as the host calls on one thread. Release returns the new
  // count; the caller destroys the object at 0.
  int32_t AddRef() { return ++m_nRefs; }
  int32_t Release() { return --m_nRefs; }
  int32_t Refs() const { return m_nRefs; }

  // The document for profile nProfile, at most nBufferSize bytes with its
  // NUL; a document that would not fit (or not build) gives the empty text.
  void GetInfo(char* pszBuffer, size_t nBufferSize, int nProfile);

  CTrivelPagePresenter& Page() { return *m_pPage; }
  CClockItemSet& Clock() { return *m_pClock; }
  CVoltageItemSet& Voltage() { return *m_pVoltage; }

 private:
  IPluginSystem* m_pSystem;
  std::unique_ptr<CClockItemSet> m_pClock;
  std::unique_ptr<CVoltageItemSet> m_pVoltage;
  std::unique_ptr<CPowerCounterReader> m_pCounters;
  std::unique_ptr<CTrivelPagePresenter> m_pPage;
  int32_t m_nRefs = 0;
  bool m_bReady = false;
};
