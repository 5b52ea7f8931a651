#include "ui/icon_image.h"

#include <algorithm>
#include <cmath>

namespace {

// Each pixel is sampled on a 4 x 4 grid at offsets 0.125, 0.375, 0.625 and 0.875 of the
// pixel; the shapes are described in unit coordinates (0..1, y growing downward).
constexpr int kGrid = 4;
constexpr int kSamples = kGrid * kGrid;

// Within 0.22 of the square [0.22, 0.78]^2: a square with corners rounded by 0.22.
bool in_rounded_square(double x, double y) {
  double dx = x - std::clamp(x, 0.22, 0.78);
  double dy = y - std::clamp(y, 0.22, 0.78);
  return dx * dx + dy * dy <= 0.0484;
}

bool in_arrow_stem(double x, double y) { return 0.43 <= x && x <= 0.57 && 0.17 <= y && y <= 0.5; }

// A triangle with its base from x = 0.25 to 0.75 at y = 0.46 and its point at (0.5, 0.74);
// 0.25 / 0.28 is the half-width lost per unit of height.
bool in_arrow_head(double x, double y) {
  return 0.46 <= y && y <= 0.74 && std::fabs(x - 0.5) <= (0.74 - y) * 0.8928571428571428;
}

bool in_bar(double x, double y) { return 0.24 <= x && x <= 0.76 && 0.8 <= y && y <= 0.88; }

bool in_glyph(double x, double y) {
  return in_arrow_stem(x, y) || in_arrow_head(x, y) || in_bar(x, y);
}

// The channel blended from the base value v (h = 0) to white (h = 255).
uint32_t blend_to_white(uint32_t v, uint32_t h) { return (h * (255 - v) + v * 255) / 255; }

uint32_t pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t draw_pixel(int n, int column, int row) {
  int in_square = 0, in_square_and_glyph = 0;
  for (int t = 0; t < kGrid; ++t) {
    double y = (row + (t + 0.5) * 0.25) / n;
    for (int s = 0; s < kGrid; ++s) {
      double x = (column + (s + 0.5) * 0.25) / n;
      if (!in_rounded_square(x, y)) continue;
      ++in_square;
      // The glyph shows only where the square is under it.
      if (in_glyph(x, y)) ++in_square_and_glyph;
    }
  }
  return icon_pixel_value(in_square, in_square_and_glyph);
}

}  // namespace

uint32_t icon_pixel_value(int in_square, int in_glyph) {
  uint32_t j = static_cast<uint32_t>(std::clamp(in_square, 0, kSamples));
  uint32_t d = static_cast<uint32_t>(std::clamp(in_glyph, 0, static_cast<int>(j)));
  uint32_t alpha = j * 255 / kSamples;
  if (j == 0) return pack(0, ICON_BASE_R, ICON_BASE_G, ICON_BASE_B);
  uint32_t h = d * 255 / j;
  return pack(alpha, blend_to_white(ICON_BASE_R, h), blend_to_white(ICON_BASE_G, h),
              blend_to_white(ICON_BASE_B, h));
}

int icon_draw(int n, uint32_t* pixels) {
  if (!pixels || n < 1 || n > ICON_MAX_SIZE) return -1;
  for (int row = 0; row < n; ++row)
    for (int column = 0; column < n; ++column) pixels[row * n + column] = draw_pixel(n, column, row);
  return 0;
}
