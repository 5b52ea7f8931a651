#pragma once
// The six-digit code both devices show so their users can compare them: a short
// authentication string of the connection's handshake hash. It never travels.

#include <cstdint>

// Writes "%06u" of (first four bytes of SHA-256("ferrylink-sas" || hash), big-endian)
// mod 1000000 into out, NUL-terminated. Cannot fail.
void pairing_code(const uint8_t handshake_hash[32], char out[7]);
