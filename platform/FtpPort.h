// Anonymous binary FTP as Live Update uses it: a session that reports its
// status codes, connections to a server, the size a directory listing
// gives for a file, and the file's bytes in reads of at most the asked
// size. The Win32 implementation uses WinINet; tests script a fake.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class IFtpFile {
 public:
  virtual ~IFtpFile() = default;
  // Up to nBytes; *pnRead 0 at the end of the file. False on a failed
  // read (a dropped connection).
  virtual bool Read(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) = 0;
};

class IFtpConnection {
 public:
  virtual ~IFtpConnection() = default;
  // The file's size as the server lists it; false when it is not listed.
  virtual bool FindFile(const std::string& strPath, uint64_t* pqwSize) = 0;
  // Opens the file for a binary read; null on failure.
  virtual std::unique_ptr<IFtpFile> OpenFile(const std::string& strPath) = 0;
};

class IFtpSession {
 public:
  virtual ~IFtpSession() = default;
  // Anonymous connection, active mode; null on failure (see LastError).
  virtual std::unique_ptr<IFtpConnection> Connect(const std::string& strServer, uint16_t wPort) = 0;
  virtual uint32_t LastError() const = 0;
  // The system's text for an error; empty when it has none.
  virtual std::string ErrorText(uint32_t dwError) = 0;
  // Asks the system to go online (a dial-up connection) after a name
  // could not be resolved.
  virtual void Autodial() = 0;
  // Called from another thread while a transfer may be blocked in a call
  // of this session: closes the session's handles so that the call
  // returns (a system may not honour it; the caller waits a bounded time).
  // Every later call fails. Safe to call more than once.
  virtual void Interrupt() = 0;
};

class IFtpPort {
 public:
  virtual ~IFtpPort() = default;
  // fnStatus receives the session's status codes (the WinINet values),
  // on whatever thread the transfer runs on. Null on failure.
  virtual std::unique_ptr<IFtpSession> OpenSession(std::function<void(uint32_t)> fnStatus) = 0;
};
