#pragma once
// Sockets: the small seam the listener, the sender and the mDNS responder stand on.
// IPv4 only. Addresses and ports are in host byte order. Results: 0 success, -1 failure
// unless stated.
#include <cstddef>
#include <cstdint>

typedef intptr_t Socket;
constexpr Socket kNoSocket = -1;

// Starts the socket library (Windows Sockets 2.2); nothing to do elsewhere. Repeatable.
int net_startup();

Socket tcp_socket();
Socket udp_socket();
void socket_close(Socket s);  // kNoSocket allowed
// Ends both directions of a connection: a wait on it returns at once and reads see the end,
// in whichever thread they are. The socket stays open until socket_close.
int socket_shutdown(Socket s);

// No other socket may bind the same port while this one holds it, and this one does not
// share a port another program holds.
int socket_set_exclusive_addr(Socket s);
int socket_set_reuse_addr(Socket s);
int socket_set_nodelay(Socket s, int on);
int socket_set_keepalive(Socket s, int on);
int socket_set_buffers(Socket s, int bytes);  // send and receive buffer sizes
int socket_bind(Socket s, uint32_t ip, uint16_t port);
int socket_listen(Socket s, int backlog);
// The accepted socket, or kNoSocket. peer_ip/peer_port may be null.
Socket socket_accept(Socket s, uint32_t* peer_ip, uint16_t* peer_port);
// Connects within timeout_ms (negative: the system's own limit).
int socket_connect(Socket s, uint32_t ip, uint16_t port, int timeout_ms);
int socket_local_port(Socket s, uint16_t* port);

// 1 readable (or closed), 0 time-out, -1 error. Negative timeout waits without limit.
int socket_wait_readable(Socket s, int timeout_ms);
// Bytes received, 0 when the peer closed, -1 on error.
int64_t socket_recv(Socket s, void* buf, size_t len);
// As socket_recv, but -2 instead of waiting when nothing has arrived yet.
int64_t socket_recv_ready(Socket s, void* buf, size_t len);
// Bytes sent (possibly fewer than len), -1 on error.
int64_t socket_send(Socket s, const void* buf, size_t len);

// UDP and multicast.
int udp_set_multicast_ttl(Socket s, int ttl);
int udp_set_multicast_loop(Socket s, int on);
int udp_set_multicast_if(Socket s, uint32_t iface_ip);
int udp_join_group(Socket s, uint32_t group, uint32_t iface_ip);
int udp_leave_group(Socket s, uint32_t group, uint32_t iface_ip);
int64_t udp_send_to(Socket s, const void* buf, size_t len, uint32_t ip, uint16_t port);
// Bytes received and the sender's address, or -1.
int64_t udp_recv_from(Socket s, void* buf, size_t len, uint32_t* ip, uint16_t* port);

// The machine's usable IPv4 addresses in the system's order: interfaces up, not loopback,
// not 0.0.0.0, 127.0.0.0/8 or 169.254.0.0/16. At most max; returns the count (0 on failure).
int list_ipv4_addresses(uint32_t* out, int max);

// "a.b.c.d" of an address, into a buffer of at least 16 bytes.
void ipv4_to_text(uint32_t ip, char out[16]);
// Parses "a.b.c.d"; 0 and the address, or -1.
int ipv4_from_text(const char* text, uint32_t* ip);
