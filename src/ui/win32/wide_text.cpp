#include "ui/win32/wide_text.h"

#include <windows.h>

void utf8_to_wide_field(const char* text, wchar_t* field, size_t units) {
  if (units == 0) return;
  field[0] = L'\0';
  if (!text) return;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, field,
                              static_cast<int>(units));
  if (n <= 0) field[0] = L'\0';
}
