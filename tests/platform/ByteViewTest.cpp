#include "platform/ByteView.h"

#include <gtest/gtest.h>

TEST(ByteView, RefusesReadsThatEndPastTheBuffer) {
  const uint8_t a[6] = {1, 2, 3, 4, 5, 6};
  CByteView v(a, sizeof a);
  uint32_t dw = 0;
  uint16_t w = 0;
  uint8_t by = 0;
  EXPECT_TRUE(v.U32(2, &dw));
  EXPECT_EQ(dw, 0x06050403u);
  EXPECT_FALSE(v.U32(3, &dw));
  EXPECT_TRUE(v.U16(4, &w));
  EXPECT_FALSE(v.U16(5, &w));
  EXPECT_FALSE(v.U8(6, &by));
  EXPECT_FALSE(v.U8(SIZE_MAX, &by));
  EXPECT_FALSE(v.Contains(SIZE_MAX, 2));  // no wrap-around
  EXPECT_TRUE(v.Contains(6, 0));
  uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_FALSE(v.Copy(4, out, 4));
  EXPECT_EQ(out[0], 9);  // nothing copied on refusal
  EXPECT_EQ(v.Sub(5, 2).Size(), 0u);
  EXPECT_EQ(v.Sub(1, 2).Data(), a + 1);
}

TEST(ByteView, FindsMarkersOnlyInsideTheRange) {
  const char s[] = "xx$BBSS$yy$BBSS$";
  CByteView v(s, sizeof s - 1);
  EXPECT_EQ(v.Find("$BBSS$"), 2);
  EXPECT_EQ(v.Find("$BBSS$", 3), 10);
  EXPECT_EQ(v.Find("$BBSS$", 3, 15), -1);  // would end past "to"
  EXPECT_EQ(v.Find("$BBSS$", 20), -1);
  EXPECT_EQ(CByteView().Find("x"), -1);
}
