#pragma once
// Where the parts of the progress panel go, in physical pixels. The program is DPI-aware, so
// Windows does not scale the panel: it scales itself from the system DPI and the height of
// its font. At 96 DPI with an ordinary message font (text up to 14 pixels high) this is the
// classic panel: 360 x 92, lines 12, 8 and 12, 28 of 334 x 18, bar 12, 54 of 334 x 16, placed
// 374 and 106 pixels from the work area's bottom-right corner.

struct ProgressLayout {
  int width, height;           // the whole panel, border included
  int right_gap, bottom_gap;   // from the work area's right and bottom edge to its top-left
  int line_x, line_width;      // both text lines and the bar share these
  int line_height;             // each text line: the font's height with room above and below
  int title_y, detail_y;
  int bar_y, bar_height;
};

// The layout for a screen of `dpi` dots per inch (96 when it is not positive) and a font
// whose lines are `text_height` pixels high. Every length scales with dpi / 96; a text line
// is at least the font's height plus 4 pixels (scaled), so a large font moves
// the detail line and the bar down and makes the panel taller.
ProgressLayout progress_layout(int dpi, int text_height);
