// Walks through the boxes and dialogs a program shows, for the scripted
// tour of the run command: logs each window's caption and text, saves a
// picture of it, then answers it with its default button.
//   UiTour.exe <output folder> <seconds to wait for windows>
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

struct SFound {
  std::vector<HWND> vecWindows;
};

BOOL CALLBACK CollectDialogs(HWND hWnd, LPARAM lParam) {
  char szClass[64] = {0};
  GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (IsWindowVisible(hWnd) && std::string(szClass) == "#32770")
    reinterpret_cast<SFound*>(lParam)->vecWindows.push_back(hWnd);
  return TRUE;
}

BOOL CALLBACK CollectTexts(HWND hWnd, LPARAM lParam) {
  char szClass[64] = {0}, szText[2048] = {0};
  GetClassNameA(hWnd, szClass, sizeof(szClass));
  GetWindowTextA(hWnd, szText, sizeof(szText));
  if (szText[0] && IsWindowVisible(hWnd)) {
    std::string* pstr = reinterpret_cast<std::string*>(lParam);
    *pstr += std::string("  [") + szClass + "] " + szText + "\n";
  }
  return TRUE;
}

// Copies the window's screen area into a 24-bit BMP file.
bool SaveWindowPicture(HWND hWnd, const std::string& strPath) {
  RECT rc;
  if (!GetWindowRect(hWnd, &rc)) return false;
  const int nWidth = rc.right - rc.left, nHeight = rc.bottom - rc.top;
  if (nWidth <= 0 || nHeight <= 0) return false;
  HDC hScreen = GetDC(nullptr);
  HDC hMem = CreateCompatibleDC(hScreen);
  HBITMAP hBitmap = CreateCompatibleBitmap(hScreen, nWidth, nHeight);
  HGDIOBJ hOld = SelectObject(hMem, hBitmap);
  BitBlt(hMem, 0, 0, nWidth, nHeight, hScreen, rc.left, rc.top, SRCCOPY);
  SelectObject(hMem, hOld);

  BITMAPINFOHEADER bih = {};
  bih.biSize = sizeof(bih);
  bih.biWidth = nWidth;
  bih.biHeight = nHeight;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  bih.biCompression = BI_RGB;
  const DWORD dwStride = ((nWidth * 3) + 3) & ~3u;
  std::vector<BYTE> pixels(dwStride * nHeight);
  GetDIBits(hMem, hBitmap, 0, nHeight, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bih),
            DIB_RGB_COLORS);
  DeleteObject(hBitmap);
  DeleteDC(hMem);
  ReleaseDC(nullptr, hScreen);

  BITMAPFILEHEADER bfh = {};
  bfh.bfType = 0x4D42;
  bfh.bfOffBits = sizeof(bfh) + sizeof(bih);
  bfh.bfSize = bfh.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* pFile = std::fopen(strPath.c_str(), "wb");
  if (!pFile) return false;
  std::fwrite(&bfh, sizeof(bfh), 1, pFile);
  std::fwrite(&bih, sizeof(bih), 1, pFile);
  std::fwrite(pixels.data(), 1, pixels.size(), pFile);
  std::fclose(pFile);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: UiTour <output folder> <seconds>\n");
    return 2;
  }
  const std::string strFolder = argv[1];
  const DWORD dwLimit = static_cast<DWORD>(std::atoi(argv[2])) * 1000;
  std::set<HWND> setSeen;
  int nCount = 0;
  const DWORD dwStart = GetTickCount();
  DWORD dwLastSeen = dwStart;
  while (GetTickCount() - dwStart < dwLimit) {
    SFound found;
    EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&found));
    for (HWND hWnd : found.vecWindows) {
      if (setSeen.count(hWnd)) continue;
      setSeen.insert(hWnd);
      Sleep(500);  // let it paint
      char szCaption[256] = {0};
      GetWindowTextA(hWnd, szCaption, sizeof(szCaption));
      std::string strTexts;
      EnumChildWindows(hWnd, CollectTexts, reinterpret_cast<LPARAM>(&strTexts));
      char szName[64];
      std::snprintf(szName, sizeof(szName), "%02d-window.bmp", ++nCount);
      SaveWindowPicture(hWnd, strFolder + "\\" + szName);
      std::printf("window %d: \"%s\" (%s)\n%s", nCount, szCaption, szName, strTexts.c_str());
      std::fflush(stdout);
      PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      dwLastSeen = GetTickCount();
    }
    // The tour is over once nothing new appeared for a while.
    if (nCount > 0 && GetTickCount() - dwLastSeen > 4000) break;
    Sleep(200);
  }
  std::printf("%d window(s) seen\n", nCount);
  return nCount > 0 ? 0 : 1;
}
