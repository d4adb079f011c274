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

// The search skips to places where the marker's first byte occurs: false
// starts, a match ending exactly at "to" or at the end, and a first byte
// just too late to fit must all come out as with a compare at every place.
TEST(ByteView, FindsMarkersBehindFalseStartsAndAtTheEdges) {
  const char s[] = "$$B$BB$BBSS$$BBSS$";
  CByteView v(s, sizeof s - 1);
  struct {
    const char* pszMarker;
    size_t from, to;
    long nExpected;
  } const aCases[] = {
      {"$BBSS$", 0, SIZE_MAX, 6},   // after three false starts
      {"$BBSS$", 7, SIZE_MAX, 12},  // ends at the view's end
      {"$BBSS$", 0, 12, 6},         // ends exactly at "to"
      {"$BBSS$", 0, 11, -1},        // one byte short of "to"
      {"$$", 11, SIZE_MAX, 11},     // starts exactly at "from"
      {"$", 17, SIZE_MAX, 17},      // one-byte marker in the last byte
      {"$$", 17, SIZE_MAX, -1},     // first byte there, the rest would not fit
      {"Q", 0, SIZE_MAX, -1},       // first byte nowhere
  };
  for (const auto& c : aCases)
    EXPECT_EQ(v.Find(c.pszMarker, c.from, c.to), c.nExpected) << c.pszMarker << " " << c.from;
}
