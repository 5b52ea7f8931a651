#pragma once
// The sender's end of a TCP connection to an agent, as the byte-stream operations the
// secure channel reads and writes through. Besides the stream slots it can tell whether
// bytes are waiting, so the sender can take the agent's acknowledgements while it sends.

#include <cstdint>

#include "channel/stream.h"

enum ConnectResult {
  CONNECT_OK = 0,
  CONNECT_REFUSED = -1,   // the attempt failed before the time-out (refused or unreachable)
  CONNECT_TIMEOUT = -2,   // no answer within the time-out
  CONNECT_NO_SOCKET = -3, // no socket or memory to make one
};

// Connects to ip:port (host byte order) within timeout_ms; *stream receives the new stream,
// closed and freed by its close slot. Returns a ConnectResult.
int client_stream_connect(uint32_t ip, uint16_t port, int timeout_ms, StreamOps** stream);
// The same from the local address from_ip (0: the system's choice), as several hosts would
// connect (tests give each host an address of 127/8).
int client_stream_connect_from(uint32_t from_ip, uint32_t ip, uint16_t port, int timeout_ms,
                               StreamOps** stream);

// 1 when the agent has sent bytes not yet read (or closed the connection), 0 when nothing
// arrived within timeout_ms, -1 on a socket error. The stream must come from
// client_stream_connect.
int client_stream_readable(StreamOps* stream, int timeout_ms);
