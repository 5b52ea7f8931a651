// Sockets on Linux. Descriptors are close-on-exec, sends never raise SIGPIPE, and waits
// survive signals.
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include "platform/ipv4_usable.h"
#include "platform/net.h"
#include "platform/net_bsd.h"
#include "platform/sync.h"

namespace {

int set_blocking(int fd, bool blocking) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return -1;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(fd, F_SETFL, flags) == 0 ? 0 : -1;
}

// poll() that resumes after signals with the time that is left. 1 ready, 0 time-out, -1 error.
int poll_one(int fd, short events, int timeout_ms) {
  uint64_t deadline = timeout_ms >= 0 ? monotonic_ms() + static_cast<uint64_t>(timeout_ms) : 0;
  for (;;) {
    pollfd p{fd, events, 0};
    int wait = timeout_ms;
    if (timeout_ms >= 0) {
      uint64_t now = monotonic_ms();
      wait = now >= deadline ? 0 : static_cast<int>(deadline - now);
    }
    int rc = poll(&p, 1, wait);
    if (rc > 0) return (p.revents & POLLNVAL) ? -1 : 1;
    if (rc == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

int net_startup() { return 0; }

Socket tcp_socket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return fd < 0 ? kNoSocket : fd;
}

Socket udp_socket() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  return fd < 0 ? kNoSocket : fd;
}

void socket_close(Socket s) {
  if (s != kNoSocket) close(native_socket(s));
}

int socket_set_exclusive_addr(Socket s) {
  // Linux already behaves this way for a socket that never sets SO_REUSEADDR or
  // SO_REUSEPORT: its bind fails on a port someone holds, and nobody can bind the port it
  // holds. SO_REUSEADDR here would do the opposite of what is asked, so nothing is set.
  return s == kNoSocket ? -1 : 0;
}

Socket socket_accept(Socket s, uint32_t* peer_ip, uint16_t* peer_port) {
  if (s == kNoSocket) return kNoSocket;
  sockaddr_in a{};
  socklen_t alen = sizeof a;
  int fd;
  do {
    fd = accept4(native_socket(s), reinterpret_cast<sockaddr*>(&a), &alen, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoSocket;
  if (peer_ip) *peer_ip = ntohl(a.sin_addr.s_addr);
  if (peer_port) *peer_port = ntohs(a.sin_port);
  return fd;
}

int socket_connect(Socket s, uint32_t ip, uint16_t port, int timeout_ms) {
  if (s == kNoSocket) return -1;
  int fd = native_socket(s);
  sockaddr_in a = make_addr(ip, port);
  if (timeout_ms < 0) {
    int rc = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (rc == 0) return 0;
    if (errno != EINTR) return -1;
    // Interrupted: the connection goes on in the background; wait for its outcome.
  } else {
    if (set_blocking(fd, false) != 0) return -1;
    int rc = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
      set_blocking(fd, true);
      return -1;
    }
    if (rc == 0) return set_blocking(fd, true);
  }
  int ready = poll_one(fd, POLLOUT, timeout_ms);
  int err = 0;
  socklen_t elen = sizeof err;
  if (ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &elen) != 0) err = errno;
  if (set_blocking(fd, true) != 0) return -1;
  return ready == 1 && err == 0 ? 0 : -1;
}

int socket_wait_readable(Socket s, int timeout_ms) {
  if (s == kNoSocket) return -1;
  return poll_one(native_socket(s), POLLIN, timeout_ms);
}

int64_t socket_recv(Socket s, void* buf, size_t len) {
  if (s == kNoSocket) return -1;
  for (;;) {
    ssize_t n = recv(native_socket(s), buf, len, 0);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

int64_t socket_recv_ready(Socket s, void* buf, size_t len) {
  if (s == kNoSocket) return -1;
  for (;;) {
    ssize_t n = recv(native_socket(s), buf, len, MSG_DONTWAIT);
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
    if (errno != EINTR) return -1;
  }
}

int64_t socket_send(Socket s, const void* buf, size_t len) {
  if (s == kNoSocket) return -1;
  for (;;) {
    // MSG_NOSIGNAL: a peer that went away is an error result, not a process-killing SIGPIPE.
    ssize_t n = send(native_socket(s), buf, len, MSG_NOSIGNAL);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

int64_t udp_send_to(Socket s, const void* buf, size_t len, uint32_t ip, uint16_t port) {
  if (s == kNoSocket) return -1;
  sockaddr_in a = make_addr(ip, port);
  for (;;) {
    ssize_t n = sendto(native_socket(s), buf, len, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

int64_t udp_recv_from(Socket s, void* buf, size_t len, uint32_t* ip, uint16_t* port) {
  if (s == kNoSocket) return -1;
  sockaddr_in a{};
  for (;;) {
    socklen_t alen = sizeof a;
    ssize_t n = recvfrom(native_socket(s), buf, len, 0, reinterpret_cast<sockaddr*>(&a), &alen);
    if (n >= 0) {
      if (ip) *ip = ntohl(a.sin_addr.s_addr);
      if (port) *port = ntohs(a.sin_port);
      return n;
    }
    if (errno != EINTR) return -1;
  }
}

int list_ipv4_addresses(uint32_t* out, int max) {
  if (!out || max <= 0) return 0;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return 0;
  int count = 0;
  for (ifaddrs* i = list; i && count < max; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
    uint32_t ip = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    if (!ipv4_is_usable(ip)) continue;
    out[count++] = ip;
  }
  freeifaddrs(list);
  return count;
}
