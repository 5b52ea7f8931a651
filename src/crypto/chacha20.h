#pragma once
// ChaCha20 (RFC 8439): 256-bit key, 96-bit nonce, 32-bit block counter.
#include <cstddef>
#include <cstdint>

// One 64-byte keystream block for the given counter.
void chacha20_block(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                    uint8_t out[64]);

// out = in XOR keystream, starting at block `counter` and counting up by one per 64 bytes
// (wrapping at 2^32). in and out may be the same buffer (but must not partially overlap).
void chacha20_xor(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                  const uint8_t* in, uint8_t* out, size_t len);
