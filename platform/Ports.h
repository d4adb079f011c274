// The small interfaces through which portable code reaches the operating
// system. Win32 implementations live in platform/win (Windows build only,
// one library per group of system DLLs, see platform/CMakeLists.txt);
// native tests use the recording fakes of platform/fake and the bench's
// devices (sim/). Every call reports failure through its result and, where
// Windows has one, an error code readable from the same object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------- files --

enum class EFileMode {
  Read,           // existing file, read only
  CreateAlways,   // create or truncate, write
  OpenReadWrite,  // existing file, read and write
};

class IFile {
 public:
  virtual ~IFile() = default;
  // Reads up to nBytes; *pnRead receives what was read (0 at the end).
  virtual bool Read(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) = 0;
  virtual bool Write(const void* pBuffer, uint32_t nBytes) = 0;
  virtual bool Seek(uint64_t qwOffset) = 0;
  virtual bool GetSize(uint64_t* pqwSize) = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  virtual std::unique_ptr<IFile> Open(const std::string& strPath, EFileMode eMode) = 0;
  virtual bool Exists(const std::string& strPath) = 0;
  virtual bool Copy(const std::string& strFrom, const std::string& strTo, bool bFailIfExists) = 0;
  // Renames strFrom to strTo, replacing strTo when it exists.
  virtual bool Move(const std::string& strFrom, const std::string& strTo) = 0;
  virtual bool Delete(const std::string& strPath) = 0;
  virtual bool MakeDirectory(const std::string& strPath) = 0;
  virtual uint32_t LastError() const = 0;
};

// Reads a whole file of at most nMaxBytes; false when it is missing,
// unreadable or larger.
bool ReadWholeFile(IFileSystem& fs, const std::string& strPath, size_t nMaxBytes,
                   std::vector<uint8_t>* pData);
bool WriteWholeFile(IFileSystem& fs, const std::string& strPath, const void* pData, size_t nBytes);

// ------------------------------------------------------------- registry --

enum class ERegRoot { LocalMachine, CurrentUser, ClassesRoot };

// Access flags of Open and Create.
constexpr uint32_t kRegRead = 1;
constexpr uint32_t kRegWrite = 2;
constexpr uint32_t kReg64View = 4;  // KEY_WOW64_64KEY: the 64-bit view from a 32-bit process

class IRegistryKey {
 public:
  virtual ~IRegistryKey() = default;
  virtual bool QueryDword(const std::string& strName, uint32_t* pdwValue) = 0;
  virtual bool SetDword(const std::string& strName, uint32_t dwValue) = 0;
  virtual bool QueryString(const std::string& strName, std::string* pstrValue) = 0;
  virtual bool SetString(const std::string& strName, const std::string& strValue) = 0;
  // Name of subkey number nIndex; false past the last one.
  virtual bool EnumSubKey(uint32_t nIndex, std::string* pstrName) = 0;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  virtual std::unique_ptr<IRegistryKey> Open(ERegRoot eRoot, const std::string& strPath,
                                             uint32_t dwAccess) = 0;
  virtual std::unique_ptr<IRegistryKey> Create(ERegRoot eRoot, const std::string& strPath,
                                               uint32_t dwAccess) = 0;
};

// ---------------------------------------------- service control manager --

struct SServiceStatus {
  uint32_t dwServiceType = 0;
  uint32_t dwCurrentState = 0;
  uint32_t dwControlsAccepted = 0;
  uint32_t dwWin32ExitCode = 0;
  uint32_t dwServiceSpecificExitCode = 0;
  uint32_t dwCheckPoint = 0;
  uint32_t dwWaitHint = 0;
};

class IService {
 public:
  virtual ~IService() = default;
  virtual bool Start() = 0;
  virtual bool Control(uint32_t dwControl, SServiceStatus* pStatus) = 0;
  virtual bool QueryStatus(SServiceStatus* pStatus) = 0;
  virtual bool Delete() = 0;
  virtual uint32_t LastError() const = 0;
};

struct SServiceConfig {
  std::string strName;
  std::string strDisplayName;
  uint32_t dwDesiredAccess = 0;
  uint32_t dwServiceType = 0;
  uint32_t dwStartType = 0;
  uint32_t dwErrorControl = 0;
  std::string strBinaryPath;
};

class IServiceManager {
 public:
  virtual ~IServiceManager() = default;
  virtual std::unique_ptr<IService> Open(const std::string& strName, uint32_t dwAccess) = 0;
  virtual std::unique_ptr<IService> Create(const SServiceConfig& config) = 0;
  virtual uint32_t LastError() const = 0;
};

class IServicePort {
 public:
  virtual ~IServicePort() = default;
  // OpenSCManager on the local machine; null on failure (see LastError).
  virtual std::unique_ptr<IServiceManager> OpenManager(uint32_t dwAccess) = 0;
  virtual uint32_t LastError() const = 0;
};

// -------------------------------------------------------------- devices --

class IDevice {
 public:
  virtual ~IDevice() = default;
  // DeviceIoControl: sends nInBytes from pIn and receives up to nOutBytes
  // into pOut; *pnReturned receives the byte count the driver reported.
  virtual bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nInBytes, void* pOut,
                         uint32_t nOutBytes, uint32_t* pnReturned) = 0;
  virtual uint32_t LastError() const = 0;
};

class IDevicePort {
 public:
  virtual ~IDevicePort() = default;
  // Opens a device by its Win32 name, for example "\\\\.\\WinFlash".
  virtual std::unique_ptr<IDevice> Open(const std::string& strName) = 0;
  virtual uint32_t LastError() const = 0;
};

// --------------------------------------------------------- system facts --

// The version record as GetVersionExA fills it (OSVERSIONINFOEXA, 156
// bytes).
struct SOsVersion {
  uint32_t dwOSVersionInfoSize;
  uint32_t dwMajorVersion;
  uint32_t dwMinorVersion;
  uint32_t dwBuildNumber;
  uint32_t dwPlatformId;
  char szCSDVersion[128];
  uint16_t wServicePackMajor;
  uint16_t wServicePackMinor;
  uint16_t wSuiteMask;
  uint8_t byProductType;
  uint8_t byReserved;
};
static_assert(sizeof(SOsVersion) == 156, "version record is 156 bytes");

class ISystem {
 public:
  virtual ~ISystem() = default;
  // Fills the record whose size field the caller has set; false on failure.
  virtual bool GetVersion(SOsVersion* pVersion) = 0;
  // Looks IsWow64Process up by name; false when the function does not
  // exist, otherwise true with its answer for the current process.
  virtual bool QueryWow64(bool* pbWow64) = 0;
  virtual uint16_t GetUserDefaultLangId() = 0;
  virtual bool SetProcessAffinityMask(uintptr_t dwMask) = 0;
  virtual int GetThreadPriority() = 0;
  virtual bool SetThreadPriority(int nPriority) = 0;
  virtual void Sleep(uint32_t dwMilliseconds) = 0;
  virtual uint32_t GetTickCount() = 0;
  // Raw directory texts as the operating system returns them (no
  // trailing separator guaranteed); false on failure.
  virtual bool QueryModulePath(std::string* pstrPath) = 0;
  virtual bool QuerySystemDirectory(std::string* pstrPath) = 0;
  virtual bool QueryTempPath(std::string* pstrPath) = 0;
  virtual bool QueryCurrentDirectory(std::string* pstrPath) = 0;
};

// ----------------------------------------------- privileges and restart --

class IPowerPort {
 public:
  virtual ~IPowerPort() = default;
  // Opens the process token and enables SeShutdownPrivilege.
  virtual bool EnableShutdownPrivilege() = 0;
  virtual bool RequestExit(uint32_t dwFlags) = 0;
};

// ----------------------------------------------- modules and resources --

using ModuleRef = uintptr_t;  // an HMODULE; 0 is none

class IModulePort {
 public:
  virtual ~IModulePort() = default;
  // The running program's own module (resources built into it).
  virtual ModuleRef Self() = 0;
  virtual ModuleRef Load(const std::string& strPath) = 0;
  virtual void Free(ModuleRef hModule) = 0;
  // String resource nId of the module; false when it has none.
  virtual bool GetString(ModuleRef hModule, uint32_t nId, std::string* pstrText) = 0;
};

// ------------------------------------------------------------------- UI --

using WindowRef = uintptr_t;  // an HWND; 0 is none

// Message boxes. File dialogs have a port of their own (FileDialogPort.h),
// so that a library without dialogs never links the system's dialog code.
class IUiPort {
 public:
  virtual ~IUiPort() = default;
  // MessageBoxA; returns the pressed button's id.
  virtual int ShowMessageBox(WindowRef hOwner, const std::string& strText,
                             const std::string& strCaption, uint32_t dwFlags) = 0;
};

// ------------------------------------------------------- the whole set --

class IFileDialogPort;
class IFtpPort;
class IThreadPort;

// The ports one program uses. The Windows build's entry code takes the
// Win32 set (GetWin32Platform) and adds the file dialogs where it shows
// them; tests fill it with fakes.
struct SPlatform {
  IFileSystem* pFiles = nullptr;
  IRegistry* pRegistry = nullptr;
  IServicePort* pServices = nullptr;
  IDevicePort* pDevices = nullptr;
  ISystem* pSystem = nullptr;
  IPowerPort* pPower = nullptr;
  IModulePort* pModules = nullptr;
  IUiPort* pUi = nullptr;
  // Only programs that show file dialogs set it (Tessaro does).
  IFileDialogPort* pFileDialogs = nullptr;
  // Only programs that download (Tessaro's Live Update) set these two.
  IFtpPort* pFtp = nullptr;
  IThreadPort* pThreads = nullptr;
};
