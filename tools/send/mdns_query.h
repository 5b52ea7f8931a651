#pragma once
// The sender's discovery client: asks the local network for "_ferrylink._tcp.local" agents
// by mDNS and collects what they answer (instance name, address, port and TXT strings).
// The query carries the unicast-response bit and leaves from an ephemeral port, so answers
// come straight back to this socket; it is repeated every second while the client listens.
#include <cstddef>
#include <cstdint>

#include "mdns/dns_codec.h"

constexpr int kMaxDiscovered = 32;

struct DiscoveredAgent {
  char instance[64];                   // instance label (the agent's device name), UTF-8
  char host[256];                      // SRV target, e.g. "Office-PC.local"
  uint32_t ip;                         // IPv4 in host byte order, 0 when unknown
  uint16_t port;                       // TCP port of the agent
  char device_id[17];                  // the "id=" TXT value, empty when absent
  char txt[kMaxTxtStrings][kTxtSlot];  // TXT strings as received, each cut to 95 bytes
  int txt_count;
};

// Sends the query and listens for wait_ms milliseconds. Writes at most max agents that
// told their port, in the order they were first heard, and returns how many; -1 when no
// socket could be opened.
int mdns_browse(int wait_ms, DiscoveredAgent* out, int max);

// Like mdns_browse, but stops as soon as the agent whose instance label equals instance
// (ASCII case folded) has told its port and address. 0 and the agent, or -1 when it did not
// answer within wait_ms.
int mdns_lookup(const char* instance, int wait_ms, DiscoveredAgent* out);

// --- The pieces the network loop is made of, open for tests. ---

// Everything heard so far. Plain value; start from mdns_collect_init.
struct MdnsCollected {
  struct Agent {
    DiscoveredAgent info;
    uint32_t source_ip;  // sender of the SRV record, used when no A record names the host
    bool has_srv;
  };
  struct Host {
    char name[256];
    uint32_t ips[kMaxAddresses];
    int ip_count;
  };
  Agent agents[kMaxDiscovered];
  int agent_count;
  Host hosts[kMaxDiscovered];
  int host_count;
};

void mdns_collect_init(MdnsCollected* c);

// The PTR question for the service type with the unicast-response bit; its length, or 0
// when capacity is too small.
int mdns_build_browse_query(uint8_t* buf, size_t capacity);

// Folds the records of one response (answer, authority and additional sections, names
// compressed or not) into c. Records with TTL 0 take back what they announced: a goodbye
// PTR or SRV forgets the instance. Queries and malformed messages are ignored, as far as
// they are malformed.
void mdns_collect_response(MdnsCollected* c, const uint8_t* packet, size_t length,
                           uint32_t source_ip);

// The agents that told their port, with their address resolved, at most max; the count.
int mdns_collected_agents(const MdnsCollected* c, DiscoveredAgent* out, int max);
