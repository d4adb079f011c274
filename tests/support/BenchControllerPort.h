// The controller port in process, for native tests of the plug-in: the
// controller library's own logic (CKt9020Library, the code behind GetAIP
// and SetAIP) over the bench's simulated controller, as a caller without
// administrator rights sees it once the driver runs. Results are the
// library's, byte for byte.
//
//   CSimMirelController controller;  controller.Create(cfg, host);
//   CBenchControllerPort port(&controller);
//   port.SetAip(0x21, 0x100B, 0, &byProfile);
#pragma once

#include <memory>
#include <mutex>

#include "kt9020dll/Kt9020Library.h"
#include "sim/SimDevicePort.h"
#include "trivelole/ControllerPort.h"

class CSimMirelController;

class CBenchControllerPort : public IControllerPort {
 public:
  // The controller must outlive the port.
  explicit CBenchControllerPort(CSimMirelController* pController);
  ~CBenchControllerPort() override;

  int GetAip(int nCommand, int nAddress, int nCount, void* pDst) override;
  int SetAip(int nCommand, int nAddress, int nCount, const void* pData) override;

  // The library's text of the last failure.
  std::string LastErrorText() const { return m_pLibrary->LastErrorText(); }

 private:
  // The named mutex of one process: serialises this process's threads.
  class CProcessMutexPort : public IMutexPort {
   public:
    std::unique_ptr<ISecurityDescriptor> BuildEveryoneDescriptor(uint32_t, ESecurityStep*,
                                                                 uint32_t*) override;
    std::unique_ptr<IMutex> Create(const std::string& strName, const ISecurityDescriptor*) override;
    std::unique_ptr<IMutex> Open(const std::string& strName, uint32_t) override;
    uint32_t LastError() const override { return 0; }

   private:
    std::recursive_mutex m_mutex;
  };
  class CPlainUserToken : public ITokenPort {
   public:
    bool IsAdministrator() override { return false; }
  };

  CSimDevicePort m_devices;
  CProcessMutexPort m_mutexes;
  CPlainUserToken m_token;
  SKt9020Shared m_shared{};
  std::unique_ptr<CKt9020Library> m_pLibrary;
};
