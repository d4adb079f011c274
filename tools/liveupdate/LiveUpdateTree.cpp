#include "tools/liveupdate/LiveUpdateTree.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "tessaro/liveupdate/InfoFileOperations.h"

namespace {

// The program reads these values into 256-byte buffers.
constexpr size_t kMaxShortValue = 255;
// The program's reader gives up on longer lines.
constexpr size_t kMaxLine = 1025;
// Revision codes of the support list are split on the assumption that none
// is longer.
constexpr size_t kMaxCodeChars = 3;

const char kLineEnd[] = "\r\n";

// Collects the text and the first reason to refuse it.
class CInfoWriter {
 public:
  bool Failed() const { return !m_strError.empty(); }
  const std::string& Error() const { return m_strError; }
  const std::string& Text() const { return m_strText; }

  bool Fail(const std::string& strWhy) {
    if (m_strError.empty()) m_strError = strWhy;
    return false;
  }

  void Section(const std::string& strName) {
    if (!CheckName(strName, "section name")) return;
    m_strText += "[" + strName + "]" + kLineEnd;
  }

  // nMaxValue: the buffer the program reads this value into, less its
  // terminating zero; 0 for values only the line length limits.
  bool Key(const std::string& strKey, const std::string& strValue, size_t nMaxValue) {
    if (strKey.empty() || strKey.find('=') != std::string::npos || !CheckText(strKey, strKey))
      return Fail("key '" + strKey + "' is not a plain key");
    if (!CheckText(strValue, strKey)) return false;
    if (nMaxValue && strValue.size() > nMaxValue)
      return Fail("value of '" + strKey + "' is longer than " + std::to_string(nMaxValue) +
                  " characters");
    if (strKey.size() + 1 + strValue.size() > kMaxLine)
      return Fail("line of '" + strKey + "' is longer than " + std::to_string(kMaxLine) +
                  " characters");
    m_strText += strKey + "=" + strValue + kLineEnd;
    return true;
  }

  // No line breaks (they split the line), no zero (it ends the text), no
  // '[' (a line holding "[...]" is taken for a section header).
  bool CheckText(const std::string& strText, const std::string& strWhere) {
    if (strText.find_first_of(std::string("\r\n[", 3) + '\0') != std::string::npos)
      return Fail("'" + strWhere + "' holds a line break, a zero or '['");
    return true;
  }

  // Section and model names: the first token of a list entry, and the text
  // between '[' and ']'.
  bool CheckName(const std::string& strName, const char* pszWhat) {
    if (strName.empty() || strName.find_first_of(" \t]=,") != std::string::npos)
      return Fail(std::string(pszWhat) + " '" + strName + "' is empty or holds a blank, ']', '=' " +
                  "or ','");
    return CheckText(strName, strName);
  }

  bool CheckCode(const std::string& strCode) {
    if (strCode.empty() || strCode.size() > kMaxCodeChars || strCode.find(',') != std::string::npos)
      return Fail("revision code '" + strCode + "' is not 1 to 3 characters without ','");
    return true;
  }

  // A field of a BIOS row before the notes: the program splits the row at
  // ','.
  bool CheckField(const std::string& strField, const char* pszWhat) {
    if (strField.find(',') != std::string::npos)
      return Fail(std::string(pszWhat) + " '" + strField + "' holds ','");
    return true;
  }

 private:
  std::string m_strText;
  std::string m_strError;
};

std::string Numbered(const char* pszFormat, size_t n) {
  char sz[32];
  std::snprintf(sz, sizeof(sz), pszFormat, static_cast<int>(n));
  return sz;
}

std::string Joined(const std::vector<std::string>& vec) {
  std::string str;
  for (size_t i = 0; i < vec.size(); ++i) str += (i ? "," : "") + vec[i];
  return str;
}

// A '/'-separated path that stays below the root it is appended to.
bool IsInsideRoot(const std::string& strRelative) {
  if (strRelative.empty() || strRelative[0] == '/' || strRelative.find('\\') != std::string::npos ||
      strRelative.find(':') != std::string::npos)
    return false;
  size_t nStart = 0;
  while (nStart <= strRelative.size()) {
    size_t nEnd = strRelative.find('/', nStart);
    if (nEnd == std::string::npos) nEnd = strRelative.size();
    if (strRelative.compare(nStart, nEnd - nStart, "..") == 0) return false;
    nStart = nEnd + 1;
  }
  return true;
}

void WriteModel(CInfoWriter& writer, const SLiveUpdateModel& model) {
  const std::string strSection = model.strModel + model.strBoardSID;
  if (!model.strBoardSID.empty()) {
    writer.CheckName(model.strBoardSID, "board SID");
    // The model's own section only sends the match on to the variant.
    writer.Section(model.strModel);
    writer.Key("SID1", model.strBoardSID, 0);
  }
  writer.Section(strSection);
  for (const std::string& strCode : model.vecSupport) writer.CheckCode(strCode);
  writer.Key("support", Joined(model.vecSupport), kMaxShortValue);
  writer.Key("files", std::to_string(model.vecBios.size()), 0);
  std::vector<std::string> vecCodes;
  for (const SLiveUpdateBios& bios : model.vecBios) {
    writer.CheckCode(bios.strRevision);
    vecCodes.push_back(bios.strRevision);
  }
  writer.Key("versions", Joined(vecCodes), kMaxShortValue);
  for (const SLiveUpdateBios& bios : model.vecBios) {
    writer.CheckField(bios.strFile, "file name");
    writer.CheckField(bios.strDate, "date");
    // The notes are the row's last field: the program takes everything
    // after the third ',' as the notes, commas included.
    if (bios.strFile.empty() || !IsInsideRoot(bios.strFile) ||
        bios.strFile.find('/') != std::string::npos)
      writer.Fail("file name '" + bios.strFile + "' is no plain file name");
    writer.Key(bios.strRevision, LiveUpdateBiosEntry(bios), kMaxShortValue);
  }
  for (const auto& key : model.vecExtraKeys) writer.Key(key.first, key.second, 0);
}

bool Contains(const std::vector<uint8_t>& vec, const char* pszText) {
  const std::string_view text(pszText);
  const std::string_view data(reinterpret_cast<const char*>(vec.data()), vec.size());
  return data.find(text) != std::string_view::npos;
}

const SLiveUpdateDemoBoard kDemoBoards[] = {
    // Award: model and revision are the last two fields of the BIOS id
    // "6A79AK0EC-00-KT9S-F1".
    {"award", "KT9S", "F1", "F2", "KT9SF2.BIN", "06/20/2004", "-KT9S-F1", "-KT9S-F2", 512 * 1024},
    // AMI: the model and revision fields of the BIOS tag "_TG_P4X00.01".
    {"ami", "P4X00", "01", "02", "P4X0002.ROM", "03/14/27", "_TG_P4X00.01", "_TG_P4X00.02",
     1024 * 1024},
};

}  // namespace

const SLiveUpdateDemoBoard* FindLiveUpdateDemoBoard(const std::string& strName) {
  for (const SLiveUpdateDemoBoard& board : kDemoBoards)
    if (strName == board.pszName) return &board;
  return nullptr;
}

bool BuildLiveUpdateDemoInfo(const SLiveUpdateDemoBoard& board, const std::string& strHostPort,
                             const std::vector<uint8_t>& vecImage, SLiveUpdateInfo* pInfo,
                             std::string* pstrError) {
  // A file of another board or size would be listed for this board and
  // refused by the program only after the download.
  if (vecImage.size() != board.nRomBytes || !Contains(vecImage, board.pszUpdateIdentity)) {
    if (pstrError)
      *pstrError = std::string("not the ") + board.pszName + " demo board's update (" +
                   std::to_string(board.nRomBytes) + " bytes holding \"" + board.pszUpdateIdentity +
                   "\")";
    return false;
  }
  SLiveUpdateBios bios;
  bios.strRevision = board.pszNewer;
  bios.strFile = board.pszFile;
  bios.vecImage = vecImage;
  bios.strDate = board.pszDate;
  bios.strNotes = "Newer BIOS for the demo board";

  SLiveUpdateModel model;
  model.strModel = board.pszModel;
  model.vecSupport = {board.pszNewer, board.pszInstalled};
  model.vecBios.push_back(std::move(bios));

  SLiveUpdateInfo info;
  info.vecSites.push_back({"ftp://" + strHostPort + "/pub/bios/", true});
  info.vecModels.push_back(std::move(model));
  *pInfo = std::move(info);
  return true;
}

uint16_t LiveUpdateBiosChecksum(const std::vector<uint8_t>& vecImage) {
  uint16_t wSum = 0;
  for (uint8_t by : vecImage) wSum = static_cast<uint16_t>(wSum + by);
  return wSum;
}

std::string LiveUpdateBiosEntry(const SLiveUpdateBios& bios) {
  char szChecksum[8];
  std::snprintf(szChecksum, sizeof(szChecksum), "%04X",
                bios.bChecksumOverride ? bios.wChecksum : LiveUpdateBiosChecksum(bios.vecImage));
  return bios.strFile + "," + szChecksum + "," + bios.strDate + "," + bios.strNotes;
}

bool LiveUpdateSiteFolder(const std::string& strUrl, std::string* pstrFolder) {
  static const char kScheme[] = "ftp://";
  if (strUrl.compare(0, sizeof(kScheme) - 1, kScheme) != 0) return false;
  const size_t nPath = strUrl.find('/', sizeof(kScheme) - 1);
  // A host, then a directory path ending in '/'; the root itself is "/".
  if (nPath == std::string::npos || nPath == sizeof(kScheme) - 1 || strUrl.back() != '/')
    return false;
  std::string strFolder = strUrl.substr(nPath + 1);
  if (!strFolder.empty() && !IsInsideRoot(strFolder)) return false;
  *pstrFolder = strFolder;
  return true;
}

bool BuildInfoText(const SLiveUpdateInfo& info, std::string* pstrText, std::string* pstrError) {
  CInfoWriter writer;
  writer.Section("GLOBAL");
  writer.Key("date", info.strDate, kMaxShortValue);
  writer.Key("programver", info.strProgramVersion, kMaxShortValue);
  writer.Key("count", std::to_string(info.vecSites.size()), 0);
  for (size_t i = 0; i < info.vecSites.size(); ++i) {
    std::string strFolder;
    if (!LiveUpdateSiteFolder(info.vecSites[i].strUrl, &strFolder))
      writer.Fail("site '" + info.vecSites[i].strUrl + "' is no ftp://host/dir/ directory");
    writer.Key(Numbered("path%02d", i + 1), info.vecSites[i].strUrl, kMaxShortValue);
  }
  writer.Section("SUPPORT_MODEL");
  size_t n = 0;
  for (const SLiveUpdateModel& model : info.vecModels) {
    writer.CheckName(model.strModel, "model");
    writer.Key(Numbered("model%02d", ++n), model.strModel, kMaxShortValue);
    // A variant is reached through a second entry spelling model and SID.
    if (!model.strBoardSID.empty())
      writer.Key(Numbered("model%02d", ++n), model.strModel + model.strBoardSID, kMaxShortValue);
  }
  for (const SLiveUpdateModel& model : info.vecModels) WriteModel(writer, model);
  if (writer.Failed()) {
    if (pstrError) *pstrError = writer.Error();
    return false;
  }
  *pstrText = writer.Text();
  return true;
}

std::vector<uint8_t> LiveUpdateStoredForm(const std::string& strText) {
  return CInfoFileOperations::ToStoredForm(std::vector<uint8_t>(strText.begin(), strText.end()));
}

bool WriteLiveUpdateFile(const std::string& strRoot, const std::string& strRelative,
                         const std::vector<uint8_t>& vecData, std::string* pstrError) {
  auto Fail = [&](const std::string& strWhy) {
    if (pstrError) *pstrError = strWhy;
    return false;
  };
  if (!IsInsideRoot(strRelative)) return Fail("'" + strRelative + "' leaves the tree's root");
  const std::filesystem::path path = std::filesystem::path(strRoot) / strRelative;
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  if (error) return Fail("cannot create " + path.parent_path().string() + ": " + error.message());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file)
    file.write(reinterpret_cast<const char*>(vecData.data()),
               static_cast<std::streamsize>(vecData.size()));
  file.close();
  if (!file) return Fail("cannot write " + path.string());
  return true;
}

bool WriteLiveUpdateTree(const SLiveUpdateInfo& info, const std::string& strRoot,
                         std::string* pstrError) {
  std::string strText;
  if (!BuildInfoText(info, &strText, pstrError)) return false;
  const std::vector<uint8_t> vecStored = LiveUpdateStoredForm(strText);
  if (!WriteLiveUpdateFile(strRoot, kLiveUpdateInfoPath, vecStored, pstrError)) return false;
  if (info.bBetaCopy &&
      !WriteLiveUpdateFile(strRoot, kLiveUpdateBetaInfoPath, vecStored, pstrError))
    return false;
  for (const SLiveUpdateSite& site : info.vecSites) {
    if (!site.bHoldsFiles) continue;
    std::string strFolder;
    LiveUpdateSiteFolder(site.strUrl, &strFolder);  // checked by BuildInfoText
    for (const SLiveUpdateModel& model : info.vecModels)
      for (const SLiveUpdateBios& bios : model.vecBios)
        if (bios.bOnSites &&
            !WriteLiveUpdateFile(strRoot, strFolder + bios.strFile, bios.vecImage, pstrError))
          return false;
  }
  return true;
}
