#include "platform/win32/text.h"

#include <windows.h>

#include <climits>
#include <cstdlib>

wchar_t* utf8_to_wide(const char* utf8) {
  if (!utf8) return nullptr;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  wchar_t* w = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * static_cast<size_t>(n)));
  if (!w) return nullptr;
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, w, n) != n) {
    std::free(w);
    return nullptr;
  }
  return w;
}

int wide_to_utf8(const wchar_t* wide, char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  buf[0] = '\0';
  if (!wide) return -1;
  int room = cap > INT_MAX ? INT_MAX : static_cast<int>(cap);
  // WC_ERR_INVALID_CHARS: an unpaired surrogate fails instead of becoming U+FFFD.
  int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, buf, room, nullptr, nullptr);
  if (n <= 0) {
    buf[0] = '\0';  // did not fit, or not convertible: never leave a cut text behind
    return -1;
  }
  return 0;
}
