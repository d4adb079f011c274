#include "platform/win/SetupApiPort_win.h"

#include <windows.h>
#include <setupapi.h>

#include "platform/win/Platform_win.h"

namespace {

class CWinDeviceInfoList : public IDeviceInfoList {
 public:
  explicit CWinDeviceInfoList(HDEVINFO hList) : m_hList(hList) {}
  ~CWinDeviceInfoList() override { SetupDiDestroyDeviceInfoList(m_hList); }
  CWinDeviceInfoList(const CWinDeviceInfoList&) = delete;
  CWinDeviceInfoList& operator=(const CWinDeviceInfoList&) = delete;

  bool SelectDevice(uint32_t nIndex) override {
    ZeroMemory(&m_device, sizeof(m_device));
    m_device.cbSize = sizeof(m_device);
    m_bSelected = SetupDiEnumDeviceInfo(m_hList, nIndex, &m_device) != FALSE;
    return m_bSelected;
  }
  bool GetHardwareId(uint8_t* pBuffer, uint32_t nSize, uint32_t* pnRequired,
                     uint32_t* pdwError) override {
    if (!m_bSelected) {
      *pdwError = ERROR_NO_MORE_ITEMS;
      return false;
    }
    DWORD dwType = 0, dwRequired = 0;
    if (SetupDiGetDeviceRegistryPropertyA(m_hList, &m_device, SPDRP_HARDWAREID, &dwType, pBuffer,
                                          nSize, &dwRequired))
      return true;
    *pdwError = GetLastError();
    *pnRequired = dwRequired;
    return false;
  }

 private:
  HDEVINFO m_hList;
  SP_DEVINFO_DATA m_device{};
  bool m_bSelected = false;
};

class CWinDeviceEnumPort : public IDeviceEnumPort {
 public:
  std::unique_ptr<IDeviceInfoList> GetPresentDevices() override {
    HDEVINFO hList =
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (hList == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<CWinDeviceInfoList>(hList);
  }
  std::unique_ptr<IRegistryKey> OpenDynData(const std::string& strPath) override {
    return OpenWin32RegistryKey(HKEY_DYN_DATA, strPath, kRegRead);
  }
};

}  // namespace

IDeviceEnumPort& GetWin32DeviceEnumPort() {
  static CWinDeviceEnumPort s_port;
  return s_port;
}
