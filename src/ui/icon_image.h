#pragma once
// The agent's icon, drawn by code (the program carries no icon resource): a blue square
// with rounded corners holding a white arrow that points down onto a white bar. Edges are
// smoothed by 4 x 4 supersampling and the corners are transparent through real alpha.
//
// Pixels are 32-bit values A<<24 | R<<16 | G<<8 | B, rows top to bottom, straight alpha
// (colours are NOT premultiplied). On a little-endian machine the bytes lie in memory as
// B, G, R, A: the layout of a 32-bit top-down Windows DIB, so the icon maker can copy
// them into its colour bitmap unchanged.
#include <cstdint>

// The sizes at 96 DPI: tray and small class icon, large class icon. On a scaled screen the
// same drawing is made at the sizes the system asks for.
enum : int { ICON_SMALL = 16, ICON_LARGE = 32 };
// Largest size icon_draw accepts (a 256-pixel icon is the biggest Windows shows).
enum : int { ICON_MAX_SIZE = 256 };

// The square's colour and the glyph's colour.
enum : uint32_t {
  ICON_BASE_R = 47, ICON_BASE_G = 125, ICON_BASE_B = 246,
  ICON_GLYPH_R = 255, ICON_GLYPH_G = 255, ICON_GLYPH_B = 255,
};

// Draws the n x n icon into pixels[n * n]. 0 on success; -1 (nothing written) when pixels
// is null or n is outside 1..ICON_MAX_SIZE.
int icon_draw(int n, uint32_t* pixels);

// The pixel value for a pixel of which `in_square` of its 16 samples lie inside the rounded
// square and `in_glyph` of those also inside the glyph (0 <= in_glyph <= in_square <= 16):
// alpha in_square * 255 / 16; colour the base colour blended toward white by
// in_glyph / in_square; a pixel with no sample in the square is the base colour with
// alpha 0. Values outside that range are clamped into it.
uint32_t icon_pixel_value(int in_square, int in_glyph);

// The parts of a pixel value.
inline uint32_t icon_alpha(uint32_t px) { return px >> 24; }
inline uint32_t icon_red(uint32_t px) { return (px >> 16) & 0xFF; }
inline uint32_t icon_green(uint32_t px) { return (px >> 8) & 0xFF; }
inline uint32_t icon_blue(uint32_t px) { return px & 0xFF; }
