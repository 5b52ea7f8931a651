#include "ui/icon_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t kBase = 0xFF2F7DF6;  // opaque R 47, G 125, B 246
constexpr uint32_t kWhite = 0xFFFFFFFF;

std::vector<uint32_t> draw(int n) {
  std::vector<uint32_t> px(static_cast<size_t>(n) * n, 0xDEADBEEF);
  EXPECT_EQ(icon_draw(n, px.data()), 0) << n;
  return px;
}

uint32_t at(const std::vector<uint32_t>& px, int n, int column, int row) {
  return px[static_cast<size_t>(row) * n + column];
}

// One character per pixel: '.' transparent; 'o' at most a quarter of the covered samples
// in the glyph (red up to 98); '#' at least three quarters (red from 202); '+' between.
char glyph_class(uint32_t px) {
  if (icon_alpha(px) == 0) return '.';
  if (icon_red(px) <= 98) return 'o';
  if (icon_red(px) >= 202) return '#';
  return '+';
}

TEST(IconImage, SmallIconReadsAsTheArrowOntoTheBar) {
  const char* const expected[ICON_SMALL] = {
      ".oooooooooooooo.",  //
      "oooooooooooooooo",  //
      "oooooooooooooooo",  //
      "ooooooo##ooooooo",  // stem
      "ooooooo##ooooooo",  //
      "ooooooo##ooooooo",  //
      "ooooooo##ooooooo",  //
      "oooo+######+oooo",  // base of the head
      "ooooo######ooooo",  //
      "oooooo####oooooo",  //
      "ooooooo##ooooooo",  //
      "ooooooo++ooooooo",  // point
      "oooooooooooooooo",  //
      "oooo########oooo",  // bar
      "oooooooooooooooo",  //
      ".oooooooooooooo.",  //
  };
  std::vector<uint32_t> px = draw(ICON_SMALL);
  for (int row = 0; row < ICON_SMALL; ++row) {
    std::string line;
    for (int column = 0; column < ICON_SMALL; ++column)
      line += glyph_class(at(px, ICON_SMALL, column, row));
    EXPECT_EQ(line, expected[row]) << "row " << row;
  }
}

TEST(IconImage, SmallIconTopRowAlphasFollowTheRoundedCorners) {
  const uint32_t expected[ICON_SMALL] = {0,   79,  223, 255, 255, 255, 255, 255,
                                         255, 255, 255, 255, 255, 223, 79,  0};
  std::vector<uint32_t> px = draw(ICON_SMALL);
  for (int column = 0; column < ICON_SMALL; ++column)
    EXPECT_EQ(icon_alpha(at(px, ICON_SMALL, column, 0)), expected[column]) << column;
}

TEST(IconImage, ChosenPixelsHaveTheirExactValue) {
  struct Case {
    int n, column, row;
    uint32_t argb;
  } const cases[] = {
      // Corners: fully transparent, still the base colour (straight alpha).
      {16, 0, 0, 0x002F7DF6},
      {16, 15, 0, 0x002F7DF6},
      {16, 0, 15, 0x002F7DF6},
      {16, 15, 15, 0x002F7DF6},
      // Their neighbours along the edges: 5 of 16 samples.
      {16, 1, 0, 0x4F2F7DF6},
      {16, 0, 1, 0x4F2F7DF6},
      {16, 14, 15, 0x4F2F7DF6},
      {16, 15, 14, 0x4F2F7DF6},
      // Centre of the stem.
      {16, 7, 4, kWhite},
      {16, 8, 4, kWhite},
      // Only the lowest sample line of row 2 reaches the stem (y >= 0.17): 4 of 16.
      {16, 7, 2, 0xFF629DF8},
      // The head's base edge: 9 of 16, then 12 of 16.
      {16, 4, 7, 0xFFA3C5FB},
      {16, 5, 7, 0xFFCADEFC},
      // The point of the head: 6 of 16.
      {16, 7, 11, 0xFF7CADF9},
      // The bar's top edge reaches the lowest sample line of row 12 (y = 0.8047 >= 0.8), so
      // that row is tinted by a quarter (1 of 16 at the bar's ends), not pure base blue.
      {16, 2, 12, kBase},
      {16, 3, 12, 0xFF3B84F6},
      {16, 4, 12, 0xFF629DF8},
      {16, 11, 12, 0xFF629DF8},
      {16, 12, 12, 0xFF3B84F6},
      {16, 13, 12, kBase},
      // The bar proper.
      {16, 4, 13, kWhite},
      {16, 11, 13, kWhite},
      // Large icon: corner, stem, and the bar's top row, which the bar covers by half.
      {32, 0, 0, 0x002F7DF6},
      {32, 31, 31, 0x002F7DF6},
      {32, 15, 8, kWhite},
      {32, 16, 8, kWhite},
      {32, 8, 25, 0xFF96BDFA},
      {32, 23, 25, 0xFF96BDFA},
      {32, 8, 26, kWhite},
      {32, 7, 26, 0xFF629DF8},
  };
  std::vector<uint32_t> small = draw(ICON_SMALL), large = draw(ICON_LARGE);
  for (const Case& c : cases) {
    const std::vector<uint32_t>& px = c.n == ICON_SMALL ? small : large;
    EXPECT_EQ(at(px, c.n, c.column, c.row), c.argb)
        << std::hex << "n " << std::dec << c.n << " column " << c.column << " row " << c.row;
  }
}

TEST(IconImage, LargeIconHasAPureBlueRowBetweenPointAndBar) {
  std::vector<uint32_t> px = draw(ICON_LARGE);
  for (int column = 0; column < ICON_LARGE; ++column)
    EXPECT_EQ(at(px, ICON_LARGE, column, 24), kBase) << column;
}

TEST(IconImage, ShapeIsMirroredAndEdgesCarryTheBaseColour) {
  for (int n : {int{ICON_SMALL}, int{ICON_LARGE}}) {
    std::vector<uint32_t> px = draw(n);
    for (int row = 0; row < n; ++row) {
      for (int column = 0; column < n; ++column) {
        SCOPED_TRACE("n " + std::to_string(n) + " column " + std::to_string(column) + " row " +
                     std::to_string(row));
        uint32_t p = at(px, n, column, row);
        // The picture is symmetric about its vertical axis.
        EXPECT_EQ(p, at(px, n, n - 1 - column, row));
        // The rounded square alone decides alpha: the same in all four quadrants and
        // across the diagonal.
        EXPECT_EQ(icon_alpha(p), icon_alpha(at(px, n, column, n - 1 - row)));
        EXPECT_EQ(icon_alpha(p), icon_alpha(at(px, n, row, column)));
        // The glyph stays off the rounded edge, so every pixel that is not opaque has the
        // base colour undimmed by its alpha.
        if (icon_alpha(p) < 255) {
          EXPECT_EQ(p & 0xFFFFFF, kBase & 0xFFFFFF);
        }
      }
    }
    EXPECT_EQ(icon_alpha(at(px, n, 0, 0)), 0u) << n;
    EXPECT_EQ(icon_alpha(at(px, n, n / 2, n / 2)), 255u) << n;
  }
}

TEST(IconImage, PixelValueBlendsFromBaseToWhiteByGlyphShare) {
  struct Case {
    int in_square, in_glyph;
    uint32_t argb;
  } const cases[] = {
      {16, 0, kBase},
      {16, 16, kWhite},
      {16, 8, 0xFF96BDFA},  // half glyph: h 127 gives R 150, G 189, B 250
      {16, 4, 0xFF629DF8},  // h 63
      {8, 8, 0x7FFFFFFF},   // half covered, all glyph: alpha 127
      {8, 4, 0x7F96BDFA},   // half covered, half of that glyph
      {1, 0, 0x0F2F7DF6},   // alpha 15
      {0, 0, 0x002F7DF6},   // outside: base colour, transparent
      // Out-of-range counts are held to 0 <= glyph <= square <= 16.
      {20, 30, kWhite},
      {-1, 0, 0x002F7DF6},
      {16, -3, kBase},
      {4, 9, 0x3FFFFFFF},
  };
  for (const Case& c : cases)
    EXPECT_EQ(icon_pixel_value(c.in_square, c.in_glyph), c.argb)
        << std::hex << c.in_square << " " << c.in_glyph;
}

TEST(IconImage, RefusesSizesItCannotDrawAndLeavesTheBufferAlone) {
  std::vector<uint32_t> px(4, 0xDEADBEEF);
  for (int n : {0, -1, -16, int{ICON_MAX_SIZE} + 1}) {
    EXPECT_EQ(icon_draw(n, px.data()), -1) << n;
    for (uint32_t p : px) EXPECT_EQ(p, 0xDEADBEEFu) << n;
  }
  EXPECT_EQ(icon_draw(ICON_SMALL, nullptr), -1);

  std::vector<uint32_t> biggest = draw(ICON_MAX_SIZE);
  EXPECT_EQ(icon_alpha(biggest.front()), 0u);
  EXPECT_EQ(biggest[static_cast<size_t>(ICON_MAX_SIZE / 2) * ICON_MAX_SIZE + ICON_MAX_SIZE / 2],
            kWhite);  // (0.5, 0.5) is on the stem
}

}  // namespace
