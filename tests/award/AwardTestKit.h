// Small stand-ins for the engine's unit tests: a recording flash device
// (requests logged, flash as a plain byte array), a recording service
// manager, display recorders and a few segment writers. Whole-board
// behaviour (faults, geometry, images) is the bench's; these only give the
// engine something to talk to.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/DisplaySink.h"
#include "platform/WinTypes.h"
#include "platform/fake/Fakes.h"
#include "tessaro/core/Resources.h"
#include "tessaro/core/StringTable.h"
#include "tessaro/core/Switches.h"
#include "tessaro/award/AwardBios.h"
#include "protocol/WinFlashIoctl.h"

struct SRequest {
  uint32_t dwCode;
  std::vector<uint8_t> input;
  uint32_t nOut;
};

class CRecordingDevice : public IDevice {
 public:
  explicit CRecordingDevice(uint32_t nRomBytes)
      : m_flash(nRomBytes, 0xFF), m_segment(winflash::kSegmentSize, 0) {}

  std::vector<SRequest> m_vecLog;
  std::vector<uint8_t> m_flash;  // ends at 0xFFFFFFFF
  std::vector<uint8_t> m_segment;
  std::map<uint8_t, uint8_t> m_mapCmos;
  uint32_t m_dwEraseStatus = 0;
  bool m_bEraseWorks = true;
  bool m_bProgramWorks = true;

  uint32_t Base() const { return static_cast<uint32_t>(0x100000000ull - m_flash.size()); }
  uint8_t* At(uint32_t dwAddress) { return &m_flash[dwAddress - Base()]; }
  bool Inside(uint32_t dwAddress, uint32_t n) const {
    return dwAddress >= Base() && uint64_t(dwAddress) + n <= 0x100000000ull;
  }
  size_t Count(uint32_t dwCode) const {
    size_t n = 0;
    for (const SRequest& r : m_vecLog) n += r.dwCode == dwCode;
    return n;
  }

  bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut, uint32_t nOut,
                 uint32_t* pnReturned) override {
    const uint8_t* pi = static_cast<const uint8_t*>(pIn);
    m_vecLog.push_back({dwCode, std::vector<uint8_t>(pi, pi + nIn), nOut});
    uint8_t* po = static_cast<uint8_t*>(pOut);
    *pnReturned = 0;
    switch (dwCode) {
      case winflash::kReadPhysical:
        std::memcpy(po, m_segment.data(), std::min<size_t>(nOut, m_segment.size()));
        break;
      case winflash::kSetAddress:
        m_dwAddress = winflash::LoadU32(pi);
        break;
      case winflash::kReadNext:
        for (uint32_t i = 0; i < 16; ++i)
          po[i] = Inside(m_dwAddress + i, 1) ? *At(m_dwAddress + i) : 0xFF;
        m_dwAddress += 16;
        break;
      case winflash::kProgramNext:
        for (uint32_t i = 0; i < 16 && m_bProgramWorks; ++i)
          if (Inside(m_dwAddress + i, 1)) *At(m_dwAddress + i) &= pi[i];
        m_dwAddress += 16;
        break;
      case winflash::kEraseBlock: {
        const uint32_t a = winflash::LoadU32(pi), n = winflash::LoadU32(pi + 4);
        if (m_bEraseWorks && Inside(a, n)) std::memset(At(a), 0xFF, n);
        std::memcpy(po, &m_dwEraseStatus, 4);
        break;
      }
      case winflash::kWritePort: {
        const uint16_t wPort = static_cast<uint16_t>(pi[0] | pi[1] << 8);
        if (wPort == 0x70) m_byCmosIndex = pi[2];
        if (wPort == 0x71) m_mapCmos[m_byCmosIndex] = pi[2];
        break;
      }
      default:
        break;
    }
    return true;
  }
  uint32_t LastError() const override { return 0; }

 private:
  uint32_t m_dwAddress = 0;
  uint8_t m_byCmosIndex = 0;
};

// Hands out the one device under its Win32 name.
class CDeviceProxy : public IDevice {
 public:
  explicit CDeviceProxy(IDevice& device) : m_device(device) {}
  bool IoControl(uint32_t c, const void* i, uint32_t ni, void* o, uint32_t no,
                 uint32_t* pr) override {
    return m_device.IoControl(c, i, ni, o, no, pr);
  }
  uint32_t LastError() const override { return 0; }

 private:
  IDevice& m_device;
};

class CFakeDevicePort : public IDevicePort {
 public:
  IDevice* m_pDevice = nullptr;
  std::vector<std::string> m_vecOpened;
  std::unique_ptr<IDevice> Open(const std::string& strName) override {
    m_vecOpened.push_back(strName);
    if (!m_pDevice || strName != "\\\\.\\WinFlash") return nullptr;
    return std::unique_ptr<IDevice>(new CDeviceProxy(*m_pDevice));
  }
  uint32_t LastError() const override { return 0; }
};

// Records what the service code asks of the service control manager.
class CFakeServicePort : public IServicePort {
 public:
  std::vector<std::string> m_vecCalls;  // "create <path>", "start WINFLASH", ...
  std::vector<SServiceConfig> m_vecCreated;

  std::unique_ptr<IServiceManager> OpenManager(uint32_t dwAccess) override;
  uint32_t LastError() const override { return 0; }
};

class CRecordedService : public IService {
 public:
  CRecordedService(CFakeServicePort& port, std::string strName)
      : m_port(port), m_strName(std::move(strName)) {}
  bool Start() override {
    m_port.m_vecCalls.push_back("start " + m_strName);
    return true;
  }
  bool Control(uint32_t dwControl, SServiceStatus*) override {
    m_port.m_vecCalls.push_back("control " + std::to_string(dwControl));
    return true;
  }
  bool QueryStatus(SServiceStatus* pStatus) override {
    pStatus->dwCurrentState = kServiceStopped;
    return true;
  }
  bool Delete() override {
    m_port.m_vecCalls.push_back("delete " + m_strName);
    return true;
  }
  uint32_t LastError() const override { return 0; }

 private:
  CFakeServicePort& m_port;
  std::string m_strName;
};

class CRecordedManager : public IServiceManager {
 public:
  explicit CRecordedManager(CFakeServicePort& port) : m_port(port) {}
  std::unique_ptr<IService> Open(const std::string& strName, uint32_t) override {
    return std::unique_ptr<IService>(new CRecordedService(m_port, strName));
  }
  std::unique_ptr<IService> Create(const SServiceConfig& config) override {
    m_port.m_vecCalls.push_back("create " + config.strBinaryPath);
    m_port.m_vecCreated.push_back(config);
    return std::unique_ptr<IService>(new CRecordedService(m_port, config.strName));
  }
  uint32_t LastError() const override { return 0; }

 private:
  CFakeServicePort& m_port;
};

inline std::unique_ptr<IServiceManager> CFakeServicePort::OpenManager(uint32_t) {
  return std::unique_ptr<IServiceManager>(new CRecordedManager(*this));
}

// A disk whose files report a size of m_qwSize, give m_nReadable bytes of
// m_byFill and then nothing, and take m_nRoom bytes of writes before
// refusing them.
class CStubDisk : public CFakeFileSystem {
 public:
  uint64_t m_qwSize = 0;
  uint32_t m_nReadable = 0;
  uint32_t m_nRoom = 0;
  uint8_t m_byFill = 0;
  std::unique_ptr<IFile> Open(const std::string&, EFileMode) override {
    return std::unique_ptr<IFile>(new CStubFile(*this));
  }

 private:
  struct CStubFile : IFile {
    explicit CStubFile(CStubDisk& disk) : m_disk(disk) {}
    bool Read(void* p, uint32_t n, uint32_t* pnRead) override {
      *pnRead = std::min(n, m_disk.m_nReadable);
      std::memset(p, m_disk.m_byFill, *pnRead);
      m_disk.m_nReadable -= *pnRead;
      return true;
    }
    bool Write(const void*, uint32_t n) override {
      if (n > m_disk.m_nRoom) return false;
      m_disk.m_nRoom -= n;
      return true;
    }
    bool Seek(uint64_t) override { return true; }
    bool GetSize(uint64_t* p) override {
      *p = m_disk.m_qwSize;
      return true;
    }
    CStubDisk& m_disk;
  };
};

class CRecordingProgress : public IProgressSink {
 public:
  std::vector<std::pair<int, int>> m_vecRanges;
  std::vector<int> m_vecPositions;
  void SetRange(int nLower, int nUpper) override { m_vecRanges.push_back({nLower, nUpper}); }
  void SetPos(int nPos) override { m_vecPositions.push_back(nPos); }
};

class CRecordingText : public ITextSink {
 public:
  std::vector<std::string> m_vecTexts;
  void SetText(const std::string& strText) override { m_vecTexts.push_back(strText); }
};

// Ports, texts and a device wired together; the program's own string table
// serves the messages.
struct SAwardRig {
  explicit SAwardRig(uint32_t nRomBytes = 0x80000) : device(nRomBytes) {
    ResetGlobals();
    size_t nCount = 0;
    const SStringEntry* pEntries = GetBuiltinStrings(&nCount);
    for (size_t i = 0; i < nCount; ++i)
      modules.m_mapStrings[CFakeModulePort::kSelf][pEntries[i].nId] = pEntries[i].pszText;
    platform.pFiles = &files;
    platform.pServices = &services;
    platform.pDevices = &devices;
    platform.pSystem = &system;
    platform.pPower = &power;
    platform.pModules = &modules;
    platform.pUi = &ui;
    platform.pFileDialogs = &ui;
    devices.m_pDevice = &device;
    files.m_mapFiles["C:\\work\\WinFlash.sys"] = {'M', 'Z'};
  }
  CRecordingDevice device;
  CFakeFileSystem files;
  CFakeServicePort services;
  CFakeDevicePort devices;
  CFakeSystem system;
  CFakePowerPort power;
  CFakeModulePort modules;
  CFakeUi ui;
  SPlatform platform;
  CResources resources{modules};

  ~SAwardRig() { ResetGlobals(); }
  // The program-wide SMI settings and switches start as at program start.
  static void ResetGlobals() {
    g_wSmiPort = winflash::kDefaultSmiPort;
    g_bySmiLevel = 0;
    g_bDebug = false;
  }
};

// Segment writers.
inline void PutText(std::vector<uint8_t>& seg, size_t nAt, const char* psz) {
  std::memcpy(&seg[nAt], psz, std::strlen(psz));
}
inline void PutU16(std::vector<uint8_t>& seg, size_t nAt, uint16_t w) {
  seg[nAt] = static_cast<uint8_t>(w);
  seg[nAt + 1] = static_cast<uint8_t>(w >> 8);
}
// A KAFLASH record at nAt with its erase map right after it.
inline void PutKaFlash(std::vector<uint8_t>& seg, size_t nAt, uint8_t bySize128k, uint8_t byType,
                       uint8_t byCaps, const std::vector<uint8_t>& map, uint8_t byExtra = 0) {
  PutText(seg, nAt, "KAFLASH");
  seg[nAt + 7] = bySize128k;
  seg[nAt + 8] = byType;
  seg[nAt + 9] = byCaps;
  PutU16(seg, nAt + 0x0E, static_cast<uint16_t>(nAt + 0x20));
  seg[nAt + 0x10] = byExtra;
  std::copy(map.begin(), map.end(), seg.begin() + nAt + 0x20);
}
// Identification record: date, one separator, text.
inline void PutBiosId(std::vector<uint8_t>& seg, const std::string& strDate,
                      const std::string& strId) {
  const size_t k = strDate.size();
  seg[0xEC70] = static_cast<uint8_t>(k + 1 + strId.size());
  std::memcpy(&seg[0xEC71], strDate.data(), k);
  seg[0xEC71 + k] = ' ';
  std::memcpy(&seg[0xEC72 + k], strId.data(), strId.size());
}
