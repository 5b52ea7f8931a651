// X25519 ladder with field elements in five 64-bit limbs of nominally 51 bits (radix 2^51):
// value = l[0] + l[1] 2^51 + l[2] 2^102 + l[3] 2^153 + l[4] 2^204, mod p = 2^255 - 19.
// Products of two limbs are taken in 128 bits, so a multiplication is 25 machine multiplies
// instead of the 256 of the sixteen-limb code; this is what makes a handshake cheap.
//
// Limb bounds, which every function below states and relies on:
// - "carried": every limb < 2^51 + 2^13. fe_mul, fe_sq, fe_mul_a24 and fe_unpack give this.
// - "loose": every limb < 2^53. fe_add and fe_sub of two carried elements give this.
// fe_mul, fe_sq and fe_mul_a24 accept loose inputs: a limb product is below 2^106, a sum of
// five of them with the factor 19 below 2^113, so the 128-bit sums never overflow and each
// carry fits 64 bits.
//
// Nothing here branches on or indexes by a secret value: the ladder swaps by mask, the
// inversion is a fixed chain, the final reduction selects by arithmetic.
#include <cstring>

#include "crypto/kernels.h"

#if defined(__SIZEOF_INT128__)

namespace {

typedef unsigned __int128 u128;
typedef uint64_t Fe[5];

constexpr uint64_t kMask51 = (uint64_t(1) << 51) - 1;

void fe_copy(Fe out, const Fe a) { memcpy(out, a, sizeof(Fe)); }

// carried + carried -> loose.
void fe_add(Fe out, const Fe a, const Fe b) {
  for (int i = 0; i < 5; i++) out[i] = a[i] + b[i];
}

// carried - carried -> loose. Adding 2p first keeps every limb non-negative: the limbs of 2p
// (2^52 - 38, then 2^52 - 2) exceed any carried limb.
void fe_sub(Fe out, const Fe a, const Fe b) {
  out[0] = a[0] + 0xfffffffffffdaULL - b[0];
  for (int i = 1; i < 5; i++) out[i] = a[i] + 0xffffffffffffeULL - b[i];
}

// Reduces five 128-bit column sums (each below 2^114) to a carried element. The carry out of
// limb 4 has weight 2^255 = 19 mod p and re-enters limb 0; a last step moves what that adds
// above 51 bits into limb 1 (at most 2^13).
void fe_carry(Fe out, u128 r0, u128 r1, u128 r2, u128 r3, u128 r4) {
  r1 += uint64_t(r0 >> 51);
  r2 += uint64_t(r1 >> 51);
  r3 += uint64_t(r2 >> 51);
  r4 += uint64_t(r3 >> 51);
  uint64_t l0 = (uint64_t(r0) & kMask51) + 19 * uint64_t(r4 >> 51);
  out[1] = (uint64_t(r1) & kMask51) + (l0 >> 51);
  out[0] = l0 & kMask51;
  out[2] = uint64_t(r2) & kMask51;
  out[3] = uint64_t(r3) & kMask51;
  out[4] = uint64_t(r4) & kMask51;
}

u128 mul64(uint64_t a, uint64_t b) { return u128(a) * b; }

// loose * loose -> carried. Column k collects a[i] b[j] with i + j = k, and i + j = k + 5
// times 19 (2^255 = 19 mod p).
void fe_mul(Fe out, const Fe a, const Fe b) {
  const uint64_t b1_19 = 19 * b[1], b2_19 = 19 * b[2], b3_19 = 19 * b[3], b4_19 = 19 * b[4];
  u128 r0 = mul64(a[0], b[0]) + mul64(a[1], b4_19) + mul64(a[2], b3_19) + mul64(a[3], b2_19) +
            mul64(a[4], b1_19);
  u128 r1 = mul64(a[0], b[1]) + mul64(a[1], b[0]) + mul64(a[2], b4_19) + mul64(a[3], b3_19) +
            mul64(a[4], b2_19);
  u128 r2 = mul64(a[0], b[2]) + mul64(a[1], b[1]) + mul64(a[2], b[0]) + mul64(a[3], b4_19) +
            mul64(a[4], b3_19);
  u128 r3 = mul64(a[0], b[3]) + mul64(a[1], b[2]) + mul64(a[2], b[1]) + mul64(a[3], b[0]) +
            mul64(a[4], b4_19);
  u128 r4 = mul64(a[0], b[4]) + mul64(a[1], b[3]) + mul64(a[2], b[2]) + mul64(a[3], b[1]) +
            mul64(a[4], b[0]);
  fe_carry(out, r0, r1, r2, r3, r4);
}

// loose^2 -> carried: fe_mul(a, a) with the symmetric products taken once and doubled
// (15 multiplies instead of 25).
void fe_sq(Fe out, const Fe a) {
  const uint64_t a0_2 = 2 * a[0], a1_2 = 2 * a[1];
  const uint64_t a1_38 = 38 * a[1], a2_38 = 38 * a[2], a3_38 = 38 * a[3];
  const uint64_t a3_19 = 19 * a[3], a4_19 = 19 * a[4];
  u128 r0 = mul64(a[0], a[0]) + mul64(a1_38, a[4]) + mul64(a2_38, a[3]);
  u128 r1 = mul64(a0_2, a[1]) + mul64(a2_38, a[4]) + mul64(a3_19, a[3]);
  u128 r2 = mul64(a0_2, a[2]) + mul64(a[1], a[1]) + mul64(a3_38, a[4]);
  u128 r3 = mul64(a0_2, a[3]) + mul64(a1_2, a[2]) + mul64(a4_19, a[4]);
  u128 r4 = mul64(a0_2, a[4]) + mul64(a1_2, a[3]) + mul64(a[2], a[2]);
  fe_carry(out, r0, r1, r2, r3, r4);
}

// out = a^(2^n): n squarings in a row.
void fe_sq_times(Fe out, const Fe a, int n) {
  fe_sq(out, a);
  for (int i = 1; i < n; i++) fe_sq(out, out);
}

// loose * 121665 -> carried. 121665 = (486662 - 2) / 4 is the curve constant the ladder's
// doubling uses; the products stay below 2^70.
void fe_mul_a24(Fe out, const Fe a) {
  constexpr uint64_t kA24 = 121665;
  fe_carry(out, mul64(a[0], kA24), mul64(a[1], kA24), mul64(a[2], kA24), mul64(a[3], kA24),
           mul64(a[4], kA24));
}

// Swaps p and q when bit is 1, by mask.
void fe_cswap(Fe p, Fe q, uint64_t bit) {
  const uint64_t mask = 0 - bit;
  for (int i = 0; i < 5; i++) {
    uint64_t t = mask & (p[i] ^ q[i]);
    p[i] ^= t;
    q[i] ^= t;
  }
}

// a^(p-2) = a^-1 for carried a. p - 2 = 2^255 - 21; the chain builds a^(2^k - 1) for
// k = 5, 10, 20, 50, 100, 250 and finishes with 2^255 - 21 = (2^250 - 1) 2^5 + 11:
// 254 squarings and 11 multiplications, always the same ones.
void fe_invert(Fe out, const Fe a) {
  Fe a2, a9, a11, t, x5, x10, x20, x50, x100;
  fe_sq(a2, a);              // a^2
  fe_sq_times(t, a2, 2);     // a^8
  fe_mul(a9, t, a);          // a^9
  fe_mul(a11, a9, a2);       // a^11
  fe_sq(t, a11);             // a^22
  fe_mul(x5, t, a9);         // a^31 = a^(2^5 - 1)
  fe_sq_times(t, x5, 5);
  fe_mul(x10, t, x5);        // a^(2^10 - 1)
  fe_sq_times(t, x10, 10);
  fe_mul(x20, t, x10);       // a^(2^20 - 1)
  fe_sq_times(t, x20, 20);
  fe_mul(t, t, x20);         // a^(2^40 - 1)
  fe_sq_times(t, t, 10);
  fe_mul(x50, t, x10);       // a^(2^50 - 1)
  fe_sq_times(t, x50, 50);
  fe_mul(x100, t, x50);      // a^(2^100 - 1)
  fe_sq_times(t, x100, 100);
  fe_mul(t, t, x100);        // a^(2^200 - 1)
  fe_sq_times(t, t, 50);
  fe_mul(t, t, x50);         // a^(2^250 - 1)
  fe_sq_times(t, t, 5);      // a^(2^255 - 32)
  fe_mul(out, t, a11);       // a^(2^255 - 21)
}

// 32 bytes little-endian to a carried element; bit 255 is dropped, values from p up to
// 2^255 - 1 stay unreduced (the arithmetic reduces them).
void fe_unpack(Fe out, const uint8_t in[32]) {
  const uint64_t w0 = load_le64(in), w1 = load_le64(in + 8), w2 = load_le64(in + 16),
                 w3 = load_le64(in + 24);
  out[0] = w0 & kMask51;
  out[1] = (w0 >> 51 | w1 << 13) & kMask51;
  out[2] = (w1 >> 38 | w2 << 26) & kMask51;
  out[3] = (w2 >> 25 | w3 << 39) & kMask51;
  out[4] = (w3 >> 12) & kMask51;
}

// One pass that brings limbs 0..3 to 51 bits and folds the excess of limb 4 back times 19.
void fe_carry_pass(Fe t) {
  for (int i = 0; i < 4; i++) {
    t[i + 1] += t[i] >> 51;
    t[i] &= kMask51;
  }
  t[0] += 19 * (t[4] >> 51);
  t[4] &= kMask51;
}

// Carried element to its canonical 32 bytes. Two carry passes leave every limb below 2^51,
// so the value t is below 2^255 < 2p. t >= p exactly when t + 19 carries out of bit 255;
// that carry q (0 or 1) is computed limb by limb, and t + 19 q - q 2^255 = t - q p is the
// canonical value, without a comparison or branch.
void fe_pack(uint8_t out[32], const Fe a) {
  Fe t;
  fe_copy(t, a);
  fe_carry_pass(t);
  fe_carry_pass(t);
  uint64_t q = (t[0] + 19) >> 51;
  for (int i = 1; i < 5; i++) q = (t[i] + q) >> 51;
  t[0] += 19 * q;
  for (int i = 0; i < 4; i++) {
    t[i + 1] += t[i] >> 51;
    t[i] &= kMask51;
  }
  t[4] &= kMask51;  // drops q 2^255
  store_le64(out, t[0] | t[1] << 51);
  store_le64(out + 8, t[1] >> 13 | t[2] << 38);
  store_le64(out + 16, t[2] >> 26 | t[3] << 25);
  store_le64(out + 24, t[3] >> 39 | t[4] << 12);
}

}  // namespace

void x25519_ladder_radix51(uint8_t out[32], const uint8_t k[32], const uint8_t u[32]) {
  Fe x, a = {1}, b, c = {0}, d = {1}, e, f;
  fe_unpack(x, u);
  fe_copy(b, x);
  // Montgomery ladder: (a : c) is x2/z2 and (b : d) is x3/z3; all 255 steps always run. The
  // swap back after a step and the swap before the next cancel when both bits agree, so
  // each step swaps once, by the XOR of its bit and the previous one.
  uint64_t swapped = 0;
  for (int i = 254; i >= 0; i--) {
    const uint64_t bit = (k[i >> 3] >> (i & 7)) & 1;
    fe_cswap(a, b, swapped ^ bit);
    fe_cswap(c, d, swapped ^ bit);
    swapped = bit;
    fe_add(e, a, c);      // A = x2 + z2
    fe_sub(a, a, c);      // B = x2 - z2
    fe_add(c, b, d);      // C = x3 + z3
    fe_sub(b, b, d);      // D = x3 - z3
    fe_sq(d, e);          // AA
    fe_sq(f, a);          // BB
    fe_mul(a, c, a);      // CB
    fe_mul(c, b, e);      // DA
    fe_add(e, a, c);      // CB + DA
    fe_sub(a, a, c);      // CB - DA
    fe_sq(b, a);          // (CB - DA)^2
    fe_sub(c, d, f);      // E = AA - BB
    fe_mul_a24(a, c);     // a24 E
    fe_add(a, a, d);      // AA + a24 E
    fe_mul(c, c, a);      // z2 = E (AA + a24 E)
    fe_mul(a, d, f);      // x2 = AA BB
    fe_mul(d, b, x);      // z3 = x1 (CB - DA)^2
    fe_sq(b, e);          // x3 = (CB + DA)^2
  }
  fe_cswap(a, b, swapped);
  fe_cswap(c, d, swapped);
  fe_invert(c, c);
  fe_mul(a, a, c);
  fe_pack(out, a);
}

#endif
