#include "crypto/chacha20.h"

#include "crypto/kernels.h"

#define QUARTER_ROUND(a, b, c, d) \
  a += b;                         \
  d = rotl32(d ^ a, 16);          \
  c += d;                         \
  b = rotl32(b ^ c, 12);          \
  a += b;                         \
  d = rotl32(d ^ a, 8);           \
  c += d;                         \
  b = rotl32(b ^ c, 7)

void chacha20_init_state(uint32_t s[16], const uint8_t key[32], const uint8_t nonce[12],
                         uint32_t counter) {
  s[0] = 0x61707865;  // "expand 32-byte k"
  s[1] = 0x3320646e;
  s[2] = 0x79622d32;
  s[3] = 0x6b206574;
  for (int i = 0; i < 8; i++) s[4 + i] = load_le32(key + 4 * i);
  s[12] = counter;
  for (int i = 0; i < 3; i++) s[13 + i] = load_le32(nonce + 4 * i);
}

namespace {

void block_from_state(const uint32_t in[16], uint8_t out[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; i++) x[i] = in[i];
  for (int i = 0; i < 10; i++) {
    QUARTER_ROUND(x[0], x[4], x[8], x[12]);
    QUARTER_ROUND(x[1], x[5], x[9], x[13]);
    QUARTER_ROUND(x[2], x[6], x[10], x[14]);
    QUARTER_ROUND(x[3], x[7], x[11], x[15]);
    QUARTER_ROUND(x[0], x[5], x[10], x[15]);
    QUARTER_ROUND(x[1], x[6], x[11], x[12]);
    QUARTER_ROUND(x[2], x[7], x[8], x[13]);
    QUARTER_ROUND(x[3], x[4], x[9], x[14]);
  }
  for (int i = 0; i < 16; i++) store_le32(out + 4 * i, x[i] + in[i]);
}

}  // namespace

void chacha20_block(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                    uint8_t out[64]) {
  uint32_t s[16];
  chacha20_init_state(s, key, nonce, counter);
  block_from_state(s, out);
}

void chacha20_xor_portable(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                           const uint8_t* in, uint8_t* out, size_t len) {
  uint32_t s[16];
  chacha20_init_state(s, key, nonce, counter);
  uint8_t ks[64];
  while (len > 0) {
    block_from_state(s, ks);
    size_t n = len < 64 ? len : 64;
    for (size_t i = 0; i < n; i++) out[i] = in[i] ^ ks[i];
    s[12]++;
    in += n;
    out += n;
    len -= n;
  }
}

void chacha20_xor(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                  const uint8_t* in, uint8_t* out, size_t len) {
  crypto_kernels().chacha20_xor(key, nonce, counter, in, out, len);
}
