#pragma once
// UTF-8 to UTF-16 at the window boundary: always into a fixed field. A text that fails to
// convert, or that does not fit with its terminator, becomes the empty text (never cut).
#include <cstddef>

void utf8_to_wide_field(const char* text, wchar_t* field, size_t units);
