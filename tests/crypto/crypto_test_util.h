#pragma once
// Helpers shared by the crypto tests: hex fixtures and a fixture that runs a test once on the
// CPU-specific kernels and once on the portable code.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/cpu.h"
#include "support/json_lite.h"

typedef std::vector<uint8_t> Bytes;

// Hex fixture text to bytes; spaces and colons are ignored so that vectors can be pasted in
// the layout their documents use.
inline Bytes unhex(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != ':' && c != '\n') digits.push_back(c);
  Bytes out;
  EXPECT_TRUE(hex_decode(digits, &out)) << "bad hex fixture: " << text;
  return out;
}

inline std::string hex(const uint8_t* p, size_t n) { return hex_encode(p, n); }
inline std::string hex(const Bytes& b) { return hex_encode(b.data(), b.size()); }

inline Bytes text_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic filler so failures reproduce.
inline Bytes pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; i++) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b[i] = uint8_t(x >> 24);
  }
  return b;
}

// Parameter true = portable code forced.
class BothPaths : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { crypto_force_portable(GetParam()); }
  void TearDown() override { crypto_force_portable(false); }
};

#define INSTANTIATE_BOTH_PATHS(Fixture)                                     \
  INSTANTIATE_TEST_SUITE_P(Paths, Fixture, ::testing::Values(false, true), \
                           [](const ::testing::TestParamInfo<bool>& info) { \
                             return info.param ? "portable" : "accelerated"; \
                           })
