#include "recv/listener.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <new>

#include "channel/channel.h"
#include "channel/handshake.h"
#include "platform/sync.h"
#include "recv/peer_table.h"
#include "recv/recv.h"

namespace {

constexpr size_t kIoPiece = 65536;  // no single send moves more than this
constexpr int kStopPollMs = 20;
constexpr int kStopPolls = 100;     // about two seconds in all
constexpr int kAcceptRetryMs = 50;
// One read of the stream takes at most this many times its time-out in all.
constexpr uint64_t kReadWaits = 2;

}  // namespace

// Who may free the record: the owner until it stops the listener, the accept thread until
// it ends, and every worker until it has uncounted itself. Stop cannot wait for workers
// (a session may sit in a prompt for minutes) nor, beyond its bound, for the accept thread,
// so the record goes away with the last of them rather than with stop.
struct Listener {
  SessionConfig config;  // private copy; sessions read it for as long as they run
  Socket socket;         // closed by the accept thread on its way out
  SessionRunner runner;
  std::atomic<int> stop;
  std::atomic<int> running;
  int connections;  // guarded by lock
  PeerTable peers;  // guarded by lock
  // The workers' connections, so that shutting down can cut them; guarded by lock. A
  // worker's socket leaves the table before it is closed.
  Socket live[kListenerMaxConnections];
  bool cutting;     // guarded by lock: every connection is cut as soon as it is there
  Lock* lock;
  std::atomic<int> refs;
};

namespace {

void listener_release(Listener* l) {
  if (l->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  lock_destroy(l->lock);
  delete l;
}

void uncount_connection(Listener* l, uint32_t ip) {
  LockGuard guard(l->lock);
  --l->connections;
  peer_table_leave(&l->peers, ip);
}

// ---- stream operations over a connected socket ----

// Every read takes whatever else has arrived as well, up to this much: room for several of
// the largest frames. A run of small frames then costs one system call instead of two per
// frame, and a file's data far fewer receives. Each receive that frees room in the socket
// lets TCP tell the sender so; on loopback that window update makes this thread push the
// sender's queued segments itself, work that belongs to the sender's side.
constexpr size_t kReadAhead = 262144;

struct TcpStream {
  StreamOps ops;  // first, so the record the channel hands back is the whole stream
  Socket socket;  // the cell ops.ctx points to
  Listener* owner = nullptr;  // the listener whose live table holds the socket, if any
  size_t ahead_pos = 0, ahead_len = 0;  // unread bytes: ahead[ahead_pos, ahead_len)
  uint8_t ahead[kReadAhead];
};

Socket stream_socket(StreamOps* self) { return *static_cast<Socket*>(self->ctx); }

// The time-out of one wait for the next piece, so that the whole read ends by read_end.
int wait_within(int timeout_ms, uint64_t read_end) {
  if (timeout_ms < 0) return timeout_ms;
  const uint64_t now = monotonic_ms();
  if (now >= read_end) return 0;  // one last look at what has already arrived
  return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(timeout_ms), read_end - now));
}

size_t take_ahead(TcpStream* st, uint8_t* p, size_t len) {
  const size_t n = std::min(len, st->ahead_len - st->ahead_pos);
  if (n > 0) memcpy(p, st->ahead + st->ahead_pos, n);
  st->ahead_pos += n;
  return n;
}

int tcp_recv_exact(StreamOps* self, void* buf, size_t len, int timeout_ms) {
  auto* st = reinterpret_cast<TcpStream*>(self);
  const Socket s = st->socket;
  auto* p = static_cast<uint8_t*>(buf);
  const size_t had = take_ahead(st, p, len);
  p += had;
  len -= had;
  // The limit is per wait, so a peer that keeps sending slowly is not cut off mid-read; but a
  // peer that trickles a byte just inside it would hold the worker for as long as it likes
  // (a 512-byte handshake frame at a byte every 9 s takes over an hour, and four such peers
  // shut every phone out), so the read as a whole ends after a few waits' worth of time.
  const uint64_t read_end =
      monotonic_ms() + static_cast<uint64_t>(timeout_ms < 0 ? 0 : timeout_ms) * kReadWaits;
  while (len > 0) {
    // Data that is already there is taken without asking the system to wait first.
    const int64_t got = socket_recv_ready(s, st->ahead, kReadAhead);
    if (got == -2) {
      const int ready = socket_wait_readable(s, wait_within(timeout_ms, read_end));
      if (ready == 0) return -2;
      if (ready < 0) return -3;
      continue;
    }
    if (got <= 0) return -3;
    st->ahead_pos = 0;
    st->ahead_len = static_cast<size_t>(got);
    const size_t n = take_ahead(st, p, len);
    p += n;
    len -= n;
  }
  return 0;
}

const uint8_t* tcp_borrow(StreamOps* self, size_t len) {
  auto* st = reinterpret_cast<TcpStream*>(self);
  if (st->ahead_len - st->ahead_pos < len) return nullptr;
  const uint8_t* lying = st->ahead + st->ahead_pos;
  st->ahead_pos += len;
  return lying;
}

int tcp_send_all(StreamOps* self, const void* buf, size_t len) {
  const Socket s = stream_socket(self);
  const auto* p = static_cast<const uint8_t*>(buf);
  while (len > 0) {
    const int64_t sent = socket_send(s, p, std::min(len, kIoPiece));
    if (sent <= 0) return -1;
    p += sent;
    len -= static_cast<size_t>(sent);
  }
  return 0;
}

// Enters a worker's socket in the live table (cut at once when the listener is shutting
// down already), or takes it out again.
void track_socket(Listener* l, Socket s, bool live) {
  LockGuard guard(l->lock);
  for (Socket& slot : l->live) {
    if (slot == (live ? kNoSocket : s)) {
      slot = live ? s : kNoSocket;
      break;
    }
  }
  if (live && l->cutting) socket_shutdown(s);
}

void tcp_close(StreamOps* self) {
  auto* stream = reinterpret_cast<TcpStream*>(self);
  // Out of the table first: once closed, the number may be some other file's.
  if (stream->owner) track_socket(stream->owner, stream->socket, false);
  if (stream->socket != kNoSocket) socket_close(stream->socket);
  delete stream;
}

// ---- threads ----

struct WorkerStart {
  Listener* listener;
  Socket socket;
  uint32_t ip;
};

int connection_worker(void* arg) {
  auto* start = static_cast<WorkerStart*>(arg);
  Listener* l = start->listener;
  const Socket s = start->socket;
  const ConnectionPeer peer{l, start->ip};
  delete start;

  if (StreamOps* stream = stream_ops_new(s)) {
    reinterpret_cast<TcpStream*>(stream)->owner = l;
    track_socket(l, s, true);
    l->runner(&l->config, stream, &peer);  // the session closes the stream
  } else {
    socket_close(s);
  }

  uncount_connection(l, peer.ip);
  listener_release(l);
  return 0;
}

// Counts the connection under the lock; false when four workers already run or its address
// holds its share of them.
bool count_connection(Listener* l, uint32_t ip) {
  LockGuard guard(l->lock);
  if (l->connections >= kListenerMaxConnections || !peer_table_enter(&l->peers, ip))
    return false;
  ++l->connections;
  return true;
}

// Hands the connection to a worker of its own, or closes it when there is no worker for it
// or none can be started (the peer sees the connection closed without a word).
void serve_connection(Listener* l, Socket s, uint32_t ip) {
  socket_set_nodelay(s, 1);  // acknowledgements and file results must leave at once
  socket_set_keepalive(s, 1);
  if (!count_connection(l, ip)) {
    socket_close(s);
    return;
  }
  auto* start = new (std::nothrow) WorkerStart{l, s, ip};
  if (start) {
    l->refs.fetch_add(1, std::memory_order_relaxed);  // the worker's hold on the record
    if (thread_start(connection_worker, start) == 0) return;
    l->refs.fetch_sub(1, std::memory_order_relaxed);  // this thread still holds one
    delete start;
  }
  socket_close(s);
  uncount_connection(l, ip);
}

int accept_loop(void* arg) {
  auto* l = static_cast<Listener*>(arg);
  while (!l->stop.load(std::memory_order_acquire)) {
    const int ready = socket_wait_readable(l->socket, kListenerAcceptPollMs);
    if (ready == 0) continue;
    uint32_t ip = 0;
    const Socket s = ready == 1 ? socket_accept(l->socket, &ip, nullptr) : kNoSocket;
    if (s != kNoSocket) {
      serve_connection(l, s, ip);
      continue;
    }
    // A wait or accept that fails at once (no descriptors left, a broken socket) would
    // otherwise turn this loop into a busy spin until stop.
    sleep_ms(kAcceptRetryMs);
  }
  // The socket is closed here rather than by stop: a stop that gave up waiting must not
  // pull the socket from under a thread that may still be inside accept.
  socket_close(l->socket);
  l->running.store(0, std::memory_order_release);
  listener_release(l);
  return 0;
}

// The first port of the block this process can hold alone, listening; kNoSocket if none.
Socket bind_first_free(int base_port, int* bound_port) {
  for (int port = base_port; port < base_port + kListenerPortCount; ++port) {
    if (port < 1 || port > 65535) continue;
    const Socket s = tcp_socket();
    if (s == kNoSocket) continue;
    if (socket_set_exclusive_addr(s) == 0 &&
        socket_bind(s, 0 /* every local address */, static_cast<uint16_t>(port)) == 0 &&
        socket_listen(s, kListenerBacklog) == 0) {
      *bound_port = port;
      return s;
    }
    socket_close(s);
  }
  return kNoSocket;
}

}  // namespace

const SessionRunner kDefaultSessionRunner = receive_session_run_from;

Listener* listener_start(const SessionConfig* config, int base_port, int* out_port) {
  return listener_start_with_runner(config, base_port, out_port, kDefaultSessionRunner);
}

Listener* listener_start_with_runner(const SessionConfig* config, int base_port,
                                     int* out_port, SessionRunner runner) {
  if (net_startup() != 0) return nullptr;
  auto* l = new (std::nothrow) Listener{};
  if (!l) return nullptr;
  l->config = *config;
  l->runner = runner;
  std::fill(std::begin(l->live), std::end(l->live), kNoSocket);
  l->lock = lock_create();
  int port = 0;
  l->socket = l->lock ? bind_first_free(base_port, &port) : kNoSocket;
  if (l->socket == kNoSocket) {
    lock_destroy(l->lock);
    delete l;
    return nullptr;
  }

  l->running.store(1, std::memory_order_relaxed);
  l->refs.store(2, std::memory_order_relaxed);  // the owner and the accept thread
  if (thread_start(accept_loop, l) != 0) {
    socket_close(l->socket);
    lock_destroy(l->lock);
    delete l;
    return nullptr;
  }
  // Reported only once the port is really being served.
  if (out_port) *out_port = port;
  return l;
}

void listener_stop(Listener* listener) {
  if (!listener) return;
  listener->stop.store(1, std::memory_order_release);
  for (int i = 0; i < kStopPolls && listener->running.load(std::memory_order_acquire); ++i)
    sleep_ms(kStopPollMs);
  listener_release(listener);
}

int listener_shutdown(Listener* listener, int wait_ms) {
  if (!listener) return 0;
  listener->stop.store(1, std::memory_order_release);
  {
    LockGuard guard(listener->lock);
    listener->cutting = true;
    for (Socket s : listener->live) {
      if (s != kNoSocket) socket_shutdown(s);
    }
  }
  int left = 0;
  for (int waited = 0;; waited += kStopPollMs) {
    left = listener_connections(listener);
    if ((left == 0 && !listener->running.load(std::memory_order_acquire)) || waited >= wait_ms)
      break;
    sleep_ms(kStopPollMs);
  }
  listener_release(listener);
  return left;
}

int listener_connections(Listener* listener) {
  LockGuard guard(listener->lock);
  return listener->connections;
}

bool listener_begin_pairing(const ConnectionPeer* peer) {
  LockGuard guard(peer->listener->lock);
  return peer_table_begin_pairing(&peer->listener->peers, peer->ip);
}

void listener_end_pairing(const ConnectionPeer* peer) {
  LockGuard guard(peer->listener->lock);
  peer_table_end_pairing(&peer->listener->peers, peer->ip);
}

StreamOps* stream_ops_new(Socket s) {
  auto* stream = new (std::nothrow) TcpStream;
  if (!stream) return nullptr;
  stream->ops = StreamOps{};
  stream->socket = s;
  stream->ops.recv_exact = tcp_recv_exact;
  stream->ops.borrow = tcp_borrow;
  stream->ops.send_all = tcp_send_all;
  stream->ops.close = tcp_close;
  stream->ops.ctx = &stream->socket;
  return &stream->ops;
}
