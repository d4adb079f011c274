// An AMI board in this process: its description, its images (from files or
// generated) and its write-through state file.
//
// Description: one setting per line, '#' starts a comment, numbers decimal
// or 0x-hex with an optional K or M suffix, file names relative to the
// description's folder.
//
//   board ami                        required first word of the kind
//   rom_size 1M                      64K .. 2M, a multiple of 64K
//   boot_block 64K                   boot-block size reported by get-information
//                                    (default, as for nvram: 64K, at most a quarter of the ROM)
//   nvram 64K                        NvRam size reported by get-information
//   image flash.bin                  ROM image (rom_size bytes); without it
//                                    the image is generated
//   segment segment.bin              F000 segment (64K; default: the ROM's last 64K)
//   smi_port 0xB2                    the SMI port ("$SFI" carries it)
//   signature 0                      no "AMIBIOS" at F400 (a board of another kind)
//   identity AB1234                  6 characters at F408 (shorter: blank-padded)
//   rom_type F                       one character at F479
//   sfi 0xF500                       segment offset of "$SFI" (port at +4,
//   sfi 0xF500 nosfp                 "$SFP" at +6 unless nosfp)
//   tag 0xF600 P4X00 12              segment offset of "_TG_", model (5
//                                    characters) and revision (2)
//   date 12/08/26                    8 characters at FFF5 (and a terminator)
//   cmos 0x80 0x55                   initial CMOS byte (index < 256)
//   state board.state                state file (write-through; restored from
//                                    when it exists and matches)
//   seed 7
//   break cut_chain                  a generated image broken in one way:
//                                    no_header, cut_chain, looping_chain,
//                                    link_outside, corrupt_module,
//                                    wrong_size, wrong_sum
//   busy_echo 3 [FROM]               SMI calls FROM.. (default 1) echo the
//                                    function word, 3 of them
//   erase_fail_block 5               erasing 4 KB block 5 (from the ROM start) fails
//   program_fail_block 5             programming block 5 fails
//   silent_program 5                 the 5th program reports success, writes nothing
//   info_error1 0x12                 error bits in Result 1 of get-information
//   info_error2 0x12                 ... in Result 2
//   map_refused 1                    Memctl refuses every mapping
//   no_memctl 1                      "\\.\Memctl" does not open
//   no_physical 1                    shared buffers have no physical address
//   power_cut_after 700              the power fails after 700 SMI calls: no
//                                    device answers until the board is
//                                    restored from its state (once: the
//                                    restored board powers up normally)
//
// Segment fields given for a generated image go into the ROM's last 64K
// (and so into the segment taken from it); with an image file, only the
// fields the description names are written, into the segment.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/AmiImageBuilder.h"
#include "sim/SimAmiBoard.h"
#include "sim/SimBench.h"

// Fields of the F000 segment; an empty text or offset 0 leaves the image
// as it is.
struct SSimAmiSegmentFields {
  int nSignature = -1;  // 1 writes "AMIBIOS", 0 clears it, -1 leaves it
  std::string strIdentity;
  std::string strRomType;
  uint32_t dwSfiOffset = 0;
  bool bSfp = true;
  uint32_t dwTagOffset = 0;
  std::string strModel, strRevision;
  std::string strDate;
};

struct SSimAmiDescription {
  SSimAmiConfig config;
  std::string strImagePath;    // empty: generated
  std::string strSegmentPath;  // empty: the ROM's last 64 KB
  std::string strStatePath;
  SSimAmiSegmentFields fields;
  ESimAmiBreak eBreak = ESimAmiBreak::kNone;  // how a generated image is broken
  std::vector<std::pair<uint8_t, uint8_t>> vecCmos;
};

bool ParseAmiDescription(const std::string& strText, const std::string& strBaseDir,
                         SSimAmiDescription* pDesc, std::string* pstrError);

// The generated ROM of a description (defaults for the fields it does not
// name): distinct, non-blank content in every 4 KB block.
std::vector<uint8_t> BuildAmiRom(const SSimAmiDescription& desc);
// Writes the fields into a 64 KB segment image; false when one does not fit.
bool ApplyAmiSegmentFields(const SSimAmiSegmentFields& fields, uint16_t wSmiPort,
                           uint8_t* pSegment);

class CSimAmiBench {
 public:
  CSimAmiBench() = default;
  ~CSimAmiBench() { Close(); }
  CSimAmiBench(const CSimAmiBench&) = delete;
  CSimAmiBench& operator=(const CSimAmiBench&) = delete;
  bool Open(const std::string& strDescriptionPath, std::string* pstrError);
  bool Open(const SSimAmiDescription& desc, std::string* pstrError);
  // Images in memory (pSegment null: the ROM's last 64 KB).
  bool Open(const SSimAmiConfig& cfg, const std::vector<uint8_t>& vecRom,
            const std::vector<uint8_t>* pSegment, std::string* pstrError);
  bool OpenState(const std::string& strStatePath, std::string* pstrError);
  void Close();

  CSimAmiBoard& Board() { return m_board; }
  CSimFileHost& Host() { return m_host; }

 private:
  CSimFileHost m_host;
  CSimAmiBoard m_board;
};
