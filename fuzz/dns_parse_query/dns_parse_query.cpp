// The discovery responder's receive path: any datagram goes through dns_is_query and
// dns_parse_query against a description made from a fuzzed device name, and whatever it asks
// for is built into a response that must be a well-formed message. Every name the response
// announces, asked for again, must be recognised.
//
// Input: blob device name (up to 100 bytes), u16 port, u8 address count, then the datagram.

#include <cstring>
#include <string>

#include "mdns/dns_codec.h"
#include "mdns/service_description.h"
#include "support/check.h"
#include "support/script.h"

namespace {

constexpr size_t kResponderCapacity = 1400;

struct Walked {
  int records = 0;
  std::vector<std::string> owners;
};

// Walks a response we built: header, then ANCOUNT records whose lengths add up exactly.
Walked walk_response(const uint8_t* m, size_t len) {
  FUZZ_CHECK(len >= 12);
  FUZZ_CHECK(m[2] == 0x84 && m[3] == 0);
  FUZZ_CHECK(dns_get16(m + 4) == 0 && dns_get16(m + 8) == 0 && dns_get16(m + 10) == 0);
  Walked w;
  size_t pos = 12;
  int count = dns_get16(m + 6);
  for (int i = 0; i < count; i++) {
    char name[300];
    size_t next = 0;
    int n = dns_read_name(m, len, pos, name, sizeof name, &next);
    FUZZ_CHECK(n >= 0);
    FUZZ_CHECK(next + 10 <= len);
    w.owners.emplace_back(name, size_t(n));
    size_t rdlen = dns_get16(m + next + 8);
    pos = next + 10 + rdlen;
    FUZZ_CHECK(pos <= len);
    w.records++;
  }
  FUZZ_CHECK(pos == len);
  return w;
}

// A one-question query for a dotted name (labels cut at '.'), TYPE ANY, CLASS IN.
std::vector<uint8_t> query_for(const std::string& dotted) {
  std::vector<uint8_t> q = {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  size_t start = 0;
  while (start <= dotted.size()) {
    size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    q.push_back(uint8_t(dot - start));
    q.insert(q.end(), dotted.begin() + long(start), dotted.begin() + long(dot));
    start = dot + 1;
  }
  q.insert(q.end(), {0, 0, 255, 0, 1});
  return q;
}

int expected_records(const ServiceDescription& d, int answers) {
  int n = 0;
  for (int bit : {ANSWER_SERVICES, ANSWER_PTR, ANSWER_SRV, ANSWER_TXT})
    if (answers & bit) n++;
  if (answers & ANSWER_A) n += d.address_count;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptReader in(data, size);
  std::vector<uint8_t> raw_name = in.blob(100);
  std::string name(raw_name.begin(), raw_name.end());
  name = name.substr(0, name.find('\0'));
  if (name.empty()) name = "Fuzz PC";  // the computer's name is not the fuzzer's to choose
  ServiceDescription d;
  build_service_description(&d, name.c_str(), "0123456789abcdef", in.u16());
  d.address_count = in.u8() % (kMaxAddresses + 1);
  for (int i = 0; i < d.address_count; i++) d.addresses[i] = 0x0A000001u + uint32_t(i);
  std::vector<uint8_t> packet = in.rest();

  if (!dns_is_query(packet.data(), packet.size())) return 0;
  int unicast = 0;
  int answers = dns_parse_query(&d, packet.data(), packet.size(), &unicast);
  FUZZ_CHECK((answers & ~0x1F) == 0);
  FUZZ_CHECK(unicast == 0 || unicast == 1);
  if (answers == 0) return 0;

  uint8_t msg[kResponderCapacity];
  int len = dns_build_response(&d, answers, 0, msg, sizeof msg);
  FUZZ_CHECK(len > 0);
  Walked w = walk_response(msg, size_t(len));
  FUZZ_CHECK(w.records == expected_records(d, answers));
  FUZZ_CHECK(!dns_is_query(msg, size_t(len)));

  // Whatever the agent announces, it answers for.
  for (const std::string& owner : w.owners) {
    std::vector<uint8_t> q = query_for(owner);
    FUZZ_CHECK(dns_parse_query(&d, q.data(), q.size(), nullptr) != 0);
  }
  return 0;
}
