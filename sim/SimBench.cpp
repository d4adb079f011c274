#include "sim/SimBench.h"

#include <stdlib.h>

#include <sstream>

#include "protocol/MirelIoctl.h"
#include "protocol/WinFlashIoctl.h"

// ------------------------------------------------------------- host --

CSimFileHost::CSimFileHost() {
  m_host.pContext = this;
  m_host.pfnAlloc = &CSimFileHost::Alloc;
  m_host.pfnFree = &CSimFileHost::Free;
  m_host.pfnStateWritten = &CSimFileHost::StateWritten;
}

CSimFileHost::~CSimFileHost() { DetachStateFile(); }

void* CSimFileHost::Alloc(void*, size_t nBytes) { return calloc(1, nBytes ? nBytes : 1); }
void CSimFileHost::Free(void*, void* pMemory) { free(pMemory); }

void CSimFileHost::StateWritten(void* pContext, const uint8_t* pBlob, uint32_t dwOffset,
                                uint32_t nBytes) {
  CSimFileHost* pSelf = static_cast<CSimFileHost*>(pContext);
  if (!pSelf->m_pFile) return;
  // Flushed at once: the state must survive a process that is killed.
  if (fseek(pSelf->m_pFile, static_cast<long>(dwOffset), SEEK_SET) != 0 ||
      fwrite(pBlob + dwOffset, 1, nBytes, pSelf->m_pFile) != nBytes || fflush(pSelf->m_pFile) != 0)
    pSelf->m_bWriteFailed = true;
}

bool CSimFileHost::AttachStateFile(const std::string& strPath, bool bCreate) {
  DetachStateFile();
  m_pFile = fopen(strPath.c_str(), bCreate ? "w+b" : "r+b");
  m_bWriteFailed = false;
  return m_pFile != nullptr;
}

void CSimFileHost::DetachStateFile() {
  if (m_pFile) fclose(m_pFile);
  m_pFile = nullptr;
}

// ------------------------------------------------------------ files --

bool SimReadFile(const std::string& strPath, size_t nMaxBytes, std::vector<uint8_t>* pData) {
  FILE* f = fopen(strPath.c_str(), "rb");
  if (!f) return false;
  pData->clear();
  uint8_t abyBuffer[65536];
  size_t n;
  bool bOk = true;
  while ((n = fread(abyBuffer, 1, sizeof abyBuffer, f)) > 0) {
    if (pData->size() + n > nMaxBytes) {
      bOk = false;
      break;
    }
    pData->insert(pData->end(), abyBuffer, abyBuffer + n);
  }
  if (ferror(f)) bOk = false;
  fclose(f);
  return bOk;
}

bool SimWriteFile(const std::string& strPath, const void* pData, size_t nBytes) {
  FILE* f = fopen(strPath.c_str(), "wb");
  if (!f) return false;
  bool bOk = fwrite(pData, 1, nBytes, f) == nBytes;
  return fclose(f) == 0 && bOk;
}

std::string SimDirectoryOf(const std::string& strPath) {
  size_t n = strPath.find_last_of("/\\");
  return n == std::string::npos ? std::string() : strPath.substr(0, n + 1);
}

// ------------------------------------------------------ description --

bool SimParseNumber(const std::string& strToken, uint32_t* pdwValue) {
  if (strToken.empty() || strToken.size() > 16) return false;
  std::string s = strToken;
  uint64_t qwScale = 1;
  char cLast = s.back();
  if (cLast == 'K' || cLast == 'k') qwScale = 1024;
  if (cLast == 'M' || cLast == 'm') qwScale = 1024 * 1024;
  if (qwScale != 1) s.pop_back();
  int nBase = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    nBase = 16;
    s = s.substr(2);
  }
  if (s.empty()) return false;
  uint64_t qwValue = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (nBase == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (nBase == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    qwValue = qwValue * nBase + d;
    if (qwValue > 0xFFFFFFFFull) return false;
  }
  qwValue *= qwScale;
  if (qwValue > 0xFFFFFFFFull) return false;
  *pdwValue = static_cast<uint32_t>(qwValue);
  return true;
}

bool SimParseLines(const std::string& strText, const SimLineHandler& pfnLine,
                   std::string* pstrError) {
  std::istringstream in(strText);
  std::string strLine;
  int nLine = 0;
  while (std::getline(in, strLine)) {
    ++nLine;
    std::string strKey, strRest, strWhy;
    std::vector<std::string> vecArgs;
    if (!SimSplitLine(strLine, &strKey, &vecArgs, &strRest)) continue;
    if (!pfnLine(strKey, vecArgs, strRest, &strWhy)) {
      if (pstrError) *pstrError = "line " + std::to_string(nLine) + ": " + strWhy;
      return false;
    }
  }
  return true;
}

std::string SimResolvePath(const std::string& strBaseDir, const std::string& strName) {
  bool bAbsolute = !strName.empty() && (strName[0] == '/' || strName[0] == '\\' ||
                                        (strName.size() > 1 && strName[1] == ':'));
  return bAbsolute ? strName : strBaseDir + strName;
}

bool SimParseHexBytes(const std::string& strText, std::vector<uint8_t>* pBytes) {
  pBytes->clear();
  int nHigh = -1;
  for (char c : strText) {
    int d;
    if (c == ' ' || c == '\t') continue;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    if (nHigh < 0) {
      nHigh = d;
    } else {
      pBytes->push_back(static_cast<uint8_t>(nHigh << 4 | d));
      nHigh = -1;
    }
  }
  return nHigh < 0;
}

bool SimSplitLine(const std::string& strLine, std::string* pstrKey,
                  std::vector<std::string>* pvecArgs, std::string* pstrRest) {
  std::string s = strLine;
  size_t nHash = s.find('#');
  if (nHash != std::string::npos) s.erase(nHash);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  std::istringstream words(s);
  pvecArgs->clear();
  pstrKey->clear();
  if (!(words >> *pstrKey)) return false;
  std::string strWord;
  while (words >> strWord) pvecArgs->push_back(strWord);
  size_t nStart = s.find(*pstrKey) + pstrKey->size();
  while (nStart < s.size() && (s[nStart] == ' ' || s[nStart] == '\t')) ++nStart;
  *pstrRest = s.substr(nStart);
  return true;
}

bool ParseAwardDescription(const std::string& strText, const std::string& strBaseDir,
                           SSimAwardDescription* pDesc, std::string* pstrError) {
  *pDesc = SSimAwardDescription();
  SSimAwardConfig& cfg = pDesc->config;
  auto line = [&](const std::string& strKey, const std::vector<std::string>& vecArgs,
                  const std::string&, std::string* pstrWhy) {
    auto fail = [&](const std::string& strWhy) {
      *pstrWhy = strWhy;
      return false;
    };
    std::vector<uint32_t> vecNumbers;
    auto numbers = [&](size_t nCount) {
      vecNumbers.clear();
      if (vecArgs.size() != nCount) return false;
      for (const std::string& s : vecArgs) {
        uint32_t v;
        if (!SimParseNumber(s, &v)) return false;
        vecNumbers.push_back(v);
      }
      return true;
    };
    auto one = [&](uint32_t dwMax, uint32_t* pdw) {
      if (!numbers(1) || vecNumbers[0] > dwMax) return false;
      *pdw = vecNumbers[0];
      return true;
    };
    uint32_t v = 0;
    if (strKey == "board") {
      if (vecArgs.size() != 1 || vecArgs[0] != "award") return fail("not an Award board");
    } else if (strKey == "rom_size") {
      if (!one(0x100000, &cfg.dwRomSize)) return fail("bad rom_size");
    } else if (strKey == "flash_id") {
      if (!one(0xFFFF, &v)) return fail("bad flash_id");
      cfg.wFlashId = static_cast<uint16_t>(v);
    } else if (strKey == "erase_blocks") {
      if (vecArgs.empty() || vecArgs.size() > kSimMaxEraseRegions)
        return fail("erase_blocks needs 1 to 16 SIZE*COUNT pairs");
      cfg.nEraseRegions = 0;
      for (const std::string& s : vecArgs) {
        size_t nStar = s.find('*');
        SSimEraseRegion r{};
        if (nStar == std::string::npos || !SimParseNumber(s.substr(0, nStar), &r.dwBlockSize) ||
            !SimParseNumber(s.substr(nStar + 1), &r.dwCount))
          return fail("bad erase block pair " + s);
        cfg.aEraseRegions[cfg.nEraseRegions++] = r;
      }
    } else if (strKey == "flash" || strKey == "segment" || strKey == "state") {
      if (vecArgs.size() != 1) return fail(strKey + " needs one file name");
      std::string strPath = SimResolvePath(strBaseDir, vecArgs[0]);
      if (strKey == "flash") pDesc->strFlashPath = strPath;
      if (strKey == "segment") pDesc->strSegmentPath = strPath;
      if (strKey == "state") pDesc->strStatePath = strPath;
    } else if (strKey == "smi_port") {
      if (!one(0xFFFF, &v)) return fail("bad smi_port");
      cfg.wSmiPort = static_cast<uint16_t>(v);
    } else if (strKey == "smi_level") {
      if (!one(0xFF, &v)) return fail("bad smi_level");
      cfg.bySmiLevel = static_cast<uint8_t>(v);
    } else if (strKey == "smi_busy") {
      if (!one(1, &v)) return fail("smi_busy is 0 or 1");
      cfg.bySmiBusy = static_cast<uint8_t>(v);
    } else if (strKey == "protect") {
      if (!numbers(3) || cfg.nProtected >= kSimMaxProtected || vecNumbers[1] == 0)
        return fail("protect needs address, length, status (at most 8 ranges)");
      cfg.aProtected[cfg.nProtected++] = {vecNumbers[0], vecNumbers[1], vecNumbers[2]};
    } else if (strKey == "outside_status") {
      if (!one(0xFFFFFFFF, &cfg.dwOutsideStatus)) return fail("bad outside_status");
    } else if (strKey == "cmos") {
      if (!numbers(2) || vecNumbers[0] >= kSimCmosSize || vecNumbers[1] > 0xFF)
        return fail("cmos needs index (< 128) and byte");
      pDesc->vecCmos.emplace_back(static_cast<uint8_t>(vecNumbers[0]),
                                  static_cast<uint8_t>(vecNumbers[1]));
    } else if (strKey == "seed") {
      if (!one(0xFFFFFFFF, &cfg.dwSeed)) return fail("bad seed");
    } else if (strKey == "erase_fail") {
      if (vecArgs.size() == 1 && vecArgs[0] == "random") {
        if (cfg.nRandomEraseFails >= kSimMaxEraseFails) return fail("too many erase_fail");
        ++cfg.nRandomEraseFails;
      } else {
        if (!one(0xFFFFFFFF, &v) || cfg.nEraseFails >= kSimMaxEraseFails)
          return fail("erase_fail needs an address or 'random' (at most 4)");
        cfg.adwEraseFail[cfg.nEraseFails++] = v;
      }
    } else if (strKey == "stuck_bits") {
      if (!one(kSimMaxStuckBits, &cfg.nStuckBits)) return fail("stuck_bits is 0 to 64");
    } else if (strKey == "silent_program") {
      if (!one(0xFFFFFFFF, &cfg.dwSilentProgramAt)) return fail("bad silent_program");
    } else if (strKey == "silent_program_rate") {
      if (!one(1000, &cfg.dwSilentProgramRate)) return fail("silent_program_rate is 0 to 1000");
    } else if (strKey == "power_cut_after") {
      if (!one(0xFFFFFFFF, &cfg.dwPowerCutAfter)) return fail("bad power_cut_after");
    } else {
      return fail("unknown setting " + strKey);
    }
    return true;
  };
  if (!SimParseLines(strText, line, pstrError)) return false;
  if (pDesc->strFlashPath.empty()) {
    if (pstrError) *pstrError = "no flash image named";
    return false;
  }
  return true;
}

// ------------------------------------------------------------ bench --

bool CSimAwardBench::Open(const std::string& strDescriptionPath, std::string* pstrError) {
  std::vector<uint8_t> vecText;
  if (!SimReadFile(strDescriptionPath, 1 << 20, &vecText)) {
    if (pstrError) *pstrError = "cannot read " + strDescriptionPath;
    return false;
  }
  SSimAwardDescription desc;
  std::string strError;
  if (!ParseAwardDescription(std::string(vecText.begin(), vecText.end()),
                             SimDirectoryOf(strDescriptionPath), &desc, &strError)) {
    if (pstrError) *pstrError = strDescriptionPath + ": " + strError;
    return false;
  }
  return Open(desc, pstrError);
}

bool CSimAwardBench::Open(const SSimAwardDescription& desc, std::string* pstrError) {
  Close();
  // A state file left by an earlier run wins over the images.
  if (!desc.strStatePath.empty()) {
    std::vector<uint8_t> vecState;
    if (SimReadFile(desc.strStatePath, 32u << 20, &vecState) &&
        m_board.Restore(vecState.data(), vecState.size(), m_host.Host())) {
      if (!m_host.AttachStateFile(desc.strStatePath, false)) {
        if (pstrError) *pstrError = "cannot open " + desc.strStatePath;
        Close();
        return false;
      }
      return true;
    }
  }
  std::vector<uint8_t> vecFlash, vecSegment;
  if (!SimReadFile(desc.strFlashPath, 0x100000, &vecFlash) ||
      vecFlash.size() != desc.config.dwRomSize) {
    if (pstrError) *pstrError = "flash image missing or not rom_size bytes: " + desc.strFlashPath;
    return false;
  }
  if (!desc.strSegmentPath.empty() &&
      (!SimReadFile(desc.strSegmentPath, winflash::kSegmentSize, &vecSegment) ||
       vecSegment.size() != winflash::kSegmentSize)) {
    if (pstrError) *pstrError = "segment image missing or not 64 KB: " + desc.strSegmentPath;
    return false;
  }
  if (!desc.strStatePath.empty() && !m_host.AttachStateFile(desc.strStatePath, true)) {
    if (pstrError) *pstrError = "cannot create " + desc.strStatePath;
    return false;
  }
  if (!Open(desc.config, vecFlash, vecSegment.empty() ? nullptr : &vecSegment, pstrError))
    return false;
  for (const auto& cmos : desc.vecCmos) m_board.SetCmos(cmos.first, cmos.second);
  return true;
}

bool CSimAwardBench::Open(const SSimAwardConfig& cfg, const std::vector<uint8_t>& vecFlash,
                          const std::vector<uint8_t>* pSegment, std::string* pstrError) {
  if (vecFlash.size() != cfg.dwRomSize ||
      (pSegment && pSegment->size() != winflash::kSegmentSize) ||
      !m_board.Create(cfg, vecFlash.data(), pSegment ? pSegment->data() : nullptr, m_host.Host())) {
    if (pstrError) *pstrError = "invalid board configuration or image sizes";
    return false;
  }
  return true;
}

bool CSimAwardBench::OpenState(const std::string& strStatePath, std::string* pstrError) {
  Close();
  std::vector<uint8_t> vecState;
  if (!SimReadFile(strStatePath, 32u << 20, &vecState) ||
      !m_board.Restore(vecState.data(), vecState.size(), m_host.Host()) ||
      !m_host.AttachStateFile(strStatePath, false)) {
    if (pstrError) *pstrError = "not a board state file: " + strStatePath;
    Close();
    return false;
  }
  return true;
}

void CSimAwardBench::Close() {
  m_board.Destroy();
  m_host.DetachStateFile();
}

// ------------------------------------------------------------ Mirel --

bool ParseMirelDescription(const std::string& strText, const std::string& strBaseDir,
                           SSimMirelDescription* pDesc, std::string* pstrError) {
  *pDesc = SSimMirelDescription();
  SSimMirelConfig& cfg = pDesc->config;
  auto line = [&](const std::string& strKey, const std::vector<std::string>& vecArgs,
                  const std::string& strRest, std::string* pstrWhy) {
    uint32_t n = 0, a = 0, b = 0;
    std::vector<uint8_t> bytes;
    bool bOne = vecArgs.size() == 1 && SimParseNumber(vecArgs[0], &n);
    if (strKey == "board") {
      if (strRest != "mirel") return (*pstrWhy = "not a Mirel controller"), false;
    } else if (strKey == "memory") {
      // The bytes follow the address, whatever white space separates them.
      const size_t nAddress = vecArgs.empty() ? std::string::npos : strRest.find(vecArgs[0]);
      if (vecArgs.size() < 2 || !SimParseNumber(vecArgs[0], &a) || a > 0xFFFF ||
          nAddress == std::string::npos ||
          !SimParseHexBytes(strRest.substr(nAddress + vecArgs[0].size()), &bytes) ||
          bytes.empty() || bytes.size() > kSimMirelMemory - a)
        return (*pstrWhy = "memory needs an address and hex bytes inside 64K"), false;
      pDesc->vecMemory.emplace_back(static_cast<uint16_t>(a), bytes);
    } else if (strKey == "profile") {
      bool bVoltage = vecArgs.size() >= 2 && vecArgs[1] == "voltage";
      bool bClock = vecArgs.size() >= 2 && vecArgs[1] == "clock";
      size_t nSkip = strRest.find(vecArgs.size() >= 2 ? vecArgs[1] : "");
      if ((!bVoltage && !bClock) || !SimParseNumber(vecArgs[0], &a) || a >= mirel::kProfiles ||
          !SimParseHexBytes(strRest.substr(nSkip + vecArgs[1].size()), &bytes) ||
          bytes.size() != (bVoltage ? mirel::kVoltageRecordSize : mirel::kClockRecordSize))
        return (*pstrWhy = "profile needs 0..6, voltage (49 bytes) or clock (51 bytes)"), false;
      (bVoltage ? pDesc->vecVoltage : pDesc->vecClock).emplace_back(a, bytes);
    } else if (strKey == "msr") {
      if (vecArgs.size() != 3 || !SimParseNumber(vecArgs[0], &n) ||
          !SimParseNumber(vecArgs[1], &a) || !SimParseNumber(vecArgs[2], &b) ||
          cfg.nMsrs >= kSimMaxMsrs)
        return (*pstrWhy = "msr needs index, low, high (at most 32)"), false;
      cfg.aMsrs[cfg.nMsrs++] = {n, a, b};
    } else if (strKey == "seed" && bOne) {
      cfg.dwSeed = n;
    } else if (strKey == "timeout_at" && bOne) {
      cfg.dwTimeoutAt = n;
    } else if (strKey == "timeout_rate" && bOne && n <= 1000) {
      cfg.dwTimeoutRate = n;
    } else if (strKey == "state" && vecArgs.size() == 1) {
      pDesc->strStatePath = SimResolvePath(strBaseDir, vecArgs[0]);
    } else {
      return (*pstrWhy = "unknown setting or bad value: " + strKey), false;
    }
    return true;
  };
  return SimParseLines(strText, line, pstrError);
}

bool CSimMirelBench::Open(const std::string& strDescriptionPath, std::string* pstrError) {
  std::vector<uint8_t> vecText;
  SSimMirelDescription desc;
  std::string strError = "cannot read";
  if (!SimReadFile(strDescriptionPath, 1 << 20, &vecText) ||
      !ParseMirelDescription(std::string(vecText.begin(), vecText.end()),
                             SimDirectoryOf(strDescriptionPath), &desc, &strError)) {
    if (pstrError) *pstrError = strDescriptionPath + ": " + strError;
    return false;
  }
  return Open(desc, pstrError);
}

bool CSimMirelBench::Open(const SSimMirelDescription& desc, std::string* pstrError) {
  Close();
  if (!desc.strStatePath.empty() && OpenState(desc.strStatePath, nullptr)) return true;
  if (!desc.strStatePath.empty() && !m_host.AttachStateFile(desc.strStatePath, true)) {
    if (pstrError) *pstrError = "cannot create " + desc.strStatePath;
    return false;
  }
  if (!m_controller.Create(desc.config, m_host.Host())) {
    if (pstrError) *pstrError = "invalid controller configuration";
    Close();
    return false;
  }
  for (const auto& m : desc.vecMemory)
    m_controller.SetMemory(m.first, m.second.data(), static_cast<uint32_t>(m.second.size()));
  for (const auto& v : desc.vecVoltage) {
    memcpy(m_controller.VoltageRecord(v.first), v.second.data(), v.second.size());
    m_controller.ProfileChanged(v.first);
  }
  for (const auto& c : desc.vecClock) {
    memcpy(m_controller.ClockRecord(c.first), c.second.data(), c.second.size());
    m_controller.ProfileChanged(c.first);
  }
  return true;
}

bool CSimMirelBench::OpenState(const std::string& strStatePath, std::string* pstrError) {
  Close();
  std::vector<uint8_t> vecState;
  if (!SimReadFile(strStatePath, 1 << 20, &vecState) ||
      !m_controller.Restore(vecState.data(), vecState.size(), m_host.Host()) ||
      !m_host.AttachStateFile(strStatePath, false)) {
    if (pstrError) *pstrError = "not a controller state file: " + strStatePath;
    Close();
    return false;
  }
  return true;
}

void CSimMirelBench::Close() {
  m_controller.Destroy();
  m_host.DetachStateFile();
}
