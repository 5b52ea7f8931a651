#include "crypto/cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "crypto/kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

const CryptoKernels kPortable = {"portable", sha256_blocks_portable, chacha20_xor_portable,
                                 poly1305_blocks_portable, x25519_ladder_portable};

#if defined(__x86_64__) || defined(__i386__)
uint64_t read_xcr0() {
  uint32_t eax, edx;
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return uint64_t(edx) << 32 | eax;
}

CpuFeatures examine_cpu() {
  CpuFeatures f;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  const bool osxsave = c & (1u << 27), avx = c & (1u << 28);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return f;
  f.sha = ssse3 && sse41 && (b & (1u << 29));
  const uint64_t xcr0 = osxsave ? read_xcr0() : 0;
  const bool os_ymm = (xcr0 & 0x6) == 0x6, os_zmm = (xcr0 & 0xe6) == 0xe6;
  f.avx2 = avx && os_ymm && (b & (1u << 5));
  f.avx512 = f.avx2 && os_zmm && (b & (1u << 16));
  f.ifma = f.avx512 && (b & (1u << 21));
  return f;
}
#else
CpuFeatures examine_cpu() { return CpuFeatures(); }
#endif

CryptoKernels choose(const CpuFeatures& f) {
  CryptoKernels k = kPortable;
#if defined(__x86_64__) || defined(__i386__)
  static char name[64];
  name[0] = 0;
  if (f.sha) {
    k.sha256_blocks = sha256_blocks_shani;
    strcat(name, "sha-ni ");
  }
  if (f.avx512) {
    k.chacha20_xor = chacha20_xor_avx512;
    strcat(name, "chacha-avx512 ");
  } else if (f.avx2) {
    k.chacha20_xor = chacha20_xor_avx2;
    strcat(name, "chacha-avx2 ");
  } else {
    k.chacha20_xor = chacha20_xor_sse2;
    strcat(name, "chacha-sse2 ");
  }
  if (f.ifma) {
    k.poly1305_blocks = poly1305_blocks_ifma;
    strcat(name, "poly-ifma");
  } else if (f.avx2) {
    k.poly1305_blocks = poly1305_blocks_avx2;
    strcat(name, "poly-avx2");
  } else {
    k.poly1305_blocks = poly1305_blocks_64;
    strcat(name, "poly-64");
  }
#if defined(__SIZEOF_INT128__)
  k.x25519_ladder = x25519_ladder_radix51;
  strcat(name, " x25519-51");
#endif
  k.name = name;
#else
  (void)f;
#endif
  return k;
}

std::atomic<bool> g_forced_portable{false};

// The CPU is examined once, on first use; FL_CRYPTO_PORTABLE=1 keeps the portable code.
const CryptoKernels& detected() {
  static const CryptoKernels kernels = [] {
    const char* env = std::getenv("FL_CRYPTO_PORTABLE");
    if (env && std::strcmp(env, "1") == 0) return kPortable;
    return choose(crypto_cpu_features());
  }();
  return kernels;
}

}  // namespace

CpuFeatures crypto_cpu_features() {
  static const CpuFeatures features = examine_cpu();
  return features;
}

const CryptoKernels& crypto_kernels() {
  if (g_forced_portable.load(std::memory_order_relaxed)) return kPortable;
  return detected();
}

void crypto_force_portable(bool on) { g_forced_portable.store(on, std::memory_order_relaxed); }

const char* crypto_kernels_name() { return crypto_kernels().name; }
