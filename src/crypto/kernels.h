#pragma once
// The table of bulk kernels the crypto code calls through. The portable entries are always
// there; crypto_kernels() hands out the table for this CPU (chosen once) unless the portable
// code is forced. Every kernel produces exactly the bytes of its portable twin.
#include <cstddef>
#include <cstdint>

struct Poly1305Ctx;

struct CryptoKernels {
  const char* name;
  // Compresses nblocks whole 64-byte blocks into state.
  void (*sha256_blocks)(uint32_t state[8], const uint8_t* data, size_t nblocks);
  // out = in XOR keystream from block `counter` on, any length; in == out allowed.
  void (*chacha20_xor)(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                       const uint8_t* in, uint8_t* out, size_t len);
  // Absorbs nblocks whole 16-byte blocks into ctx->h (with the 2^128 bit unless ctx->final).
  void (*poly1305_blocks)(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks);
  // out = the canonical u-coordinate of k times the point u; k is already clamped.
  void (*x25519_ladder)(uint8_t out[32], const uint8_t k[32], const uint8_t u[32]);
};

const CryptoKernels& crypto_kernels();

// What this CPU and operating system offer, examined once.
struct CpuFeatures {
  bool sha = false;     // SHA extensions with SSSE3 and SSE4.1
  bool avx2 = false;    // AVX2, and the OS saves the YMM state
  bool avx512 = false;  // AVX-512F, and the OS saves the full ZMM state
  bool ifma = false;    // AVX-512 IFMA (52-bit multiply-add) as well
};
CpuFeatures crypto_cpu_features();

// Portable kernels, also the fall-back of the accelerated ones for short inputs.
void sha256_blocks_portable(uint32_t state[8], const uint8_t* data, size_t nblocks);
void chacha20_xor_portable(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                           const uint8_t* in, uint8_t* out, size_t len);
void poly1305_blocks_portable(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks);
void x25519_ladder_portable(uint8_t out[32], const uint8_t k[32], const uint8_t u[32]);

// The sixteen-word ChaCha20 input state: constants, key, counter, nonce.
void chacha20_init_state(uint32_t s[16], const uint8_t key[32], const uint8_t nonce[12],
                         uint32_t counter);

// Accelerated kernels (x86 only): call one only when crypto_cpu_features() reports its
// extensions.
void sha256_blocks_shani(uint32_t state[8], const uint8_t* data, size_t nblocks);
void chacha20_xor_sse2(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                       const uint8_t* in, uint8_t* out, size_t len);
void chacha20_xor_avx2(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                       const uint8_t* in, uint8_t* out, size_t len);
void chacha20_xor_avx512(const uint8_t key[32], const uint8_t nonce[12], uint32_t counter,
                         const uint8_t* in, uint8_t* out, size_t len);

void poly1305_blocks_64(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks);
void poly1305_blocks_avx2(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks);
void poly1305_blocks_ifma(Poly1305Ctx* ctx, const uint8_t* data, size_t nblocks);

// X25519 in radix 2^51 with 128-bit products: needs only a compiler with a 128-bit integer
// type, which every 64-bit x86 target of ours has.
void x25519_ladder_radix51(uint8_t out[32], const uint8_t k[32], const uint8_t u[32]);

struct Sha256Ctx;
extern const uint32_t kSha256RoundConstants[64];
// sha256_update for lengths beyond 32 bits (one-shot hashing and HMAC of large inputs).
void sha256_update_long(Sha256Ctx* ctx, const void* data, size_t len);

// Little-endian loads and stores used across the units (the standards fix the byte order).
inline uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void store_le32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline uint64_t load_le64(const uint8_t* p) {
  return uint64_t(load_le32(p)) | uint64_t(load_le32(p + 4)) << 32;
}
inline void store_le64(uint8_t* p, uint64_t v) {
  store_le32(p, uint32_t(v));
  store_le32(p + 4, uint32_t(v >> 32));
}
inline uint32_t load_be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void store_be32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
inline uint32_t rotl32(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }
inline uint32_t rotr32(uint32_t v, int n) { return (v >> n) | (v << (32 - n)); }
