#pragma once
// UTF-8 <-> UTF-16 at the Windows boundary. A text that fails to convert or does not fit is
// never cut: the result is the empty text (or null).
#include <cstddef>

// A heap copy of a UTF-8 text in UTF-16, freed with free(); null for invalid UTF-8.
wchar_t* utf8_to_wide(const char* utf8);
// Converts a UTF-16 text into buf: 0 when it fits whole, else -1 and the empty text.
int wide_to_utf8(const wchar_t* wide, char* buf, size_t cap);
