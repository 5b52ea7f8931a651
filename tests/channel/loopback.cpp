#include "loopback.h"

#include <algorithm>

#include "platform/net.h"

static constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1
static constexpr size_t kChunk = 65536;

static Socket sock_of(StreamOps* self) { return *static_cast<Socket*>(self->ctx); }

static int lb_recv_exact(StreamOps* self, void* buf, size_t len, int timeout_ms) {
    uint8_t* p = static_cast<uint8_t*>(buf);
    while (len > 0) {
        int w = socket_wait_readable(sock_of(self), timeout_ms);
        if (w == 0) return -2;
        if (w < 0) return -3;
        int64_t got = socket_recv(sock_of(self), p, std::min(len, kChunk));
        if (got <= 0) return -3;
        p += got;
        len -= static_cast<size_t>(got);
    }
    return 0;
}

static int lb_send_all(StreamOps* self, const void* buf, size_t len) {
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    while (len > 0) {
        int64_t sent = socket_send(sock_of(self), p, std::min(len, kChunk));
        if (sent <= 0) return -1;
        p += sent;
        len -= static_cast<size_t>(sent);
    }
    return 0;
}

static void lb_close(StreamOps* self) {
    Socket* s = static_cast<Socket*>(self->ctx);
    socket_close(*s);
    delete s;
    delete self;
}

static StreamOps* wrap(Socket s) {
    return new StreamOps{lb_recv_exact, lb_send_all, lb_close, new Socket(s)};
}

bool loopback_pair(StreamOps** a, StreamOps** b) {
    *a = *b = nullptr;
    if (net_startup() != 0) return false;
    Socket listener = tcp_socket();
    uint16_t port = 0;
    bool ok = listener != kNoSocket && socket_bind(listener, kLoopback, 0) == 0 &&
              socket_listen(listener, 1) == 0 && socket_local_port(listener, &port) == 0;
    Socket client = ok ? tcp_socket() : kNoSocket;
    ok = ok && client != kNoSocket && socket_connect(client, kLoopback, port, 5000) == 0;
    Socket server = ok ? socket_accept(listener, nullptr, nullptr) : kNoSocket;
    socket_close(listener);
    if (!ok || server == kNoSocket) {
        socket_close(client);
        socket_close(server);
        return false;
    }
    socket_set_nodelay(client, 1);
    socket_set_nodelay(server, 1);
    *a = wrap(client);
    *b = wrap(server);
    return true;
}
