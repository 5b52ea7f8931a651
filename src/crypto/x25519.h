#pragma once
// X25519 Diffie-Hellman on Curve25519 (RFC 7748). Runs in time independent of the scalar,
// allocates nothing, keeps no state.
#include <cstdint>

// out = X25519(scalar, u). The scalar is clamped on a private copy and never modified; bit 255
// of u is ignored and non-canonical u (p..2^255-1) is reduced. out is always written, fully
// reduced. Returns 0, or -1 when all 32 output bytes are zero (low-order input): callers
// doing key agreement must treat -1 as failure. out must not overlap scalar or u.
int x25519(uint8_t out[32], const uint8_t scalar[32], const uint8_t u[32]);

// X25519(scalar, 9): the public key of a private scalar. Same results as x25519.
int x25519_base(uint8_t out[32], const uint8_t scalar[32]);
