#include "kt9020dll/LibraryPorts_win.h"
#include "kt9020dll/MutexPort_win.h"
#include "platform/win/Platform_win.h"

namespace {

// The driver's device is opened for reading and writing without sharing.
class CWinExclusiveDevicePort : public IDevicePort {
 public:
  std::unique_ptr<IDevice> Open(const std::string& strName) override {
    return OpenWin32Device(strName, 0, &m_dwLastError);
  }
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  uint32_t m_dwLastError = 0;
};

}  // namespace

IDevicePort& GetWin32DriverDevicePort() {
  static CWinExclusiveDevicePort s_devices;
  return s_devices;
}

SKt9020Ports MakeWin32LibraryPorts(IDevicePort* pDevices, ITokenPort* pToken) {
  SPlatform& platform = GetWin32Platform();
  SKt9020Ports ports;
  ports.pServices = platform.pServices;
  ports.pDevices = pDevices;
  ports.pSystem = platform.pSystem;
  ports.pUi = platform.pUi;
  ports.pMutexes = &GetWin32MutexPort();
  ports.pToken = pToken;
  return ports;
}
