#include "kt9020dll/TokenPort_win.h"

#include <windows.h>

#include <vector>

namespace {

class CWinTokenPort : public ITokenPort {
 public:
  bool IsAdministrator() override {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return false;
    // Ask for the size first: a token with many groups needs more than a
    // fixed buffer would hold.
    DWORD dwSize = 0;
    GetTokenInformation(hToken, TokenGroups, nullptr, 0, &dwSize);
    std::vector<BYTE> vecGroups(dwSize ? dwSize : sizeof(TOKEN_GROUPS));
    bool bOk = GetTokenInformation(hToken, TokenGroups, vecGroups.data(),
                                   static_cast<DWORD>(vecGroups.size()), &dwSize) != FALSE;
    CloseHandle(hToken);
    if (!bOk) return false;

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID pAdministrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &pAdministrators))
      return false;
    const TOKEN_GROUPS* pGroups = reinterpret_cast<const TOKEN_GROUPS*>(vecGroups.data());
    bool bAdministrator = false;
    for (DWORD i = 0; i < pGroups->GroupCount && !bAdministrator; ++i) {
      const SID_AND_ATTRIBUTES& group = pGroups->Groups[i];
      bAdministrator =
          EqualSid(group.Sid, pAdministrators) && !(group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY);
    }
    FreeSid(pAdministrators);
    return bAdministrator;
  }
};

// -------------------------------------------------------------- device --

}  // namespace

ITokenPort& GetWin32TokenPort() {
  static CWinTokenPort s_token;
  return s_token;
}
