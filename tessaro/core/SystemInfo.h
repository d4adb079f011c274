// Operating-system facts, the satellite language code, restart, the
// directory functions and the WOW64 test.
#pragma once

#include <cstdint>
#include <string>

#include "platform/DirectIoPort.h"
#include "platform/Ports.h"

struct SLanguageCode {
  uint16_t wLangId;
  const char* pszCode;
};

// The satellite language table: full language id (primary and
// sub-language) to the three-letter code of the satellite library name.
const SLanguageCode* GetLanguageTable(size_t* pnCount);

// True when IsWow64Process exists and reports the process as WOW64.
bool IsWow64(ISystem& system);

class CSystemInfo {
 public:
  CSystemInfo(ISystem& system, IPowerPort& power, IUiPort& ui);

  bool IsWin9x() const { return m_bWin9x; }
  bool IsWinNT() const { return m_bWinNT; }
  // The code for the user's language id, empty when the table lacks it.
  std::string GetLanguageCode() const;
  // Restarts Windows: NT family with the shutdown privilege (reboot and
  // force), otherwise reboot only. Without the privilege it says so in a
  // plain box and Windows keeps running.
  void Reboot();

  const SOsVersion& GetVersionRecord() const { return m_version; }

  // Flags in the order they are derived; all false at first.
  bool m_bWin95 = false;
  bool m_bWin98 = false;
  bool m_bWinMe = false;
  bool m_bWin9xOther = false;
  bool m_bWin9x = false;
  bool m_bWin9xFamily = false;  // set together with m_bWin9x
  bool m_bWinNT = false;
  bool m_bWin2000 = false;
  bool m_bWinXP = false;
  bool m_bWinXPWow64 = false;
  bool m_bWin2003 = false;
  bool m_bWin2003Family = false;  // set together with m_bWin2003
  bool m_bVista = false;
  bool m_bVistaWow64 = false;
  bool m_bWow64 = false;
  std::string m_strServicePack;

 private:
  ISystem& m_system;
  IPowerPort& m_power;
  IUiPort& m_ui;
  SOsVersion m_version;
  const SLanguageCode* m_pLanguages;
  size_t m_nLanguages;
};

// The direct-I/O port a program may hand to its engines: the systems
// CSystemInfo counts as the Windows 9x family let a program execute IN and
// OUT and read the first megabyte itself, and have no driver service for
// it; on every other system both fault, so there the answer is null and
// the engines go through their drivers.
IDirectIoPort* SelectDirectIoPort(const CSystemInfo& info, IDirectIoPort& port);

// Directory functions: each fills a caller buffer of nSize characters
// (256 in the program) with the directory ending in a backslash and
// returns its length; 0 on failure or when the buffer is too small, with
// an empty text left in the buffer.
constexpr int kDirectoryBufferSize = 256;
int GetProgramDirectory(ISystem& system, char* pszBuffer, int nSize);
int GetSystemDirectoryPath(ISystem& system, char* pszBuffer, int nSize);
int GetTempDirectory(ISystem& system, char* pszBuffer, int nSize);
int GetCurrentDirectoryPath(ISystem& system, char* pszBuffer, int nSize);
