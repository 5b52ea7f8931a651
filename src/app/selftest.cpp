#include "app/selftest.h"

#include <cstdio>
#include <cstring>

#include "crypto/aead.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "platform/net.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace {

// Published test values: the FIPS 180-2 digest of "abc" and the first X25519 vector of
// RFC 7748.
const uint8_t kAbcDigest[32] = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                                0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                                0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
const uint8_t kScalar[32] = {0xa5, 0x46, 0xe3, 0x6b, 0xf0, 0x52, 0x7c, 0x9d, 0x3b, 0x16, 0x15,
                             0x4b, 0x82, 0x46, 0x5e, 0xdd, 0x62, 0x14, 0x4c, 0x0a, 0xc1, 0xfc,
                             0x5a, 0x18, 0x50, 0x6a, 0x22, 0x44, 0xba, 0x44, 0x9a, 0xc4};
const uint8_t kU[32] = {0xe6, 0xdb, 0x68, 0x67, 0x58, 0x30, 0x30, 0xdb, 0x35, 0x94, 0xc1,
                        0xa4, 0x24, 0xb1, 0x5f, 0x7c, 0x72, 0x66, 0x24, 0xec, 0x26, 0xb3,
                        0x35, 0x3b, 0x10, 0xa9, 0x03, 0xa6, 0xd0, 0xab, 0x1c, 0x4c};
const uint8_t kShared[32] = {0xc3, 0xda, 0x55, 0x37, 0x9d, 0xe9, 0xc6, 0x90, 0x8e, 0x94, 0xea,
                             0x4d, 0xf2, 0x8d, 0x08, 0x4f, 0x32, 0xec, 0xcf, 0x03, 0x49, 0x1c,
                             0x71, 0xf7, 0x54, 0xb4, 0x07, 0x55, 0x77, 0xa2, 0x85, 0x52};

struct Run {
  const SelfTestOps* ops;
  void (*write_line)(const char*);
  int failures;

  void report(bool passed, const char* name) {
    char line[64];
    snprintf(line, sizeof line, "%s %s", passed ? "ok" : "FAIL", name);
    write_line(line);
    if (!passed) failures++;
  }
};

void check_sha256(Run* run) {
  uint8_t digest[32];
  run->ops->sha256("abc", 3, digest);
  run->report(memcmp(digest, kAbcDigest, 32) == 0, "sha256");
}

// A result of -1 (all-zero output) fails even if the output were ignored.
void check_x25519(Run* run) {
  uint8_t out[32] = {};
  int r = run->ops->x25519(out, kScalar, kU);
  run->report(r == 0 && memcmp(out, kShared, 32) == 0, "x25519");
}

// Round trip, then the same ciphertext with one bit flipped must be refused.
void check_aead(Run* run) {
  uint8_t key[32], nonce[12] = {}, plain[32];
  for (int i = 0; i < 32; i++) {
    key[i] = uint8_t(i);
    plain[i] = uint8_t(7 * i);
  }
  const uint8_t ad[2] = {'a', 'd'};
  uint8_t sealed[32 + 16], opened[32];
  int sealed_ok = run->ops->aead_seal(key, nonce, ad, 2, plain, 32, sealed) == 0;
  int opened_ok = run->ops->aead_open(key, nonce, ad, 2, sealed, 32, opened) == 0;
  run->report(sealed_ok && opened_ok && memcmp(opened, plain, 32) == 0, "aead");

  sealed[3] ^= 0x01;
  run->report(run->ops->aead_open(key, nonce, ad, 2, sealed, 32, opened) != 0, "aead tamper");
}

void check_random(Run* run) {
  uint8_t bytes[16];
  run->report(run->ops->random_bytes(bytes, sizeof bytes) == 0, "random");
}

// Facts about the machine; never failures.
void print_info(Run* run) {
  net_startup();
  uint32_t addresses[8];
  char line[128];
  snprintf(line, sizeof line, "info ipv4 count=%d", list_ipv4_addresses(addresses, 8));
  run->write_line(line);
  os_info_line(line, sizeof line);
  run->write_line(line);
}

}  // namespace

SelfTestOps self_test_real_ops() {
  return SelfTestOps{sha256, x25519, aead_seal, aead_open, random_bytes};
}

int self_test_run_with(const SelfTestOps* ops, void (*write_line)(const char*)) {
  Run run{ops, write_line, 0};
  check_sha256(&run);
  check_x25519(&run);
  check_aead(&run);
  check_random(&run);
  print_info(&run);
  char summary[64];
  snprintf(summary, sizeof summary, "%s (%d failures)",
           run.failures == 0 ? "SELFTEST OK" : "SELFTEST FAILED", run.failures);
  write_line(summary);
  return run.failures == 0 ? 0 : 1;
}

int self_test_run() {
  SelfTestOps ops = self_test_real_ops();
  return self_test_run_with(&ops, console_write_line);
}
