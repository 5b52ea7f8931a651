#include "trust/hex.h"

namespace {

// Value of one hex digit, or -1 for anything else (NUL included).
int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void hex_encode(const uint8_t* bytes, size_t n, char* out) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < n; i++) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  out[2 * n] = '\0';
}

int hex_decode(const char* text, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; i++) {
    // The high digit is checked before the low one is read: a NUL ends the walk there.
    int hi = hex_value(text[2 * i]);
    if (hi < 0) return -1;
    int lo = hex_value(text[2 * i + 1]);
    if (lo < 0) return -1;
    out[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return 0;
}
