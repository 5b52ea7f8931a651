#include "crypto/poly1305.h"

#include <cstring>

#include "crypto/ct.h"
#include "crypto/kernels.h"

// h and r are 130-bit numbers in five limbs of 26 bits (radix 2^26), so that every limb
// product fits 52 bits and a row of five products plus carries fits 64 bits. Limbs that wrap
// past 2^130 come back times 5 (2^130 = 5 mod p, p = 2^130 - 5).

void poly1305_init(Poly1305Ctx* ctx, const uint8_t key[32]) {
  // r is clamped as the standard requires: the top four bits of bytes 3, 7, 11, 15 and the
  // bottom two bits of bytes 4, 8, 12 are cleared.
  ctx->r[0] = load_le32(key + 0) & 0x3ffffff;
  ctx->r[1] = (load_le32(key + 3) >> 2) & 0x3ffff03;
  ctx->r[2] = (load_le32(key + 6) >> 4) & 0x3ffc0ff;
  ctx->r[3] = (load_le32(key + 9) >> 6) & 0x3f03fff;
  ctx->r[4] = (load_le32(key + 12) >> 8) & 0x00fffff;
  for (int i = 0; i < 5; i++) ctx->h[i] = 0;
  for (int i = 0; i < 4; i++) ctx->pad[i] = load_le32(key + 16 + 4 * i);
  ctx->leftover = 0;
  ctx->final = 0;
}

void poly1305_blocks_portable(Poly1305Ctx* ctx, const uint8_t* m, size_t nblocks) {
  const uint32_t hibit = ctx->final ? 0 : (1u << 24);
  const uint64_t r0 = ctx->r[0], r1 = ctx->r[1], r2 = ctx->r[2], r3 = ctx->r[3],
                 r4 = ctx->r[4];
  const uint64_t s1 = r1 * 5, s2 = r2 * 5, s3 = r3 * 5, s4 = r4 * 5;
  uint32_t h0 = ctx->h[0], h1 = ctx->h[1], h2 = ctx->h[2], h3 = ctx->h[3], h4 = ctx->h[4];

  for (size_t n = 0; n < nblocks; n++, m += 16) {
    h0 += load_le32(m + 0) & 0x3ffffff;
    h1 += (load_le32(m + 3) >> 2) & 0x3ffffff;
    h2 += (load_le32(m + 6) >> 4) & 0x3ffffff;
    h3 += (load_le32(m + 9) >> 6) & 0x3ffffff;
    h4 += (load_le32(m + 12) >> 8) | hibit;

    uint64_t d0 = h0 * r0 + h1 * s4 + h2 * s3 + h3 * s2 + uint64_t(h4) * s1;
    uint64_t d1 = h0 * r1 + h1 * r0 + h2 * s4 + h3 * s3 + uint64_t(h4) * s2;
    uint64_t d2 = h0 * r2 + h1 * r1 + h2 * r0 + h3 * s4 + uint64_t(h4) * s3;
    uint64_t d3 = h0 * r3 + h1 * r2 + h2 * r1 + h3 * r0 + uint64_t(h4) * s4;
    uint64_t d4 = h0 * r4 + h1 * r3 + h2 * r2 + h3 * r1 + uint64_t(h4) * r0;

    // Partial reduction: limbs back to 26 bits, h4 may keep a few bits more.
    uint64_t c = d0 >> 26;
    h0 = uint32_t(d0) & 0x3ffffff;
    d1 += c;
    c = d1 >> 26;
    h1 = uint32_t(d1) & 0x3ffffff;
    d2 += c;
    c = d2 >> 26;
    h2 = uint32_t(d2) & 0x3ffffff;
    d3 += c;
    c = d3 >> 26;
    h3 = uint32_t(d3) & 0x3ffffff;
    d4 += c;
    c = d4 >> 26;
    h4 = uint32_t(d4) & 0x3ffffff;
    h0 += uint32_t(c) * 5;
    c = h0 >> 26;
    h0 &= 0x3ffffff;
    h1 += uint32_t(c);
  }
  ctx->h[0] = h0;
  ctx->h[1] = h1;
  ctx->h[2] = h2;
  ctx->h[3] = h3;
  ctx->h[4] = h4;
}

void poly1305_update(Poly1305Ctx* ctx, const uint8_t* data, size_t len) {
  if (len == 0) return;
  if (ctx->leftover > 0) {
    size_t take = 16 - ctx->leftover;
    if (take > len) take = len;
    memcpy(ctx->buffer + ctx->leftover, data, take);
    ctx->leftover += uint32_t(take);
    data += take;
    len -= take;
    if (ctx->leftover < 16) return;
    poly1305_blocks_portable(ctx, ctx->buffer, 1);
    ctx->leftover = 0;
  }
  if (len >= 16) {
    crypto_kernels().poly1305_blocks(ctx, data, len / 16);
    data += len & ~size_t(15);
    len &= 15;
  }
  if (len > 0) memcpy(ctx->buffer, data, len);
  ctx->leftover = uint32_t(len);
}

void poly1305_finish(Poly1305Ctx* ctx, uint8_t tag[16]) {
  if (ctx->leftover > 0) {
    uint32_t n = ctx->leftover;
    ctx->buffer[n++] = 1;
    memset(ctx->buffer + n, 0, 16 - n);
    ctx->final = 1;
    poly1305_blocks_portable(ctx, ctx->buffer, 1);
  }

  // Two full carry passes leave every limb below 2^26, so h < 2^130 (the first pass may
  // leave limb 0 a little over 26 bits and a carry may ripple once more in the second).
  uint32_t h0 = ctx->h[0], h1 = ctx->h[1], h2 = ctx->h[2], h3 = ctx->h[3], h4 = ctx->h[4];
  uint32_t c;
  for (int pass = 0; pass < 2; pass++) {
    c = h0 >> 26;
    h0 &= 0x3ffffff;
    h1 += c;
    c = h1 >> 26;
    h1 &= 0x3ffffff;
    h2 += c;
    c = h2 >> 26;
    h2 &= 0x3ffffff;
    h3 += c;
    c = h3 >> 26;
    h3 &= 0x3ffffff;
    h4 += c;
    c = h4 >> 26;
    h4 &= 0x3ffffff;
    h0 += c * 5;
  }

  // g = h + 5 - 2^130; keep g when it did not borrow (h >= p), chosen by mask.
  uint32_t g0 = h0 + 5;
  c = g0 >> 26;
  g0 &= 0x3ffffff;
  uint32_t g1 = h1 + c;
  c = g1 >> 26;
  g1 &= 0x3ffffff;
  uint32_t g2 = h2 + c;
  c = g2 >> 26;
  g2 &= 0x3ffffff;
  uint32_t g3 = h3 + c;
  c = g3 >> 26;
  g3 &= 0x3ffffff;
  uint32_t g4 = h4 + c - (1u << 26);
  uint32_t keep_g = (g4 >> 31) - 1;  // all ones when g4 did not go negative
  h0 = (h0 & ~keep_g) | (g0 & keep_g);
  h1 = (h1 & ~keep_g) | (g1 & keep_g);
  h2 = (h2 & ~keep_g) | (g2 & keep_g);
  h3 = (h3 & ~keep_g) | (g3 & keep_g);
  h4 = (h4 & ~keep_g) | (g4 & keep_g);

  // h mod 2^128 as four 32-bit words, then + s mod 2^128.
  uint32_t w0 = h0 | (h1 << 26);
  uint32_t w1 = (h1 >> 6) | (h2 << 20);
  uint32_t w2 = (h2 >> 12) | (h3 << 14);
  uint32_t w3 = (h3 >> 18) | (h4 << 8);
  uint64_t f = uint64_t(w0) + ctx->pad[0];
  store_le32(tag + 0, uint32_t(f));
  f = uint64_t(w1) + ctx->pad[1] + (f >> 32);
  store_le32(tag + 4, uint32_t(f));
  f = uint64_t(w2) + ctx->pad[2] + (f >> 32);
  store_le32(tag + 8, uint32_t(f));
  f = uint64_t(w3) + ctx->pad[3] + (f >> 32);
  store_le32(tag + 12, uint32_t(f));

  // The one-time key must not outlive the tag.
  ct_wipe(ctx, sizeof *ctx);
}
