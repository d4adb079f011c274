// The application object: brings the program-wide objects up in their
// order, detects the BIOS family before any window exists, loads the
// satellite texts, reads the one command-line switch and decides between
// an error message and the main window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Ports.h"
#include "tessaro/core/BiosFamily.h"
#include "tessaro/core/FamilyProbe.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"

// Outcome of the family dispatch: a message to show first (0 for none)
// and whether the main window opens.
struct SDispatch {
  uint32_t nMessage;
  bool bOpenMainWindow;
};

SDispatch DecideDispatch(const SFamilyState& state, bool bTran);

class CTessaroApp {
 public:
  // Runs during start-up before anything is shown: option defaults,
  // affinity to the first processor, family detection. Shows nothing.
  // resources is the program's text source; the engines hold it too, so
  // it is a program-wide object of its own that outlives this one.
  CTessaroApp(SPlatform& platform, CResources& resources, IFamilyProbe& probe);
  // Releases the AMI access at exit.
  ~CTessaroApp();
  CTessaroApp(const CTessaroApp&) = delete;
  CTessaroApp& operator=(const CTessaroApp&) = delete;

  // Satellite texts, the start notice, the switch and the dispatch. The
  // runner shows the main window modally. Returns the process exit code.
  int InitInstance(const std::string& strCommandLine, const std::function<int()>& runMainWindow);

  const CResources& Resources() const { return m_resources; }
  CMessageHelper& Messages() { return m_Msg; }
  const SFamilyState& Family() const { return g_Family; }

 private:
  SPlatform& m_platform;
  IFamilyProbe& m_probe;
  CResources& m_resources;
  CMessageHelper m_Msg;
};
