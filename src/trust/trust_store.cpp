#include "trust/trust_store.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
#include "platform/sync.h"
#include "trust/hex.h"

namespace {

// A saved line is at most 64 + 1 + 11 + 1 + 20 + 1 + 63 + 1 = 162 bytes.
constexpr size_t kSaveBytesPerRecord = 200;
constexpr size_t kNameMax = sizeof(TrustRecord{}.name) - 1;

// Index of the first record with this key, or -1. Lock held.
int index_of(const TrustStore* store, const uint8_t public_key[32]) {
  for (int i = 0; i < store->count; i++) {
    if (memcmp(store->records[i].public_key, public_key, 32) == 0) return i;
  }
  return -1;
}

void copy_name(char dst[64], const char* name, size_t len) {
  if (len > kNameMax) len = kNameMax;
  memcpy(dst, name, len);
  dst[len] = '\0';
}

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The signed decimal at the start of [p, end): blanks and a sign allowed, stops at the first
// non-digit, 0 without digits. Saturates at the 32-bit range rather than wrapping.
int32_t parse_int32(const char* p, const char* end) {
  while (p < end && is_blank(*p)) p++;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
  int64_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; p++) {
    value = value * 10 + (*p - '0');
    if (value > INT64_C(2147483648)) value = INT64_C(2147483648);
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

// The unsigned decimal at the start of [p, end): blanks and a '+' allowed, stops at the first
// non-digit, 0 without digits. Saturates instead of wrapping.
uint64_t parse_uint64(const char* p, const char* end) {
  while (p < end && is_blank(*p)) p++;
  if (p < end && *p == '+') p++;
  uint64_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; p++) {
    unsigned digit = static_cast<unsigned>(*p - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    value = value * 10 + digit;
  }
  return value;
}

// Parses one line of at least 65 characters (without its LF). False for a malformed line.
bool parse_line(const char* line, size_t len, TrustRecord* rec) {
  const char* end = line + len;
  // The first TAB is looked for only after the 64 key digits.
  const char* tab1 = static_cast<const char*>(memchr(line + 64, '\t', len - 64));
  if (!tab1) return false;
  const char* tab2 = static_cast<const char*>(memchr(tab1 + 1, '\t', end - tab1 - 1));
  if (!tab2) return false;
  const char* tab3 = static_cast<const char*>(memchr(tab2 + 1, '\t', end - tab2 - 1));
  if (!tab3) return false;
  memset(rec, 0, sizeof *rec);
  if (hex_decode(line, rec->public_key, 32) != 0) return false;
  rec->accept_flag = parse_int32(tab1 + 1, tab2);
  rec->added_ms = parse_uint64(tab2 + 1, tab3);
  // Further TABs belong to the name; CRs left by a CR LF file are dropped from its end.
  copy_name(rec->name, tab3 + 1, static_cast<size_t>(end - tab3 - 1));
  size_t n = strlen(rec->name);
  while (n > 0 && rec->name[n - 1] == '\r') rec->name[--n] = '\0';
  return true;
}

// Appends the records of the file's text, as read, until the store is full.
void load_text(TrustStore* store, const char* text) {
  const char* p = text;
  const char* end = text + strlen(text);
  while (store->count < kTrustCapacity && p < end) {
    const char* lf = static_cast<const char*>(memchr(p, '\n', end - p));
    size_t len = static_cast<size_t>((lf ? lf : end) - p);
    if (len >= 65 && parse_line(p, len, &store->records[store->count])) store->count++;
    if (!lf) break;
    p = lf + 1;
  }
}

void load(TrustStore* store) {
  char* text = fs_read_whole_file(store->path, kTrustLoadLimit, nullptr);
  if (!text) return;
  load_text(store, text);
  free(text);
}

// Writes every record to the file. Lock held. Failures leave the file as it was and the
// records in memory authoritative until the next save.
void save(TrustStore* store) {
  size_t cap = static_cast<size_t>(store->count) * kSaveBytesPerRecord + 64;
  char* buf = static_cast<char*>(malloc(cap));
  if (!buf) return;
  size_t used = 0;
  for (int i = 0; i < store->count; i++) {
    const TrustRecord& r = store->records[i];
    char key[65];
    hex_encode(r.public_key, 32, key);
    char name[64];
    copy_name(name, r.name, strnlen(r.name, kNameMax));
    // The line format has no escapes: separators inside a name become spaces.
    for (char* c = name; *c; c++) {
      if (*c == '\t' || *c == '\n' || *c == '\r') *c = ' ';
    }
    int n = snprintf(buf + used, cap - used, "%s\t%d\t%llu\t%s\n", key,
                     static_cast<int>(r.accept_flag),
                     static_cast<unsigned long long>(r.added_ms), name);
    if (n > 0) used += static_cast<size_t>(n);
  }
  fs_write_atomic_private(store->path, buf, used);
  free(buf);
}

void save_if_autosave(TrustStore* store) {
  if (store->autosave) save(store);
}

}  // namespace

TrustStore* trust_store_open(const char* path) {
  TrustStore* store = static_cast<TrustStore*>(calloc(1, sizeof(TrustStore)));
  if (!store) return nullptr;
  store->lock = lock_create();
  if (!store->lock) {
    free(store);
    return nullptr;
  }
  if (path && strlen(path) < kTrustPathCap) {
    memcpy(store->path, path, strlen(path) + 1);
    store->autosave = true;
    load(store);
  }
  return store;
}

void trust_store_close(TrustStore* store) {
  if (!store) return;
  lock_destroy(store->lock);
  free(store);
}

bool trust_store_contains(TrustStore* store, const uint8_t public_key[32]) {
  return trust_store_find(store, public_key, nullptr);
}

bool trust_store_find(TrustStore* store, const uint8_t public_key[32], TrustRecord* record_out) {
  if (!store) return false;
  LockGuard guard(store->lock);
  int i = index_of(store, public_key);
  if (i < 0) return false;
  if (record_out) *record_out = store->records[i];
  return true;
}

void trust_store_put(TrustStore* store, const uint8_t public_key[32], const char* name,
                     int32_t accept_flag) {
  if (!store) return;
  if (!name) name = "";
  LockGuard guard(store->lock);
  int i = index_of(store, public_key);
  if (i < 0 && store->count < kTrustCapacity) {
    i = store->count++;
    TrustRecord* r = &store->records[i];
    memset(r, 0, sizeof *r);
    memcpy(r->public_key, public_key, 32);
    r->added_ms = unix_ms();
  }
  if (i >= 0) {
    copy_name(store->records[i].name, name, strnlen(name, kNameMax));
    store->records[i].accept_flag = accept_flag;
  }
  // Saved even when a full store took nothing: the file then matches memory again.
  save_if_autosave(store);
}

void trust_store_remove(TrustStore* store, const uint8_t public_key[32]) {
  if (!store) return;
  LockGuard guard(store->lock);
  int i = index_of(store, public_key);
  if (i < 0) return;
  memmove(&store->records[i], &store->records[i + 1],
          static_cast<size_t>(store->count - i - 1) * sizeof(TrustRecord));
  store->count--;
  save_if_autosave(store);
}

int trust_store_count(TrustStore* store) {
  if (!store) return 0;
  LockGuard guard(store->lock);
  return store->count;
}

bool trust_store_get(TrustStore* store, int index, TrustRecord* record_out) {
  if (!store || !record_out) return false;
  LockGuard guard(store->lock);
  if (index < 0 || index >= store->count) return false;
  *record_out = store->records[index];
  return true;
}
