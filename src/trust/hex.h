#pragma once
// Lower-case hexadecimal text of byte strings: the form of the identity key file, of the keys
// in the trust list and of device ids. Pure functions, callable from any thread.
#include <cstddef>
#include <cstdint>

// Writes 2*n lower-case hex digits, high nibble first, then a NUL. out must hold 2*n + 1
// characters; n = 0 writes only the NUL.
void hex_encode(const uint8_t* bytes, size_t n, char* out);

// Reads exactly 2*n characters of text (digits in either case) into n bytes. 0 on success;
// -1 at the first character that is not a hex digit, a NUL included, so it never reads past
// the end of a shorter text. Bytes before the failing character are already written; callers
// discard out on failure.
int hex_decode(const char* text, uint8_t* out, size_t n);
