#include "tessaro/app/LiveUpdatePresenter.h"

#include "tessaro/app/MainPresenter.h"

namespace {

bool IsLiveUpdateTimer(int nTimerId) {
  return nTimerId >= kTimerInfoDownload && nTimerId <= kTimerStallDialog;
}

}  // namespace

// The downloads are not wired yet: the buttons record the mode and leave
// the window as it was, so no button is left disabled without a download
// that would enable it again.
void CLiveUpdatePresenter::OnOneClick(IMainView&) { m_bOneClick = true; }

void CLiveUpdatePresenter::OnStepByStep(IMainView&) { m_bOneClick = false; }

// Stop acts only on a running download, and none can run yet.
void CLiveUpdatePresenter::OnStop(IMainView&) {}

void CLiveUpdatePresenter::OnTimer(IMainView&, int nTimerId) {
  if (!IsLiveUpdateTimer(nTimerId)) return;
  ++m_anTicks[nTimerId - kTimerInfoDownload];
}

unsigned CLiveUpdatePresenter::Ticks(int nTimerId) const {
  return IsLiveUpdateTimer(nTimerId) ? m_anTicks[nTimerId - kTimerInfoDownload] : 0;
}

bool CStallWatch::Tick(bool bTransferring, uint32_t dwBytesRead) {
  if (!bTransferring) return false;
  if (!m_bSeen || dwBytesRead != m_dwLast) {
    m_bSeen = true;
    m_dwLast = dwBytesRead;
    m_nStillTicks = 0;
    return false;
  }
  if (++m_nStillTicks < kStallTicks) return false;
  m_nStillTicks = 0;
  m_dwAtStall = dwBytesRead;
  return true;
}
