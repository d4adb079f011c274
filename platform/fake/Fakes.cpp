#include "platform/fake/Fakes.h"

#include <algorithm>
#include <cstring>

#include "platform/WinTypes.h"

namespace {

class CFakeFile : public IFile {
 public:
  CFakeFile(CFakeFileSystem& fs, std::string strPath, bool bWritable)
      : m_fs(fs), m_strPath(std::move(strPath)), m_bWritable(bWritable) {}

  bool Read(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) override {
    auto it = m_fs.m_mapFiles.find(m_strPath);
    if (it == m_fs.m_mapFiles.end()) return false;
    const std::vector<uint8_t>& data = it->second;
    uint64_t qwLeft = m_qwPos < data.size() ? data.size() - m_qwPos : 0;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(qwLeft, nBytes));
    if (n) std::memcpy(pBuffer, data.data() + m_qwPos, n);
    m_qwPos += n;
    *pnRead = n;
    return true;
  }
  bool Write(const void* pBuffer, uint32_t nBytes) override {
    if (!m_bWritable || m_fs.m_bFailWrites) return false;
    std::vector<uint8_t>& data = m_fs.m_mapFiles[m_strPath];
    if (data.size() < m_qwPos + nBytes) data.resize(m_qwPos + nBytes);
    if (nBytes) std::memcpy(data.data() + m_qwPos, pBuffer, nBytes);
    m_qwPos += nBytes;
    return true;
  }
  bool Seek(uint64_t qwOffset) override {
    m_qwPos = qwOffset;
    return true;
  }
  bool GetSize(uint64_t* pqwSize) override {
    *pqwSize = m_fs.m_mapFiles[m_strPath].size();
    return true;
  }

 private:
  CFakeFileSystem& m_fs;
  std::string m_strPath;
  bool m_bWritable;
  uint64_t m_qwPos = 0;
};

class CFakeKey : public IRegistryKey {
 public:
  CFakeKey(CFakeRegistry& reg, std::string strKey, uint32_t dwAccess)
      : m_reg(reg), m_strKey(std::move(strKey)), m_dwAccess(dwAccess) {}

  bool QueryDword(const std::string& strName, uint32_t* pdwValue) override {
    auto& values = m_reg.m_mapKeys[m_strKey].mapValues;
    auto it = values.find(strName);
    if (!(m_dwAccess & kRegRead) || it == values.end() || it->second.bIsString) return false;
    *pdwValue = it->second.dwValue;
    return true;
  }
  bool SetDword(const std::string& strName, uint32_t dwValue) override {
    if (!(m_dwAccess & kRegWrite) || m_reg.m_bFailWrites) return false;
    auto& value = m_reg.m_mapKeys[m_strKey].mapValues[strName];
    value.bIsString = false;
    value.dwValue = dwValue;
    return true;
  }
  bool QueryString(const std::string& strName, std::string* pstrValue) override {
    auto& values = m_reg.m_mapKeys[m_strKey].mapValues;
    auto it = values.find(strName);
    if (!(m_dwAccess & kRegRead) || it == values.end() || !it->second.bIsString) return false;
    *pstrValue = it->second.strValue;
    return true;
  }
  bool SetString(const std::string& strName, const std::string& strValue) override {
    if (!(m_dwAccess & kRegWrite) || m_reg.m_bFailWrites) return false;
    auto& value = m_reg.m_mapKeys[m_strKey].mapValues[strName];
    value.bIsString = true;
    value.strValue = strValue;
    return true;
  }
  bool EnumSubKey(uint32_t nIndex, std::string* pstrName) override {
    const std::string strPrefix = m_strKey + "\\";
    uint32_t n = 0;
    for (const auto& entry : m_reg.m_mapKeys) {
      if (entry.first.compare(0, strPrefix.size(), strPrefix) != 0) continue;
      std::string strRest = entry.first.substr(strPrefix.size());
      if (strRest.find('\\') != std::string::npos) continue;
      if (n++ == nIndex) {
        *pstrName = strRest;
        return true;
      }
    }
    return false;
  }

 private:
  CFakeRegistry& m_reg;
  std::string m_strKey;
  uint32_t m_dwAccess;
};

}  // namespace

bool CFakeFileSystem::Exists(const std::string& strPath) { return m_mapFiles.count(strPath) != 0; }

std::unique_ptr<IFile> CFakeFileSystem::Open(const std::string& strPath, EFileMode eMode) {
  switch (eMode) {
    case EFileMode::Read:
    case EFileMode::OpenReadWrite:
      if (!Exists(strPath)) {
        m_dwLastError = kErrorFileNotFound;
        return nullptr;
      }
      return std::make_unique<CFakeFile>(*this, strPath, eMode == EFileMode::OpenReadWrite);
    case EFileMode::CreateAlways:
      if (m_bFailWrites) {
        m_dwLastError = kErrorAccessDenied;
        return nullptr;
      }
      m_mapFiles[strPath].clear();
      return std::make_unique<CFakeFile>(*this, strPath, true);
  }
  return nullptr;
}

bool CFakeFileSystem::Copy(const std::string& strFrom, const std::string& strTo,
                           bool bFailIfExists) {
  if (m_bFailCopies || !Exists(strFrom) || (bFailIfExists && Exists(strTo))) {
    m_dwLastError = kErrorAccessDenied;
    return false;
  }
  m_mapFiles[strTo] = m_mapFiles[strFrom];
  return true;
}

bool CFakeFileSystem::Move(const std::string& strFrom, const std::string& strTo) {
  if (!Exists(strFrom)) {
    m_dwLastError = kErrorFileNotFound;
    return false;
  }
  m_mapFiles[strTo] = m_mapFiles[strFrom];
  m_mapFiles.erase(strFrom);
  return true;
}

bool CFakeFileSystem::Delete(const std::string& strPath) {
  if (m_mapFiles.erase(strPath) == 0) {
    m_dwLastError = kErrorFileNotFound;
    return false;
  }
  return true;
}

bool CFakeFileSystem::MakeDirectory(const std::string& strPath) {
  m_vecDirectories.push_back(strPath);
  return true;
}

std::string CFakeRegistry::FullPath(ERegRoot eRoot, const std::string& strPath) {
  const char* pszRoot = eRoot == ERegRoot::LocalMachine  ? "HKLM"
                        : eRoot == ERegRoot::CurrentUser ? "HKCU"
                                                         : "HKCR";
  return std::string(pszRoot) + "\\" + strPath;
}

std::unique_ptr<IRegistryKey> CFakeRegistry::Open(ERegRoot eRoot, const std::string& strPath,
                                                  uint32_t dwAccess) {
  std::string strKey = FullPath(eRoot, strPath);
  m_vecOpened.push_back(strKey + "|" + std::to_string(dwAccess));
  if (m_mapKeys.count(strKey) == 0) return nullptr;
  return std::make_unique<CFakeKey>(*this, strKey, dwAccess);
}

std::unique_ptr<IRegistryKey> CFakeRegistry::Create(ERegRoot eRoot, const std::string& strPath,
                                                    uint32_t dwAccess) {
  std::string strKey = FullPath(eRoot, strPath);
  m_vecOpened.push_back(strKey + "|create|" + std::to_string(dwAccess));
  if (m_bFailCreate) return nullptr;
  m_mapKeys[strKey];
  return std::make_unique<CFakeKey>(*this, strKey, dwAccess);
}

CFakeRegistry::SValue* CFakeRegistry::Find(ERegRoot eRoot, const std::string& strPath,
                                           const std::string& strName) {
  auto itKey = m_mapKeys.find(FullPath(eRoot, strPath));
  if (itKey == m_mapKeys.end()) return nullptr;
  auto itValue = itKey->second.mapValues.find(strName);
  return itValue == itKey->second.mapValues.end() ? nullptr : &itValue->second;
}

bool CFakeSystem::GetVersion(SOsVersion* pVersion) {
  if (m_bVersionFails || pVersion->dwOSVersionInfoSize != sizeof(SOsVersion)) return false;
  *pVersion = m_version;
  return true;
}

bool CFakeSystem::QueryWow64(bool* pbWow64) {
  if (!m_bHasWow64Function) return false;
  *pbWow64 = m_bWow64;
  return true;
}

bool CFakeSystem::SetProcessAffinityMask(uintptr_t dwMask) {
  m_vecAffinityMasks.push_back(dwMask);
  return true;
}

bool CFakeSystem::SetThreadPriority(int nPriority) {
  m_vecPriorities.push_back(nPriority);
  m_nPriority = nPriority;
  return true;
}

void CFakeSystem::Sleep(uint32_t dwMilliseconds) {
  m_dwSleptMs += dwMilliseconds;
  m_dwTicks += dwMilliseconds;
}

bool CFakeSystem::QueryModulePath(std::string* pstrPath) {
  if (m_bDirectoriesFail) return false;
  *pstrPath = m_strModuleFile;
  return true;
}

bool CFakeSystem::QuerySystemDirectory(std::string* pstrPath) {
  if (m_bDirectoriesFail) return false;
  *pstrPath = m_strSystemDir;
  return true;
}

bool CFakeSystem::QueryTempPath(std::string* pstrPath) {
  if (m_bDirectoriesFail) return false;
  *pstrPath = m_strTempDir;
  return true;
}

bool CFakeSystem::QueryCurrentDirectory(std::string* pstrPath) {
  if (m_bDirectoriesFail) return false;
  *pstrPath = m_strCurrentDir;
  return true;
}

bool CFakePowerPort::EnableShutdownPrivilege() {
  ++m_nPrivilegeRequests;
  return m_bPrivilegeGranted;
}

bool CFakePowerPort::RequestExit(uint32_t dwFlags) {
  m_vecExitFlags.push_back(dwFlags);
  return true;
}

ModuleRef CFakeModulePort::Load(const std::string& strPath) {
  m_vecLoadRequests.push_back(strPath);
  auto it = m_mapLoadable.find(strPath);
  return it == m_mapLoadable.end() ? 0 : it->second;
}

void CFakeModulePort::Free(ModuleRef hModule) { m_vecFreed.push_back(hModule); }

bool CFakeModulePort::GetString(ModuleRef hModule, uint32_t nId, std::string* pstrText) {
  auto itModule = m_mapStrings.find(hModule);
  if (itModule == m_mapStrings.end()) return false;
  auto it = itModule->second.find(nId);
  if (it == itModule->second.end()) return false;
  *pstrText = it->second;
  return true;
}

int CFakeUi::ShowMessageBox(WindowRef hOwner, const std::string& strText,
                            const std::string& strCaption, uint32_t dwFlags) {
  m_vecBoxes.push_back({hOwner, strText, strCaption, dwFlags});
  if (!m_queAnswers.empty()) {
    int nAnswer = m_queAnswers.front();
    m_queAnswers.pop_front();
    return nAnswer;
  }
  return (dwFlags & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

bool CFakeUi::NextFileAnswer(std::string* pstrPath) {
  if (m_queFileAnswers.empty()) return false;
  *pstrPath = m_queFileAnswers.front();
  m_queFileAnswers.pop_front();
  return !pstrPath->empty();
}

bool CFakeUi::ChooseOpenFile(WindowRef, const SFileDialogRequest& request, std::string* pstrPath) {
  m_vecDialogs.push_back({false, request.strFilter, request.strTitle, request.strInitialFile});
  m_vecDialogRequests.push_back(request);
  return NextFileAnswer(pstrPath);
}

bool CFakeUi::ChooseSaveFile(WindowRef, const SFileDialogRequest& request, std::string* pstrPath) {
  m_vecDialogs.push_back({true, request.strFilter, request.strTitle, request.strInitialFile});
  m_vecDialogRequests.push_back(request);
  return NextFileAnswer(pstrPath);
}
