// A scripted FTP server for native tests: files by path, reads of a chosen
// size (short reads, as the network delivers data), a connection that
// drops after a number of bytes, connections that fail with an error code,
// and the status codes a session reports while it connects.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FtpPort.h"

class CFakeFtpPort : public IFtpPort {
 public:
  std::map<std::string, std::vector<uint8_t>> m_mapFiles;  // by path
  std::map<std::string, uint64_t> m_mapListedSizes;        // overrides the listing
  uint32_t m_nReadSize = 4096;                             // bytes a read returns at most
  uint64_t m_qwDropAfter = ~0ull;  // reads fail once this many bytes were sent
  int m_nConnectFailures = 0;      // connections that fail first
  uint32_t m_dwConnectError = 12029;
  std::string m_strErrorText;  // the system's text for the error
  bool m_bNoSession = false;
  std::function<void(uint64_t)> m_fnOnRead;  // after each read: bytes sent so far
  // Before each read, with the bytes sent so far: a test may block here
  // (a stalled server) until Interrupt or its own signal.
  std::function<void(uint64_t)> m_fnBeforeRead;
  // What the client did.
  std::vector<std::string> m_vecConnects;  // "server:port"
  int m_nAutodials = 0;
  std::atomic<int> m_nInterrupts{0};
  // Set by Interrupt: every later read fails, as a closed handle's would.
  std::atomic<bool> m_bInterrupted{false};

  std::unique_ptr<IFtpSession> OpenSession(std::function<void(uint32_t)> fnStatus) override {
    if (m_bNoSession) return nullptr;
    return std::unique_ptr<IFtpSession>(new CSession(*this, std::move(fnStatus)));
  }

 private:
  class CFile : public IFtpFile {
   public:
    CFile(CFakeFtpPort& port, const std::vector<uint8_t>& data) : m_port(port), m_data(data) {}
    bool Read(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) override {
      *pnRead = 0;
      if (m_port.m_fnBeforeRead) m_port.m_fnBeforeRead(m_qwSent);
      if (m_port.m_bInterrupted || m_qwSent >= m_port.m_qwDropAfter) return false;
      const uint64_t qwLeft = m_data.size() - m_qwSent;
      uint64_t n = std::min<uint64_t>({nBytes, m_port.m_nReadSize, qwLeft});
      n = std::min<uint64_t>(n, m_port.m_qwDropAfter - m_qwSent);
      if (n) std::memcpy(pBuffer, m_data.data() + m_qwSent, static_cast<size_t>(n));
      m_qwSent += n;
      *pnRead = static_cast<uint32_t>(n);
      if (m_port.m_fnOnRead) m_port.m_fnOnRead(m_qwSent);
      return true;
    }

   private:
    CFakeFtpPort& m_port;
    const std::vector<uint8_t>& m_data;
    uint64_t m_qwSent = 0;
  };
  class CConnection : public IFtpConnection {
   public:
    explicit CConnection(CFakeFtpPort& port) : m_port(port) {}
    bool FindFile(const std::string& strPath, uint64_t* pqwSize) override {
      auto it = m_port.m_mapFiles.find(strPath);
      if (it == m_port.m_mapFiles.end()) return false;
      auto listed = m_port.m_mapListedSizes.find(strPath);
      *pqwSize = listed != m_port.m_mapListedSizes.end() ? listed->second : it->second.size();
      return true;
    }
    std::unique_ptr<IFtpFile> OpenFile(const std::string& strPath) override {
      auto it = m_port.m_mapFiles.find(strPath);
      if (it == m_port.m_mapFiles.end()) return nullptr;
      return std::unique_ptr<IFtpFile>(new CFile(m_port, it->second));
    }

   private:
    CFakeFtpPort& m_port;
  };
  class CSession : public IFtpSession {
   public:
    CSession(CFakeFtpPort& port, std::function<void(uint32_t)> fnStatus)
        : m_port(port), m_fnStatus(std::move(fnStatus)) {}
    std::unique_ptr<IFtpConnection> Connect(const std::string& strServer, uint16_t wPort) override {
      m_port.m_vecConnects.push_back(strServer + ":" + std::to_string(wPort));
      for (uint32_t dwStatus : {10u, 11u, 20u}) m_fnStatus(dwStatus);
      if (m_port.m_nConnectFailures > 0) {
        --m_port.m_nConnectFailures;
        m_dwError = m_port.m_dwConnectError;
        return nullptr;
      }
      m_fnStatus(21);
      return std::unique_ptr<IFtpConnection>(new CConnection(m_port));
    }
    uint32_t LastError() const override { return m_dwError; }
    std::string ErrorText(uint32_t) override { return m_port.m_strErrorText; }
    void Autodial() override { ++m_port.m_nAutodials; }
    void Interrupt() override {
      ++m_port.m_nInterrupts;
      m_port.m_bInterrupted = true;
    }

   private:
    CFakeFtpPort& m_port;
    std::function<void(uint32_t)> m_fnStatus;
    uint32_t m_dwError = 0;
  };
};
