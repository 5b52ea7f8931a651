#include "crypto/x25519.h"

#include <cstring>

#include "crypto/ct.h"
#include "crypto/kernels.h"

// The portable ladder, also the reference the faster kernel is tested against. Field elements
// mod p = 2^255 - 19 as sixteen limbs of nominally 16 bits: value = sum limb[i] * 2^(16 i).
// Each limb lives in a signed 64-bit integer so that sums, differences and the 31 partial sums
// of a product fit without overflow; limbs leave the 16-bit range between carry passes and
// only the packed output is canonical. Nothing here branches on or indexes by a secret value.

namespace {

typedef int64_t Fe[16];

void fe_copy(Fe out, const Fe a) { memcpy(out, a, sizeof(Fe)); }

void fe_add(Fe out, const Fe a, const Fe b) {
  for (int i = 0; i < 16; i++) out[i] = a[i] + b[i];
}

void fe_sub(Fe out, const Fe a, const Fe b) {
  for (int i = 0; i < 16; i++) out[i] = a[i] - b[i];
}

// Moves everything above 16 bits of each limb into the next one; the carry out of limb 15
// (weight 2^256) comes back into limb 0 times 38. Adding 2^16 first and taking 1 back from the
// carry keeps the shifted value non-negative for limbs down to -2^16.
void fe_carry(Fe t) {
  for (int i = 0; i < 16; i++) {
    t[i] += int64_t(1) << 16;
    int64_t c = t[i] >> 16;
    t[i] -= c * (int64_t(1) << 16);
    if (i < 15) {
      t[i + 1] += c - 1;
    } else {
      t[0] += 38 * (c - 1);
    }
  }
}

void fe_mul(Fe out, const Fe a, const Fe b) {
  int64_t t[31] = {};
  for (int i = 0; i < 16; i++)
    for (int j = 0; j < 16; j++) t[i + j] += a[i] * b[j];
  // 2^256 = 38 mod p folds the upper partial sums into the lower ones.
  for (int i = 0; i < 15; i++) t[i] += 38 * t[i + 16];
  for (int i = 0; i < 16; i++) out[i] = t[i];
  fe_carry(out);
  fe_carry(out);
}

void fe_sq(Fe out, const Fe a) { fe_mul(out, a, a); }

// Swaps p and q when bit is 1, by mask.
void fe_cswap(Fe p, Fe q, int64_t bit) {
  int64_t mask = -bit;
  for (int i = 0; i < 16; i++) {
    int64_t t = mask & (p[i] ^ q[i]);
    p[i] ^= t;
    q[i] ^= t;
  }
}

// a^(p-2) = a^-1 with a fixed chain: p - 2 = 2^255 - 21 has every bit from 254 down to 0
// set except bits 2 and 4.
void fe_invert(Fe out, const Fe a) {
  Fe c;
  fe_copy(c, a);
  for (int bit = 253; bit >= 0; bit--) {
    fe_sq(c, c);
    if (bit != 2 && bit != 4) fe_mul(c, c, a);
  }
  fe_copy(out, c);
}

void fe_unpack(Fe out, const uint8_t in[32]) {
  for (int i = 0; i < 16; i++) out[i] = in[2 * i] + (int64_t(in[2 * i + 1]) << 8);
  out[15] &= 0x7fff;
}

// Fully reduces and writes 32 bytes little-endian. After three carry passes the value is
// below 2p, so subtracting p at most twice (selected by the borrow, never by a branch) gives
// the canonical representative.
void fe_pack(uint8_t out[32], const Fe a) {
  Fe t, m;
  fe_copy(t, a);
  fe_carry(t);
  fe_carry(t);
  fe_carry(t);
  for (int pass = 0; pass < 2; pass++) {
    m[0] = t[0] - 0xffed;
    for (int i = 1; i < 15; i++) {
      m[i] = t[i] - 0xffff - ((m[i - 1] >> 16) & 1);
      m[i - 1] &= 0xffff;
    }
    m[15] = t[15] - 0x7fff - ((m[14] >> 16) & 1);
    int64_t borrow = (m[15] >> 16) & 1;
    m[14] &= 0xffff;
    fe_cswap(t, m, 1 - borrow);
  }
  for (int i = 0; i < 16; i++) {
    out[2 * i] = uint8_t(t[i] & 0xff);
    out[2 * i + 1] = uint8_t(t[i] >> 8);
  }
}

const Fe kA24 = {0xdb41, 1};  // 121665 = (486662 - 2) / 4

}  // namespace

void x25519_ladder_portable(uint8_t out[32], const uint8_t k[32], const uint8_t u[32]) {
  Fe x, a = {1}, b, c = {0}, d = {1}, e, f;
  fe_unpack(x, u);
  fe_copy(b, x);
  // Montgomery ladder: (a : c) is x2/z2 and (b : d) is x3/z3. All 255 steps always run.
  for (int i = 254; i >= 0; i--) {
    int64_t r = (k[i >> 3] >> (i & 7)) & 1;
    fe_cswap(a, b, r);
    fe_cswap(c, d, r);
    fe_add(e, a, c);
    fe_sub(a, a, c);
    fe_add(c, b, d);
    fe_sub(b, b, d);
    fe_sq(d, e);
    fe_sq(f, a);
    fe_mul(a, c, a);
    fe_mul(c, b, e);
    fe_add(e, a, c);
    fe_sub(a, a, c);
    fe_sq(b, a);
    fe_sub(c, d, f);
    fe_mul(a, c, kA24);
    fe_add(a, a, d);
    fe_mul(c, c, a);
    fe_mul(a, d, f);
    fe_mul(d, b, x);
    fe_sq(b, e);
    fe_cswap(a, b, r);
    fe_cswap(c, d, r);
  }
  fe_invert(c, c);
  fe_mul(a, a, c);
  fe_pack(out, a);
}

int x25519(uint8_t out[32], const uint8_t scalar[32], const uint8_t u[32]) {
  uint8_t k[32];
  memcpy(k, scalar, 32);
  k[0] &= 0xf8;
  k[31] = (k[31] & 0x7f) | 0x40;
  crypto_kernels().x25519_ladder(out, k, u);
  ct_wipe(k, sizeof k);  // the private key must not linger on the stack

  uint8_t any = 0;
  for (int i = 0; i < 32; i++) any |= out[i];
  return any == 0 ? -1 : 0;
}

int x25519_base(uint8_t out[32], const uint8_t scalar[32]) {
  static const uint8_t kBasePoint[32] = {9};
  return x25519(out, scalar, kBasePoint);
}
