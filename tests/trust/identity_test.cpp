// Identity key file, device id and the hex codec.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/x25519.h"
#include "platform/fs.h"
#include "support/temp_dir.h"
#include "trust/hex.h"
#include "trust/identity.h"

namespace {

// RFC 7748 section 6.1: Alice's private and public key.
const char kAlicePrivate[] = "77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a";
const char kAlicePublic[] = "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a";
// First 8 bytes of SHA-256 of Alice's public key, computed independently.
const char kAliceDeviceId[] = "300c9c9603b92a4b";

std::string hex_of(const uint8_t* b, size_t n) {
  std::vector<char> out(2 * n + 1);
  hex_encode(b, n, out.data());
  return out.data();
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

bool is_lower_hex(const std::string& s) {
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A file the agent wrote: 64 lower-case hex digits of the key and a LF, nothing else.
void expect_written_key_file(const std::string& content, const uint8_t private_key[32]) {
  ASSERT_EQ(content.size(), 65u);
  EXPECT_EQ(content.substr(0, 64), hex_of(private_key, 32));
  EXPECT_EQ(content[64], '\n');
}

void expect_public_matches(const uint8_t private_key[32], const uint8_t public_key[32]) {
  uint8_t expected[32];
  ASSERT_EQ(x25519_base(expected, private_key), 0);
  EXPECT_EQ(hex_of(public_key, 32), hex_of(expected, 32));
}

TEST(Hex, EncodeAndDecode) {
  const uint8_t bytes[] = {0x00, 0xAB};
  char text[5];
  hex_encode(bytes, 2, text);
  EXPECT_STREQ(text, "00ab");

  uint8_t out[2] = {0x55, 0x55};
  ASSERT_EQ(hex_decode("00AB", out, 2), 0);
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0xAB);
  ASSERT_EQ(hex_decode("fF9a", out, 2), 0);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0x9A);

  char empty[1] = {'x'};
  hex_encode(bytes, 0, empty);
  EXPECT_EQ(empty[0], '\0');
  EXPECT_EQ(hex_decode("", out, 0), 0);
}

TEST(Hex, EveryByteRoundTrips) {
  uint8_t all[256];
  for (int i = 0; i < 256; i++) all[i] = static_cast<uint8_t>(i);
  std::string text = hex_of(all, 256);
  ASSERT_EQ(text.size(), 512u);
  EXPECT_TRUE(is_lower_hex(text));
  uint8_t back[256];
  ASSERT_EQ(hex_decode(upper(text).c_str(), back, 256), 0);
  EXPECT_EQ(memcmp(all, back, 256), 0);
}

TEST(Hex, DecodeStopsAtTheFirstNonDigit) {
  struct Case {
    const char* text;
    size_t n;
    size_t good_bytes;  // bytes written before the failing character
  };
  const Case cases[] = {
      {"0g", 1, 0},      // bad low digit
      {"g0", 1, 0},      // bad high digit
      {"0102 3", 3, 2},  // a blank
      {"01", 2, 1},      // text ends (NUL) inside the 2n characters
      {"", 1, 0},        // empty text
      {"1:", 1, 0},      // ':' follows '9' in ASCII
      {"@A", 1, 0},      // '@' precedes 'A'
      {"`a", 1, 0},      // '`' precedes 'a'
      {"Ga", 1, 0},      // 'G' follows 'F'
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(hex_decode(c.text, out, c.n), -1);
    for (size_t i = 0; i < c.good_bytes; i++) EXPECT_EQ(out[i], i + 1);
    EXPECT_EQ(out[c.good_bytes], 0xEE);
  }
}

TEST(DeviceId, IsTheFirstEightBytesOfTheKeysSha256) {
  uint8_t pub[32];
  ASSERT_EQ(hex_decode(kAlicePublic, pub, 32), 0);
  char id[17];
  memset(id, 'x', sizeof id);
  device_id_from_public_key(pub, id);
  EXPECT_STREQ(id, kAliceDeviceId);

  // Another key gives another id, still 16 lower-case digits.
  pub[31] ^= 1;
  device_id_from_public_key(pub, id);
  EXPECT_EQ(strlen(id), 16u);
  EXPECT_TRUE(is_lower_hex(id));
  EXPECT_STRNE(id, kAliceDeviceId);
}

TEST(Identity, CreatesAKeyFileAndReadsItBackOnTheNextStart) {
  TempDir dir;
  std::string path = dir.file("identity.key");
  uint8_t priv[32], pub[32];
  ASSERT_EQ(identity_load_or_create(path.c_str(), priv, pub), 0);
  std::string written = read_file(path);
  expect_written_key_file(written, priv);
  expect_public_matches(priv, pub);

  uint8_t priv2[32], pub2[32];
  ASSERT_EQ(identity_load_or_create(path.c_str(), priv2, pub2), 0);
  EXPECT_EQ(memcmp(priv, priv2, 32), 0);
  EXPECT_EQ(memcmp(pub, pub2, 32), 0);
  EXPECT_EQ(read_file(path), written);

  char id[17], id2[17];
  device_id_from_public_key(pub, id);
  device_id_from_public_key(pub2, id2);
  EXPECT_STREQ(id, id2);
}

TEST(Identity, TwoFreshKeysDiffer) {
  TempDir dir;
  uint8_t a[32], b[32], pub[32];
  ASSERT_EQ(identity_load_or_create(dir.file("a.key").c_str(), a, pub), 0);
  ASSERT_EQ(identity_load_or_create(dir.file("b.key").c_str(), b, pub), 0);
  EXPECT_NE(memcmp(a, b, 32), 0);
}

TEST(Identity, TolerantReadingKeepsTheFileAsItIs) {
  const std::string alice = kAlicePrivate;
  const std::string cases[] = {
      alice + "\n",
      upper(alice) + "\r\n",
      alice,                                // no line ending
      alice + " trailing text\n",           // anything after the 64 digits
      alice + std::string(236, 'z'),        // 300 bytes; only the first 256 are read
      upper(alice.substr(0, 32)) + alice.substr(32) + "\n",  // mixed case
  };
  for (const std::string& content : cases) {
    SCOPED_TRACE(content);
    TempDir dir;
    std::string path = dir.file("identity.key");
    ASSERT_TRUE(write_file(path, content));
    uint8_t priv[32], pub[32];
    ASSERT_EQ(identity_load_or_create(path.c_str(), priv, pub), 0);
    EXPECT_EQ(hex_of(priv, 32), alice);
    EXPECT_EQ(hex_of(pub, 32), kAlicePublic);
    EXPECT_EQ(read_file(path), content);  // not rewritten
    EXPECT_FALSE(fs_exists((path + ".tmp").c_str()));
    char id[17];
    device_id_from_public_key(pub, id);
    EXPECT_STREQ(id, kAliceDeviceId);
  }
}

TEST(Identity, ABadFileIsSilentlyReplacedByAFreshKey) {
  const std::string alice = kAlicePrivate;
  std::string with_g = alice;
  with_g[10] = 'g';
  std::string with_nul = alice;
  with_nul[30] = '\0';
  std::string last_bad = alice;
  last_bad[63] = 'x';
  const std::string cases[] = {
      alice.substr(0, 63) + "\n",  // 63 digits
      alice.substr(0, 63),         // 63 digits, nothing else
      with_g + "\n",
      with_nul + "\n",
      last_bad + "\n",
      std::string(1, ' ') + alice,  // a leading blank shifts the digits
      "",
  };
  for (const std::string& content : cases) {
    SCOPED_TRACE(testing::PrintToString(content));
    TempDir dir;
    std::string path = dir.file("identity.key");
    ASSERT_TRUE(write_file(path, content));
    uint8_t priv[32], pub[32];
    ASSERT_EQ(identity_load_or_create(path.c_str(), priv, pub), 0);
    expect_written_key_file(read_file(path), priv);
    expect_public_matches(priv, pub);
    EXPECT_NE(hex_of(priv, 32), alice);
  }
}

TEST(Identity, AStaleTempFileNeverLeavesATruncatedKey) {
  const std::string alice = kAlicePrivate;
  // A crash during an earlier write left a partial temporary file; nothing else exists.
  {
    TempDir dir;
    std::string path = dir.file("identity.key");
    ASSERT_TRUE(write_file(path + ".tmp", alice.substr(0, 20)));
    uint8_t priv[32], pub[32];
    ASSERT_EQ(identity_load_or_create(path.c_str(), priv, pub), 0);
    expect_written_key_file(read_file(path), priv);
    EXPECT_NE(hex_of(priv, 32).substr(0, 20), alice.substr(0, 20));
  }
  // A good key file next to a stale temporary file with another key: the key file counts.
  {
    TempDir dir;
    std::string path = dir.file("identity.key");
    ASSERT_TRUE(write_file(path, alice + "\n"));
    ASSERT_TRUE(write_file(path + ".tmp", std::string(64, 'b') + "\n"));
    uint8_t priv[32], pub[32];
    ASSERT_EQ(identity_load_or_create(path.c_str(), priv, pub), 0);
    EXPECT_EQ(hex_of(priv, 32), alice);
    EXPECT_EQ(read_file(path), alice + "\n");
  }
}

TEST(Identity, FailsWhenTheNewKeyCannotBeStored) {
  // The temporary name is taken by a folder: the write fails, and the old file stays whole.
  {
    TempDir dir;
    std::string path = dir.file("identity.key");
    const std::string bad = "0123456789 not a key\n";
    ASSERT_TRUE(write_file(path, bad));
    ASSERT_EQ(fs_make_dirs((path + ".tmp").c_str()), 0);
    uint8_t priv[32], pub[32];
    memset(priv, 0x77, 32);
    memset(pub, 0x77, 32);
    EXPECT_EQ(identity_load_or_create(path.c_str(), priv, pub), -1);
    EXPECT_EQ(read_file(path), bad);
    const uint8_t zero[32] = {};
    EXPECT_EQ(memcmp(priv, zero, 32), 0);
    EXPECT_EQ(memcmp(pub, zero, 32), 0);
  }
  // The folder does not exist.
  {
    TempDir dir;
    std::string path = dir.file("missing/identity.key");
    uint8_t priv[32], pub[32];
    EXPECT_EQ(identity_load_or_create(path.c_str(), priv, pub), -1);
    EXPECT_FALSE(fs_exists(path.c_str()));
  }
}

}  // namespace
