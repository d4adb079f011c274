// A recording service control manager for native tests. It keeps the
// installed services by name and behaves as Windows does where callers
// depend on it: creating an existing service fails with 1073, starting a
// running one with 1056, interrogating a stopped one with 1062. Every call
// is logged in order; any kind of call can be made to fail with a chosen
// error code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Ports.h"
#include "platform/WinTypes.h"

// The kinds of call a test can make fail.
enum class EServiceCall { OpenManager, Open, Create, Start, Interrogate, Stop, Query, Delete };

class CFakeServicePort : public IServicePort {
 public:
  struct SService {
    SServiceConfig config;
    uint32_t dwState = kServiceStopped;
    int nPollsLeft = 0;  // interrogations (start) or queries (stop) still pending
    bool bMarkedForDelete = false;
    int nHandles = 0;
  };

  // Installed services by name.
  std::map<std::string, SService> m_mapServices;
  // Every call in order: "manager", "open NAME", "create PATH", "start NAME",
  // "interrogate NAME", "stop NAME", "query NAME", "delete NAME".
  std::vector<std::string> m_vecCalls;
  std::vector<uint32_t> m_vecAccess;         // access of every OpenManager and Open
  std::vector<SServiceConfig> m_vecCreated;  // every creation asked for
  int m_nOpenServices = 0;                   // service handles not yet closed
  // Interrogations after a start before a service reports running.
  int m_nPollsUntilRunning = 0;
  // Status queries after a stop before a service reports stopped; -1:
  // it never stops.
  int m_nQueriesUntilStopped = 0;

  // A service as an earlier installation left it.
  SService& Install(const std::string& strName, bool bRunning);
  // The next nTimes calls of that kind (every later one when negative) fail
  // with dwError; Heal ends it.
  void Fail(EServiceCall eCall, uint32_t dwError, int nTimes = -1) {
    m_mapFailures[eCall] = {dwError, nTimes};
  }
  void Heal(EServiceCall eCall) { m_mapFailures.erase(eCall); }
  // The logged calls that start with strVerb, and their number.
  std::vector<std::string> Calls(const std::string& strVerb) const;
  size_t Count(const std::string& strVerb) const { return Calls(strVerb).size(); }
  bool IsRunning(const std::string& strName) const;

  std::unique_ptr<IServiceManager> OpenManager(uint32_t dwAccess) override;
  uint32_t LastError() const override { return m_dwLastError; }

  // Whether this call of that kind is scripted to fail, and with what.
  bool Failing(EServiceCall eCall, uint32_t* pdwError);

 private:
  struct SFailure {
    uint32_t dwError;
    int nTimes;
  };
  std::map<EServiceCall, SFailure> m_mapFailures;
  uint32_t m_dwLastError = 0;
};
