#include "support/mem_stream.h"

#include <cstring>

static MemStream* self_of(StreamOps* ops) { return static_cast<MemStream*>(ops->ctx); }

static int mem_recv_exact(StreamOps* ops, void* buf, size_t len, int /*timeout_ms*/) {
  MemStream* s = self_of(ops);
  while (s->queued() < len) {
    if (!s->refill || !s->refill()) return s->end_result;
  }
  if (len > 0) std::memcpy(buf, s->in.data() + s->in_pos, len);
  s->in_pos += len;
  return 0;
}

// Lends what is queued already, as the TCP stream lends what it has taken in, so that the
// targets reach both ways a frame is read.
static const uint8_t* mem_borrow(StreamOps* ops, size_t len) {
  MemStream* s = self_of(ops);
  if (s->queued() < len) return nullptr;
  const uint8_t* lent = s->in.data() + s->in_pos;
  s->in_pos += len;
  return lent;
}

static int mem_send_all(StreamOps* ops, const void* buf, size_t len) {
  MemStream* s = self_of(ops);
  if (s->sends_before_failure == 0) return -1;
  if (s->sends_before_failure > 0) s->sends_before_failure--;
  const uint8_t* p = static_cast<const uint8_t*>(buf);
  s->out.insert(s->out.end(), p, p + len);
  if (s->on_send) s->on_send();
  return 0;
}

// The harness owns the record; closing only counts, so a target can check it happened once.
static void mem_close(StreamOps* ops) { self_of(ops)->close_calls++; }

MemStream::MemStream() {
  ops.recv_exact = mem_recv_exact;
  ops.borrow = mem_borrow;
  ops.send_all = mem_send_all;
  ops.close = mem_close;
  ops.ctx = this;
}

void MemStream::queue(const void* data, size_t len) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  in.insert(in.end(), p, p + len);
}

void MemStream::queue_frame(const void* body, size_t len) {
  uint8_t hdr[2] = {uint8_t(len >> 8), uint8_t(len)};
  queue(hdr, 2);
  queue(body, len);
}

bool MemStream::take_sent_frame(std::vector<uint8_t>* body) {
  if (out.size() - out_pos_ < 2) return false;
  size_t len = (size_t(out[out_pos_]) << 8) | out[out_pos_ + 1];
  if (out.size() - out_pos_ - 2 < len) return false;
  body->assign(out.begin() + long(out_pos_ + 2), out.begin() + long(out_pos_ + 2 + len));
  out_pos_ += 2 + len;
  return true;
}
