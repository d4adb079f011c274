// Pictures of windows for the scripted tour and the window tests.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

// Copies the window's screen area into a 24-bit BMP file.
inline bool SaveWindowPicture(HWND hWnd, const std::string& strPath) {
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
