#include "client_stream.h"

#include <cstddef>
#include <new>

#include "platform/net.h"
#include "platform/sync.h"

namespace {

// The slots come first so that the channel's StreamOps* is this record.
struct ClientStream {
  StreamOps ops;
  Socket socket;
};

ClientStream* of(StreamOps* self) { return reinterpret_cast<ClientStream*>(self); }

int recv_exact(StreamOps* self, void* buf, size_t len, int timeout_ms) {
  auto* p = static_cast<uint8_t*>(buf);
  while (len > 0) {
    int ready = socket_wait_readable(of(self)->socket, timeout_ms);
    if (ready == 0) return -2;
    if (ready < 0) return -3;
    int64_t got = socket_recv(of(self)->socket, p, len);
    if (got <= 0) return -3;
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
  auto* c = new (std::nothrow) ClientStream{{recv_exact, send_all, close_stream, nullptr}, s};
  if (!c) {
    socket_close(s);
    return CONNECT_NO_SOCKET;
  }
  c->ops.ctx = c;
  *stream = &c->ops;
  return CONNECT_OK;
}

int client_stream_readable(StreamOps* stream, int timeout_ms) {
  return socket_wait_readable(of(stream)->socket, timeout_ms);
}
