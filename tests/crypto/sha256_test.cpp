#include <cstring>

#include "crypto/sha256.h"
#include "crypto_test_util.h"
#include "support/testdata.h"

namespace {

std::string sha_hex(const Bytes& msg) {
  uint8_t out[32];
  sha256(msg.data(), msg.size(), out);
  return hex(out, 32);
}

std::string sha_streamed_hex(const Bytes& msg, size_t piece) {
  Sha256Ctx ctx;
  sha256_init(&ctx);
  for (size_t off = 0; off < msg.size(); off += piece) {
    size_t n = std::min(piece, msg.size() - off);
    sha256_update(&ctx, msg.data() + off, uint32_t(n));
  }
  uint8_t out[32];
  sha256_final(&ctx, out);
  return hex(out, 32);
}

class Sha256 : public BothPaths {};
INSTANTIATE_BOTH_PATHS(Sha256);

TEST_P(Sha256, PublishedExamples) {
  struct Case {
    std::string msg;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 448 bits: the length field no longer fits, padding takes a second block.
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopq"
       "rlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sha_hex(text_bytes(c.msg)), c.digest) << "message \"" << c.msg << "\"";
    EXPECT_EQ(sha_streamed_hex(text_bytes(c.msg), 1), c.digest) << "byte by byte: " << c.msg;
  }
}

TEST_P(Sha256, OneMillionA) {
  Bytes msg(1000000, 'a');
  const char* expected = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  EXPECT_EQ(sha_hex(msg), expected);
  EXPECT_EQ(sha_streamed_hex(msg, 65536), expected);
  EXPECT_EQ(sha_streamed_hex(msg, 1000), expected);
}

// Pieces that end inside a block, exactly on one and just past one, over messages that hit
// both padding cases (55/56 and 63/64 bytes of tail).
TEST_P(Sha256, StreamingInAnyPiecesEqualsOneShot) {
  const size_t pieces[] = {1, 7, 55, 56, 63, 64, 65, 127, 128, 4096};
  const size_t lengths[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000, 4097};
  for (size_t len : lengths) {
    Bytes msg = pattern(len, uint32_t(len));
    std::string whole = sha_hex(msg);
    for (size_t piece : pieces)
      EXPECT_EQ(sha_streamed_hex(msg, piece), whole) << "len " << len << " piece " << piece;
  }
}

TEST_P(Sha256, EmptyUpdatesChangeNothing) {
  Bytes msg = pattern(130, 5);
  Sha256Ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, nullptr, 0);
  sha256_update(&ctx, msg.data(), 60);
  sha256_update(&ctx, msg.data() + 60, 0);
  sha256_update(&ctx, msg.data() + 60, 70);
  sha256_update(&ctx, nullptr, 0);
  EXPECT_EQ(ctx.total_len, 130u);
  EXPECT_EQ(ctx.block_len, 2u);
  uint8_t out[32];
  sha256_final(&ctx, out);
  EXPECT_EQ(hex(out, 32), sha_hex(msg));
}

TEST_P(Sha256, OneShotMayWriteOverItsInput) {
  Bytes buf = pattern(32, 9);
  std::string expected = sha_hex(buf);
  sha256(buf.data(), 32, buf.data());
  EXPECT_EQ(hex(buf), expected);
}

// RFC 4231, HMAC-SHA-256 column. Case 5 is a tag truncated to 128 bits.
TEST_P(Sha256, HmacRfc4231) {
  struct Case {
    Bytes key;
    Bytes msg;
    const char* tag;
  } cases[] = {
      {Bytes(20, 0x0b), text_bytes("Hi There"),
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {text_bytes("Jefe"), text_bytes("what do ya want for nothing?"),
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {Bytes(20, 0xaa), Bytes(50, 0xdd),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {unhex("0102030405060708090a0b0c0d0e0f10111213141516171819"), Bytes(50, 0xcd),
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {Bytes(20, 0x0c), text_bytes("Test With Truncation"), "a3b6167473100ee06e0c796c2955552b"},
      {Bytes(131, 0xaa), text_bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {Bytes(131, 0xaa),
       text_bytes("This is a test using a larger than block-size key and a larger than "
                  "block-size data. The key needs to be hashed before being used by the HMAC "
                  "algorithm."),
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  int n = 1;
  for (const Case& c : cases) {
    uint8_t out[32];
    hmac_sha256(c.key.data(), c.key.size(), c.msg.data(), c.msg.size(), out);
    std::string tag = c.tag;
    EXPECT_EQ(hex(out, 32).substr(0, tag.size()), tag) << "test case " << n;
    n++;
  }
}

// A key of exactly one block is used as it is; one byte more and it is hashed first.
TEST_P(Sha256, HmacKeyLengthAroundTheBlockSize) {
  Bytes msg = text_bytes("message");
  for (size_t key_len : {63u, 64u, 65u}) {
    Bytes key = pattern(key_len, uint32_t(key_len));
    uint8_t out[32];
    hmac_sha256(key.data(), key.size(), msg.data(), msg.size(), out);
    // The hashed-key rule: HMAC(K) == HMAC(SHA-256(K)) for keys over 64 bytes only.
    uint8_t hashed_key[32], via_hash[32];
    sha256(key.data(), key.size(), hashed_key);
    hmac_sha256(hashed_key, 32, msg.data(), msg.size(), via_hash);
    if (key_len > 64) {
      EXPECT_EQ(hex(out, 32), hex(via_hash, 32)) << key_len;
    } else {
      EXPECT_NE(hex(out, 32), hex(via_hash, 32)) << key_len;
    }
  }
}

TEST_P(Sha256, HmacOutputMayOverwriteKeyOrMessage) {
  Bytes key = pattern(32, 1), msg = pattern(32, 2);
  uint8_t expected[32];
  hmac_sha256(key.data(), 32, msg.data(), 32, expected);
  Bytes k2 = key;
  hmac_sha256(k2.data(), 32, msg.data(), 32, k2.data());
  EXPECT_EQ(hex(k2), hex(expected, 32));
  Bytes m2 = msg;
  hmac_sha256(key.data(), 32, m2.data(), 32, m2.data());
  EXPECT_EQ(hex(m2), hex(expected, 32));
}

// RFC 5869 test case 3 (no salt = 32 zero bytes, no info, L = 42): out1 is OKM[0..32),
// out2 starts with OKM[32..42).
TEST_P(Sha256, Hkdf2MatchesRfc5869) {
  uint8_t ck[32] = {};
  Bytes ikm(22, 0x0b);
  uint8_t out1[32], out2[32];
  hkdf2(ck, ikm.data(), ikm.size(), out1, out2);
  EXPECT_EQ(hex(out1, 32), "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d");
  EXPECT_EQ(hex(out2, 10), "9d201395faa4b61a96c8");
}

// The handshake writes the new chaining key over the old one: out1 may be chaining_key.
TEST_P(Sha256, Hkdf2OutputMayReplaceTheChainingKey) {
  for (size_t ikm_len : {0u, 32u}) {
    Bytes ck = pattern(32, 11), ikm = pattern(ikm_len, 12);
    uint8_t e1[32], e2[32];
    hkdf2(ck.data(), ikm.data(), ikm_len, e1, e2);
    uint8_t out2[32];
    hkdf2(ck.data(), ikm_len ? ikm.data() : nullptr, ikm_len, ck.data(), out2);
    EXPECT_EQ(hex(ck), hex(e1, 32)) << ikm_len;
    EXPECT_EQ(hex(out2, 32), hex(e2, 32)) << ikm_len;
    EXPECT_NE(hex(e1, 32), hex(e2, 32)) << ikm_len;
  }
}

TEST_P(Sha256, WycheproofHmac) {
  FL_REQUIRE_TESTDATA();
  JsonValue doc;
  std::string err;
  ASSERT_TRUE(json_load_file(testdata_dir() + "/wycheproof/hmac_sha256_test.json", &doc, &err))
      << err;
  int checked = 0;
  for (const JsonValue& group : doc["testGroups"].items()) {
    size_t tag_bytes = size_t(group["tagSize"].as_int() / 8);
    for (const JsonValue& t : group["tests"].items()) {
      Bytes key = unhex(t["key"].as_string()), msg = unhex(t["msg"].as_string());
      Bytes tag = unhex(t["tag"].as_string());
      uint8_t out[32];
      hmac_sha256(key.data(), key.size(), msg.data(), msg.size(), out);
      bool same = tag.size() == tag_bytes && memcmp(out, tag.data(), tag_bytes) == 0;
      EXPECT_EQ(same, t["result"].as_string() == "valid")
          << "tcId " << t["tcId"].as_int() << " " << t["comment"].as_string();
      checked++;
    }
  }
  EXPECT_GT(checked, 0) << "the vector file held no cases";
}

// hkdf2 fixes info empty and a 32-byte salt; HMAC pads keys with zeros, so any salt of at most
// 32 bytes is the same as that salt padded to 32.
TEST_P(Sha256, WycheproofHkdfCasesThatFit) {
  FL_REQUIRE_TESTDATA();
  JsonValue doc;
  std::string err;
  ASSERT_TRUE(json_load_file(testdata_dir() + "/wycheproof/hkdf_sha256_test.json", &doc, &err))
      << err;
  int checked = 0;
  for (const JsonValue& group : doc["testGroups"].items()) {
    for (const JsonValue& t : group["tests"].items()) {
      Bytes salt = unhex(t["salt"].as_string()), okm = unhex(t["okm"].as_string());
      if (!t["info"].as_string().empty() || salt.size() > 32 || okm.size() > 64) continue;
      if (t["result"].as_string() != "valid") continue;
      uint8_t ck[32] = {};
      if (!salt.empty()) memcpy(ck, salt.data(), salt.size());
      Bytes ikm = unhex(t["ikm"].as_string());
      uint8_t out[64];
      hkdf2(ck, ikm.data(), ikm.size(), out, out + 32);
      EXPECT_EQ(hex(out, okm.size()), hex(okm)) << "tcId " << t["tcId"].as_int();
      checked++;
    }
  }
  EXPECT_GT(checked, 0) << "no case fitted";
}

}  // namespace
