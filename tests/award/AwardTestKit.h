// Small stand-ins for the engine's unit tests: a flash model behind the
// recording device port (requests logged there, flash as a plain byte
// array), the recording service manager, display recorders and a few
// segment writers. Whole-board behaviour (faults, geometry, images) is the
// bench's; these only give the engine something to talk to.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/DisplaySink.h"
#include "platform/WinTypes.h"
#include "platform/fake/FakeDevicePort.h"
#include "platform/fake/FakeServicePort.h"
#include "platform/fake/Fakes.h"
#include "tessaro/core/Resources.h"
#include "tessaro/core/StringTable.h"
#include "tessaro/core/Switches.h"
#include "tessaro/award/AwardBios.h"
#include "protocol/WinFlashIoctl.h"
#include "tests/support/ProgramStateScope.h"

// The Award engine's program-wide SMI settings on top of the program's
// state: both start as at program start and are put back afterwards.
class CAwardStateScope : public CProgramStateScope {
 public:
  CAwardStateScope() { ResetSmiSettings(); }
  ~CAwardStateScope() { ResetSmiSettings(); }
  // The level a firmware would have reported (driver mode never reads it).
  void SetSmiLevel(uint8_t byLevel) { g_bySmiLevel = byLevel; }
};

// A flash part and F000 segment behind the WinFlash requests: flash as a
// plain byte array ending at 0xFFFFFFFF, CMOS as a map. The recording
// device port in front of it keeps the requests.
class CFlashModel {
 public:
  explicit CFlashModel(uint32_t nRomBytes)
      : m_flash(nRomBytes, 0xFF), m_segment(winflash::kSegmentSize, 0) {}

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

  // Answers one WinFlash request as the driver and the board would.
  bool Answer(uint32_t dwCode, const uint8_t* pi, uint32_t nOut, uint8_t* po,
              uint32_t* pnReturned) {
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

 private:
  uint32_t m_dwAddress = 0;
  uint8_t m_byCmosIndex = 0;
};

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

// Ports, texts and the flash model wired together; the program's own string
// table serves the messages. The program-wide state is as at program start
// for the rig's lifetime.
struct SAwardRig {
  explicit SAwardRig(uint32_t nRomBytes = 0x80000) : device(nRomBytes) {
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
    devices.AddDevice("\\\\.\\WinFlash",
                      [this](uint32_t dwCode, const uint8_t* pIn, uint32_t, uint8_t* pOut,
                             uint32_t nOut, uint32_t* pnReturned) {
                        return device.Answer(dwCode, pIn, nOut, pOut, pnReturned);
                      });
    files.m_mapFiles["C:\\work\\WinFlash.sys"] = {'M', 'Z'};
  }
  CAwardStateScope state;  // first in, last out
  CFlashModel device;
  CFakeFileSystem files;
  CFakeServicePort services;
  CFakeDevicePort devices;
  CFakeSystem system;
  CFakePowerPort power;
  CFakeModulePort modules;
  CFakeUi ui;
  SPlatform platform;
  CResources resources{modules};
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
