#pragma once
// The phones that completed pairing, keyed by their 32-byte X25519 static public key. The
// store lives in memory for the life of the process and, when opened with a path, is written
// back in full to that file (trust.txt) after every change. Every operation but open and
// close holds the store's one lock from start to end, the file write of a save included, so
// connection workers may call them at the same time.
//
// trust.txt holds one line per record in record order, "%s\t%d\t%llu\t%s\n": the key as 64
// lower-case hex digits, the accept flag, the time of first addition in Unix milliseconds,
// and the name with every TAB, LF and CR replaced by a space. No records: an empty file.
#include <cstddef>
#include <cstdint>

struct Lock;

constexpr int kTrustCapacity = 256;
constexpr size_t kTrustPathCap = 1024;          // path of trust.txt: at most 1023 bytes
constexpr size_t kTrustLoadLimit = 1048576;     // only the first 1 MiB of the file is read

struct TrustRecord {
  uint8_t public_key[32];
  char name[64];      // at most 63 bytes and a NUL, bytes as received (UTF-8)
  uint64_t added_ms;  // Unix milliseconds of the first addition; an update keeps it
  int32_t accept_flag;
};

// Use only through the functions below, which take the lock.
struct TrustStore {
  char path[kTrustPathCap];
  bool autosave;  // opened with a path: every change is saved
  TrustRecord records[kTrustCapacity];  // in order of first addition
  int count;
  Lock* lock;
};

// An empty store with its lock, or null when memory runs out. With a path the store loads
// that file (a missing or unreadable file gives an empty store) and saves every change to
// it. Without a path (null) it lives in memory only. A path of 1024 bytes or more is never
// cut to a different file name: such a store neither loads nor saves.
TrustStore* trust_store_open(const char* path);
// Destroys the lock and frees the store; nothing is saved. Null allowed.
void trust_store_close(TrustStore* store);

// Whether some record has this key.
bool trust_store_contains(TrustStore* store, const uint8_t public_key[32]);
// Like contains; when found and record_out is given, copies the first matching record to it.
bool trust_store_find(TrustStore* store, const uint8_t public_key[32], TrustRecord* record_out);
// Adds a record, or updates name (cut to 63 bytes; null is the empty name) and flag of the
// first record with this key in place, keeping its time and position. A full store takes no
// new key and says nothing. Saves afterwards in every case when autosave is on.
void trust_store_put(TrustStore* store, const uint8_t public_key[32], const char* name,
                     int32_t accept_flag);
// Removes the first record with this key, keeping the order of the others, and saves. Does
// nothing when no record matches.
void trust_store_remove(TrustStore* store, const uint8_t public_key[32]);
int trust_store_count(TrustStore* store);
// Copies record index when 0 <= index < count; false otherwise.
bool trust_store_get(TrustStore* store, int index, TrustRecord* record_out);
