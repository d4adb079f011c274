#include "platform/ThreadPort.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

class CStdWorkerThread : public IWorkerThread {
 public:
  explicit CStdWorkerThread(std::function<void()> fnBody)
      : m_thread([this, fnBody = std::move(fnBody)] {
          fnBody();
          std::lock_guard<std::mutex> lock(m_mutex);
          m_bDone = true;
          m_cvDone.notify_all();
        }) {}
  ~CStdWorkerThread() override {
    if (m_thread.joinable()) m_thread.join();
  }
  bool Wait(uint32_t dwTimeoutMs) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cvDone.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                             [this] { return m_bDone; });
  }
  bool Terminate() override {
    if (m_thread.joinable()) m_thread.join();
    return false;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cvDone;
  bool m_bDone = false;
  std::thread m_thread;  // last: it starts once the members above exist
};

class CStdThreadPort : public IThreadPort {
 public:
  std::unique_ptr<IWorkerThread> Start(std::function<void()> fnBody) override {
    return std::unique_ptr<IWorkerThread>(new CStdWorkerThread(std::move(fnBody)));
  }
};

}  // namespace

IThreadPort& GetStdThreadPort() {
  static CStdThreadPort s_port;
  return s_port;
}
