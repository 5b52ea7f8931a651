#include "crypto/aead.h"

#include <cstring>

#include "crypto/chacha20.h"
#include "crypto/ct.h"
#include "crypto/kernels.h"
#include "crypto/poly1305.h"

namespace {

const uint8_t kZeros[16] = {};

void mac_padded(Poly1305Ctx* mac, const uint8_t* data, size_t len) {
  if (len > 0) poly1305_update(mac, data, len);
  if (len % 16 != 0) poly1305_update(mac, kZeros, 16 - len % 16);
}

// Tag over ad and ciphertext: each padded to 16 bytes, then both lengths little-endian.
void compute_tag(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad,
                 size_t ad_len, const uint8_t* ciphertext, size_t len, uint8_t tag[16]) {
  uint8_t block0[64];
  chacha20_block(key, nonce, 0, block0);
  Poly1305Ctx mac;
  poly1305_init(&mac, block0);  // the one-time key is the first half of block 0
  mac_padded(&mac, ad, ad_len);
  mac_padded(&mac, ciphertext, len);
  uint8_t lengths[16];
  store_le64(lengths, ad_len);
  store_le64(lengths + 8, len);
  poly1305_update(&mac, lengths, 16);
  poly1305_finish(&mac, tag);
}

}  // namespace

int aead_seal(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad, size_t ad_len,
              const uint8_t* plaintext, size_t len, uint8_t* out) {
  if (uint64_t(len) > kAeadMaxLength) return -1;
  if (len > 0) chacha20_xor(key, nonce, 1, plaintext, out, len);
  compute_tag(key, nonce, ad, ad_len, out, len, out + len);
  return 0;
}

int aead_open(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad, size_t ad_len,
              const uint8_t* ciphertext, size_t len, uint8_t* out) {
  if (uint64_t(len) > kAeadMaxLength) return -1;
  uint8_t expected[16];
  compute_tag(key, nonce, ad, ad_len, ciphertext, len, expected);
  if (!ct_equal(expected, ciphertext + len, 16)) return -1;
  if (len > 0) chacha20_xor(key, nonce, 1, ciphertext, out, len);
  return 0;
}
