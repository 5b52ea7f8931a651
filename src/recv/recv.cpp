#include "recv/recv.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "channel/channel.h"
#include "channel/field.h"
#include "channel/handshake.h"
#include "channel/messages.h"
#include "channel/pairing.h"
#include "channel/peer_text.h"
#include "platform/fs.h"
#include "recv/allowance.h"
#include "platform/sync.h"
#include "recv/file_store.h"
#include "recv/listener.h"
#include "recv/transfer.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

namespace {

std::atomic<FatVolumeTest> g_fat_test{nullptr};

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
template <typename T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

struct Session {
  const SessionConfig* config;
  const SessionEvents* ev;
  const ConnectionPeer* peer;  // null when no listener shares anything out per address
  SecureChannel ch;
  char peer_id[17];
  char peer_name[64];
  bool trusted;  // the peer's key is in the trust store (paired now or before)
  uint8_t* msg;  // the one message buffer of the opening and of the wait between offers
};

// What handle_offer tells the main loop.
enum OfferResult { OFFER_CONTINUE = 0, OFFER_FAIL = -1 };

bool tracing() {
  static const bool on = std::getenv("FL_TRACE") != nullptr;
  return on;
}

int send_byte(Session* s, uint8_t type, uint8_t value) {
  return channel_send_message(&s->ch, type, &value, 1);
}

int protocol_error(Session* s, const char* text) {
  channel_send_error(&s->ch, ERROR_PROTOCOL, text);
  return OFFER_FAIL;
}

int reject(Session* s, const uint8_t id[kOfferIdLen], int reason) {
  if (tracing()) fprintf(stderr, "[trace] reject reason=%d\n", reason);
  uint8_t body[kOfferIdLen + 1];
  memcpy(body, id, kOfferIdLen);
  body[kOfferIdLen] = uint8_t(reason);
  channel_send_message(&s->ch, MSG_REJECT, body, sizeof body);
  return OFFER_CONTINUE;
}

// ---- opening ------------------------------------------------------------------------------

bool handshake(Session* s, StreamOps* stream) {
  HandshakePayload own{};
  memcpy(own.name, s->config->device_name, sizeof own.name);
  own.name[sizeof own.name - 1] = 0;
  own.kind = 1;
  own.version = kProtocolVersion;
  own.features = kAgentFeatures;
  if (handshake_run(&s->ch, stream, s->config->static_private_key, &own, 0, nullptr) != 0) {
    recv_log(s->config, "handshake failed");
    return false;
  }
  if (s->ch.peer.version != kProtocolVersion) {
    channel_send_error(&s->ch, ERROR_VERSION, "incompatible version");
    return false;
  }
  device_id_from_public_key(s->ch.remote_static, s->peer_id);
  snprintf(s->peer_name, sizeof s->peer_name, "%s", s->ch.peer.name);
  return true;
}

// The monotonic time timeout_ms from now: waits of the opening end there, keep-alives or not.
uint64_t deadline_in(int timeout_ms) { return monotonic_ms() + uint64_t(timeout_ms); }

// Asks the user to compare the codes; 0 when the prompt is missing, refused, or not shown
// because another connection from the peer's address has a pairing prompt open.
int ask_pairing(Session* s, const char* code) {
  if (!s->ev->on_pairing_prompt) return 0;
  if (s->peer && !listener_begin_pairing(s->peer)) {
    recv_log(s->config, "pairing refused: another pairing from the same address is open");
    return 0;
  }
  int yes = s->ev->on_pairing_prompt(s->config->user_data, code, s->peer_name, s->peer_id);
  if (s->peer) listener_end_pairing(s->peer);
  return yes;
}

bool pair(Session* s) {
  char code[7];
  pairing_code(s->ch.handshake_hash, code);
  device_id_from_public_key(s->ch.remote_static, s->peer_id);
  if (!ask_pairing(s, code)) {
    channel_send_message(&s->ch, MSG_PAIR_DECLINE, nullptr, 0);
    return false;
  }
  if (send_byte(s, MSG_PAIR_CONFIRM, 1) != 0) return false;
  const int timeout = session_config_pairing_timeout(s->config);
  int len = channel_recv_by(&s->ch, s->msg, kOpeningMessageCap, timeout, deadline_in(timeout));
  if (len < 0 || s->msg[0] != MSG_PAIR_CONFIRM) {
    recv_log(s->config, "pairing did not complete");
    return false;
  }
  trust_store_put(s->config->trust_store, s->ch.remote_static, s->peer_name, 1);
  s->trusted = true;
  if (s->ev->on_paired) s->ev->on_paired(s->config->user_data, s->peer_name);
  return true;
}

// Trust states both ways, then pairing when it is needed. False: close the connection.
bool exchange_trust(Session* s) {
  const SessionConfig* c = s->config;
  const bool trusted = trust_store_contains(c->trust_store, s->ch.remote_static);
  s->trusted = trusted;
  const bool admits_unpaired = (s->ch.peer.features & kFeatureSendUnpaired) != 0;
  bool skip_pairing = false;
  int state;
  if (c->open_mode && admits_unpaired) {
    state = trusted ? TRUST_YES : TRUST_ADMITTED;
    skip_pairing = true;
  } else if (c->open_mode || trusted) {
    state = trusted ? TRUST_YES : TRUST_NO;
  } else if (c->pairing_window && *c->pairing_window) {
    state = TRUST_NO;
  } else {
    channel_send_error(&s->ch, ERROR_NOT_PAIRED, "not paired");
    return false;
  }
  if (send_byte(s, MSG_TRUST_STATE, uint8_t(state)) != 0) return false;
  int len = channel_recv_by(&s->ch, s->msg, kOpeningMessageCap, kTrustStateTimeoutMs,
                            deadline_in(kTrustStateTimeoutMs));
  if (len < 0 || s->msg[0] != MSG_TRUST_STATE) {
    recv_log(c, "no trust state from peer");
    return false;
  }
  const bool peer_trusts = len > 2 && s->msg[2] != 0;
  if (skip_pairing || (peer_trusts && trusted)) return true;
  return pair(s);
}

// ---- offers -------------------------------------------------------------------------------

struct ParsedOffer {
  uint8_t id[kOfferIdLen];
  int kind;
  int count;
  uint64_t total;
  HeapPtr<OfferItem> items;
  HeapPtr<char> names;  // every item's name, each NUL-terminated
  char first_name[kComponentCap];
};

// Reads the items of a file offer. OFFER_CONTINUE with the offer filled; OFFER_FAIL after a
// malformed item, a total that is not the sum of the sizes, or on memory failure; 1 when a
// name is unusable (the offer is rejected). All of it before anybody is asked: the prompt
// shows the total, and the free-space check believes it.
int parse_items(Session* s, FieldReader* r, ParsedOffer* o) {
  o->items.reset(static_cast<OfferItem*>(calloc(size_t(o->count), sizeof(OfferItem))));
  o->names.reset(static_cast<char*>(malloc(size_t(r->len) + size_t(o->count))));
  HeapPtr<OfferPath> path(static_cast<OfferPath*>(malloc(sizeof(OfferPath))));
  if (!o->items || !o->names || !path) return OFFER_FAIL;
  char* next = o->names.get();
  uint64_t sum = 0;
  for (int i = 0; i < o->count; ++i) {
    uint16_t name_len = reader_u16(r);
    const uint8_t* name = reader_take(r, name_len);
    if (!name) return protocol_error(s, "malformed offer");
    OfferItem& it = o->items.get()[i];
    it.name = next;
    memcpy(next, name, name_len);
    next[name_len] = 0;
    next += name_len + 1;
    it.size = reader_u64(r);
    it.mtime_ms = reader_u64(r);
    reader_u8(r);
    if (r->failed) return protocol_error(s, "malformed offer");
    if (it.size > UINT64_MAX - sum) return protocol_error(s, "malformed offer");
    sum += it.size;
    // A name that is not UTF-8 could be neither shown nor stored as sent.
    if (!utf8_is_valid(it.name, name_len)) return 1;
    if (split_offer_path(it.name, path.get()) != 0) return 1;
    if (i == 0) snprintf(o->first_name, sizeof o->first_name, "%s", path->parts[path->count - 1]);
  }
  if (sum != o->total) return protocol_error(s, "malformed offer");
  return OFFER_CONTINUE;
}

FatVolumeTest fat_test() {
  FatVolumeTest t = g_fat_test.load();
  return t ? t : fs_is_fat_volume;
}

// Free space and the FAT size limit, before anybody is asked. 0, or the reject reason.
int check_room(const SessionConfig* c, const ParsedOffer* o) {
  fs_make_dirs(c->inbox_dir);  // the space question needs the folder; failing here is fine
  uint64_t free_bytes = c->free_space_override;
  bool known = (free_bytes >> 63) == 0 || fs_free_space(c->inbox_dir, &free_bytes) == 0;
  if (known && free_bytes < o->total) return REJECT_NO_SPACE;
  if (fat_test()(c->inbox_dir)) {
    for (int i = 0; i < o->count; ++i) {
      if (o->items.get()[i].size >= kFatFileLimit) return REJECT_NOT_ACCEPTABLE;
    }
  }
  return 0;
}

// Accepted by the trusted peer's flag, an allowance or the user. Grants an allowance when
// the user accepted.
bool decide(Session* s, const ParsedOffer* o) {
  const SessionConfig* c = s->config;
  TrustRecord rec;
  const bool trusted = trust_store_find(c->trust_store, s->ch.remote_static, &rec);
  if (trusted && rec.accept_flag != 0 && c->auto_accept_trusted) return true;
  if (c->allowance && allowance_check(c->allowance, s->ch.remote_static, nullptr)) return true;
  OfferInfo info{s->peer_name, s->peer_id, trusted ? 1 : 0, o->kind, o->count, o->total,
                 o->kind == kOfferKindFiles ? o->first_name : "", 0};
  if (!s->ev->on_offer_prompt || !s->ev->on_offer_prompt(c->user_data, &info)) return false;
  if (c->allowance && c->allowance_ms != 0) {
    allowance_grant(c->allowance, s->ch.remote_static, s->peer_name, c->allowance_ms);
    if (s->ev->on_allowance_granted)
      s->ev->on_allowance_granted(c->user_data, s->peer_name, c->allowance_ms);
  }
  return true;
}

int receive_text(Session* s, const ParsedOffer* o) {
  if (channel_send_message(&s->ch, MSG_ACCEPT, o->id, kOfferIdLen) != 0) return OFFER_FAIL;
  int len = channel_recv(&s->ch, s->msg, kSessionMessageCap, kTextTimeoutMs);
  if (len < int(2 + kOfferIdLen) || s->msg[0] != MSG_TEXT ||
      memcmp(s->msg + 2, o->id, kOfferIdLen) != 0)
    return protocol_error(s, "expected text");
  size_t n = size_t(len) - 2 - kOfferIdLen;
  HeapPtr<char> text(static_cast<char*>(malloc(n + 1)));
  if (!text) return OFFER_FAIL;
  memcpy(text.get(), s->msg + 2 + kOfferIdLen, n);
  text.get()[n] = 0;
  if (s->ev->on_text_received)
    s->ev->on_text_received(s->config->user_data, s->peer_name, o->kind, text.get());
  text.reset();
  uint8_t result[kOfferIdLen + 3] = {};
  memcpy(result, o->id, kOfferIdLen);
  channel_send_message(&s->ch, MSG_FILE_RESULT, result, sizeof result);
  return OFFER_CONTINUE;
}

int receive_offered_files(Session* s, const ParsedOffer* o) {
  FileOffer offer;
  memcpy(offer.id, o->id, kOfferIdLen);
  offer.total_bytes = o->total;
  offer.count = o->count;
  offer.items = o->items.get();
  TransferPeer peer{&s->ch, s->config, s->peer_name, s->peer_id, s->trusted};
  return receive_files(&peer, &offer) == TRANSFER_ABORTED ? OFFER_FAIL : OFFER_CONTINUE;
}

int handle_offer(Session* s, int len) {
  FieldReader r;
  reader_init(&r, s->msg + 2, uint32_t(len - 2));
  auto o = std::unique_ptr<ParsedOffer>(new (std::nothrow) ParsedOffer());
  if (!o) return OFFER_FAIL;
  const uint8_t* id = reader_take(&r, kOfferIdLen);
  o->kind = reader_u8(&r);
  o->count = reader_u16(&r);
  o->total = reader_u64(&r);
  if (r.failed || o->kind < kOfferKindFiles || o->kind > kOfferKindLink)
    return protocol_error(s, "malformed offer");
  memcpy(o->id, id, kOfferIdLen);
  const bool files = o->kind == kOfferKindFiles;
  if (o->count > kMaxOfferItems) return reject(s, o->id, REJECT_NOT_ACCEPTABLE);
  if (files && o->count == 0) return protocol_error(s, "empty offer");
  if (!files && o->count > 0) return protocol_error(s, "text offer with items");
  if (!files && o->total > kMaxTextBytes) return reject(s, o->id, REJECT_NOT_ACCEPTABLE);
  if (files) {
    int parsed = parse_items(s, &r, o.get());
    if (parsed == 1) return reject(s, o->id, REJECT_NOT_ACCEPTABLE);
    if (parsed != OFFER_CONTINUE) return OFFER_FAIL;
    if (int reason = check_room(s->config, o.get())) return reject(s, o->id, reason);
  }
  if (!decide(s, o.get())) return reject(s, o->id, REJECT_DECLINED);
  return files ? receive_offered_files(s, o.get()) : receive_text(s, o.get());
}

// The wait between offers. A trusted phone may keep its connection open with keep-alives
// for as long as it likes; a peer the agent does not trust (admitted without pairing) holds
// a worker only as long as it makes offers: its idle time runs from its last offer, whatever
// else it sends meanwhile.
void serve_offers(Session* s) {
  const int timeout = session_config_idle_timeout(s->config);
  uint64_t idle_end = deadline_in(timeout);
  for (;;) {
    int len = s->trusted ? channel_recv(&s->ch, s->msg, kSessionMessageCap, timeout)
                         : channel_recv_by(&s->ch, s->msg, kSessionMessageCap, timeout, idle_end);
    if (len < 0) {
      recv_log(s->config, "session end: recv=%d", len);
      return;
    }
    const uint8_t type = s->msg[0];
    if (type == MSG_END || type == MSG_ERROR) return;
    if (type != MSG_OFFER) continue;
    if (handle_offer(s, len) != OFFER_CONTINUE) {
      recv_log(s->config, "handle_offer failed");
      return;
    }
    idle_end = deadline_in(timeout);
  }
}

}  // namespace

void receive_session_run(const SessionConfig* config, StreamOps* stream) {
  receive_session_run_from(config, stream, nullptr);
}

void receive_session_run_from(const SessionConfig* config, StreamOps* stream,
                              const ConnectionPeer* peer) {
  auto s = std::unique_ptr<Session>(new (std::nothrow) Session());
  HeapPtr<uint8_t> msg(static_cast<uint8_t*>(malloc(kSessionMessageCap)));
  if (s && msg) {
    s->config = config;
    s->ev = &config->events;
    s->peer = peer;
    s->msg = msg.get();
    if (handshake(s.get(), stream) && exchange_trust(s.get())) serve_offers(s.get());
  }
  stream->close(stream);
}

void receive_session_set_fat_test(FatVolumeTest test) { g_fat_test.store(test); }
