// The engine on the simulated board: the bench answers "\\.\WinFlash", the
// other ports are fakes. Request logs render as short lines ("set-address
// FFFC0000", "read x256") so golden sequences stay readable.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sim/SimBench.h"
#include "sim/SimDevicePort.h"
#include "tests/award/AwardTestKit.h"

struct SBenchRig : SAwardRig {
  SBenchRig() { platform.pDevices = &simDevices; }

  // Starts the board with the given images; the engine is not opened.
  bool Start(const SSimAwardConfig& cfg, const std::vector<uint8_t>& flash,
             const std::vector<uint8_t>* pSegment, uint32_t nLogEntries = 1u << 20) {
    std::string strError;
    if (!bench.Open(cfg, flash, pSegment, &strError)) {
      fprintf(stderr, "bench: %s\n", strError.c_str());
      return false;
    }
    bench.Board().SetLogCapacity(nLogEntries);
    simDevices.AddAwardBoard(&bench.Board());
    return true;
  }
  CSimAwardBoard& Board() { return bench.Board(); }
  std::vector<uint8_t> FlashImage() {
    const uint8_t* p = Board().Flash();
    return std::vector<uint8_t>(p, p + Board().Config().dwRomSize);
  }
  size_t Count(uint32_t dwCode) {
    size_t n = 0;
    const CSimRequestLog& log = Board().Log();
    for (uint32_t i = 0; i < log.Count(); ++i) n += log.Entry(i)->dwCode == dwCode;
    return n;
  }
  bool Wrote() { return Count(winflash::kEraseBlock) + Count(winflash::kProgramNext) > 0; }

  CSimAwardBench bench;
  CSimDevicePort simDevices;
};

// One line per request; runs of reads or programs fold into "read xN".
inline std::vector<std::string> RenderLog(const CSimRequestLog& log) {
  std::vector<std::string> lines;
  char sz[96];
  std::string strRun;
  size_t nRun = 0;
  auto Flush = [&]() {
    if (nRun) lines.push_back(strRun + " x" + std::to_string(nRun));
    nRun = 0;
  };
  for (uint32_t i = 0; i < log.Count(); ++i) {
    const SSimLogEntry& e = *log.Entry(i);
    std::string strKind;
    sz[0] = 0;
    switch (e.dwCode) {
      case winflash::kReadNext:
        strKind = "read";
        break;
      case winflash::kProgramNext:
        strKind = "program";
        break;
      case winflash::kReadPhysical:
        snprintf(sz, sizeof sz, "read-physical %X %u", e.InU32(0), e.dwOutBytes);
        break;
      case winflash::kSetSmiPort:
        snprintf(sz, sizeof sz, "smi-port %X", e.InU16(0));
        break;
      case winflash::kSmiControl:
        snprintf(sz, sizeof sz, "smi %u", e.InU16(0));
        break;
      case winflash::kSetAddress:
        snprintf(sz, sizeof sz, "set-address %X", e.InU32(0));
        break;
      case winflash::kEraseBlock:
        snprintf(sz, sizeof sz, "erase %X %X", e.InU32(0), e.InU32(4));
        break;
      case winflash::kWritePort:
        snprintf(sz, sizeof sz, "port %X %X", e.InU16(0), e.InU16(2));
        break;
      default:
        snprintf(sz, sizeof sz, "code %X", e.dwCode);
        break;
    }
    if (!strKind.empty()) {
      if (nRun && strKind != strRun) Flush();
      strRun = strKind;
      ++nRun;
      continue;
    }
    Flush();
    lines.push_back(sz);
  }
  Flush();
  return lines;
}

// Builds expected request lines.
class CTrace {
 public:
  CTrace& Line(const char* pszFormat, uint32_t a = 0, uint32_t b = 0) {
    char sz[96];
    snprintf(sz, sizeof sz, pszFormat, a, b);
    m_lines.push_back(sz);
    return *this;
  }
  // A flash read of nBytes at dwAddress.
  CTrace& Read(uint32_t dwAddress, uint32_t nBytes) {
    Line("set-address %X", dwAddress);
    return Run("read", (nBytes + 15) / 16);
  }
  // Reads of nBytes in 4 KB requests each (save, verify).
  CTrace& ReadChunks(uint32_t dwAddress, uint32_t nBytes) {
    for (uint32_t n = 0; n < nBytes; n += 4096) Read(dwAddress + n, 4096);
    return *this;
  }
  CTrace& ProgramChunks(uint32_t dwAddress, uint32_t nBytes) {
    for (uint32_t n = 0; n < nBytes; n += 4096) {
      Line("set-address %X", dwAddress + n);
      Run("program", 256);
    }
    return *this;
  }
  CTrace& Run(const char* pszKind, uint32_t n) {
    if (!n) return *this;
    // Consecutive runs of one kind fold together, as in the log.
    const std::string strPrefix = std::string(pszKind) + " x";
    if (!m_lines.empty() && m_lines.back().rfind(strPrefix, 0) == 0) {
      n += static_cast<uint32_t>(std::stoul(m_lines.back().substr(strPrefix.size())));
      m_lines.pop_back();
    }
    m_lines.push_back(strPrefix + std::to_string(n));
    return *this;
  }
  CTrace& Append(const CTrace& other) {
    for (const std::string& s : other.m_lines) m_lines.push_back(s);
    return *this;
  }
  const std::vector<std::string>& Lines() const { return m_lines; }

 private:
  std::vector<std::string> m_lines;
};
