#pragma once
// The TCP listener: accepts the phone's connections on the first free port of a block of
// twenty and runs each on a detached worker thread of its own, at most four at a time and at
// most two for one remote address (recv/peer_table.h). It also supplies the byte-stream
// operations the secure channel reads and writes through.

#include <cstdint>

#include "channel/stream.h"
#include "platform/net.h"
#include "recv/session_config.h"

constexpr int kListenerBasePort = 47650;
constexpr int kListenerPortCount = 20;
constexpr int kListenerBacklog = 8;
constexpr int kListenerMaxConnections = 4;
constexpr int kListenerAcceptPollMs = 300;

struct Listener;

// Where a connection comes from, for what the listener shares out per address.
struct ConnectionPeer {
  Listener* listener;  // valid for as long as the connection's worker runs
  uint32_t ip;         // the remote IPv4 address, host byte order
};

// One connection from handshake to close, on its worker thread. config is the listener's
// own copy; the runner must end by calling stream->close(stream), which frees the stream.
// peer is valid during the call.
typedef void (*SessionRunner)(const SessionConfig* config, StreamOps* stream,
                              const ConnectionPeer* peer);

// The session every connection of listener_start runs.
extern const SessionRunner kDefaultSessionRunner;

// Copies *config, binds the first of base_port .. base_port + 19 that it can hold
// exclusively on all local IPv4 addresses, and starts the accept thread. Writes the bound
// port to *out_port when out_port is not null. Null when no port of the block can be bound
// or a resource (memory, lock, thread) is missing; nothing is logged.
Listener* listener_start(const SessionConfig* config, int base_port, int* out_port);
// The same with another session body for every connection (runner must not be null).
Listener* listener_start_with_runner(const SessionConfig* config, int base_port,
                                     int* out_port, SessionRunner runner);

// Stops accepting and returns: within about 300 ms normally, after about 2 s at most even
// when the accept thread has not ended. Once the accept thread is gone the port is free
// again. Running sessions go on to their end with the listener's config copy. The caller
// must not use the listener afterwards. Null is allowed and does nothing.
void listener_stop(Listener* listener);

// Stops accepting and cuts every running connection (its session sees the connection end,
// keeps its partial files for a resume and returns), then waits at most wait_ms for the
// workers and the accept thread to finish. Returns how many workers are still running: a
// session waiting for the user's answer cannot be cut, and whatever it uses (the config's
// trust store and allowance) must then stay. The caller must not use the listener
// afterwards. Null is allowed and gives 0.
int listener_shutdown(Listener* listener, int wait_ms);

// Connection workers started and not yet finished.
int listener_connections(Listener* listener);

// Claims the one pairing prompt the peer's address may have open; false while another
// connection from that address has one open. Every true is followed by
// listener_end_pairing once the prompt is answered.
bool listener_begin_pairing(const ConnectionPeer* peer);
void listener_end_pairing(const ConnectionPeer* peer);

// Stream operations over a connected socket, which the stream then owns (its close closes
// the socket). Null when memory runs out; the socket is then left to the caller.
//   recv_exact: each wait for data is limited to timeout_ms (negative: no limit), and the
//               whole read to twice timeout_ms, so that a peer trickling bytes cannot hold
//               a worker; 0, -2 when a wait or the whole read ran out, -3 on an error or
//               when the peer closed.
//   send_all:   sends in pieces of at most 64 KiB; 0, or -1 on an error or closed peer.
StreamOps* stream_ops_new(Socket s);
