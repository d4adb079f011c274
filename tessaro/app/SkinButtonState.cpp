#include "tessaro/app/SkinButtonState.h"

namespace {

constexpr uint32_t kStyleTypeMask = 0x0F;
constexpr uint32_t kStyleAutoCheckBox = 0x03;
constexpr uint32_t kStyleAutoRadio = 0x09;
constexpr uint32_t kTransparentWhite = 0xFFFFFF;

}  // namespace

ESkinButtonKind CSkinButtonState::KindFromStyle(uint32_t dwStyle) {
  switch (dwStyle & kStyleTypeMask) {
    case kStyleAutoCheckBox:
      return ESkinButtonKind::CheckBox;
    case kStyleAutoRadio:
      return ESkinButtonKind::Radio;
    default:
      return ESkinButtonKind::Push;
  }
}

CSkinButtonState::SActions CSkinButtonState::OnPress() {
  SActions actions;
  actions.bCapture = !m_bPressed;
  actions.bRepaint = !LooksPressed();
  m_bPressed = true;
  m_bPressedInside = true;
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::OnMove(bool bInside) {
  SActions actions;
  if (m_bPressed) {
    if (bInside != m_bPressedInside) {
      m_bPressedInside = bInside;
      actions.bRepaint = true;
    }
    return actions;
  }
  if (bInside && !m_bHover) {
    m_bHover = true;
    actions.bTrackLeave = true;
    actions.bRepaint = true;
  }
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::OnLeave() {
  SActions actions;
  if (m_bHover) {
    m_bHover = false;
    actions.bRepaint = true;
  }
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::Activate() {
  SActions actions;
  actions.bClick = true;
  actions.bRepaint = true;
  if (m_eKind == ESkinButtonKind::CheckBox) {
    m_bChecked = !m_bChecked;
  } else if (m_eKind == ESkinButtonKind::Radio) {
    actions.bUncheckGroup = !m_bChecked;
    m_bChecked = true;
  }
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::OnRelease(bool bInside) {
  SActions actions;
  if (!m_bPressed) return actions;
  m_bPressed = false;
  m_bPressedInside = false;
  if (bInside) actions = Activate();
  actions.bReleaseCapture = true;
  actions.bRepaint = true;
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::OnCaptureLost() {
  SActions actions;
  if (!m_bPressed) return actions;
  m_bPressed = false;
  m_bPressedInside = false;
  actions.bReleaseCapture = true;
  actions.bRepaint = true;
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::OnSpaceKey() {
  if (m_eKind == ESkinButtonKind::Push) return SActions();
  SActions actions = Activate();
  if (m_bPressed) {
    m_bPressed = false;
    m_bPressedInside = false;
    actions.bReleaseCapture = true;
  }
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::OnGroupUncheck() {
  SActions actions;
  if (m_bChecked) {
    m_bChecked = false;
    actions.bRepaint = true;
  }
  return actions;
}

CSkinButtonState::SActions CSkinButtonState::SetChecked(bool bChecked) {
  SActions actions;
  if (m_eKind == ESkinButtonKind::Push) return actions;
  actions.bUncheckGroup = m_eKind == ESkinButtonKind::Radio && bChecked && !m_bChecked;
  actions.bRepaint = bChecked != m_bChecked;
  m_bChecked = bChecked;
  return actions;
}

int CSkinButtonState::SlotToDraw(bool bEnabled, const bool abHave[kSkinSlotCount]) const {
  // The first of three candidate slots that has a bitmap, else slot 1.
  auto first = [abHave](int a, int b, int c) {
    return abHave[a - 1] ? a : abHave[b - 1] ? b : abHave[c - 1] ? c : 1;
  };
  if (!bEnabled) return 4;
  if (LooksPressed()) return first(3, 2, 1);
  if (m_bChecked) return first(5, 3, 2);
  if (m_bHover) return first(2, 1, 1);
  return 1;
}

std::vector<SMaskRun> BuildMaskRuns(const uint32_t* pdwPixels, int nWidth, int nHeight) {
  std::vector<SMaskRun> vecRuns;
  for (int y = 0; y < nHeight; ++y) {
    const uint32_t* pdwRow = pdwPixels + static_cast<size_t>(y) * nWidth;
    int x = 0;
    while (x < nWidth) {
      while (x < nWidth && (pdwRow[x] & 0xFFFFFF) == kTransparentWhite) ++x;
      const int nStart = x;
      while (x < nWidth && (pdwRow[x] & 0xFFFFFF) != kTransparentWhite) ++x;
      if (x > nStart) vecRuns.push_back({nStart, y, x, y + 1});
    }
  }
  return vecRuns;
}
