// One backup of the whole flash ROM into a file, with progress.
#pragma once

#include <cstdint>
#include <string>

#include "platform/DisplaySink.h"
#include "tessaro/core/MessageHelper.h"
#include "tessaro/award/AwardBios.h"

class CAwardSaver {
 public:
  CAwardSaver(CAwardBios* pAwd, IProgressSink* pProgress, ITextSink* pStatus, ITextSink* pPercent);

  // bAutoSave: the backup taken before an update (its own status text).
  // True when the whole ROM reached the file.
  bool Save(const std::string& strPath, bool bAutoSave);

 private:
  void SetStatus(uint32_t nId);
  void ResetDisplay();

  IProgressSink* m_pProgress;
  ITextSink* m_pStatus;
  ITextSink* m_pPercent;
  std::unique_ptr<IFile> m_pFile;
  uint32_t m_dwStart = 0;
  uint32_t m_dwSize = 0;
  CAwardBios* m_pAwd;
  CMessageHelper m_Msg;
};
