#pragma once
// Poly1305 one-time authenticator (RFC 8439).
#include <cstddef>
#include <cstdint>

// Caller-owned MAC state (normally on the stack). Limbs are radix 2^26.
struct Poly1305Ctx {
  uint32_t r[5];       // clamped first key half
  uint32_t h[5];       // accumulator, partially reduced
  uint32_t pad[4];     // second key half (s), little-endian words
  uint32_t leftover;   // bytes waiting in buffer, 0..15
  uint8_t buffer[16];  // partial block
  uint8_t final;       // set while the last, padded block is absorbed
};

// Loads the 32-byte one-time key (r clamped) and clears the accumulator.
void poly1305_init(Poly1305Ctx* ctx, const uint8_t key[32]);
// Absorbs len bytes (0 allowed).
void poly1305_update(Poly1305Ctx* ctx, const uint8_t* data, size_t len);
// Writes the 16-byte tag, then zeroes the whole ctx.
void poly1305_finish(Poly1305Ctx* ctx, uint8_t tag[16]);
