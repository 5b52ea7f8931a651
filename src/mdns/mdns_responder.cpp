#include "mdns/mdns_responder.h"

#include <atomic>
#include <cstring>
#include <new>

#include "mdns/reply_limit.h"
#include "platform/net.h"
#include "platform/sync.h"

namespace {

constexpr size_t kReceiveBuffer = 2048;
constexpr size_t kResponseBuffer = 1400;
constexpr int kPollMs = 250;
constexpr uint64_t kSecondAnnounceMs = 1000;
constexpr uint64_t kRefreshAfterMs = 4999;
constexpr int kStopPolls = 100;
constexpr uint32_t kStopPollMs = 50;

// Thread states in MdnsResponder::running.
constexpr int kThreadDone = 0;
constexpr int kThreadRunning = 1;
constexpr int kThreadOrphaned = 2;  // stop gave up waiting: the thread releases the responder

}  // namespace

struct MdnsResponder {
  ServiceDescription description;  // guarded by lock
  Lock* lock;
  Socket socket;
  std::atomic<int> stop_requested;
  std::atomic<int> running;
  std::atomic<int> update_pending;
  MdnsLog log;
  // Used only by the responder thread once it runs.
  uint32_t joined[kMaxAddresses];
  int joined_count;
  // Addresses found whose join failed: tried again at every refresh.
  uint32_t unjoined[kMaxAddresses];
  int unjoined_count;
};

namespace {

void release(MdnsResponder* r) {
  socket_close(r->socket);
  lock_destroy(r->lock);
  delete r;
}

void log_line(const MdnsResponder* r, const char* line) {
  if (r->log) r->log(line);
}

void snapshot(MdnsResponder* r, ServiceDescription* out) {
  LockGuard guard(r->lock);
  *out = r->description;
}

// Multicast goes out once per joined interface so that every network hears it; with no
// joined interface the system's default route is the only way out.
void send_multicast(MdnsResponder* r, const uint8_t* msg, size_t len) {
  if (r->joined_count == 0) {
    udp_send_to(r->socket, msg, len, kMdnsGroup, kMdnsPort);
    return;
  }
  for (int i = 0; i < r->joined_count; i++) {
    udp_set_multicast_if(r->socket, r->joined[i]);
    udp_send_to(r->socket, msg, len, kMdnsGroup, kMdnsPort);
  }
}

void announce(MdnsResponder* r, bool goodbye) {
  ServiceDescription d;
  snapshot(r, &d);
  uint8_t msg[kResponseBuffer];
  int len = dns_build_response(&d, kAnswerAnnounce, goodbye ? 1 : 0, msg, sizeof msg);
  if (len > 0) send_multicast(r, msg, size_t(len));
}

// Joins the group on address, entering it in the joined or the unjoined list.
void join(MdnsResponder* r, uint32_t address) {
  if (udp_join_group(r->socket, kMdnsGroup, address) == 0)
    r->joined[r->joined_count++] = address;
  else
    r->unjoined[r->unjoined_count++] = address;
}

// Tries the joins that failed before (a network whose interface was not ready, a membership
// limit reached); true when one of them succeeded. On Linux a second address of an interface
// that has joined already keeps failing here, harmlessly.
bool retry_joins(MdnsResponder* r) {
  uint32_t failed[kMaxAddresses];
  const int count = r->unjoined_count;
  memcpy(failed, r->unjoined, sizeof(uint32_t) * size_t(count));
  const int joined_before = r->joined_count;
  r->unjoined_count = 0;
  for (int i = 0; i < count; i++) join(r, failed[i]);
  return r->joined_count > joined_before;
}

// Re-joins the group on the machine's current addresses; true when they changed. The
// comparison is against the addresses found last time, not the joined list: on Linux a
// second address of one interface cannot join the group again (the interface has it
// already), and comparing with the joined list would call that a change every 5 seconds.
bool refresh_interfaces(MdnsResponder* r) {
  uint32_t found[kMaxAddresses];
  int count = list_ipv4_addresses(found, kMaxAddresses);
  if (count < 0) count = 0;
  if (count > kMaxAddresses) count = kMaxAddresses;
  {
    LockGuard guard(r->lock);
    const ServiceDescription& d = r->description;
    if (count == d.address_count &&
        memcmp(found, d.addresses, sizeof(uint32_t) * size_t(count)) == 0)
      return false;
  }
  for (int i = 0; i < r->joined_count; i++)
    udp_leave_group(r->socket, kMdnsGroup, r->joined[i]);
  r->joined_count = 0;
  r->unjoined_count = 0;
  for (int i = 0; i < count; i++) join(r, found[i]);
  LockGuard guard(r->lock);
  memcpy(r->description.addresses, found, sizeof(uint32_t) * size_t(count));
  r->description.address_count = count;
  return true;
}

// Answers one datagram when it is a query for our records, within the limits on replies.
void handle_datagram(MdnsResponder* r, const uint8_t* data, size_t len, uint32_t src_ip,
                     uint16_t src_port, ReplyLimit& limit) {
  ServiceDescription d;
  snapshot(r, &d);
  if (!dns_is_query(data, len)) return;
  int unicast = 0;
  int answers = dns_parse_query(&d, data, len, &unicast);
  if (answers == 0) return;
  if (!reply_limit_allow(&limit, src_ip, answers, monotonic_ms())) return;
  uint8_t msg[kResponseBuffer];
  int out = dns_build_response(&d, answers, 0, msg, sizeof msg);
  if (out <= 0) return;  // an oversized answer still counts as a reply
  if (unicast)
    udp_send_to(r->socket, msg, size_t(out), src_ip, src_port);
  else
    send_multicast(r, msg, size_t(out));
}

void receive_one(MdnsResponder* r, ReplyLimit& limit) {
  if (socket_wait_readable(r->socket, kPollMs) != 1) return;
  uint8_t buf[kReceiveBuffer];
  uint32_t src_ip = 0;
  uint16_t src_port = 0;
  int64_t got = udp_recv_from(r->socket, buf, sizeof buf, &src_ip, &src_port);
  if (got > 0) handle_datagram(r, buf, size_t(got), src_ip, src_port, limit);
}

int responder_thread(void* arg) {
  MdnsResponder* r = static_cast<MdnsResponder*>(arg);
  const uint64_t start = monotonic_ms();
  uint64_t refreshed = start;
  bool second_pending = true;
  ReplyLimit limit{};
  announce(r, false);
  while (!r->stop_requested.load()) {
    receive_one(r, limit);
    uint64_t now = monotonic_ms();
    if (second_pending && now >= start + kSecondAnnounceMs) {
      second_pending = false;
      announce(r, false);
    }
    if (r->update_pending.exchange(0)) announce(r, false);
    if (now - refreshed > kRefreshAfterMs) {
      if (refresh_interfaces(r)) {
        log_line(r, "mdns: ip list changed");
        announce(r, false);
      } else if (retry_joins(r)) {
        announce(r, false);  // the network that could not hear us so far
      }
      refreshed = now;
    }
  }
  announce(r, true);
  // After this exchange the responder belongs to stop again, unless stop already gave up
  // waiting; then nobody else will ever release it.
  if (r->running.exchange(kThreadDone) == kThreadOrphaned) release(r);
  return 0;
}

// Socket bound to 0.0.0.0:5353 with address reuse and the multicast options, or a log line.
bool open_socket(MdnsResponder* r) {
  net_startup();
  r->socket = udp_socket();
  if (r->socket == kNoSocket || !r->lock) {
    log_line(r, "mdns: socket failed");
    return false;
  }
  socket_set_reuse_addr(r->socket);
  if (socket_bind(r->socket, 0, kMdnsPort) != 0) {
    log_line(r, "mdns: bind 5353 failed");
    return false;
  }
  udp_set_multicast_ttl(r->socket, 255);
  udp_set_multicast_loop(r->socket, 1);
  return true;
}

}  // namespace

MdnsResponder* mdns_start(const ServiceDescription* description, MdnsLog log) {
  if (!description) return nullptr;
  MdnsResponder* r = new (std::nothrow) MdnsResponder();
  if (!r) {
    if (log) log("mdns: socket failed");
    return nullptr;
  }
  r->description = *description;
  r->description.address_count = 0;
  r->log = log;
  r->lock = lock_create();
  r->socket = kNoSocket;
  if (!open_socket(r)) {
    release(r);
    return nullptr;
  }
  refresh_interfaces(r);
  r->running.store(kThreadRunning);
  if (thread_start(responder_thread, r) != 0) {
    r->running.store(kThreadDone);
    release(r);
    return nullptr;
  }
  return r;
}

void mdns_update(MdnsResponder* r, const ServiceDescription* description) {
  if (!r || !description) return;
  {
    LockGuard guard(r->lock);
    uint32_t addresses[kMaxAddresses];
    memcpy(addresses, r->description.addresses, sizeof addresses);
    int count = r->description.address_count;
    r->description = *description;
    memcpy(r->description.addresses, addresses, sizeof addresses);
    r->description.address_count = count;
  }
  r->update_pending.store(1);
}

void mdns_stop(MdnsResponder* r) {
  if (!r) return;
  r->stop_requested.store(1);
  for (int i = 0; i < kStopPolls; i++) {
    if (r->running.load() == kThreadDone) {
      release(r);
      return;
    }
    sleep_ms(kStopPollMs);
  }
  // The thread overran the wait: hand the responder over to it, unless it finished just now.
  if (r->running.exchange(kThreadOrphaned) == kThreadDone) release(r);
}
