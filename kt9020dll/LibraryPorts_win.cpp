#include "kt9020dll/LibraryPorts_win.h"

#include <windows.h>

#include "kt9020dll/TokenPort_win.h"
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

SKt9020Ports GetWin32LibraryPorts() {
  static CWinExclusiveDevicePort s_devices;
  return MakeWin32LibraryPorts(&s_devices, &GetWin32TokenPort());
}
