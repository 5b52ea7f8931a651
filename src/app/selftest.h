#pragma once
// The --test self-test: checks the building blocks the secure channel stands on (SHA-256,
// X25519, ChaCha20-Poly1305 round trip and tamper, random bytes), then prints two lines about
// the machine and a summary. One line per check, in a fixed order; a failed check never stops
// the run.
#include <cstddef>
#include <cstdint>

// The operations under test, replaceable so that the failure paths can be exercised.
struct SelfTestOps {
  void (*sha256)(const void* data, size_t len, uint8_t out[32]);
  int (*x25519)(uint8_t out[32], const uint8_t scalar[32], const uint8_t u[32]);
  int (*aead_seal)(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad,
                   size_t ad_len, const uint8_t* plaintext, size_t len, uint8_t* out);
  int (*aead_open)(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad,
                   size_t ad_len, const uint8_t* ciphertext, size_t len, uint8_t* out);
  int (*random_bytes)(void* buf, size_t len);
};

// The real operations.
SelfTestOps self_test_real_ops();

// Runs every check with ops and hands each output line (without line end) to write_line.
// Returns 0 when every check passed, else 1.
int self_test_run_with(const SelfTestOps* ops, void (*write_line)(const char*));

// The self-test as --test runs it: real operations, lines to the standard output.
int self_test_run();
