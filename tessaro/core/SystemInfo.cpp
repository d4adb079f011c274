#include "tessaro/core/SystemInfo.h"

#include <cstring>

#include "platform/WinTypes.h"

namespace {

const SLanguageCode s_aLanguages[] = {
    {0x042D, "BAQ"}, {0x0403, "CAT"}, {0x0804, "CHS"}, {0x0404, "CHT"}, {0x0405, "CSY"},
    {0x0406, "DAN"}, {0x0413, "NLD"}, {0x0409, "ENU"}, {0x040B, "FIN"}, {0x0C0C, "FRC"},
    {0x040C, "FRA"}, {0x0407, "DEU"}, {0x0408, "ELL"}, {0x040E, "HUN"}, {0x0421, "IND"},
    {0x0410, "ITA"}, {0x0411, "JPN"}, {0x0412, "KRN"}, {0x0414, "NOR"}, {0x0415, "PLK"},
    {0x0416, "PTB"}, {0x0816, "PTG"}, {0x0419, "RUS"}, {0x041B, "SKY"}, {0x0424, "SLV"},
    {0x080A, "ESM"}, {0x040A, "ESP"}, {0x041D, "SVE"}, {0x041E, "THA"}, {0x041F, "TUR"},
};

// Copies strRaw plus a trailing backslash (unless it already ends in one)
// into the buffer when it fits.
int FillDirectory(bool bOk, std::string strRaw, char* pszBuffer, int nSize) {
  if (nSize > 0) pszBuffer[0] = '\0';
  if (!bOk || strRaw.empty()) return 0;
  if (strRaw.back() != '\\') strRaw += '\\';
  if (static_cast<int>(strRaw.size()) + 1 > nSize) return 0;
  std::memcpy(pszBuffer, strRaw.c_str(), strRaw.size() + 1);
  return static_cast<int>(strRaw.size());
}

}  // namespace

const SLanguageCode* GetLanguageTable(size_t* pnCount) {
  *pnCount = sizeof(s_aLanguages) / sizeof(s_aLanguages[0]);
  return s_aLanguages;
}

bool IsWow64(ISystem& system) {
  bool bWow64 = false;
  return system.QueryWow64(&bWow64) && bWow64;
}

CSystemInfo::CSystemInfo(ISystem& system, IPowerPort& power, IUiPort& ui)
    : m_system(system), m_power(power), m_ui(ui) {
  std::memset(&m_version, 0, sizeof(m_version));
  m_version.dwOSVersionInfoSize = sizeof(m_version);
  if (!m_system.GetVersion(&m_version)) {
    std::memset(&m_version, 0, sizeof(m_version));
    m_version.dwOSVersionInfoSize = sizeof(m_version);
  }
  m_bWow64 = IsWow64(m_system);

  if (m_version.dwPlatformId == kPlatformWin9x) {
    switch (m_version.dwMinorVersion) {
      case 0:
        m_bWin95 = m_bWin9x = m_bWin9xFamily = true;
        break;
      case 10:
        m_bWin98 = m_bWin9x = m_bWin9xFamily = true;
        break;
      case 90:
        m_bWinMe = m_bWin9x = m_bWin9xFamily = true;
        break;
      default:
        m_bWin9xOther = true;
        break;
    }
  } else if (m_version.dwPlatformId == kPlatformWinNT) {
    m_bWinNT = true;
    m_strServicePack.assign(m_version.szCSDVersion,
                            strnlen(m_version.szCSDVersion, sizeof(m_version.szCSDVersion)));
    const uint32_t dwMajor = m_version.dwMajorVersion;
    const uint32_t dwMinor = m_version.dwMinorVersion;
    if (dwMajor == 5 && dwMinor == 0) {
      m_bWin2000 = true;
    } else if (dwMajor == 5 && dwMinor == 1) {
      (m_bWow64 ? m_bWinXPWow64 : m_bWinXP) = true;
    } else if (dwMajor == 5 && dwMinor == 2) {
      m_bWin2003 = m_bWin2003Family = true;
    } else if (dwMajor == 6) {
      (m_bWow64 ? m_bVistaWow64 : m_bVista) = true;
    }
  }
  m_pLanguages = GetLanguageTable(&m_nLanguages);
}

std::string CSystemInfo::GetLanguageCode() const {
  const uint16_t wLangId = m_system.GetUserDefaultLangId();
  for (size_t i = 0; i < m_nLanguages; ++i)
    if (m_pLanguages[i].wLangId == wLangId) return m_pLanguages[i].pszCode;
  return std::string();
}

void CSystemInfo::Reboot() {
  if (m_version.dwPlatformId == kPlatformWinNT) {
    if (!m_power.EnableShutdownPrivilege()) {
      m_ui.ShowMessageBox(0, "You don't have privilege to shutdown Windows.", "", kMbOk);
      return;
    }
    m_power.RequestExit(kEwxReboot | kEwxForce);
    return;
  }
  m_power.RequestExit(kEwxReboot);
}

IDirectIoPort* SelectDirectIoPort(const CSystemInfo& info, IDirectIoPort& port) {
  return info.IsWin9x() ? &port : nullptr;
}

int GetProgramDirectory(ISystem& system, char* pszBuffer, int nSize) {
  std::string strPath;
  bool bOk = system.QueryModulePath(&strPath);
  size_t nSlash = strPath.find_last_of('\\');
  if (bOk && nSlash != std::string::npos) {
    strPath.resize(nSlash + 1);
  } else {
    bOk = false;
  }
  return FillDirectory(bOk, strPath, pszBuffer, nSize);
}

int GetSystemDirectoryPath(ISystem& system, char* pszBuffer, int nSize) {
  std::string strPath;
  bool bOk = system.QuerySystemDirectory(&strPath);
  return FillDirectory(bOk, strPath, pszBuffer, nSize);
}

int GetTempDirectory(ISystem& system, char* pszBuffer, int nSize) {
  std::string strPath;
  bool bOk = system.QueryTempPath(&strPath);
  return FillDirectory(bOk, strPath, pszBuffer, nSize);
}

int GetCurrentDirectoryPath(ISystem& system, char* pszBuffer, int nSize) {
  std::string strPath;
  bool bOk = system.QueryCurrentDirectory(&strPath);
  return FillDirectory(bOk, strPath, pszBuffer, nSize);
}
