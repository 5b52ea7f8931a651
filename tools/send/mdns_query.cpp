#include "mdns_query.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/net.h"
#include "platform/sync.h"

namespace {

constexpr uint64_t kRequeryMs = 1000;   // the responder drops queries within 900 ms of a reply
constexpr size_t kNameCap = 256;
constexpr const char* kInstanceSuffix = "._ferrylink._tcp.local";

// One resource record as it sits in the packet.
struct Record {
  char name[kNameCap];
  size_t name_len;
  uint16_t type;
  uint32_t ttl;
  size_t rdata;  // offset of RDATA
  uint16_t rdlength;
};

// Reads the record at *pos and moves *pos past it; false when it is malformed.
bool read_record(const uint8_t* p, size_t n, size_t* pos, Record* r) {
  size_t after = 0;
  int len = dns_read_name(p, n, *pos, r->name, sizeof r->name, &after);
  if (len < 0 || after + 10 > n) return false;
  r->name_len = size_t(len);
  r->type = dns_get16(p + after);
  r->ttl = dns_get32(p + after + 4);
  r->rdlength = dns_get16(p + after + 8);
  r->rdata = after + 10;
  if (r->rdata + r->rdlength > n) return false;
  *pos = r->rdata + r->rdlength;
  return true;
}

// The instance label of "<label>._ferrylink._tcp.local", or -1 for any other name.
int instance_label_length(const char* name, size_t len) {
  const size_t suffix = strlen(kInstanceSuffix);
  if (len <= suffix) return -1;
  if (!dns_name_equal(name + len - suffix, suffix, kInstanceSuffix, suffix)) return -1;
  return int(len - suffix);
}

void copy_text(char* out, size_t cap, const char* text, size_t len) {
  if (len >= cap) len = cap - 1;
  memcpy(out, text, len);
  out[len] = '\0';
}

// Index of the agent with this instance label, or -1.
int agent_index(const MdnsCollected* c, const char* label, size_t len) {
  for (int i = 0; i < c->agent_count; i++) {
    const char* have = c->agents[i].info.instance;
    if (dns_name_equal(have, strlen(have), label, len)) return i;
  }
  return -1;
}

MdnsCollected::Agent* find_agent(MdnsCollected* c, const char* label, size_t len) {
  int i = agent_index(c, label, len);
  return i < 0 ? nullptr : &c->agents[i];
}

MdnsCollected::Agent* find_or_add_agent(MdnsCollected* c, const char* label, size_t len) {
  MdnsCollected::Agent* a = find_agent(c, label, len);
  if (a || c->agent_count == kMaxDiscovered) return a;
  a = &c->agents[c->agent_count++];
  memset(a, 0, sizeof *a);
  copy_text(a->info.instance, sizeof a->info.instance, label, len);
  return a;
}

void forget_agent(MdnsCollected* c, const char* label, size_t len) {
  MdnsCollected::Agent* a = find_agent(c, label, len);
  if (!a) return;
  // Keep the order in which agents were first heard.
  MdnsCollected::Agent* end = c->agents + c->agent_count;
  memmove(a, a + 1, size_t(end - (a + 1)) * sizeof *a);
  c->agent_count--;
}

// Index of the host with this name, or -1.
int host_index(const MdnsCollected* c, const char* name, size_t len) {
  for (int i = 0; i < c->host_count; i++) {
    const char* have = c->hosts[i].name;
    if (dns_name_equal(have, strlen(have), name, len)) return i;
  }
  return -1;
}

void note_address(MdnsCollected* c, const Record& r, const uint8_t* p) {
  if (r.rdlength != 4) return;
  uint32_t ip = dns_get32(p + r.rdata);
  int at = host_index(c, r.name, r.name_len);
  MdnsCollected::Host* h = at < 0 ? nullptr : &c->hosts[at];
  if (!h) {
    if (r.ttl == 0 || c->host_count == kMaxDiscovered) return;
    h = &c->hosts[c->host_count++];
    memset(h, 0, sizeof *h);
    copy_text(h->name, sizeof h->name, r.name, r.name_len);
  }
  for (int i = 0; i < h->ip_count; i++) {
    if (h->ips[i] != ip) continue;
    if (r.ttl == 0) h->ips[i] = h->ips[--h->ip_count];
    return;
  }
  if (r.ttl != 0 && h->ip_count < kMaxAddresses) h->ips[h->ip_count++] = ip;
}

void note_pointer(MdnsCollected* c, const Record& r, const uint8_t* p, size_t n) {
  if (!dns_name_equal(r.name, r.name_len, kServiceType, strlen(kServiceType))) return;
  char target[kNameCap];
  size_t after = 0;
  int len = dns_read_name(p, n, r.rdata, target, sizeof target, &after);
  if (len < 0 || after > r.rdata + r.rdlength) return;
  int label = instance_label_length(target, size_t(len));
  if (label <= 0) return;
  if (r.ttl == 0)
    forget_agent(c, target, size_t(label));
  else
    find_or_add_agent(c, target, size_t(label));
}

void note_service(MdnsCollected* c, const Record& r, const uint8_t* p, size_t n,
                  uint32_t source_ip) {
  int label = instance_label_length(r.name, r.name_len);
  if (label <= 0 || r.rdlength < 7) return;
  if (r.ttl == 0) {
    forget_agent(c, r.name, size_t(label));
    return;
  }
  char target[kNameCap];
  size_t after = 0;
  int len = dns_read_name(p, n, r.rdata + 6, target, sizeof target, &after);
  if (len < 0 || after > r.rdata + r.rdlength) return;
  MdnsCollected::Agent* a = find_or_add_agent(c, r.name, size_t(label));
  if (!a) return;
  a->info.port = dns_get16(p + r.rdata + 4);
  copy_text(a->info.host, sizeof a->info.host, target, size_t(len));
  a->source_ip = source_ip;
  a->has_srv = true;
}

void note_text(MdnsCollected* c, const Record& r, const uint8_t* p) {
  int label = instance_label_length(r.name, r.name_len);
  if (label <= 0 || r.ttl == 0) return;
  MdnsCollected::Agent* a = find_or_add_agent(c, r.name, size_t(label));
  if (!a) return;
  DiscoveredAgent& info = a->info;
  info.txt_count = 0;
  info.device_id[0] = '\0';
  size_t pos = r.rdata;
  const size_t end = r.rdata + r.rdlength;
  while (pos < end && info.txt_count < kMaxTxtStrings) {
    size_t len = p[pos];
    if (pos + 1 + len > end) break;
    if (len > 0) {
      char* slot = info.txt[info.txt_count++];
      copy_text(slot, kTxtSlot, reinterpret_cast<const char*>(p + pos + 1), len);
      if (strncmp(slot, "id=", 3) == 0)
        snprintf(info.device_id, sizeof info.device_id, "%s", slot + 3);
    }
    pos += 1 + len;
  }
}

// The address to reach an agent at: the SRV sender when the host's A records include it
// (it is known to be reachable from here), else the host's first address, else the sender.
uint32_t resolve_address(const MdnsCollected* c, const MdnsCollected::Agent& a) {
  int at = host_index(c, a.info.host, strlen(a.info.host));
  if (at < 0 || c->hosts[at].ip_count == 0) return a.source_ip;
  const MdnsCollected::Host* h = &c->hosts[at];
  for (int i = 0; i < h->ip_count; i++)
    if (h->ips[i] == a.source_ip) return a.source_ip;
  return h->ips[0];
}

// Which agent a browse waits for; null instance: all of them, for the whole time.
struct BrowseGoal {
  const char* instance;
};

bool goal_reached(const MdnsCollected* c, const BrowseGoal& goal) {
  if (!goal.instance) return false;
  int i = agent_index(c, goal.instance, strlen(goal.instance));
  return i >= 0 && c->agents[i].has_srv && resolve_address(c, c->agents[i]) != 0;
}

// One copy of the query per interface, so that agents on every network hear it.
void send_query(Socket s, const uint8_t* q, size_t len) {
  uint32_t ifs[kMaxAddresses];
  int count = list_ipv4_addresses(ifs, kMaxAddresses);
  if (count <= 0) {
    udp_send_to(s, q, len, kMdnsGroup, kMdnsPort);
    return;
  }
  for (int i = 0; i < count; i++) {
    udp_set_multicast_if(s, ifs[i]);
    udp_send_to(s, q, len, kMdnsGroup, kMdnsPort);
  }
}

// Queries and listens until wait_ms has passed or the goal is reached; -1 without a socket.
int run_browse(int wait_ms, const BrowseGoal& goal, MdnsCollected* c) {
  net_startup();
  Socket s = udp_socket();
  if (s == kNoSocket) return -1;
  if (socket_bind(s, 0, 0) != 0) {
    socket_close(s);
    return -1;
  }
  udp_set_multicast_ttl(s, 255);
  udp_set_multicast_loop(s, 1);
  uint8_t query[128];
  int qlen = mdns_build_browse_query(query, sizeof query);
  const uint64_t start = monotonic_ms();
  const uint64_t deadline = start + uint64_t(wait_ms > 0 ? wait_ms : 0);
  uint64_t next_query = start;
  for (uint64_t now = start; now < deadline && !goal_reached(c, goal); now = monotonic_ms()) {
    if (now >= next_query) {
      send_query(s, query, size_t(qlen));
      next_query = now + kRequeryMs;
    }
    uint64_t until = next_query < deadline ? next_query : deadline;
    if (socket_wait_readable(s, int(until - now)) != 1) continue;
    uint8_t buf[9000];
    uint32_t ip = 0;
    uint16_t port = 0;
    int64_t got = udp_recv_from(s, buf, sizeof buf, &ip, &port);
    if (got > 0) mdns_collect_response(c, buf, size_t(got), ip);
  }
  socket_close(s);
  return 0;
}

}  // namespace

void mdns_collect_init(MdnsCollected* c) { memset(c, 0, sizeof *c); }

int mdns_build_browse_query(uint8_t* buf, size_t capacity) {
  static const uint8_t kQuery[] = {
      0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0,  // ID 0, a standard query, one question
      10, '_', 'f', 'e', 'r', 'r', 'y', 'l', 'i', 'n', 'k', 4, '_', 't', 'c', 'p',
      5, 'l', 'o', 'c', 'a', 'l', 0,
      0, 12,     // PTR
      0x80, 1,   // IN, answer by unicast
  };
  if (!buf || capacity < sizeof kQuery) return 0;
  memcpy(buf, kQuery, sizeof kQuery);
  return int(sizeof kQuery);
}

void mdns_collect_response(MdnsCollected* c, const uint8_t* p, size_t n, uint32_t source_ip) {
  if (!c || !p || n < 12 || (p[2] & 0x80) == 0 || (p[2] & 0x78) != 0) return;
  size_t pos = 12;
  for (int q = dns_get16(p + 4); q > 0; q--) {
    char name[kNameCap];
    size_t after = 0;
    if (dns_read_name(p, n, pos, name, sizeof name, &after) < 0 || after + 4 > n) return;
    pos = after + 4;
  }
  int records = dns_get16(p + 6) + dns_get16(p + 8) + dns_get16(p + 10);
  for (int i = 0; i < records; i++) {
    Record r;
    if (!read_record(p, n, &pos, &r)) return;
    switch (r.type) {
      case kDnsTypePtr: note_pointer(c, r, p, n); break;
      case kDnsTypeSrv: note_service(c, r, p, n, source_ip); break;
      case kDnsTypeTxt: note_text(c, r, p); break;
      case kDnsTypeA: note_address(c, r, p); break;
      default: break;
    }
  }
}

int mdns_collected_agents(const MdnsCollected* c, DiscoveredAgent* out, int max) {
  int n = 0;
  for (int i = 0; i < c->agent_count && n < max; i++) {
    const MdnsCollected::Agent& a = c->agents[i];
    if (!a.has_srv) continue;
    out[n] = a.info;
    out[n].ip = resolve_address(c, a);
    n++;
  }
  return n;
}

int mdns_browse(int wait_ms, DiscoveredAgent* out, int max) {
  std::unique_ptr<MdnsCollected> c(new MdnsCollected);
  mdns_collect_init(c.get());
  if (run_browse(wait_ms, BrowseGoal{nullptr}, c.get()) != 0) return -1;
  return mdns_collected_agents(c.get(), out, max);
}

int mdns_lookup(const char* instance, int wait_ms, DiscoveredAgent* out) {
  if (!instance || !out) return -1;
  std::unique_ptr<MdnsCollected> c(new MdnsCollected);
  mdns_collect_init(c.get());
  if (run_browse(wait_ms, BrowseGoal{instance}, c.get()) != 0) return -1;
  int i = agent_index(c.get(), instance, strlen(instance));
  if (i < 0 || !c->agents[i].has_srv) return -1;
  *out = c->agents[i].info;
  out->ip = resolve_address(c.get(), c->agents[i]);
  return 0;
}
