#pragma once
// How much of the agent each remote address holds. The listener has four workers; without a
// share per address one host could take all four (connecting and staying silent, or sending
// keep-alives) and no phone anywhere else would be served. So an address holds at most two
// workers, and at most one pairing prompt: a host cannot stack prompts for the user to click
// away one after another while its earlier ones are still open.
//
// A plain record without a lock of its own: its owner (the listener) guards it.
#include <cstdint>

constexpr int kPeerTableSlots = 4;        // one per worker: no more addresses can hold one
constexpr int kMaxWorkersPerAddress = 2;

struct PeerSlot {
  uint32_t ip;      // remote IPv4 address, host byte order
  int workers;      // workers serving this address; 0 marks a free slot
  int pairing;      // 1 while a pairing prompt for this address is open
};

struct PeerTable {
  PeerSlot slots[kPeerTableSlots];  // zero-filled: every slot free
};

// Counts one more worker for ip. False, counting nothing, when ip already holds
// kMaxWorkersPerAddress workers or every slot belongs to other addresses.
bool peer_table_enter(PeerTable* t, uint32_t ip);
// Uncounts one worker of ip; the slot is freed with its last worker.
void peer_table_leave(PeerTable* t, uint32_t ip);
// Marks a pairing prompt for ip as open. False when one is open already or ip holds no
// worker (a prompt belongs to a worker of its address).
bool peer_table_begin_pairing(PeerTable* t, uint32_t ip);
void peer_table_end_pairing(PeerTable* t, uint32_t ip);
// Workers counted for ip.
int peer_table_workers(const PeerTable* t, uint32_t ip);
