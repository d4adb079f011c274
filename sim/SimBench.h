// User-mode home of the simulation cores: board descriptions, state files
// and memory from the C heap. (Kernel drivers host the same cores with their
// own pool and file calls, see sim/driver/.)
//
// Award board description: a text file, one setting per line, '#' starts a
// comment, numbers are decimal or 0x-hex with an optional K or M suffix
// (x 1024, x 1048576), file names are relative to the description's folder.
//
//   rom_size 512K                    ROM size, 128K .. 1M, a multiple of 64K
//   flash_id 0x60BF                  part id as the BIOS stores it
//   erase_blocks 64K*7 32K*1 8K*2 16K*1   erase-block geometry from the ROM's
//                                    low end (default: 64K blocks)
//   flash demo.bin                   flash image (rom_size bytes)
//   segment demo.seg                 F000 segment image (64K; default: the
//                                    flash image's last 64K)
//   smi_port 0xB2                    port on which the board takes a software SMI
//   smi_level 4                      AL returned by the SMI query
//   protect 0xFFFFE000 8K 0xA2       write-protected range: address, length,
//                                    status (up to 8)
//   outside_status 0xA0              status for writes outside the ROM
//   cmos 0x10 0x55                   initial CMOS byte (index, value)
//   state board.state                state file (write-through; restored from
//                                    when it exists and matches)
//   seed 7                           seed of every random fault
//   erase_fail 0xFFFF0000            erase of the block at this address fails
//   erase_fail random                ... of a block chosen by the seed
//   stuck_bits 3                     bits chosen by the seed that never change
//   silent_program 5                 the 5th program request writes nothing
//   silent_program_rate 20           per 1000 program requests (seeded)
//   power_cut_after 1000             the board stops answering after 1000 requests
//   smi_busy 1                       the SMI handler never answers
//
// Mirel controller description, same syntax:
//
//   board mirel
//   memory 0x0104 02                 controller bytes at an address (hex)
//   profile 3 voltage <49 hex bytes> a profile's voltage record
//   profile 3 clock <51 hex bytes>   a profile's clock record
//   msr 0x198 0x06000613 0x0         an MSR (index, low, high); the first one
//                                    replaces the default table
//   seed 7
//   timeout_at 5                     the 5th command record times out
//   timeout_rate 100                 per 1000 command records (seeded)
//   state mirel.state                state file (write-through; restored from)
#pragma once

#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/SimAwardBoard.h"
#include "sim/SimMirelController.h"

// A C-heap host; when a state file is attached, every change of the state
// blob is written through to it at once.
class CSimFileHost {
 public:
  CSimFileHost();
  ~CSimFileHost();
  CSimFileHost(const CSimFileHost&) = delete;
  CSimFileHost& operator=(const CSimFileHost&) = delete;

  const SSimHost* Host() const { return &m_host; }
  // Mirrors later changes into strPath (created or truncated now when
  // bCreate, else opened for update). False when the file cannot be opened.
  bool AttachStateFile(const std::string& strPath, bool bCreate);
  void DetachStateFile();
  bool WriteFailed() const { return m_bWriteFailed; }

 private:
  static void* Alloc(void* pContext, size_t nBytes);
  static void Free(void* pContext, void* pMemory);
  static void StateWritten(void* pContext, const uint8_t* pBlob, uint32_t dwOffset,
                           uint32_t nBytes);
  SSimHost m_host;
  FILE* m_pFile = nullptr;
  bool m_bWriteFailed = false;
};

// A parsed Award description.
struct SSimAwardDescription {
  SSimAwardConfig config;
  std::string strFlashPath;                          // resolved against the description's folder
  std::string strSegmentPath;                        // empty: the flash image's last 64 KB
  std::string strStatePath;                          // empty: no state file
  std::vector<std::pair<uint8_t, uint8_t>> vecCmos;  // initial CMOS bytes
};

// Parses a description text; strBaseDir is prefixed to relative file names
// (may be empty). False with a message naming the line on any error.
bool ParseAwardDescription(const std::string& strText, const std::string& strBaseDir,
                           SSimAwardDescription* pDesc, std::string* pstrError);

// Helpers shared by every description parser of the bench.
// A number: decimal or 0x-hex, optional K/M suffix; the whole token must be
// one and fit 32 bits.
bool SimParseNumber(const std::string& strToken, uint32_t* pdwValue);
// Hex bytes "00 11 aa" or "0011aa" (spaces ignored); false on odd digits.
bool SimParseHexBytes(const std::string& strText, std::vector<uint8_t>* pBytes);
// One description line without its comment: the key, the words after it,
// and the raw text after the key (for values with blanks). False for blank
// lines.
bool SimSplitLine(const std::string& strLine, std::string* pstrKey,
                  std::vector<std::string>* pvecArgs, std::string* pstrRest);
// Calls pfnLine for every non-blank line; a line it refuses (false, with a
// reason) ends the walk with "line N: reason" in *pstrError.
using SimLineHandler =
    std::function<bool(const std::string& strKey, const std::vector<std::string>& vecArgs,
                       const std::string& strRest, std::string* pstrWhy)>;
bool SimParseLines(const std::string& strText, const SimLineHandler& pfnLine,
                   std::string* pstrError);
// strName resolved against strBaseDir unless it is absolute.
std::string SimResolvePath(const std::string& strBaseDir, const std::string& strName);

// Reads a whole file (at most nMaxBytes); false when missing or larger.
bool SimReadFile(const std::string& strPath, size_t nMaxBytes, std::vector<uint8_t>* pData);
bool SimWriteFile(const std::string& strPath, const void* pData, size_t nBytes);
// Folder part of a path (up to and including the last separator), "" if none.
std::string SimDirectoryOf(const std::string& strPath);

// A ready Award board in this process: the description's board, or the
// state file it names when that exists (so a restarted bench continues
// where the last one stopped).
class CSimAwardBench {
 public:
  CSimAwardBench() = default;
  ~CSimAwardBench() { Close(); }
  CSimAwardBench(const CSimAwardBench&) = delete;
  CSimAwardBench& operator=(const CSimAwardBench&) = delete;
  // From a description file.
  bool Open(const std::string& strDescriptionPath, std::string* pstrError);
  // From a parsed description (images read from its paths).
  bool Open(const SSimAwardDescription& desc, std::string* pstrError);
  // From images in memory, no files at all.
  bool Open(const SSimAwardConfig& cfg, const std::vector<uint8_t>& vecFlash,
            const std::vector<uint8_t>* pSegment, std::string* pstrError);
  // From a state file alone (what the drivers load).
  bool OpenState(const std::string& strStatePath, std::string* pstrError);
  void Close();

  CSimAwardBoard& Board() { return m_board; }
  CSimFileHost& Host() { return m_host; }

 private:
  CSimFileHost m_host;
  CSimAwardBoard m_board;
};

// A parsed Mirel description.
struct SSimMirelDescription {
  SSimMirelConfig config;
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> vecMemory;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> vecVoltage, vecClock;  // profile, record
  std::string strStatePath;
};
bool ParseMirelDescription(const std::string& strText, const std::string& strBaseDir,
                           SSimMirelDescription* pDesc, std::string* pstrError);

// A ready Mirel controller in this process.
class CSimMirelBench {
 public:
  CSimMirelBench() = default;
  ~CSimMirelBench() { Close(); }
  CSimMirelBench(const CSimMirelBench&) = delete;
  CSimMirelBench& operator=(const CSimMirelBench&) = delete;
  bool Open(const std::string& strDescriptionPath, std::string* pstrError);
  bool Open(const SSimMirelDescription& desc, std::string* pstrError);
  bool OpenState(const std::string& strStatePath, std::string* pstrError);
  void Close();
  CSimMirelController& Controller() { return m_controller; }
  CSimFileHost& Host() { return m_host; }

 private:
  CSimFileHost m_host;
  CSimMirelController m_controller;
};
