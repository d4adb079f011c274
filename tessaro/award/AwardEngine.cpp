#include "tessaro/award/AwardEngine.h"

#include <memory>

#include "tessaro/award/AwardFlasher.h"
#include "tessaro/award/AwardSaver.h"

namespace {

constexpr uint32_t kMsgBootBlockDamaged = 805;

// The window's sinks as the three controls the operation objects write to.
class CProgressOf : public IProgressSink {
 public:
  explicit CProgressOf(IDisplaySinks& sinks) : m_sinks(sinks) {}
  void SetRange(int nLower, int nUpper) override { m_sinks.SetProgressRange(nLower, nUpper); }
  void SetPos(int nPos) override { m_sinks.SetProgressPos(nPos); }

 private:
  IDisplaySinks& m_sinks;
};

class CStatusOf : public ITextSink {
 public:
  explicit CStatusOf(IDisplaySinks& sinks) : m_sinks(sinks) {}
  void SetText(const std::string& strText) override { m_sinks.SetStatusText(strText); }

 private:
  IDisplaySinks& m_sinks;
};

class CPercentOf : public ITextSink {
 public:
  explicit CPercentOf(IDisplaySinks& sinks) : m_sinks(sinks) {}
  void SetText(const std::string& strText) override { m_sinks.SetPercentText(strText); }

 private:
  IDisplaySinks& m_sinks;
};

}  // namespace

bool CAwardEngine::GetBiosId(std::string* pstrId) const {
  *pstrId = m_bios.m_szBiosId;
  return true;
}

uint32_t CAwardEngine::Update(const std::string& strPath, FlashOptions* pOptions,
                              const std::string& strRebootMessage, IDisplaySinks& sinks) {
  CProgressOf progress(sinks);
  CStatusOf status(sinks);
  CPercentOf percent(sinks);
  std::unique_ptr<CAwardFlasher> pFlasher(new CAwardFlasher(&m_bios, &progress, &status, &percent));
  pFlasher->SetRebootMessage(strRebootMessage);
  pFlasher->Update(strPath, pOptions);
  return 0;
}

uint32_t CAwardEngine::Save(const std::string& strPath, bool bAutomatic, IDisplaySinks& sinks) {
  CProgressOf progress(sinks);
  CStatusOf status(sinks);
  CPercentOf percent(sinks);
  std::unique_ptr<CAwardSaver> pSaver(new CAwardSaver(&m_bios, &progress, &status, &percent));
  pSaver->Save(strPath, bAutomatic);
  return 0;
}

// The loader reads exactly the ROM's size; the sum covers what it read.
bool CAwardEngine::SumImageFile(const std::string& strPath, IDisplaySinks& sinks, uint16_t* pwSum) {
  CProgressOf progress(sinks);
  CStatusOf status(sinks);
  CPercentOf percent(sinks);
  std::unique_ptr<CAwardFlasher> pFlasher(new CAwardFlasher(&m_bios, &progress, &status, &percent));
  if (!pFlasher->LoadFile(strPath)) return false;
  uint16_t wSum = 0;
  const uint8_t* pImage = pFlasher->Image();
  for (uint32_t i = 0; i < pFlasher->m_dwSourceFileSize; ++i)
    wSum = static_cast<uint16_t>(wSum + pImage[i]);
  *pwSum = wSum;
  return true;
}

bool CAwardFamilyProbe::OpenAward() {
  if (!m_bios.Open()) return false;
  if (m_bios.IsAwardBios() && m_bios.BootBlockDamaged())
    m_bios.m_Msg.ShowError(kMsgBootBlockDamaged, kCaptionTessaro);
  return true;
}
