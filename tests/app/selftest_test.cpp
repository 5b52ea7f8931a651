#include "app/selftest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/aead.h"
#include "crypto/chacha20.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "platform/system.h"

namespace {

std::vector<std::string> g_lines;
void collect(const char* line) { g_lines.push_back(line); }

int run_with(const SelfTestOps& ops) {
  g_lines.clear();
  return self_test_run_with(&ops, collect);
}

// Broken stand-ins, each wrong in one way.
void sha256_wrong(const void* data, size_t len, uint8_t out[32]) {
  sha256(data, len, out);
  out[31] ^= 1;
}
// Right output, but the call reports an all-zero result.
int x25519_minus_one(uint8_t out[32], const uint8_t s[32], const uint8_t u[32]) {
  x25519(out, s, u);
  return -1;
}
int x25519_wrong_output(uint8_t out[32], const uint8_t s[32], const uint8_t u[32]) {
  int r = x25519(out, s, u);
  out[0] ^= 0x80;
  return r;
}
// Decrypts without looking at the tag.
int open_unverified(const uint8_t key[32], const uint8_t nonce[12], const uint8_t*, size_t,
                    const uint8_t* ct, size_t len, uint8_t* out) {
  chacha20_xor(key, nonce, 1, ct, out, len);
  return 0;
}
int open_refuses(const uint8_t*, const uint8_t*, const uint8_t*, size_t, const uint8_t*, size_t,
                 uint8_t*) {
  return -1;
}
// Seals under another nonce: the result does not open with the real one.
int seal_wrong_nonce(const uint8_t key[32], const uint8_t nonce[12], const uint8_t* ad,
                     size_t ad_len, const uint8_t* pt, size_t len, uint8_t* out) {
  uint8_t other[12];
  memcpy(other, nonce, 12);
  other[0] ^= 1;
  return aead_seal(key, other, ad, ad_len, pt, len, out);
}
int random_unavailable(void*, size_t) { return -1; }

std::string os_line() {
  char buf[128];
  os_info_line(buf, sizeof buf);
  return buf;
}

TEST(SelfTest, AllChecksPassWithTheRealOperations) {
  EXPECT_EQ(run_with(self_test_real_ops()), 0);
  ASSERT_EQ(g_lines.size(), 8u);
  EXPECT_EQ(g_lines[0], "ok sha256");
  EXPECT_EQ(g_lines[1], "ok x25519");
  EXPECT_EQ(g_lines[2], "ok aead");
  EXPECT_EQ(g_lines[3], "ok aead tamper");
  EXPECT_EQ(g_lines[4], "ok random");
  // At most eight addresses are counted.
  EXPECT_TRUE(g_lines[5].size() == 17 && g_lines[5].rfind("info ipv4 count=", 0) == 0 &&
              g_lines[5][16] >= '0' && g_lines[5][16] <= '8')
      << g_lines[5];
  EXPECT_EQ(g_lines[6], os_line());
  EXPECT_EQ(g_lines[7], "SELFTEST OK (0 failures)");
}

// Each broken operation fails exactly its own checks; the run goes on to the end.
TEST(SelfTest, EachBrokenOperationFailsOnlyItsChecks) {
  struct Case {
    const char* what;
    void (*broken)(SelfTestOps*);
    std::vector<std::string> checks;  // the five check lines expected
    int failures;
  } cases[] = {
      {"wrong digest", [](SelfTestOps* o) { o->sha256 = sha256_wrong; },
       {"FAIL sha256", "ok x25519", "ok aead", "ok aead tamper", "ok random"}, 1},
      {"x25519 returns -1", [](SelfTestOps* o) { o->x25519 = x25519_minus_one; },
       {"ok sha256", "FAIL x25519", "ok aead", "ok aead tamper", "ok random"}, 1},
      {"x25519 wrong output", [](SelfTestOps* o) { o->x25519 = x25519_wrong_output; },
       {"ok sha256", "FAIL x25519", "ok aead", "ok aead tamper", "ok random"}, 1},
      {"open skips the tag", [](SelfTestOps* o) { o->aead_open = open_unverified; },
       {"ok sha256", "ok x25519", "ok aead", "FAIL aead tamper", "ok random"}, 1},
      {"open refuses everything", [](SelfTestOps* o) { o->aead_open = open_refuses; },
       {"ok sha256", "ok x25519", "FAIL aead", "ok aead tamper", "ok random"}, 1},
      {"seal under the wrong nonce", [](SelfTestOps* o) { o->aead_seal = seal_wrong_nonce; },
       {"ok sha256", "ok x25519", "FAIL aead", "ok aead tamper", "ok random"}, 1},
      {"no random bytes", [](SelfTestOps* o) { o->random_bytes = random_unavailable; },
       {"ok sha256", "ok x25519", "ok aead", "ok aead tamper", "FAIL random"}, 1},
      {"everything broken",
       [](SelfTestOps* o) {
         *o = SelfTestOps{sha256_wrong, x25519_minus_one, aead_seal, open_refuses,
                          random_unavailable};
       },
       {"FAIL sha256", "FAIL x25519", "FAIL aead", "ok aead tamper", "FAIL random"}, 4},
  };
  for (const Case& c : cases) {
    SelfTestOps ops = self_test_real_ops();
    c.broken(&ops);
    EXPECT_EQ(run_with(ops), 1) << c.what;
    ASSERT_EQ(g_lines.size(), 8u) << c.what;
    EXPECT_EQ(std::vector<std::string>(g_lines.begin(), g_lines.begin() + 5), c.checks)
        << c.what;
    // The informational lines follow whatever failed before.
    EXPECT_EQ(g_lines[5].rfind("info ipv4 count=", 0), 0u) << c.what;
    EXPECT_EQ(g_lines[6], os_line()) << c.what;
    EXPECT_EQ(g_lines[7], "SELFTEST FAILED (" + std::to_string(c.failures) + " failures)")
        << c.what;
  }
}

}  // namespace
