// The information-file reader over arbitrary bytes: loaded in each mode,
// looked up with the keys the program uses and with names taken from the
// input itself; every indexed lookup must agree with the plain line walk.
// The same bytes then go through board matching and the codec round trip.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "platform/fake/FakeDeviceEnumPort.h"
#include "platform/fake/FakeWmiPort.h"
#include "platform/fake/Fakes.h"
#include "tessaro/liveupdate/BiosInfoFile.h"
#include "tessaro/liveupdate/BoardIdentity.h"

namespace {

void Check(bool b) {
  if (!b) abort();
}

void CompareLookup(const CBiosInfoFile& file, const std::string& strSection,
                   const std::string& strKey) {
  std::string_view indexed;
  std::string strScanned;
  bool bIndexed = file.Lookup(strSection, strKey, &indexed);
  bool bScanned = file.LookupByScan(strSection, strKey, &strScanned);
  Check(bIndexed == bScanned);
  if (bIndexed) Check(indexed == strScanned);
  char szSmall[7];
  file.GetString(strSection.c_str(), strKey.c_str(), "default", szSmall, sizeof(szSmall));
  Check(szSmall[sizeof(szSmall) - 1] == 0 || strlen(szSmall) < sizeof(szSmall));
  file.GetInt(strSection.c_str(), strKey.c_str(), 0);
}

// Section names and keys as the input spells them: every header and every
// key of its first lines.
void NamesFromText(const CBiosInfoFile& file, std::vector<std::string>* pSections,
                   std::vector<std::string>* pKeys) {
  std::string strLine;
  long nNext = 0;
  for (int n = 0; n < 64 && nNext >= 0; ++n) {
    nNext = file.ReadLine(static_cast<size_t>(nNext), &strLine);
    std::string_view name;
    if (CBiosInfoFile::ParseSection(strLine, &name)) pSections->emplace_back(name);
    if (CBiosInfoFile::ParseKey(strLine, &name)) pKeys->emplace_back(name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFakeFileSystem fs;
  CBiosInfoFile file(fs);
  static const char* const kSections[] = {"GLOBAL", "SUPPORT_MODEL", "AB9", ""};
  static const char* const kKeys[] = {
      "count",    "date",  "programver", "path01",        "model01", "support",
      "versions", "files", "SID1",       "RebootMessage", ""};
  for (int nMode : {INFO_PLAIN, INFO_DECODE, INFO_ENCODE}) {
    if (!file.LoadBytes(data, size, nMode)) return 0;
    std::vector<std::string> vecSections(std::begin(kSections), std::end(kSections));
    std::vector<std::string> vecKeys(std::begin(kKeys), std::end(kKeys));
    NamesFromText(file, &vecSections, &vecKeys);
    for (const std::string& strSection : vecSections)
      for (const std::string& strKey : vecKeys) CompareLookup(file, strSection, strKey);
  }

  // Board matching over the plain text, with the model and revision taken
  // from the list itself so that the deeper paths are reached.
  file.LoadBytes(data, size, INFO_PLAIN);
  std::string strEntry;
  file.GetString("SUPPORT_MODEL", "model01", "", &strEntry);
  std::string strSupport;
  file.GetString(strEntry.c_str(), "support", "", &strSupport);
  CFakeDeviceEnumPort devices;
  CFakeWmiPort wmi;
  CFakeUi ui;
  SBoardIdentityPorts ports;
  ports.pFiles = &fs;
  ports.pDevices = &devices;
  ports.pWmi = &wmi;
  ports.pUi = &ui;
  CFixedBiosIdentity bios(EBiosFamily::Award, strEntry.substr(0, strEntry.find(' ')),
                          strSupport.substr(strSupport.rfind(',') + 1));
  CBoardIdentity board(ports, bios, file, "local.sys", false);
  board.m_strBoardSID = size > 4 ? std::string(reinterpret_cast<const char*>(data), 4) : "";
  int nEntries = 0;
  if (board.BuildUpdateList(bios.m_strModel, &nEntries) == 0) {
    Check(nEntries > 0 && nEntries <= static_cast<int>(CBoardIdentity::kMaxBiosEntries));
  }
  Check(board.m_arrSupport.size() <= CBoardIdentity::kMaxSupportCodes);

  // The codec round trip.
  std::vector<uint8_t> vec(data, data + size);
  CBiosInfoFile::Encode(vec.data(), vec.size());
  CBiosInfoFile::Decode(vec.data(), vec.size());
  Check(std::equal(vec.begin(), vec.end(), data));
  return 0;
}
