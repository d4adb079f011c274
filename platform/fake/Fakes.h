// Recording fakes of the ports for native tests. Each fake keeps what it was
// asked in public members so a test can assert the exact calls, and takes
// scripted answers and injected failures from the test.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/FileDialogPort.h"
#include "platform/Ports.h"

// In-memory file system. Paths are compared as given.
class CFakeFileSystem : public IFileSystem {
 public:
  std::map<std::string, std::vector<uint8_t>> m_mapFiles;
  std::vector<std::string> m_vecDirectories;
  bool m_bFailWrites = false;  // every Write fails (disk full)
  bool m_bFailCopies = false;  // every Copy fails
  uint32_t m_dwLastError = 0;

  std::unique_ptr<IFile> Open(const std::string& strPath, EFileMode eMode) override;
  bool Exists(const std::string& strPath) override;
  bool Copy(const std::string& strFrom, const std::string& strTo, bool bFailIfExists) override;
  bool Move(const std::string& strFrom, const std::string& strTo) override;
  bool Delete(const std::string& strPath) override;
  bool MakeDirectory(const std::string& strPath) override;
  uint32_t LastError() const override { return m_dwLastError; }
};

// In-memory registry: one map of values per key path.
class CFakeRegistry : public IRegistry {
 public:
  struct SValue {
    bool bIsString = false;
    uint32_t dwValue = 0;
    std::string strValue;
  };
  struct SKey {
    std::map<std::string, SValue> mapValues;
  };
  // Key "HKLM\\Software\\..." (root prefix + path) to its values.
  std::map<std::string, SKey> m_mapKeys;
  bool m_bFailWrites = false;
  bool m_bFailCreate = false;
  std::vector<std::string> m_vecOpened;  // "path|access" of every Open/Create

  std::unique_ptr<IRegistryKey> Open(ERegRoot eRoot, const std::string& strPath,
                                     uint32_t dwAccess) override;
  std::unique_ptr<IRegistryKey> Create(ERegRoot eRoot, const std::string& strPath,
                                       uint32_t dwAccess) override;
  static std::string FullPath(ERegRoot eRoot, const std::string& strPath);
  SValue* Find(ERegRoot eRoot, const std::string& strPath, const std::string& strName);
};

// System facts chosen by the test.
class CFakeSystem : public ISystem {
 public:
  SOsVersion m_version{156, 6, 1, 7601, 2, "Service Pack 1", 1, 0, 0, 1, 0};
  bool m_bVersionFails = false;
  bool m_bHasWow64Function = true;
  bool m_bWow64 = false;
  uint16_t m_wLangId = 0x0409;
  std::vector<uintptr_t> m_vecAffinityMasks;
  std::vector<int> m_vecPriorities;
  int m_nPriority = 0;
  uint32_t m_dwTicks = 0;
  uint32_t m_dwSleptMs = 0;
  std::string m_strModuleFile = "C:\\Program Files\\Tessaro\\Tessaro.exe";
  std::string m_strSystemDir = "C:\\windows\\system32";
  std::string m_strTempDir = "C:\\users\\me\\Temp\\";
  std::string m_strCurrentDir = "C:\\work";
  bool m_bDirectoriesFail = false;

  bool GetVersion(SOsVersion* pVersion) override;
  bool QueryWow64(bool* pbWow64) override;
  uint16_t GetUserDefaultLangId() override { return m_wLangId; }
  bool SetProcessAffinityMask(uintptr_t dwMask) override;
  int GetThreadPriority() override { return m_nPriority; }
  bool SetThreadPriority(int nPriority) override;
  void Sleep(uint32_t dwMilliseconds) override;
  uint32_t GetTickCount() override { return m_dwTicks; }
  bool QueryModulePath(std::string* pstrPath) override;
  bool QuerySystemDirectory(std::string* pstrPath) override;
  bool QueryTempPath(std::string* pstrPath) override;
  bool QueryCurrentDirectory(std::string* pstrPath) override;
};

// Records privilege and restart requests; never restarts anything.
class CFakePowerPort : public IPowerPort {
 public:
  bool m_bPrivilegeGranted = true;
  int m_nPrivilegeRequests = 0;
  std::vector<uint32_t> m_vecExitFlags;

  bool EnableShutdownPrivilege() override;
  bool RequestExit(uint32_t dwFlags) override;
};

// Modules with string tables given by the test. Module 1 is the program.
class CFakeModulePort : public IModulePort {
 public:
  static constexpr ModuleRef kSelf = 1;
  std::map<ModuleRef, std::map<uint32_t, std::string>> m_mapStrings;
  std::map<std::string, ModuleRef> m_mapLoadable;  // path -> module
  std::vector<std::string> m_vecLoadRequests;
  std::vector<ModuleRef> m_vecFreed;

  ModuleRef Self() override { return kSelf; }
  ModuleRef Load(const std::string& strPath) override;
  void Free(ModuleRef hModule) override;
  bool GetString(ModuleRef hModule, uint32_t nId, std::string* pstrText) override;
};

// Message boxes and file dialogs answered from a script (one fake for both
// ports, so a test sees boxes and dialogs in one order).
class CFakeUi : public IUiPort, public IFileDialogPort {
 public:
  struct SBox {
    WindowRef hOwner;
    std::string strText;
    std::string strCaption;
    uint32_t dwFlags;
  };
  struct SDialog {
    bool bSave;
    std::string strFilter;
    std::string strTitle;
    std::string strDefaultName;
  };
  std::vector<SBox> m_vecBoxes;
  std::vector<SDialog> m_vecDialogs;
  std::vector<SFileDialogRequest> m_vecDialogRequests;  // the same dialogs, in full
  std::deque<int> m_queAnswers;                         // next answers; empty: OK / Yes
  std::deque<std::string> m_queFileAnswers;             // next paths; "" cancels

  int ShowMessageBox(WindowRef hOwner, const std::string& strText, const std::string& strCaption,
                     uint32_t dwFlags) override;
  bool ChooseOpenFile(WindowRef hOwner, const SFileDialogRequest& request,
                      std::string* pstrPath) override;
  bool ChooseSaveFile(WindowRef hOwner, const SFileDialogRequest& request,
                      std::string* pstrPath) override;

 private:
  bool NextFileAnswer(std::string* pstrPath);
};
