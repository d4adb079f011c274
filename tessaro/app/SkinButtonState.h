// The behaviour of a skinned bitmap button, apart from its window: which
// mouse and key events click it, when it looks pressed or hovered, how
// check boxes and radio buttons keep their check, and which of its six
// bitmap slots it draws. The Win32 control feeds events in and carries
// out the returned actions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Kind from the button's window style when it is attached.
enum class ESkinButtonKind : int { Push = 0, CheckBox = 2, Radio = 4 };

// The private message a checked radio button posts to the other items of
// its dialog group so they uncheck themselves.
constexpr uint32_t kMsgRadioGroupUncheck = 0x500;

// Slots, numbered as the skin call takes them: 1 normal, 2 hover,
// 3 pressed, 4 disabled, 5 checked, 6 shape mask.
constexpr int kSkinSlotCount = 6;

class CSkinButtonState {
 public:
  // What the control must do after an event.
  struct SActions {
    bool bRepaint = false;
    bool bCapture = false;         // capture the mouse
    bool bReleaseCapture = false;  // release it
    bool bTrackLeave = false;      // ask for a leave notification
    bool bClick = false;           // tell the parent the button was clicked
    bool bUncheckGroup = false;    // post the uncheck message to the group
  };

  explicit CSkinButtonState(ESkinButtonKind eKind) : m_eKind(eKind) {}

  // Window style to kind: auto check box and auto radio button styles;
  // everything else is a push button.
  static ESkinButtonKind KindFromStyle(uint32_t dwStyle);

  SActions OnPress();  // left button down, or a double click
  SActions OnMove(bool bInside);
  SActions OnLeave();
  SActions OnRelease(bool bInside);
  SActions OnCaptureLost();
  SActions OnSpaceKey();
  SActions OnGroupUncheck();
  // The check state set from outside (BM_SETCHECK); radio buttons tell
  // their group as a click would.
  SActions SetChecked(bool bChecked);

  ESkinButtonKind Kind() const { return m_eKind; }
  bool IsChecked() const { return m_bChecked; }
  bool IsPressed() const { return m_bPressed; }
  bool LooksPressed() const { return m_bPressed && m_bPressedInside; }
  bool IsHover() const { return m_bHover; }

  // The slot (1..5) to draw. abHave[i] tells whether slot i+1 has a
  // bitmap; slot 4 is always filled (it falls back to slot 1 on load).
  int SlotToDraw(bool bEnabled, const bool abHave[kSkinSlotCount]) const;

 private:
  SActions Activate();

  ESkinButtonKind m_eKind;
  bool m_bChecked = false;
  bool m_bPressed = false;        // mouse captured after a press
  bool m_bPressedInside = false;  // and the pointer is over the button
  bool m_bHover = false;
};

// One horizontal run of opaque pixels of a shape mask, as a rectangle of
// height 1 (right and bottom exclusive).
struct SMaskRun {
  int nLeft;
  int nTop;
  int nRight;
  int nBottom;
};

// Scans a mask bitmap row by row (pdwPixels: nHeight rows of nWidth
// 0xRRGGBB values, top row first) and returns every run of pixels whose
// colour is not the transparent white. The window region is their union.
std::vector<SMaskRun> BuildMaskRuns(const uint32_t* pdwPixels, int nWidth, int nHeight);
