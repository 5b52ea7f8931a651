#pragma once
// One direction's Noise cipher state with ChaChaPoly: a key and a nonce counter.
// The AEAD nonce for counter n is four zero bytes followed by n little-endian.

#include <cstddef>
#include <cstdint>

struct CipherState {
    uint8_t key[32];
    int has_key;  // 0: encrypt and decrypt pass data through unchanged
    uint64_t n;   // next nonce; 2^64-1 is reserved for rekeying and never used
};

// Sets the key and restarts the nonce counter at 0.
void cipher_init_key(CipherState* cs, const uint8_t key[32]);

// Seals len bytes into out (len + 16 bytes; out may be plaintext). Without a key
// copies them through. Returns the output length, or -1 once n has reached 2^64-1.
int cipher_encrypt(CipherState* cs, const uint8_t* ad, size_t ad_len, const uint8_t* plaintext,
                   size_t len, uint8_t* out);
// Opens len bytes (ciphertext and tag; out may be ciphertext). Without a key copies
// them through. Returns the plaintext length, or -1 (frame shorter than a tag,
// nonce exhausted or authentication failed) with n unchanged.
int cipher_decrypt(CipherState* cs, const uint8_t* ad, size_t ad_len, const uint8_t* ciphertext,
                   size_t len, uint8_t* out);
// Replaces the key by the first 32 bytes of sealing 32 zero bytes under nonce
// 2^64-1; n is kept. Does nothing without a key.
void cipher_rekey(CipherState* cs);
