// The files a Live Update server offers, written into a local folder that a
// test FTP server then serves: the information file in its stored form at
// "pub/download/tessaro/Tessaro.sys" (and at the beta path
// "pub/download/tessaro/beta/Tessaro.sys" when asked), and every BIOS file
// in the folder of every site that holds files.
//
// A tree is described by SLiveUpdateInfo: the edition date, the oldest
// program version that may read it, the download sites (full directory
// URLs "ftp://host:port/dir/") and the listed models with their BIOS rows.
// BuildInfoText turns the description into the plain information text;
// WriteLiveUpdateTree writes the whole tree. The text is INI-like:
//
//   [GLOBAL]        date, programver, count, path01 ... (one per site)
//   [SUPPORT_MODEL] model01 ... naming the model sections
//   [<model>]       support (revision codes, newest first), files, versions
//                   (the offered codes), one key per offered code holding
//                   "file,checksum-hex,date,notes", then any extra keys
//
// A model with a board SID is listed the way the program matches boards
// with per-SID variants: a section of the model itself holding SID1, and
// the rows in the section named model + SID.
//
// Portable code (no system headers): the native tool and the Windows tests
// write their scenario trees with it alike.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One BIOS row of a model: a revision code the board may be updated to.
struct SLiveUpdateBios {
  std::string strRevision;        // key in the model section, listed in "versions"
  std::string strFile;            // file name on the sites; the download URL is site + name
  std::vector<uint8_t> vecImage;  // the file's bytes
  std::string strDate;            // build date, as the BIOS list shows it
  std::string strNotes;           // release notes
  // The checksum listed in the row; without an override the 16-bit
  // wrapping sum of vecImage, the sum the program checks the download
  // against.
  bool bChecksumOverride = false;
  uint16_t wChecksum = 0;
  // False: the row is listed, but no site holds the file.
  bool bOnSites = true;
};

struct SLiveUpdateModel {
  std::string strModel;  // as the running BIOS names it (no blanks)
  // Empty for a model matched by its name alone; otherwise the disk
  // controller's subsystem id (4 hexadecimal characters) of the variant.
  std::string strBoardSID;
  // Revision codes the service supports, newest first: a row is offered
  // when its code stands before the installed revision here. At most 3
  // characters each.
  std::vector<std::string> vecSupport;
  std::vector<SLiveUpdateBios> vecBios;  // in "versions" order
  // Further keys of the model section, written as given (the flash
  // restrictions such as "NoClearCMOS" = "1", "RebootMessage").
  std::vector<std::pair<std::string, std::string>> vecExtraKeys;
};

struct SLiveUpdateSite {
  std::string strUrl;  // "ftp://host[:port]/dir/", ending in '/'
  // False: the site is listed, but the tree puts no BIOS file in its folder.
  bool bHoldsFiles = true;
};

struct SLiveUpdateInfo {
  std::string strDate = "2004/6/21";          // edition date, year/month/day
  std::string strProgramVersion = "1.5.0.5";  // oldest program that may read the file
  std::vector<SLiveUpdateSite> vecSites;
  std::vector<SLiveUpdateModel> vecModels;
  // Where the stored information file goes besides the public path.
  bool bBetaCopy = false;
};

// The demo boards of the bench (sim/boards/demo, sim/boards/ami) as the
// program identifies them, and the update the bench builds for each.
struct SLiveUpdateDemoBoard {
  const char* pszName;             // "award" or "ami"
  const char* pszModel;            // the model the program reads from the running BIOS
  const char* pszInstalled;        // the revision the board runs
  const char* pszNewer;            // the revision of the board's update.bin
  const char* pszFile;             // the name the site offers update.bin under
  const char* pszDate;             // update.bin's BIOS date
  const char* pszRunningIdentity;  // text the running image (flash.bin) carries
  const char* pszUpdateIdentity;   // text update.bin carries
  size_t nRomBytes;                // ROM size, the only file size the program loads
};

// Null for an unknown name.
const SLiveUpdateDemoBoard* FindLiveUpdateDemoBoard(const std::string& strName);

// The demo tree of a board: its model listed with the newer BIOS (vecImage,
// checksum computed) on the one site "ftp://<strHostPort>/pub/bios/", which
// holds the file. False, with the reason, when vecImage is not the board's
// update (size or identity text differ).
bool BuildLiveUpdateDemoInfo(const SLiveUpdateDemoBoard& board, const std::string& strHostPort,
                             const std::vector<uint8_t>& vecImage, SLiveUpdateInfo* pInfo,
                             std::string* pstrError);

// Paths of the information file below the tree's root, '/'-separated.
constexpr const char* kLiveUpdateInfoPath = "pub/download/tessaro/Tessaro.sys";
constexpr const char* kLiveUpdateBetaInfoPath = "pub/download/tessaro/beta/Tessaro.sys";

// The 16-bit wrapping sum of all bytes: what the program compares with the
// checksum field of a BIOS row after it loaded the downloaded file.
uint16_t LiveUpdateBiosChecksum(const std::vector<uint8_t>& vecImage);

// The row's value as the model section lists it: "file,XXXX,date,notes"
// (checksum as 4 upper-case hexadecimal digits).
std::string LiveUpdateBiosEntry(const SLiveUpdateBios& bios);

// The plain information text, lines ending in CR LF. False, with the reason
// in *pstrError, for a description the program would read differently
// from what it says: a line break, a zero or '[' in a key or value, a ','
// in a row's file name or date (the notes may hold commas), a revision
// code longer than 3 characters or holding ',', a model name with blanks,
// a value longer than the program's 255-character buffers, a site URL
// that is no "ftp://host/dir/" directory.
bool BuildInfoText(const SLiveUpdateInfo& info, std::string* pstrText, std::string* pstrError);

// The folder a site URL names below the tree's root ("pub/bios/" for
// "ftp://127.0.0.1:2121/pub/bios/"); false for a URL that is not an FTP
// directory or whose path leaves the root ("..").
bool LiveUpdateSiteFolder(const std::string& strUrl, std::string* pstrFolder);

// The stored form of a plain information text: every byte rotated left by
// one bit, the 16-bit sum of those bytes appended little-endian. For
// scenarios that write a text by hand (or damage the stored bytes).
std::vector<uint8_t> LiveUpdateStoredForm(const std::string& strText);

// Writes a file below strRoot, creating its folders; strRelative is
// '/'-separated. False, with the reason, when it cannot.
bool WriteLiveUpdateFile(const std::string& strRoot, const std::string& strRelative,
                         const std::vector<uint8_t>& vecData, std::string* pstrError);

// Builds the text and writes the whole tree below strRoot: the stored
// information file (and its beta copy when asked), then every row's file
// into the folder of every site that holds files. False, with the reason,
// when the description is refused or a file cannot be written.
bool WriteLiveUpdateTree(const SLiveUpdateInfo& info, const std::string& strRoot,
                         std::string* pstrError);
