#include "kt9020dll/MutexPort_win.h"

#include <windows.h>
#include <aclapi.h>

namespace {

class CWinSecurityDescriptor : public ISecurityDescriptor {
 public:
  ~CWinSecurityDescriptor() override {
    if (m_pDescriptor) LocalFree(m_pDescriptor);
    if (m_pAcl) LocalFree(m_pAcl);
    if (m_pSid) FreeSid(m_pSid);
  }
  SECURITY_ATTRIBUTES Attributes() const {
    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = m_pDescriptor;
    sa.bInheritHandle = FALSE;
    return sa;
  }
  PSID m_pSid = nullptr;
  PACL m_pAcl = nullptr;
  PSECURITY_DESCRIPTOR m_pDescriptor = nullptr;
};

class CWinMutex : public IMutex {
 public:
  explicit CWinMutex(HANDLE hMutex) : m_hMutex(hMutex) {}
  ~CWinMutex() override { CloseHandle(m_hMutex); }
  EWaitResult Wait() override {
    switch (WaitForSingleObject(m_hMutex, INFINITE)) {
      case WAIT_OBJECT_0:
        return EWaitResult::Owned;
      case WAIT_ABANDONED:
        return EWaitResult::Abandoned;
      default:
        return EWaitResult::Failed;
    }
  }
  bool Release() override { return ReleaseMutex(m_hMutex) != FALSE; }

 private:
  HANDLE m_hMutex;
};

class CWinMutexPort : public IMutexPort {
 public:
  std::unique_ptr<ISecurityDescriptor> BuildEveryoneDescriptor(uint32_t dwRights,
                                                               ESecurityStep* pStep,
                                                               uint32_t* pdwError) override {
    auto pSecurity = std::make_unique<CWinSecurityDescriptor>();
    auto fail = [&](ESecurityStep eStep, DWORD dwError) {
      *pStep = eStep;
      *pdwError = dwError;
      return nullptr;
    };
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &pSecurity->m_pSid))
      return fail(ESecurityStep::AllocateSid, GetLastError());
    EXPLICIT_ACCESSA access{};
    access.grfAccessPermissions = dwRights;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPSTR>(pSecurity->m_pSid);
    // SetEntriesInAcl returns its error instead of setting the last error.
    DWORD dwResult = SetEntriesInAclA(1, &access, nullptr, &pSecurity->m_pAcl);
    if (dwResult != ERROR_SUCCESS) return fail(ESecurityStep::SetAclEntries, dwResult);
    // The descriptor's size depends on the pointer width (20 or 40 bytes).
    pSecurity->m_pDescriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!pSecurity->m_pDescriptor) return fail(ESecurityStep::AllocateDescriptor, GetLastError());
    if (!InitializeSecurityDescriptor(pSecurity->m_pDescriptor, SECURITY_DESCRIPTOR_REVISION))
      return fail(ESecurityStep::InitializeDescriptor, GetLastError());
    if (!SetSecurityDescriptorDacl(pSecurity->m_pDescriptor, TRUE, pSecurity->m_pAcl, FALSE))
      return fail(ESecurityStep::SetDacl, GetLastError());
    return pSecurity;
  }

  std::unique_ptr<IMutex> Create(const std::string& strName,
                                 const ISecurityDescriptor* pSecurity) override {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, FALSE};
    if (pSecurity) sa = static_cast<const CWinSecurityDescriptor*>(pSecurity)->Attributes();
    return Wrap(CreateMutexA(&sa, FALSE, strName.c_str()));
  }

  std::unique_ptr<IMutex> Open(const std::string& strName, uint32_t dwAccess) override {
    return Wrap(OpenMutexA(dwAccess, FALSE, strName.c_str()));
  }

  uint32_t LastError() const override { return m_dwLastError; }

 private:
  std::unique_ptr<IMutex> Wrap(HANDLE h) {
    m_dwLastError = h ? 0 : GetLastError();
    if (!h) return nullptr;
    return std::make_unique<CWinMutex>(h);
  }
  uint32_t m_dwLastError = 0;
};

}  // namespace

IMutexPort& GetWin32MutexPort() {
  static CWinMutexPort s_mutexes;
  return s_mutexes;
}
