#include "crypto/sha256.h"

#include <cstring>

#include "crypto/kernels.h"

namespace {

constexpr uint32_t kInitialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

}  // namespace

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
extern const uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

namespace {

void compress(uint32_t state[8], const uint8_t block[64]) {
  uint32_t w[64];
  for (int t = 0; t < 16; t++) w[t] = load_be32(block + 4 * t);
  for (int t = 16; t < 64; t++) {
    uint32_t s0 = rotr32(w[t - 15], 7) ^ rotr32(w[t - 15], 18) ^ (w[t - 15] >> 3);
    uint32_t s1 = rotr32(w[t - 2], 17) ^ rotr32(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int t = 0; t < 64; t++) {
    uint32_t big_s1 = rotr32(e, 6) ^ rotr32(e, 11) ^ rotr32(e, 25);
    uint32_t ch = (e & f) ^ (~e & g);
    uint32_t t1 = h + big_s1 + ch + kSha256RoundConstants[t] + w[t];
    uint32_t big_s0 = rotr32(a, 2) ^ rotr32(a, 13) ^ rotr32(a, 22);
    uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
    uint32_t t2 = big_s0 + maj;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

}  // namespace

void sha256_blocks_portable(uint32_t state[8], const uint8_t* data, size_t nblocks) {
  for (size_t i = 0; i < nblocks; i++) compress(state, data + 64 * i);
}

void sha256_init(Sha256Ctx* ctx) {
  memcpy(ctx->state, kInitialHash, sizeof kInitialHash);
  ctx->total_len = 0;
  ctx->block_len = 0;
}

void sha256_update(Sha256Ctx* ctx, const void* data, uint32_t len) {
  if (len == 0) return;
  const uint8_t* in = static_cast<const uint8_t*>(data);
  ctx->total_len += len;
  if (ctx->block_len > 0) {
    uint32_t take = 64 - ctx->block_len;
    if (take > len) take = len;
    memcpy(ctx->block + ctx->block_len, in, take);
    ctx->block_len += take;
    in += take;
    len -= take;
    if (ctx->block_len < 64) return;
    crypto_kernels().sha256_blocks(ctx->state, ctx->block, 1);
    ctx->block_len = 0;
  }
  // Whole blocks straight from the caller's buffer: hashing a large file copies at most one
  // partial block per call.
  if (len >= 64) {
    crypto_kernels().sha256_blocks(ctx->state, in, len / 64);
    in += len & ~63u;
    len &= 63;
  }
  if (len > 0) memcpy(ctx->block, in, len);
  ctx->block_len = len;
}

void sha256_final(Sha256Ctx* ctx, uint8_t out[32]) {
  uint64_t bit_len = ctx->total_len * 8;
  uint32_t n = ctx->block_len;
  ctx->block[n++] = 0x80;
  // The 8-byte length must end on a block boundary; a second block is needed when fewer
  // than 9 bytes were free.
  if (n > 56) {
    memset(ctx->block + n, 0, 64 - n);
    crypto_kernels().sha256_blocks(ctx->state, ctx->block, 1);
    n = 0;
  }
  memset(ctx->block + n, 0, 56 - n);
  store_be32(ctx->block + 56, uint32_t(bit_len >> 32));
  store_be32(ctx->block + 60, uint32_t(bit_len));
  crypto_kernels().sha256_blocks(ctx->state, ctx->block, 1);
  for (int i = 0; i < 8; i++) store_be32(out + 4 * i, ctx->state[i]);
}

void sha256_update_long(Sha256Ctx* ctx, const void* data, size_t len) {
  const uint8_t* in = static_cast<const uint8_t*>(data);
  // The streaming interface takes 32-bit lengths; larger inputs go in whole-block slices.
  constexpr size_t kSlice = size_t(1) << 30;
  while (len > kSlice) {
    sha256_update(ctx, in, uint32_t(kSlice));
    in += kSlice;
    len -= kSlice;
  }
  sha256_update(ctx, in, uint32_t(len));
}

void sha256(const void* data, size_t len, uint8_t out[32]) {
  Sha256Ctx ctx;
  sha256_init(&ctx);
  sha256_update_long(&ctx, data, len);
  sha256_final(&ctx, out);
}
