#include "recv/peer_table.h"

namespace {

PeerSlot* find(PeerTable* t, uint32_t ip) {
  for (PeerSlot& s : t->slots)
    if (s.workers > 0 && s.ip == ip) return &s;
  return nullptr;
}

PeerSlot* free_slot(PeerTable* t) {
  for (PeerSlot& s : t->slots)
    if (s.workers == 0) return &s;
  return nullptr;
}

}  // namespace

bool peer_table_enter(PeerTable* t, uint32_t ip) {
  PeerSlot* s = find(t, ip);
  if (!s) {
    s = free_slot(t);
    if (!s) return false;
    *s = PeerSlot{ip, 0, 0};
  }
  if (s->workers >= kMaxWorkersPerAddress) return false;
  ++s->workers;
  return true;
}

void peer_table_leave(PeerTable* t, uint32_t ip) {
  if (PeerSlot* s = find(t, ip)) --s->workers;
}

bool peer_table_begin_pairing(PeerTable* t, uint32_t ip) {
  PeerSlot* s = find(t, ip);
  if (!s || s->pairing) return false;
  s->pairing = 1;
  return true;
}

void peer_table_end_pairing(PeerTable* t, uint32_t ip) {
  if (PeerSlot* s = find(t, ip)) s->pairing = 0;
}

int peer_table_workers(const PeerTable* t, uint32_t ip) {
  for (const PeerSlot& s : t->slots)
    if (s.workers > 0 && s.ip == ip) return s.workers;
  return 0;
}
