#include "channel/cipher_state.h"

#include <cstring>

#include "crypto/aead.h"

static constexpr uint64_t kRekeyNonce = ~uint64_t{0};
// Results are lengths in an int; frames never come near this.
static constexpr size_t kMaxLen = 0x7FFFFFFF - kAeadTagSize;

static void make_nonce(uint64_t n, uint8_t nonce[12]) {
    std::memset(nonce, 0, 4);
    for (int i = 0; i < 8; i++) nonce[4 + i] = static_cast<uint8_t>(n >> (8 * i));
}

void cipher_init_key(CipherState* cs, const uint8_t key[32]) {
    std::memcpy(cs->key, key, 32);
    cs->has_key = 1;
    cs->n = 0;
}

static int pass_through(const uint8_t* in, size_t len, uint8_t* out) {
    if (in != out && len > 0) std::memmove(out, in, len);
    return static_cast<int>(len);
}

int cipher_encrypt(CipherState* cs, const uint8_t* ad, size_t ad_len, const uint8_t* plaintext,
                   size_t len, uint8_t* out) {
    if (len > kMaxLen) return -1;
    if (!cs->has_key) return pass_through(plaintext, len, out);
    if (cs->n == kRekeyNonce) return -1;
    uint8_t nonce[12];
    make_nonce(cs->n, nonce);
    aead_seal(cs->key, nonce, ad, ad_len, plaintext, len, out);
    cs->n++;
    return static_cast<int>(len + kAeadTagSize);
}

int cipher_decrypt(CipherState* cs, const uint8_t* ad, size_t ad_len, const uint8_t* ciphertext,
                   size_t len, uint8_t* out) {
    if (len > kMaxLen) return -1;
    if (!cs->has_key) return pass_through(ciphertext, len, out);
    if (len < kAeadTagSize || cs->n == kRekeyNonce) return -1;
    uint8_t nonce[12];
    make_nonce(cs->n, nonce);
    if (aead_open(cs->key, nonce, ad, ad_len, ciphertext, len - kAeadTagSize, out) != 0) return -1;
    cs->n++;
    return static_cast<int>(len - kAeadTagSize);
}

void cipher_rekey(CipherState* cs) {
    if (!cs->has_key) return;
    static const uint8_t zeros[32] = {};
    uint8_t nonce[12];
    uint8_t sealed[32 + kAeadTagSize];
    make_nonce(kRekeyNonce, nonce);
    aead_seal(cs->key, nonce, nullptr, 0, zeros, sizeof zeros, sealed);
    std::memcpy(cs->key, sealed, 32);
}
