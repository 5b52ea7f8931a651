#include "recv/allowance.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sync.h"

namespace {

uint64_t platform_clock(void*) { return monotonic_ms(); }

// Read under the lock: operations then see time in the order they hold the table, so no
// grant ever looks longer than it was made (a time read before waiting for the lock could
// be older than the grant written meanwhile).
uint64_t read_clock(const Allowance* table) { return table->clock(table->clock_ctx); }

// Frees every slot whose grant has ended (now >= expiry). Lock held.
void sweep(Allowance* table, uint64_t now) {
  for (AllowanceEntry& e : table->entries) {
    if (e.in_use && now >= e.expires_ms) e.in_use = 0;
  }
}

// The slot a grant for this key goes to: its own, else the first free one, else slot 0.
AllowanceEntry* slot_for(Allowance* table, const uint8_t peer_key[32]) {
  AllowanceEntry* first_free = nullptr;
  for (AllowanceEntry& e : table->entries) {
    if (!e.in_use) {
      if (!first_free) first_free = &e;
    } else if (memcmp(e.peer_key, peer_key, 32) == 0) {
      return &e;
    }
  }
  return first_free ? first_free : &table->entries[0];
}

}  // namespace

Allowance* allowance_new() { return allowance_new_with_clock(platform_clock, nullptr); }

Allowance* allowance_new_with_clock(AllowanceClock clock, void* ctx) {
  Allowance* table = static_cast<Allowance*>(calloc(1, sizeof(Allowance)));
  if (!table) return nullptr;
  table->lock = lock_create();
  if (!table->lock) {
    free(table);
    return nullptr;
  }
  table->clock = clock ? clock : platform_clock;
  table->clock_ctx = ctx;
  return table;
}

void allowance_free(Allowance* table) {
  if (!table) return;
  lock_destroy(table->lock);
  free(table);
}

void allowance_grant(Allowance* table, const uint8_t peer_key[32], const char* peer_name,
                     uint64_t duration_ms) {
  if (!table || duration_ms == 0) return;
  LockGuard guard(table->lock);
  uint64_t now = read_clock(table);
  sweep(table, now);
  AllowanceEntry* e = slot_for(table, peer_key);
  memcpy(e->peer_key, peer_key, 32);
  snprintf(e->peer_name, sizeof e->peer_name, "%s", peer_name ? peer_name : "");
  // A huge duration must not wrap around to an expiry in the past.
  e->expires_ms = duration_ms > UINT64_MAX - now ? UINT64_MAX : now + duration_ms;
  e->in_use = 1;
}

int allowance_check(Allowance* table, const uint8_t peer_key[32], uint64_t* remaining_ms) {
  if (!table) return 0;
  LockGuard guard(table->lock);
  uint64_t now = read_clock(table);
  sweep(table, now);
  for (const AllowanceEntry& e : table->entries) {
    if (e.in_use && memcmp(e.peer_key, peer_key, 32) == 0) {
      if (remaining_ms) *remaining_ms = e.expires_ms - now;
      return 1;
    }
  }
  return 0;
}

int allowance_list(Allowance* table, AllowanceInfo* out, int capacity) {
  if (!table || !out || capacity <= 0) return 0;
  LockGuard guard(table->lock);
  uint64_t now = read_clock(table);
  sweep(table, now);
  int n = 0;
  for (const AllowanceEntry& e : table->entries) {
    if (n == capacity) break;
    if (!e.in_use) continue;
    memcpy(out[n].peer_name, e.peer_name, sizeof out[n].peer_name);
    out[n].remaining_ms = e.expires_ms - now;
    n++;
  }
  return n;
}

void allowance_revoke_all(Allowance* table) {
  if (!table) return;
  LockGuard guard(table->lock);
  for (AllowanceEntry& e : table->entries) e.in_use = 0;
}

int allowance_minutes_left(uint64_t remaining_ms) {
  uint64_t minutes = remaining_ms / 60000 + 1;
  return minutes > INT32_MAX ? INT32_MAX : static_cast<int>(minutes);
}
