#include <windows.h>

#include "platform/ThreadPort.h"
#include "platform/win/Platform_win.h"

namespace {

class CWin32WorkerThread : public IWorkerThread {
 public:
  explicit CWin32WorkerThread(std::function<void()> fnBody) : m_fnBody(std::move(fnBody)) {}
  ~CWin32WorkerThread() override {
    if (!m_hThread) return;
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
  }
  bool Launch() {
    m_hThread = CreateThread(nullptr, 0, &CWin32WorkerThread::ThreadProc, this, 0, nullptr);
    return m_hThread != nullptr;
  }
  bool Wait(uint32_t dwTimeoutMs) override {
    return WaitForSingleObject(m_hThread, dwTimeoutMs) == WAIT_OBJECT_0;
  }
  bool Terminate() override {
    if (WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0) return true;
    TerminateThread(m_hThread, 1);
    // Ending is asynchronous; the handle signals once the thread is gone.
    WaitForSingleObject(m_hThread, INFINITE);
    return true;
  }

 private:
  static DWORD WINAPI ThreadProc(LPVOID pParam) {
    static_cast<CWin32WorkerThread*>(pParam)->m_fnBody();
    return 0;
  }

  std::function<void()> m_fnBody;
  HANDLE m_hThread = nullptr;
};

class CWin32ThreadPort : public IThreadPort {
 public:
  std::unique_ptr<IWorkerThread> Start(std::function<void()> fnBody) override {
    std::unique_ptr<CWin32WorkerThread> pThread(new CWin32WorkerThread(std::move(fnBody)));
    if (!pThread->Launch()) return nullptr;
    return std::unique_ptr<IWorkerThread>(pThread.release());
  }
};

}  // namespace

IThreadPort& GetWin32ThreadPort() {
  static CWin32ThreadPort s_port;
  return s_port;
}
