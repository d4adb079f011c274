// Behaviour of the simulated AMI board as the engine sees it through the
// HwIOctl, Memctl and memory-device requests and the 9x direct port.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/AmiIoctl.h"
#include "sim/SimAmiBench.h"
#include "sim/SimDevicePort.h"
#include "tests/sim/TempDir.h"

namespace {

using namespace ami;

constexpr uint32_t kRom = 0x40000;  // 256 KB: 64 blocks of 4 KB

SSimAmiDescription Describe(const std::string& strExtra = "") {
  SSimAmiDescription d;
  std::string err;
  std::string text = "board ami\nrom_size 256K\nboot_block 32K\nnvram 16K\n" + strExtra;
  EXPECT_TRUE(ParseAmiDescription(text, "", &d, &err)) << err;
  return d;
}

struct SSmiReply {
  uint32_t dwStatus = 0xDEADBEEF;
  uint32_t dwResult1 = 0, dwResult2 = 0;
};

class AmiBoard : public ::testing::Test {
 protected:
  void Make(const std::string& strExtra = "") {
    SSimAmiDescription d = Describe(strExtra);
    std::string err;
    ASSERT_TRUE(m_bench.Open(d, &err)) << err;
    m_vecRom.assign(Board().Rom(), Board().Rom() + Board().Config().dwRomSize);
    m_devices.AddAmiBoard(&Board());
    m_pHw = m_devices.Open("\\\\.\\HwIOctl");
    m_pMem = m_devices.Open("\\\\.\\MEMCTL");
    ASSERT_TRUE(m_pHw);
  }
  CSimAmiBoard& Board() { return m_bench.Board(); }

  // A shared 4 KB buffer: its address and physical address.
  uint8_t* Alloc(uint32_t* pdwPhysical, uint32_t dwSize = kBlockSize) {
    SBufferRecord rec{};
    uint32_t n = 0;
    EXPECT_TRUE(m_pMem->IoControl(kAllocBuffer, &dwSize, 4, &rec, sizeof rec, &n));
    EXPECT_EQ(n, sizeof rec);
    uint32_t id = static_cast<uint32_t>(rec.nId);
    *pdwPhysical = 0;
    EXPECT_TRUE(m_pMem->IoControl(kBufferPhysical, &id, 4, pdwPhysical, 4, &n));
    return reinterpret_cast<uint8_t*>(rec.pUser);
  }
  SSmiReply Smi(uint16_t wFunction, uint32_t dwRemaining = 0, uint32_t dwBuffer = 0,
                uint32_t dwSize = 0, uint32_t dwCode = kCallSmi) {
    SSmiRequest req{wFunction, 0xB2, dwSize, dwRemaining, dwBuffer, 1, 1};
    // In and out share one block, as a METHOD_BUFFERED caller passes it.
    uint8_t block[sizeof req];
    memcpy(block, &req, sizeof req);
    uint32_t n = 0;
    EXPECT_TRUE(m_pHw->IoControl(dwCode, block, sizeof block, block, sizeof block, &n));
    EXPECT_EQ(n, sizeof block);
    SSmiReply r;
    memcpy(&r.dwStatus, block, 4);
    memcpy(&r.dwResult1, block + offsetof(SSmiRequest, dwResult1), 4);
    memcpy(&r.dwResult2, block + offsetof(SSmiRequest, dwResult2), 4);
    return r;
  }
  std::vector<uint8_t> SaveRom(uint32_t dwPhysical, const uint8_t* pBuffer) {
    uint32_t dwHandle = Smi(kSmiOpen).dwStatus;
    std::vector<uint8_t> v;
    for (uint32_t left = kRom; left; left -= kBlockSize) {
      EXPECT_EQ(Smi(kSmiRead, left, dwPhysical).dwStatus, 0u);
      v.insert(v.end(), pBuffer, pBuffer + kBlockSize);
    }
    EXPECT_EQ(Smi(kSmiClose, 0, 0, dwHandle).dwStatus, 0u);
    return v;
  }
  // Erases and programs every block; returns the first non-zero status.
  uint32_t FlashRom(const std::vector<uint8_t>& image, uint32_t dwPhysical, uint8_t* pBuffer,
                    bool bErase = true) {
    uint32_t dwHandle = Smi(kSmiOpen).dwStatus, dwFirst = 0;
    for (uint32_t left = kRom; left; left -= kBlockSize) {
      if (bErase) {
        uint32_t s = Smi(kSmiErase, left).dwStatus;
        if (s && !dwFirst) dwFirst = s;
      }
      memcpy(pBuffer, &image[kRom - left], kBlockSize);
      uint32_t s = Smi(kSmiProgram, left, dwPhysical).dwStatus;
      if (s && !dwFirst) dwFirst = s;
    }
    EXPECT_EQ(Smi(kSmiClose, 0, 0, dwHandle).dwStatus, 0u);
    return dwFirst;
  }
  std::vector<uint8_t> NewImage() {
    std::vector<uint8_t> v(kRom);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(0xC3 ^ (i * 13) ^ (i >> 12));
    return v;
  }

  CSimAmiBench m_bench;
  CSimDevicePort m_devices;
  std::unique_ptr<IDevice> m_pHw, m_pMem;
  std::vector<uint8_t> m_vecRom;
};

// ------------------------------------------------------ the segment --

struct SSegmentCase {
  const char* pszExtra;
  const char* pszIdentity;
  char cRomType;
  uint32_t dwSfi;
  uint16_t wPort;
  bool bSfp;
  const char* pszModel;
  const char* pszRevision;
  const char* pszDate;
};

class AmiSegment : public AmiBoard, public ::testing::WithParamInterface<SSegmentCase> {};

TEST_P(AmiSegment, IdentityFieldsReadFromTheMappedSegment) {
  const SSegmentCase& c = GetParam();
  Make(c.pszExtra);
  SMapRequest req{1, 0, kSegmentAddress, 0, 0, kSegmentMapLength};
  uintptr_t p = 0;
  uint32_t n = 0;
  ASSERT_TRUE(m_pMem->IoControl(kMapPhysical, &req, sizeof req, &p, sizeof p, &n));
  ASSERT_EQ(n, sizeof p);
  const char* s = reinterpret_cast<const char*>(p);
  EXPECT_EQ(std::string(s + kSignatureOffset, 7), kSignature);
  EXPECT_EQ(std::string(s + kIdentity1Offset, 6), c.pszIdentity);
  EXPECT_EQ(s[kRomTypeOffset], c.cRomType);
  EXPECT_EQ(std::string(s + c.dwSfi, 4), kSfiMarker);
  uint16_t wPort;
  memcpy(&wPort, s + c.dwSfi + kSfiPortOffset, 2);
  EXPECT_EQ(wPort, c.wPort);
  EXPECT_EQ(std::string(s + c.dwSfi + kSfiSfpOffset, 4) == kSfpMarker, c.bSfp);
  const char* tag = static_cast<const char*>(memmem(s, kSegmentSize, kTagMarker, 4));
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(std::string(tag + kTagModelOffset, 5), c.pszModel);
  EXPECT_EQ(std::string(tag + kTagRevisionOffset, 2), c.pszRevision);
  EXPECT_EQ(std::string(s + kDateOffset), c.pszDate);
  EXPECT_TRUE(m_pMem->IoControl(kUnmapPhysical, &p, sizeof p, nullptr, 0, &n));
  EXPECT_EQ(Board().MappingsInUse(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, AmiSegment,
    ::testing::Values(SSegmentCase{"", "AB1234", 'F', 0xF500, 0xB2, true, "P4X00", "01",
                                   "12/08/26"},
                      SSegmentCase{"identity 1XQ\nrom_type B\nsmi_port 0x2E\nsfi 0xE010 nosfp\n"
                                   "tag 0x8000 K8N42 07\ndate 01/31/27\n",
                                   "1XQ   ", 'B', 0xE010, 0x2E, false, "K8N42", "07", "01/31/27"}));

TEST_F(AmiBoard, SegmentIsTheRomsLastSixtyFourKilobytesAndFlashingLeavesItAlone) {
  Make();
  EXPECT_EQ(memcmp(Board().Segment(), Board().Rom() + kRom - kSegmentSize, kSegmentSize), 0);
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  std::vector<uint8_t> before(Board().Segment(), Board().Segment() + kSegmentSize);
  EXPECT_EQ(FlashRom(NewImage(), dwPhys, pBuffer), 0u);
  EXPECT_EQ(std::vector<uint8_t>(Board().Segment(), Board().Segment() + kSegmentSize), before);
}

// -------------------------------------------------- flash interface --

TEST_F(AmiBoard, GetInformationReportsAreasAndFillsTheRecord) {
  Make();
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  memset(pBuffer, 0xEE, kBlockSize);
  SSmiReply r = Smi(kSmiGetInfo, 0, dwPhys);
  EXPECT_EQ(r.dwStatus, 0u);
  EXPECT_EQ(r.dwResult1, 0x8000u);
  EXPECT_EQ(r.dwResult2, 0x4000u);
  uint32_t dwSize;
  memcpy(&dwSize, pBuffer, 4);
  EXPECT_EQ(dwSize, kRom);
  for (uint32_t i = 4; i < kInfoBytes; ++i) EXPECT_EQ(pBuffer[i], 0) << i;
  EXPECT_EQ(pBuffer[kInfoBytes], 0xEE) << "wrote past the record";

  // The short reply: status only, nothing written past it. The status is
  // the result the request asks for: Result 1, or Result 2 when its field
  // is 1.
  SSmiRequest req{kSmiGetInfo, 0xB2, 0, 0, dwPhys, 1, 0};
  uint8_t out[8];
  memset(out, 0x5A, sizeof out);
  uint32_t n = 0;
  ASSERT_TRUE(m_pHw->IoControl(kCallSmi, &req, sizeof req, out, 4, &n));
  EXPECT_EQ(n, 4u);
  uint32_t dwStatus = 0;
  memcpy(&dwStatus, out, 4);
  EXPECT_EQ(dwStatus, 0x8000u);
  EXPECT_EQ(out[4], 0x5A);
  req.dwResult2 = 1;
  ASSERT_TRUE(m_pHw->IoControl(kCallSmi, &req, sizeof req, out, 4, &n));
  memcpy(&dwStatus, out, 4);
  EXPECT_EQ(dwStatus, 0x4000u);
  EXPECT_FALSE(m_pHw->IoControl(kCallSmi, &req, sizeof req, out, 3, &n));
  EXPECT_FALSE(m_pHw->IoControl(kCallSmi, &req, sizeof req - 1, out, 4, &n));
}

TEST_F(AmiBoard, SaveSequenceReturnsTheRomAndLogsEveryCall) {
  Make();
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  Board().ClearLogs();
  EXPECT_EQ(SaveRom(dwPhys, pBuffer), m_vecRom);
  EXPECT_FALSE(Board().SequenceOpen());
  // Golden sequence: open, one read per block counting down, close with
  // the open's handle.
  ASSERT_EQ(Board().SmiCount(), kRom / kBlockSize + 2);
  const SSimAmiSmiEntry* pOpen = Board().SmiEntry(0);
  EXPECT_EQ(pOpen->wFunction, kSmiOpen);
  EXPECT_NE(pOpen->wStatus, 0);
  EXPECT_EQ(pOpen->wStatus & kStatusErrorMask, 0u);
  for (uint32_t i = 0; i < kRom / kBlockSize; ++i) {
    const SSimAmiSmiEntry* e = Board().SmiEntry(1 + i);
    EXPECT_EQ(e->wFunction, kSmiRead);
    EXPECT_EQ(e->dwRemaining, kRom - i * kBlockSize);
    EXPECT_EQ(e->wStatus, 0);
  }
  const SSimAmiSmiEntry* pClose = Board().SmiEntry(kRom / kBlockSize + 1);
  EXPECT_EQ(pClose->wFunction, kSmiClose);
  EXPECT_EQ(pClose->dwSize, pOpen->wStatus);
  EXPECT_EQ(Board().Log().Count(), kRom / kBlockSize + 2);
  EXPECT_EQ(Board().Log().Entry(1)->dwCode, kCallSmi);
  EXPECT_EQ(Board().Log().Entry(1)->InU16(0), kSmiRead);
}

TEST_F(AmiBoard, EraseAndProgramOfTheWholeRomVerifiesAgainstTheNewImage) {
  Make();
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  std::vector<uint8_t> image = NewImage();
  EXPECT_EQ(FlashRom(image, dwPhys, pBuffer), 0u);
  EXPECT_EQ(SaveRom(dwPhys, pBuffer), image);
  EXPECT_EQ(Board().OpensWithoutClose(), 0u);
}

TEST_F(AmiBoard, ProgrammingWithoutEraseOnlyClearsBits) {
  Make();
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  std::vector<uint8_t> image = NewImage();
  EXPECT_EQ(FlashRom(image, dwPhys, pBuffer, false), 0u);  // reports success
  std::vector<uint8_t> read = SaveRom(dwPhys, pBuffer);
  EXPECT_NE(read, image);
  for (size_t i = 0; i < kRom; ++i) ASSERT_EQ(read[i], m_vecRom[i] & image[i]) << i;
}

TEST_F(AmiBoard, RefusesFlashCallsOutsideASequenceOrWithBadArguments) {
  Make();
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  memcpy(pBuffer, "xyz", 3);
  EXPECT_EQ(Smi(kSmiRead, kRom, dwPhys).dwStatus, kSimAmiNotOpen);
  EXPECT_EQ(Smi(kSmiErase, kRom).dwStatus, kSimAmiNotOpen);
  EXPECT_EQ(Smi(kSmiProgram, kRom, dwPhys).dwStatus, kSimAmiNotOpen);
  EXPECT_EQ(Smi(kSmiClose, 0, 0, 0x1000).dwStatus, kSimAmiNotOpen);
  uint32_t h = Smi(kSmiOpen).dwStatus;
  struct {
    uint16_t wFunction;
    uint32_t dwRemaining, dwBuffer, dwStatus;
  } const cases[] = {
      {kSmiRead, 0, dwPhys, kSimAmiBadRemaining},
      {kSmiRead, kRom + kBlockSize, dwPhys, kSimAmiBadRemaining},
      {kSmiRead, kRom - 1, dwPhys, kSimAmiBadRemaining},
      {kSmiErase, 0x80000000u, 0, kSimAmiBadRemaining},
      {kSmiRead, kRom, 0, kSimAmiBadBuffer},
      {kSmiRead, kRom, dwPhys + 1, kSimAmiBadBuffer},  // would run past the buffer
      {kSmiProgram, kRom, 0xF0000, kSimAmiBadBuffer},
      {kSmiGetInfo, 0, 0x100000, kSimAmiBadBuffer},
      {0x0488, kRom, dwPhys, kSimAmiUnknownFunction},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Smi(c.wFunction, c.dwRemaining, c.dwBuffer).dwStatus, c.dwStatus)
        << std::hex << c.wFunction << " " << c.dwRemaining << " " << c.dwBuffer;
  EXPECT_EQ(memcmp(pBuffer, "xyz", 3), 0);
  EXPECT_EQ(Smi(kSmiClose, 0, 0, h ^ 0x3000).dwStatus, kSimAmiBadHandle);
  EXPECT_TRUE(Board().SequenceOpen());
  EXPECT_EQ(Smi(kSmiClose, 0, 0, h).dwStatus, 0u);
  EXPECT_EQ(std::vector<uint8_t>(Board().Rom(), Board().Rom() + kRom), m_vecRom);
}

TEST_F(AmiBoard, HandlesDifferFromOpenToOpenAndKeepTheLowBitsClear) {
  Make();
  uint32_t previous = 0;
  for (int i = 0; i < 20; ++i) {
    uint32_t h = Smi(kSmiOpen).dwStatus;
    EXPECT_NE(h, 0u);
    EXPECT_EQ(h & kStatusErrorMask, 0u);
    EXPECT_LE(h, 0xFFFFu);
    EXPECT_NE(h, previous);
    EXPECT_EQ(Smi(kSmiClose, 0, 0, h).dwStatus, 0u);
    previous = h;
  }
  Smi(kSmiOpen);
  Smi(kSmiOpen);
  EXPECT_EQ(Board().OpensWithoutClose(), 1u);
}

TEST_F(AmiBoard, CmosCallSetsTheLocationAndPortsReachBothBanks) {
  Make("cmos 174 0x12\ncmos 0x10 0x34\n");
  EXPECT_EQ(Board().Cmos()[174], 0x12);
  for (uint8_t loc : kClearCmosLocations) EXPECT_EQ(Smi(0, 0, 0, loc, kCallSmiCmos).dwStatus, 0u);
  for (uint8_t loc : kClearCmosLocations) EXPECT_EQ(Board().Cmos()[loc], 0xFF);
  EXPECT_EQ(Smi(0, 0, 0, 256, kCallSmiCmos).dwStatus, kSimAmiBadCmosLocation);

  uint32_t n = 0, value = 0;
  SPortWrite w{0x70, 0x80 | 0x10};  // NMI mask bit set
  ASSERT_TRUE(m_pHw->IoControl(kWritePortByte, &w, sizeof w, nullptr, 0, &n));
  uint32_t port = 0x71;
  ASSERT_TRUE(m_pHw->IoControl(kReadPortByte, &port, 4, &value, 4, &n));
  EXPECT_EQ(value, 0x34u);
  w = {0x72, 174 - 128};
  ASSERT_TRUE(m_pHw->IoControl(kWritePortByte, &w, sizeof w, nullptr, 0, &n));
  w = {0x73, 0x56};
  ASSERT_TRUE(m_pHw->IoControl(kWritePortByte, &w, sizeof w, nullptr, 0, &n));
  EXPECT_EQ(Board().Cmos()[174], 0x56);
  port = 0x80;
  ASSERT_TRUE(m_pHw->IoControl(kReadPortDword, &port, 4, &value, 4, &n));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_FALSE(m_pHw->IoControl(kReadPortByte, &port, 4, &value, 2, &n));
  EXPECT_FALSE(m_pHw->IoControl(kMapPhysical, &port, 4, &value, 4, &n)) << "not HwIOctl's";
}

// ------------------------------------------------------------ faults --

TEST_F(AmiBoard, BusyHandlerEchoesTheFunctionForTheGivenSends) {
  Make("busy_echo 3 2\n");
  uint32_t dwPhys;
  Alloc(&dwPhys);
  EXPECT_EQ(Smi(kSmiGetInfo, 0, dwPhys).dwStatus, 0u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Smi(kSmiOpen).dwStatus, kSmiOpen);
  EXPECT_FALSE(Board().SequenceOpen());
  uint32_t h = Smi(kSmiOpen).dwStatus;
  EXPECT_EQ(h & kStatusErrorMask, 0u);
  EXPECT_TRUE(Board().SequenceOpen());
  EXPECT_EQ(Smi(kSmiClose, 0, 0, h).dwStatus, 0u);
}

TEST_F(AmiBoard, EraseFailureAtOneBlockLeavesItProgrammed) {
  Make("erase_fail_block 5\n");
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  uint32_t h = Smi(kSmiOpen).dwStatus;
  EXPECT_EQ(Smi(kSmiErase, kRom - 4 * kBlockSize).dwStatus, 0u);
  EXPECT_EQ(Smi(kSmiErase, kRom - 5 * kBlockSize).dwStatus, kSimAmiEraseFailed);
  EXPECT_EQ(Smi(kSmiRead, kRom - 5 * kBlockSize, dwPhys).dwStatus, 0u);
  EXPECT_NE(pBuffer[0], 0xFF);
  EXPECT_EQ(Smi(kSmiClose, 0, 0, h).dwStatus, 0u);
}

TEST_F(AmiBoard, ProgramFailureAndSilentProgramLeaveTheBlockErased) {
  for (const char* extra : {"program_fail_block 2\n", "silent_program 3\n"}) {
    SCOPED_TRACE(extra);
    CSimAmiBench bench;
    std::string err;
    ASSERT_TRUE(bench.Open(Describe(extra), &err)) << err;
    CSimDevicePort devices;
    devices.AddAmiBoard(&bench.Board());
    m_pHw = devices.Open("\\\\.\\HwIOctl");
    m_pMem = devices.Open("\\\\.\\Memctl");
    uint32_t dwPhys;
    uint8_t* pBuffer = Alloc(&dwPhys);
    uint32_t h = Smi(kSmiOpen).dwStatus;
    std::vector<uint32_t> statuses;
    for (uint32_t block = 0; block < 4; ++block) {
      uint32_t left = kRom - block * kBlockSize;
      Smi(kSmiErase, left);
      memset(pBuffer, 0x11, kBlockSize);
      statuses.push_back(Smi(kSmiProgram, left, dwPhys).dwStatus);
    }
    Smi(kSmiClose, 0, 0, h);
    bool bSilent = strstr(extra, "silent") != nullptr;
    EXPECT_EQ(statuses, (std::vector<uint32_t>{0, 0, bSilent ? 0u : kSimAmiProgramFailed, 0}));
    for (uint32_t block = 0; block < 4; ++block)
      EXPECT_EQ(bench.Board().Rom()[block * kBlockSize], block == 2 ? 0xFF : 0x11) << block;
    m_pHw.reset();
    m_pMem.reset();
  }
}

TEST_F(AmiBoard, InformationErrorBitsShowInTheLowTwelveBits) {
  Make("info_error1 0x21\ninfo_error2 0x7\n");
  uint32_t dwPhys;
  Alloc(&dwPhys);
  SSmiReply r = Smi(kSmiGetInfo, 0, dwPhys);
  EXPECT_EQ(r.dwResult1, 0x8000u | 0x21);
  EXPECT_EQ(r.dwResult2, 0x4000u | 0x7);
}

TEST_F(AmiBoard, MemctlFaults) {
  {
    Make("map_refused 1\n");
    SMapRequest req{1, 0, kSegmentAddress, 0, 0, kSegmentMapLength};
    uintptr_t p = 0;
    uint32_t n = 0;
    EXPECT_FALSE(m_pMem->IoControl(kMapPhysical, &req, sizeof req, &p, sizeof p, &n));
    EXPECT_EQ(m_pMem->LastError(), 87u);
  }
  {
    CSimAmiBench bench;
    ASSERT_TRUE(bench.Open(Describe("no_memctl 1\n"), nullptr));
    CSimDevicePort devices;
    devices.AddAmiBoard(&bench.Board());
    EXPECT_FALSE(devices.Open("\\\\.\\Memctl"));
    EXPECT_EQ(devices.LastError(), 2u);
    EXPECT_TRUE(devices.Open("\\\\.\\HwIOctl"));
  }
  {
    CSimAmiBench bench;
    ASSERT_TRUE(bench.Open(Describe("no_physical 1\n"), nullptr));
    CSimDevicePort devices;
    devices.AddAmiBoard(&bench.Board());
    m_pMem = devices.Open("\\\\.\\Memctl");
    uint32_t dwPhys = 0xDEAD;
    EXPECT_NE(Alloc(&dwPhys), nullptr);
    EXPECT_EQ(dwPhys, 0u);
    m_pMem.reset();
  }
}

// ---------------------------------------------- mappings and copies --

TEST_F(AmiBoard, RefusesMappingsOutsideTheSegmentAndSharedBuffers) {
  Make();
  uint32_t dwPhys;
  Alloc(&dwPhys);
  struct {
    uint32_t dwType, dwPhysical, dwLength;
  } const cases[] = {
      {1, 0xE0000, 0x1000},
      {1, 0xEFFFF, 2},
      {1, 0xFFFF0, 0x20},
      {1, kSegmentAddress, 0},
      {2, kSegmentAddress, 0x100},
      {1, 0xFFFFFFFF, 0xFFFFFFFF},
      {1, dwPhys + 0x800, kBlockSize},
      {1, dwPhys + kSimAmiBufferStride, 16},
      {1, 0, kSegmentAddress + 1},
  };
  for (const auto& c : cases) {
    SMapRequest req{c.dwType, 0, c.dwPhysical, 0, 0, c.dwLength};
    uintptr_t p = 0;
    uint32_t n = 0;
    EXPECT_FALSE(m_pMem->IoControl(kMapPhysical, &req, sizeof req, &p, sizeof p, &n))
        << std::hex << c.dwPhysical << " +" << c.dwLength;
  }
  SMapRequest req{1, 0, dwPhys + 16, 0, 0, 32};
  uintptr_t p = 0;
  uint32_t n = 0;
  EXPECT_TRUE(m_pMem->IoControl(kMapPhysical, &req, sizeof req, &p, sizeof p, &n));
  uintptr_t bogus = p + 1;
  EXPECT_FALSE(m_pMem->IoControl(kUnmapPhysical, &bogus, sizeof bogus, nullptr, 0, &n));
  EXPECT_TRUE(m_pMem->IoControl(kUnmapPhysical, &p, sizeof p, nullptr, 0, &n));
  EXPECT_FALSE(m_pMem->IoControl(kUnmapPhysical, &p, sizeof p, nullptr, 0, &n));
}

TEST_F(AmiBoard, CopiesOnlyBetweenCallerMemoryAndWholeSharedBuffers) {
  Make();
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  std::vector<uint8_t> mine(kBlockSize, 0x42), back(kBlockSize, 0);
  auto copy = [&](const void* dst, const void* src, size_t len) {
    SCopyRequest req{reinterpret_cast<uintptr_t>(dst), reinterpret_cast<uintptr_t>(src), len};
    uint32_t n = 0;
    return m_pMem->IoControl(kCopyMemory, &req, sizeof req, nullptr, 0, &n);
  };
  EXPECT_TRUE(copy(pBuffer, mine.data(), kBlockSize));
  EXPECT_TRUE(copy(back.data(), pBuffer, kBlockSize));
  EXPECT_EQ(back, mine);
  // Inside one buffer, overlapping both ways: as memmove.
  for (int i = 0; i < 64; ++i) pBuffer[i] = static_cast<uint8_t>(i);
  EXPECT_TRUE(copy(pBuffer + 8, pBuffer, 32));
  EXPECT_EQ(pBuffer[8], 0);
  EXPECT_EQ(pBuffer[39], 31);
  EXPECT_TRUE(copy(pBuffer, pBuffer + 8, 32));
  EXPECT_EQ(pBuffer[0], 0);
  EXPECT_EQ(pBuffer[31], 31);
  {
    CSimDevicePort devices;
    devices.AddAmiBoard(&Board());
    std::unique_ptr<IDevice> vxd = devices.Open(kVxdName);
    ASSERT_TRUE(vxd);
    SCopyRequest req{reinterpret_cast<uintptr_t>(pBuffer), reinterpret_cast<uintptr_t>(&mine[0]),
                     16};
    uint32_t n = 0;
    EXPECT_FALSE(vxd->IoControl(kCopyMemory, &req, sizeof req, nullptr, 0, &n)) << "NT only";
    EXPECT_EQ(vxd->LastError(), 1u);
  }
  std::vector<uint8_t> other(16);
  EXPECT_FALSE(copy(back.data(), other.data(), 16)) << "no shared buffer on either side";
  EXPECT_FALSE(copy(pBuffer + 1, mine.data(), kBlockSize)) << "runs past the buffer";
  EXPECT_FALSE(copy(back.data(), pBuffer + kBlockSize - 4, 8)) << "runs past the buffer";
  EXPECT_FALSE(copy(Board().Segment(), pBuffer, 16)) << "into the board's segment";
  EXPECT_FALSE(copy(Board().Rom(), pBuffer, 16)) << "into the board's ROM";
  EXPECT_FALSE(copy(pBuffer, reinterpret_cast<void*>(~uintptr_t(0) - 4), 16)) << "wraps";
  EXPECT_EQ(std::vector<uint8_t>(Board().Rom(), Board().Rom() + kRom), m_vecRom);

  // A freed buffer is no shared buffer any more, and mappings into it end.
  SMapRequest map{1, 0, dwPhys, 0, 0, 64};
  uintptr_t mapped = 0;
  uint32_t n = 0;
  ASSERT_TRUE(m_pMem->IoControl(kMapPhysical, &map, sizeof map, &mapped, sizeof mapped, &n));
  EXPECT_EQ(mapped, reinterpret_cast<uintptr_t>(pBuffer));
  uintptr_t user = reinterpret_cast<uintptr_t>(pBuffer);
  EXPECT_TRUE(m_pMem->IoControl(kFreeBuffer, &user, sizeof user, nullptr, 0, &n));
  EXPECT_EQ(Board().MappingsInUse(), 0u);
  EXPECT_FALSE(copy(back.data(), pBuffer, 16)) << "freed";
  EXPECT_FALSE(m_pMem->IoControl(kFreeBuffer, &user, sizeof user, nullptr, 0, &n));
  EXPECT_EQ(Board().BuffersInUse(), 0u);
  uint32_t h = Smi(kSmiOpen).dwStatus;
  EXPECT_EQ(Smi(kSmiRead, kRom, dwPhys).dwStatus, kSimAmiBadBuffer);
  Smi(kSmiClose, 0, 0, h);
}

TEST_F(AmiBoard, SharedBufferSlotsAndSizesAreLimited) {
  Make();
  uint32_t n = 0;
  for (uint32_t size : {0u, kSimAmiMaxBufferSize + 1}) {
    SBufferRecord rec{};
    EXPECT_FALSE(m_pMem->IoControl(kAllocBuffer, &size, 4, &rec, sizeof rec, &n)) << size;
  }
  std::vector<uint32_t> phys;
  for (uint32_t i = 0; i < kSimAmiMaxBuffers; ++i) {
    uint32_t p;
    ASSERT_NE(Alloc(&p, 16), nullptr);
    phys.push_back(p);
  }
  uint32_t size = 16;
  SBufferRecord rec{};
  EXPECT_FALSE(m_pMem->IoControl(kAllocBuffer, &size, 4, &rec, sizeof rec, &n));
  std::sort(phys.begin(), phys.end());
  EXPECT_EQ(std::unique(phys.begin(), phys.end()), phys.end());
  EXPECT_EQ(phys.front(), kSimAmiBufferBase);
  uint32_t id = 0, out = 0xDEAD;
  EXPECT_TRUE(m_pMem->IoControl(kBufferPhysical, &id, 4, &out, 4, &n));
  EXPECT_EQ(out, 0u) << "unknown id";
}

// ------------------------------------------------------ Windows 9x --

TEST_F(AmiBoard, DirectSmiRunsTheFlashInterfaceWithRegisters) {
  Make();
  CSimAmiDirectIo direct(&Board());
  uint32_t dwPhys;
  uint8_t* pBuffer = Alloc(&dwPhys);
  auto call = [&](uint16_t wFunction, uint32_t dwRemaining, uint16_t wCx = kBlockSize) {
    SX86Registers r{kDirectSmiEaxBase + wFunction, kDirectSmiEbx, wCx, 0, dwPhys, dwRemaining};
    EXPECT_TRUE(direct.RaiseSmi(0xB2, &r));
    return r;
  };
  SX86Registers info = call(kSmiGetInfo, 0);
  EXPECT_EQ(info.dwEax & 0xFFFF, 0u);
  EXPECT_EQ(info.dwEbx, 0x8000u);
  EXPECT_EQ(info.dwEcx, 0x4000u);
  uint8_t record[kInfoBytes];
  ASSERT_TRUE(direct.ReadPhysical(dwPhys, record, sizeof record));
  EXPECT_EQ(record[0] | record[1] << 8 | record[2] << 16, static_cast<int>(kRom));

  uint16_t h = static_cast<uint16_t>(call(kSmiOpen, 0).dwEax);
  EXPECT_EQ(call(kSmiRead, kRom - kBlockSize).dwEax & 0xFFFF, 0u);
  EXPECT_EQ(memcmp(pBuffer, &m_vecRom[kBlockSize], kBlockSize), 0);
  EXPECT_EQ(call(kSmiClose, 0, h).dwEax & 0xFFFF, 0u);

  // Without the "$SFI" register signature the OUT is a plain port write.
  SX86Registers r{kDirectSmiEaxBase + kSmiOpen, 0, 0, 0, 0, 0};
  EXPECT_TRUE(direct.RaiseSmi(0xB2, &r));
  EXPECT_FALSE(Board().SequenceOpen());

  uint8_t seg[7];
  ASSERT_TRUE(direct.ReadPhysical(kSegmentAddress + kSignatureOffset, seg, 7));
  EXPECT_EQ(memcmp(seg, kSignature, 7), 0);
  uint8_t outside[4];
  ASSERT_TRUE(direct.ReadPhysical(0xE0000, outside, 4));
  EXPECT_EQ(outside[0] & outside[1] & outside[2] & outside[3], 0xFF);
}

// ----------------------------------------- descriptions and state --

TEST(AmiBench, StateFileKeepsRomAndCmosAcrossRestarts) {
  CTempDir dir;
  std::string strDesc = "board ami\nrom_size 128K\nstate b.state\ncmos 200 0x33\n";
  ASSERT_TRUE(SimWriteFile(dir.Path("b.txt"), strDesc.data(), strDesc.size()));
  std::vector<uint8_t> rom;
  {
    CSimAmiBench bench;
    std::string err;
    ASSERT_TRUE(bench.Open(dir.Path("b.txt"), &err)) << err;
    CSimDevicePort devices;
    devices.AddAmiBoard(&bench.Board());
    auto hw = devices.Open("\\\\.\\HwIOctl");
    SSmiRequest req{kSmiOpen, 0xB2, 0, 0, 0, 1, 1};
    uint32_t status = 0, n = 0;
    ASSERT_TRUE(hw->IoControl(kCallSmi, &req, sizeof req, &status, 4, &n));
    req = {kSmiErase, 0xB2, 0, 0x20000, 0, 1, 1};
    ASSERT_TRUE(hw->IoControl(kCallSmi, &req, sizeof req, &status, 4, &n));
    EXPECT_EQ(status, 0u);
    req = {0, 0xB2, 175, 0, 0, 1, 1};
    ASSERT_TRUE(hw->IoControl(kCallSmiCmos, &req, sizeof req, &status, 4, &n));
    rom.assign(bench.Board().Rom(), bench.Board().Rom() + 0x20000);
    EXPECT_FALSE(bench.Host().WriteFailed());
  }
  CSimAmiBench again;
  std::string err;
  ASSERT_TRUE(again.OpenState(dir.Path("b.state"), &err)) << err;
  EXPECT_EQ(std::vector<uint8_t>(again.Board().Rom(), again.Board().Rom() + 0x20000), rom);
  EXPECT_EQ(rom[0], 0xFF);
  EXPECT_EQ(again.Board().Cmos()[175], 0xFF);
  EXPECT_EQ(again.Board().Cmos()[200], 0x33);

  // A damaged state file is refused, not trusted.
  std::vector<uint8_t> blob;
  ASSERT_TRUE(SimReadFile(dir.Path("b.state"), 1 << 24, &blob));
  blob.resize(blob.size() - 1);
  ASSERT_TRUE(SimWriteFile(dir.Path("short.state"), blob.data(), blob.size()));
  CSimAmiBench broken;
  EXPECT_FALSE(broken.OpenState(dir.Path("short.state"), nullptr));
}

// The power fails at the (n+1)-th SMI call: that call and every later
// request of any device (and of the 9x direct port) go unanswered, the
// state file keeps what was written before, and a board restored from it
// powers up normally.
TEST(AmiBench, PowerCutStopsEveryDeviceAndTheStateKeepsTheFlashUpToIt) {
  CTempDir dir;
  std::string strDesc = "board ami\nrom_size 128K\nstate b.state\npower_cut_after 3\n";
  ASSERT_TRUE(SimWriteFile(dir.Path("b.txt"), strDesc.data(), strDesc.size()));
  std::vector<uint8_t> rom;
  {
    CSimAmiBench bench;
    std::string err;
    ASSERT_TRUE(bench.Open(dir.Path("b.txt"), &err)) << err;
    EXPECT_EQ(3u, bench.Board().Config().dwPowerCutAfter);
    CSimDevicePort devices;
    devices.AddAmiBoard(&bench.Board());
    auto hw = devices.Open("\\\\.\\HwIOctl");
    auto mem = devices.Open("\\\\.\\Memctl");
    uint32_t status = 0, n = 0;
    uint32_t dwSize = kBlockSize;
    SBufferRecord rec{};
    ASSERT_TRUE(mem->IoControl(kAllocBuffer, &dwSize, 4, &rec, sizeof rec, &n));
    const SSmiRequest aCalls[] = {{kSmiOpen, 0xB2, 0, 0, 0, 1, 1},
                                  {kSmiErase, 0xB2, 0, 0x20000, 0, 1, 1},
                                  {kSmiErase, 0xB2, 0, 0x1F000, 0, 1, 1},
                                  {kSmiErase, 0xB2, 0, 0x1E000, 0, 1, 1}};
    for (int i = 0; i < 3; ++i) {
      SSmiRequest req = aCalls[i];
      ASSERT_TRUE(hw->IoControl(kCallSmi, &req, sizeof req, &status, 4, &n)) << i;
      EXPECT_FALSE(bench.Board().PoweredOff());
    }
    SSmiRequest req = aCalls[3];
    EXPECT_FALSE(hw->IoControl(kCallSmi, &req, sizeof req, &status, 4, &n));
    EXPECT_EQ(31u, hw->LastError());  // ERROR_GEN_FAILURE, as a dead board's driver
    EXPECT_TRUE(bench.Board().PoweredOff());
    EXPECT_EQ(3u, bench.Board().SmiCount());
    // Nothing answers any more: port reads, copies, buffers, the 9x port.
    uint32_t dwPort = 0x71, dwValue = 0;
    EXPECT_FALSE(hw->IoControl(kReadPortByte, &dwPort, 4, &dwValue, 4, &n));
    uint8_t abyMine[kBlockSize] = {};
    SCopyRequest copy{reinterpret_cast<uintptr_t>(abyMine), rec.pUser, kBlockSize};
    EXPECT_FALSE(mem->IoControl(kCopyMemory, &copy, sizeof copy, nullptr, 0, &n));
    EXPECT_FALSE(mem->IoControl(kAllocBuffer, &dwSize, 4, &rec, sizeof rec, &n));
    CSimAmiDirectIo direct(&bench.Board());
    SX86Registers regs{};
    regs.dwEax = kDirectSmiEaxBase + kSmiOpen;
    regs.dwEbx = kDirectSmiEbx;
    EXPECT_FALSE(direct.RaiseSmi(0xB2, &regs));
    uint8_t by = 0;
    EXPECT_FALSE(direct.PortIn(0x71, &by));
    EXPECT_FALSE(direct.ReadPhysical(0xF0000, &by, 1));
    rom.assign(bench.Board().Rom(), bench.Board().Rom() + 0x20000);
  }
  // Blocks 0 and 1 were erased before the cut, block 2 was not.
  EXPECT_EQ(0xFF, rom[0]);
  EXPECT_EQ(0xFF, rom[0x1FFF]);
  EXPECT_NE(0xFF, rom[0x2000]);
  CSimAmiBench again;
  std::string err;
  ASSERT_TRUE(again.OpenState(dir.Path("b.state"), &err)) << err;
  EXPECT_EQ(std::vector<uint8_t>(again.Board().Rom(), again.Board().Rom() + 0x20000), rom);
  EXPECT_TRUE(again.Board().PowerCutHappened());
  CSimDevicePort devices;
  devices.AddAmiBoard(&again.Board());
  auto hw = devices.Open("\\\\.\\HwIOctl");
  for (int i = 0; i < 10; ++i) {
    SSmiRequest req{kSmiOpen, 0xB2, 0, 0, 0, 1, 1};
    uint32_t status = 0, n = 0;
    EXPECT_TRUE(hw->IoControl(kCallSmi, &req, sizeof req, &status, 4, &n)) << i;
  }
  EXPECT_FALSE(again.Board().PoweredOff());
}

TEST(AmiBench, RefusesBadDescriptions) {
  const char* const cases[] = {
      "rom_size 1M\n",                                         // no kind
      "board award\n",                                         // other kind
      "board ami\nrom_size 32K\n",                             // too small
      "board ami\nrom_size 4M\n",                              // too large
      "board ami\nrom_size 100K\n",                            // not 64K steps
      "board ami\nrom_size 64K\nboot_block 48K\nnvram 32K\n",  // areas exceed the ROM
      "board ami\nidentity TOOLONG1\n",
      "board ami\nrom_type XY\n",
      "board ami\nsfi 0xFFFC\n",
      "board ami\ntag 0xF600 ABC 01\n",
      "board ami\ndate 1/1/26\n",
      "board ami\npower_cut_after -1\n",
      "board ami\ncmos 256 1\n",
      "board ami\ninfo_error1 0x1000\n",
      "board ami\nbusy_echo 3 0\n",
      "board ami\nerase_fail_block 512\n",
      "board ami\nmystery 1\n",
  };
  for (const char* text : cases) {
    SSimAmiDescription d;
    std::string err;
    EXPECT_FALSE(ParseAmiDescription(text, "", &d, &err)) << text;
  }
}

TEST(AmiBench, FieldsThatDoNotFitTheSegmentAreRefused) {
  std::vector<uint8_t> seg(kSegmentSize, 0);
  SSimAmiSegmentFields f;
  f.dwSfiOffset = kSegmentSize - 4;  // port and "$SFP" would run past the end
  EXPECT_FALSE(ApplyAmiSegmentFields(f, 0xB2, seg.data()));
  SSimAmiSegmentFields g;
  g.dwTagOffset = 0xF000;
  g.strModel = "ABC";  // not 5 characters
  g.strRevision = "01";
  EXPECT_FALSE(ApplyAmiSegmentFields(g, 0xB2, seg.data()));
}

}  // namespace

namespace {

TEST(AmiDemoBoard, BuildTreeHoldsTheRunningRomItsUpdateAndState) {
  const char* pszBinary = getenv("TESSARO_BINARY_DIR");
  if (!pszBinary) GTEST_SKIP() << "run through ctest: TESSARO_BINARY_DIR names the build tree";
  std::string dir = std::string(pszBinary) + "/sim/boards/ami/";
  CSimAmiBench bench;
  std::string err;
  ASSERT_TRUE(bench.Open(dir + "board.txt", &err)) << err;
  const CSimAmiBoard& b = bench.Board();
  EXPECT_EQ(b.Config().dwRomSize, 0x100000u);
  EXPECT_EQ(memcmp(b.Segment() + ami::kSignatureOffset, ami::kSignature, 7), 0);
  EXPECT_EQ(memcmp(b.Segment() + ami::kIdentity1Offset, "1ABKQ0", 6), 0);
  std::vector<uint8_t> flash, update;
  ASSERT_TRUE(SimReadFile(dir + "flash.bin", 1 << 21, &flash));
  ASSERT_TRUE(SimReadFile(dir + "update.bin", 1 << 21, &update));
  EXPECT_EQ(flash, std::vector<uint8_t>(b.Rom(), b.Rom() + 0x100000));
  ASSERT_EQ(update.size(), 0x100000u);
  // Same board, newer BIOS: the identity agrees, the content and date do not.
  const uint8_t* pUpdateSegment = update.data() + 0x100000 - ami::kSegmentSize;
  EXPECT_EQ(memcmp(pUpdateSegment + ami::kIdentity1Offset, "1ABKQ0", 6), 0);
  EXPECT_EQ(memcmp(pUpdateSegment + ami::kDateOffset, "03/14/27", 8), 0);
  EXPECT_NE(memcmp(update.data(), flash.data(), ami::kBlockSize), 0);
  CSimAmiBench fromState;
  EXPECT_TRUE(fromState.OpenState(dir + "ami.state", &err)) << err;
}

}  // namespace
