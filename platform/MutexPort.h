// Named mutexes shared between processes, and the access descriptor that
// lets every user of the machine open them. Win32 implementation in
// kt9020dll/MutexPort_win.cpp; tests use a fake of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Access rights of OpenMutexA and of the descriptor's entry.
constexpr uint32_t kSynchronize = 0x00100000;
constexpr uint32_t kMutexModifyState = 0x00000001;  // needed by ReleaseMutex
constexpr uint32_t kStandardRightsAll = 0x001F0000;

enum class EWaitResult {
  Owned,      // the wait returned the mutex
  Abandoned,  // the previous owner ended without releasing it; the caller owns it now
  Failed,     // the wait itself failed; the caller does not own the mutex
};

class IMutex {
 public:
  virtual ~IMutex() = default;
  // WaitForSingleObject without time limit.
  virtual EWaitResult Wait() = 0;
  virtual bool Release() = 0;
};

// A security descriptor with a DACL of one entry (Everyone). It owns the
// SID, the ACL and the descriptor memory of the process that built it and
// frees them when destroyed.
class ISecurityDescriptor {
 public:
  virtual ~ISecurityDescriptor() = default;
};

// The calls of building the descriptor, to name the one that failed.
enum class ESecurityStep {
  None,
  AllocateSid,           // AllocateAndInitializeSid (Everyone)
  SetAclEntries,         // SetEntriesInAclA
  AllocateDescriptor,    // LocalAlloc of the descriptor
  InitializeDescriptor,  // InitializeSecurityDescriptor
  SetDacl,               // SetSecurityDescriptorDacl
};

class IMutexPort {
 public:
  virtual ~IMutexPort() = default;
  // A descriptor granting dwRights to Everyone. Null on failure, with the
  // failed call in *pStep and its error code in *pdwError.
  virtual std::unique_ptr<ISecurityDescriptor> BuildEveryoneDescriptor(uint32_t dwRights,
                                                                       ESecurityStep* pStep,
                                                                       uint32_t* pdwError) = 0;
  // CreateMutexA: not owned, handle not inheritable, default security when
  // pSecurity is null. Opens the mutex when one of that name exists.
  virtual std::unique_ptr<IMutex> Create(const std::string& strName,
                                         const ISecurityDescriptor* pSecurity) = 0;
  // OpenMutexA without inheritance; null when no mutex of that name exists.
  virtual std::unique_ptr<IMutex> Open(const std::string& strName, uint32_t dwAccess) = 0;
  virtual uint32_t LastError() const = 0;
};
