#include "recv/transfer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "channel/channel.h"
#include "channel/field.h"
#include "channel/messages.h"
#include "platform/sync.h"
#include "recv/file_store.h"

namespace {

// Abort codes of the transfer itself; the store reports the others (file_store.h).
enum TransferAbort {
  ABORT_NO_MEMORY = 186,
  ABORT_SEND_ACCEPT = 223,
  ABORT_BAD_DATA = 235,
  ABORT_DATA_OFFSET = 237,
  ABORT_WRITE = 241,
  ABORT_SEND_ACK = 249,
  ABORT_BAD_FILE_END = 256,
};

constexpr uint16_t kErrorProtocol = 2;

// Everything one transfer owns; released by transfer_free on every way out.
struct Transfer {
  IncomingFile* records = nullptr;
  OfferNames* names = nullptr;
  char** stored_paths = nullptr;
  int stored_count = 0;
  uint8_t* msg = nullptr;
  uint8_t* accept = nullptr;
  int open_items = 0;
  uint64_t received = 0;  // bytes of this offer on disk, resumed ones included
  IncomingFile* writing = nullptr;  // the item whose partial file is open, if any
  // Items stored whose result the peer has not heard yet: it waits for their folder's sync,
  // which a run of small files shares.
  int* unsaid = nullptr;
  int unsaid_count = 0;
  uint8_t* frames = nullptr;  // their results, sealed, for one write
};

// A MSG_FILE_RESULT frame: length, type, flags, offer id, index, status and tag.
constexpr size_t kResultFrame = 2 + 2 + kOfferIdLen + 3 + 16;
// Results told in one write, at most; also how many may wait for the next pause in the data.
constexpr int kResultsPerWrite = 256;

bool transfer_alloc(Transfer* t, int count) {
  t->records = static_cast<IncomingFile*>(calloc(size_t(count), sizeof(IncomingFile)));
  t->names = new (std::nothrow) OfferNames;
  t->unsaid = static_cast<int*>(malloc(sizeof(int) * size_t(count)));
  t->frames = static_cast<uint8_t*>(malloc(kResultFrame * kResultsPerWrite));
  t->stored_paths = static_cast<char**>(calloc(size_t(count), sizeof(char*)));
  t->msg = static_cast<uint8_t*>(malloc(kSessionMessageCap));
  t->accept = static_cast<uint8_t*>(malloc(kOfferIdLen + 8 * size_t(count)));
  t->open_items = count;
  return t->records && t->names && t->stored_paths && t->msg && t->accept && t->unsaid &&
         t->frames;
}

void transfer_free(Transfer* t) {
  for (int i = 0; i < t->stored_count; ++i) free(t->stored_paths[i]);
  free(t->stored_paths);
  free(t->records);
  delete t->names;
  free(t->unsaid);
  free(t->frames);
  free(t->msg);
  free(t->accept);
}

// The body of a MSG_FILE_RESULT behind type and flags.
void put_file_result(const FileOffer* o, int index, int status, uint8_t* body) {
  FieldWriter w;
  writer_init(&w, body, kOfferIdLen + 3);
  writer_bytes(&w, o->id, kOfferIdLen);
  writer_u16(&w, uint16_t(index));
  writer_u8(&w, uint8_t(status));
}

// Bytes of path in front of its last separator.
size_t folder_length(const char* path) {
  size_t n = 0;
  for (size_t i = 0; path[i]; ++i) {
    if (path[i] == '/' || path[i] == '\\') n = i;
  }
  return n;
}

// Syncs the folders of the stored items the peer has not heard of yet, then tells it, many
// results in one write. Everything else the transfer says comes after these.
void tell_stored(const TransferPeer* s, const FileOffer* o, Transfer* t) {
  const char* synced = nullptr;  // final path of an item whose folder is synced
  size_t synced_len = 0;         // its folder's length
  size_t used = 0;
  for (int k = 0; k < t->unsaid_count; ++k) {
    const int index = t->unsaid[k];
    const IncomingFile* f = &t->records[index];
    const size_t folder_len = folder_length(f->final_path);
    if (!synced || folder_len != synced_len || memcmp(synced, f->final_path, folder_len) != 0) {
      incoming_sync_folder(f);
      synced = f->final_path;
      synced_len = folder_len;
    }
    uint8_t msg[2 + kOfferIdLen + 3] = {MSG_FILE_RESULT, 0};
    put_file_result(o, index, FILE_STORED, msg + 2);
    const int size = channel_seal(s->channel, msg, sizeof msg, t->frames + used);
    if (size > 0) used += size_t(size);
    if (used + kResultFrame > kResultFrame * kResultsPerWrite || k + 1 == t->unsaid_count) {
      s->channel->io->send_all(s->channel->io, t->frames, used);
      used = 0;
    }
  }
  t->unsaid_count = 0;
}

void send_file_result(const TransferPeer* s, const FileOffer* o, Transfer* t, int index,
                      int status) {
  tell_stored(s, o, t);
  uint8_t body[kOfferIdLen + 3];
  put_file_result(o, index, status, body);
  channel_send_message(s->channel, MSG_FILE_RESULT, body, sizeof body);
}

void send_error(const TransferPeer* s, const FileOffer* o, Transfer* t, const char* text) {
  tell_stored(s, o, t);
  channel_send_error(s->channel, kErrorProtocol, text);
}

int send_ack(const TransferPeer* s, const FileOffer* o, Transfer* t, int index, uint64_t stored) {
  tell_stored(s, o, t);
  uint8_t body[kOfferIdLen + 10];
  FieldWriter w;
  writer_init(&w, body, sizeof body);
  writer_bytes(&w, o->id, kOfferIdLen);
  writer_u16(&w, uint16_t(index));
  writer_u64(&w, stored);
  return channel_send_message(s->channel, MSG_ACK, body, w.pos);
}

int send_accept(const TransferPeer* s, const FileOffer* o, Transfer* t) {
  FieldWriter w;
  writer_init(&w, t->accept, uint32_t(kOfferIdLen + 8 * size_t(o->count)));
  writer_bytes(&w, o->id, kOfferIdLen);
  for (int i = 0; i < o->count; ++i) writer_u64(&w, t->records[i].stored);
  return channel_send_message(s->channel, MSG_ACCEPT, t->accept, w.pos);
}

void report_progress(const TransferPeer* s, const FileOffer* o, const Transfer* t, int index) {
  const SessionEvents& ev = s->config->events;
  if (ev.on_progress)
    ev.on_progress(s->config->user_data, s->peer_name, t->received, o->total_bytes,
                   o->items[index].name);
}

int aborted(const TransferPeer* s, int code) {
  recv_log(s->config, "receive_files aborted (recv:%d)", code);
  return TRANSFER_ABORTED;
}

// Prepares every item in offer order; 0, or the abort code of the item that failed.
int prepare_items(const TransferPeer* s, const FileOffer* o, Transfer* t) {
  for (int i = 0; i < o->count; ++i) {
    const OfferItem& it = o->items[i];
    int code = incoming_prepare(t->records, i, s->config->inbox_dir, s->peer_device_id, it.name,
                                it.size, it.mtime_ms, t->names);
    if (code == 0) {
      t->records[i].sync_later = 1;  // synced when the peer is told (tell_stored)
      t->received += t->records[i].stored;
      continue;
    }
    if (code == ABORT_MAKE_FOLDER || code == ABORT_CREATE_PARTIAL)
      send_file_result(s, o, t, i, FILE_FAILED);
    return code;
  }
  return 0;
}

// Reads offer id and item index and checks both against the offer; the item or -1.
int read_item(FieldReader* r, const FileOffer* o) {
  const uint8_t* id = reader_take(r, kOfferIdLen);
  int index = reader_u16(r);
  if (r->failed || memcmp(id, o->id, kOfferIdLen) != 0 || index >= o->count) return -1;
  return index;
}

// One MSG_DATA: 0 to go on, or an abort code.
int on_data(const TransferPeer* s, const FileOffer* o, Transfer* t, int len) {
  FieldReader r;
  reader_init(&r, t->msg + 2, uint32_t(len - 2));
  int index = read_item(&r, o);
  uint64_t offset = reader_u64(&r);
  if (index < 0 || r.failed) {
    send_error(s, o, t, "bad data frame");
    return ABORT_BAD_DATA;
  }
  uint32_t n = reader_remaining(&r);
  const uint8_t* data = reader_take(&r, n);
  IncomingFile* f = &t->records[index];
  if (f->finished || offset != f->stored || f->stored + n > f->size) {
    send_error(s, o, t, "data offset mismatch");
    return ABORT_DATA_OFFSET;
  }
  // Only the item whose data is flowing keeps its file open: a peer interleaving the data
  // of thousands of items would otherwise hold as many open files.
  if (t->writing != f && t->writing) incoming_pause(t->writing);
  t->writing = f;
  if (n > 0 && incoming_write(f, data, n) != 0) {
    send_file_result(s, o, t, index, FILE_FAILED);
    return ABORT_WRITE;
  }
  f->stored += n;
  f->unacked += n;
  t->received += n;
  if (f->unacked > kAckThreshold) {
    f->unacked = 0;
    if (send_ack(s, o, t, index, f->stored) != 0) return ABORT_SEND_ACK;
    report_progress(s, o, t, index);
  }
  return 0;
}

// One MSG_FILE_END: 0 to go on, or an abort code.
int on_file_end(const TransferPeer* s, const FileOffer* o, Transfer* t, int len) {
  FieldReader r;
  reader_init(&r, t->msg + 2, uint32_t(len - 2));
  int index = read_item(&r, o);
  const uint8_t* digest = reader_take(&r, 32);
  if (index < 0 || r.failed) {
    send_error(s, o, t, "bad file end");
    return ABORT_BAD_FILE_END;
  }
  IncomingFile* f = &t->records[index];
  if (f->finished) {
    // Its partial file is gone; the name may already belong to another session's partial
    // file, which must not be read, let alone deleted on a digest mismatch.
    send_file_result(s, o, t, index, FILE_FAILED);
    return ABORT_READ_BACK;
  }
  int code = 0;
  if (t->writing == f) t->writing = nullptr;  // finishing closes it
  int status = incoming_finish(f, digest, &code);
  if (status != FILE_STORED) {
    send_file_result(s, o, t, index, status);
    return code;
  }
  size_t n = strlen(f->final_path) + 1;
  if (char* copy = static_cast<char*>(malloc(n))) {
    memcpy(copy, f->final_path, n);
    t->stored_paths[t->stored_count++] = copy;
  }
  --t->open_items;
  t->unsaid[t->unsaid_count++] = index;
  if (t->unsaid_count == kResultsPerWrite) tell_stored(s, o, t);
  return 0;
}

// Receives the next message into t->msg. While stored items wait for their result, the wait
// for it first lasts a moment only: when nothing comes, the peer hears of them before the
// real wait begins.
int next_message(const TransferPeer* s, const FileOffer* o, Transfer* t, int timeout,
                 uint64_t idle_end) {
  SecureChannel* ch = s->channel;
  if (t->unsaid_count > 0) {
    const uint64_t moment = monotonic_ms() + 1;
    int len = channel_recv_by(ch, t->msg, kSessionMessageCap, timeout,
                              s->trusted ? moment : std::min(moment, idle_end));
    if (len != -2) return len;
    tell_stored(s, o, t);
  }
  return s->trusted ? channel_recv(ch, t->msg, kSessionMessageCap, timeout)
                    : channel_recv_by(ch, t->msg, kSessionMessageCap, timeout, idle_end);
}

// The transfer loop; the outcome, with aborts already logged.
int transfer_loop(const TransferPeer* s, const FileOffer* o, Transfer* t) {
  const int timeout = session_config_idle_timeout(s->config);
  uint64_t idle_end = monotonic_ms() + uint64_t(timeout);
  while (t->open_items > 0) {
    int len = next_message(s, o, t, timeout, idle_end);
    if (len < 0) {
      recv_log(s->config, "recv error %d", len);
      return TRANSFER_ABORTED;
    }
    int code = 0;
    switch (t->msg[0]) {
      case MSG_DATA: code = on_data(s, o, t, len); break;
      case MSG_FILE_END: code = on_file_end(s, o, t, len); break;
      case MSG_END:
      case MSG_ERROR: return TRANSFER_STOPPED;
      default: continue;  // a new offer included: not while this one runs
    }
    if (code != 0) return aborted(s, code);
    idle_end = monotonic_ms() + uint64_t(timeout);
  }
  return TRANSFER_COMPLETE;
}

int run(const TransferPeer* s, const FileOffer* o, Transfer* t) {
  if (int code = prepare_items(s, o, t)) return aborted(s, code);
  if (send_accept(s, o, t) != 0) return aborted(s, ABORT_SEND_ACCEPT);
  report_progress(s, o, t, 0);
  const int outcome = transfer_loop(s, o, t);
  tell_stored(s, o, t);
  return outcome;
}

}  // namespace

void recv_log(const SessionConfig* config, const char* fmt, ...) {
  if (!config->events.on_log) return;
  char line[512];
  va_list args;
  va_start(args, fmt);
  vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
  config->events.on_log(config->user_data, line);
}

int receive_files(const TransferPeer* session, const FileOffer* offer) {
  Transfer t;
  int outcome;
  if (!transfer_alloc(&t, offer->count)) {
    outcome = aborted(session, ABORT_NO_MEMORY);
  } else {
    outcome = run(session, offer, &t);
    incoming_cleanup(t.records, offer->count);
  }
  const SessionEvents& ev = session->config->events;
  if (outcome == TRANSFER_COMPLETE && ev.on_files_received)
    ev.on_files_received(session->config->user_data, session->peer_name, t.stored_count,
                         offer->total_bytes, t.stored_paths);
  transfer_free(&t);
  return outcome;
}
