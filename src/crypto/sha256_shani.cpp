// SHA-256 block compression with the x86 SHA extensions. Same results as the portable code.
#include "crypto/kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "crypto/simd.h"

// The SHA instructions keep the eight state words as two vectors, ABEF and CDGH, and do two
// rounds per sha256rnds2; the message schedule comes from sha256msg1/sha256msg2.
__attribute__((target("sha,sse4.1"))) void sha256_blocks_shani(uint32_t state[8],
                                                               const uint8_t* data,
                                                               size_t nblocks) {
  const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  __m128i cdab = _mm_shuffle_epi32(dcba, 0xb1);
  __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1b);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xf0);

  for (size_t b = 0; b < nblocks; b++, data += 64) {
    const __m128i abef_in = abef, cdgh_in = cdgh;
    __m128i w[4];  // w[g % 4] holds schedule words 4g .. 4g+3
#pragma GCC unroll 16
    for (int g = 0; g < 16; g++) {
      if (g < 4) {
        w[g] = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byte_swap);
      } else {
        // W[t] for the next four t from W[t-16..t-13], W[t-15..], W[t-7..] and W[t-2..].
        __m128i t = _mm_sha256msg1_epu32(w[g % 4], w[(g + 1) % 4]);
        t = _mm_add_epi32(t, _mm_alignr_epi8(w[(g + 3) % 4], w[(g + 2) % 4], 4));
        w[g % 4] = _mm_sha256msg2_epu32(t, w[(g + 3) % 4]);
      }
      const __m128i* k = reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * g);
      __m128i wk = _mm_add_epi32(w[g % 4], _mm_loadu_si128(k));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0e));
    }
    abef = _mm_add_epi32(abef, abef_in);
    cdgh = _mm_add_epi32(cdgh, cdgh_in);
  }

  __m128i feba = _mm_shuffle_epi32(abef, 0x1b);
  __m128i dchg = _mm_shuffle_epi32(cdgh, 0xb1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xf0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

#endif
