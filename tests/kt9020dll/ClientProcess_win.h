// A client program (kt9020_client) started by a KT9020DLL test in a
// process of its own, and the named events a test shares with it by tag.
#pragma once

#include <windows.h>

#include <string>

constexpr DWORD kStartMs = 20000;  // a client starts and loads within this

// The folder of the running test program, with its trailing backslash.
inline std::string BinDir() {
  char sz[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, sz, sizeof(sz));
  std::string str(sz, n);
  return str.substr(0, str.rfind('\\') + 1);
}

class CClient {
 public:
  CClient(const std::string& strDir, const std::string& strArgs) {
    std::string strCommand = "\"" + strDir + "kt9020_client.exe\" " + strArgs;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    m_bStarted = CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr,
                                strDir.c_str(), &si, &m_pi) != FALSE;
  }
  ~CClient() {
    if (!m_bStarted) return;
    if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_pi.hProcess, 99);
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
  }
  CClient(const CClient&) = delete;
  CClient& operator=(const CClient&) = delete;
  bool Started() const { return m_bStarted; }
  HANDLE Process() const { return m_pi.hProcess; }
  // Exit code, or -1 when the process is still running after dwMs.
  long Exit(DWORD dwMs = kStartMs) {
    if (WaitForSingleObject(m_pi.hProcess, dwMs) != WAIT_OBJECT_0) return -1;
    DWORD dwCode = 0;
    GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return static_cast<long>(dwCode);
  }

 private:
  PROCESS_INFORMATION m_pi{};
  bool m_bStarted = false;
};

// Manual-reset events shared with a client by tag.
class CSignal {
 public:
  CSignal(const std::string& strTag, const char* pszWhich)
      : m_h(CreateEventA(nullptr, TRUE, FALSE,
                         ("kt9020_test_" + strTag + "_" + pszWhich).c_str())) {}
  ~CSignal() { CloseHandle(m_h); }
  CSignal(const CSignal&) = delete;
  CSignal& operator=(const CSignal&) = delete;
  HANDLE Handle() const { return m_h; }
  void Reset() { ResetEvent(m_h); }
  bool Wait(DWORD dwMs = kStartMs) { return WaitForSingleObject(m_h, dwMs) == WAIT_OBJECT_0; }
  void Set() { SetEvent(m_h); }

 private:
  HANDLE m_h;
};
