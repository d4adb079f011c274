// How long the plug-in's entry points take under Wine against the bench's
// Mirel.sys, each beside the bare controller round trip measured in the
// same run (run by scripts/bench-trivel.sh; not a test):
//   - PlugIn_GetObject to a returned pointer: the fourteen profile records
//     and the single bytes read through KT9020DLL;
//   - Apply of a changed profile (both records written and committed);
//   - GetInfo (a document built over MSXML, the counters read live);
//   - one GetAIP of one byte, the baseline.
// Prints key=value lines.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kt9020dll/KT9020DLL.h"
#include "protocol/MirelIoctl.h"
#include "sim/SimBench.h"
#include "tests/support/BenchDriver_win.h"
#include "trivelole/TrivelOLE.h"

namespace {

double Now() {
  static LARGE_INTEGER s_freq = []() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(s_freq.QuadPart);
}

// The median of the runs, in milliseconds.
template <typename TRun>
double MedianMs(int nRuns, TRun run) {
  std::vector<double> vec;
  for (int i = 0; i < nRuns; ++i) {
    const double t0 = Now();
    run(i);
    vec.push_back((Now() - t0) * 1000.0);
  }
  std::sort(vec.begin(), vec.end());
  return vec[vec.size() / 2];
}

int Fail(const char* pszWhat) {
  printf("error=%s\n", pszWhat);
  return 1;
}

}  // namespace

int main() {
  const std::string strState = BinaryDir() + "\\sim\\trivel-bench.state";
  DeleteFileA(strState.c_str());
  {
    SSimMirelDescription desc;
    desc.strStatePath = strState;
    CSimMirelBench bench;
    std::string strError;
    if (!bench.Open(desc, &strError)) return Fail("controller state");
  }
  CBenchDriver driver("Mirel", BinaryDir() + "\\bin\\Mirel.sys", strState);
  if (!driver.Start()) return Fail("Mirel.sys did not start");
  const std::string strPlugin = BinaryDir() + "\\trivel\\Common\\TrivelOLE.dll";
  HKEY hKey = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\ULVO\\Velmar", 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &hKey, nullptr) != ERROR_SUCCESS)
    return Fail("registry");
  RegSetValueExA(hKey, "ULVOTRIVEL_PLUGIN", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(strPlugin.c_str()),
                 static_cast<DWORD>(strPlugin.size() + 1));

  HMODULE hLibrary = LoadLibraryA("KT9020DLL.dll");
  HMODULE hPlugin = LoadLibraryA("TrivelOLE.dll");
  if (!hLibrary || !hPlugin) return Fail("libraries");
  auto pfnGetAip = reinterpret_cast<KT9020_PFN_GetAIP>(
      reinterpret_cast<void (*)()>(GetProcAddress(hLibrary, "GetAIP")));
  auto pfnGetObject = reinterpret_cast<TRIVEL_PFN_GetObject>(
      reinterpret_cast<void (*)()>(GetProcAddress(hPlugin, "PlugIn_GetObject")));
  if (!pfnGetAip || !pfnGetObject) return Fail("exports");

  uint8_t by = 0;
  pfnGetAip(0x1A, mirel::kAddrReferenceClock, 1, &by);  // the driver opened once
  const double dRoundTrip =
      MedianMs(100, [&](int) { pfnGetAip(0x1A, mirel::kAddrReferenceClock, 1, &by); });

  const double dGetObject = MedianMs(10, [&](int) {
    auto* p = static_cast<SIULVODialog*>(pfnGetObject("IULVODialog"));
    if (p) p->pVtbl->Release(p);
  });

  auto* pDialog = static_cast<SIULVODialog*>(pfnGetObject("IULVODialog"));
  SIULVOInfo* pInfo = nullptr;
  if (!pDialog ||
      pDialog->pVtbl->QueryInterface(pDialog, "IULVOInfo", reinterpret_cast<void**>(&pInfo)) != 0)
    return Fail("interfaces");
  HWND hHost =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND hPage = static_cast<HWND>(pDialog->pVtbl->Create(pDialog, hHost));
  HWND hSlider = GetDlgItem(hPage, 4001);
  if (!hPage || !hSlider) return Fail("page");
  // Each run changes the Default profile's clock (as the user moves the
  // slider), then applies.
  const double dApply = MedianMs(10, [&](int i) {
    SendMessageA(hSlider, 0x0405 /* TBM_SETPOS */, TRUE, 100 + i);
    SendMessageA(hPage, WM_HSCROLL, MAKEWPARAM(4, 100 + i), reinterpret_cast<LPARAM>(hSlider));
    pDialog->pVtbl->Apply(pDialog);
  });
  static char szInfo[TRIVEL_INFO_BUFFER_SIZE];
  const double dGetInfo = MedianMs(10, [&](int i) { pInfo->pVtbl->GetInfo(pInfo, szInfo, i % 7); });
  pInfo->pVtbl->Release(pInfo);
  pDialog->pVtbl->Release(pDialog);
  DestroyWindow(hHost);
  RegDeleteValueA(hKey, "ULVOTRIVEL_PLUGIN");
  RegCloseKey(hKey);
  DeleteFileA(strState.c_str());

  printf("getaip_ms=%.3f\n", dRoundTrip);
  printf("getobject_ms=%.3f\n", dGetObject);
  printf("apply_ms=%.3f\n", dApply);
  printf("getinfo_ms=%.3f\n", dGetInfo);
  printf("getobject_ratio=%.1f\n", dGetObject / dRoundTrip);
  printf("apply_ratio=%.1f\n", dApply / dRoundTrip);
  printf("getinfo_ratio=%.1f\n", dGetInfo / dRoundTrip);
  return 0;
}
