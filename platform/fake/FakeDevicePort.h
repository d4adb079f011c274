// A recording device port for native tests (and for Wine tests that count
// what goes to a real driver). Every request of every device opened from
// it is logged with its code, input bytes and output length, so a test can
// assert an exact sequence. Requests are answered, in this order, by the
// next scripted reply, by the device's own answer function, or with
// success and a zero-filled output.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Ports.h"

struct SDeviceRequest {
  uint32_t dwCode;
  std::vector<uint8_t> vecIn;
  uint32_t nOutBytes;
};

struct SDeviceReply {
  bool bOk = true;
  std::vector<uint8_t> vecOut;  // copied to the output buffer (at most its size)
  int64_t nReturned = -1;       // byte count reported; -1: the output size
  uint32_t dwError = 31;        // LastError of a failed reply (ERROR_GEN_FAILURE)
};

class CFakeDevicePort : public IDevicePort {
 public:
  // Answers one request the way a driver would; false fails it.
  using FnAnswer = std::function<bool(uint32_t dwCode, const uint8_t* pIn, uint32_t nIn,
                                      uint8_t* pOut, uint32_t nOut, uint32_t* pnReturned)>;

  // pLog, when given, receives "io 0x<code>" per request, so a test can
  // interleave requests with other events. Names no device was added for
  // go to pForward (requests still logged), or fail with error 2.
  explicit CFakeDevicePort(std::vector<std::string>* pLog = nullptr,
                           IDevicePort* pForward = nullptr)
      : m_pLog(pLog), m_pForward(pForward) {}

  // A device opened by that name (compared as given).
  void AddDevice(const std::string& strName, FnAnswer fnAnswer = nullptr);

  std::vector<std::string> m_vecOpened;  // every name asked for
  bool m_bOpenFails = false;             // every open fails with error 2
  std::vector<SDeviceRequest> m_vecRequests;
  std::deque<SDeviceReply> m_queReplies;  // next replies, before any answer function
  int m_nOpenDevices = 0;                 // devices not yet closed

  size_t Count(uint32_t dwCode) const;

  std::unique_ptr<IDevice> Open(const std::string& strName) override;
  uint32_t LastError() const override { return m_dwLastError; }

  // Logs one request and answers it (used by the devices it hands out).
  bool Answer(const FnAnswer& fnAnswer, uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut,
              uint32_t nOut, uint32_t* pnReturned, uint32_t* pdwError);

 private:
  std::vector<std::string>* m_pLog;
  IDevicePort* m_pForward;
  std::map<std::string, FnAnswer> m_mapDevices;
  uint32_t m_dwLastError = 0;
};
