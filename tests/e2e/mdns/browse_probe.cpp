// The sender's discovery client as a command, for the namespace tests.
//   mdns_browse_probe WAIT_MS             every agent heard within WAIT_MS
//   mdns_browse_probe WAIT_MS INSTANCE    only that agent (stops as soon as it answered)
// One line per agent: "AGENT <instance>|<host>|<a.b.c.d>|<port>|<id>|<txt 1>|...|<txt n>".
// Exit 0 when at least one agent was printed, 1 when none, 2 on bad use or no socket.
#include <cstdio>
#include <cstdlib>

#include "mdns_query.h"
#include "platform/net.h"

namespace {

void print_agent(const DiscoveredAgent& a) {
  char ip[16];
  ipv4_to_text(a.ip, ip);
  printf("AGENT %s|%s|%s|%u|%s", a.instance, a.host, ip, unsigned(a.port), a.device_id);
  for (int i = 0; i < a.txt_count; i++) printf("|%s", a.txt[i]);
  printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s WAIT_MS [INSTANCE]\n", argv[0]);
    return 2;
  }
  int wait_ms = atoi(argv[1]);
  if (argc == 3) {
    DiscoveredAgent a;
    if (mdns_lookup(argv[2], wait_ms, &a) != 0) return 1;
    print_agent(a);
    return 0;
  }
  static DiscoveredAgent agents[kMaxDiscovered];
  int n = mdns_browse(wait_ms, agents, kMaxDiscovered);
  if (n < 0) return 2;
  for (int i = 0; i < n; i++) print_agent(agents[i]);
  return n > 0 ? 0 : 1;
}
