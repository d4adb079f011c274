// The AMI board's kernel drivers under Wine: Memctl.sys owns the board and
// hands the caller views of its memory; HwIOctl.sys relays port and SMI
// requests to it. Both installed through the service control manager and
// driven from this process as the engine drives them.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "protocol/AmiIoctl.h"
#include "tests/support/BenchDriver_win.h"

namespace {

using CDevice = CBenchDevice;

std::vector<uint8_t> ReadAll(const std::string& strPath) {
  std::vector<uint8_t> data;
  FILE* f = fopen(strPath.c_str(), "rb");
  if (!f) return data;
  fseek(f, 0, SEEK_END);
  data.resize(static_cast<size_t>(ftell(f)));
  fseek(f, 0, SEEK_SET);
  if (fread(data.data(), 1, data.size(), f) != data.size()) data.clear();
  fclose(f);
  return data;
}

// One SMI call through HwIOctl with a 4-byte status reply; false when the
// request itself failed.
bool Smi(CDevice& hw, uint16_t wFunction, uint32_t dwSize, uint32_t dwRemaining, uint32_t dwBuffer,
         uint32_t* pdwStatus, uint32_t dwResult1 = 1, uint32_t dwResult2 = 1) {
  ami::SSmiRequest req = {wFunction, 0xB2, dwSize, dwRemaining, dwBuffer, dwResult1, dwResult2};
  DWORD n = 0;
  *pdwStatus = 0xFFFFFFFF;
  return hw.Io(ami::kCallSmi, &req, sizeof req, pdwStatus, 4, &n) && n == 4;
}

bool IsMapped(uintptr_t p) {
  MEMORY_BASIC_INFORMATION mbi = {};
  return VirtualQuery(reinterpret_cast<void*>(p), &mbi, sizeof mbi) == sizeof mbi &&
         mbi.State == MEM_COMMIT;
}

double g_dSmiMicroseconds = 0;

TEST(AmiDrivers, MemctlOwnsTheBoardAndHwIoctlReachesItThroughTheRelay) {
  std::string bin = BinaryDir();
  std::string state = bin + "\\sim\\ami-driver-test.state";
  std::string flash = bin + "\\sim\\boards\\ami\\flash.bin";
  ASSERT_TRUE(CopyFileA((bin + "\\sim\\boards\\ami\\ami.state").c_str(), state.c_str(), FALSE));
  std::vector<uint8_t> rom = ReadAll(flash);
  ASSERT_EQ(rom.size(), 0x100000u);
  const uint32_t dwRomSize = static_cast<uint32_t>(rom.size());
  // A block below the boot block and NvRam (both 64 KB at the ROM's end).
  const uint32_t dwBlockRemaining = dwRomSize - 0x20000;  // ROM offset 0x20000

  CBenchDriver hwService("HwIOctl", bin + "\\bin\\HwIOctl.sys", "");
  CBenchDriver memService("Memctl", bin + "\\bin\\Memctl.sys", state);
  ASSERT_TRUE(hwService.Created() && memService.Created());
  ASSERT_TRUE(hwService.Start()) << hwService.LastError();
  CDevice hw("\\\\.\\HwIOctl");
  ASSERT_TRUE(hw.Open()) << GetLastError();
  uint32_t dwStatus = 0;
  {
    // Without Memctl the board is not there: a failure, never a status.
    EXPECT_FALSE(Smi(hw, ami::kSmiOpen, 0, 0, 0, &dwStatus));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  }
  ASSERT_TRUE(memService.Start()) << memService.LastError();
  CDevice mem("\\\\.\\Memctl");
  ASSERT_TRUE(mem.Open()) << GetLastError();

  // CMOS through HwIOctl's ports: one board behind both devices.
  ami::SPortWrite index = {0x70, 0x20}, value = {0x71, 0x5A};
  uint32_t dwPort = 0x71, dwRead = 0;
  ASSERT_TRUE(hw.Io(ami::kWritePortByte, &index, sizeof index, nullptr, 0));
  ASSERT_TRUE(hw.Io(ami::kWritePortByte, &value, sizeof value, nullptr, 0));
  ASSERT_TRUE(hw.Io(ami::kReadPortByte, &dwPort, 4, &dwRead, 4));
  EXPECT_EQ(dwRead, 0x5Au);
  // Memctl does not answer HwIOctl's requests itself.
  EXPECT_FALSE(mem.Io(ami::kReadPortByte, &dwPort, 4, &dwRead, 4));

  // The F000 segment, read through the address Memctl hands out.
  ami::SMapRequest map = {1, 0, ami::kSegmentAddress, 0, 0, ami::kSegmentMapLength};
  uintptr_t pSegment = 0;
  DWORD n = 0;
  ASSERT_TRUE(mem.Io(ami::kMapPhysical, &map, sizeof map, &pSegment, sizeof pSegment, &n));
  ASSERT_EQ(n, sizeof pSegment);
  ASSERT_TRUE(IsMapped(pSegment));
  const char* pszSegment = reinterpret_cast<const char*>(pSegment);
  EXPECT_EQ(memcmp(pszSegment + ami::kSignatureOffset, ami::kSignature, 7), 0);
  EXPECT_EQ(memcmp(pszSegment + ami::kIdentity1Offset, "1ABKQ0", 6), 0);

  // A shared buffer: its address here, its id, its physical address.
  uint32_t dwSize = ami::kBlockSize;
  ami::SBufferRecord rec = {};
  ASSERT_TRUE(mem.Io(ami::kAllocBuffer, &dwSize, 4, &rec, sizeof rec, &n));
  ASSERT_EQ(n, sizeof rec);
  ASSERT_TRUE(IsMapped(rec.pUser));
  uint8_t* pBuffer = reinterpret_cast<uint8_t*>(rec.pUser);
  uint32_t dwId = static_cast<uint32_t>(rec.nId), dwPhysical = 0;
  ASSERT_TRUE(mem.Io(ami::kBufferPhysical, &dwId, 4, &dwPhysical, 4));
  ASSERT_NE(dwPhysical, 0u);

  // Get-information, status-only: Result 1 (boot block), then Result 2
  // (NvRam); the information record arrives in the buffer.
  memset(pBuffer, 0xEE, ami::kInfoBytes);
  ASSERT_TRUE(Smi(hw, ami::kSmiGetInfo, 0, 0, dwPhysical, &dwStatus, 1, 0));
  EXPECT_EQ(dwStatus, 0x10000u);
  ASSERT_TRUE(Smi(hw, ami::kSmiGetInfo, 0, 0, dwPhysical, &dwStatus, 0, 1));
  EXPECT_EQ(dwStatus, 0x10000u);
  ami::SInfoRecord info;
  memcpy(&info, pBuffer, sizeof info);
  EXPECT_EQ(info.dwRomSize, dwRomSize);

  // A whole save, timed per SMI request.
  std::vector<uint8_t> saved;
  LARGE_INTEGER t0, t1, f;
  QueryPerformanceCounter(&t0);
  ASSERT_TRUE(Smi(hw, ami::kSmiOpen, 0, 0, 0, &dwStatus));
  uint32_t dwHandle = dwStatus;
  ASSERT_EQ(dwHandle & ami::kStatusErrorMask, 0u);
  ASSERT_NE(dwHandle, 0u);
  int nCalls = 1;
  for (uint32_t dwRemaining = dwRomSize; dwRemaining; dwRemaining -= ami::kBlockSize, ++nCalls) {
    ASSERT_TRUE(Smi(hw, ami::kSmiRead, ami::kBlockSize, dwRemaining, dwPhysical, &dwStatus));
    ASSERT_EQ(dwStatus & ami::kStatusErrorMask, 0u) << dwRemaining;
    saved.insert(saved.end(), pBuffer, pBuffer + ami::kBlockSize);
  }
  ASSERT_TRUE(Smi(hw, ami::kSmiClose, dwHandle, 0, 0, &dwStatus));
  ++nCalls;
  QueryPerformanceCounter(&t1);
  QueryPerformanceFrequency(&f);
  EXPECT_EQ(dwStatus & ami::kStatusErrorMask, 0u);
  EXPECT_TRUE(saved == rom) << "the save differs from the board's flash";
  g_dSmiMicroseconds = (t1.QuadPart - t0.QuadPart) * 1e6 / f.QuadPart / nCalls;
  printf("SMI round trip through HwIOctl and Memctl: %.0f us (%d calls)\n", g_dSmiMicroseconds,
         nCalls);

  // Erase, program and verify one block; the pattern is written through
  // the buffer's view here, and reaches the state file at once.
  std::vector<uint8_t> pattern(ami::kBlockSize);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 + 3);
  ASSERT_TRUE(Smi(hw, ami::kSmiOpen, 0, 0, 0, &dwStatus));
  dwHandle = dwStatus;
  ASSERT_TRUE(Smi(hw, ami::kSmiErase, ami::kBlockSize, dwBlockRemaining, dwPhysical, &dwStatus));
  EXPECT_EQ(dwStatus & ami::kStatusErrorMask, 0u);
  memcpy(pBuffer, pattern.data(), pattern.size());
  ASSERT_TRUE(Smi(hw, ami::kSmiProgram, ami::kBlockSize, dwBlockRemaining, dwPhysical, &dwStatus));
  EXPECT_EQ(dwStatus & ami::kStatusErrorMask, 0u);
  memset(pBuffer, 0, ami::kBlockSize);
  ASSERT_TRUE(Smi(hw, ami::kSmiRead, ami::kBlockSize, dwBlockRemaining, dwPhysical, &dwStatus));
  EXPECT_EQ(memcmp(pBuffer, pattern.data(), pattern.size()), 0);
  ASSERT_TRUE(Smi(hw, ami::kSmiClose, dwHandle, 0, 0, &dwStatus));
  EXPECT_EQ(dwStatus & ami::kStatusErrorMask, 0u);
  std::vector<uint8_t> written = ReadAll(state);
  ASSERT_GE(written.size(), rom.size());
  EXPECT_EQ(memcmp(written.data() + written.size() - dwRomSize + (dwRomSize - dwBlockRemaining),
                   pattern.data(), pattern.size()),
            0)
      << "the programmed block is not in the state file";

  // Copies between this process's memory and a shared buffer, and inside
  // shared buffers; the board's views are never the caller-memory side.
  char local[16] = "abcdefghij";
  ami::SCopyRequest toBuffer = {rec.pUser, reinterpret_cast<uintptr_t>(local), 10};
  ASSERT_TRUE(mem.Io(ami::kCopyMemory, &toBuffer, sizeof toBuffer, nullptr, 0)) << GetLastError();
  EXPECT_EQ(memcmp(pBuffer, "abcdefghij", 10), 0);
  memcpy(pBuffer, "0123456789", 10);
  ami::SCopyRequest fromBuffer = {reinterpret_cast<uintptr_t>(local + 2), rec.pUser, 4};
  ASSERT_TRUE(mem.Io(ami::kCopyMemory, &fromBuffer, sizeof fromBuffer, nullptr, 0));
  EXPECT_STREQ(local, "ab0123ghij");
  ami::SCopyRequest inside = {rec.pUser + 100, rec.pUser, 10};
  ASSERT_TRUE(mem.Io(ami::kCopyMemory, &inside, sizeof inside, nullptr, 0));
  EXPECT_EQ(memcmp(pBuffer + 100, "0123456789", 10), 0);
  // Refused, changing nothing: an unreadable source, a range past the
  // buffer's end, neither end a shared buffer, the segment's view as the
  // caller's side.
  ami::SCopyRequest unreadable = {rec.pUser, 0x10, 10};
  EXPECT_FALSE(mem.Io(ami::kCopyMemory, &unreadable, sizeof unreadable, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(memcmp(pBuffer, "0123456789", 10), 0);
  ami::SCopyRequest past = {rec.pUser + ami::kBlockSize - 4, rec.pUser, 10};
  EXPECT_FALSE(mem.Io(ami::kCopyMemory, &past, sizeof past, nullptr, 0));
  ami::SCopyRequest neither = {reinterpret_cast<uintptr_t>(local),
                               reinterpret_cast<uintptr_t>(local + 8), 4};
  EXPECT_FALSE(mem.Io(ami::kCopyMemory, &neither, sizeof neither, nullptr, 0));
  ami::SCopyRequest intoSegment = {pSegment + ami::kSignatureOffset, rec.pUser, 7};
  EXPECT_FALSE(mem.Io(ami::kCopyMemory, &intoSegment, sizeof intoSegment, nullptr, 0));
  EXPECT_EQ(memcmp(pszSegment + ami::kSignatureOffset, ami::kSignature, 7), 0);

  // A mapping of the shared buffer by its physical address shows the same
  // bytes, and ends with the buffer.
  ami::SMapRequest mapBuffer = {1, 0, dwPhysical, 0, 0, ami::kBlockSize};
  uintptr_t pMapped = 0;
  ASSERT_TRUE(mem.Io(ami::kMapPhysical, &mapBuffer, sizeof mapBuffer, &pMapped, sizeof pMapped));
  EXPECT_EQ(memcmp(reinterpret_cast<const void*>(pMapped), "0123456789", 10), 0);

  // Unmap and free: each address once, and the views leave this process.
  ASSERT_TRUE(mem.Io(ami::kUnmapPhysical, &pSegment, sizeof pSegment, nullptr, 0));
  EXPECT_FALSE(IsMapped(pSegment));
  EXPECT_FALSE(mem.Io(ami::kUnmapPhysical, &pSegment, sizeof pSegment, nullptr, 0));
  uintptr_t pUser = rec.pUser;
  ASSERT_TRUE(mem.Io(ami::kFreeBuffer, &pUser, sizeof pUser, nullptr, 0));
  EXPECT_FALSE(IsMapped(pUser));
  EXPECT_FALSE(IsMapped(pMapped));
  EXPECT_FALSE(mem.Io(ami::kFreeBuffer, &pUser, sizeof pUser, nullptr, 0));
  EXPECT_FALSE(mem.Io(ami::kUnmapPhysical, &pMapped, sizeof pMapped, nullptr, 0));
  // The freed buffer is no SMI target any more.
  ASSERT_TRUE(Smi(hw, ami::kSmiGetInfo, 0, 0, dwPhysical, &dwStatus, 1, 0));
  EXPECT_NE(dwStatus & ami::kStatusErrorMask, 0u);
}

}  // namespace
