// Questions about the calling process's access token. Win32 implementation
// in kt9020dll/TokenPort_win.cpp.
#pragma once

class ITokenPort {
 public:
  virtual ~ITokenPort() = default;
  // True when the process token holds the built-in Administrators group
  // (S-1-5-32-544) for granting access; a group present only to deny
  // access (a filtered token) does not count.
  virtual bool IsAdministrator() = 0;
};
