#include "channel/peer_text.h"

#include <cstring>

bool is_bidi_control(uint32_t cp) {
  return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069);
}

bool is_displayable(uint32_t cp) {
  if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return false;
  if (cp == 0x2028 || cp == 0x2029) return false;
  return !is_bidi_control(cp);
}

void peer_text_for_display(const char* text, char* out, size_t cap) {
  if (cap == 0) return;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text ? text : "");
  const size_t n = strlen(reinterpret_cast<const char*>(s));
  size_t i = 0, o = 0;
  while (i < n) {
    uint32_t cp = 0;
    size_t len = utf8_decode(s + i, n - i, &cp);
    const bool keep = len != 0 && is_displayable(cp);
    const char* piece = keep ? reinterpret_cast<const char*>(s + i) : kReplacementChar;
    const size_t piece_len = keep ? len : sizeof kReplacementChar - 1;
    if (o + piece_len >= cap) break;  // a character never goes in half
    memcpy(out + o, piece, piece_len);
    o += piece_len;
    i += len != 0 ? len : 1;
  }
  out[o] = 0;
}

void utf8_drop_cut_tail(char* text) {
  size_t n = strlen(text);
  // The last lead byte, at most three continuation bytes back.
  size_t start = n;
  while (start > 0 && n - start < 4 &&
         (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
    --start;
  if (start == 0) return;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  uint32_t cp;
  if (s[start - 1] >= 0xC0 && utf8_decode(s + start - 1, n - start + 1, &cp) == 0)
    text[start - 1] = 0;
}
