// The main window's operations on whole information files: the two
// developer commands that convert between the plain text and the stored
// form, the checksum test of a download, the edition-date and program-
// version comparisons, and the refresh of the local copy in the system
// directory. The window calls them from its command handlers and the Live
// Update flow.
//
// Stored form: the text with every byte rotated left by one bit, followed
// by the low 16 bits of the sum of those bytes, little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileDialogPort.h"
#include "platform/Ports.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/liveupdate/BiosInfoFile.h"

// The oldest information-file reader version this program is; a file whose
// "programver" sorts after it needs a newer program.
constexpr const char* PROGRAM_VERSION = "1.5.0.5";

// Ids of the file names in the string table.
constexpr uint32_t kStrLocalInfoFile = 602;     // "Tessaro.sys"
constexpr uint32_t kStrDownloadInfoFile = 605;  // "temp.sys"
constexpr uint32_t kMsgCannotOpenFile = 757;

class CInfoFileOperations {
 public:
  // Dialog texts of the developer commands.
  static constexpr const char* kDialogTitle = "Information File";
  static constexpr const char* kPlainFilter =
      "Tessaro Information Files (*.ini)|*.ini|All Files (*.*)|*.*||";
  static constexpr const char* kStoredFilter =
      "Tessaro Information Encryption Files (*.sys)|*.sys|All Files (*.*)|*.*||";
  static constexpr const char* kPlainName = ".\\*.ini";
  static constexpr const char* kStoredName = ".\\Tessaro.sys";

  // strSystemDir and strTempDir end in a backslash; infoFile is the main
  // window's reader.
  // pDialogs may be null (no dialogs: the developer commands do nothing).
  CInfoFileOperations(IFileSystem& files, IFileDialogPort* pDialogs, CMessageHelper& messages,
                      CBiosInfoFile& infoFile, std::string strSystemDir, std::string strTempDir);

  // System directory + "Tessaro.sys".
  std::string LocalInfoFilePath() const;
  // Temporary directory + "temp.sys": where Live Update downloads to.
  std::string DownloadInfoFilePath() const;

  // Developer commands: plain text to stored form, and back.
  void EncodeInfoFile();
  void DecodeInfoFile();
  // True when the last two bytes of the file hold the 16-bit sum of the
  // bytes before them.
  bool VerifyInfoChecksum(const std::string& strPath);
  // Edition dates "X/Y/Z" compared number by number: -1, 0 or 1.
  static int CompareInfoDates(const std::string& strA, const std::string& strB);
  // Program versions compared as plain byte strings (so "1.5.0.10" sorts
  // before "1.5.0.5"): negative, 0 or positive.
  static int CompareProgramVersion(const std::string& strA, const std::string& strB);
  // Keeps the newer of the downloaded and the local file as the local one
  // and loads it into the main reader.
  bool RefreshLocalInfoFile(const std::string& strDownloadedPath);
  // False when the local file needs a newer program; otherwise loads it
  // into the main reader.
  bool CheckProgramVersion();

  // The stored form of plain bytes: rotated, checksum appended.
  static std::vector<uint8_t> ToStoredForm(const std::vector<uint8_t>& vecPlain);

 private:
  void Convert(bool bToStored);

  IFileSystem& m_files;
  IFileDialogPort* m_pDialogs;
  CMessageHelper& m_messages;
  CBiosInfoFile& m_InfoFile;
  std::string m_strSystemDir;
  std::string m_strTempDir;
};
