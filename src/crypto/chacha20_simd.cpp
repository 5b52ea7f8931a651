// ChaCha20 with SSE2 (4 blocks at a time), AVX2 (8) and AVX-512 (16). Every path produces the
// bytes of the portable code; the widest one the CPU has takes the bulk and narrower ones the
// rest.
#include "crypto/kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "crypto/simd.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// ---- SSE2: four blocks -------------------------------------------------------------------

#pragma GCC push_options
#pragma GCC target("sse2")
namespace sse2 {

struct Sse2 {
  typedef __m128i T;
  static constexpr int kLanes = 4;
  static T set1(uint32_t v) { return _mm_set1_epi32(int(v)); }
  static T counter_offsets() { return _mm_set_epi32(3, 2, 1, 0); }
  static T add(T a, T b) { return _mm_add_epi32(a, b); }
  static T xor_(T a, T b) { return _mm_xor_si128(a, b); }
  template <int n>
  static T rotl(T v) {
    return _mm_or_si128(_mm_slli_epi32(v, n), _mm_srli_epi32(v, 32 - n));
  }
  // Four words of four blocks: after the 4x4 transpose r[j] holds the words of block j.
  static void transpose4(T& a, T& b, T& c, T& d) {
    T t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
    T t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t1);
    b = _mm_unpackhi_epi64(t0, t1);
    c = _mm_unpacklo_epi64(t2, t3);
    d = _mm_unpackhi_epi64(t2, t3);
  }
  static void xor_blocks(T x[16], const uint8_t* in, uint8_t* out) {
    for (int q = 0; q < 4; q++) {
      transpose4(x[4 * q], x[4 * q + 1], x[4 * q + 2], x[4 * q + 3]);
      for (int b = 0; b < 4; b++) {
        size_t off = 64 * b + 16 * q;
        T m = _mm_loadu_si128(reinterpret_cast<const T*>(in + off));
        _mm_storeu_si128(reinterpret_cast<T*>(out + off), _mm_xor_si128(m, x[4 * q + b]));
      }
    }
  }
};

#include "crypto/chacha20_lanes.inc"

size_t groups_sse2(uint32_t s[16], const uint8_t* in, uint8_t* out, size_t len) {
  return chacha_lanes_xor<Sse2>(s, in, out, len);
}

// The last partial group: four blocks of keystream into a buffer, then XOR what is needed.
void tail_sse2(uint32_t s[16], const uint8_t* in, uint8_t* out, size_t len) {
  alignas(16) uint8_t ks[256];
  memset(ks, 0, sizeof ks);
  chacha_lanes_group<Sse2>(s, ks, ks);
  for (size_t i = 0; i < len; i++) out[i] = in[i] ^ ks[i];
}

}  // namespace sse2
#pragma GCC pop_options

// ---- AVX2: eight blocks ------------------------------------------------------------------

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {

struct Avx2 {
  typedef __m256i T;
  static constexpr int kLanes = 8;
  static T set1(uint32_t v) { return _mm256_set1_epi32(int(v)); }
  static T counter_offsets() { return _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0); }
  static T add(T a, T b) { return _mm256_add_epi32(a, b); }
  static T xor_(T a, T b) { return _mm256_xor_si256(a, b); }
  template <int n>
  static T rotl(T v) {
    // Byte-aligned rotations are a byte shuffle.
    if constexpr (n == 16) {
      return _mm256_shuffle_epi8(
          v, _mm256_set_epi64x(0x0d0c0f0e09080b0aLL, 0x0504070601000302LL, 0x0d0c0f0e09080b0aLL,
                               0x0504070601000302LL));
    } else if constexpr (n == 8) {
      return _mm256_shuffle_epi8(
          v, _mm256_set_epi64x(0x0e0d0c0f0a09080bLL, 0x0605040702010003LL, 0x0e0d0c0f0a09080bLL,
                               0x0605040702010003LL));
    } else {
      return _mm256_or_si256(_mm256_slli_epi32(v, n), _mm256_srli_epi32(v, 32 - n));
    }
  }
  // 4x4 transpose inside each 128-bit half: half 0 holds blocks 0-3, half 1 blocks 4-7.
  static void transpose4(T& a, T& b, T& c, T& d) {
    T t0 = _mm256_unpacklo_epi32(a, b), t1 = _mm256_unpacklo_epi32(c, d);
    T t2 = _mm256_unpackhi_epi32(a, b), t3 = _mm256_unpackhi_epi32(c, d);
    a = _mm256_unpacklo_epi64(t0, t1);
    b = _mm256_unpackhi_epi64(t0, t1);
    c = _mm256_unpacklo_epi64(t2, t3);
    d = _mm256_unpackhi_epi64(t2, t3);
  }
  static void xor32(const uint8_t* in, uint8_t* out, T k) {
    T m = _mm256_loadu_si256(reinterpret_cast<const T*>(in));
    _mm256_storeu_si256(reinterpret_cast<T*>(out), _mm256_xor_si256(m, k));
  }
  static void xor_blocks(T x[16], const uint8_t* in, uint8_t* out) {
    for (int q = 0; q < 4; q++) transpose4(x[4 * q], x[4 * q + 1], x[4 * q + 2], x[4 * q + 3]);
    for (int b = 0; b < 4; b++) {
      // Words 0-7 of blocks b and b+4 come from x[b] (words 0-3) and x[4+b] (words 4-7).
      for (int half = 0; half < 2; half++) {
        T lo = x[8 * half + b], hi = x[8 * half + 4 + b];
        size_t off = 32 * half;
        xor32(in + 64 * b + off, out + 64 * b + off, _mm256_permute2x128_si256(lo, hi, 0x20));
        xor32(in + 64 * (b + 4) + off, out + 64 * (b + 4) + off,
              _mm256_permute2x128_si256(lo, hi, 0x31));
      }
    }
  }
};

#include "crypto/chacha20_lanes.inc"

size_t groups_avx2(uint32_t s[16], const uint8_t* in, uint8_t* out, size_t len) {
  return chacha_lanes_xor<Avx2>(s, in, out, len);
}

}  // namespace avx2
#pragma GCC pop_options

// ---- AVX-512: sixteen blocks -------------------------------------------------------------

#pragma GCC push_options
#pragma GCC target("avx512f")
namespace avx512 {

struct Avx512 {
  typedef __m512i T;
  static constexpr int kLanes = 16;
  static T set1(uint32_t v) { return _mm512_set1_epi32(int(v)); }
  static T counter_offsets() {
    return _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  }
  static T add(T a, T b) { return _mm512_add_epi32(a, b); }
  static T xor_(T a, T b) { return _mm512_xor_si512(a, b); }
  template <int n>
  static T rotl(T v) {
    return _mm512_rol_epi32(v, n);
  }
  // 4x4 transpose inside each 128-bit quarter: quarter k holds blocks 4k .. 4k+3.
  static void transpose4(T& a, T& b, T& c, T& d) {
    T t0 = _mm512_unpacklo_epi32(a, b), t1 = _mm512_unpacklo_epi32(c, d);
    T t2 = _mm512_unpackhi_epi32(a, b), t3 = _mm512_unpackhi_epi32(c, d);
    a = _mm512_unpacklo_epi64(t0, t1);
    b = _mm512_unpackhi_epi64(t0, t1);
    c = _mm512_unpacklo_epi64(t2, t3);
    d = _mm512_unpackhi_epi64(t2, t3);
  }
  static void xor64(const uint8_t* in, uint8_t* out, T k) {
    T m = _mm512_loadu_si512(in);
    _mm512_storeu_si512(out, _mm512_xor_si512(m, k));
  }
  static void xor_blocks(T x[16], const uint8_t* in, uint8_t* out) {
    for (int q = 0; q < 4; q++) transpose4(x[4 * q], x[4 * q + 1], x[4 * q + 2], x[4 * q + 3]);
    for (int b = 0; b < 4; b++) {
      // Quarter k of x[4q + b] holds words 4q..4q+3 of block 4k + b; gather the four
      // quarters k of x[b], x[4+b], x[8+b], x[12+b] into one block.
      T w01 = _mm512_shuffle_i32x4(x[b], x[4 + b], 0x44);   // quarters 0,1 of both
      T w23 = _mm512_shuffle_i32x4(x[b], x[4 + b], 0xee);   // quarters 2,3 of both
      T w45 = _mm512_shuffle_i32x4(x[8 + b], x[12 + b], 0x44);
      T w67 = _mm512_shuffle_i32x4(x[8 + b], x[12 + b], 0xee);
      xor64(in + 64 * b, out + 64 * b, _mm512_shuffle_i32x4(w01, w45, 0x88));
      xor64(in + 64 * (b + 4), out + 64 * (b + 4), _mm512_shuffle_i32x4(w01, w45, 0xdd));
      xor64(in + 64 * (b + 8), out + 64 * (b + 8), _mm512_shuffle_i32x4(w23, w67, 0x88));
      xor64(in + 64 * (b + 12), out + 64 * (b + 12), _mm512_shuffle_i32x4(w23, w67, 0xdd));
    }
  }
};

#include "crypto/chacha20_lanes.inc"

size_t groups_avx512(uint32_t s[16], const uint8_t* in, uint8_t* out, size_t len) {
  return chacha_lanes_xor<Avx512>(s, in, out, len);
}

}  // namespace avx512
#pragma GCC pop_options

enum Width { kSse2, kAvx2, kAvx512 };

// Whole groups on the widest vectors allowed, what remains on narrower ones, and the last
// partial group from a keystream buffer.
void xor_up_to(Width widest, const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
               const uint8_t* in, uint8_t* out, size_t len) {
  uint32_t s[16];
  chacha20_init_state(s, key, nonce, counter);
  size_t done = 0;
  if (widest >= kAvx512) done += avx512::groups_avx512(s, in, out, len);
  if (widest >= kAvx2) done += avx2::groups_avx2(s, in + done, out + done, len - done);
  done += sse2::groups_sse2(s, in + done, out + done, len - done);
  if (done < len) sse2::tail_sse2(s, in + done, out + done, len - done);
}

}  // namespace

void chacha20_xor_sse2(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                       const uint8_t* in, uint8_t* out, size_t len) {
  xor_up_to(kSse2, key, nonce, counter, in, out, len);
}

void chacha20_xor_avx2(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                       const uint8_t* in, uint8_t* out, size_t len) {
  xor_up_to(kAvx2, key, nonce, counter, in, out, len);
}

void chacha20_xor_avx512(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                         const uint8_t* in, uint8_t* out, size_t len) {
  xor_up_to(kAvx512, key, nonce, counter, in, out, len);
}

#endif
