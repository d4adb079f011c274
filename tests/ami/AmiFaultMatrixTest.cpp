// The AMI engine against every fault the bench and the ports can inject,
// for both flash workflows (update and save): each row names a fault and
// the result, the last status line and the end of the request sequence it
// must give. Whatever the fault, a failed run shows no success text, asks
// no restart question and programs no block whose erase failed. The power
// cut runs over the whole sequence of a clean run, measured first, and a
// board cut anywhere must come back: identified as before and updated to
// the same image.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "formats/Lh5.h"
#include "sim/SimAmiBench.h"
#include "sim/SimDevicePort.h"
#include "tessaro/ami/AmiEngine.h"
#include "tests/ami/AmiRig.h"
#include "tests/support/ProgramStateScope.h"

namespace {

constexpr uint32_t kRom = 0x100000;
constexpr uint32_t kBlocks = kRom / ami::kBlockSize;
const char kUpdatePath[] = "C:\\work\\update.rom";
const char kSavePath[] = "C:\\work\\amibios.rom";
const char kFlashSuccess[] = "BIOS Flash Success!";
const char kSaveSuccess[] = "BIOS Save Success!";
const char kSaveError[] = "BIOS Save Error!";
const char kEraseError[] = "BIOS Erase Error!";
const char kProgramError[] = "BIOS Program Error!";
const char kVerifyError[] = "BIOS Verify Error!";
const char kClearingCmos[] = "Clearing CMOS...";

const char kBoard[] =
    "board ami\nrom_size 1M\nboot_block 64K\nnvram 64K\nsmi_port 0xB2\nidentity 1ABKQ0\n"
    "rom_type F\nsfi 0xF500\ntag 0xF600 P4X00 01\ndate 12/08/26\nseed 11\n";
const char kUpdate[] =
    "board ami\nrom_size 1M\nsmi_port 0xB2\nidentity 1ABKQ0\nrom_type F\nsfi 0xF500\n"
    "tag 0xF600 P4X00 02\ndate 03/14/27\nseed 12\n";

bool Decode(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  return Lh5Decode(pIn, nIn, pOut, nOut);
}

struct SSinks : IDisplaySinks {
  std::vector<std::string> vecStatus;
  void SetProgressRange(int, int) override {}
  void SetProgressPos(int) override {}
  void SetStatusText(const std::string& str) override { vecStatus.push_back(str); }
  void SetPercentText(const std::string&) override {}
};

// A device port whose n-th request (1-based, counted over every device
// opened through it, of one code or of any) fails as a driver's request
// fails: nothing reaches the board.
class CFaultyDevices : public IDevicePort {
 public:
  explicit CFaultyDevices(IDevicePort& inner) : m_inner(inner) {}
  void FailRequest(uint32_t n, uint32_t dwCode) {
    m_nFailAt = n;
    m_dwFailCode = dwCode;
    m_nSeen = 0;
  }
  std::unique_ptr<IDevice> Open(const std::string& strName) override {
    std::unique_ptr<IDevice> pDevice = m_inner.Open(strName);
    if (!pDevice) return nullptr;
    return std::unique_ptr<IDevice>(new CDevice(*this, std::move(pDevice)));
  }
  uint32_t LastError() const override { return m_inner.LastError(); }

 private:
  class CDevice : public IDevice {
   public:
    CDevice(CFaultyDevices& port, std::unique_ptr<IDevice> pInner)
        : m_port(port), m_pInner(std::move(pInner)) {}
    bool IoControl(uint32_t dwCode, const void* pIn, uint32_t nIn, void* pOut, uint32_t nOut,
                   uint32_t* pnReturned) override {
      if (m_port.m_nFailAt && (!m_port.m_dwFailCode || m_port.m_dwFailCode == dwCode) &&
          ++m_port.m_nSeen == m_port.m_nFailAt) {
        if (pnReturned) *pnReturned = 0;
        m_dwError = 31;  // ERROR_GEN_FAILURE
        return false;
      }
      m_dwError = 0;
      return m_pInner->IoControl(dwCode, pIn, nIn, pOut, nOut, pnReturned);
    }
    uint32_t LastError() const override { return m_dwError ? m_dwError : m_pInner->LastError(); }

   private:
    CFaultyDevices& m_port;
    std::unique_ptr<IDevice> m_pInner;
    uint32_t m_dwError = 0;
  };
  IDevicePort& m_inner;
  uint32_t m_nFailAt = 0;
  uint32_t m_dwFailCode = 0;
  uint32_t m_nSeen = 0;
};

// A file system whose reads fail, or whose writes fail after a number of
// successful ones (a disk that fills up).
class CFaultyFiles : public IFileSystem {
 public:
  explicit CFaultyFiles(IFileSystem& inner) : m_inner(inner) {}
  bool m_bFailReads = false;
  bool m_bFailCreate = false;
  int m_nWritesLeft = -1;  // -1: no limit

  std::unique_ptr<IFile> Open(const std::string& strPath, EFileMode eMode) override {
    if (m_bFailCreate && eMode != EFileMode::Read) return nullptr;
    std::unique_ptr<IFile> pFile = m_inner.Open(strPath, eMode);
    if (!pFile) return nullptr;
    return std::unique_ptr<IFile>(new CFile(*this, std::move(pFile)));
  }
  bool Exists(const std::string& strPath) override { return m_inner.Exists(strPath); }
  bool Copy(const std::string& a, const std::string& b, bool bFail) override {
    return m_inner.Copy(a, b, bFail);
  }
  bool Move(const std::string& a, const std::string& b) override { return m_inner.Move(a, b); }
  bool Delete(const std::string& strPath) override { return m_inner.Delete(strPath); }
  bool MakeDirectory(const std::string& strPath) override { return m_inner.MakeDirectory(strPath); }
  uint32_t LastError() const override { return m_inner.LastError(); }

 private:
  class CFile : public IFile {
   public:
    CFile(CFaultyFiles& fs, std::unique_ptr<IFile> pInner)
        : m_fs(fs), m_pInner(std::move(pInner)) {}
    bool Read(void* p, uint32_t n, uint32_t* pnRead) override {
      if (m_fs.m_bFailReads) {
        *pnRead = 0;
        return false;
      }
      return m_pInner->Read(p, n, pnRead);
    }
    bool Write(const void* p, uint32_t n) override {
      if (m_fs.m_nWritesLeft == 0) return false;
      if (m_fs.m_nWritesLeft > 0) --m_fs.m_nWritesLeft;
      return m_pInner->Write(p, n);
    }
    bool Seek(uint64_t q) override { return m_pInner->Seek(q); }
    bool GetSize(uint64_t* pq) override { return m_pInner->GetSize(pq); }

   private:
    CFaultyFiles& m_fs;
    std::unique_ptr<IFile> m_pInner;
  };
  IFileSystem& m_inner;
};

std::vector<uint8_t> Rom(const std::string& strDescription) {
  SSimAmiDescription desc;
  std::string strError;
  EXPECT_TRUE(ParseAmiDescription(strDescription, ".", &desc, &strError)) << strError;
  return BuildAmiRom(desc);
}

// One flash-interface call as the engine sent it; bAnswered false when the
// board never saw it (its driver request failed).
struct SCall {
  uint16_t wFunction;
  uint32_t dwRemaining;
  bool bAnswered;
  uint16_t wStatus;
  bool bCmos;
  bool Failed() const { return !bAnswered || (wStatus & ami::kStatusErrorMask) != 0; }
};

enum class EFlow { kUpdate, kSave };

// A fault: description lines for the board, a driver request that fails
// and file faults.
struct SFault {
  const char* pszName;
  std::string strBoard;
  uint32_t nFailRequest = 0;  // this driver request (1-based, from the flow's start) fails
  uint32_t dwFailCode = 0;    // ... counting requests of this code only (0: all)
  bool bFailReads = false;
  int nWritesLeft = -1;
  bool bFailCreate = false;
};

struct SOutcome {
  uint32_t nResult = 0;
  bool bStartFailed = false;  // the engine's start-up (Prepare) gave nResult
  std::vector<std::string> vecStatus;
};

class AmiFaultMatrix : public ::testing::Test, protected SAmiRig {
 protected:
  AmiFaultMatrix() : m_faultyDevices(m_devices), m_faultyFiles(m_files) {
    m_platform.pFiles = &m_faultyFiles;
    m_platform.pDevices = &m_faultyDevices;
  }

  CSimAmiBoard& Board() { return m_bench.Board(); }

  bool OpenBoard(const std::string& strExtra) {
    SSimAmiDescription desc;
    std::string strError;
    m_bench.Close();
    if (!ParseAmiDescription(std::string(kBoard) + strExtra, m_strDir, &desc, &strError) ||
        !m_bench.Open(desc, &strError)) {
      ADD_FAILURE() << strError;
      return false;
    }
    m_vecRunning.assign(Board().Rom(), Board().Rom() + kRom);
    return true;
  }

  // Start-up as the application does it, then the engine's own start.
  uint32_t StartEngine() {
    m_devices = CSimDevicePort();
    m_devices.AddAmiBoard(&Board());
    SAmiHwPorts ports = Ports();
    ports.pDevices = &m_faultyDevices;
    ports.pFiles = &m_faultyFiles;
    m_pEngine.reset();
    m_pHw.reset(new CAmiHwAccess(ports, m_resources, false));
    if (!m_pHw->DetectAmiBios()) return 801;  // no AMI board: the Award detection follows
    m_pHw->OpenAmiAccess();
    if (!m_pHw->IsAmiIdentityKnown() || !m_pHw->IsAmiDriverReady()) return 800;
    m_pEngine.reset(new CAmiEngine(m_platform, m_resources, *m_pHw, Decode));
    return m_pEngine->Prepare(m_sinks);
  }

  // The board as the fault describes it, the engine started on it, then
  // one workflow with the fault's port faults.
  SOutcome Run(EFlow eFlow, const SFault& fault, FlashOptions options = DefaultFlashOptions()) {
    SOutcome out;
    m_faultyDevices.FailRequest(0, 0);
    m_faultyFiles.m_bFailReads = false;
    m_faultyFiles.m_nWritesLeft = -1;
    m_faultyFiles.m_bFailCreate = false;
    m_files.m_mapFiles.erase(kSavePath);
    m_files.m_mapFiles[kUpdatePath] = m_vecUpdate;
    m_ui.m_vecBoxes.clear();
    m_power.m_vecExitFlags.clear();
    m_sinks.vecStatus.clear();
    if (!OpenBoard(fault.strBoard)) return out;
    const uint32_t nStart = StartEngine();
    if (nStart) {
      out.nResult = nStart;
      out.bStartFailed = true;
      return out;
    }
    m_faultyDevices.FailRequest(fault.nFailRequest, fault.dwFailCode);
    m_faultyFiles.m_bFailReads = fault.bFailReads;
    m_faultyFiles.m_nWritesLeft = fault.nWritesLeft;
    m_faultyFiles.m_bFailCreate = fault.bFailCreate;
    m_nLogStart = Board().Log().Count();
    m_nSmiStart = Board().SmiCount();
    m_sinks.vecStatus.clear();
    m_ui.m_queAnswers = {kIdYes, kIdNo};  // flash; no restart now
    if (eFlow == EFlow::kUpdate)
      out.nResult = m_pEngine->Update(kUpdatePath, &options, "", m_sinks);
    else
      out.nResult = m_pEngine->Save(kSavePath, false, m_sinks);
    out.vecStatus = m_sinks.vecStatus;
    return out;
  }

  // The flash-interface calls of the workflow, answered or not, in order.
  std::vector<SCall> Calls() {
    std::vector<SCall> vec;
    uint32_t nSmi = m_nSmiStart;
    const CSimRequestLog& log = Board().Log();
    for (uint32_t i = m_nLogStart; i < log.Count(); ++i) {
      const SSimLogEntry* e = log.Entry(i);
      if (e->byAccess != kSimIoControl ||
          (e->dwCode != ami::kCallSmi && e->dwCode != ami::kCallSmiCmos))
        continue;
      SCall call = {e->InU16(0), e->InU32(8), e->bySucceeded != 0, 0,
                    e->dwCode == ami::kCallSmiCmos};
      if (call.bAnswered) {
        const SSimAmiSmiEntry* pSmi = Board().SmiEntry(nSmi++);
        if (pSmi) call.wStatus = pSmi->wStatus;
      }
      vec.push_back(call);
    }
    return vec;
  }

  // What must hold after every failed run.
  void ExpectNoFalseSuccess(const SOutcome& out, const std::string& strWhere) {
    for (const std::string& str : out.vecStatus) {
      EXPECT_NE(kFlashSuccess, str) << strWhere;
      EXPECT_NE(kSaveSuccess, str) << strWhere;
    }
    for (const CFakeUi::SBox& box : m_ui.m_vecBoxes)
      EXPECT_EQ(std::string::npos, box.strText.find("REBOOT")) << strWhere << ": " << box.strText;
    EXPECT_TRUE(m_power.m_vecExitFlags.empty()) << strWhere;
  }
  // No block is programmed once its erase failed (or went unanswered).
  void ExpectNoProgramAfterFailedErase(const std::string& strWhere) {
    std::set<uint32_t> setFailed;
    for (const SCall& c : Calls()) {
      if (c.bCmos) continue;
      if (c.wFunction == ami::kSmiErase && c.Failed()) setFailed.insert(c.dwRemaining);
      if (c.wFunction == ami::kSmiProgram) {
        EXPECT_EQ(0u, setFailed.count(c.dwRemaining))
            << strWhere << ": block at " << (kRom - c.dwRemaining) << " programmed";
      }
    }
  }
  size_t CountCalls(uint16_t wFunction) {
    size_t n = 0;
    for (const SCall& c : Calls()) n += !c.bCmos && c.wFunction == wFunction;
    return n;
  }

  CProgramStateScope m_state;
  CFaultyDevices m_faultyDevices;
  CFaultyFiles m_faultyFiles;
  CSimAmiBench m_bench;
  SSinks m_sinks;
  std::unique_ptr<CAmiHwAccess> m_pHw;
  std::unique_ptr<CAmiEngine> m_pEngine;
  std::vector<uint8_t> m_vecRunning;
  std::vector<uint8_t> m_vecUpdate = Rom(kUpdate);
  std::string m_strDir = "./";
  uint32_t m_nLogStart = 0;
  uint32_t m_nSmiStart = 0;
};

// Function words and, where it matters, the block the sequence ends with.
struct STail {
  uint16_t wFunction;
  int nBlock;  // -1: any block
  bool bFailed;
};

struct SRow {
  SFault fault;
  uint32_t nResult;
  const char* pszLastStatus;   // null: no status line is checked
  std::vector<STail> vecTail;  // the last calls, in order
};

void ExpectTail(const std::vector<SCall>& vecCalls, const SRow& row) {
  ASSERT_GE(vecCalls.size(), row.vecTail.size()) << row.fault.pszName;
  const size_t nFirst = vecCalls.size() - row.vecTail.size();
  for (size_t i = 0; i < row.vecTail.size(); ++i) {
    const SCall& c = vecCalls[nFirst + i];
    const STail& t = row.vecTail[i];
    EXPECT_EQ(t.wFunction, c.wFunction) << row.fault.pszName << " call " << i;
    if (t.nBlock >= 0) {
      EXPECT_EQ(kRom - static_cast<uint32_t>(t.nBlock) * ami::kBlockSize, c.dwRemaining)
          << row.fault.pszName << " call " << i;
    }
    if (t.bFailed) {
      EXPECT_TRUE(c.Failed()) << row.fault.pszName << " call " << i;
    }
  }
}

// The SMI calls of a clean update, counted from 1 after the engine's
// start: the information twice (the engine object's start, then the
// flash's own), the open, two erase passes, the programs, the verify
// reads, the close and the four CMOS locations. The copies through the
// shared buffer: one per information, one per program and one per read.
constexpr uint32_t kFirstEraseCall = 6;  // 1-based: 2 x 2 information calls, the open, then erases

TEST_F(AmiFaultMatrix, UpdateFaultsEndWithTheirMessageAndNothingAfter) {
  constexpr uint16_t kErase = ami::kSmiErase, kProgram = ami::kSmiProgram, kRead = ami::kSmiRead,
                     kClose = ami::kSmiClose, kInfo = ami::kSmiGetInfo;
  const uint32_t kLast = kBlocks - 1, kMiddle = kBlocks / 2;
  const uint32_t kPass2 = kFirstEraseCall + kBlocks;  // first erase call of the second pass
  const uint32_t kPrograms = kPass2 + kBlocks;        // first program call
  const uint32_t kReads = kPrograms + kBlocks;        // first verify read
  const std::vector<SRow> vecRows = {
      {{"erase fails: first block", "erase_fail_block 0\n"},
       734,
       kEraseError,
       {{kErase, 0, true}, {kClose, -1, false}}},
      {{"erase fails: middle block", "erase_fail_block " + std::to_string(kMiddle) + "\n"},
       734,
       kEraseError,
       {{kErase, static_cast<int>(kMiddle), true}, {kClose, -1, false}}},
      {{"erase fails: last block", "erase_fail_block " + std::to_string(kLast) + "\n"},
       734,
       kEraseError,
       {{kErase, static_cast<int>(kLast), true}, {kClose, -1, false}}},
      {{"program fails: first block", "program_fail_block 0\n"},
       786,
       kProgramError,
       {{kProgram, 0, true}, {kClose, -1, false}}},
      {{"program fails: last block", "program_fail_block " + std::to_string(kLast) + "\n"},
       786,
       kProgramError,
       {{kProgram, static_cast<int>(kLast), true}, {kClose, -1, false}}},
      {{"silent program: first", "silent_program 1\n"},
       764,
       kVerifyError,
       {{kRead, 0, false}, {kClose, -1, false}}},
      {{"silent program: middle", "silent_program " + std::to_string(kMiddle + 1) + "\n"},
       764,
       kVerifyError,
       {{kRead, static_cast<int>(kMiddle), false}, {kClose, -1, false}}},
      {{"silent program: last", "silent_program " + std::to_string(kBlocks) + "\n"},
       764,
       kVerifyError,
       {{kRead, static_cast<int>(kLast), false}, {kClose, -1, false}}},
      // Busy beyond the 1000 sends: the SMI call numbers count from the
      // board's power-up, the engine's start took two.
      // The second information call is answered: the first's status stops it.
      {{"busy: information", "busy_echo 1000 3\n"},
       794,
       nullptr,
       {{kInfo, -1, true}, {kInfo, -1, false}}},
      {{"busy: second erase pass", "busy_echo 1000 " + std::to_string(2 + kPass2) + "\n"},
       734,
       kEraseError,
       {{kErase, 0, true}, {kClose, -1, false}}},
      {{"busy: program", "busy_echo 1000 " + std::to_string(2 + kPrograms + 5) + "\n"},
       786,
       kProgramError,
       {{kProgram, 5, true}, {kClose, -1, false}}},
      {{"busy: verify read", "busy_echo 1000 " + std::to_string(2 + kReads + 7) + "\n"},
       787,
       kVerifyError,
       {{kRead, 7, true}, {kClose, -1, false}}},
      {{"busy: close", "busy_echo 1000 " + std::to_string(2 + kReads + kBlocks) + "\n"},
       kMsgAmiUnfinished,
       "BIOS Verify Success!",
       {{kClose, -1, true}}},
      {{"busy: clearing CMOS", "busy_echo 1000 " + std::to_string(2 + kReads + kBlocks + 1) + "\n"},
       kMsgAmiUnfinished,
       kClearingCmos,
       {{kInfo, -1, true}}},
      // Driver requests that fail: an SMI call, and the copies that move a
      // block into and out of the shared buffer.
      {{"driver: information call fails", "", 1, ami::kCallSmi}, 794, nullptr, {}},
      {{"driver: open fails", "", 5, ami::kCallSmi}, 734, kEraseError, {{kInfo, -1, false}}},
      {{"driver: erase call fails", "", kFirstEraseCall + 9, ami::kCallSmi},
       734,
       kEraseError,
       {{kErase, 8, false}, {kClose, -1, false}}},
      {{"driver: copy into the buffer fails", "", 2 + 9 + 1, ami::kCopyMemory},
       786,
       kProgramError,
       {{kProgram, 8, false}, {kClose, -1, false}}},
      {{"driver: copy out of the buffer fails", "", 2 + kBlocks + 3 + 1, ami::kCopyMemory},
       787,
       kVerifyError,
       {{kRead, 3, false}, {kClose, -1, false}}},
      {{"driver: close fails", "", kReads + kBlocks, ami::kCallSmi},
       kMsgAmiUnfinished,
       "BIOS Verify Success!",
       {{kRead, static_cast<int>(kLast), false}}},
      {{"driver: CMOS clear fails", "", 2, ami::kCallSmiCmos},
       kMsgAmiUnfinished,
       kClearingCmos,
       {{kClose, -1, false}, {kInfo, -1, false}}},
      // The update file cannot be read.
      {{"file: read fails", "", 0, 0, true}, 753, nullptr, {}},
  };
  for (const SRow& row : vecRows) {
    const SOutcome out = Run(EFlow::kUpdate, row.fault);
    const std::string strWhere = row.fault.pszName;
    ASSERT_FALSE(out.bStartFailed) << strWhere << ": " << out.nResult;
    EXPECT_EQ(row.nResult, out.nResult) << strWhere;
    if (row.pszLastStatus) {
      ASSERT_FALSE(out.vecStatus.empty()) << strWhere;
      EXPECT_EQ(row.pszLastStatus, out.vecStatus.back()) << strWhere;
    }
    ExpectNoFalseSuccess(out, strWhere);
    ExpectNoProgramAfterFailedErase(strWhere);
    ExpectTail(Calls(), row);
    if (row.nResult == 794 || row.nResult == 753) {
      EXPECT_EQ(0u, CountCalls(ami::kSmiOpen)) << strWhere;
      EXPECT_EQ(0, std::memcmp(m_vecRunning.data(), Board().Rom(), kRom)) << strWhere;
    }
    if (row.nResult == 734) {
      EXPECT_EQ(0u, CountCalls(kProgram)) << strWhere;
    }
  }
}

// Busy in the first erase pass is passed over: the second pass erases the
// block again, and the update succeeds.
TEST_F(AmiFaultMatrix, BusyInTheFirstErasePassIsRetriedByTheSecond) {
  const SOutcome out =
      Run(EFlow::kUpdate, {"busy: first erase pass",
                           "busy_echo 1000 " + std::to_string(2 + kFirstEraseCall + 3) + "\n"});
  EXPECT_EQ(0u, out.nResult);
  EXPECT_EQ(kFlashSuccess, out.vecStatus.back());
  EXPECT_EQ(0, std::memcmp(m_vecUpdate.data(), Board().Rom(), kRom));
}

TEST_F(AmiFaultMatrix, SaveFaultsSayBiosSaveErrorAndStopReading) {
  constexpr uint16_t kRead = ami::kSmiRead, kClose = ami::kSmiClose, kInfo = ami::kSmiGetInfo;
  const std::vector<SRow> vecRows = {
      // The second information call is answered: the first's status stops it.
      {{"busy: information", "busy_echo 1000 3\n"},
       794,
       nullptr,
       {{kInfo, -1, true}, {kInfo, -1, false}}},
      {{"busy: read", "busy_echo 1000 " + std::to_string(2 + 4 + 10) + "\n"},
       0,
       kSaveError,
       {{kRead, 10, true}, {kClose, -1, false}}},
      {{"driver: read call fails", "", 4 + 19, ami::kCallSmi},
       0,
       kSaveError,
       {{kRead, 18, false}, {kClose, -1, false}}},
      {{"driver: copy out of the buffer fails", "", 1 + 31 + 1, ami::kCopyMemory},
       0,
       kSaveError,
       {{kRead, 31, false}, {kClose, -1, false}}},
      {{"file: cannot be created", "", 0, 0, false, -1, true}, 0, kSaveError, {}},
      {{"file: disk full half-way", "", 0, 0, false, static_cast<int>(kBlocks / 2)},
       0,
       kSaveError,
       {{kRead, static_cast<int>(kBlocks / 2), false}, {kClose, -1, false}}},
  };
  for (const SRow& row : vecRows) {
    const SOutcome out = Run(EFlow::kSave, row.fault);
    const std::string strWhere = row.fault.pszName;
    ASSERT_FALSE(out.bStartFailed) << strWhere;
    EXPECT_EQ(row.nResult, out.nResult) << strWhere;
    if (row.pszLastStatus) {
      ASSERT_FALSE(out.vecStatus.empty()) << strWhere;
      EXPECT_EQ(row.pszLastStatus, out.vecStatus.back()) << strWhere;
    }
    ExpectNoFalseSuccess(out, strWhere);
    ExpectTail(Calls(), row);
    EXPECT_EQ(0u, CountCalls(ami::kSmiErase) + CountCalls(ami::kSmiProgram)) << strWhere;
    EXPECT_EQ(0, std::memcmp(m_vecRunning.data(), Board().Rom(), kRom)) << strWhere;
  }
}

// Faults of the drivers themselves show at start-up, before any flash
// request: no AMI board (Memctl refuses the segment or does not open), or
// a shared buffer without a physical address.
TEST_F(AmiFaultMatrix, DriverFaultsAtStartSendNoFlashRequest) {
  struct SCase {
    const char* pszExtra;
    uint32_t nStart;
    bool bBox791;
  } aCases[] = {
      {"map_refused 1\n", 801, true},
      {"no_memctl 1\n", 801, false},  // silently no AMI board
      {"no_physical 1\n", 800, false},
  };
  for (const SCase& c : aCases) {
    m_ui.m_vecBoxes.clear();
    ASSERT_TRUE(OpenBoard(c.pszExtra));
    EXPECT_EQ(c.nStart, StartEngine()) << c.pszExtra;
    EXPECT_EQ(0u, Board().SmiCount()) << c.pszExtra;
    bool bBox = false;
    for (const CFakeUi::SBox& box : m_ui.m_vecBoxes)
      bBox |= box.strText.find("Mapping F000") != std::string::npos;
    EXPECT_EQ(c.bBox791, bBox) << c.pszExtra;
  }
}

// What a cut before SMI call n of a clean run (0-based, from power-up)
// must give, by the call it falls on.
uint32_t CutResult(const SSimAmiSmiEntry& call) {
  if (call.dwCode == ami::kCallSmiCmos) return kMsgAmiUnfinished;
  switch (call.wFunction) {
    case ami::kSmiGetInfo:
      return 794;
    case ami::kSmiOpen:
    case ami::kSmiErase:
      return 734;
    case ami::kSmiProgram:
      return 786;
    case ami::kSmiRead:
      return 787;
    default:
      return kMsgAmiUnfinished;  // the close
  }
}

bool TopBlockBlank(const uint8_t* pRom) {
  for (uint32_t i = kRom - ami::kBlockSize; i < kRom; ++i)
    if (pRom[i] != 0xFF) return false;
  return true;
}

class AmiPowerCut : public AmiFaultMatrix {
 protected:
  void SetUp() override {
    char szTemplate[] = "/tmp/ami-power-cut-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szTemplate));
    m_strDir = std::string(szTemplate) + "/";  // descriptions name files relative to it
    m_strState = m_strDir + "board.state";
  }
  void TearDown() override {
    m_pEngine.reset();
    m_pHw.reset();
    m_bench.Close();
    std::remove(m_strState.c_str());
    rmdir(m_strDir.c_str());
  }
  std::string m_strState;
};

// The clean run's sequence is measured first; the cut then falls before
// every kind of call and at points spread over the whole sequence. After
// each cut the board is restored from its state file as it was at the cut,
// the program starts on it as before and the same update succeeds.
TEST_F(AmiPowerCut, CutAnywhereFailsWithThePhasesMessageAndTheSameUpdateRecovers) {
  ASSERT_EQ(0u, Run(EFlow::kUpdate, {"clean", ""}).nResult);
  const uint32_t nClean = Board().SmiCount();
  // 2 + 4 information calls, open, 2 x 256 erases, 256 programs, 256
  // reads, close, 4 CMOS locations.
  ASSERT_EQ(2 + 4 + 1 + 2 * kBlocks + 2 * kBlocks + 1 + 4, nClean);
  std::vector<SSimAmiSmiEntry> vecClean;
  for (uint32_t i = 0; i < nClean; ++i) vecClean.push_back(*Board().SmiEntry(i));

  // Every change of call kind, its neighbours, and 24 points in between.
  std::set<uint32_t> setCuts = {1, nClean - 1, nClean};
  for (uint32_t i = 1; i < nClean; ++i)
    if (vecClean[i].wFunction != vecClean[i - 1].wFunction ||
        vecClean[i].dwCode != vecClean[i - 1].dwCode) {
      setCuts.insert(i - 1);
      setCuts.insert(i);
    }
  for (uint32_t i = 1; i < 24; ++i) setCuts.insert(nClean * i / 24);
  setCuts.erase(0);                                       // 0 is no cut at all
  setCuts.insert(2 + kFirstEraseCall - 1 + kBlocks - 1);  // the first pass's last (top) block

  int nTopBlank = 0;
  for (uint32_t nCut : setCuts) {
    const std::string strWhere = "cut after " + std::to_string(nCut) + " calls";
    std::remove(m_strState.c_str());  // a state file left over would win
    const SOutcome out = Run(EFlow::kUpdate, {"cut", "state board.state\npower_cut_after " +
                                                         std::to_string(nCut) + "\n"});
    if (nCut >= nClean) {
      EXPECT_EQ(0u, out.nResult) << strWhere;
      continue;
    }
    EXPECT_EQ(CutResult(vecClean[nCut]), out.nResult) << strWhere;
    EXPECT_EQ(nCut < 2, out.bStartFailed) << strWhere;
    ExpectNoFalseSuccess(out, strWhere);
    ExpectNoProgramAfterFailedErase(strWhere);
    // Nothing was answered after the cut, and the engine stopped at once:
    // the refused call and at most the close after it.
    EXPECT_TRUE(Board().PoweredOff()) << strWhere;
    EXPECT_EQ(nCut, Board().SmiCount()) << strWhere;
    uint32_t nRefused = 0;
    for (uint32_t i = 0; i < Board().Log().Count(); ++i)
      nRefused += Board().Log().Entry(i)->bySucceeded == 0;
    EXPECT_LE(nRefused, 2u) << strWhere;

    // The state file holds the ROM as the cut left it.
    const std::vector<uint8_t> vecAtCut(Board().Rom(), Board().Rom() + kRom);
    m_pEngine.reset();
    m_pHw.reset();
    m_bench.Close();
    std::string strError;
    ASSERT_TRUE(m_bench.OpenState(m_strState, &strError)) << strWhere << ": " << strError;
    EXPECT_EQ(vecAtCut, std::vector<uint8_t>(Board().Rom(), Board().Rom() + kRom)) << strWhere;

    // The running BIOS is still the one the board started with.
    ASSERT_EQ(0u, StartEngine()) << strWhere;
    EXPECT_EQ("1ABKQ0", m_pEngine->VersionText()) << strWhere;
    EXPECT_EQ("P4X00.01", m_pEngine->PartNumberText()) << strWhere;
    EXPECT_EQ("12/08/26", m_pEngine->DateText()) << strWhere;

    // A cut that left the top block erased: an update that keeps the boot
    // block would leave a ROM that cannot start, and says so instead.
    m_files.m_mapFiles[kUpdatePath] = m_vecUpdate;
    m_ui.m_vecBoxes.clear();
    if (TopBlockBlank(vecAtCut.data())) {
      ++nTopBlank;
      FlashOptions keep = DefaultFlashOptions();
      keep.BootBlock = 0;
      m_ui.m_queAnswers = {kIdYes, kIdNo};
      EXPECT_EQ(kMsgAmiBootBlockErased, m_pEngine->Update(kUpdatePath, &keep, "", m_sinks))
          << strWhere;
      EXPECT_TRUE(m_ui.m_vecBoxes.empty()) << strWhere;  // not even the flash question
      EXPECT_EQ(vecAtCut, std::vector<uint8_t>(Board().Rom(), Board().Rom() + kRom)) << strWhere;
    }
    FlashOptions options = DefaultFlashOptions();
    m_ui.m_queAnswers = {kIdYes, kIdNo};
    m_sinks.vecStatus.clear();
    EXPECT_EQ(0u, m_pEngine->Update(kUpdatePath, &options, "", m_sinks)) << strWhere;
    ASSERT_FALSE(m_sinks.vecStatus.empty()) << strWhere;
    EXPECT_EQ(kFlashSuccess, m_sinks.vecStatus.back()) << strWhere;
    EXPECT_EQ(0, std::memcmp(m_vecUpdate.data(), Board().Rom(), kRom)) << strWhere;
  }
  EXPECT_GT(nTopBlank, 3);
}

// A save cut anywhere says "BIOS Save Error!"; cut at its close, the file
// already holds the whole ROM and the save stands.
TEST_F(AmiPowerCut, SaveCutAnywhereSaysSaveError) {
  ASSERT_EQ(0u, Run(EFlow::kSave, {"clean", ""}).nResult);
  const uint32_t nClean = Board().SmiCount();
  ASSERT_EQ(2 + 2 + 1 + kBlocks + 1, nClean);
  for (uint32_t nCut : {2u, 3u, 4u, 5u, 100u, nClean - 2, nClean - 1}) {
    const std::string strWhere = "save cut after " + std::to_string(nCut) + " calls";
    const SOutcome out =
        Run(EFlow::kSave, {"cut", "power_cut_after " + std::to_string(nCut) + "\n"});
    EXPECT_EQ(nCut < 4 ? 794u : 0u, out.nResult) << strWhere;
    if (nCut == nClean - 1) {
      EXPECT_EQ(kSaveSuccess, out.vecStatus.back()) << strWhere;
      EXPECT_EQ(m_vecRunning, m_files.m_mapFiles[kSavePath]) << strWhere;
      continue;
    }
    ExpectNoFalseSuccess(out, strWhere);
    if (nCut >= 4) {
      EXPECT_EQ(kSaveError, out.vecStatus.back()) << strWhere;
    }
  }
}

// The Windows 9x family raises the SMI itself: a port that no longer
// answers is a failure there too, never a block read or written.
TEST_F(AmiFaultMatrix, Windows9xPowerCutIsAFailureToo) {
  struct SCase {
    EFlow eFlow;
    uint32_t nCut;  // SMI calls answered: 1 at the start, then the flow's
    uint32_t nResult;
    const char* pszLastStatus;
  } aCases[] = {
      {EFlow::kSave, 1 + 1 + 1 + 40, 0, kSaveError},                      // read of block 40
      {EFlow::kUpdate, 1 + 2 + 1 + 2 * kBlocks + 9, 786, kProgramError},  // program of block 9
      {EFlow::kUpdate, 1 + 2 + 1 + 3 * kBlocks + 2, 787, kVerifyError},   // verify of block 2
      {EFlow::kUpdate, 1 + 2 + 1 + 4 * kBlocks, kMsgAmiUnfinished, "BIOS Verify Success!"},
  };
  for (const SCase& c : aCases) {
    const std::string strWhere = "9x cut after " + std::to_string(c.nCut);
    ASSERT_TRUE(OpenBoard("power_cut_after " + std::to_string(c.nCut) + "\n"));
    m_devices = CSimDevicePort();
    m_devices.AddAmiBoard(&Board());
    CSimAmiDirectIo direct(&Board());
    SAmiHwPorts ports = Ports();
    ports.pDirectIo = &direct;
    CAmiHwAccess hw(ports, m_resources, true);
    ASSERT_TRUE(hw.DetectAmiBios());
    hw.OpenAmiAccess();
    CAmiEngine engine(m_platform, m_resources, hw, Decode);
    ASSERT_EQ(0u, engine.Prepare(m_sinks)) << strWhere;
    m_files.m_mapFiles.erase(kSavePath);
    m_files.m_mapFiles[kUpdatePath] = m_vecUpdate;
    m_ui.m_queAnswers = {kIdYes, kIdNo};
    m_ui.m_vecBoxes.clear();
    m_sinks.vecStatus.clear();
    FlashOptions options = DefaultFlashOptions();
    SOutcome out;
    out.nResult = c.eFlow == EFlow::kSave ? engine.Save(kSavePath, false, m_sinks)
                                          : engine.Update(kUpdatePath, &options, "", m_sinks);
    out.vecStatus = m_sinks.vecStatus;
    EXPECT_TRUE(Board().PoweredOff()) << strWhere;
    EXPECT_EQ(c.nResult, out.nResult) << strWhere;
    ASSERT_FALSE(out.vecStatus.empty()) << strWhere;
    EXPECT_EQ(c.pszLastStatus, out.vecStatus.back()) << strWhere;
    ExpectNoFalseSuccess(out, strWhere);
  }
}

}  // namespace
