// A scripted device list and 9x dynamic registry branch for native tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/SetupApiPort.h"
#include "platform/fake/Fakes.h"

class CFakeDeviceEnumPort : public IDeviceEnumPort {
 public:
  struct SDevice {
    std::vector<uint8_t> vecHardwareId;  // the multi-string as the property holds it
    uint32_t dwError = 0;                // non-zero: every query fails with it
  };
  std::vector<SDevice> m_vecDevices;
  bool m_bListFails = false;
  int m_nListsOpen = 0;                    // lists not yet destroyed
  std::vector<uint32_t> m_vecBufferSizes;  // every buffer size offered to GetHardwareId
  CFakeRegistry m_dynData;                 // keys of HKEY_DYN_DATA under "HKLM\\"

  static SDevice Device(const std::string& strFirstId) {
    SDevice device;
    device.vecHardwareId.assign(strFirstId.begin(), strFirstId.end());
    device.vecHardwareId.push_back(0);
    device.vecHardwareId.push_back(0);
    return device;
  }

  std::unique_ptr<IDeviceInfoList> GetPresentDevices() override {
    if (m_bListFails) return nullptr;
    return std::make_unique<CList>(*this);
  }
  std::unique_ptr<IRegistryKey> OpenDynData(const std::string& strPath) override {
    return m_dynData.Open(ERegRoot::LocalMachine, strPath, kRegRead);
  }

 private:
  class CList : public IDeviceInfoList {
   public:
    explicit CList(CFakeDeviceEnumPort& port) : m_port(port) { ++m_port.m_nListsOpen; }
    ~CList() override { --m_port.m_nListsOpen; }
    bool SelectDevice(uint32_t nIndex) override {
      m_nSelected = nIndex;
      return nIndex < m_port.m_vecDevices.size();
    }
    bool GetHardwareId(uint8_t* pBuffer, uint32_t nSize, uint32_t* pnRequired,
                       uint32_t* pdwError) override {
      m_port.m_vecBufferSizes.push_back(nSize);
      const SDevice& device = m_port.m_vecDevices.at(m_nSelected);
      *pnRequired = static_cast<uint32_t>(device.vecHardwareId.size());
      if (device.dwError) {
        *pdwError = device.dwError;
        return false;
      }
      if (nSize < device.vecHardwareId.size()) {
        *pdwError = kErrorInsufficientBuffer;
        return false;
      }
      std::memcpy(pBuffer, device.vecHardwareId.data(), device.vecHardwareId.size());
      return true;
    }

   private:
    CFakeDeviceEnumPort& m_port;
    uint32_t m_nSelected = 0;
  };
};
