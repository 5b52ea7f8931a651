// The fuzz build compiles the accelerated crypto kernels with their instruction sets
// switched on for whole files (clang does not take the per-function GCC pragmas), so
// nothing of them may run on a CPU without those instructions. The targets test parsers
// and state machines, not the kernels: keep every target on the portable code.

#include "crypto/cpu.h"

namespace {
struct PortableCrypto {
  PortableCrypto() { crypto_force_portable(true); }
} g_portable_crypto;
}  // namespace
