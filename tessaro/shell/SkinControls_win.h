// The small Win32 control layer of Tessaro's windows: a modal dialog base,
// the skinned (bitmap-shaped, draggable, captionless) dialog, the skinned
// bitmap button and the skinned text label.
#pragma once

#include <windows.h>

#include <string>

#include "tessaro/app/SkinButtonState.h"

// Where dialog templates and bitmaps come from: the satellite library when
// it carries the resource, the program itself otherwise.
void SetResourceSatellite(HMODULE hSatellite);
HINSTANCE ResourceModuleFor(LPCSTR pszType, UINT nId);
HBITMAP LoadSkinBitmap(UINT nId);
// The window region made of every non-white pixel of a mask bitmap; null
// when the bitmap cannot be read.
HRGN RegionFromMask(HBITMAP hMask);

// A modal dialog from a template, with its messages routed to a virtual
// member function.
class CDialogBase {
 public:
  CDialogBase(UINT nTemplateId, HWND hParent) : m_nTemplateId(nTemplateId), m_hParent(hParent) {}
  virtual ~CDialogBase() = default;
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  INT_PTR DoModal();
  HWND Handle() const { return m_hWnd; }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // A command from a control or the keyboard; true when handled.
  virtual bool OnCommand(int nId, int nCode) {
    (void)nCode;
    if (nId == IDOK || nId == IDCANCEL) {
      EndDialog(m_hWnd, nId);
      return true;
    }
    return false;
  }
  // Every message first; return true (and set *pResult) to handle it.
  virtual bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult);

  UINT m_nTemplateId;
  HWND m_hParent;
  HWND m_hWnd = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
};

// A dialog drawn from a background bitmap, shaped by a mask bitmap, with
// no caption bar; a press on any background point drags it.
class CSkinDialog : public CDialogBase {
 public:
  CSkinDialog(UINT nTemplateId, HWND hParent) : CDialogBase(nTemplateId, hParent) {}
  ~CSkinDialog() override;
  void SetSkin(UINT nBackgroundId, UINT nMaskId);

 protected:
  bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) override;
  HBITMAP m_hBackground = nullptr;
  HRGN m_hRegion = nullptr;
  SIZE m_size = {0, 0};
};

// Copies the part of the parent's skin that lies under a child window
// into hdc at 0,0; fills with the parent's dialog brush when the parent
// has no skin.
void PaintParentBackground(HWND hChild, HDC hdc);

// Styles of SetBitmaps: how the button is sized and its caption drawn.
enum ESkinButtonStyle {
  kSkinSizeToBitmap = 0,  // resized to the normal bitmap; no caption drawn
  kSkinCaptionCentred = 1,
  kSkinCaptionBelowIcon = 2,  // caption in the lower part, under the art's icon
};

// A button drawn from up to five state bitmaps and shaped by a sixth.
class CSkinButton {
 public:
  CSkinButton() : m_state(ESkinButtonKind::Push) {}
  ~CSkinButton();
  CSkinButton(const CSkinButton&) = delete;
  CSkinButton& operator=(const CSkinButton&) = delete;

  // Takes over the dialog item nId; its kind comes from its style.
  bool Attach(HWND hDialog, int nId);
  // Bitmap ids of the six slots (0 for none; slot 4 falls back to slot
  // 1), the style (clamped to 0..2), the caption colour (0xBBGGRR) and the
  // caption's distance from the bottom edge in pixels (at least 0).
  void SetBitmaps(UINT nSlot1, UINT nSlot2, UINT nSlot3, UINT nSlot4, UINT nSlot5, UINT nSlot6,
                  int nStyle, int nSetting1, int nSetting2);
  HWND Handle() const { return m_hWnd; }
  const CSkinButtonState& State() const { return m_state; }

 private:
  static LRESULT CALLBACK Proc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, UINT_PTR uId,
                               DWORD_PTR dwRef);
  LRESULT Handle(UINT nMsg, WPARAM wParam, LPARAM lParam, bool* pbHandled);
  void Apply(const CSkinButtonState::SActions& actions);
  void Paint(HDC hdc);
  void ReleaseBitmaps();
  bool PointInside(LPARAM lParam) const;

  HWND m_hWnd = nullptr;
  HWND m_hTooltip = nullptr;
  CSkinButtonState m_state;
  HBITMAP m_ahBitmaps[kSkinSlotCount] = {};
  bool m_abOwned[kSkinSlotCount] = {};
  int m_nStyle = kSkinCaptionCentred;
  COLORREF m_crCaption = RGB(229, 237, 245);
  int m_nCaptionInset = 0;
};

// A text label painted over the parent's skin. Its text is its window
// text, so screen readers and automation read what it shows.
struct SLabelStyle {
  HFONT hFont;
  COLORREF crText;
  UINT nFormat;  // DrawText flags (alignment)
};
HWND CreateSkinLabel(HWND hParent, int nId, int x, int y, int nWidth, int nHeight,
                     const SLabelStyle& style);

// A progress bar (the standard control's messages) painted in the skin's
// colours: a dark track and an accent fill, both 0xBBGGRR.
HWND CreateSkinProgress(HWND hParent, int nId, int x, int y, int nWidth, int nHeight,
                        COLORREF crTrack, COLORREF crFill);
