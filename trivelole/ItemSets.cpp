// The clock and voltage item sets: the profile records read once from the
// controller, the value lists, and the index <-> code conversions.
#include "trivelole/ItemSets.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/MirelIoctl.h"

namespace {

// Controller commands used here (kt9020dll): block read, block write and
// the single-byte write of the profile select and commit addresses.
constexpr int kCmdRead = 0x1A;
constexpr int kCmdWriteBlock = 0x2A;
constexpr int kCmdWriteByte = 0x21;

constexpr char kMsgLoadLibrary[] = "Load KT9020DLL failed.";
constexpr char kMsgLoadXml[] = "Load XML File Fail";
constexpr char kMsgGetString[] = "GetString In XML File Fail";
constexpr char kMsgLoadMode[] = "Load Mode Data Error.";

constexpr char kClockNamePath[] = "Trivel/ClockItems/ClockItem/ItemName";
constexpr char kClockDefaultPath[] = "Trivel/ClockItems/ClockItem/DeftIdx";
constexpr char kVoltNamePath[] = "Trivel/VoltageItems/VoltageItem/ItemName";
constexpr char kVoltDefaultPath[] = "Trivel/VoltageItems/VoltageItem/DeftIdx";
constexpr char kVoltEqPath[] = "Trivel/VoltageItems/VoltageItem/ULVOEQMAP";

// GetInt reads the element into a 256-byte field: 255 characters at most.
constexpr size_t kIntTextChars = 255;

// Clock item 0 covers 133..600 MHz, item 1 100..255 MHz ("Auto" first).
constexpr int kClockLowest = 133;
constexpr int kClockHighest = 600;
constexpr int kItem1Lowest = 100;
constexpr int kItem1Highest = 255;
// MHz per clock code, and its inverse as the controller's firmware uses it.
constexpr double kMhzPerCode = 2.6667;
constexpr double kCodePerMhz = 0.37499531255859303;
// Clock item 2: the PCI clock choices (MHz), as single-precision values.
constexpr float kPciClocks[] = {33.33f, 36.36f, 40.0f};

// Reference clock: controller code -> MHz.
constexpr int kReference266 = 266;

// Voltage item 0: 17 offsets of 0.025 V above the base VID, code 15 per step.
constexpr int kVoltSteps = 17;
constexpr int kVoltCodeStep = 15;
struct SFixedEntry {
  const char* pszText;
  uint8_t byCode;
};
// Voltage item 1: code 0 stands for 1.80 V, not for the first entry.
constexpr SFixedEntry kVolt1[] = {{"1.75", 1}, {"1.80", 0}, {"1.85", 2}, {"1.90", 3}, {"1.95", 4},
                                  {"2.00", 5}, {"2.05", 6}, {"2.10", 7}, {"2.20", 8}, {"2.30", 9}};
constexpr SFixedEntry kVolt2[] = {{"1.50", 0}, {"1.55", 1}, {"1.60", 2}, {"1.65", 3},
                                  {"1.70", 4}, {"1.80", 5}, {"1.90", 6}, {"2.00", 7}};

// Voltage record: item n's code at byte 1 + n, its limits at 17 + 2n, 18 + 2n.
constexpr int kVoltCodeByte = 1;
constexpr int kVoltLimitByte = 17;
// Limit bytes hold 0..254 (255 is not a limit the controller takes).
constexpr int kLimitMax = 254;

// Clock record bytes.
constexpr int kClockItem2Byte = 8;  // bits 4-5
constexpr int kClockItem0Byte = 15;
constexpr int kClockItem1HighByte = 23;  // bits 0-1: code bits 7-8
constexpr int kClockItem1LowByte = 24;   // bits 1-7: code bits 0-6

// The base VID table (V), indexed by the controller's base VID code: codes
// 0-20 step down from 1.0875, 21-61 from 1.6, both by 12.5 mV; 62 and 63
// mean "no VID" (-1.0). Codes beyond the table are treated as "no VID".
float VidVolts(unsigned nCode) {
  if (nCode <= 20) return static_cast<float>(1.0875 - 0.0125 * nCode);
  if (nCode <= 61) return static_cast<float>(1.6 - 0.0125 * (nCode - 21));
  return -1.0f;
}

bool ValidProfile(int nProfile) { return nProfile >= 0 && nProfile < kTrivelProfiles; }
bool ValidItem(int nItem) { return nItem >= 0 && nItem < kTrivelItems; }

int Clamp(int n, int nLow, int nHigh) { return n < nLow ? nLow : (n > nHigh ? nHigh : n); }

// The C library's text-to-integer rule (leading white space, optional sign,
// leading digits; 0 without digits), saturating instead of overflowing.
int TextToInt(const std::string& strText) {
  size_t i = 0;
  while (i < strText.size() && std::isspace(static_cast<unsigned char>(strText[i]))) ++i;
  bool bNegative = false;
  if (i < strText.size() && (strText[i] == '+' || strText[i] == '-'))
    bNegative = strText[i++] == '-';
  long long llValue = 0;
  for (; i < strText.size() && std::isdigit(static_cast<unsigned char>(strText[i])); ++i) {
    llValue = llValue * 10 + (strText[i] - '0');
    if (llValue > static_cast<long long>(INT_MAX) + 1)
      llValue = static_cast<long long>(INT_MAX) + 1;
  }
  if (bNegative) llValue = -llValue;
  if (llValue > INT_MAX) llValue = INT_MAX;
  return static_cast<int>(llValue);
}

std::string Format(const char* pszFormat, double dValue) {
  char szText[64];
  std::snprintf(szText, sizeof szText, pszFormat, dValue);
  return szText;
}

}  // namespace

int TrivelRound(double x) {
  const float f = static_cast<float>(x);
  // Out of int's range (or not a number) the conversion is not defined:
  // saturate, and take NaN as 0.
  if (std::isnan(f)) return 0;
  if (f >= 2147483648.0f) return INT_MAX;  // 2^31
  if (f <= -2147483648.0f) return INT_MIN;
  int n = static_cast<int>(f);
  if (static_cast<double>(f) - n >= 0.5) ++n;
  return n;
}

std::string ConfigFolderFromRegisteredPath(const std::string& strRegistered) {
  std::string strLower;
  strLower.reserve(strRegistered.size());
  for (char c : strRegistered)
    strLower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string strFolder;
  static const char kCommon[] = "common";
  for (size_t i = 0; i < strLower.size();) {
    if (strLower.compare(i, sizeof kCommon - 1, kCommon) == 0) {
      strFolder += "mirel";
      i += sizeof kCommon - 1;
    } else {
      strFolder += strLower[i++];
    }
  }
  const size_t nAt = strFolder.find("trivelole.dll");
  if (nAt == std::string::npos) return std::string();
  strFolder.resize(nAt);
  return strFolder;
}

std::string FormatBoardCode(uint8_t byHigh, uint8_t byLow) {
  char szCode[8];
  std::snprintf(szCode, sizeof szCode, "%04X", (unsigned(byHigh) << 8) | byLow);
  return szCode;
}

// ------------------------------------------------------------ CTrivelItemSet --

CTrivelItemSet::CTrivelItemSet(IPluginSystem* pSystem) : m_pSystem(pSystem) {}

CTrivelItemSet::~CTrivelItemSet() = default;

bool CTrivelItemSet::Bind() {
  m_pController = m_pSystem->OpenController();
  if (!m_pController) {
    m_pSystem->MessageBox(kMsgLoadLibrary, nullptr, kBoxOk);
    return false;
  }
  std::string strRegistered;
  if (!m_pSystem->ReadMachineString(kPluginRegistryKey, kPluginRegistryValue, &strRegistered))
    strRegistered.clear();
  const std::string strFolder = ConfigFolderFromRegisteredPath(strRegistered);

  uint8_t abyBoard[2] = {0, 0};
  if (m_pController->GetAip(kCmdRead, mirel::kAddrBoardCode, 2, abyBoard) != 2)
    abyBoard[0] = abyBoard[1] = 0;
  const std::string strBoard = FormatBoardCode(abyBoard[0], abyBoard[1]);
  m_strXmlPath = strFolder + strBoard + "\\TrivelConfig.XML";
  m_strEqMapPath = strFolder + strBoard + "\\ULVOEQ.ini";

  m_pConfig = m_pSystem->CreateXmlDocument();
  if (!m_pConfig || !m_pConfig->IsReady() || !m_pConfig->Load(m_strXmlPath)) {
    // Every later lookup fails: names stay empty, defaults 0.
    m_pConfig.reset();
    m_pSystem->MessageBox(kMsgLoadXml, nullptr, kBoxOk);
  }
  return true;
}

bool CTrivelItemSet::GetString(const std::string& strPath, int n, std::string* pstrText,
                               size_t nMaxChars) {
  pstrText->clear();
  if (!m_pConfig || !m_pConfig->GetString(strPath, n, pstrText)) {
    pstrText->clear();
    m_pSystem->MessageBox(kMsgGetString, nullptr, kBoxOk);
    return false;
  }
  if (pstrText->size() > nMaxChars) pstrText->resize(nMaxChars);
  return true;
}

int CTrivelItemSet::GetInt(const std::string& strPath, int n) {
  std::string strText;
  if (!m_pConfig || !m_pConfig->GetString(strPath, n, &strText)) return 0;
  if (strText.size() > kIntTextChars) strText.resize(kIntTextChars);
  return TextToInt(strText);
}

void CTrivelItemSet::ReadEqMap(int nItem, int* pnFactor, int* pnDivisor) {
  std::string strSection;
  GetString(kVoltEqPath, nItem, &strSection, kEqSectionChars);
  *pnFactor = m_pSystem->ReadProfileInt(strSection, "Factor", 1, m_strEqMapPath);
  *pnDivisor = m_pSystem->ReadProfileInt(strSection, "Divisor", 0, m_strEqMapPath);
}

bool CTrivelItemSet::ReadProfileRecord(int nProfile, uint16_t wAddress, uint32_t nLength,
                                       uint8_t* pbyRecord) {
  if (!m_pController || !ValidProfile(nProfile)) return false;
  const uint8_t byProfile = static_cast<uint8_t>(nProfile);
  if (m_pController->SetAip(kCmdWriteByte, mirel::kAddrProfileSelect, 1, &byProfile) == 0)
    return false;
  // Only a whole record counts: a short reply would leave a record part
  // that the next commit writes back as if it had been read.
  return m_pController->GetAip(kCmdRead, wAddress, static_cast<int>(nLength), pbyRecord) ==
         static_cast<int>(nLength);
}

bool CTrivelItemSet::CommitProfileRecord(int nProfile, uint16_t wAddress, uint32_t nLength,
                                         const uint8_t* pbyRecord) {
  if (!m_pController || !ValidProfile(nProfile)) return false;
  if (m_pController->SetAip(kCmdWriteBlock, wAddress, static_cast<int>(nLength), pbyRecord) == 0)
    return false;
  const uint8_t byProfile = static_cast<uint8_t>(nProfile);
  return m_pController->SetAip(kCmdWriteByte, mirel::kAddrProfileCommit, 1, &byProfile) != 0;
}

uint8_t CTrivelItemSet::ReadByte(uint16_t wAddress, uint8_t byDefault) {
  uint8_t byValue = byDefault;
  if (!m_pController || m_pController->GetAip(kCmdRead, wAddress, 1, &byValue) != 1)
    return byDefault;
  return byValue;
}

// ------------------------------------------------------------- CClockItemSet --

CClockItemSet::CClockItemSet(IPluginSystem* pSystem) : CTrivelItemSet(pSystem) {}

bool CClockItemSet::Initialise() {
  if (!Bind()) return false;
  // A failed read leaves the code 0: 266 MHz. A code the table does not
  // know leaves the reference unknown (0).
  switch (ReadByte(mirel::kAddrReferenceClock, 0)) {
    case 0:
      m_nReference = kReference266;
      break;
    case 1:
      m_nReference = 133;
      break;
    case 2:
      m_nReference = 200;
      break;
    default:
      m_nReference = 0;
      break;
  }
  return true;
}

bool CClockItemSet::Load() {
  for (int p = 0; p < kTrivelProfiles; ++p) {
    uint8_t abyRecord[kClockRecordBytes] = {};
    if (ReadProfileRecord(p, mirel::kAddrClockRecord, kClockRecordBytes, abyRecord)) {
      std::memcpy(m_abyRecords[p], abyRecord, kClockRecordBytes);
    } else {
      // What the controller did not give is all zeros, never stale bytes.
      std::memset(m_abyRecords[p], 0, kClockRecordBytes);
      m_pSystem->MessageBox(kMsgLoadMode, nullptr, kBoxOk);
    }
  }

  m_avalues[0].clear();
  for (int nMhz = kClockLowest; nMhz <= kClockHighest; ++nMhz)
    m_avalues[0].push_back(std::to_string(nMhz));
  // The reference plus 2 %; an unknown reference gives the lowest clock.
  m_anDefault[0] = m_nReference ? TrivelRound(m_nReference * 1.02) - kClockLowest : 0;
  GetString(kClockNamePath, 0, &m_astrName[0], kClockNameChars);

  m_avalues[1].assign(1, "Auto");
  for (int nMhz = kItem1Lowest; nMhz <= kItem1Highest; ++nMhz)
    m_avalues[1].push_back(std::to_string(nMhz));
  m_anDefault[1] = GetInt(kClockDefaultPath, 1);
  GetString(kClockNamePath, 1, &m_astrName[1], kClockNameChars);

  m_avalues[2].clear();
  for (float fMhz : kPciClocks) m_avalues[2].push_back(Format("%.2f", fMhz));
  m_anDefault[2] = GetInt(kClockDefaultPath, 2);
  GetString(kClockNamePath, 2, &m_astrName[2], kClockNameChars);

  // A default from the configuration is an index into the list too.
  for (int n = 0; n < kTrivelItems; ++n)
    m_anDefault[n] = Clamp(m_anDefault[n], 0, static_cast<int>(m_avalues[n].size()) - 1);
  return true;
}

bool CClockItemSet::GetItemName(int nItem, std::string* pstrName) const {
  if (!ValidItem(nItem)) return false;
  *pstrName = m_astrName[nItem];
  return true;
}

int CClockItemSet::GetValueCount(int nItem) const {
  return ValidItem(nItem) ? static_cast<int>(m_avalues[nItem].size()) : 0;
}

bool CClockItemSet::GetValueText(int nItem, int nIndex, std::string* pstrText) const {
  if (!ValidItem(nItem) || nIndex < 0 || nIndex >= static_cast<int>(m_avalues[nItem].size()))
    return false;
  *pstrText = m_avalues[nItem][nIndex];
  return true;
}

int CClockItemSet::GetDefaultIndex(int nItem) const {
  return ValidItem(nItem) ? m_anDefault[nItem] : 0;
}

int CClockItemSet::GetIndex(int nProfile, int nItem) {
  if (!ValidProfile(nProfile) || !ValidItem(nItem)) return 0;
  const uint8_t* pbyRecord = m_abyRecords[nProfile];
  const int nLast = static_cast<int>(m_avalues[nItem].size()) - 1;
  if (nLast < 0) return 0;  // before Load
  switch (nItem) {
    case 0: {
      const int nIndex = TrivelRound(pbyRecord[kClockItem0Byte] * kMhzPerCode) - kClockLowest;
      return Clamp(nIndex, 0, nLast);
    }
    case 1: {
      if (ReadByte(mirel::kAddrLiveFlags, 0) & 1) return 0;  // "Auto"
      const int nCode =
          (pbyRecord[kClockItem1HighByte] & 3) * 128 + (pbyRecord[kClockItem1LowByte] >> 1);
      // A clock below 100 MHz shows as 100, above 255 MHz as 255: index 0
      // is "Auto", which only the live flag selects.
      const int nIndex = TrivelRound(nCode * kMhzPerCode) - kItem1Lowest + 1;
      return Clamp(nIndex, 1, nLast);
    }
    default:
      return Clamp((pbyRecord[kClockItem2Byte] >> 4) & 3, 0, nLast);
  }
}

bool CClockItemSet::SetIndex(int nProfile, int nItem, int nIndex) {
  if (!ValidProfile(nProfile) || !ValidItem(nItem) || nIndex < 0 ||
      nIndex >= static_cast<int>(m_avalues[nItem].size()))
    return false;
  uint8_t* pbyRecord = m_abyRecords[nProfile];
  switch (nItem) {
    case 0: {
      const int nClock = kClockLowest + nIndex;
      pbyRecord[kClockItem0Byte] = static_cast<uint8_t>(TrivelRound(nClock * kCodePerMhz));
      break;
    }
    case 1: {
      // The clock item 0 now in the record (during a save it was just
      // stored).
      const int nCurrent = GetIndex(nProfile, 0) + kClockLowest;
      int nClock;
      if (nIndex != 0) {
        nClock = kItem1Lowest + nIndex - 1;
      } else if (m_nReference == 0) {
        // Without a known reference the overclock is unknown: the PCIE
        // clock stays at its base.
        nClock = kItem1Lowest;
      } else if (nCurrent < m_nReference + 15) {
        nClock = 100;
      } else if (nCurrent < m_nReference + 40) {
        nClock = 112;
      } else {
        nClock = static_cast<int>((2 * (nCurrent - m_nReference) - 20) * 0.2 + 100.0);
      }
      // "Auto" follows item 0 but stays within the item's own range.
      nClock = Clamp(nClock, kItem1Lowest, kItem1Highest);
      const int nCode = TrivelRound(nClock * kCodePerMhz);
      pbyRecord[kClockItem1HighByte] =
          static_cast<uint8_t>((pbyRecord[kClockItem1HighByte] & 0xFC) | ((nCode >> 7) & 3));
      pbyRecord[kClockItem1LowByte] =
          static_cast<uint8_t>((pbyRecord[kClockItem1LowByte] & 1) | ((nCode * 2) & 0xFF));
      // The "Auto" flag is live, not part of the profile: written at once.
      uint8_t byFlags = ReadByte(mirel::kAddrLiveFlags, 0);
      byFlags = static_cast<uint8_t>((byFlags & ~1u) | (nIndex == 0 ? 1u : 0u));
      if (IControllerPort* pController = Controller())
        pController->SetAip(kCmdWriteBlock, mirel::kAddrLiveFlags, 1, &byFlags);
      break;
    }
    default:
      pbyRecord[kClockItem2Byte] =
          static_cast<uint8_t>((pbyRecord[kClockItem2Byte] & 0xCF) | ((nIndex & 3) << 4));
      break;
  }
  return true;
}

bool CClockItemSet::Commit(int nProfile) {
  if (!ValidProfile(nProfile)) return false;
  return CommitProfileRecord(nProfile, mirel::kAddrClockRecord, kClockRecordBytes,
                             m_abyRecords[nProfile]);
}

const uint8_t* CClockItemSet::Record(int nProfile) const {
  return ValidProfile(nProfile) ? m_abyRecords[nProfile] : nullptr;
}

void CClockItemSet::RestoreRecord(int nProfile, const std::vector<uint8_t>& vecRecord) {
  if (ValidProfile(nProfile) && vecRecord.size() == kClockRecordBytes)
    std::copy(vecRecord.begin(), vecRecord.end(), m_abyRecords[nProfile]);
}

// ----------------------------------------------------------- CVoltageItemSet --

CVoltageItemSet::CVoltageItemSet(IPluginSystem* pSystem) : CTrivelItemSet(pSystem) {}

bool CVoltageItemSet::Initialise() { return Bind(); }

bool CVoltageItemSet::Load() {
  m_byBaseVid = ReadByte(mirel::kAddrBaseVid, 0);
  for (int p = 0; p < kTrivelProfiles; ++p) {
    uint8_t abyRecord[kVoltageRecordBytes] = {};
    if (ReadProfileRecord(p, mirel::kAddrVoltageRecord, kVoltageRecordBytes, abyRecord))
      std::memcpy(m_abyRecords[p], abyRecord, kVoltageRecordBytes);
    else
      std::memset(m_abyRecords[p], 0, kVoltageRecordBytes);
  }

  m_aentries[0].clear();
  const float fVid = VidVolts(m_byBaseVid);
  for (int i = 0; i < kVoltSteps; ++i) {
    // The offsets are the decimal texts "0.000" .. "0.400".
    char szOffset[16];
    std::snprintf(szOffset, sizeof szOffset, "%.3f", 0.025 * i);
    const double dVolts = std::atof(szOffset) + fVid;
    m_aentries[0].push_back({Format("%.4f", dVolts), static_cast<uint8_t>(kVoltCodeStep * i)});
  }
  m_anDefault[0] = 0;
  GetString(kVoltNamePath, 0, &m_astrName[0], kVoltageNameChars);

  m_aentries[1].clear();
  for (const SFixedEntry& entry : kVolt1) m_aentries[1].push_back({entry.pszText, entry.byCode});
  m_anDefault[1] = GetInt(kVoltDefaultPath, 1);
  GetString(kVoltNamePath, 1, &m_astrName[1], kVoltageNameChars);

  m_aentries[2].clear();
  for (const SFixedEntry& entry : kVolt2) m_aentries[2].push_back({entry.pszText, entry.byCode});
  m_anDefault[2] = GetInt(kVoltDefaultPath, 2);
  GetString(kVoltNamePath, 2, &m_astrName[2], kVoltageNameChars);

  for (int n = 0; n < kTrivelItems; ++n)
    m_anDefault[n] = Clamp(m_anDefault[n], 0, static_cast<int>(m_aentries[n].size()) - 1);
  return true;
}

bool CVoltageItemSet::GetItemName(int nItem, std::string* pstrName) const {
  if (!ValidItem(nItem)) return false;
  *pstrName = m_astrName[nItem];
  return true;
}

int CVoltageItemSet::GetValueCount(int nItem) const {
  return ValidItem(nItem) ? static_cast<int>(m_aentries[nItem].size()) : 0;
}

bool CVoltageItemSet::GetValueText(int nItem, int nIndex, std::string* pstrText) const {
  if (!ValidItem(nItem) || nIndex < 0 || nIndex >= static_cast<int>(m_aentries[nItem].size()))
    return false;
  *pstrText = m_aentries[nItem][nIndex].strText;
  return true;
}

int CVoltageItemSet::GetDefaultIndex(int nItem) const {
  return ValidItem(nItem) ? m_anDefault[nItem] : 0;
}

int CVoltageItemSet::GetIndex(int nProfile, int nItem) {
  if (!ValidProfile(nProfile) || !ValidItem(nItem)) return 0;
  const uint8_t byCode = m_abyRecords[nProfile][kVoltCodeByte + nItem];
  const std::vector<SEntry>& entries = m_aentries[nItem];
  if (nItem == 0) {
    // The exact code, else the nearest one (the first of equally near).
    int nBest = 0, nBestDistance = 255;
    for (size_t i = 0; i < entries.size(); ++i) {
      const int nDistance = std::abs(int(entries[i].byCode) - int(byCode));
      if (nDistance == 0) return static_cast<int>(i);
      if (nDistance < nBestDistance) {
        nBestDistance = nDistance;
        nBest = static_cast<int>(i);
      }
    }
    return nBest;
  }
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].byCode == byCode) return static_cast<int>(i);
  return 0;
}

bool CVoltageItemSet::SetIndex(int nProfile, int nItem, int nIndex) {
  if (!ValidProfile(nProfile) || !ValidItem(nItem) || nIndex < 0 ||
      nIndex >= static_cast<int>(m_aentries[nItem].size()))
    return false;
  const SEntry& entry = m_aentries[nItem][nIndex];
  uint8_t* pbyRecord = m_abyRecords[nProfile];
  pbyRecord[kVoltCodeByte + nItem] = entry.byCode;

  int nFactor = 1, nDivisor = 0;
  ReadEqMap(nItem, &nFactor, &nDivisor);
  const float fVolts = static_cast<float>(std::atof(entry.strText.c_str()));
  const float fFactor = static_cast<float>(nFactor);
  const float fDivisor = static_cast<float>(nDivisor);
  // The limits lie at 80 % and 120 % of V x Divisor / Factor x 1000. In
  // single precision a Factor of 0 gives infinity, which the limit's
  // ceiling takes; Divisor 0 means no scaling and gives 0 whatever the
  // Factor (0 / 0 is no number). Negative results are no limit either: 0.
  auto Limit = [&](float fPerMille) -> uint8_t {
    if (nDivisor == 0) return 0;
    const double dLimit = static_cast<double>(fDivisor * fVolts * fPerMille / fFactor) * 0.01;
    if (std::isnan(dLimit) || dLimit <= 0) return 0;
    if (dLimit >= kLimitMax) return kLimitMax;
    const int nLimit = TrivelRound(dLimit);
    return static_cast<uint8_t>(Clamp(nLimit, 0, kLimitMax));
  };
  pbyRecord[kVoltLimitByte + 2 * nItem] = Limit(80000.0f);
  pbyRecord[kVoltLimitByte + 2 * nItem + 1] = Limit(120000.0f);
  return true;
}

bool CVoltageItemSet::Commit(int nProfile) {
  if (!ValidProfile(nProfile)) return false;
  return CommitProfileRecord(nProfile, mirel::kAddrVoltageRecord, kVoltageRecordBytes,
                             m_abyRecords[nProfile]);
}

const uint8_t* CVoltageItemSet::Record(int nProfile) const {
  return ValidProfile(nProfile) ? m_abyRecords[nProfile] : nullptr;
}

void CVoltageItemSet::RestoreRecord(int nProfile, const std::vector<uint8_t>& vecRecord) {
  if (ValidProfile(nProfile) && vecRecord.size() == kVoltageRecordBytes)
    std::copy(vecRecord.begin(), vecRecord.end(), m_abyRecords[nProfile]);
}
