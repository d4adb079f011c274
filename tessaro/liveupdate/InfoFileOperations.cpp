#include "tessaro/liveupdate/InfoFileOperations.h"

#include <cstdio>

#include "platform/ByteView.h"
#include "tessaro/core/Switches.h"
#include "tessaro/liveupdate/TextRules.h"

namespace {

// The low 16 bits of the byte sum that follows the stored text.
uint32_t ByteSum(const uint8_t* pData, size_t nLength) {
  uint32_t dwSum = 0;
  for (size_t i = 0; i < nLength; ++i) dwSum += pData[i];
  return dwSum;
}

// Number i (0, 1, 2) of a date "X/Y/Z", read as atoi reads it; missing
// parts read as 0.
void SplitDate(const std::string& strDate, int anParts[3]) {
  std::string_view rest(strDate);
  for (int i = 0; i < 3; ++i) {
    size_t nSlash = i < 2 ? rest.find('/') : std::string_view::npos;
    anParts[i] = AtoI(rest.substr(0, nSlash));
    rest = nSlash == std::string_view::npos ? std::string_view() : rest.substr(nSlash + 1);
  }
}

}  // namespace

CInfoFileOperations::CInfoFileOperations(IFileSystem& files, IFileDialogPort* pDialogs,
                                         CMessageHelper& messages, CBiosInfoFile& infoFile,
                                         std::string strSystemDir, std::string strTempDir)
    : m_files(files),
      m_pDialogs(pDialogs),
      m_messages(messages),
      m_InfoFile(infoFile),
      m_strSystemDir(std::move(strSystemDir)),
      m_strTempDir(std::move(strTempDir)) {}

std::string CInfoFileOperations::LocalInfoFilePath() const {
  return m_strSystemDir + m_messages.Text(kStrLocalInfoFile);
}

std::string CInfoFileOperations::DownloadInfoFilePath() const {
  return m_strTempDir + m_messages.Text(kStrDownloadInfoFile);
}

std::vector<uint8_t> CInfoFileOperations::ToStoredForm(const std::vector<uint8_t>& vecPlain) {
  std::vector<uint8_t> vecStored(vecPlain);
  CBiosInfoFile::Encode(vecStored.data(), vecStored.size());
  uint32_t dwSum = ByteSum(vecStored.data(), vecStored.size());
  vecStored.push_back(static_cast<uint8_t>(dwSum & 0xFF));
  vecStored.push_back(static_cast<uint8_t>((dwSum >> 8) & 0xFF));
  return vecStored;
}

void CInfoFileOperations::Convert(bool bToStored) {
  const WindowRef hOwner = m_messages.GetOwner();
  const char* pszSourceFilter = bToStored ? kPlainFilter : kStoredFilter;
  const char* pszSourceName = bToStored ? kPlainName : kStoredName;
  const char* pszTargetFilter = bToStored ? kStoredFilter : kPlainFilter;
  const char* pszTargetName = bToStored ? kStoredName : kPlainName;

  if (!m_pDialogs) return;
  std::string strSource;
  if (!m_pDialogs->ChooseOpenFile(
          hOwner, SFileDialogRequest::Open(pszSourceFilter, kDialogTitle, pszSourceName),
          &strSource))
    return;
  // A file beyond the limit is refused rather than cut: a cut file would
  // be written out as if it were whole.
  std::vector<uint8_t> vecData;
  if (!ReadWholeFile(m_files, strSource, CBiosInfoFile::kMaxFileSize, &vecData)) return;
  std::string strTarget;
  if (!m_pDialogs->ChooseSaveFile(
          hOwner, SFileDialogRequest::Save(pszTargetFilter, kDialogTitle, pszTargetName),
          &strTarget))
    return;
  if (bToStored) {
    vecData = ToStoredForm(vecData);
  } else {
    // The checksum bytes are decoded and written with the rest.
    CBiosInfoFile::Decode(vecData.data(), vecData.size());
  }
  WriteWholeFile(m_files, strTarget, vecData.data(), vecData.size());
}

void CInfoFileOperations::EncodeInfoFile() { Convert(true); }

void CInfoFileOperations::DecodeInfoFile() { Convert(false); }

bool CInfoFileOperations::VerifyInfoChecksum(const std::string& strPath) {
  if (!m_files.Open(strPath, EFileMode::Read)) {
    if (g_bDebug) m_messages.ShowInfo(strPath, kCaptionTessaro);
    m_messages.ShowError(kMsgCannotOpenFile, kCaptionTessaro);
    return false;
  }
  std::vector<uint8_t> vecData;
  if (!ReadWholeFile(m_files, strPath, CBiosInfoFile::kMaxFileSize, &vecData)) return false;
  // Fewer than two bytes hold no checksum at all.
  const size_t nLength = vecData.size();
  CByteView view(vecData.data(), nLength);
  uint16_t wStored = 0;
  if (nLength < 2 || !view.U16(nLength - 2, &wStored)) return false;
  const uint32_t dwSum = ByteSum(vecData.data(), nLength - 2);
  if ((dwSum & 0xFFFF) == wStored) return true;
  if (g_bDebug) {
    char sz[256];
    std::snprintf(sz, sizeof(sz),
                  "dwChecksum : %08X\nFile Checksum : %04X\nChecksum In File : %04X\n"
                  "pcBuffer[dwLen - 1] : %02X\npcBuffer[dwLen - 2] : %02X",
                  static_cast<unsigned>(dwSum), static_cast<unsigned>(dwSum & 0xFFFF),
                  static_cast<unsigned>(wStored), static_cast<unsigned>(vecData[nLength - 1]),
                  static_cast<unsigned>(vecData[nLength - 2]));
    m_messages.ShowInfo(std::string(sz), kCaptionTessaro);
  }
  return false;
}

int CInfoFileOperations::CompareInfoDates(const std::string& strA, const std::string& strB) {
  if (strA.empty() || strB.empty()) return strA.empty() == strB.empty() ? 0 : strA.empty() ? -1 : 1;
  int anA[3], anB[3];
  SplitDate(strA, anA);
  SplitDate(strB, anB);
  for (int i = 0; i < 3; ++i)
    if (anA[i] != anB[i]) return anA[i] < anB[i] ? -1 : 1;
  return 0;
}

int CInfoFileOperations::CompareProgramVersion(const std::string& strA, const std::string& strB) {
  if (strA.empty()) return strB.empty() ? 0 : -1;
  if (strB.empty()) return 1;
  int n = strA.compare(strB);  // byte-wise, bytes as unsigned
  return n < 0 ? -1 : n > 0 ? 1 : 0;
}

bool CInfoFileOperations::RefreshLocalInfoFile(const std::string& strDownloadedPath) {
  CBiosInfoFile downloaded(m_files);
  if (!downloaded.Load(strDownloadedPath, INFO_DECODE)) return false;
  char szNewDate[256];
  downloaded.GetString("GLOBAL", "date", "", szNewDate, sizeof(szNewDate));

  const std::string strLocal = LocalInfoFilePath();
  CBiosInfoFile local(m_files);
  char szLocalDate[256] = "";
  const bool bLocalLoaded = local.Load(strLocal, INFO_DECODE);
  if (bLocalLoaded) local.GetString("GLOBAL", "date", "", szLocalDate, sizeof(szLocalDate));

  if (!bLocalLoaded || CompareInfoDates(szLocalDate, szNewDate) < 0) {
    // The new file is copied beside the local one and renamed over it, so
    // that a complete local file exists at every moment: a failed copy
    // leaves the old one in place.
    const std::string strPending = strLocal + ".new";
    bool bReplaced =
        m_files.Copy(strDownloadedPath, strPending, false) && m_files.Move(strPending, strLocal);
    if (!bReplaced) {
      m_files.Delete(strPending);
      // The window keeps working with the local file it has, but the
      // refresh did not happen and says so.
      m_InfoFile.Load(strLocal, INFO_DECODE);
      return false;
    }
  }
  return m_InfoFile.Load(strLocal, INFO_DECODE);
}

bool CInfoFileOperations::CheckProgramVersion() {
  const std::string strLocal = LocalInfoFilePath();
  CBiosInfoFile local(m_files);
  if (!local.Load(strLocal, INFO_DECODE)) return false;
  char szProgramVer[256];
  local.GetString("GLOBAL", "programver", "", szProgramVer, sizeof(szProgramVer));
  if (CompareProgramVersion(PROGRAM_VERSION, szProgramVer) < 0) return false;
  return m_InfoFile.Load(strLocal, INFO_DECODE);
}
