#include "crypto/cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "crypto/kernels.h"

namespace {

const CryptoKernels kPortable = {"portable", sha256_blocks_portable, chacha20_xor_portable,
                                 poly1305_blocks_portable};

std::atomic<bool> g_forced_portable{false};

const CryptoKernels& detected() {
  static const CryptoKernels kernels = [] {
    const char* env = std::getenv("FL_CRYPTO_PORTABLE");
    if (env && std::strcmp(env, "1") == 0) return kPortable;
    return kPortable;
  }();
  return kernels;
}

}  // namespace

const CryptoKernels& crypto_kernels() {
  if (g_forced_portable.load(std::memory_order_relaxed)) return kPortable;
  return detected();
}

void crypto_force_portable(bool on) { g_forced_portable.store(on, std::memory_order_relaxed); }

const char* crypto_kernels_name() { return crypto_kernels().name; }
