// The application object: brings the program-wide objects up in their
// order, detects the BIOS family before any window exists, loads the
// satellite texts, reads the one command-line switch and decides between
// an error message and the main window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Ports.h"
#include "tessaro/app/MessageHelper.h"
#include "tessaro/app/Resources.h"

// The program-wide hardware objects of both families as start-up sees
// them. They are constructed before the application object and destroyed
// after it.
class IFamilyProbe {
 public:
  virtual ~IFamilyProbe() = default;
  // AMI: the signature text in the BIOS segment.
  virtual bool DetectAmiBios() = 0;
  // AMI set-up after detection: BIOS identity, I/O driver, mappings,
  // memory device, the 4096-byte shared buffer and its physical address.
  virtual void OpenAmiAccess() = 0;
  // The identity word was read and recognised (it is not 0xFFFF).
  virtual bool IsAmiIdentityKnown() const = 0;
  // The shared buffer has a physical address (the driver works).
  virtual bool IsAmiDriverReady() const = 0;
  // Releases what OpenAmiAccess set up, at exit.
  virtual void CloseAmiAccess() = 0;
  // Award: opens the flash driver and reads the BIOS segment.
  virtual bool OpenAward() = 0;
  virtual bool IsAwardBios() const = 0;
  // The BIOS allows flashing from Windows.
  virtual bool AwardAllowsWindowsFlash() const = 0;
};

// Outcome of the family dispatch: a message to show first (0 for none)
// and whether the main window opens.
struct SDispatch {
  uint32_t nMessage;
  bool bOpenMainWindow;
};

struct SFamilyState {
  bool bAmi = false;
  bool bAmiIdentityKnown = false;
  bool bAmiDriverReady = false;
  bool bAward = false;
  bool bAwardWindowsFlash = false;
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
  const SFamilyState& Family() const { return m_family; }

 private:
  SPlatform& m_platform;
  IFamilyProbe& m_probe;
  CResources& m_resources;
  CMessageHelper m_Msg;
  SFamilyState m_family;
};

// Stands in until the engines are wired: neither family is found.
class CNoBoardProbe : public IFamilyProbe {
 public:
  bool DetectAmiBios() override { return false; }
  void OpenAmiAccess() override {}
  bool IsAmiIdentityKnown() const override { return false; }
  bool IsAmiDriverReady() const override { return false; }
  void CloseAmiAccess() override {}
  bool OpenAward() override { return false; }
  bool IsAwardBios() const override { return false; }
  bool AwardAllowsWindowsFlash() const override { return false; }
};
