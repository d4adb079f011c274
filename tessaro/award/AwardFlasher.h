// One update of the flash ROM from a BIOS file: load, check against the
// running BIOS (carrying the board's own tables into the image), ask, then
// erase, program and verify block by block with progress.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/DisplaySink.h"
#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/award/AwardBios.h"

class CAwardFlasher {
 public:
  CAwardFlasher(CAwardBios* pAwd, IProgressSink* pProgress, ITextSink* pStatus,
                ITextSink* pPercent);

  void SetRebootMessage(const std::string& strText) { m_strRebootText = strText; }
  // The whole update; options are the program-wide ones after the board's
  // forbidden options were switched off. True when the BIOS was written.
  bool Update(const std::string& strPath, FlashOptions* pOptions);

  bool LoadAndCheck(const std::string& strPath, FlashOptions* pOptions);
  bool LoadFile(const std::string& strPath);
  bool CheckFile(FlashOptions* pOptions);
  // Takes an image already in memory (what LoadFile would have read).
  void SetImage(const uint8_t* pData, uint32_t nLength);
  const uint8_t* Image() const { return m_pSource.get(); }

  uint32_t m_dwSourceFileSize = 0;
  bool m_bWritten = false;
  bool m_bBlocksOk = false;
  uint32_t m_dwSkip = 0;  // 0 or 0x10000: a module bank kept out of the main block

 private:
  // Checks of the loaded image, in the order CheckFile runs them.
  void ApplyFileBootType();
  bool CheckImage();
  bool CarryOverNvTable(long nMarker, uint32_t dwFieldOffset);
  void CarryOverHdcp();
  bool CheckBiosLock();
  bool Reseal();
  bool CheckPartNumber(FlashOptions* pOptions);
  void CheckFlashAreas(FlashOptions* pOptions);
  void CheckModuleBank();
  long FindLh5Bank() const;
  // Bytes [*pp, *pq) are summed into byte *pq; false when the image has no
  // such range.
  bool ChecksumRange(uint16_t wCode, size_t* pp, size_t* pq) const;
  bool VerifyImageChecksum(uint16_t wCode) const;
  bool Refuse(uint32_t nMessage);

  // The block stages. In a dry run they only check that every block lies
  // inside the image and the ROM, so a bad layout is refused before any
  // block is erased.
  bool RunStages(const FlashOptions& options);
  bool StageFits(uint32_t dwAddress, uint64_t qwSource, uint64_t qwLength);
  bool EraseAndProgram(uint32_t dwAddress, uint64_t qwSource, uint32_t nLength,
                       const char* pszName);
  bool VerifyBlock(uint32_t dwAddress, uint64_t qwSource, uint32_t nLength, bool bShow);
  bool FlashMain(uint64_t qwSource, uint32_t dwAddress);
  bool FlashHole(uint64_t qwSource);
  bool FlashDmi(uint64_t qwSource, bool bEnabled);
  bool FlashPnp(uint64_t qwSource, bool bEnabled);
  bool FlashBootBlock(uint64_t qwSource, bool bEnabled);
  void ClearCmos();
  void LoadCmosDefault();

  void SetStatus(uint32_t nId, const char* pszName = nullptr);
  void SetProgress(uint32_t nLengthKb, uint32_t nPosKb);
  void DebugBox(const std::string& strText);

  std::unique_ptr<uint8_t[]> m_pSource;
  CAwardBios* m_pAwd;
  CMessageHelper m_Msg;
  std::string m_strRebootText;
  IProgressSink* m_pProgress;
  ITextSink* m_pStatus;
  ITextSink* m_pPercent;

  // Facts of the loaded image found by the checks.
  uint8_t m_byFileBiosSize = 0;  // 64 KB units, from the size letter
  bool m_bHasBbss = false;
  uint16_t m_wBootStart = 0;
  uint16_t m_wCsCode = 0;
  long m_nEndMark = -1;  // offset in the last 128 KB, -1 when unknown
  bool m_bDryRun = false;
  bool m_bPlanOk = true;
};
