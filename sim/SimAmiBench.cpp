#include "sim/SimAmiBench.h"

#include <string.h>

#include "protocol/AmiIoctl.h"

namespace {

bool PutText(uint8_t* pSegment, uint32_t dwOffset, const std::string& str) {
  if (dwOffset > ami::kSegmentSize || str.size() > ami::kSegmentSize - dwOffset) return false;
  memcpy(pSegment + dwOffset, str.data(), str.size());
  return true;
}

}  // namespace

bool ApplyAmiSegmentFields(const SSimAmiSegmentFields& f, uint16_t wSmiPort, uint8_t* pSegment) {
  bool bOk = true;
  if (f.nSignature == 1) bOk &= PutText(pSegment, ami::kSignatureOffset, ami::kSignature);
  if (f.nSignature == 0) bOk &= PutText(pSegment, ami::kSignatureOffset, std::string(7, '\0'));
  if (!f.strIdentity.empty()) bOk &= PutText(pSegment, ami::kIdentity1Offset, f.strIdentity);
  if (!f.strRomType.empty()) bOk &= PutText(pSegment, ami::kRomTypeOffset, f.strRomType);
  if (f.dwSfiOffset) {
    std::string str = ami::kSfiMarker;
    str += static_cast<char>(wSmiPort & 0xFF);
    str += static_cast<char>(wSmiPort >> 8);
    if (f.bSfp) str += ami::kSfpMarker;
    bOk &= PutText(pSegment, f.dwSfiOffset, str);
  }
  if (f.dwTagOffset) {
    // "_TG_", then the tag text: model (5), a separator, revision (2).
    std::string str = std::string(ami::kTagMarker) + f.strModel + "." + f.strRevision;
    bOk &= f.strModel.size() == 5 && f.strRevision.size() == 2 &&
           PutText(pSegment, f.dwTagOffset, str);
  }
  if (!f.strDate.empty()) bOk &= PutText(pSegment, ami::kDateOffset, f.strDate + '\0');
  return bOk;
}

std::vector<uint8_t> BuildAmiRom(const SSimAmiDescription& desc) {
  uint32_t dwSize = desc.config.dwRomSize;
  std::vector<uint8_t> vecRom(dwSize);
  // Seeded content that differs from block to block and never matches a
  // marker by chance (no '$', '_' or 'A' bytes: values stay below 0x20).
  CSimRandom random;
  random.Seed(desc.config.dwSeed);
  for (uint32_t i = 0; i < dwSize; ++i)
    vecRom[i] = static_cast<uint8_t>((random.Next() >> 8) & 0x1F);
  SSimAmiSegmentFields f = desc.fields;
  if (f.nSignature < 0) f.nSignature = 1;
  if (f.strIdentity.empty()) f.strIdentity = "AB1234";
  if (f.strRomType.empty()) f.strRomType = "F";
  if (!f.dwSfiOffset) f.dwSfiOffset = 0xF500;
  if (!f.dwTagOffset) {
    f.dwTagOffset = 0xF600;
    f.strModel = "P4X00";
    f.strRevision = "01";
  }
  if (f.strDate.empty()) f.strDate = "12/08/26";
  f.strIdentity.resize(6, ' ');
  ApplyAmiSegmentFields(f, desc.config.wSmiPort, vecRom.data() + dwSize - ami::kSegmentSize);
  // The image's own structure: the ROM header at 4 KB, two modules after
  // it (the second compressed), and the sum over everything else.
  std::vector<SSimAmiModule> vecModules(2);
  vecModules[0].byType = 0x10;
  vecModules[0].vecData.assign(vecRom.begin() + 0x8000, vecRom.begin() + 0x8100);
  vecModules[1].byType = 0x20;
  vecModules[1].bCompress = true;
  for (uint32_t i = 0; i < 0x800; ++i)
    vecModules[1].vecData.push_back(static_cast<uint8_t>("P4X00 setup "[i % 12] ^ (i >> 8)));
  StampAmiImage(&vecRom, 0x1000, 0x2000, vecModules, desc.eBreak, nullptr);
  return vecRom;
}

bool ParseAmiDescription(const std::string& strText, const std::string& strBaseDir,
                         SSimAmiDescription* pDesc, std::string* pstrError) {
  *pDesc = SSimAmiDescription();
  SSimAmiConfig& cfg = pDesc->config;
  SSimAmiSegmentFields& f = pDesc->fields;
  bool bKind = false, bBootBlock = false, bNvRam = false;
  auto line = [&](const std::string& strKey, const std::vector<std::string>& vecArgs,
                  const std::string&, std::string* pstrWhy) {
    auto fail = [&](const std::string& strWhy) {
      *pstrWhy = strWhy;
      return false;
    };
    auto one = [&](uint32_t dwMax, uint32_t* pdw) {
      uint32_t v;
      if (vecArgs.size() != 1 || !SimParseNumber(vecArgs[0], &v) || v > dwMax) return false;
      *pdw = v;
      return true;
    };
    auto text = [&](size_t nLength, std::string* pstr) {
      if (vecArgs.size() != 1 || vecArgs[0].size() != nLength) return false;
      *pstr = vecArgs[0];
      return true;
    };
    uint32_t v = 0;
    if (strKey == "board") {
      if (vecArgs.size() != 1 || vecArgs[0] != "ami") return fail("not an AMI board");
      bKind = true;
    } else if (strKey == "rom_size") {
      if (!one(kSimAmiMaxRomSize, &cfg.dwRomSize)) return fail("bad rom_size");
    } else if (strKey == "boot_block") {
      if (!one(kSimAmiMaxRomSize, &cfg.dwBootBlockSize)) return fail("bad boot_block");
      bBootBlock = true;
    } else if (strKey == "nvram") {
      if (!one(kSimAmiMaxRomSize, &cfg.dwNvRamSize)) return fail("bad nvram");
      bNvRam = true;
    } else if (strKey == "image" || strKey == "segment" || strKey == "state") {
      if (vecArgs.size() != 1) return fail(strKey + " needs one file name");
      std::string strPath = SimResolvePath(strBaseDir, vecArgs[0]);
      if (strKey == "image") pDesc->strImagePath = strPath;
      if (strKey == "segment") pDesc->strSegmentPath = strPath;
      if (strKey == "state") pDesc->strStatePath = strPath;
    } else if (strKey == "smi_port") {
      if (!one(0xFFFF, &v)) return fail("bad smi_port");
      cfg.wSmiPort = static_cast<uint16_t>(v);
    } else if (strKey == "signature") {
      if (!one(1, &v)) return fail("signature is 0 or 1");
      f.nSignature = static_cast<int>(v);
    } else if (strKey == "identity") {
      if (vecArgs.size() != 1 || vecArgs[0].size() > 6)
        return fail("identity is 1 to 6 characters");
      f.strIdentity = vecArgs[0];
      f.strIdentity.resize(6, ' ');
    } else if (strKey == "rom_type") {
      if (!text(1, &f.strRomType)) return fail("rom_type is one character");
    } else if (strKey == "sfi") {
      bool bNoSfp = vecArgs.size() == 2 && vecArgs[1] == "nosfp";
      if ((vecArgs.size() != 1 && !bNoSfp) || !SimParseNumber(vecArgs[0], &v) || v == 0 ||
          v > ami::kSegmentSize - 10)
        return fail("sfi needs a segment offset (and optionally nosfp)");
      f.dwSfiOffset = v;
      f.bSfp = !bNoSfp;
    } else if (strKey == "tag") {
      if (vecArgs.size() != 3 || !SimParseNumber(vecArgs[0], &v) || v == 0 ||
          v > ami::kSegmentSize - 12 || vecArgs[1].size() != 5 || vecArgs[2].size() != 2)
        return fail("tag needs a segment offset, a 5-character model and a 2-character revision");
      f.dwTagOffset = v;
      f.strModel = vecArgs[1];
      f.strRevision = vecArgs[2];
    } else if (strKey == "date") {
      if (!text(8, &f.strDate)) return fail("date is 8 characters (MM/DD/YY)");
    } else if (strKey == "cmos") {
      uint32_t dwIndex, dwValue;
      if (vecArgs.size() != 2 || !SimParseNumber(vecArgs[0], &dwIndex) ||
          !SimParseNumber(vecArgs[1], &dwValue) || dwIndex >= kSimAmiCmosSize || dwValue > 0xFF)
        return fail("cmos needs index (< 256) and byte");
      pDesc->vecCmos.emplace_back(static_cast<uint8_t>(dwIndex), static_cast<uint8_t>(dwValue));
    } else if (strKey == "break") {
      static const std::pair<const char*, ESimAmiBreak> s_aBreaks[] = {
          {"no_header", ESimAmiBreak::kNoHeader},
          {"cut_chain", ESimAmiBreak::kCutChain},
          {"looping_chain", ESimAmiBreak::kLoopingChain},
          {"link_outside", ESimAmiBreak::kLinkOutside},
          {"corrupt_module", ESimAmiBreak::kCorruptModule},
          {"wrong_size", ESimAmiBreak::kWrongSize},
          {"wrong_sum", ESimAmiBreak::kWrongSum},
      };
      if (vecArgs.size() != 1) return fail("break takes one name");
      for (const auto& entry : s_aBreaks)
        if (vecArgs[0] == entry.first) {
          pDesc->eBreak = entry.second;
          return true;
        }
      return fail("unknown break " + vecArgs[0]);
    } else if (strKey == "seed") {
      if (!one(0xFFFFFFFF, &cfg.dwSeed)) return fail("bad seed");
    } else if (strKey == "busy_echo") {
      uint32_t dwFrom = 1;
      if (vecArgs.empty() || vecArgs.size() > 2 || !SimParseNumber(vecArgs[0], &v) ||
          (vecArgs.size() == 2 && (!SimParseNumber(vecArgs[1], &dwFrom) || dwFrom == 0)))
        return fail("busy_echo needs a count and optionally the first call (1-based)");
      cfg.dwBusyCount = v;
      cfg.dwBusyFrom = dwFrom;
    } else if (strKey == "erase_fail_block" || strKey == "program_fail_block") {
      if (!one(kSimAmiMaxRomSize / ami::kBlockSize - 1, &v))
        return fail(strKey + " needs a block number");
      (strKey == "erase_fail_block" ? cfg.dwEraseFailBlock : cfg.dwProgramFailBlock) = v + 1;
    } else if (strKey == "silent_program") {
      if (!one(0xFFFFFFFF, &cfg.dwSilentProgramAt)) return fail("bad silent_program");
    } else if (strKey == "power_cut_after") {
      if (!one(0xFFFFFFFF, &cfg.dwPowerCutAfter)) return fail("bad power_cut_after");
    } else if (strKey == "info_error1" || strKey == "info_error2") {
      if (!one(ami::kStatusErrorMask, &v) || v == 0) return fail(strKey + " is 1 to 0xFFF");
      (strKey == "info_error1" ? cfg.dwInfoError1 : cfg.dwInfoError2) = v;
    } else if (strKey == "map_refused" || strKey == "no_memctl" || strKey == "no_physical") {
      if (!one(1, &v)) return fail(strKey + " is 0 or 1");
      uint8_t& by = strKey == "map_refused" ? cfg.byMapRefused
                    : strKey == "no_memctl" ? cfg.byNoMemctl
                                            : cfg.byNoPhysical;
      by = static_cast<uint8_t>(v);
    } else {
      return fail("unknown setting " + strKey);
    }
    return true;
  };
  if (!SimParseLines(strText, line, pstrError)) return false;
  if (!bKind) {
    if (pstrError) *pstrError = "no 'board ami' line";
    return false;
  }
  // Unless named: 64 KB each, at most a quarter of the ROM each.
  uint32_t dwDefaultArea = cfg.dwRomSize / 4 < 0x10000 ? cfg.dwRomSize / 4 : 0x10000;
  if (!bBootBlock) cfg.dwBootBlockSize = dwDefaultArea & ~(ami::kBlockSize - 1);
  if (!bNvRam) cfg.dwNvRamSize = dwDefaultArea & ~(ami::kBlockSize - 1);
  if (cfg.dwRomSize < kSimAmiMinRomSize || cfg.dwRomSize % 0x10000 ||
      static_cast<uint64_t>(cfg.dwBootBlockSize) + cfg.dwNvRamSize > cfg.dwRomSize) {
    if (pstrError) *pstrError = "rom_size must be 64K..2M in 64K steps and hold boot_block + nvram";
    return false;
  }
  return true;
}

bool CSimAmiBench::Open(const std::string& strDescriptionPath, std::string* pstrError) {
  std::vector<uint8_t> vecText;
  SSimAmiDescription desc;
  std::string strError = "cannot read";
  if (!SimReadFile(strDescriptionPath, 1 << 20, &vecText) ||
      !ParseAmiDescription(std::string(vecText.begin(), vecText.end()),
                           SimDirectoryOf(strDescriptionPath), &desc, &strError)) {
    if (pstrError) *pstrError = strDescriptionPath + ": " + strError;
    return false;
  }
  return Open(desc, pstrError);
}

bool CSimAmiBench::Open(const SSimAmiDescription& desc, std::string* pstrError) {
  Close();
  // A state file left by an earlier run wins over the images.
  if (!desc.strStatePath.empty() && OpenState(desc.strStatePath, nullptr)) return true;
  std::vector<uint8_t> vecRom, vecSegment;
  if (desc.strImagePath.empty()) {
    vecRom = BuildAmiRom(desc);
  } else if (!SimReadFile(desc.strImagePath, kSimAmiMaxRomSize, &vecRom) ||
             vecRom.size() != desc.config.dwRomSize) {
    if (pstrError) *pstrError = "image missing or not rom_size bytes: " + desc.strImagePath;
    return false;
  }
  if (!desc.strSegmentPath.empty()) {
    if (!SimReadFile(desc.strSegmentPath, ami::kSegmentSize, &vecSegment) ||
        vecSegment.size() != ami::kSegmentSize) {
      if (pstrError) *pstrError = "segment image missing or not 64 KB: " + desc.strSegmentPath;
      return false;
    }
  } else if (!desc.strImagePath.empty()) {
    vecSegment.assign(vecRom.end() - ami::kSegmentSize, vecRom.end());
  }
  if (!vecSegment.empty() &&
      !ApplyAmiSegmentFields(desc.fields, desc.config.wSmiPort, vecSegment.data())) {
    if (pstrError) *pstrError = "segment fields do not fit the segment";
    return false;
  }
  if (!desc.strStatePath.empty() && !m_host.AttachStateFile(desc.strStatePath, true)) {
    if (pstrError) *pstrError = "cannot create " + desc.strStatePath;
    return false;
  }
  if (!Open(desc.config, vecRom, vecSegment.empty() ? nullptr : &vecSegment, pstrError)) {
    Close();
    return false;
  }
  for (const auto& cmos : desc.vecCmos) m_board.SetCmos(cmos.first, cmos.second);
  return true;
}

bool CSimAmiBench::Open(const SSimAmiConfig& cfg, const std::vector<uint8_t>& vecRom,
                        const std::vector<uint8_t>* pSegment, std::string* pstrError) {
  if (vecRom.size() != cfg.dwRomSize || (pSegment && pSegment->size() != ami::kSegmentSize) ||
      !m_board.Create(cfg, vecRom.data(), pSegment ? pSegment->data() : nullptr, m_host.Host())) {
    if (pstrError) *pstrError = "invalid board configuration or image sizes";
    return false;
  }
  return true;
}

bool CSimAmiBench::OpenState(const std::string& strStatePath, std::string* pstrError) {
  Close();
  std::vector<uint8_t> vecState;
  if (!SimReadFile(strStatePath, 32u << 20, &vecState) ||
      !m_board.Restore(vecState.data(), vecState.size(), m_host.Host()) ||
      !m_host.AttachStateFile(strStatePath, false)) {
    if (pstrError) *pstrError = "not an AMI board state file: " + strStatePath;
    Close();
    return false;
  }
  return true;
}

void CSimAmiBench::Close() {
  m_board.Destroy();
  m_host.DetachStateFile();
}
