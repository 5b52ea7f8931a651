#pragma once
// Test helpers: a fixed description of the agent, a writer for hand-made DNS messages and a
// reader of our (uncompressed) responses that knows nothing of the codec's writer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mdns/dns_codec.h"

// "Test Box" on 10.77.0.1 and 192.168.1.20, port 47650, TXT v=1 and op=1.
inline ServiceDescription test_description() {
  ServiceDescription d{};
  strcpy(d.instance, "Test Box");
  strcpy(d.host, "Test-Box");
  d.port = 47650;
  strcpy(d.txt[0], "v=1");
  strcpy(d.txt[1], "op=1");
  d.txt_count = 2;
  d.addresses[0] = 0x0A4D0001;  // 10.77.0.1
  d.addresses[1] = 0xC0A80114;  // 192.168.1.20
  d.address_count = 2;
  return d;
}

// Builds DNS messages byte by byte.
struct Packet {
  std::vector<uint8_t> bytes;

  static Packet query(int qdcount, uint8_t flags2 = 0) {
    Packet p;
    p.bytes = {0, 0, flags2, 0, uint8_t(qdcount >> 8), uint8_t(qdcount), 0, 0, 0, 0, 0, 0};
    return p;
  }
  static Packet response(int qd, int an, int ns, int ar) {
    Packet p;
    p.bytes = {0, 0, 0x84, 0, 0, uint8_t(qd), 0, uint8_t(an), 0, uint8_t(ns), 0, uint8_t(ar)};
    return p;
  }
  Packet& u8(uint8_t v) { bytes.push_back(v); return *this; }
  Packet& u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
  Packet& u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
  // Labels of a dotted name (no escapes), without the terminating zero byte.
  Packet& labels(const std::string& dotted) {
    size_t start = 0;
    while (start <= dotted.size()) {
      size_t dot = dotted.find('.', start);
      if (dot == std::string::npos) dot = dotted.size();
      std::string label = dotted.substr(start, dot - start);
      u8(uint8_t(label.size())).text(label);
      start = dot + 1;
    }
    return *this;
  }
  Packet& name(const std::string& dotted) { return labels(dotted).u8(0); }
  Packet& text(const std::string& raw) {
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    return *this;
  }
  Packet& pointer(size_t target) { return u8(uint8_t(0xC0 | (target >> 8))).u8(uint8_t(target)); }
  Packet& question(const std::string& dotted, uint16_t type, uint16_t cls) {
    return name(dotted).u16(type).u16(cls);
  }
  // Owner already written: TYPE, CLASS, TTL, RDLENGTH and the RDATA of `rdata` bytes that
  // the caller appends next.
  Packet& record_head(uint16_t type, uint16_t cls, uint32_t ttl, size_t rdlength) {
    return u16(type).u16(cls).u32(ttl).u16(uint16_t(rdlength));
  }
  size_t size() const { return bytes.size(); }
};

// One record of a response we built (names are never compressed there).
struct WireRecord {
  std::string name;
  uint16_t type = 0, cls = 0;
  uint32_t ttl = 0;
  std::vector<uint8_t> rdata;
  bool operator==(const WireRecord&) const = default;
};

// Reads an uncompressed name; empty string and pos past the end on failure.
inline std::string read_plain_name(const std::vector<uint8_t>& m, size_t& pos) {
  std::string out;
  while (pos < m.size()) {
    uint8_t l = m[pos++];
    if (l == 0) return out;
    if (l > 63 || pos + l > m.size()) break;
    if (!out.empty()) out += '.';
    out.append(reinterpret_cast<const char*>(&m[pos]), l);
    pos += l;
  }
  pos = m.size() + 1;
  return "";
}

// The answer records of a response, or an empty list when the message is cut short.
inline std::vector<WireRecord> read_records(const std::vector<uint8_t>& m) {
  std::vector<WireRecord> out;
  if (m.size() < 12) return out;
  size_t count = (size_t(m[6]) << 8) | m[7];
  size_t pos = 12;
  for (size_t i = 0; i < count; i++) {
    WireRecord r;
    r.name = read_plain_name(m, pos);
    if (pos + 10 > m.size()) return {};
    r.type = uint16_t((m[pos] << 8) | m[pos + 1]);
    r.cls = uint16_t((m[pos + 2] << 8) | m[pos + 3]);
    r.ttl = (uint32_t(m[pos + 4]) << 24) | (uint32_t(m[pos + 5]) << 16) |
            (uint32_t(m[pos + 6]) << 8) | m[pos + 7];
    size_t len = (size_t(m[pos + 8]) << 8) | m[pos + 9];
    pos += 10;
    if (pos + len > m.size()) return {};
    r.rdata.assign(m.begin() + long(pos), m.begin() + long(pos + len));
    pos += len;
    out.push_back(r);
  }
  if (pos != m.size()) return {};  // trailing bytes: the count does not match the records
  return out;
}

inline std::vector<uint8_t> build(const ServiceDescription& d, int answers, int goodbye = 0,
                                  size_t cap = 1400) {
  std::vector<uint8_t> buf(cap);
  int len = dns_build_response(&d, answers, goodbye, buf.data(), buf.size());
  buf.resize(size_t(len));
  return buf;
}
