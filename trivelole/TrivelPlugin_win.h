// The plug-in object as hosts see it: three interface table pointers
// (TrivelOLE.h) in front of the portable object (CTrivelPlugin) and the
// page's window. The tables are plain static tables of functions in the
// member-function convention, so their layout is what the public header
// says on every compiler; each entry finds its object from the interface
// pointer it was called through.
#pragma once

#include <windows.h>

#include <memory>

#include "trivelole/PluginPorts.h"
#include "trivelole/TrivelOLE.h"
#include "trivelole/TrivelPlugin.h"

class CTrivelPageWindow;

// The host's callback, one slot per loaded library: every new object
// clears it, SetCallback of any object sets it.
extern TRIVEL_PFN_NOTIFY g_pfnNotify;
// The library's own module: the page's template comes from here.
extern HINSTANCE g_hTrivelModule;

class CTrivelPluginObject;

// The three interface pointers, each pointing to its table, and the way
// back to their object. Standard layout, so an entry reached through one
// of them subtracts that member's offset to find the others.
struct STrivelInterfaces {
  SIULVODialog dialog;
  SIULVOExtend extend;
  SIULVOInfo info;
  CTrivelPluginObject* pObject;
};

class CTrivelPluginObject {
 public:
  // Builds the portable object over the system port (which shows the
  // library's failure boxes and ends the process when the controller
  // library is missing); Ready() tells whether it may be handed out.
  explicit CTrivelPluginObject(std::unique_ptr<IPluginSystem> pSystem);
  ~CTrivelPluginObject();
  CTrivelPluginObject(const CTrivelPluginObject&) = delete;
  CTrivelPluginObject& operator=(const CTrivelPluginObject&) = delete;

  bool Ready() const { return m_plugin.Ready(); }

  // Slots 0-3 of every table.
  int32_t QueryInterface(const char* pszName, void** ppOut);
  int32_t AddRef() { return m_plugin.AddRef(); }
  int32_t Release();
  int32_t GetName(char* pszBuffer);
  // IULVODialog.
  HWND Create(HWND hParent);
  void OnOK();
  void OnCancel();
  void Apply();
  // IULVOInfo.
  int32_t GetInfo(char* pszBuffer, int32_t nProfile);

  static CTrivelPluginObject* FromInterface(SIULVODialog* p);
  static CTrivelPluginObject* FromInterface(SIULVOExtend* p);
  static CTrivelPluginObject* FromInterface(SIULVOInfo* p);

 private:
  // The host's callback as the page presenter calls it.
  class CNotifier : public ITrivelNotifier {
   public:
    bool HasCallback() const override { return g_pfnNotify != nullptr; }
    void Notify(int nFlag1, int nFlag2) override;
  };

  STrivelInterfaces m_interfaces;
  std::unique_ptr<IPluginSystem> m_pSystem;
  CNotifier m_notifier;
  CTrivelPlugin m_plugin;
  std::unique_ptr<CTrivelPageWindow> m_pPage;
};
