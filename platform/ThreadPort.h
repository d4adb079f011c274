// Worker threads that the window's thread starts and, when they do not
// finish in time, ends by force. A transfer blocked inside the system's
// network code may never return; the window must stay usable all the same.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class IWorkerThread {
 public:
  // Destroying a thread object that still runs waits for it.
  virtual ~IWorkerThread() = default;
  // True when the thread has ended within dwTimeoutMs.
  virtual bool Wait(uint32_t dwTimeoutMs) = 0;
  // Ends a thread that did not finish: whatever it holds is lost. False
  // where the system cannot end a thread (then it is waited for).
  virtual bool Terminate() = 0;
};

class IThreadPort {
 public:
  virtual ~IThreadPort() = default;
  // Runs fnBody on a new thread; null when no thread could be created.
  virtual std::unique_ptr<IWorkerThread> Start(std::function<void()> fnBody) = 0;
};

// Threads of the C++ library: they cannot be ended by force, so Terminate
// waits. Native builds use them; the Windows build has its own.
IThreadPort& GetStdThreadPort();
