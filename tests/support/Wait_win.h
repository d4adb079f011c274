// Waiting on conditions with a time limit, for the Wine tests and the
// scripted tour: another process's windows appear, change and paint in their
// own time, so a test never sleeps a fixed time and hopes; it waits until
// what it needs holds, and learns whether it did. Free of GoogleTest, so
// that tools can use it too (tests/support/WindowRobot_win.h adds the
// failing variants).
#pragma once

#include <windows.h>

#include <vector>

// Checks pred every dwPollMs milliseconds until it holds or dwTimeoutMs
// milliseconds have passed. Returns whether it held; pred is checked once
// more at the limit, so a limit of 0 is a plain check.
template <typename TPredicate>
bool WaitFor(TPredicate pred, DWORD dwTimeoutMs, DWORD dwPollMs = 20) {
  const DWORD dwStart = GetTickCount();
  for (;;) {
    if (pred()) return true;
    const DWORD dwElapsed = GetTickCount() - dwStart;
    if (dwElapsed >= dwTimeoutMs) return false;
    const DWORD dwLeft = dwTimeoutMs - dwElapsed;
    Sleep(dwLeft < dwPollMs ? dwLeft : dwPollMs);
  }
}

// Whether the thread that owns hWnd handled a message of ours within
// dwTimeoutMs: it is in a message loop (its own or a modal one), so every
// message sent to it earlier has been handled. Posted messages may still
// wait in its queue. False when the window is gone or its thread is busy
// for longer than the limit (a workflow that pumps no messages).
inline bool WaitUntilResponsive(HWND hWnd, DWORD dwTimeoutMs) {
  DWORD_PTR dwResult = 0;
  return SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, dwTimeoutMs, &dwResult) != 0;
}

// Whether hWnd was destroyed within dwTimeoutMs.
inline bool WaitUntilGone(HWND hWnd, DWORD dwTimeoutMs) {
  return WaitFor([hWnd]() { return !IsWindow(hWnd); }, dwTimeoutMs);
}

namespace wait_detail {

inline BOOL CALLBACK CollectChild(HWND hWnd, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
  return TRUE;
}

// Whether any visible part of hWnd or its children still waits for its
// WM_PAINT (an update region the window's thread has not painted yet).
inline bool PaintPending(HWND hWnd) {
  std::vector<HWND> vecWindows(1, hWnd);
  EnumChildWindows(hWnd, CollectChild, reinterpret_cast<LPARAM>(&vecWindows));
  for (HWND h : vecWindows)
    if (IsWindowVisible(h) && GetUpdateRect(h, nullptr, FALSE)) return true;
  return false;
}

}  // namespace wait_detail

// Whether hWnd and its children were painted within dwTimeoutMs: the
// window's thread answers, nothing of the window waits for painting any
// more, and the thread has been back in its message loop after painting
// twice (Wine hands the painted pixels to the display when the thread goes
// back to waiting for messages, so a picture taken afterwards shows them).
inline bool WaitUntilPainted(HWND hWnd, DWORD dwTimeoutMs) {
  const DWORD dwStart = GetTickCount();
  auto left = [dwStart, dwTimeoutMs]() {
    const DWORD dwElapsed = GetTickCount() - dwStart;
    return dwElapsed >= dwTimeoutMs ? 0 : dwTimeoutMs - dwElapsed;
  };
  if (!WaitUntilResponsive(hWnd, left())) return false;
  if (!WaitFor([hWnd]() { return !wait_detail::PaintPending(hWnd); }, left())) return false;
  return WaitUntilResponsive(hWnd, left()) && WaitUntilResponsive(hWnd, left());
}
