#pragma once
// Temporary grants that let a phone send again without a prompt: after the user accepts an
// offer the phone's static key is allowed for a while (ten minutes in the agent). Kept in
// memory only, on the monotonic clock. One lock serialises every operation, so sessions on
// worker threads and the tray menu on the window thread may use the table at once. Every
// operation accepts a null table and then does nothing (no grants, nothing listed).
#include <cstddef>
#include <cstdint>

struct Lock;

constexpr int kAllowanceSlots = 64;

struct AllowanceEntry {
  uint8_t peer_key[32];  // the phone's X25519 static public key
  char peer_name[64];    // name at the time of the grant, at most 63 bytes and a NUL
  uint64_t expires_ms;   // monotonic time at which the grant ends
  int in_use;            // 1 while the slot holds a grant
};

// One listed grant.
struct AllowanceInfo {
  char peer_name[64];
  uint64_t remaining_ms;
};

// Monotonic milliseconds for the table; ctx is the pointer given at creation.
typedef uint64_t (*AllowanceClock)(void* ctx);

// Use only through the functions below, which take the lock.
struct Allowance {
  Lock* lock;
  AllowanceEntry entries[kAllowanceSlots];  // a free slot has in_use 0
  AllowanceClock clock;
  void* clock_ctx;
};

// A zero-filled table on the platform's monotonic clock, or null when it or its lock cannot
// be made.
Allowance* allowance_new();
// The same on another clock (tests drive time through it).
Allowance* allowance_new_with_clock(AllowanceClock clock, void* ctx);
// Destroys the lock and frees the table. Null allowed.
void allowance_free(Allowance* table);

// Allows the key for duration_ms from now, under the name (null: empty; cut to 63 bytes).
// A key that already holds a grant keeps its slot and restarts the full duration with the
// new name. With all 64 slots held by other keys, the grant in slot 0 is replaced.
// Duration 0 stores nothing.
void allowance_grant(Allowance* table, const uint8_t peer_key[32], const char* peer_name,
                     uint64_t duration_ms);
// 1 when an unexpired grant for the key exists, with its remaining milliseconds in
// *remaining_ms when given; else 0.
int allowance_check(Allowance* table, const uint8_t peer_key[32], uint64_t* remaining_ms);
// Copies the unexpired grants in slot order, at most capacity of them; returns how many.
int allowance_list(Allowance* table, AllowanceInfo* out, int capacity);
// Ends every grant.
void allowance_revoke_all(Allowance* table);

// Whole minutes shown for a grant in the tray menu: remaining_ms / 60000 + 1.
int allowance_minutes_left(uint64_t remaining_ms);
