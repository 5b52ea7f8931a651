#include "sender.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel/field.h"
#include "channel/handshake.h"
#include "channel/messages.h"
#include "channel/pairing.h"
#include "chunk_reader.h"
#include "client_stream.h"
#include "crypto/sha256.h"
#include "platform/fs.h"
#include "platform/sync.h"
#include "recv/file_store.h"
#include "recv/recv.h"
#include "recv/transfer.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

namespace {

constexpr size_t kIdLen = kOfferIdLen;
// Type, flags, offer id, item index and offset in front of the data of a MSG_DATA.
constexpr size_t kDataHeader = 2 + kIdLen + 2 + 8;
constexpr size_t kMaxBody = kChannelMaxBody;
// Items of one offer: MSG_ACCEPT carries 8 bytes per item behind the id.
constexpr int kMaxItemsPerOffer = int((kMaxBody - kIdLen) / 8);
// The agent's acknowledgements are taken in between every so many data messages.
constexpr int kDrainEvery = 8;
// The largest data frame and a file end frame, each with its length and tag.
constexpr size_t kFramesCap = 2 + kChannelMaxPlaintext + 16 + 2 + 4 + kIdLen + 32 + 16;

int answer_timeout(const Sender* s) {
  return s->config->answer_timeout_ms > 0 ? s->config->answer_timeout_ms : kSenderAnswerTimeoutMs;
}

// Remembers a MSG_ERROR's code and text.
void take_error(Sender* s, int len) {
  FieldReader r;
  reader_init(&r, s->msg + 2, uint32_t(len - 2));
  s->error_code = reader_u16(&r);
  uint16_t n = reader_u16(&r);
  n = uint16_t(std::min<uint32_t>({n, reader_remaining(&r), sizeof s->error_text - 1}));
  const uint8_t* text = reader_take(&r, n);
  if (text) memcpy(s->error_text, text, n);
  s->error_text[text ? n : 0] = 0;
}

int send_byte(Sender* s, uint8_t type, uint8_t value) {
  return channel_send_message(&s->ch, type, &value, 1);
}

int fail(Sender* s, int status) {
  sender_close(s);
  return status;
}

// ---- opening ------------------------------------------------------------------------------

int pair(Sender* s) {
  const SenderConfig* c = s->config;
  char code[7];
  pairing_code(s->ch.handshake_hash, code);
  if (!c->confirm_pairing || !c->confirm_pairing(c->ctx, code, s->agent_name, s->agent_id))
    return fail(s, SEND_PAIRING_DECLINED);
  if (send_byte(s, MSG_PAIR_CONFIRM, 1) != 0) return fail(s, SEND_CONNECTION_LOST);
  int len = sender_recv(s, answer_timeout(s));
  if (len >= 2 && s->msg[0] == MSG_PAIR_DECLINE) return fail(s, SEND_PAIRING_REFUSED);
  if (len < 2 || s->msg[0] != MSG_PAIR_CONFIRM) return fail(s, SEND_PAIRING_FAILED);
  trust_store_put(c->agents, s->ch.remote_static, s->agent_name, 1);
  s->paired = 1;
  return SEND_OK;
}

// ---- files --------------------------------------------------------------------------------

struct FileRun {
  Sender* s;
  SendItem* items;
  int count;
  uint8_t id[kIdLen];
  uint8_t* buf;  // one plaintext message: header and data
  uint8_t* frames;  // an item's last data frame and its file end, sealed, for one write
  int results_due;
  uint64_t done, total;
  const SendProgress* progress;
};

void report(FileRun* run, const char* name) {
  if (run->progress && run->progress->report)
    run->progress->report(run->progress->ctx, run->done, run->total, name);
}

// Takes one message of the agent during or after the data: results, acknowledgements and
// errors. SEND_OK to go on.
int take_reply(FileRun* run, int len) {
  Sender* s = run->s;
  if (len < 0) return SEND_CONNECTION_LOST;
  if (s->msg[0] == MSG_ERROR) {
    take_error(s, len);
    return SEND_AGENT_ERROR;
  }
  if (s->msg[0] != MSG_FILE_RESULT) return SEND_OK;  // acknowledgements: progress is ours
  FieldReader r;
  reader_init(&r, s->msg + 2, uint32_t(len - 2));
  const uint8_t* id = reader_take(&r, kIdLen);
  int index = reader_u16(&r);
  int status = reader_u8(&r);
  if (r.failed || memcmp(id, run->id, kIdLen) != 0 || index >= run->count) return SEND_OK;
  if (run->items[index].status < 0) --run->results_due;
  run->items[index].status = status;
  return SEND_OK;
}

// Takes whatever the agent has sent meanwhile, without waiting for more.
int drain(FileRun* run) {
  while (client_stream_readable(run->s->io, 0) == 1) {
    int rc = take_reply(run, sender_recv(run->s, kSenderReplyTimeoutMs));
    if (rc != SEND_OK) return rc;
  }
  return SEND_OK;
}

void put_header(uint8_t* p, uint8_t type, const uint8_t id[kIdLen], int index) {
  p[0] = type;
  p[1] = 0;
  memcpy(p + 2, id, kIdLen);
  p[2 + kIdLen] = uint8_t(index >> 8);
  p[3 + kIdLen] = uint8_t(index);
}

// Sends one item from its resume offset: data messages, then its file end. The file is read
// and hashed ahead on the reader's thread while this one seals and sends. The last data
// message and the file end leave in one write: for a small file that halves the sends. A
// local read failure leaves the item unfinished (SEND_OK: the other items go on).
int send_item(FileRun* run, int index) {
  SendItem* it = &run->items[index];
  ChunkReader* reader = chunk_reader_start(it->local_path, it->resumed_from, it->size,
                                           kDataHeader, kMaxDataPerMessage);
  if (!reader) {
    it->local_error = 1;
    return SEND_OK;
  }
  SecureChannel* ch = &run->s->ch;
  int rc = SEND_OK, got, sent = 0;
  int held = 0;  // bytes of the sealed last data frame waiting in run->frames
  uint8_t* msg;
  size_t n;
  for (uint64_t pos = it->resumed_from; (got = chunk_reader_next(reader, &msg, &n)) == 1;) {
    put_header(msg, MSG_DATA, run->id, index);
    for (int b = 0; b < 8; ++b) msg[4 + kIdLen + b] = uint8_t(pos >> (56 - 8 * b));
    pos += n;
    if (pos == it->size) {
      held = channel_seal(ch, msg, kDataHeader + n, run->frames);
      if (held < 0) rc = SEND_CONNECTION_LOST;
    } else if (channel_send(ch, msg, kDataHeader + n) != 0) {
      rc = SEND_CONNECTION_LOST;
    }
    chunk_reader_release(reader);
    run->done += n;
    report(run, it->name);
    if (rc == SEND_OK && ++sent % kDrainEvery == 0) rc = drain(run);
    if (rc != SEND_OK) break;
  }
  uint8_t end[4 + kIdLen + 32];
  if (got == 0) chunk_reader_digest(reader, end + 4 + kIdLen);
  chunk_reader_stop(reader);
  if (rc != SEND_OK) return rc;
  if (got < 0) {
    // The data already sealed must still leave: the agent expects the next frame to be it.
    if (held > 0 && ch->io->send_all(ch->io, run->frames, size_t(held)) != 0)
      return SEND_CONNECTION_LOST;
    it->local_error = 1;
    return SEND_OK;
  }
  put_header(end, MSG_FILE_END, run->id, index);
  const int end_frame = channel_seal(ch, end, sizeof end, run->frames + held);
  if (end_frame < 0 || ch->io->send_all(ch->io, run->frames, size_t(held + end_frame)) != 0)
    return SEND_CONNECTION_LOST;
  ++run->results_due;
  return SEND_OK;
}

// Waits for the agent's answer to an offer: SEND_OK with the resume offsets filled in.
int wait_accept(FileRun* run) {
  Sender* s = run->s;
  for (;;) {
    int len = sender_recv(s, answer_timeout(s));
    if (len < 0) return SEND_CONNECTION_LOST;
    FieldReader r;
    reader_init(&r, s->msg + 2, uint32_t(len - 2));
    const uint8_t type = s->msg[0];
    if (type == MSG_ERROR) {
      take_error(s, len);
      return SEND_AGENT_ERROR;
    }
    if (type == MSG_FILE_RESULT) {  // an item the agent could not even prepare
      take_reply(run, len);
      continue;
    }
    if (type != MSG_ACCEPT && type != MSG_REJECT) continue;
    const uint8_t* id = reader_take(&r, kIdLen);
    if (r.failed || memcmp(id, run->id, kIdLen) != 0) continue;
    if (type == MSG_REJECT) {
      s->reject_reason = reader_u8(&r);
      return SEND_REJECTED;
    }
    for (int i = 0; i < run->count; ++i) run->items[i].resumed_from = reader_u64(&r);
    if (r.failed) return SEND_PROTOCOL;
    return SEND_OK;
  }
}

int send_batch(FileRun* run) {
  Sender* s = run->s;
  uint64_t total = 0;
  for (int i = 0; i < run->count; ++i) total += run->items[i].size;
  if (random_bytes(run->id, kIdLen) != 0) return SEND_NO_MEMORY;
  size_t len = offer_encode(run->id, kOfferKindFiles, run->count, total, run->items,
                            run->buf + 2, kMaxBody);
  if (len == 0) return SEND_PROTOCOL;  // a single name longer than any message
  if (channel_send_message(&s->ch, MSG_OFFER, run->buf + 2, len) != 0)
    return SEND_CONNECTION_LOST;
  run->results_due = 0;
  int rc = wait_accept(run);
  if (rc != SEND_OK) return rc;
  for (int i = 0; i < run->count; ++i) {
    if (run->items[i].resumed_from > run->items[i].size) return SEND_PROTOCOL;
    run->done += run->items[i].resumed_from;
  }
  report(run, run->items[0].name);
  for (int i = 0; i < run->count && rc == SEND_OK; ++i) rc = send_item(run, i);
  // An agent that cannot store a file says so and closes the connection, so the send that
  // fails next is explained by what it said before: the file results still waiting here.
  if (rc == SEND_CONNECTION_LOST) drain(run);
  while (rc == SEND_OK && run->results_due > 0)
    rc = take_reply(run, sender_recv(s, kSenderReplyTimeoutMs));
  bool unfinished = false;
  for (int i = 0; i < run->count; ++i) unfinished |= run->items[i].local_error != 0;
  // Items that could not be read stay open at the agent; ending the transfer keeps the
  // connection and the bytes stored so far.
  if (rc == SEND_OK && unfinished) channel_send_message(&s->ch, MSG_END, nullptr, 0);
  return rc;
}

// How many items from first on fit one offer message (at least one).
int batch_size(const SendItem* items, int count) {
  size_t body = kIdLen + 1 + 2 + 8;
  int n = 0;
  while (n < count && n < kMaxItemsPerOffer && n < kMaxOfferItems) {
    size_t item = 2 + strlen(items[n].name) + 8 + 8 + 1;
    if (body + item > kMaxBody && n > 0) break;
    body += item;
    ++n;
  }
  return n;
}

}  // namespace

const char* send_status_text(const Sender* s, int status, char* buf, size_t cap) {
  static const char* const kReasons[] = {
      "declined on the PC", "not enough free space on the PC",
      "not acceptable to the PC (too many files, text too long, an unusable file name, or a "
      "file too large for the PC's disk)"};
  switch (status) {
    case SEND_OK: snprintf(buf, cap, "done"); break;
    case SEND_HANDSHAKE_FAILED:
      snprintf(buf, cap, "handshake failed (not a ferrylink agent, or the connection broke)");
      break;
    case SEND_INCOMPATIBLE_VERSION: snprintf(buf, cap, "incompatible version"); break;
    case SEND_NOT_PAIRED:
      snprintf(buf, cap, "not paired: the PC does not take new devices right now");
      break;
    case SEND_PAIRING_DECLINED: snprintf(buf, cap, "pairing declined: the codes differ"); break;
    case SEND_PAIRING_REFUSED: snprintf(buf, cap, "pairing declined on the PC"); break;
    case SEND_PAIRING_FAILED: snprintf(buf, cap, "pairing did not complete"); break;
    case SEND_REJECTED: {
      int r = s ? s->reject_reason : 0;
      if (r >= 1 && r <= 3) snprintf(buf, cap, "offer rejected: %s", kReasons[r - 1]);
      else snprintf(buf, cap, "offer rejected (reason %d)", r);
      break;
    }
    case SEND_AGENT_ERROR:
      snprintf(buf, cap, "the PC reported an error: %s (code %d)", s ? s->error_text : "",
               s ? s->error_code : 0);
      break;
    case SEND_CONNECTION_LOST: snprintf(buf, cap, "connection lost"); break;
    case SEND_NOT_STORED: snprintf(buf, cap, "not every file was stored"); break;
    case SEND_PROTOCOL: snprintf(buf, cap, "unexpected answer from the PC"); break;
    default: snprintf(buf, cap, "out of memory"); break;
  }
  return buf;
}

int sender_open(Sender* s, StreamOps* io, const SenderConfig* c) {
  memset(s, 0, sizeof *s);
  s->io = io;
  s->config = c;
  s->msg = static_cast<uint8_t*>(malloc(kSessionMessageCap));
  if (!s->msg) return fail(s, SEND_NO_MEMORY);
  HandshakePayload own{};
  snprintf(own.name, sizeof own.name, "%s", c->name);
  own.kind = 2;
  own.version = c->version;
  own.features = c->features;
  if (handshake_run(&s->ch, io, c->private_key, &own, 1, nullptr) != 0)
    return fail(s, SEND_HANDSHAKE_FAILED);
  snprintf(s->agent_name, sizeof s->agent_name, "%s", s->ch.peer.name);
  device_id_from_public_key(s->ch.remote_static, s->agent_id);
  if (s->ch.peer.version != kProtocolVersion) return fail(s, SEND_INCOMPATIBLE_VERSION);

  int len = sender_recv(s, kSenderReplyTimeoutMs);
  if (len < 0) return fail(s, SEND_CONNECTION_LOST);
  if (s->msg[0] == MSG_ERROR) {
    take_error(s, len);
    return fail(s, s->error_code == ERROR_VERSION    ? SEND_INCOMPATIBLE_VERSION
                   : s->error_code == ERROR_NOT_PAIRED ? SEND_NOT_PAIRED
                                                       : SEND_AGENT_ERROR);
  }
  if (s->msg[0] != MSG_TRUST_STATE) return fail(s, SEND_PROTOCOL);
  s->agent_trust_state = len > 2 ? int(s->msg[2]) : int(TRUST_NO);
  const bool trusted = trust_store_contains(c->agents, s->ch.remote_static);
  if (send_byte(s, MSG_TRUST_STATE, trusted ? TRUST_YES : TRUST_NO) != 0)
    return fail(s, SEND_CONNECTION_LOST);
  // The agent pairs unless it admitted this sender as it is, or both sides trust each other.
  const bool unpaired_ok = (c->features & kFeatureSendUnpaired) != 0;
  const int a = s->agent_trust_state;
  const bool pairing = a == TRUST_NO || (a == TRUST_YES && !trusted && !unpaired_ok);
  return pairing ? pair(s) : SEND_OK;
}

void sender_close(Sender* s) {
  if (s->io && s->ch.established) channel_send_message(&s->ch, MSG_END, nullptr, 0);
  sender_drop(s);
}

void sender_drop(Sender* s) {
  if (s->io) s->io->close(s->io);
  s->io = nullptr;
  free(s->msg);
  s->msg = nullptr;
}

int sender_recv(Sender* s, int timeout_ms) {
  if (!s->io) return -3;
  return channel_recv(&s->ch, s->msg, kSessionMessageCap, timeout_ms);
}

int sender_send_text(Sender* s, int kind, const char* text) {
  uint8_t id[kIdLen];
  if (random_bytes(id, kIdLen) != 0) return SEND_NO_MEMORY;
  const size_t n = strlen(text);
  if (n > kMaxBody - kIdLen) return SEND_PROTOCOL;
  uint8_t offer[kIdLen + 11];
  size_t len = offer_encode(id, kind, 0, n, nullptr, offer, sizeof offer);
  if (channel_send_message(&s->ch, MSG_OFFER, offer, len) != 0) return SEND_CONNECTION_LOST;
  for (;;) {
    int got = sender_recv(s, answer_timeout(s));
    if (got < 0) return SEND_CONNECTION_LOST;
    if (s->msg[0] == MSG_ERROR) {
      take_error(s, got);
      return SEND_AGENT_ERROR;
    }
    if (got < int(2 + kIdLen) || memcmp(s->msg + 2, id, kIdLen) != 0) continue;
    if (s->msg[0] == MSG_REJECT) {
      s->reject_reason = got > int(2 + kIdLen) ? s->msg[2 + kIdLen] : 0;
      return SEND_REJECTED;
    }
    if (s->msg[0] == MSG_ACCEPT) break;
  }
  uint8_t* body = static_cast<uint8_t*>(malloc(kIdLen + n));
  if (!body) return SEND_NO_MEMORY;
  memcpy(body, id, kIdLen);
  memcpy(body + kIdLen, text, n);
  int rc = channel_send_message(&s->ch, MSG_TEXT, body, kIdLen + n);
  free(body);
  if (rc != 0) return SEND_CONNECTION_LOST;
  for (;;) {
    int got = sender_recv(s, kSenderReplyTimeoutMs);
    if (got < 0) return SEND_CONNECTION_LOST;
    if (s->msg[0] == MSG_ERROR) {
      take_error(s, got);
      return SEND_AGENT_ERROR;
    }
    if (s->msg[0] == MSG_FILE_RESULT && got >= int(2 + kIdLen + 3) &&
        memcmp(s->msg + 2, id, kIdLen) == 0)
      return s->msg[2 + kIdLen + 2] == FILE_STORED ? SEND_OK : SEND_NOT_STORED;
  }
}

int sender_send_files(Sender* s, SendItem* items, int count, const SendProgress* progress) {
  FileRun run{};
  run.s = s;
  run.progress = progress;
  for (int i = 0; i < count; ++i) {
    run.total += items[i].size;
    items[i].status = -1;
    items[i].resumed_from = 0;
    items[i].local_error = 0;
  }
  run.buf = static_cast<uint8_t*>(malloc(kChannelMaxPlaintext));
  run.frames = static_cast<uint8_t*>(malloc(kFramesCap));
  if (!run.buf || !run.frames) {
    free(run.buf);
    free(run.frames);
    return SEND_NO_MEMORY;
  }
  int rc = SEND_OK;
  for (int first = 0; first < count && rc == SEND_OK;) {
    run.items = items + first;
    run.count = batch_size(run.items, count - first);
    rc = send_batch(&run);
    first += run.count;
  }
  free(run.buf);
  free(run.frames);
  bool refused = false, missing = false;
  for (int i = 0; i < count; ++i) {
    refused |= items[i].status > FILE_STORED;
    missing |= items[i].status != FILE_STORED;
  }
  // A file the agent refused explains a lost connection: it closes after such a file.
  if (refused && (rc == SEND_OK || rc == SEND_CONNECTION_LOST)) return SEND_NOT_STORED;
  if (rc != SEND_OK) return rc;
  return missing ? SEND_NOT_STORED : SEND_OK;
}

size_t offer_encode(const uint8_t id[16], int kind, int count, uint64_t total,
                    const SendItem* items, uint8_t* out, size_t cap) {
  FieldWriter w;
  writer_init(&w, out, uint32_t(std::min<size_t>(cap, UINT32_MAX)));
  writer_bytes(&w, id, kIdLen);
  writer_u8(&w, uint8_t(kind));
  writer_u16(&w, uint16_t(count));
  writer_u64(&w, total);
  for (int i = 0; i < count && items; ++i) {
    const size_t n = strlen(items[i].name);
    writer_u16(&w, uint16_t(n));
    writer_bytes(&w, items[i].name, uint32_t(n));
    writer_u64(&w, items[i].size);
    writer_u64(&w, items[i].mtime_ms);
    writer_u8(&w, 0);
  }
  return w.failed ? 0 : w.pos;
}
