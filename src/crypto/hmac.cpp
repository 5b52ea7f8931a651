#include <cstring>

#include "crypto/kernels.h"
#include "crypto/sha256.h"

void hmac_sha256(const uint8_t* key, size_t key_len, const uint8_t* msg, size_t msg_len,
                 uint8_t out[32]) {
  uint8_t k0[64] = {};
  if (key_len > 64) {
    sha256(key, key_len, k0);
  } else if (key_len > 0) {
    memcpy(k0, key, key_len);
  }
  uint8_t pad[64];
  for (int i = 0; i < 64; i++) pad[i] = k0[i] ^ 0x36;
  Sha256Ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, pad, 64);
  sha256_update_long(&ctx, msg, msg_len);
  uint8_t inner[32];
  sha256_final(&ctx, inner);

  for (int i = 0; i < 64; i++) pad[i] = k0[i] ^ 0x5c;
  sha256_init(&ctx);
  sha256_update(&ctx, pad, 64);
  sha256_update(&ctx, inner, 32);
  // Written only at the end, so out may be the key or the message.
  sha256_final(&ctx, out);
}

void hkdf2(const uint8_t chaining_key[32], const uint8_t* ikm, size_t ikm_len, uint8_t out1[32],
           uint8_t out2[32]) {
  uint8_t temp[32];
  hmac_sha256(chaining_key, 32, ikm, ikm_len, temp);
  const uint8_t one = 0x01;
  hmac_sha256(temp, 32, &one, 1, out1);
  uint8_t second[33];
  memcpy(second, out1, 32);
  second[32] = 0x02;
  hmac_sha256(temp, 32, second, 33, out2);
}
