// The ports the AMI engine runs on in native tests and the benchmark:
// recording fakes around the bench's in-process devices, the program's
// string table, and the platform and AMI port sets built from them.
#pragma once

#include "platform/fake/FakeServicePort.h"
#include "platform/fake/Fakes.h"
#include "sim/SimDevicePort.h"
#include "tessaro/ami/AmiHwAccess.h"
#include "tests/support/BuiltinStrings.h"

struct SAmiRig {
  SAmiRig() {
    UseBuiltinStrings(&m_modules);
    m_platform.pFiles = &m_files;
    m_platform.pServices = &m_services;
    m_platform.pDevices = &m_devices;
    m_platform.pSystem = &m_system;
    m_platform.pPower = &m_power;
    m_platform.pModules = &m_modules;
    m_platform.pUi = &m_ui;
    m_platform.pFileDialogs = &m_ui;
  }
  SAmiRig(const SAmiRig&) = delete;
  SAmiRig& operator=(const SAmiRig&) = delete;

  SAmiHwPorts Ports() {
    SAmiHwPorts ports;
    ports.pServices = &m_services;
    ports.pDevices = &m_devices;
    ports.pSystem = &m_system;
    ports.pFiles = &m_files;
    ports.pUi = &m_ui;
    return ports;
  }

  CSimDevicePort m_devices;
  CFakeFileSystem m_files;
  CFakeServicePort m_services;
  CFakeSystem m_system;
  CFakePowerPort m_power;
  CFakeModulePort m_modules;
  CFakeUi m_ui;
  CResources m_resources{m_modules};
  SPlatform m_platform;
};
