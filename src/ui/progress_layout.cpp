#include "ui/progress_layout.h"

#include <algorithm>

namespace {

constexpr int kBaseDpi = 96;

// A length at 96 DPI scaled to dpi, rounded to the nearest pixel.
int scaled(int length, int dpi) { return (length * dpi + kBaseDpi / 2) / kBaseDpi; }

}  // namespace

ProgressLayout progress_layout(int dpi, int text_height) {
  if (dpi <= 0) dpi = kBaseDpi;
  ProgressLayout l;
  l.width = scaled(360, dpi);
  l.line_x = scaled(12, dpi);
  l.line_width = l.width - l.line_x - scaled(14, dpi);
  l.line_height = std::max(scaled(18, dpi), text_height + scaled(4, dpi));
  l.title_y = scaled(8, dpi);
  l.detail_y = l.title_y + l.line_height + scaled(2, dpi);
  l.bar_y = l.detail_y + l.line_height + scaled(8, dpi);
  l.bar_height = scaled(16, dpi);
  l.height = l.bar_y + l.bar_height + scaled(22, dpi);
  l.right_gap = l.width + scaled(14, dpi);
  l.bottom_gap = l.height + scaled(14, dpi);
  return l;
}
