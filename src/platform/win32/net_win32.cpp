// Sockets on Windows (Winsock 2.2).
#include <winsock2.h>
#include <windows.h>

#include <climits>

#include "platform/ipv4_usable.h"
#include "platform/net.h"
#include "platform/net_bsd.h"

namespace {

Socket new_socket(int type, int protocol) {
  SOCKET s = socket(AF_INET, type, protocol);
  if (s == INVALID_SOCKET) return kNoSocket;
  // Processes the agent starts (the self-delete helper) must not inherit its sockets.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<Socket>(s);
}

int set_blocking(Socket s, bool blocking) {
  u_long nonblocking = blocking ? 0 : 1;
  return ioctlsocket(native_socket(s), FIONBIO, &nonblocking) == 0 ? 0 : -1;
}

timeval to_timeval(int timeout_ms) {
  timeval tv;
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  return tv;
}

int clamp_len(size_t len) { return len > INT_MAX ? INT_MAX : static_cast<int>(len); }

}  // namespace

int net_startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : -1;
}

Socket tcp_socket() { return new_socket(SOCK_STREAM, IPPROTO_TCP); }
Socket udp_socket() { return new_socket(SOCK_DGRAM, IPPROTO_UDP); }

void socket_close(Socket s) {
  if (s != kNoSocket) closesocket(native_socket(s));
}

int socket_set_exclusive_addr(Socket s) {
  BOOL on = TRUE;
  return set_socket_opt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, &on, sizeof on);
}

Socket socket_accept(Socket s, uint32_t* peer_ip, uint16_t* peer_port) {
  if (s == kNoSocket) return kNoSocket;
  sockaddr_in a{};
  int alen = sizeof a;
  SOCKET c = accept(native_socket(s), reinterpret_cast<sockaddr*>(&a), &alen);
  if (c == INVALID_SOCKET) return kNoSocket;
  SetHandleInformation(reinterpret_cast<HANDLE>(c), HANDLE_FLAG_INHERIT, 0);
  if (peer_ip) *peer_ip = ntohl(a.sin_addr.s_addr);
  if (peer_port) *peer_port = ntohs(a.sin_port);
  return static_cast<Socket>(c);
}

int socket_connect(Socket s, uint32_t ip, uint16_t port, int timeout_ms) {
  if (s == kNoSocket) return -1;
  sockaddr_in a = make_addr(ip, port);
  if (timeout_ms < 0)
    return connect(native_socket(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
  if (set_blocking(s, false) != 0) return -1;
  int rc = connect(native_socket(s), reinterpret_cast<sockaddr*>(&a), sizeof a);
  bool ok = rc == 0;
  if (!ok && WSAGetLastError() == WSAEWOULDBLOCK) {
    // Writable means connected; a failed attempt shows in the exception set.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(native_socket(s), &writable);
    FD_SET(native_socket(s), &failed);
    timeval tv = to_timeval(timeout_ms);
    if (select(0, nullptr, &writable, &failed, &tv) > 0 && FD_ISSET(native_socket(s), &writable)) {
      int err = 0;
      int elen = sizeof err;
      ok = getsockopt(native_socket(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &elen) == 0 &&
           err == 0;
    }
  }
  if (set_blocking(s, true) != 0) return -1;
  return ok ? 0 : -1;
}

int socket_wait_readable(Socket s, int timeout_ms) {
  if (s == kNoSocket) return -1;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(native_socket(s), &readable);
  timeval tv = to_timeval(timeout_ms);
  int rc = select(0, &readable, nullptr, nullptr, timeout_ms < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return -1;
  return rc > 0 ? 1 : 0;
}

int64_t socket_recv(Socket s, void* buf, size_t len) {
  if (s == kNoSocket) return -1;
  int n = recv(native_socket(s), static_cast<char*>(buf), clamp_len(len), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

// Winsock has no per-call non-blocking flag; asking first costs the same as the wait would.
int64_t socket_recv_ready(Socket s, void* buf, size_t len) {
  const int ready = socket_wait_readable(s, 0);
  if (ready < 0) return -1;
  if (ready == 0) return -2;
  return socket_recv(s, buf, len);
}

int64_t socket_send(Socket s, const void* buf, size_t len) {
  if (s == kNoSocket) return -1;
  int n = send(native_socket(s), static_cast<const char*>(buf), clamp_len(len), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int64_t udp_send_to(Socket s, const void* buf, size_t len, uint32_t ip, uint16_t port) {
  if (s == kNoSocket) return -1;
  sockaddr_in a = make_addr(ip, port);
  int n = sendto(native_socket(s), static_cast<const char*>(buf), clamp_len(len), 0,
                 reinterpret_cast<sockaddr*>(&a), sizeof a);
  return n == SOCKET_ERROR ? -1 : n;
}

int64_t udp_recv_from(Socket s, void* buf, size_t len, uint32_t* ip, uint16_t* port) {
  if (s == kNoSocket) return -1;
  sockaddr_in a{};
  int alen = sizeof a;
  int n = recvfrom(native_socket(s), static_cast<char*>(buf), clamp_len(len), 0,
                   reinterpret_cast<sockaddr*>(&a), &alen);
  if (n == SOCKET_ERROR) return -1;
  if (ip) *ip = ntohl(a.sin_addr.s_addr);
  if (port) *port = ntohs(a.sin_port);
  return n;
}

int list_ipv4_addresses(uint32_t* out, int max) {
  if (!out || max <= 0) return 0;
  Socket s = udp_socket();
  if (s == kNoSocket) return 0;
  static_assert(sizeof(INTERFACE_INFO) == 76, "one interface entry is 76 bytes");
  INTERFACE_INFO entries[32];  // 2432 bytes
  DWORD bytes = 0;
  if (WSAIoctl(native_socket(s), SIO_GET_INTERFACE_LIST, nullptr, 0, entries, sizeof entries, &bytes,
               nullptr, nullptr) != 0) {
    socket_close(s);
    return 0;
  }
  int count = 0;
  size_t n = bytes / sizeof(INTERFACE_INFO);
  for (size_t i = 0; i < n && count < max; ++i) {
    const INTERFACE_INFO& e = entries[i];
    if (!(e.iiFlags & IFF_UP) || (e.iiFlags & IFF_LOOPBACK)) continue;
    if (e.iiAddress.Address.sa_family != AF_INET) continue;
    uint32_t ip = ntohl(e.iiAddress.AddressIn.sin_addr.s_addr);
    if (!ipv4_is_usable(ip)) continue;
    out[count++] = ip;
  }
  socket_close(s);
  return count;
}
