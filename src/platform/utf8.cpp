#include "platform/utf8.h"

size_t utf8_decode(const unsigned char* s, size_t n, uint32_t* cp) {
  if (n == 0) return 0;
  const unsigned char c = s[0];
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  size_t len;
  uint32_t v;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    v = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    v = c & 0x0Fu;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    v = c & 0x07u;
  } else {
    return 0;
  }
  if (len > n) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (s[i] & 0x3Fu);
  }
  if ((len == 3 && v < 0x800) || (len == 4 && v < 0x10000) || v > 0x10FFFF ||
      (v >= 0xD800 && v <= 0xDFFF))
    return 0;
  *cp = v;
  return len;
}

bool utf8_is_valid(const char* text, size_t len) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < len) {
    uint32_t cp;
    size_t n = utf8_decode(s + i, len - i, &cp);
    if (n == 0 || cp == 0) return false;
    i += n;
  }
  return true;
}
