// Device enumeration: the SetupAPI device list of the NT family and the
// Configuration Manager's dynamic registry branch of the 9x family. The
// board identity reads the PCI disk controller's subsystem id through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Ports.h"

// Errors of the hardware-id query that the caller tells apart.
constexpr uint32_t kErrorInvalidData = 13;          // ERROR_INVALID_DATA: no such property
constexpr uint32_t kErrorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER

// The present devices of all classes; destroying it destroys the list.
class IDeviceInfoList {
 public:
  virtual ~IDeviceInfoList() = default;
  // SetupDiEnumDeviceInfo: selects device nIndex; false past the last one.
  virtual bool SelectDevice(uint32_t nIndex) = 0;
  // SetupDiGetDeviceRegistryPropertyA(SPDRP_HARDWAREID) of the selected
  // device into pBuffer (nSize bytes, a multi-string). On failure returns
  // false with the Win32 error in *pdwError and, for a buffer too small,
  // the size needed in *pnRequired.
  virtual bool GetHardwareId(uint8_t* pBuffer, uint32_t nSize, uint32_t* pnRequired,
                             uint32_t* pdwError) = 0;
};

class IDeviceEnumPort {
 public:
  virtual ~IDeviceEnumPort() = default;
  // SetupDiGetClassDevsA(no class, no enumerator, DIGCF_PRESENT |
  // DIGCF_ALLCLASSES); null when the call returns an invalid handle.
  virtual std::unique_ptr<IDeviceInfoList> GetPresentDevices() = 0;
  // A key below HKEY_DYN_DATA (the 9x Configuration Manager's live
  // branch), opened for reading; null when it does not exist.
  virtual std::unique_ptr<IRegistryKey> OpenDynData(const std::string& strPath) = 0;
};
