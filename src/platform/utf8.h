#pragma once
// UTF-8 as the system checks it wherever text from outside must be well-formed: paths handed
// to the file layer, names and texts a peer sends.
#include <cstddef>
#include <cstdint>

// Length in bytes (1..4) of the well-formed UTF-8 character at s, n bytes available, with
// its code point in *cp; 0 when the bytes there are not valid UTF-8 (bad lead byte, stray
// continuation, overlong form, surrogate, beyond U+10FFFF, cut short).
size_t utf8_decode(const unsigned char* s, size_t n, uint32_t* cp);

// Whether len bytes of text are valid UTF-8 throughout (a NUL byte counts as invalid: it
// would end the text early for every reader after us).
bool utf8_is_valid(const char* text, size_t len);
