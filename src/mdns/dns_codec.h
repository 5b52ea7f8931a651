#pragma once
// The DNS message layer of the discovery responder. It recognises the questions of an mDNS
// query that concern this agent and writes the agent's records (PTR, SRV, TXT, A and the
// service enumeration PTR) into one response, announcement or goodbye message. It is not a
// general DNS library: it knows four names and five kinds of record. Nothing here allocates;
// every reader takes (buffer, size, offset) and never looks outside the buffer.
#include <cstddef>
#include <cstdint>

constexpr int kMaxTxtStrings = 8;
constexpr int kTxtSlot = 96;       // each TXT string at most 95 bytes
constexpr int kMaxAddresses = 8;

// What the agent announces. A plain value: copy it whole to take a snapshot.
struct ServiceDescription {
  char instance[64];                   // instance label, UTF-8, at most 63 bytes
  char host[48];                       // host label (sanitized device name)
  uint16_t port;                       // listener's TCP port, host byte order
  char txt[kMaxTxtStrings][kTxtSlot];  // TXT strings in wire order
  int txt_count;
  uint32_t addresses[kMaxAddresses];   // IPv4, host byte order, in announcement order
  int address_count;
};

// Answer set: which records one message carries.
enum DnsAnswer {
  ANSWER_PTR = 0x01,       // service type -> instance name
  ANSWER_SRV = 0x02,       // SRV of the instance name
  ANSWER_TXT = 0x04,       // TXT of the instance name
  ANSWER_A = 0x08,         // one A record of the host name per address
  ANSWER_SERVICES = 0x10,  // enumeration name -> service type
};
constexpr int kAnswerAnnounce = ANSWER_PTR | ANSWER_SRV | ANSWER_TXT | ANSWER_A;

// Where mDNS lives: group 224.0.0.251 (host byte order), UDP port 5353.
constexpr uint32_t kMdnsGroup = 0xE00000FB;
constexpr uint16_t kMdnsPort = 5353;

// The service type as dotted text, without the trailing dot.
constexpr const char* kServiceType = "_ferrylink._tcp.local";

// Record types and classes on the wire.
constexpr uint16_t kDnsTypeA = 1;
constexpr uint16_t kDnsTypePtr = 12;
constexpr uint16_t kDnsTypeTxt = 16;
constexpr uint16_t kDnsTypeSrv = 33;
constexpr uint16_t kDnsTypeAny = 255;
constexpr uint16_t kDnsClassIn = 1;
constexpr uint16_t kDnsClassAny = 255;
// The top bit of CLASS: unicast-response in questions, cache-flush in records.
constexpr uint16_t kDnsTopBit = 0x8000;

// True for a message of at least 12 bytes with QR clear and OPCODE 0 (a standard query).
bool dns_is_query(const uint8_t* packet, size_t length);

// The union of the answers the query's questions ask for (at most 32 questions are looked
// at), 0 when none concern the agent. A malformed question ends the parse and keeps what the
// earlier questions asked for. When unicast_out is given it is set to 1 if a question whose
// name matched carries the unicast-response bit; it is never cleared here.
int dns_parse_query(const ServiceDescription* d, const uint8_t* packet, size_t length,
                    int* unicast_out);

// Writes a complete message holding the records of the answer set, in the order
// services PTR, PTR, SRV, TXT, A..., with TTL 0 in every record when goodbye is non-zero.
// Returns its length, or 0 when it does not fit in capacity (then nothing is to be sent;
// also 0 when the instance or host label is empty, which would end a name early).
int dns_build_response(const ServiceDescription* d, int answers, int goodbye, uint8_t* buf,
                       size_t capacity);

// Decodes the name at offset into dotted text (labels joined by '.', bytes as they are,
// terminated) following at most 16 compression pointers. The text must fit in cap bytes.
// On success returns the text length and sets *next to the offset right after the name as
// it sits at offset (after its zero byte, or after its first pointer). -1 when the name is
// malformed, runs outside the packet or does not fit.
int dns_read_name(const uint8_t* packet, size_t length, size_t offset, char* out, size_t cap,
                  size_t* next);

// True when two names of the given lengths are equal, folding only ASCII 'A'-'Z'.
bool dns_name_equal(const char* a, size_t a_len, const char* b, size_t b_len);

// Big-endian readers for callers that walk records; the caller checks the bounds.
inline uint16_t dns_get16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t dns_get32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
