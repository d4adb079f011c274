// How fast Live Update's download runs over WinINet, and how well the
// window thread answers meanwhile (run by scripts/bench-ftp.sh, which
// compares the time with a command-line FTP client on the same file).
//
//   ftp_download_bench.exe URL TARGET
//
// Two downloads of the same file: one whose progress goes nowhere (the
// transfer alone), one whose progress goes, as in the program, to controls
// of a window that the main thread serves (a message sent across threads
// for every 4096-byte chunk). During the second, a third thread sends
// WM_NULL to that window every 10 ms and times the round trips. Prints
// key=value lines.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/Fakes.h"
#include "platform/win/FtpPort_win.h"
#include "platform/win/Platform_win.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/core/Resources.h"
#include "tessaro/liveupdate/FtpDownloader.h"

namespace {

constexpr UINT kMsgDone = WM_APP + 1;
constexpr UINT kMsgSetRange = WM_USER + 1;  // what the progress bar is sent
constexpr UINT kMsgSetPos = WM_USER + 2;

double Seconds() {
  static LARGE_INTEGER s_freq = []() {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return freq;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(s_freq.QuadPart);
}

struct SSilentSinks : IDisplaySinks {
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int) override {}
  void SetStatusText(const std::string&) override {}
  void SetPercentText(const std::string&) override {}
};

// Progress as the program shows it: messages sent to controls that the
// window thread owns, texts set as window texts.
struct SWindowSinks : IDisplaySinks {
  HWND hProgress = nullptr;
  HWND hStatus = nullptr;
  HWND hPercent = nullptr;
  void SetProgressRange(int nLower, int nUpper) override {
    SendMessageA(hProgress, kMsgSetRange, 0, MAKELPARAM(nLower, nUpper));
  }
  void SetProgressPos(int nPos) override { SendMessageA(hProgress, kMsgSetPos, nPos, 0); }
  void SetStatusText(const std::string& str) override { SetWindowTextA(hStatus, str.c_str()); }
  void SetPercentText(const std::string& str) override { SetWindowTextA(hPercent, str.c_str()); }
};

struct SResult {
  double dSeconds = 0;
  uint32_t dwBytes = 0;
  bool bSucceeded = false;
  std::vector<std::string> vecBoxes;
};

SResult Download(const std::string& strUrl, const std::string& strTarget, IDisplaySinks& sinks) {
  SPlatform& platform = GetWin32Platform();
  CFakeUi ui;
  CResources resources(*platform.pModules);
  CMessageHelper messages(resources, ui);
  CFtpDownloader download(GetWin32FtpPort(), *platform.pFiles, messages, resources, sinks, strUrl,
                          strTarget);
  SResult result;
  const double dStart = Seconds();
  download.Run();
  result.dSeconds = Seconds() - dStart;
  result.dwBytes = download.GetBytesRead();
  result.bSucceeded = download.IsSucceeded() && !download.IsFailed();
  for (const CFakeUi::SBox& box : ui.m_vecBoxes) result.vecBoxes.push_back(box.strText);
  return result;
}

void Print(const char* pszName, const SResult& result) {
  const double dMBps = result.dSeconds > 0 ? result.dwBytes / 1e6 / result.dSeconds : 0;
  std::printf("%s_seconds=%.3f\n%s_mbps=%.2f\n%s_bytes=%u\n%s_succeeded=%d\n", pszName,
              result.dSeconds, pszName, dMBps, pszName, result.dwBytes, pszName,
              result.bSucceeded ? 1 : 0);
  for (const std::string& str : result.vecBoxes) std::printf("%s_box=%s\n", pszName, str.c_str());
}

LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  if (nMsg == kMsgDone) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hWnd, nMsg, wParam, lParam);
}

double Percentile(std::vector<double> vec, double dFraction) {
  if (vec.empty()) return 0;
  std::sort(vec.begin(), vec.end());
  return vec[static_cast<size_t>(dFraction * (vec.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ftp_download_bench URL TARGET\n");
    return 2;
  }
  const std::string strUrl = argv[1];
  const std::string strTarget = argv[2];

  SSilentSinks silent;
  Print("silent", Download(strUrl, strTarget, silent));

  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TessaroFtpBench";
  RegisterClassA(&wc);
  HWND hWnd = CreateWindowA("TessaroFtpBench", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100,
                            nullptr, nullptr, wc.hInstance, nullptr);
  SWindowSinks window;
  window.hProgress =
      CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 100, 10, hWnd, nullptr, wc.hInstance, nullptr);
  window.hStatus =
      CreateWindowA("STATIC", "", WS_CHILD, 0, 20, 100, 10, hWnd, nullptr, wc.hInstance, nullptr);
  window.hPercent =
      CreateWindowA("STATIC", "", WS_CHILD, 0, 40, 100, 10, hWnd, nullptr, wc.hInstance, nullptr);

  SResult shown;
  std::atomic<bool> bDone{false};
  std::thread worker([&]() {
    shown = Download(strUrl, strTarget, window);
    bDone = true;
    PostMessageA(hWnd, kMsgDone, 0, 0);
  });
  std::vector<double> vecRoundTrips;
  int nTimeouts = 0;
  std::atomic<bool> bProbeEnded{false};
  std::thread probe([&]() {
    while (!bDone) {
      const double dStart = Seconds();
      DWORD_PTR dwResult = 0;
      if (SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &dwResult))
        vecRoundTrips.push_back((Seconds() - dStart) * 1000.0);
      else
        ++nTimeouts;
      Sleep(10);
    }
    bProbeEnded = true;
  });
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // The probe's last message may still wait for an answer.
  while (!bProbeEnded) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  worker.join();
  probe.join();
  DestroyWindow(hWnd);

  Print("window", shown);
  std::printf("ui_probes=%u\nui_timeouts=%d\nui_median_ms=%.3f\nui_p95_ms=%.3f\nui_max_ms=%.3f\n",
              static_cast<unsigned>(vecRoundTrips.size()), nTimeouts,
              Percentile(vecRoundTrips, 0.5), Percentile(vecRoundTrips, 0.95),
              Percentile(vecRoundTrips, 1.0));
  return shown.bSucceeded ? 0 : 1;
}
