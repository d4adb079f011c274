#include <gtest/gtest.h>

#include "tessaro/app/SkinButtonState.h"

namespace {

constexpr bool kAllSlots[kSkinSlotCount] = {true, true, true, true, true, true};
constexpr bool kNormalAndHoverOnly[kSkinSlotCount] = {true, true, false, true, false, false};

TEST(SkinButton, KindComesFromTheWindowStyle) {
  EXPECT_EQ(ESkinButtonKind::Push, CSkinButtonState::KindFromStyle(0x50010000));
  EXPECT_EQ(ESkinButtonKind::CheckBox, CSkinButtonState::KindFromStyle(0x50010003));
  EXPECT_EQ(ESkinButtonKind::Radio, CSkinButtonState::KindFromStyle(0x50010009));
  EXPECT_EQ(ESkinButtonKind::Push, CSkinButtonState::KindFromStyle(0x0B));  // owner draw
}

TEST(SkinButton, PressMoveOutAndReleaseOutsideDoesNotClick) {
  CSkinButtonState button(ESkinButtonKind::Push);
  CSkinButtonState::SActions a = button.OnPress();
  EXPECT_TRUE(a.bCapture);
  EXPECT_TRUE(button.LooksPressed());
  a = button.OnMove(false);
  EXPECT_TRUE(a.bRepaint);
  EXPECT_FALSE(button.LooksPressed());
  EXPECT_FALSE(button.OnMove(false).bRepaint);  // no change, no repaint
  a = button.OnRelease(false);
  EXPECT_FALSE(a.bClick);
  EXPECT_TRUE(a.bReleaseCapture);

  // Back inside before the release clicks.
  button.OnPress();
  button.OnMove(false);
  EXPECT_TRUE(button.OnMove(true).bRepaint);
  a = button.OnRelease(true);
  EXPECT_TRUE(a.bClick);
  EXPECT_FALSE(button.IsChecked());             // a push button never stays checked
  EXPECT_FALSE(button.OnRelease(true).bClick);  // no press, no click
}

TEST(SkinButton, HoverStartsLeaveTrackingOnceAndLostCaptureCancelsThePress) {
  CSkinButtonState button(ESkinButtonKind::Push);
  CSkinButtonState::SActions a = button.OnMove(true);
  EXPECT_TRUE(a.bTrackLeave && a.bRepaint);
  EXPECT_FALSE(button.OnMove(true).bTrackLeave);
  EXPECT_TRUE(button.OnLeave().bRepaint);
  EXPECT_FALSE(button.IsHover());

  button.OnPress();
  a = button.OnCaptureLost();
  EXPECT_TRUE(a.bReleaseCapture);
  EXPECT_FALSE(button.IsPressed());
  EXPECT_FALSE(button.OnRelease(true).bClick);
}

TEST(SkinButton, CheckBoxTogglesOnReleaseAndSpace) {
  CSkinButtonState box(ESkinButtonKind::CheckBox);
  box.OnPress();
  EXPECT_TRUE(box.OnRelease(true).bClick);
  EXPECT_TRUE(box.IsChecked());
  CSkinButtonState::SActions a = box.OnSpaceKey();
  EXPECT_TRUE(a.bClick);
  EXPECT_FALSE(box.IsChecked());
  EXPECT_FALSE(a.bUncheckGroup);

  CSkinButtonState push(ESkinButtonKind::Push);
  EXPECT_FALSE(push.OnSpaceKey().bClick);
  EXPECT_FALSE(push.SetChecked(true).bRepaint);
  EXPECT_FALSE(push.IsChecked());
}

TEST(SkinButton, RadioChecksItselfAndTellsItsGroupOnce) {
  CSkinButtonState first(ESkinButtonKind::Radio), second(ESkinButtonKind::Radio);
  first.OnPress();
  CSkinButtonState::SActions a = first.OnRelease(true);
  EXPECT_TRUE(a.bClick && a.bUncheckGroup);
  EXPECT_TRUE(first.IsChecked());
  first.OnPress();
  EXPECT_FALSE(first.OnRelease(true).bUncheckGroup);  // already checked
  EXPECT_TRUE(first.IsChecked());

  // The second one is checked by the space key; the group message
  // unchecks the first, and an unchecked one ignores it.
  EXPECT_TRUE(second.OnSpaceKey().bUncheckGroup);
  EXPECT_TRUE(first.OnGroupUncheck().bRepaint);
  EXPECT_FALSE(first.IsChecked());
  EXPECT_FALSE(first.OnGroupUncheck().bRepaint);
  EXPECT_TRUE(first.SetChecked(true).bUncheckGroup);
}

TEST(SkinButton, SlotChoiceFallsBackToWhatExists) {
  CSkinButtonState button(ESkinButtonKind::CheckBox);
  EXPECT_EQ(1, button.SlotToDraw(true, kAllSlots));
  EXPECT_EQ(4, button.SlotToDraw(false, kNormalAndHoverOnly));
  button.OnMove(true);
  EXPECT_EQ(2, button.SlotToDraw(true, kAllSlots));
  button.OnPress();
  EXPECT_EQ(3, button.SlotToDraw(true, kAllSlots));
  EXPECT_EQ(2, button.SlotToDraw(true, kNormalAndHoverOnly));
  button.OnRelease(true);
  button.OnLeave();
  EXPECT_EQ(5, button.SlotToDraw(true, kAllSlots));
  EXPECT_EQ(2, button.SlotToDraw(true, kNormalAndHoverOnly));
  const bool kNormalOnly[kSkinSlotCount] = {true, false, false, true, false, false};
  EXPECT_EQ(1, button.SlotToDraw(true, kNormalOnly));
}

TEST(SkinRegion, RunsCoverEveryNonWhitePixelRowByRow) {
  const uint32_t W = 0xFFFFFF, K = 0x000000, G = 0x808080;
  const uint32_t adwPixels[] = {
      W, K, K, W, G,  //
      W, W, W, W, W,  //
      K, K, K, K, K,  //
  };
  std::vector<SMaskRun> vecRuns = BuildMaskRuns(adwPixels, 5, 3);
  ASSERT_EQ(3u, vecRuns.size());
  EXPECT_EQ(1, vecRuns[0].nLeft);
  EXPECT_EQ(3, vecRuns[0].nRight);
  EXPECT_EQ(0, vecRuns[0].nTop);
  EXPECT_EQ(4, vecRuns[1].nLeft);
  EXPECT_EQ(5, vecRuns[1].nRight);
  EXPECT_EQ(0, vecRuns[2].nLeft);
  EXPECT_EQ(5, vecRuns[2].nRight);
  EXPECT_EQ(2, vecRuns[2].nTop);
  EXPECT_EQ(3, vecRuns[2].nBottom);
  // The top byte (alpha) does not make white opaque.
  const uint32_t adwAlpha[] = {0xFFFFFFFF, 0x00FFFFFF};
  EXPECT_TRUE(BuildMaskRuns(adwAlpha, 2, 1).empty());
}

}  // namespace
