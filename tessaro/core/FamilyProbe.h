// How start-up finds the BIOS family: the program-wide hardware objects of
// both families behind one interface, so that the application object needs
// neither engine.
#pragma once

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
