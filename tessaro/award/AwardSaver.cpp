#include "tessaro/award/AwardSaver.h"

#include <cstdio>

namespace {
constexpr uint32_t kChunkBytes = 4096;  // bytes per read and progress step
}

CAwardSaver::CAwardSaver(CAwardBios* pAwd, IProgressSink* pProgress, ITextSink* pStatus,
                         ITextSink* pPercent)
    : m_pProgress(pProgress),
      m_pStatus(pStatus),
      m_pPercent(pPercent),
      m_pAwd(pAwd),
      m_Msg(pAwd->Resources(), *pAwd->Platform().pUi) {
  m_Msg.SetOwner(pAwd->m_Msg.GetOwner());
}

void CAwardSaver::SetStatus(uint32_t nId) {
  if (m_pStatus) m_pStatus->SetText(m_Msg.Text(nId));
}

void CAwardSaver::ResetDisplay() {
  if (m_pProgress) {
    m_pProgress->SetRange(0, 100);
    m_pProgress->SetPos(0);
  }
  if (m_pPercent) m_pPercent->SetText("0%");
}

bool CAwardSaver::Save(const std::string& strPath, bool bAutoSave) {
  if (!m_pAwd->m_bWinFlashSupported) {
    m_Msg.ShowError(751, kCaptionSaveBios);
    return false;
  }
  SetStatus(bAutoSave ? 701 : 700);
  m_pFile = m_pAwd->Platform().pFiles->Open(strPath, EFileMode::CreateAlways);
  bool bOk = m_pFile != nullptr;
  bool bReadOk = true;
  if (bOk) {
    m_dwStart = m_pAwd->m_dwRomBase;
    m_dwSize = m_pAwd->m_byFlashROMSize * 65536u;
    const uint32_t nSizeKb = m_dwSize / 1024;
    if (m_pProgress) m_pProgress->SetRange(0, static_cast<int>(nSizeKb));
    uint8_t abyChunk[kChunkBytes];
    char szPercent[16];
    for (uint32_t nDone = 0; nDone < m_dwSize && bOk; nDone += kChunkBytes) {
      const uint32_t nDoneKb = (nDone + kChunkBytes) / 1024;
      if (m_pProgress) m_pProgress->SetPos(static_cast<int>(nDoneKb));
      if (m_pPercent) {
        snprintf(szPercent, sizeof(szPercent), "%u%%", nDoneKb * 100u / nSizeKb);
        m_pPercent->SetText(szPercent);
      }
      // Neither a full disk nor a flash the driver stopped reading may end
      // in "BIOS Save Success!".
      bReadOk = m_pAwd->ReadFlash(m_dwStart + nDone, abyChunk, kChunkBytes);
      bOk = bReadOk && m_pFile->Write(abyChunk, kChunkBytes);
    }
    m_pFile.reset();
    // A backup cut short must not be taken for a whole one later.
    if (!bOk) m_pAwd->Platform().pFiles->Delete(strPath);
  }
  if (bOk) {
    SetStatus(726);
  } else {
    SetStatus(725);
    m_Msg.ShowError(bReadOk ? 756 : 787, kCaptionSaveBios);
  }
  ResetDisplay();
  return bOk;
}
