#pragma once
// The IPv4 mDNS responder: one UDP socket on port 5353 and one background thread that
// announces the agent on every IPv4 interface, answers queries for it, follows address
// changes and says goodbye on stop. No probing, no conflict resolution, no IPv6.
#include "mdns/dns_codec.h"

struct MdnsResponder;

// Receives one line of text (no trailing newline), e.g. "mdns: ip list changed".
typedef void (*MdnsLog)(const char* line);

// Copies the description (its address list is replaced by the machine's addresses), binds
// 0.0.0.0:5353 with address reuse, joins 224.0.0.251 on every usable interface and starts
// the thread, which announces at once and again 1 s later. Null on failure, with the log
// line "mdns: socket failed" or "mdns: bind 5353 failed" (a thread that cannot start is not
// logged); nothing is left behind then. log may be null.
MdnsResponder* mdns_start(const ServiceDescription* description, MdnsLog log);

// Replaces the description except its address list (the responder keeps its own) and has
// the thread announce the new records within one loop pass. Null responder: nothing.
void mdns_update(MdnsResponder* r, const ServiceDescription* description);

// Ends the thread, which sends the goodbye (every record with TTL 0), then releases
// everything. Waits at most about 5 s; a thread that has not finished by then releases the
// responder itself when it ends, so nothing is freed under it. Null responder: nothing.
void mdns_stop(MdnsResponder* r);
