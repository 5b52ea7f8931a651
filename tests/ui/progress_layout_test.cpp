#include "ui/progress_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressLayout, NinetySixDpiWithAnOrdinaryFontIsTheClassicPanel) {
  for (int text_height : {11, 13, 14}) {
    ProgressLayout l = progress_layout(96, text_height);
    EXPECT_EQ(l.width, 360);
    EXPECT_EQ(l.height, 92);
    EXPECT_EQ(l.right_gap, 374);
    EXPECT_EQ(l.bottom_gap, 106);
    EXPECT_EQ(l.line_x, 12);
    EXPECT_EQ(l.line_width, 334);
    EXPECT_EQ(l.line_height, 18);
    EXPECT_EQ(l.title_y, 8);
    EXPECT_EQ(l.detail_y, 28);
    EXPECT_EQ(l.bar_y, 54);
    EXPECT_EQ(l.bar_height, 16);
  }
}

// 100%, 125%, 150% and 200% scaling with the message font's height at each (as Windows makes
// a 9-point font), and a large font of the user's choosing.
TEST(ProgressLayout, ScalesWithTheDpiAndMakesRoomForTheFont) {
  struct Case {
    int dpi, text_height, width, line_height;
  } const cases[] = {
      {96, 15, 360, 19},  {120, 16, 450, 23}, {144, 20, 540, 27}, {192, 26, 720, 36},
      {96, 30, 360, 34},  {144, 45, 540, 51},
      {0, 13, 360, 18},  // no DPI known: as at 96
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dpi << " dpi, text " << c.text_height);
    ProgressLayout l = progress_layout(c.dpi, c.text_height);
    EXPECT_EQ(l.width, c.width);
    EXPECT_EQ(l.line_height, c.line_height);
    // The lines hold their text, come one below the other, and the bar is below them.
    EXPECT_GE(l.line_height, c.text_height + 2);
    EXPECT_GE(l.detail_y, l.title_y + l.line_height);
    EXPECT_GE(l.bar_y, l.detail_y + l.line_height);
    // Everything lies inside the panel with a margin, and the panel inside the gaps.
    EXPECT_GT(l.title_y, 0);
    EXPECT_GT(l.line_x, 0);
    EXPECT_LT(l.line_x + l.line_width, l.width);
    EXPECT_LT(l.bar_y + l.bar_height, l.height);
    EXPECT_GT(l.right_gap, l.width);
    EXPECT_GT(l.bottom_gap, l.height);
    int dpi = c.dpi > 0 ? c.dpi : 96;
    EXPECT_EQ(l.bar_height, (16 * dpi + 48) / 96);
  }
}

}  // namespace
