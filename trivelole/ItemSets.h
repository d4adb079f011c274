// The plug-in's clock and voltage items: the seven profile records of each
// kind read from the controller once, the value lists the page offers, and
// the conversions between a list index and the hardware codes in a record.
//
// Controller items (protocol/MirelIoctl.h): reference clock code 0x0104,
// base VID code 0x0106, live flags 0x0212 (bit 0: clock item 1 "Auto"),
// voltage record 0x0302 (49 bytes), clock record 0x036F (51 bytes), board
// code 0x090A, profile select 0x100B, profile commit 0x100C. Reads use
// command 0x1A, record writes 0x2A, byte writes 0x21.
//
// Clock record: byte 8 bits 4-5 item 2 index; byte 15 item 0 code
// (MHz = code x 2.6667); byte 23 bits 0-1 and byte 24 bits 1-7 item 1 code
// bits 7-8 and 0-6. Voltage record: bytes 1-3 item 0-2 codes; bytes
// 17+2n, 18+2n item n low and high limit.
//
// Every index a record gives is clamped into its value list, and every
// index a caller passes is checked: nothing reads outside a list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trivelole/PluginPorts.h"

constexpr int kTrivelProfiles = 7;
constexpr int kTrivelItems = 3;
constexpr uint32_t kClockRecordBytes = 51;
constexpr uint32_t kVoltageRecordBytes = 49;
// Longest item names and EQ map section names kept (characters); longer
// configuration text is cut.
constexpr size_t kClockNameChars = 31;
constexpr size_t kVoltageNameChars = 15;
constexpr size_t kEqSectionChars = 15;

// The single-precision rounding of the conversions: x as float, truncated
// toward zero, plus 1 when the remainder is at least 0.5.
int TrivelRound(double x);

// The configuration folder from the plug-in's registered path: lower case,
// every "common" replaced by "mirel", cut before the first "trivelole.dll";
// empty when that name does not occur.
std::string ConfigFolderFromRegisteredPath(const std::string& strRegistered);
// The board code bytes (high, low) as four upper-case hexadecimal digits.
std::string FormatBoardCode(uint8_t byHigh, uint8_t byLow);

// What both item sets share: the bound controller, the configuration
// folder and its files, and the record access.
class CTrivelItemSet {
 public:
  CTrivelItemSet(IPluginSystem* pSystem);
  virtual ~CTrivelItemSet();
  CTrivelItemSet(const CTrivelItemSet&) = delete;
  CTrivelItemSet& operator=(const CTrivelItemSet&) = delete;

  // Loads the controller library ("Load KT9020DLL failed." when it cannot
  // be), finds the configuration folder and loads "TrivelConfig.XML" from
  // it ("Load XML File Fail" when that fails; the set goes on). False only
  // when the library could not be loaded.
  bool Bind();

  // The n-th element of the path in the configuration; "GetString In XML
  // File Fail" (OK box) when absent, the text then empty.
  bool GetString(const std::string& strPath, int n, std::string* pstrText, size_t nMaxChars);
  // The n-th element's text as a decimal integer (sign and leading digits;
  // 0 when absent or without digits), no message.
  int GetInt(const std::string& strPath, int n);
  // The EQ map of voltage item n from "ULVOEQ.ini": Factor (default 1) and
  // Divisor (default 0) of the section the configuration names.
  void ReadEqMap(int nItem, int* pnFactor, int* pnDivisor);

  // Selects the profile (byte write to 0x100B), then reads nLength bytes at
  // wAddress. False when either fails.
  bool ReadProfileRecord(int nProfile, uint16_t wAddress, uint32_t nLength, uint8_t* pbyRecord);
  // Writes the record at wAddress, then commits it into the profile (byte
  // write to 0x100C). False when either fails.
  bool CommitProfileRecord(int nProfile, uint16_t wAddress, uint32_t nLength,
                           const uint8_t* pbyRecord);

  const std::string& XmlPath() const { return m_strXmlPath; }
  const std::string& EqMapPath() const { return m_strEqMapPath; }
  IControllerPort* Controller() const { return m_pController.get(); }

 protected:
  // One byte read with command 0x1A; byDefault when the read fails.
  uint8_t ReadByte(uint16_t wAddress, uint8_t byDefault = 0);
  IPluginSystem* m_pSystem;

 private:
  std::unique_ptr<IControllerPort> m_pController;
  std::unique_ptr<IXmlDocument> m_pConfig;
  std::string m_strXmlPath;
  std::string m_strEqMapPath;
};

// Clock items: 0 the external clock (slider, 133-600 MHz), 1 the PCIE
// clock ("Auto", 100-255 MHz), 2 the PCI clock (33.33/36.36/40.00).
class CClockItemSet : public CTrivelItemSet {
 public:
  explicit CClockItemSet(IPluginSystem* pSystem);

  // Binds (CTrivelItemSet::Bind) and reads the reference clock (0x0104).
  bool Initialise();
  // Reads the seven clock records ("Load Mode Data Error." for each that
  // fails; its record is then all zeros) and builds the lists, defaults
  // and names. Always true.
  bool Load();

  bool GetItemName(int nItem, std::string* pstrName) const;
  int GetValueCount(int nItem) const;
  // False for an item or index outside the lists.
  bool GetValueText(int nItem, int nIndex, std::string* pstrText) const;
  int GetDefaultIndex(int nItem) const;
  // The index of the profile's value, clamped into the item's list.
  int GetIndex(int nProfile, int nItem);
  // Stores the value into the profile's record in memory; clock item 1
  // also writes the live "Auto" flag at once. False for a bad profile, item
  // or index (nothing changed then).
  bool SetIndex(int nProfile, int nItem, int nIndex);
  bool Commit(int nProfile);

  // 133, 200, 266, or 0 when the controller's code is unknown.
  int ReferenceClock() const { return m_nReference; }
  const uint8_t* Record(int nProfile) const;
  // Puts back a copy of the profile's record taken with Record (memory only).
  void RestoreRecord(int nProfile, const std::vector<uint8_t>& vecRecord);

 private:
  int m_nReference = 0;
  int m_anDefault[kTrivelItems] = {};
  std::string m_astrName[kTrivelItems];
  std::vector<std::string> m_avalues[kTrivelItems];
  uint8_t m_abyRecords[kTrivelProfiles][kClockRecordBytes] = {};
};

// Voltage items: 0 the processor voltage (17 steps of 0.025 V above the
// base VID), 1 and 2 fixed lists with their own codes.
class CVoltageItemSet : public CTrivelItemSet {
 public:
  explicit CVoltageItemSet(IPluginSystem* pSystem);

  bool Initialise();  // binds
  // Reads the base VID (0x0106) and the seven voltage records (failures
  // silent; the record stays all zeros), builds lists, defaults and names.
  bool Load();

  bool GetItemName(int nItem, std::string* pstrName) const;
  int GetValueCount(int nItem) const;
  bool GetValueText(int nItem, int nIndex, std::string* pstrText) const;
  int GetDefaultIndex(int nItem) const;
  int GetIndex(int nProfile, int nItem);
  // Stores the entry's code and the limits scaled by the item's EQ map.
  bool SetIndex(int nProfile, int nItem, int nIndex);
  bool Commit(int nProfile);

  uint8_t BaseVid() const { return m_byBaseVid; }
  const uint8_t* Record(int nProfile) const;
  void RestoreRecord(int nProfile, const std::vector<uint8_t>& vecRecord);

 private:
  struct SEntry {
    std::string strText;
    uint8_t byCode;
  };
  uint8_t m_byBaseVid = 0;
  int m_anDefault[kTrivelItems] = {};
  std::string m_astrName[kTrivelItems];
  std::vector<SEntry> m_aentries[kTrivelItems];
  uint8_t m_abyRecords[kTrivelProfiles][kVoltageRecordBytes] = {};
};
