#pragma once
// Choice between the portable code and the CPU-specific kernels (SHA-NI, SSE2/AVX2 ChaCha20,
// 64-bit-limb Poly1305, radix-2^51 X25519). Both produce the same bytes. The CPU is examined once; the
// environment variable FL_CRYPTO_PORTABLE=1 keeps the portable code for the whole process.

// Tests run both paths in one process: true forces the portable code from now on, false
// returns to what the CPU offers. Not meant to be flipped while other threads hash or seal.
void crypto_force_portable(bool on);

// What the crypto code currently uses, for logs and benchmarks: e.g. "sha-ni avx2 poly64"
// or "portable".
const char* crypto_kernels_name();
