// An in-process stand-in for the controller driver's device, for test
// builds of the library that run without a kernel driver: command records
// read and write a 64 KiB controller memory, port records echo their size
// with 0xA5 in every value view, MSR reads answer index * 0x100000001.
#pragma once

#include <vector>

#include "platform/Ports.h"

class CLoopbackDevicePort : public IDevicePort {
 public:
  std::unique_ptr<IDevice> Open(const std::string& strName) override;
  uint32_t LastError() const override { return m_dwLastError; }

 private:
  std::vector<uint8_t> m_vecMemory = std::vector<uint8_t>(0x10000, 0);
  uint32_t m_dwLastError = 0;
};
