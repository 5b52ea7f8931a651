#pragma once
// SHA-256 (FIPS 180-4), HMAC-SHA-256 (RFC 2104) and the two-output HKDF the handshake uses
// (RFC 5869 with salt = chaining key, empty info, 64 output bytes split in halves).
// Pure functions: no allocation, no shared state, callable from any thread. Nothing here fails.
#include <cstddef>
#include <cstdint>

// Streaming hash state, owned by the caller (normally on its stack).
struct Sha256Ctx {
  uint32_t state[8];   // running hash value H0..H7
  uint64_t total_len;  // message bytes absorbed so far
  uint8_t block[64];   // not yet compressed tail of the message
  uint32_t block_len;  // valid bytes in block, 0..63 between calls
};

// Resets ctx to the initial hash value with nothing absorbed.
void sha256_init(Sha256Ctx* ctx);
// Absorbs len bytes (0 allowed). Whole blocks are compressed straight from data.
void sha256_update(Sha256Ctx* ctx, const void* data, uint32_t len);
// Pads, writes the 32-byte digest big-endian. ctx must be initialised again before reuse.
void sha256_final(Sha256Ctx* ctx, uint8_t out[32]);
// One-shot digest of len bytes; out may be the input buffer.
void sha256(const void* data, size_t len, uint8_t out[32]);

// HMAC-SHA-256 of msg under key (keys longer than 64 bytes are hashed first). out may alias
// key or msg.
void hmac_sha256(const uint8_t* key, size_t key_len, const uint8_t* msg, size_t msg_len,
                 uint8_t out[32]);

// out1 || out2 = HKDF-SHA-256(salt = chaining_key, ikm, info = empty, L = 64).
// ikm may be empty. out1 may be chaining_key; out2 must not be out1.
void hkdf2(const uint8_t chaining_key[32], const uint8_t* ikm, size_t ikm_len, uint8_t out1[32],
           uint8_t out2[32]);
