#include "client_stream.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "platform/net.h"
#include "platform/sync.h"

namespace {

// Replies are small and often come several at once: a short read takes whatever else has
// arrived as well, up to this much, so that a run of them costs one system call.
constexpr size_t kReadAhead = 16384;

// The slots come first so that the channel's StreamOps* is this record.
struct ClientStream {
  StreamOps ops;
  Socket socket;
  size_t ahead_pos = 0, ahead_len = 0;  // unread bytes: ahead[ahead_pos, ahead_len)
  uint8_t ahead[kReadAhead];
};

ClientStream* of(StreamOps* self) { return reinterpret_cast<ClientStream*>(self); }

size_t take_ahead(ClientStream* c, uint8_t* p, size_t len) {
  const size_t n = std::min(len, c->ahead_len - c->ahead_pos);
  if (n > 0) memcpy(p, c->ahead + c->ahead_pos, n);
  c->ahead_pos += n;
  return n;
}

int recv_exact(StreamOps* self, void* buf, size_t len, int timeout_ms) {
  ClientStream* c = of(self);
  auto* p = static_cast<uint8_t*>(buf);
  const size_t had = take_ahead(c, p, len);
  p += had;
  len -= had;
  while (len > 0) {
    int ready = socket_wait_readable(c->socket, timeout_ms);
    if (ready == 0) return -2;
    if (ready < 0) return -3;
    const bool direct = len >= kReadAhead;
    int64_t got = socket_recv(c->socket, direct ? p : c->ahead, direct ? len : kReadAhead);
    if (got <= 0) return -3;
    if (!direct) {
      c->ahead_pos = 0;
      c->ahead_len = size_t(got);
      got = int64_t(take_ahead(c, p, len));
    }
    p += got;
    len -= size_t(got);
  }
  return 0;
}

int send_all(StreamOps* self, const void* buf, size_t len) {
  auto* p = static_cast<const uint8_t*>(buf);
  while (len > 0) {
    int64_t sent = socket_send(of(self)->socket, p, len);
    if (sent <= 0) return -1;
    p += sent;
    len -= size_t(sent);
  }
  return 0;
}

void close_stream(StreamOps* self) {
  socket_close(of(self)->socket);
  delete of(self);
}

}  // namespace

int client_stream_connect(uint32_t ip, uint16_t port, int timeout_ms, StreamOps** stream) {
  return client_stream_connect_from(0, ip, port, timeout_ms, stream);
}

int client_stream_connect_from(uint32_t from_ip, uint32_t ip, uint16_t port, int timeout_ms,
                               StreamOps** stream) {
  *stream = nullptr;
  net_startup();
  Socket s = tcp_socket();
  if (s == kNoSocket) return CONNECT_NO_SOCKET;
  if (from_ip != 0 && socket_bind(s, from_ip, 0) != 0) {
    socket_close(s);
    return CONNECT_REFUSED;
  }
  const uint64_t start = monotonic_ms();
  if (socket_connect(s, ip, port, timeout_ms) != 0) {
    socket_close(s);
    return monotonic_ms() - start + 50 >= uint64_t(timeout_ms) ? CONNECT_TIMEOUT
                                                                : CONNECT_REFUSED;
  }
  socket_set_nodelay(s, 1);
  auto* c = new (std::nothrow) ClientStream;
  if (!c) {
    socket_close(s);
    return CONNECT_NO_SOCKET;
  }
  c->ops = StreamOps{recv_exact, send_all, close_stream, c};
  c->socket = s;
  *stream = &c->ops;
  return CONNECT_OK;
}

int client_stream_readable(StreamOps* stream, int timeout_ms) {
  ClientStream* c = of(stream);
  if (c->ahead_pos < c->ahead_len) return 1;
  return socket_wait_readable(c->socket, timeout_ms);
}
