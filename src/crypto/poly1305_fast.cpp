// Faster Poly1305 block kernels. The caller-visible Poly1305Ctx keeps h and r in radix 2^26;
// these kernels convert at entry and exit (a few shifts), so a context can move between
// kernels at any block boundary and every kernel yields the same tag.
//
// poly1305_blocks_64: h in three 64-bit words, products in 128 bits.
// poly1305_blocks_avx2: eight blocks per step in two four-lane chains (radix 2^26 in 64-bit
// lanes), each lane multiplied by r^8; the lanes are folded with r^8 .. r^1 at the end.
// poly1305_blocks_ifma: sixteen blocks per step in two eight-lane chains, radix 2^44 with the
// 52-bit multiply-add instructions, each lane multiplied by r^16.
#include <cstring>

#include "crypto/kernels.h"
#include "crypto/poly1305.h"

namespace {

typedef unsigned __int128 u128;
constexpr uint64_t kMask26 = 0x3ffffff;

// h = h0 + h1 2^64 + h2 2^128 with h2 a few bits; r = r0 + r1 2^64, clamped, so r1 is a
// multiple of 4 and r1 2^128 = (r1 / 4) 2^130 = 5 (r1 / 4) mod p: that is s1.
struct Poly64 {
  uint64_t h0, h1, h2;
  uint64_t r0, r1, s1;
};

// Exact value of the radix-2^26 limbs (h4 may exceed 26 bits) in three words.
void limbs26_to_64(const uint32_t l[5], uint64_t* w0, uint64_t* w1, uint64_t* w2) {
  uint64_t t[5];
  for (int i = 0; i < 5; i++) t[i] = l[i];
  for (int i = 0; i < 4; i++) {  // normalise 0..3 to 26 bits; the excess moves up
    t[i + 1] += t[i] >> 26;
    t[i] &= kMask26;
  }
  *w0 = t[0] | t[1] << 26 | t[2] << 52;
  *w1 = t[2] >> 12 | t[3] << 14 | t[4] << 40;
  *w2 = t[4] >> 24;
}

void limbs64_to_26(uint64_t w0, uint64_t w1, uint64_t w2, uint32_t l[5]) {
  l[0] = uint32_t(w0 & kMask26);
  l[1] = uint32_t((w0 >> 26) & kMask26);
  l[2] = uint32_t((w0 >> 52 | w1 << 12) & kMask26);
  l[3] = uint32_t((w1 >> 14) & kMask26);
  l[4] = uint32_t(w1 >> 40 | w2 << 24);  // below 2^27 while w2 stays below 8
}

Poly64 load64(const Poly1305Ctx* ctx) {
  Poly64 p;
  limbs26_to_64(ctx->h, &p.h0, &p.h1, &p.h2);
  uint64_t unused;
  limbs26_to_64(ctx->r, &p.r0, &p.r1, &unused);
  p.s1 = p.r1 + (p.r1 >> 2);
  return p;
}

void blocks64(Poly64* p, const uint8_t* m, size_t nblocks, uint64_t hibit) {
  uint64_t h0 = p->h0, h1 = p->h1, h2 = p->h2;
  const uint64_t r0 = p->r0, r1 = p->r1, s1 = p->s1;
  for (size_t n = 0; n < nblocks; n++, m += 16) {
    u128 t = u128(h0) + load_le64(m);
    h0 = uint64_t(t);
    t = u128(h1) + load_le64(m + 8) + uint64_t(t >> 64);
    h1 = uint64_t(t);
    h2 += uint64_t(t >> 64) + hibit;

    // h * r with h2 < 8: d0 < 2^126, d1 < 2^126, d2 < 2^63.
    u128 d0 = u128(h0) * r0 + u128(h1) * s1;
    u128 d1 = u128(h0) * r1 + u128(h1) * r0 + u128(h2) * s1;
    uint64_t d2 = h2 * r0;

    // Partial reduction: keep two bits above 2^128, fold the rest back times 5.
    h0 = uint64_t(d0);
    d1 += uint64_t(d0 >> 64);
    h1 = uint64_t(d1);
    uint64_t top = d2 + uint64_t(d1 >> 64);
    h2 = top & 3;
    uint64_t fold = (top & ~uint64_t(3)) + (top >> 2);
    t = u128(h0) + fold;
    h0 = uint64_t(t);
    t = u128(h1) + uint64_t(t >> 64);
    h1 = uint64_t(t);
    h2 += uint64_t(t >> 64);
  }
  p->h0 = h0;
  p->h1 = h1;
  p->h2 = h2;
}

}  // namespace

void poly1305_blocks_64(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks) {
  Poly64 p = load64(ctx);
  blocks64(&p, data, nblocks, ctx->final ? 0 : 1);
  limbs64_to_26(p.h0, p.h1, p.h2, ctx->h);
}

#if defined(__x86_64__) || defined(__i386__)
#include "crypto/simd.h"

namespace {

// Unreduced radix-2^26 sums (below 2^63) back to 26-bit limbs, limb 1 a little over.
void carry26(uint64_t d[5]) {
  for (int i = 0; i < 4; i++) {
    d[i + 1] += d[i] >> 26;
    d[i] &= kMask26;
  }
  d[0] += (d[4] >> 26) * 5;
  d[4] &= kMask26;
  d[1] += d[0] >> 26;
  d[0] &= kMask26;
}

// ---- Powers of r ----------------------------------------------------------------------
//
// The vector kernels multiply each lane by a power of r. The powers come from a scalar
// multiply in radix 2^44 (three limbs, nine 128-bit products): a + b 2^44 + c 2^88, where
// 2^132 = 4 2^130 = 20 mod p folds limbs 3 and 4 back into 0 and 1.

constexpr uint64_t kMask44 = (uint64_t(1) << 44) - 1;
constexpr uint64_t kMask42 = (uint64_t(1) << 42) - 1;

// r (exact 26-bit limbs) in radix 2^44.
void r26_to_44(const uint32_t r[5], uint64_t l[3]) {
  l[0] = uint64_t(r[0]) | (uint64_t(r[1]) & 0x3ffff) << 26;
  l[1] = uint64_t(r[1]) >> 18 | uint64_t(r[2]) << 8 | (uint64_t(r[3]) & 0x3ff) << 34;
  l[2] = uint64_t(r[3]) >> 10 | uint64_t(r[4]) << 16;
}

// a * b mod p, partially reduced: limbs below 2^44, 2^44 and 2^42 + 1.
void mul44(const uint64_t a[3], const uint64_t b[3], uint64_t out[3]) {
  u128 d0 = u128(a[0]) * b[0] + 20 * (u128(a[1]) * b[2] + u128(a[2]) * b[1]);
  u128 d1 = u128(a[0]) * b[1] + u128(a[1]) * b[0] + 20 * (u128(a[2]) * b[2]);
  u128 d2 = u128(a[0]) * b[2] + u128(a[1]) * b[1] + u128(a[2]) * b[0];
  d1 += d0 >> 44;
  d2 += d1 >> 44;
  uint64_t l0 = uint64_t(d0) & kMask44, l1 = uint64_t(d1) & kMask44;
  u128 l0_wide = l0 + (d2 >> 42) * 5;  // 2^130 = 5 mod p
  uint64_t l1_wide = l1 + uint64_t(l0_wide >> 44);
  out[0] = uint64_t(l0_wide) & kMask44;
  out[1] = l1_wide & kMask44;
  out[2] = (uint64_t(d2) & kMask42) + (l1_wide >> 44);
}

// pw[k] = r^k for k = 1 .. count.
void powers44(const uint32_t r[5], int count, uint64_t pw[][3]) {
  r26_to_44(r, pw[1]);
  for (int k = 2; k <= count; k++) mul44(pw[k - 1], pw[1], pw[k]);
}

// Radix 2^44 (limb 1 possibly a bit over 44 bits) to radix-2^26 limbs.
void limbs44_to_26(const uint64_t a[3], uint64_t l[5]) {
  uint64_t a1 = a[1] & kMask44, a2 = a[2] + (a[1] >> 44);
  l[0] = a[0] & kMask26;
  l[1] = (a[0] >> 26 | a1 << 18) & kMask26;
  l[2] = (a1 >> 8) & kMask26;
  l[3] = (a1 >> 34 | a2 << 10) & kMask26;
  l[4] = a2 >> 16;
}

#pragma GCC push_options
#pragma GCC target("avx2")

// Five radix-2^26 limbs of four independent accumulators, one per 64-bit lane. Named fields
// rather than an array so that the compiler keeps them in registers.
struct Lanes {
  __m256i l0, l1, l2, l3, l4;
};

// Multiplier in vector form: limbs and five times limbs 1..4 (the wrap past 2^130).
struct Mult {
  __m256i r0, r1, r2, r3, r4, s1, s2, s3, s4;
};

inline __m256i times5(__m256i v) { return _mm256_add_epi64(_mm256_slli_epi64(v, 2), v); }

// Lane j multiplies by the element with limbs lane_j.
inline Mult make_mult(const uint64_t lane0[5], const uint64_t lane1[5], const uint64_t lane2[5],
                      const uint64_t lane3[5]) {
  __m256i r[5];
  for (int i = 0; i < 5; i++)
    r[i] = _mm256_set_epi64x(int64_t(lane3[i]), int64_t(lane2[i]), int64_t(lane1[i]),
                             int64_t(lane0[i]));
  return Mult{r[0], r[1], r[2], r[3], r[4], times5(r[1]), times5(r[2]), times5(r[3]),
              times5(r[4])};
}

// Four 16-byte blocks as limbs, block j in lane j, with the 2^128 bit.
inline Lanes load_blocks(const uint8_t* m) {
  const __m256i mask = _mm256_set1_epi64x(kMask26);
  __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m));       // blocks 0, 1
  __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + 32));  // blocks 2, 3
  __m256i lo = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(a, b), 0xd8);
  __m256i hi = _mm256_permute4x64_epi64(_mm256_unpackhi_epi64(a, b), 0xd8);
  return Lanes{
      _mm256_and_si256(lo, mask),
      _mm256_and_si256(_mm256_srli_epi64(lo, 26), mask),
      _mm256_and_si256(_mm256_or_si256(_mm256_srli_epi64(lo, 52), _mm256_slli_epi64(hi, 12)),
                       mask),
      _mm256_and_si256(_mm256_srli_epi64(hi, 14), mask),
      _mm256_or_si256(_mm256_srli_epi64(hi, 40), _mm256_set1_epi64x(1 << 24))};
}

inline __m256i mac5(__m256i a0, __m256i b0, __m256i a1, __m256i b1, __m256i a2, __m256i b2,
                    __m256i a3, __m256i b3, __m256i a4, __m256i b4) {
  __m256i t = _mm256_mul_epu32(a0, b0);
  t = _mm256_add_epi64(t, _mm256_mul_epu32(a1, b1));
  t = _mm256_add_epi64(t, _mm256_mul_epu32(a2, b2));
  t = _mm256_add_epi64(t, _mm256_mul_epu32(a3, b3));
  return _mm256_add_epi64(t, _mm256_mul_epu32(a4, b4));
}

// Unreduced products of each lane with its multiplier: every limb below 2^62 while the
// inputs stay below 2^28 (h) and 2^29 (5 r).
inline Lanes mul_lanes(const Lanes& h, const Mult& m) {
  return Lanes{
      mac5(h.l0, m.r0, h.l1, m.s4, h.l2, m.s3, h.l3, m.s2, h.l4, m.s1),
      mac5(h.l0, m.r1, h.l1, m.r0, h.l2, m.s4, h.l3, m.s3, h.l4, m.s2),
      mac5(h.l0, m.r2, h.l1, m.r1, h.l2, m.r0, h.l3, m.s4, h.l4, m.s3),
      mac5(h.l0, m.r3, h.l1, m.r2, h.l2, m.r1, h.l3, m.r0, h.l4, m.s4),
      mac5(h.l0, m.r4, h.l1, m.r3, h.l2, m.r2, h.l3, m.r1, h.l4, m.r0)};
}

// Back to 26-bit limbs (limbs 1 and 4 may keep a few bits more). Two carry chains run side
// by side (0 -> 1 with 3 -> 4, then 1 -> 2 with 4 -> 0, ...) to shorten the dependency.
inline void carry_lanes(Lanes& d) {
  const __m256i mask = _mm256_set1_epi64x(kMask26);
  __m256i c0 = _mm256_srli_epi64(d.l0, 26), c3 = _mm256_srli_epi64(d.l3, 26);
  d.l0 = _mm256_and_si256(d.l0, mask);
  d.l3 = _mm256_and_si256(d.l3, mask);
  d.l1 = _mm256_add_epi64(d.l1, c0);
  d.l4 = _mm256_add_epi64(d.l4, c3);
  __m256i c1 = _mm256_srli_epi64(d.l1, 26), c4 = _mm256_srli_epi64(d.l4, 26);
  d.l1 = _mm256_and_si256(d.l1, mask);
  d.l4 = _mm256_and_si256(d.l4, mask);
  d.l2 = _mm256_add_epi64(d.l2, c1);
  d.l0 = _mm256_add_epi64(d.l0, times5(c4));
  __m256i c2 = _mm256_srli_epi64(d.l2, 26);
  c0 = _mm256_srli_epi64(d.l0, 26);
  d.l2 = _mm256_and_si256(d.l2, mask);
  d.l0 = _mm256_and_si256(d.l0, mask);
  d.l3 = _mm256_add_epi64(d.l3, c2);
  d.l1 = _mm256_add_epi64(d.l1, c0);
  c3 = _mm256_srli_epi64(d.l3, 26);
  d.l3 = _mm256_and_si256(d.l3, mask);
  d.l4 = _mm256_add_epi64(d.l4, c3);
}

inline Lanes add_lanes(const Lanes& a, const Lanes& b) {
  return Lanes{_mm256_add_epi64(a.l0, b.l0), _mm256_add_epi64(a.l1, b.l1),
               _mm256_add_epi64(a.l2, b.l2), _mm256_add_epi64(a.l3, b.l3),
               _mm256_add_epi64(a.l4, b.l4)};
}

inline uint64_t sum_lanes(__m256i v) {
  __m128i s = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  return uint64_t(_mm_cvtsi128_si64(s)) + uint64_t(_mm_extract_epi64(s, 1));
}

// nblocks is a multiple of 8 and at least 8; h enters and leaves as radix-2^26 limbs.
void blocks_avx2_groups(uint32_t h[5], const uint32_t r[5], const uint8_t* m, size_t nblocks) {
  uint64_t pw44[9][3], pw[9][5];
  powers44(r, 8, pw44);
  for (int k = 1; k <= 8; k++) limbs44_to_26(pw44[k], pw[k]);
  const Mult by_r8 = make_mult(pw[8], pw[8], pw[8], pw[8]);

  // Chain a takes blocks 8k .. 8k+3, chain b blocks 8k+4 .. 8k+7; h joins lane 0 of a.
  Lanes a = load_blocks(m), b = load_blocks(m + 64);
  uint64_t h64[5];
  for (int i = 0; i < 5; i++) h64[i] = h[i];
  for (int i = 0; i < 4; i++) {  // limbs 0..3 to 26 bits so that lane inputs stay small
    h64[i + 1] += h64[i] >> 26;
    h64[i] &= kMask26;
  }
  a = add_lanes(a, Lanes{_mm256_set_epi64x(0, 0, 0, int64_t(h64[0])),
                         _mm256_set_epi64x(0, 0, 0, int64_t(h64[1])),
                         _mm256_set_epi64x(0, 0, 0, int64_t(h64[2])),
                         _mm256_set_epi64x(0, 0, 0, int64_t(h64[3])),
                         _mm256_set_epi64x(0, 0, 0, int64_t(h64[4]))});

  for (size_t n = 8; n < nblocks; n += 8) {
    Lanes na = mul_lanes(a, by_r8), nb = mul_lanes(b, by_r8);
    carry_lanes(na);
    carry_lanes(nb);
    a = add_lanes(na, load_blocks(m + 16 * n));
    b = add_lanes(nb, load_blocks(m + 16 * n + 64));
  }

  // Lane j of a is still to be multiplied by r^(8-j), lane j of b by r^(4-j).
  Lanes pa = mul_lanes(a, make_mult(pw[8], pw[7], pw[6], pw[5]));
  Lanes pb = mul_lanes(b, make_mult(pw[4], pw[3], pw[2], pw[1]));
  Lanes p = add_lanes(pa, pb);
  uint64_t d[5] = {sum_lanes(p.l0), sum_lanes(p.l1), sum_lanes(p.l2), sum_lanes(p.l3),
                   sum_lanes(p.l4)};
  carry26(d);
  for (int i = 0; i < 5; i++) h[i] = uint32_t(d[i]);
}

#pragma GCC pop_options

// ---- AVX-512 IFMA -----------------------------------------------------------------------
//
// h = h0 + h1 2^44 + h2 2^88. A product a b of 52-bit inputs comes as lo52 and hi52; with every
// multiplier limb stored times 2^8, lo52 is (a b mod 2^44) 2^8 and hi52 is exactly the part of
// a b above 2^44, so limb k of the product is lo_k / 2^8 + hi_(k-1). Limbs 3, 4, 5 (2^132 and
// up) fold back into 0, 1, 2 times 20, since 2^132 = 4 2^130 = 20 mod p.

// Radix 2^44 from the three-word form (w2 a few bits).
void words_to_44(uint64_t w0, uint64_t w1, uint64_t w2, uint64_t l[3]) {
  l[0] = w0 & kMask44;
  l[1] = (w0 >> 44 | w1 << 20) & kMask44;
  l[2] = w1 >> 24 | w2 << 40;
}

#pragma GCC push_options
#pragma GCC target("avx512f,avx512ifma")

struct Lanes44 {
  __m512i l0, l1, l2;
};

// Multiplier limbs, each times 2^8.
struct Mult44 {
  __m512i r0, r1, r2;
};

inline Mult44 make_mult44(const uint64_t* const lanes[8]) {
  __m512i v[3];
  for (int i = 0; i < 3; i++)
    v[i] = _mm512_slli_epi64(
        _mm512_set_epi64(int64_t(lanes[7][i]), int64_t(lanes[6][i]), int64_t(lanes[5][i]),
                         int64_t(lanes[4][i]), int64_t(lanes[3][i]), int64_t(lanes[2][i]),
                         int64_t(lanes[1][i]), int64_t(lanes[0][i])),
        8);
  return Mult44{v[0], v[1], v[2]};
}

// Eight 16-byte blocks, block j in lane j, with the 2^128 bit.
inline Lanes44 load_blocks44(const uint8_t* m) {
  const __m512i mask = _mm512_set1_epi64(int64_t(kMask44));
  __m512i a = _mm512_loadu_si512(m), b = _mm512_loadu_si512(m + 64);
  __m512i lo = _mm512_permutex2var_epi64(a, _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0), b);
  __m512i hi = _mm512_permutex2var_epi64(a, _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1), b);
  return Lanes44{
      _mm512_and_si512(lo, mask),
      _mm512_and_si512(_mm512_or_si512(_mm512_srli_epi64(lo, 44), _mm512_slli_epi64(hi, 20)),
                       mask),
      _mm512_or_si512(_mm512_srli_epi64(hi, 24), _mm512_set1_epi64(int64_t(1) << 40))};
}

inline __m512i times20(__m512i v) {
  return _mm512_add_epi64(_mm512_slli_epi64(v, 4), _mm512_slli_epi64(v, 2));
}

// Products of each lane with its multiplier, carried back to 44/44/42-bit limbs (limb 1 may
// keep a bit more). Inputs stay below 2^46, multiplier limbs (times 2^8) below 2^52.
inline Lanes44 mul44(const Lanes44& h, const Mult44& m) {
  const __m512i z = _mm512_setzero_si512();
  __m512i lo0 = _mm512_madd52lo_epu64(z, h.l0, m.r0);
  __m512i lo1 = _mm512_madd52lo_epu64(_mm512_madd52lo_epu64(z, h.l0, m.r1), h.l1, m.r0);
  __m512i lo2 = _mm512_madd52lo_epu64(
      _mm512_madd52lo_epu64(_mm512_madd52lo_epu64(z, h.l0, m.r2), h.l1, m.r1), h.l2, m.r0);
  __m512i lo3 = _mm512_madd52lo_epu64(_mm512_madd52lo_epu64(z, h.l1, m.r2), h.l2, m.r1);
  __m512i lo4 = _mm512_madd52lo_epu64(z, h.l2, m.r2);
  __m512i hi0 = _mm512_madd52hi_epu64(z, h.l0, m.r0);
  __m512i hi1 = _mm512_madd52hi_epu64(_mm512_madd52hi_epu64(z, h.l0, m.r1), h.l1, m.r0);
  __m512i hi2 = _mm512_madd52hi_epu64(
      _mm512_madd52hi_epu64(_mm512_madd52hi_epu64(z, h.l0, m.r2), h.l1, m.r1), h.l2, m.r0);
  __m512i hi3 = _mm512_madd52hi_epu64(_mm512_madd52hi_epu64(z, h.l1, m.r2), h.l2, m.r1);
  __m512i hi4 = _mm512_madd52hi_epu64(z, h.l2, m.r2);

  __m512i limb3 = _mm512_add_epi64(_mm512_srli_epi64(lo3, 8), hi2);
  __m512i limb4 = _mm512_add_epi64(_mm512_srli_epi64(lo4, 8), hi3);
  __m512i d0 = _mm512_add_epi64(_mm512_srli_epi64(lo0, 8), times20(limb3));
  __m512i d1 = _mm512_add_epi64(_mm512_add_epi64(_mm512_srli_epi64(lo1, 8), hi0), times20(limb4));
  __m512i d2 = _mm512_add_epi64(_mm512_add_epi64(_mm512_srli_epi64(lo2, 8), hi1), times20(hi4));

  const __m512i mask44 = _mm512_set1_epi64(int64_t(kMask44));
  __m512i c = _mm512_srli_epi64(d0, 44);
  d0 = _mm512_and_si512(d0, mask44);
  d1 = _mm512_add_epi64(d1, c);
  c = _mm512_srli_epi64(d1, 44);
  d1 = _mm512_and_si512(d1, mask44);
  d2 = _mm512_add_epi64(d2, c);
  c = _mm512_srli_epi64(d2, 42);  // 2^130 = 5 mod p
  d2 = _mm512_and_si512(d2, _mm512_set1_epi64(int64_t(kMask42)));
  d0 = _mm512_add_epi64(d0, _mm512_add_epi64(_mm512_slli_epi64(c, 2), c));
  c = _mm512_srli_epi64(d0, 44);
  d0 = _mm512_and_si512(d0, mask44);
  d1 = _mm512_add_epi64(d1, c);
  return Lanes44{d0, d1, d2};
}

inline Lanes44 add44(const Lanes44& a, const Lanes44& b) {
  return Lanes44{_mm512_add_epi64(a.l0, b.l0), _mm512_add_epi64(a.l1, b.l1),
                 _mm512_add_epi64(a.l2, b.l2)};
}

// nblocks is a multiple of 16 and at least 16; h enters and leaves as radix-2^26 limbs.
void blocks_ifma_groups(uint32_t h[5], const uint32_t r[5], const uint8_t* m, size_t nblocks) {
  uint64_t pw[17][3];
  powers44(r, 16, pw);
  const uint64_t* const step_lanes[8] = {pw[16], pw[16], pw[16], pw[16],
                                         pw[16], pw[16], pw[16], pw[16]};
  const Mult44 by_r16 = make_mult44(step_lanes);

  // Chain a takes blocks 16k .. 16k+7, chain b blocks 16k+8 .. 16k+15; h joins lane 0 of a.
  Lanes44 a = load_blocks44(m), b = load_blocks44(m + 128);
  uint64_t w0, w1, w2, h44[3];
  limbs26_to_64(h, &w0, &w1, &w2);
  words_to_44(w0, w1, w2, h44);
  a = add44(a, Lanes44{_mm512_set_epi64(0, 0, 0, 0, 0, 0, 0, int64_t(h44[0])),
                       _mm512_set_epi64(0, 0, 0, 0, 0, 0, 0, int64_t(h44[1])),
                       _mm512_set_epi64(0, 0, 0, 0, 0, 0, 0, int64_t(h44[2]))});

  for (size_t n = 16; n < nblocks; n += 16) {
    a = add44(mul44(a, by_r16), load_blocks44(m + 16 * n));
    b = add44(mul44(b, by_r16), load_blocks44(m + 16 * n + 128));
  }

  // Lane j of a is still to be multiplied by r^(16-j), lane j of b by r^(8-j).
  const uint64_t* const fold_a[8] = {pw[16], pw[15], pw[14], pw[13],
                                     pw[12], pw[11], pw[10], pw[9]};
  const uint64_t* const fold_b[8] = {pw[8], pw[7], pw[6], pw[5], pw[4], pw[3], pw[2], pw[1]};
  Lanes44 p = add44(mul44(a, make_mult44(fold_a)), mul44(b, make_mult44(fold_b)));
  uint64_t d0 = uint64_t(_mm512_reduce_add_epi64(p.l0));
  uint64_t d1 = uint64_t(_mm512_reduce_add_epi64(p.l1));
  uint64_t d2 = uint64_t(_mm512_reduce_add_epi64(p.l2));
  d1 += d0 >> 44;
  d0 &= kMask44;
  d2 += d1 >> 44;
  d1 &= kMask44;
  d0 += (d2 >> 42) * 5;
  d2 &= kMask42;
  d1 += d0 >> 44;
  d0 &= kMask44;
  // Back to three words (d1 at most a bit over 44 bits) and then to radix 2^26.
  u128 low = u128(d0) + (u128(d1) << 44);
  u128 mid = (low >> 64) + (u128(d2) << 24);
  limbs64_to_26(uint64_t(low), uint64_t(mid), uint64_t(mid >> 64), h);
}

#pragma GCC pop_options

typedef void (*GroupKernel)(uint32_t h[5], const uint32_t r[5], const uint8_t* m, size_t nblocks);

// Whole groups go to the vector code once the run is long enough to pay for the powers of r
// (measured: from about 48 blocks on); short runs, the rest and the final padded block go to
// the next narrower kernel.
void split_blocks(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks, size_t group,
                  size_t min_blocks, GroupKernel groups,
                  void (*rest)(Poly1305Ctx*, const uint8_t*, size_t)) {
  if (nblocks >= min_blocks && !ctx->final) {
    size_t vec = nblocks - nblocks % group;
    groups(ctx->h, ctx->r, data, vec);
    data += 16 * vec;
    nblocks -= vec;
  }
  if (nblocks > 0) rest(ctx, data, nblocks);
}

}  // namespace

void poly1305_blocks_ifma(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks) {
  split_blocks(ctx, data, nblocks, 16, 48, blocks_ifma_groups, poly1305_blocks_avx2);
}

void poly1305_blocks_avx2(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks) {
  split_blocks(ctx, data, nblocks, 8, 48, blocks_avx2_groups, poly1305_blocks_64);
}

#endif
