#pragma once
// ChaCha20-Poly1305 AEAD (RFC 8439): 32-byte key, 96-bit nonce, 16-byte tag.
// ad may be null when ad_len is 0. No allocation; callable from any thread.
#include <cstddef>
#include <cstdint>

constexpr size_t kAeadTagSize = 16;
// The 32-bit block counter starts at 1: longer messages would reuse keystream.
constexpr uint64_t kAeadMaxLength = (uint64_t(1) << 32) * 64 - 64;

// Writes len ciphertext bytes and then the 16-byte tag to out (len + 16 bytes). out may be
// the plaintext buffer (sealing in place). Returns 0; -1 without writing anything when len
// exceeds kAeadMaxLength.
int aead_seal(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad, size_t ad_len,
              const uint8_t* plaintext, size_t len, uint8_t* out);

// ciphertext holds len bytes followed by the 16-byte tag. Verifies the tag in constant time
// before anything is decrypted: 0 and len plaintext bytes in out, or -1 with out untouched
// (also when len exceeds kAeadMaxLength).
// out may be the ciphertext buffer (opening in place).
int aead_open(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad, size_t ad_len,
              const uint8_t* ciphertext, size_t len, uint8_t* out);
