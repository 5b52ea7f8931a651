// identity.key as anyone with access to the data folder may leave it. A file that starts
// with 64 hex digits is the key and stays untouched; anything else is replaced by a fresh
// key in the agent's own 65-byte form. Either way the public key belongs to the private one.

#include <cstring>

#include "crypto/x25519.h"
#include "support/check.h"
#include "support/scratch.h"
#include "trust/hex.h"
#include "trust/identity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scratch_clear();
  std::string path = scratch_write("identity.key", data, size);
  uint8_t priv[32], pub[32];
  FUZZ_CHECK(identity_load_or_create(path.c_str(), priv, pub) == 0);

  uint8_t expected_pub[32];
  FUZZ_CHECK(x25519_base(expected_pub, priv) == 0);
  FUZZ_CHECK(std::memcmp(pub, expected_pub, 32) == 0);

  std::vector<unsigned char> after = scratch_read(path);
  // Only the first 256 bytes are read, and the key text ends at a NUL.
  size_t seen = size < size_t(kIdentityReadLimit) ? size : size_t(kIdentityReadLimit);
  std::string text(reinterpret_cast<const char*>(data), seen);
  text = text.substr(0, text.find('\0'));
  uint8_t from_file[32];
  bool good = text.size() >= 64 && hex_decode(text.c_str(), from_file, 32) == 0;
  if (good) {
    FUZZ_CHECK(std::memcmp(priv, from_file, 32) == 0);
    FUZZ_CHECK(after.size() == size && std::memcmp(after.data(), data, size) == 0);
    return 0;
  }
  char hex[65];
  hex_encode(priv, 32, hex);
  FUZZ_CHECK(after.size() == size_t(kIdentityFileLen));
  FUZZ_CHECK(std::memcmp(after.data(), hex, 64) == 0 && after[64] == '\n');
  return 0;
}
