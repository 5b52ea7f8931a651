#include "trust/identity.h"

#include <cstdlib>
#include <cstring>

#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "platform/fs.h"
#include "platform/sync.h"
#include "trust/hex.h"

namespace {

// Clears secret bytes in a way the compiler may not drop as a dead store.
void wipe(void* p, size_t n) {
  volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
  for (size_t i = 0; i < n; i++) b[i] = 0;
}

// 0 and the private key when the file holds 64 hex digits at its start.
int read_key_file(const char* path, uint8_t private_key[32]) {
  size_t len = 0;
  char* text = fs_read_whole_file(path, kIdentityReadLimit, &len);
  if (!text) return -1;
  // The text counts only up to its first NUL; hex_decode stops at a NUL, so a short text or
  // one with a NUL among the 64 digits fails here without reading past the buffer.
  int rc = hex_decode(text, private_key, 32);
  wipe(text, len);
  free(text);
  return rc;
}

// A fresh random key, stored atomically: either the old file or the complete new one.
int create_key_file(const char* path, uint8_t private_key[32]) {
  if (random_bytes(private_key, 32) != 0) return -1;
  char text[kIdentityFileLen + 1];
  hex_encode(private_key, 32, text);
  text[64] = '\n';
  int rc = fs_write_atomic_private(path, text, kIdentityFileLen);
  wipe(text, sizeof text);
  return rc;
}

}  // namespace

int identity_load_or_create(const char* path, uint8_t private_key_out[32],
                            uint8_t public_key_out[32]) {
  uint8_t key[32];
  int rc = read_key_file(path, key);
  if (rc != 0) rc = create_key_file(path, key);
  // The base point has prime order, so a clamped scalar never gives the all-zero output;
  // the check only guards against a broken primitive.
  if (rc == 0 && x25519_base(public_key_out, key) != 0) rc = -1;
  if (rc == 0) {
    memcpy(private_key_out, key, 32);
  } else {
    memset(private_key_out, 0, 32);
    memset(public_key_out, 0, 32);
  }
  wipe(key, sizeof key);
  return rc;
}

void device_id_from_public_key(const uint8_t public_key[32], char id_out[17]) {
  uint8_t digest[32];
  sha256(public_key, 32, digest);
  hex_encode(digest, 8, id_out);
}
