// The AMI hardware access against recording fakes: what it sends to the
// drivers and the service manager, how it reads the BIOS segment, and how
// it treats a busy SMI interface.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/fake/FakeDevicePort.h"
#include "platform/fake/FakeServicePort.h"
#include "platform/fake/Fakes.h"
#include "tessaro/ami/AmiHwAccess.h"
#include "tests/support/BuiltinStrings.h"

namespace {

// A minimal AMI board behind "\\.\Memctl" and "\\.\HwIOctl": a 64 KB F000
// segment for the mapping requests, one shared buffer, and an SMI answer
// chosen by the test.
struct SAmiDevices {
  std::vector<uint8_t> vecSegment = std::vector<uint8_t>(0x10000, 0xFF);
  std::vector<uint8_t> vecShared = std::vector<uint8_t>(4096, 0);
  uint32_t dwPhysical = 0x00200000;
  int nBusySends = 0;  // SMI sends answered with the function word first
  bool bRefuseMap = false;

  // Writes text into the segment; embedded NULs need the length.
  void Put(uint32_t dwOffset, const char* psz, size_t n = 0) {
    std::memcpy(vecSegment.data() + dwOffset, psz, n ? n : std::strlen(psz));
  }

  bool Memctl(uint32_t dwCode, const uint8_t* pIn, uint32_t nIn, uint8_t* pOut, uint32_t nOut,
              uint32_t* pnReturned) {
    *pnReturned = 0;
    if (dwCode == ami::kMapPhysical) {
      ami::SMapRequest request;
      if (nIn != sizeof(request) || nOut < sizeof(uintptr_t) || bRefuseMap) return false;
      std::memcpy(&request, pIn, sizeof(request));
      if (request.dwPhysical != ami::kSegmentAddress || request.dwLength > vecSegment.size())
        return false;
      const uintptr_t p = reinterpret_cast<uintptr_t>(vecSegment.data());
      std::memcpy(pOut, &p, sizeof(p));
      *pnReturned = sizeof(p);
      return true;
    }
    if (dwCode == ami::kAllocBuffer) {
      const ami::SBufferRecord record = {reinterpret_cast<uintptr_t>(vecShared.data()), 7};
      std::memcpy(pOut, &record, sizeof(record));
      *pnReturned = sizeof(record);
      return nOut >= sizeof(record);
    }
    if (dwCode == ami::kBufferPhysical) {
      std::memcpy(pOut, &dwPhysical, sizeof(dwPhysical));
      *pnReturned = 4;
      return true;
    }
    return dwCode == ami::kUnmapPhysical || dwCode == ami::kFreeBuffer;
  }

  bool HwIoctl(uint32_t dwCode, const uint8_t* pIn, uint32_t, uint8_t* pOut, uint32_t,
               uint32_t* pnReturned) {
    if (dwCode != ami::kCallSmi) return true;
    ami::SSmiRequest request;
    std::memcpy(&request, pIn, sizeof(request));
    const uint32_t dwStatus = nBusySends-- > 0 ? request.wFunction : 0;
    std::memcpy(pOut, &dwStatus, 4);
    *pnReturned = 4;
    return true;
  }
};

class AmiHwAccess : public ::testing::Test {
 protected:
  AmiHwAccess() {
    m_devices.AddDevice("\\\\.\\Memctl",
                        [this](uint32_t c, const uint8_t* i, uint32_t ni, uint8_t* o, uint32_t no,
                               uint32_t* r) { return m_board.Memctl(c, i, ni, o, no, r); });
    m_devices.AddDevice("\\\\.\\HwIOctl",
                        [this](uint32_t c, const uint8_t* i, uint32_t ni, uint8_t* o, uint32_t no,
                               uint32_t* r) { return m_board.HwIoctl(c, i, ni, o, no, r); });
    UseBuiltinStrings(&m_modules);
    m_ports.pServices = &m_services;
    m_ports.pDevices = &m_devices;
    m_ports.pSystem = &m_system;
    m_ports.pFiles = &m_files;
    m_ports.pUi = &m_ui;
    m_ports.pStdout = &m_strStdout;
    m_board.Put(ami::kSignatureOffset, "AMIBIOS");
    m_board.Put(ami::kIdentity1Offset, "080015");
    m_board.Put(ami::kRomTypeOffset, "3");
    m_board.Put(0xE000, "$SFI\xB2\x00$SFP", 10);
    m_board.Put(0xE100, "_TG_P4X5A-14 ");
    m_board.Put(ami::kDateOffset, "10/20/09");
  }

  SAmiDevices m_board;
  CFakeDevicePort m_devices;
  CFakeServicePort m_services;
  CFakeSystem m_system;
  CFakeFileSystem m_files;
  CFakeUi m_ui;
  CFakeModulePort m_modules;
  CResources m_resources{m_modules};
  std::string m_strStdout;
  SAmiHwPorts m_ports;
};

TEST_F(AmiHwAccess, ReadsTheIdentityOfTheSegment) {
  CAmiHwAccess hw(m_ports, m_resources, false);
  ASSERT_TRUE(hw.DetectAmiBios());
  EXPECT_EQ(0xB2, hw.ReadBiosIdentity());
  EXPECT_EQ('B', hw.m_cRomType);  // '3' with "$SFP" beside "$SFI"
  EXPECT_STREQ("P4X5A", hw.m_szModel);
  EXPECT_STREQ("14", hw.m_szRevision);
  EXPECT_STREQ("P4X5A-14", hw.m_szTagText);
  EXPECT_STREQ("10/20/09", hw.m_szDate);
  EXPECT_STREQ("080015", hw.m_szIdentity1);
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());
  // Each reading maps the segment and unmaps it again.
  EXPECT_EQ(2u, m_devices.Count(ami::kMapPhysical));
  EXPECT_EQ(2u, m_devices.Count(ami::kUnmapPhysical));
}

TEST_F(AmiHwAccess, SegmentsWithoutMarkersOrCutOffByTheEnd) {
  struct SCase {
    const char* pszName;
    uint32_t dwSfi;  // 0: no "$SFI"
    const char* pszSfi;
    size_t nSfi;
    uint32_t dwTag;  // 0: no "_TG_"
    uint16_t wPort;
    char cRomType;
    const char* pszModel;
  } aCases[] = {
      {"no markers", 0, "", 0, 0, 0xFFFF, '3', ""},
      {"$SFI without $SFP keeps type 3", 0xE000, "$SFI\x80\x00xxxx", 10, 0, 0x80, '3', ""},
      {"$SFI at the very end has no port", 0xFFFB, "$SFI", 4, 0, 0xFFFF, '3', ""},
      {"tag cut off by the end", 0, "", 0, 0xFFF9, 0xFFFF, '3', ""},
  };
  for (const SCase& c : aCases) {
    SAmiDevices board;
    board.Put(ami::kSignatureOffset, "AMIBIOS");
    board.Put(ami::kRomTypeOffset, "3");
    if (c.dwSfi) board.Put(c.dwSfi, c.pszSfi, c.nSfi);
    if (c.dwTag) board.Put(c.dwTag, "_TG_P4X");
    m_board = board;
    CAmiHwAccess hw(m_ports, m_resources, false);
    ASSERT_TRUE(hw.DetectAmiBios()) << c.pszName;
    EXPECT_EQ(c.wPort, hw.ReadBiosIdentity()) << c.pszName;
    EXPECT_EQ(c.cRomType, hw.m_cRomType) << c.pszName;
    EXPECT_STREQ(c.pszModel, hw.m_szModel) << c.pszName;
    EXPECT_STREQ("Unknown", hw.m_szTagText) << c.pszName;
  }
}

TEST_F(AmiHwAccess, DetectionWithoutTheDriverIsSilentAndInstallsNothing) {
  CFakeDevicePort none;  // no device opens: the driver is not installed
  m_ports.pDevices = &none;
  CAmiHwAccess hw(m_ports, m_resources, false);
  EXPECT_FALSE(hw.DetectAmiBios());
  EXPECT_TRUE(m_ui.m_vecBoxes.empty());
  EXPECT_TRUE(m_services.m_vecCreated.empty());  // no Memctl.sys in C:\work
  EXPECT_EQ(5u, none.m_vecOpened.size());        // five tries
  EXPECT_TRUE(hw.m_bFailure);
}

// Opens nothing until the service of the device runs, as Windows does for
// a driver that is not loaded.
class CUntilRunning : public IDevicePort {
 public:
  CUntilRunning(IDevicePort& devices, CFakeServicePort& services)
      : m_devices(devices), m_services(services) {}
  std::unique_ptr<IDevice> Open(const std::string& strName) override {
    m_dwError = 2;
    if (!m_services.IsRunning(strName.substr(4))) return nullptr;
    m_dwError = 0;
    return m_devices.Open(strName);
  }
  uint32_t LastError() const override { return m_dwError; }

 private:
  IDevicePort& m_devices;
  CFakeServicePort& m_services;
  uint32_t m_dwError = 0;
};

TEST_F(AmiHwAccess, MissingDeviceIsInstalledFromTheStartDirectoryAsADemandStartService) {
  CUntilRunning devices(m_devices, m_services);
  m_ports.pDevices = &devices;
  CAmiHwAccess hw(m_ports, m_resources, false);
  // Without the driver file no service is created.
  EXPECT_EQ(nullptr, hw.OpenDriverDevice("Memctl"));
  EXPECT_TRUE(m_services.m_vecCreated.empty());

  m_files.m_mapFiles["C:\\work\\Memctl.sys"] = {'M', 'Z'};
  EXPECT_NE(nullptr, hw.OpenDriverDevice("Memctl"));
  ASSERT_EQ(1u, m_services.m_vecCreated.size());
  EXPECT_EQ("Memctl", m_services.m_vecCreated[0].strName);
  EXPECT_EQ("C:\\work\\Memctl.sys", m_services.m_vecCreated[0].strBinaryPath);
  EXPECT_EQ(kServiceDemandStart, m_services.m_vecCreated[0].dwStartType);

  // An existing, running service is accepted as it is.
  EXPECT_TRUE(hw.ManageDriver("Memctl", "C:\\work\\Memctl.sys", kDriverInstall));
  // Removal stops and deletes, and always succeeds.
  EXPECT_TRUE(hw.ManageDriver("Memctl", "C:\\work\\Memctl.sys", kDriverRemove));
  EXPECT_FALSE(m_services.IsRunning("Memctl"));
  EXPECT_FALSE(hw.ManageDriver("", "x", kDriverInstall));
  EXPECT_FALSE(hw.ManageDriver("Memctl", "x", 3));
  EXPECT_EQ(
      "Invalid Driver or Service provided to ManageDriver() \nUnknown ManageDriver() "
      "function. \n",
      m_strStdout);
}

TEST_F(AmiHwAccess, BusySmiIsSentAgainAtMostAThousandTimes) {
  CAmiHwAccess hw(m_ports, m_resources, false);
  hw.OpenAmiAccess();
  ami::SSmiRequest request = {ami::kSmiGetInfo, hw.m_wSmiPort, 0, 0, hw.m_dwSharedBufferPhys, 1, 0};
  m_board.nBusySends = 3;
  m_devices.m_vecRequests.clear();
  EXPECT_EQ(0u, hw.CallSmi(0, &request));
  EXPECT_EQ(4u, m_devices.Count(ami::kCallSmi));

  m_board.nBusySends = 5000;
  m_devices.m_vecRequests.clear();
  EXPECT_EQ(ami::kSmiGetInfo, hw.CallSmi(0, &request) & 0xFFFF);
  EXPECT_EQ(1000u, m_devices.Count(ami::kCallSmi));
}

TEST_F(AmiHwAccess, StartUpSetsUpTheSharedBufferAndExitRemovesBothServices) {
  CAmiHwAccess hw(m_ports, m_resources, false);
  ASSERT_TRUE(hw.DetectAmiBios());
  hw.OpenAmiAccess();
  EXPECT_TRUE(hw.IsAmiIdentityKnown());
  EXPECT_TRUE(hw.IsAmiDriverReady());
  EXPECT_EQ(0x00200000u, hw.m_dwSharedBufferPhys);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m_board.vecShared.data()), hw.SharedBuffer());
  ASSERT_NE(nullptr, hw.UserBuffer());

  m_services.Install("HwIOctl", true);
  m_services.Install("Memctl", true);
  hw.CloseAmiAccess();
  EXPECT_EQ(1u, m_devices.Count(ami::kFreeBuffer));
  EXPECT_EQ(0, m_devices.m_nOpenDevices);
  EXPECT_FALSE(m_services.IsRunning("HwIOctl"));
  EXPECT_FALSE(m_services.IsRunning("Memctl"));
  EXPECT_FALSE(hw.IsAmiDriverReady());
}

TEST_F(AmiHwAccess, RefusedMappingsSayWhichMappingFailed) {
  m_board.bRefuseMap = true;
  CAmiHwAccess hw(m_ports, m_resources, false);
  EXPECT_FALSE(hw.DetectAmiBios());
  ASSERT_EQ(1u, m_ui.m_vecBoxes.size());
  EXPECT_EQ("Mapping F000 segment physical address failed!", m_ui.m_vecBoxes[0].strText);

  CFakeDevicePort none;
  m_ports.pDevices = &none;
  CAmiHwAccess without(m_ports, m_resources, false);
  EXPECT_EQ(0xFFFF, without.ReadBiosIdentity());
  EXPECT_EQ("Mapping physical address failed!", m_ui.m_vecBoxes.back().strText);
}

}  // namespace
