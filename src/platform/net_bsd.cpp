// Socket calls that Winsock and Linux spell alike. Every option value is a 4-byte int,
// which both take (Windows documents BOOL or DWORD for some: both are 4 bytes).
#include "platform/net_bsd.h"

#ifndef _WIN32
#include <netinet/tcp.h>
#endif

namespace {

int set_int_opt(Socket s, int level, int name, int value) {
  return set_socket_opt(s, level, name, &value, sizeof value);
}

int membership(Socket s, int option, uint32_t group, uint32_t iface_ip) {
  ip_mreq m{};
  m.imr_multiaddr.s_addr = htonl(group);
  m.imr_interface.s_addr = htonl(iface_ip);
  return set_socket_opt(s, IPPROTO_IP, option, &m, sizeof m);
}

}  // namespace

sockaddr_in make_addr(uint32_t ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(ip);
  a.sin_port = htons(port);
  return a;
}

int set_socket_opt(Socket s, int level, int name, const void* value, int size) {
  if (s == kNoSocket) return -1;
  return setsockopt(native_socket(s), level, name, static_cast<const char*>(value),
                    static_cast<SockLen>(size)) == 0
             ? 0
             : -1;
}

int socket_shutdown(Socket s) {
#ifdef _WIN32
  const int both = SD_BOTH;
#else
  const int both = SHUT_RDWR;
#endif
  return s != kNoSocket && shutdown(native_socket(s), both) == 0 ? 0 : -1;
}

int socket_set_reuse_addr(Socket s) { return set_int_opt(s, SOL_SOCKET, SO_REUSEADDR, 1); }

int socket_set_nodelay(Socket s, int on) {
  return set_int_opt(s, IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0);
}

int socket_set_keepalive(Socket s, int on) {
  return set_int_opt(s, SOL_SOCKET, SO_KEEPALIVE, on ? 1 : 0);
}

int socket_set_buffers(Socket s, int bytes) {
  int a = set_int_opt(s, SOL_SOCKET, SO_SNDBUF, bytes);
  int b = set_int_opt(s, SOL_SOCKET, SO_RCVBUF, bytes);
  return a == 0 && b == 0 ? 0 : -1;
}

int socket_bind(Socket s, uint32_t ip, uint16_t port) {
  if (s == kNoSocket) return -1;
  sockaddr_in a = make_addr(ip, port);
  return bind(native_socket(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
}

int socket_listen(Socket s, int backlog) {
  if (s == kNoSocket) return -1;
  return listen(native_socket(s), backlog) == 0 ? 0 : -1;
}

int socket_local_port(Socket s, uint16_t* port) {
  if (s == kNoSocket) return -1;
  sockaddr_in a{};
  SockLen alen = sizeof a;
  if (getsockname(native_socket(s), reinterpret_cast<sockaddr*>(&a), &alen) != 0) return -1;
  if (port) *port = ntohs(a.sin_port);
  return 0;
}

int udp_set_multicast_ttl(Socket s, int ttl) {
  return set_int_opt(s, IPPROTO_IP, IP_MULTICAST_TTL, ttl);
}

int udp_set_multicast_loop(Socket s, int on) {
  return set_int_opt(s, IPPROTO_IP, IP_MULTICAST_LOOP, on ? 1 : 0);
}

int udp_set_multicast_if(Socket s, uint32_t iface_ip) {
  in_addr a{};
  a.s_addr = htonl(iface_ip);
  return set_socket_opt(s, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a);
}

int udp_join_group(Socket s, uint32_t group, uint32_t iface_ip) {
  return membership(s, IP_ADD_MEMBERSHIP, group, iface_ip);
}

int udp_leave_group(Socket s, uint32_t group, uint32_t iface_ip) {
  return membership(s, IP_DROP_MEMBERSHIP, group, iface_ip);
}
