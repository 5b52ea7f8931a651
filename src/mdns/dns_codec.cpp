#include "mdns/dns_codec.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 12;
constexpr int kMaxQuestions = 32;
constexpr int kMaxPointers = 16;
constexpr size_t kMaxLabel = 63;
constexpr size_t kQueryNameCap = 300;  // decoded question names
constexpr size_t kInstanceNameCap = 200;
constexpr size_t kHostNameCap = 100;

constexpr uint32_t kTtlShared = 4500;  // the two PTR records
constexpr uint32_t kTtlUnique = 120;   // SRV, TXT and A

const char* const kServiceLabels[] = {"_ferrylink", "_tcp", "local"};
const char* const kEnumerationLabels[] = {"_services", "_dns-sd", "_udp", "local"};
constexpr const char* kEnumerationName = "_services._dns-sd._udp.local";

// Length of a text in a fixed field that may lack its terminator.
size_t field_len(const char* field, size_t cap) { return strnlen(field, cap); }

// Appends bytes while they fit. After the first byte that does not fit nothing more is
// written but the position keeps advancing, so the caller learns the message is too big.
struct Writer {
  uint8_t* buf;
  size_t cap;
  size_t pos;
  bool overflow;

  void byte(uint8_t b) {
    if (!overflow && pos < cap)
      buf[pos] = b;
    else
      overflow = true;
    pos++;
  }
  void bytes(const void* p, size_t n) {
    const uint8_t* s = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; i++) byte(s[i]);
  }
  void u16(uint16_t v) {
    byte(uint8_t(v >> 8));
    byte(uint8_t(v));
  }
  void u32(uint32_t v) {
    u16(uint16_t(v >> 16));
    u16(uint16_t(v));
  }
  // Overwrites two bytes already written (no-op once the message overflowed).
  void patch16(size_t at, uint16_t v) {
    if (overflow) return;
    buf[at] = uint8_t(v >> 8);
    buf[at + 1] = uint8_t(v);
  }
};

// One label: length byte and the bytes as they are, cut to 63.
void put_label(Writer& w, const char* text, size_t len) {
  if (len > kMaxLabel) len = kMaxLabel;
  w.byte(uint8_t(len));
  w.bytes(text, len);
}

void put_service_type(Writer& w) {
  for (const char* l : kServiceLabels) put_label(w, l, strlen(l));
  w.byte(0);
}

void put_enumeration_name(Writer& w) {
  for (const char* l : kEnumerationLabels) put_label(w, l, strlen(l));
  w.byte(0);
}

void put_instance_name(Writer& w, const ServiceDescription& d) {
  put_label(w, d.instance, field_len(d.instance, sizeof d.instance));
  put_service_type(w);
}

void put_host_name(Writer& w, const ServiceDescription& d) {
  put_label(w, d.host, field_len(d.host, sizeof d.host));
  put_label(w, "local", 5);
  w.byte(0);
}

// TYPE, CLASS, TTL and a RDLENGTH placeholder; returns where RDLENGTH sits.
size_t put_record_head(Writer& w, uint16_t type, uint16_t cls, uint32_t ttl) {
  w.u16(type);
  w.u16(cls);
  w.u32(ttl);
  size_t at = w.pos;
  w.u16(0);
  return at;
}

void end_record(Writer& w, size_t rdlength_at) {
  w.patch16(rdlength_at, uint16_t(w.pos - rdlength_at - 2));
}

int clamp_count(int n, int max) { return n < 0 ? 0 : (n > max ? max : n); }

void put_txt_rdata(Writer& w, const ServiceDescription& d) {
  int count = clamp_count(d.txt_count, kMaxTxtStrings);
  if (count == 0) w.byte(0);  // an empty TXT record still holds one empty string
  for (int i = 0; i < count; i++) {
    size_t len = field_len(d.txt[i], kTxtSlot);
    w.byte(uint8_t(len));
    w.bytes(d.txt[i], len);
  }
}

// Writes the records of the answer set in their fixed order; returns how many.
int put_records(Writer& w, const ServiceDescription& d, int answers, bool goodbye) {
  const uint32_t shared = goodbye ? 0 : kTtlShared;
  const uint32_t unique = goodbye ? 0 : kTtlUnique;
  const uint16_t flush = kDnsClassIn | kDnsTopBit;
  int count = 0;
  if (answers & ANSWER_SERVICES) {
    put_enumeration_name(w);
    size_t at = put_record_head(w, kDnsTypePtr, kDnsClassIn, shared);
    put_service_type(w);
    end_record(w, at);
    count++;
  }
  if (answers & ANSWER_PTR) {
    put_service_type(w);
    size_t at = put_record_head(w, kDnsTypePtr, kDnsClassIn, shared);
    put_instance_name(w, d);
    end_record(w, at);
    count++;
  }
  if (answers & ANSWER_SRV) {
    put_instance_name(w, d);
    size_t at = put_record_head(w, kDnsTypeSrv, flush, unique);
    w.u16(0);  // priority
    w.u16(0);  // weight
    w.u16(d.port);
    put_host_name(w, d);
    end_record(w, at);
    count++;
  }
  if (answers & ANSWER_TXT) {
    put_instance_name(w, d);
    size_t at = put_record_head(w, kDnsTypeTxt, flush, unique);
    put_txt_rdata(w, d);
    end_record(w, at);
    count++;
  }
  if (answers & ANSWER_A) {
    int n = clamp_count(d.address_count, kMaxAddresses);
    for (int i = 0; i < n; i++) {
      put_host_name(w, d);
      size_t at = put_record_head(w, kDnsTypeA, flush, unique);
      w.u32(d.addresses[i]);
      end_record(w, at);
      count++;
    }
  }
  return count;
}

// Which answers one matching question adds, by the name it matched.
enum NameKind { NAME_OTHER, NAME_SERVICE, NAME_INSTANCE, NAME_HOST, NAME_ENUMERATION };

int answers_for(NameKind kind, uint16_t type) {
  const bool any = type == kDnsTypeAny;
  switch (kind) {
    case NAME_SERVICE:
      return (type == kDnsTypePtr || any) ? kAnswerAnnounce : 0;
    case NAME_INSTANCE:
      if (any) return ANSWER_SRV | ANSWER_TXT | ANSWER_A;
      if (type == kDnsTypeSrv) return ANSWER_SRV | ANSWER_A;
      return type == kDnsTypeTxt ? ANSWER_TXT : 0;
    case NAME_HOST:
      return (type == kDnsTypeA || any) ? ANSWER_A : 0;
    case NAME_ENUMERATION:
      return (type == kDnsTypePtr || any) ? ANSWER_SERVICES : 0;
    case NAME_OTHER:
      break;
  }
  return 0;
}

struct AgentNames {
  char instance[kInstanceNameCap];
  size_t instance_len;
  char host[kHostNameCap];
  size_t host_len;
};

size_t format_name(char* out, size_t cap, const char* label, size_t label_len,
                   const char* suffix) {
  if (label_len > kMaxLabel) label_len = kMaxLabel;
  int n = snprintf(out, cap, "%.*s.%s", int(label_len), label, suffix);
  return n < 0 ? 0 : (size_t(n) < cap ? size_t(n) : cap - 1);
}

void make_agent_names(const ServiceDescription& d, AgentNames& n) {
  n.instance_len = format_name(n.instance, sizeof n.instance, d.instance,
                               field_len(d.instance, sizeof d.instance), kServiceType);
  n.host_len = format_name(n.host, sizeof n.host, d.host, field_len(d.host, sizeof d.host),
                           "local");
}

NameKind classify(const AgentNames& n, const char* name, size_t len) {
  if (dns_name_equal(name, len, kServiceType, strlen(kServiceType))) return NAME_SERVICE;
  if (dns_name_equal(name, len, n.instance, n.instance_len)) return NAME_INSTANCE;
  if (dns_name_equal(name, len, n.host, n.host_len)) return NAME_HOST;
  if (dns_name_equal(name, len, kEnumerationName, strlen(kEnumerationName)))
    return NAME_ENUMERATION;
  return NAME_OTHER;
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

bool dns_is_query(const uint8_t* packet, size_t length) {
  return packet && length >= kHeaderSize && (packet[2] & 0x80) == 0 && (packet[2] & 0x78) == 0;
}

bool dns_name_equal(const char* a, size_t a_len, const char* b, size_t b_len) {
  if (a_len != b_len) return false;
  for (size_t i = 0; i < a_len; i++)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

int dns_read_name(const uint8_t* packet, size_t length, size_t offset, char* out, size_t cap,
                  size_t* next) {
  if (!packet || !out || cap == 0) return -1;
  size_t pos = offset;
  size_t len = 0;
  size_t after = 0;
  bool jumped = false;
  int pointers = 0;
  out[0] = '\0';
  for (;;) {
    if (pos >= length) return -1;
    uint8_t l = packet[pos];
    if (l == 0) {
      if (!jumped) after = pos + 1;
      break;
    }
    if (l >= 0xC0) {
      if (pos + 1 >= length) return -1;
      size_t target = (size_t(l & 0x3F) << 8) | packet[pos + 1];
      if (target >= length || ++pointers > kMaxPointers) return -1;
      if (!jumped) after = pos + 2;
      jumped = true;
      pos = target;
      continue;
    }
    if (l >= 0x40) return -1;
    // The label and the byte after it lie inside the packet; the text keeps room for the
    // separator and the terminator.
    if (pos + 1 + l >= length || len + l + 2 > cap) return -1;
    if (len > 0) out[len++] = '.';
    memcpy(out + len, packet + pos + 1, l);
    len += l;
    out[len] = '\0';
    pos += 1 + size_t(l);
  }
  if (next) *next = after;
  return int(len);
}

int dns_parse_query(const ServiceDescription* d, const uint8_t* packet, size_t length,
                    int* unicast_out) {
  if (!d || !packet || length < kHeaderSize) return 0;
  int questions = dns_get16(packet + 4);
  if (questions > kMaxQuestions) questions = kMaxQuestions;
  AgentNames names;
  make_agent_names(*d, names);
  char name[kQueryNameCap];
  size_t pos = kHeaderSize;
  int answers = 0;
  for (int q = 0; q < questions; q++) {
    size_t after = 0;
    int len = dns_read_name(packet, length, pos, name, sizeof name, &after);
    if (len < 0 || after + 4 > length) break;
    uint16_t type = dns_get16(packet + after);
    uint16_t cls = dns_get16(packet + after + 2);
    pos = after + 4;
    uint16_t plain = cls & 0x7FFF;
    if (plain != kDnsClassIn && plain != kDnsClassAny) continue;
    NameKind kind = classify(names, name, size_t(len));
    if (kind == NAME_OTHER) continue;
    answers |= answers_for(kind, type);
    if ((cls & kDnsTopBit) && unicast_out) *unicast_out = 1;
  }
  return answers;
}

int dns_build_response(const ServiceDescription* d, int answers, int goodbye, uint8_t* buf,
                       size_t capacity) {
  if (!d || !buf) return 0;
  // An empty label is a zero byte on the wire: it would end the owner name early and turn
  // the rest of the record into garbage for every reader.
  if (field_len(d->instance, sizeof d->instance) == 0 || field_len(d->host, sizeof d->host) == 0)
    return 0;
  Writer w{buf, capacity, 0, false};
  w.u16(0);     // ID
  w.byte(0x84);  // QR and AA
  w.byte(0x00);
  w.u16(0);  // QDCOUNT
  size_t count_at = w.pos;
  w.u16(0);  // ANCOUNT, filled below
  w.u16(0);  // NSCOUNT
  w.u16(0);  // ARCOUNT
  int count = put_records(w, *d, answers, goodbye != 0);
  if (w.overflow) return 0;
  w.patch16(count_at, uint16_t(count & 0xFF));
  return int(w.pos);
}
