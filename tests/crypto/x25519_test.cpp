#include <cstring>

#include "crypto/x25519.h"
#include "crypto_test_util.h"
#include "support/testdata.h"

namespace {

// Every case runs on the portable ladder and on the one this CPU gets.
class X25519 : public BothPaths {};
INSTANTIATE_BOTH_PATHS(X25519);

std::string dh_hex(const Bytes& scalar, const Bytes& u, int* result = nullptr) {
  uint8_t out[32];
  int r = x25519(out, scalar.data(), u.data());
  if (result) *result = r;
  return hex(out, 32);
}

TEST_P(X25519, Rfc7748Vectors) {
  struct Case {
    const char* scalar;
    const char* u;
    const char* out;
  } cases[] = {
      {"a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4",
       "e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c",
       "c3da55379de9c6908e94ea4df28d084f32eccf03491c71f754b4075577a28552"},
      {"4b66e9d4d1b4673c5ad22691957d6af5c11b6421e0ea01d42ca4169e7918ba0d",
       "e5210f12786811d3f4b7959d0538ae2c31dbe7106fc03c3efc4cd549c715a493",
       "95cbde9476e8907d7aade45cb4b873f88b595a68799fa152e6f8f7647aac7957"},
  };
  for (const Case& c : cases) {
    int r = 1;
    EXPECT_EQ(dh_hex(unhex(c.scalar), unhex(c.u), &r), c.out);
    EXPECT_EQ(r, 0);
  }
}

// k = u = 9; each round k, u = X25519(k, u), k.
TEST_P(X25519, Rfc7748IteratedThousandTimes) {
  uint8_t k[32] = {9}, u[32] = {9}, next[32];
  for (int i = 1; i <= 1000; i++) {
    ASSERT_EQ(x25519(next, k, u), 0) << "round " << i;
    memcpy(u, k, 32);
    memcpy(k, next, 32);
    if (i == 1) {
      EXPECT_EQ(hex(k, 32), "422c8e7a6227d7bca1350b3e2bb7279f7897b87bb6854b783c60e80311ae3079");
    }
  }
  EXPECT_EQ(hex(k, 32), "684cf59ba83309552800ef566f2f4d3c1c3887c49360e3875f2eb94d99532c51");
}

TEST_P(X25519, Rfc7748KeyAgreement) {
  Bytes alice = unhex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  Bytes bob = unhex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
  uint8_t alice_pub[32], bob_pub[32], k1[32], k2[32];
  ASSERT_EQ(x25519_base(alice_pub, alice.data()), 0);
  ASSERT_EQ(x25519_base(bob_pub, bob.data()), 0);
  EXPECT_EQ(hex(alice_pub, 32),
            "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  EXPECT_EQ(hex(bob_pub, 32), "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
  ASSERT_EQ(x25519(k1, alice.data(), bob_pub), 0);
  ASSERT_EQ(x25519(k2, bob.data(), alice_pub), 0);
  EXPECT_EQ(hex(k1, 32), "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
  EXPECT_EQ(hex(k2, 32), hex(k1, 32));
}

// Inputs that must give the same output as a reference input: the ignored top bit of u, the
// clamped scalar bits, and a non-canonical u.
TEST_P(X25519, EquivalentInputs) {
  const Bytes scalar = unhex("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4");
  const Bytes u = unhex("e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c");
  const std::string reference = dh_hex(scalar, u);

  Bytes u_top = u;
  u_top[31] ^= 0x80;
  EXPECT_EQ(dh_hex(scalar, u_top), reference) << "bit 255 of u";

  for (uint8_t low : {0x01, 0x02, 0x04, 0x07}) {
    Bytes s = scalar;
    s[0] ^= low;
    EXPECT_EQ(dh_hex(s, u), reference) << "low scalar bits " << int(low);
  }
  for (uint8_t high : {0x40, 0x80, 0xc0}) {
    Bytes s = scalar;
    s[31] ^= high;
    EXPECT_EQ(dh_hex(s, u), reference) << "high scalar bits " << int(high);
  }

  // p + 9 = 2^255 - 10: bytes f6 ff .. ff 7f.
  Bytes p_plus_9(32, 0xff);
  p_plus_9[0] = 0xf6;
  p_plus_9[31] = 0x7f;
  Bytes nine(32, 0);
  nine[0] = 9;
  EXPECT_EQ(dh_hex(scalar, p_plus_9), dh_hex(scalar, nine)) << "non-canonical u";
  uint8_t base[32];
  x25519_base(base, scalar.data());
  EXPECT_EQ(hex(base, 32), dh_hex(scalar, nine)) << "x25519_base is u = 9";
}

TEST_P(X25519, ScalarIsNotModified) {
  Bytes scalar(32, 0xff);  // every clamped bit set
  Bytes copy = scalar;
  Bytes u = unhex("e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c");
  uint8_t out[32];
  x25519(out, scalar.data(), u.data());
  x25519_base(out, scalar.data());
  EXPECT_EQ(hex(scalar), hex(copy));
}

TEST_P(X25519, LowOrderInputsGiveAllZerosAndMinusOne) {
  const Bytes scalar = unhex("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4");
  Bytes zero(32, 0), one(32, 0);
  one[0] = 1;
  for (const Bytes& u : {zero, one}) {
    uint8_t out[32];
    memset(out, 0xaa, 32);
    EXPECT_EQ(x25519(out, scalar.data(), u.data()), -1) << hex(u);
    EXPECT_EQ(hex(out, 32), std::string(64, '0')) << "out is written even on -1";
  }
}

TEST_P(X25519, Wycheproof) {
  FL_REQUIRE_TESTDATA();
  JsonValue doc;
  std::string err;
  ASSERT_TRUE(json_load_file(testdata_dir() + "/wycheproof/x25519_test.json", &doc, &err)) << err;
  int checked = 0;
  for (const JsonValue& group : doc["testGroups"].items()) {
    for (const JsonValue& t : group["tests"].items()) {
      Bytes priv = unhex(t["private"].as_string()), pub = unhex(t["public"].as_string());
      Bytes shared = unhex(t["shared"].as_string());
      ASSERT_EQ(priv.size(), 32u);
      ASSERT_EQ(pub.size(), 32u);
      bool all_zero = shared == Bytes(32, 0);
      int r = 7;
      EXPECT_EQ(dh_hex(priv, pub, &r), hex(shared)) << "tcId " << t["tcId"].as_int();
      EXPECT_EQ(r, all_zero ? -1 : 0) << "tcId " << t["tcId"].as_int();
      checked++;
    }
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
