// The CPU-specific kernels against the portable code, byte for byte, in one process.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crypto/aead.h"
#include "crypto/chacha20.h"
#include "crypto/cpu.h"
#include "crypto/kernels.h"
#include "crypto/poly1305.h"
#include "crypto/sha256.h"
#include "crypto_test_util.h"

namespace {

struct PortableScope {
  explicit PortableScope(bool on) { crypto_force_portable(on); }
  ~PortableScope() { crypto_force_portable(false); }
};

TEST(CryptoKernels, ForcingPortableSwitchesTheTable) {
  {
    PortableScope p(true);
    EXPECT_STREQ(crypto_kernels_name(), "portable");
  }
  const char* env = std::getenv("FL_CRYPTO_PORTABLE");
  bool env_forced = env && std::strcmp(env, "1") == 0;
  CpuFeatures f = crypto_cpu_features();
  if (!env_forced && (f.sha || f.avx2)) {
    EXPECT_STRNE(crypto_kernels_name(), "portable") << "the CPU's extensions go unused";
  }
  if (env_forced) {
    EXPECT_STREQ(crypto_kernels_name(), "portable");
  }
  std::printf("crypto kernels in use: %s\n", crypto_kernels_name());
}

template <typename F>
std::string both(F f, std::string* portable) {
  std::string fast = f();
  PortableScope p(true);
  *portable = f();
  return fast;
}

TEST(CryptoKernels, Sha256SameBytesForEveryLength) {
  Bytes msg = pattern(3000, 71);
  for (size_t len = 0; len <= msg.size(); len += (len < 300 ? 1 : 97)) {
    std::string portable;
    std::string fast = both(
        [&] {
          uint8_t out[32];
          sha256(msg.data(), len, out);
          return hex(out, 32);
        },
        &portable);
    ASSERT_EQ(fast, portable) << "length " << len;
  }
}

TEST(CryptoKernels, ChaCha20SameBytesForEveryLengthAndOffset) {
  Bytes key = pattern(32, 72), nonce = pattern(12, 73), msg = pattern(64 * 40, 74);
  for (size_t len = 0; len <= msg.size(); len += (len < 1100 ? 1 : 123)) {
    for (uint32_t counter : {0u, 1u, 0xfffffffcu}) {
      std::string portable;
      std::string fast = both(
          [&] {
            Bytes out(len);
            chacha20_xor(key.data(), nonce.data(), counter, msg.data(), out.data(), len);
            return hex(out);
          },
          &portable);
      ASSERT_EQ(fast, portable) << "length " << len << " counter " << counter;
    }
  }
}

// Pieces that leave a partial block and then hand a long run to the bulk kernel.
TEST(CryptoKernels, Poly1305SameTagsForEveryLengthAndPiece) {
  Bytes key = pattern(32, 75), msg = pattern(5000, 76);
  // A key with every clamped r bit set and s all ones drives the limbs to their bounds.
  Bytes heavy_key(32, 0xff);
  for (const Bytes& k : {key, heavy_key}) {
    for (size_t len = 0; len <= msg.size(); len += (len < 600 ? 1 : 211)) {
      for (size_t head : {0u, 5u, 16u}) {
        std::string portable;
        std::string fast = both(
            [&] {
              Poly1305Ctx ctx;
              poly1305_init(&ctx, k.data());
              size_t h = std::min(head, len);
              poly1305_update(&ctx, msg.data(), h);
              poly1305_update(&ctx, msg.data() + h, len - h);
              uint8_t tag[16];
              poly1305_finish(&ctx, tag);
              return hex(tag, 16);
            },
            &portable);
        ASSERT_EQ(fast, portable) << "length " << len << " head " << head;
      }
    }
  }
}

// All-ones input keeps the accumulator near its largest partially reduced value.
TEST(CryptoKernels, Poly1305AllOnesMessages) {
  Bytes ones(70000, 0xff), key(32, 0xff);
  for (size_t len : {16u, 256u, 4096u, 65536u, 70000u}) {
    std::string portable;
    std::string fast = both(
        [&] {
          Poly1305Ctx ctx;
          poly1305_init(&ctx, key.data());
          poly1305_update(&ctx, ones.data(), len);
          uint8_t tag[16];
          poly1305_finish(&ctx, tag);
          return hex(tag, 16);
        },
        &portable);
    EXPECT_EQ(fast, portable) << len;
  }
}

TEST(CryptoKernels, AeadSameBytesForLargeMessages) {
  Bytes key = pattern(32, 77), nonce = pattern(12, 78), ad = pattern(29, 79);
  for (size_t len : {1024u, 4095u, 4096u, 4097u, 65535u, 65536u, 100000u}) {
    Bytes pt = pattern(len, uint32_t(len));
    std::string portable;
    std::string fast = both(
        [&] {
          Bytes out(len + 16);
          aead_seal(key.data(), nonce.data(), ad.data(), ad.size(), pt.data(), len, out.data());
          return hex(out);
        },
        &portable);
    ASSERT_EQ(fast, portable) << len;
  }
}

// Every kernel this CPU can run, not only the one the table picked, against the portable
// code: a machine with AVX-512 would otherwise never run the AVX2 or SSE2 entry points.
TEST(CryptoKernels, EachChaChaKernelMatchesPortable) {
  CpuFeatures f = crypto_cpu_features();
  struct Kernel {
    const char* name;
    bool usable;
    void (*fn)(const uint8_t*, const uint8_t*, uint32_t, const uint8_t*, uint8_t*, size_t);
  } kernels[] = {{"sse2", true, chacha20_xor_sse2},
                 {"avx2", f.avx2, chacha20_xor_avx2},
                 {"avx512", f.avx512, chacha20_xor_avx512}};
  Bytes key = pattern(32, 81), nonce = pattern(12, 82), msg = pattern(64 * 40, 83);
  for (const Kernel& k : kernels) {
    if (!k.usable) continue;
    for (size_t len = 0; len <= msg.size(); len += (len < 1100 ? 1 : 97)) {
      Bytes expected(len), got(len);
      chacha20_xor_portable(key.data(), nonce.data(), 0xfffffff0u, msg.data(), expected.data(),
                            len);
      k.fn(key.data(), nonce.data(), 0xfffffff0u, msg.data(), got.data(), len);
      ASSERT_EQ(hex(got), hex(expected)) << k.name << " length " << len;
    }
  }
}

TEST(CryptoKernels, EachPolyKernelMatchesPortable) {
  CpuFeatures f = crypto_cpu_features();
  struct Kernel {
    const char* name;
    bool usable;
    void (*fn)(Poly1305Ctx*, const uint8_t*, size_t);
  } kernels[] = {{"64-bit", true, poly1305_blocks_64},
                 {"avx2", f.avx2, poly1305_blocks_avx2},
                 {"ifma", f.ifma, poly1305_blocks_ifma}};
  Bytes msg = pattern(16 * (3 + 300), 84);
  for (const Bytes& key : {pattern(32, 85), Bytes(32, 0xff)}) {
    for (const Kernel& k : kernels) {
      if (!k.usable) continue;
      for (size_t blocks = 0; blocks <= 300; blocks++) {
        // Absorb a few blocks portably first so the kernel starts from a non-zero h.
        Poly1305Ctx a, b;
        poly1305_init(&a, key.data());
        poly1305_blocks_portable(&a, msg.data(), 3);
        b = a;
        poly1305_blocks_portable(&a, msg.data() + 48, blocks);
        k.fn(&b, msg.data() + 48, blocks);
        uint8_t ta[16], tb[16];
        poly1305_finish(&a, ta);
        poly1305_finish(&b, tb);
        ASSERT_EQ(hex(tb, 16), hex(ta, 16)) << k.name << " blocks " << blocks;
      }
    }
  }
}

TEST(CryptoKernels, ShaNiMatchesPortable) {
  if (!crypto_cpu_features().sha) GTEST_SKIP() << "no SHA extensions on this CPU";
  Bytes msg = pattern(64 * 50, 86);
  for (size_t blocks = 0; blocks <= 50; blocks++) {
    uint32_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    sha256_blocks_portable(a, msg.data(), blocks);
    sha256_blocks_shani(b, msg.data(), blocks);
    ASSERT_EQ(hex(reinterpret_cast<uint8_t*>(b), 32), hex(reinterpret_cast<uint8_t*>(a), 32))
        << blocks;
  }
}

// The radix-2^51 ladder against the sixteen-limb one. Random scalars and points, plus points
// whose limbs sit at the edges of what unpacking and the final reduction must handle: 0, 1,
// p - 1, p, p + 1, 2^255 - 1 (non-canonical) and every byte 0xff (bit 255 ignored).
TEST(CryptoKernels, X25519Radix51MatchesPortable) {
  std::vector<Bytes> points;
  for (uint32_t seed = 0; seed < 40; seed++) points.push_back(pattern(32, 900 + seed));
  for (int offset : {-1, 0, 1}) {  // p + offset, little-endian
    Bytes u(32, 0xff);
    u[0] = uint8_t(0xed + offset);
    u[31] = 0x7f;
    points.push_back(u);
  }
  Bytes zero(32, 0), one(32, 0), top(32, 0xff), top_clear(32, 0xff);
  one[0] = 1;
  top_clear[31] = 0x7f;
  for (const Bytes& u : {zero, one, top, top_clear}) points.push_back(u);

  for (size_t i = 0; i < points.size(); i++) {
    Bytes k = pattern(32, 700 + uint32_t(i));
    if (i % 2) k = Bytes(32, 0xff);
    k[0] &= 0xf8;  // the ladders take the clamped scalar
    k[31] = (k[31] & 0x7f) | 0x40;
    uint8_t expected[32], got[32];
    x25519_ladder_portable(expected, k.data(), points[i].data());
    x25519_ladder_radix51(got, k.data(), points[i].data());
    ASSERT_EQ(hex(got, 32), hex(expected, 32)) << "u " << hex(points[i]) << " k " << hex(k);
  }
}

}  // namespace
