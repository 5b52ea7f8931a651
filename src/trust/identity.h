#pragma once
// The agent's long-term X25519 key pair and the short device id derived from a public key.
// The private key lives in identity.key in the data directory: 64 lower-case hex digits and
// a line feed. The key is loaded once at start-up on the main thread; afterwards the values
// are read-only and may be read from any thread without a lock.
#include <cstdint>

// Length of identity.key as the agent writes it: 64 hex digits and a line feed.
constexpr int kIdentityFileLen = 65;
// The most of identity.key that is ever read; anything after the 64th digit is ignored.
constexpr int kIdentityReadLimit = 256;

struct DeviceIdentity {
  uint8_t private_key[32];  // raw random scalar exactly as stored, not clamped
  uint8_t public_key[32];   // X25519(private_key, 9)
  char device_id[17];       // 16 lower-case hex characters and a NUL
};

// Reads the key from the first 64 characters of the file at path (digits in either case,
// anything after them ignored; a good file is never rewritten). A missing, short or
// malformed file is silently replaced by a fresh random key written atomically through
// "<path>.tmp". 0 and both keys on success; -1 when no random bytes could be had or the new
// file could not be written, with both outputs zeroed.
int identity_load_or_create(const char* path, uint8_t private_key_out[32],
                            uint8_t public_key_out[32]);

// The device id of a public key: the first 8 bytes of its SHA-256 as 16 lower-case hex
// characters and a NUL. Used for the agent itself and for every peer alike.
void device_id_from_public_key(const uint8_t public_key[32], char id_out[17]);
