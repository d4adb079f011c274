// Finding a program's windows from a test that started it.
#pragma once

#include <windows.h>

#include <cstring>

// The first visible top-level window of class pszClass that process dwPid
// owns; null when there is none.
inline HWND FindProcessWindow(DWORD dwPid, const char* pszClass) {
  struct SFind {
    DWORD dwPid;
    const char* pszClass;
    HWND hFound;
  } find = {dwPid, pszClass, nullptr};
  struct SMatch {
    static BOOL CALLBACK Match(HWND hWnd, LPARAM lParam) {
      SFind* p = reinterpret_cast<SFind*>(lParam);
      DWORD dwOwner = 0;
      GetWindowThreadProcessId(hWnd, &dwOwner);
      char szClass[64] = {0};
      GetClassNameA(hWnd, szClass, sizeof(szClass));
      if (dwOwner == p->dwPid && IsWindowVisible(hWnd) && strcmp(szClass, p->pszClass) == 0) {
        p->hFound = hWnd;
        return FALSE;
      }
      return TRUE;
    }
  };
  EnumWindows(SMatch::Match, reinterpret_cast<LPARAM>(&find));
  return find.hFound;
}
