#include "mdns/dns_codec.h"

#include <gtest/gtest.h>

#include "dns_test_util.h"

namespace {

constexpr uint16_t kAAAA = 28;
constexpr uint16_t kNsec = 47;

int parse(const Packet& p, int* unicast = nullptr) {
  ServiceDescription d = test_description();
  // An exact-size copy lets the address sanitizer catch any read past the end.
  std::vector<uint8_t> exact(p.bytes);
  return dns_parse_query(&d, exact.data(), exact.size(), unicast);
}

struct QuestionCase {
  const char* what;
  const char* name;
  uint16_t type;
  uint16_t cls;
  int answers;
  int unicast;
};

const QuestionCase kQuestions[] = {
    {"service PTR, upper case", "_FERRYLINK._TCP.LOCAL", kDnsTypePtr, 1, 0x0F, 0},
    {"service PTR, mixed case", "_FerryLink._Tcp.Local", kDnsTypePtr, 1, 0x0F, 0},
    {"service ANY", "_ferrylink._tcp.local", kDnsTypeAny, 1, 0x0F, 0},
    {"service SRV asks nothing", "_ferrylink._tcp.local", kDnsTypeSrv, 1, 0, 0},
    {"service PTR, unicast bit", "_ferrylink._tcp.local", kDnsTypePtr, 0x8001, 0x0F, 1},
    {"service PTR, class ANY", "_ferrylink._tcp.local", kDnsTypePtr, 255, 0x0F, 0},
    {"service PTR, class CH skipped", "_ferrylink._tcp.local", kDnsTypePtr, 3, 0, 0},
    {"service PTR, CH with unicast bit", "_ferrylink._tcp.local", kDnsTypePtr, 0x8003, 0, 0},
    {"instance SRV adds A", "Test Box._ferrylink._tcp.local", kDnsTypeSrv, 1, 0x0A, 0},
    {"instance TXT only", "test box._ferrylink._tcp.local", kDnsTypeTxt, 1, 0x04, 0},
    {"instance ANY", "TEST BOX._ferrylink._tcp.local", kDnsTypeAny, 1, 0x0E, 0},
    {"instance A asks nothing", "Test Box._ferrylink._tcp.local", kDnsTypeA, 1, 0, 0},
    {"host A", "test-box.local", kDnsTypeA, 1, 0x08, 0},
    {"host ANY", "Test-Box.local", kDnsTypeAny, 0x8001, 0x08, 1},
    {"host AAAA with unicast bit", "Test-Box.local", kAAAA, 0x8001, 0, 1},
    {"host NSEC", "Test-Box.local", kNsec, 1, 0, 0},
    {"enumeration PTR", "_services._dns-sd._udp.local", kDnsTypePtr, 1, 0x10, 0},
    {"enumeration ANY", "_SERVICES._DNS-SD._UDP.LOCAL", kDnsTypeAny, 1, 0x10, 0},
    {"other service, unicast bit", "_http._tcp.local", kDnsTypePtr, 0x8001, 0, 0},
    {"service name with a suffix", "_ferrylink._tcp.local.arpa", kDnsTypePtr, 1, 0, 0},
    {"service name prefix only", "_ferrylink._tcp", kDnsTypePtr, 1, 0, 0},
    {"other instance", "Other._ferrylink._tcp.local", kDnsTypeSrv, 1, 0, 0},
};

TEST(DnsParseQuery, OneQuestionTable) {
  for (const QuestionCase& c : kQuestions) {
    SCOPED_TRACE(c.what);
    int unicast = 0;
    EXPECT_EQ(parse(Packet::query(1).question(c.name, c.type, c.cls), &unicast), c.answers);
    EXPECT_EQ(unicast, c.unicast);
  }
}

TEST(DnsParseQuery, UnicastFlagIsNeverClearedAndIsOptional) {
  int unicast = 1;
  EXPECT_EQ(parse(Packet::query(1).question("_ferrylink._tcp.local", kDnsTypePtr, 1), &unicast),
            0x0F);
  EXPECT_EQ(unicast, 1);
  EXPECT_EQ(parse(Packet::query(1).question("_ferrylink._tcp.local", kDnsTypePtr, 0x8001)), 0x0F);
}

TEST(DnsParseQuery, QuestionsAreUnited) {
  Packet p = Packet::query(3)
                 .question("Test Box._ferrylink._tcp.local", kDnsTypeTxt, 1)
                 .question("_http._tcp.local", kDnsTypePtr, 1)
                 .question("Test-Box.local", kDnsTypeA, 0x8001);
  int unicast = 0;
  EXPECT_EQ(parse(p, &unicast), ANSWER_TXT | ANSWER_A);
  EXPECT_EQ(unicast, 1);
}

TEST(DnsParseQuery, CompressedNameContinuesAfterThePointer) {
  // Third question: "Test Box" + pointer to "_ferrylink._tcp.local" of the second one;
  // a fourth question follows the pointer's two bytes.
  Packet p = Packet::query(4).question("_http._tcp.local", kDnsTypePtr, 1);
  size_t service_at = p.size();
  p.name("_ferrylink._tcp.local").u16(kDnsTypeA).u16(1);
  p.labels("Test Box").pointer(service_at).u16(kDnsTypeSrv).u16(1);
  p.question("_services._dns-sd._udp.local", kDnsTypePtr, 1);
  EXPECT_EQ(parse(p), ANSWER_SRV | ANSWER_A | ANSWER_SERVICES);
}

// Two questions: a TXT question for the instance, then a PTR question whose name is a chain
// of `jumps` compression pointers, each to the next, the last to "_ferrylink._tcp.local"
// inside the first question.
Packet pointer_chain(int jumps) {
  Packet p = Packet::query(2).question("Test Box._ferrylink._tcp.local", kDnsTypeTxt, 1);
  const size_t service_type_at = 12 + 1 + 8;  // after the label "Test Box"
  const size_t links_at = p.size() + 2 + 4;   // after the second question
  p.pointer(jumps == 1 ? service_type_at : links_at).u16(kDnsTypePtr).u16(1);
  for (int j = 0; j + 1 < jumps; j++)
    p.pointer(j + 2 < jumps ? links_at + size_t(2 * (j + 1)) : service_type_at);
  return p;
}

TEST(DnsParseQuery, SixteenPointersAreFollowedTheSeventeenthFails) {
  EXPECT_EQ(parse(pointer_chain(1)), ANSWER_TXT | 0x0F);
  EXPECT_EQ(parse(pointer_chain(16)), ANSWER_TXT | 0x0F);
  // The 17th jump fails the name; the answers of the question before remain.
  EXPECT_EQ(parse(pointer_chain(17)), ANSWER_TXT);
}

TEST(DnsParseQuery, PointerLoopEndsTheParseKeepingEarlierAnswers) {
  Packet p = Packet::query(2).question("_services._dns-sd._udp.local", kDnsTypePtr, 1);
  size_t self = p.size();
  p.pointer(self).u16(kDnsTypePtr).u16(1);
  EXPECT_EQ(parse(p), ANSWER_SERVICES);
}

TEST(DnsParseQuery, QuestionCountLimits) {
  auto many = [](int count, int match_at) {
    Packet p = Packet::query(count);
    for (int i = 0; i < count; i++)
      p.question(i == match_at ? "_ferrylink._tcp.local" : "_http._tcp.local", kDnsTypePtr, 1);
    return p;
  };
  EXPECT_EQ(parse(many(32, 31)), 0x0F);
  EXPECT_EQ(parse(many(33, 32)), 0) << "only 32 questions are examined";
  Packet none = Packet::query(0).question("_ferrylink._tcp.local", kDnsTypePtr, 1);
  EXPECT_EQ(parse(none), 0);
  // A count larger than the questions present: the missing ones end the parse quietly.
  EXPECT_EQ(parse(Packet::query(5).question("_ferrylink._tcp.local", kDnsTypePtr, 1)), 0x0F);
}

TEST(DnsParseQuery, MalformedQuestionsEndTheParse) {
  struct Case {
    const char* what;
    Packet second;  // appended after a valid TXT question
  };
  const Case cases[] = {
      {"label length 0x40", Packet().u8(0x40).u8('a').u8(0).u16(1).u16(1)},
      {"label length 0x80", Packet().u8(0x80).u8('a').u8(0).u16(1).u16(1)},
      {"pointer past the end", Packet().pointer(0x3FFF).u16(1).u16(1)},
      {"pointer missing its second byte", Packet().u8(0xC0)},
      {"label running past the end", Packet().u8(10).u8('a').u8('b')},
      {"label ending at the packet's end", Packet().u8(2).u8('a').u8('b')},
      {"type and class cut short", Packet().name("Test-Box.local").u16(1).u8(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Packet p = Packet::query(3).question("Test Box._ferrylink._tcp.local", kDnsTypeTxt, 1);
    p.bytes.insert(p.bytes.end(), c.second.bytes.begin(), c.second.bytes.end());
    EXPECT_EQ(parse(p), ANSWER_TXT);
  }
}

TEST(DnsParseQuery, DecodedNamesAreLimitedTo300Bytes) {
  // Four 63-byte labels and a last one: 299 bytes of text still decode, 300 do not.
  struct Case {
    size_t last_label;
    int answers;
  };
  for (const Case& c : {Case{43, ANSWER_TXT}, Case{44, 0}}) {
    SCOPED_TRACE(c.last_label);
    std::string name;
    for (char ch : {'a', 'b', 'c', 'd'}) name += std::string(63, ch) + ".";
    name += std::string(c.last_label, 'e');
    Packet p = Packet::query(2).question(name, kDnsTypeA, 1);
    p.question("Test Box._ferrylink._tcp.local", kDnsTypeTxt, 1);
    EXPECT_EQ(parse(p), c.answers);
  }
}

TEST(DnsParseQuery, EveryTruncationOfAQueryIsSafe) {
  Packet full = Packet::query(1).question("Test Box._ferrylink._tcp.local", kDnsTypeAny, 1);
  ASSERT_EQ(parse(full), 0x0E);
  for (size_t len = 0; len < full.size(); len++) {
    Packet cut;
    cut.bytes.assign(full.bytes.begin(), full.bytes.begin() + long(len));
    EXPECT_EQ(parse(cut), 0) << "length " << len;
  }
}

TEST(DnsIsQuery, OnlyStandardQueriesOfTwelveBytesOrMore) {
  struct Case {
    const char* what;
    size_t length;
    uint8_t flags2;
    bool query;
  };
  const Case cases[] = {
      {"plain query", 12, 0x00, true},
      {"recursion desired", 12, 0x01, true},
      {"eleven bytes", 11, 0x00, false},
      {"response", 12, 0x84, false},
      {"opcode 1 (inverse query)", 12, 0x08, false},
      {"opcode 2 (status)", 12, 0x10, false},
      {"opcode 5 (update)", 40, 0x28, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> m(c.length, 0);
    if (m.size() > 2) m[2] = c.flags2;
    EXPECT_EQ(dns_is_query(m.data(), m.size()), c.query);
  }
  ServiceDescription d = test_description();
  std::vector<uint8_t> response = build(d, kAnswerAnnounce);
  EXPECT_FALSE(dns_is_query(response.data(), response.size())) << "our own announcement";
}

// --- Responses ---

std::vector<uint8_t> name_bytes(const std::string& dotted) { return Packet().name(dotted).bytes; }

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(DnsBuildResponse, AnnouncementHoldsPtrSrvTxtAndEveryAddressInOrder) {
  ServiceDescription d = test_description();
  std::vector<uint8_t> m = build(d, kAnswerAnnounce);
  ASSERT_GT(m.size(), 12u);
  const std::vector<uint8_t> header = {0, 0, 0x84, 0, 0, 0, 0, 5, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(m.begin(), m.begin() + 12), header);

  std::vector<WireRecord> r = read_records(m);
  ASSERT_EQ(r.size(), 5u);
  const std::string instance = "Test Box._ferrylink._tcp.local";
  struct Expect {
    std::string name;
    uint16_t type, cls;
    uint32_t ttl;
    std::vector<uint8_t> rdata;
  };
  const Expect expect[] = {
      {"_ferrylink._tcp.local", 12, 0x0001, 4500, name_bytes(instance)},
      {instance, 33, 0x8001, 120, concat({{0, 0, 0, 0, 0xBA, 0x22}, name_bytes("Test-Box.local")})},
      {instance, 16, 0x8001, 120, {3, 'v', '=', '1', 4, 'o', 'p', '=', '1'}},
      {"Test-Box.local", 1, 0x8001, 120, {10, 77, 0, 1}},
      {"Test-Box.local", 1, 0x8001, 120, {192, 168, 1, 20}},
  };
  for (size_t i = 0; i < 5; i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r[i].name, expect[i].name);
    EXPECT_EQ(r[i].type, expect[i].type);
    EXPECT_EQ(r[i].cls, expect[i].cls);
    EXPECT_EQ(r[i].ttl, expect[i].ttl);
    EXPECT_EQ(r[i].rdata, expect[i].rdata);
  }
}

TEST(DnsBuildResponse, GoodbyeCarriesTtlZeroInEveryRecord) {
  ServiceDescription d = test_description();
  std::vector<WireRecord> r = read_records(build(d, kAnswerAnnounce | ANSWER_SERVICES, 1));
  ASSERT_EQ(r.size(), 6u);
  // The same records as a normal message, only with TTL 0.
  std::vector<WireRecord> normal = read_records(build(d, kAnswerAnnounce | ANSWER_SERVICES, 0));
  ASSERT_EQ(normal.size(), r.size());
  for (size_t i = 0; i < r.size(); i++) {
    EXPECT_EQ(r[i].ttl, 0u) << r[i].name << " type " << r[i].type;
    EXPECT_NE(normal[i].ttl, 0u);
    normal[i].ttl = 0;
    EXPECT_EQ(r[i], normal[i]);
  }
}

TEST(DnsBuildResponse, RecordSetsFollowTheAnswerBits) {
  ServiceDescription d = test_description();
  struct Case {
    int answers;
    std::vector<uint16_t> types;
  };
  const Case cases[] = {
      {ANSWER_SERVICES, {12}},
      {ANSWER_TXT, {16}},
      {ANSWER_SRV | ANSWER_A, {33, 1, 1}},
      {ANSWER_A, {1, 1}},
      {ANSWER_SERVICES | kAnswerAnnounce, {12, 12, 33, 16, 1, 1}},
      {0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    std::vector<uint8_t> m = build(d, c.answers);
    ASSERT_GE(m.size(), 12u);
    EXPECT_EQ(m[7], c.types.size());
    std::vector<uint16_t> types;
    for (const WireRecord& r : read_records(m)) types.push_back(r.type);
    EXPECT_EQ(types, c.types);
  }
}

TEST(DnsBuildResponse, ServiceEnumerationPointsAtTheServiceType) {
  ServiceDescription d = test_description();
  std::vector<WireRecord> r = read_records(build(d, ANSWER_SERVICES));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].name, "_services._dns-sd._udp.local");
  EXPECT_EQ(r[0].cls, 1);
  EXPECT_EQ(r[0].ttl, 4500u);
  EXPECT_EQ(r[0].rdata, name_bytes("_ferrylink._tcp.local"));
}

TEST(DnsBuildResponse, TxtAndAddressCountsAreBounded) {
  ServiceDescription d = test_description();
  d.txt_count = 0;
  std::vector<WireRecord> r = read_records(build(d, ANSWER_TXT));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].rdata, std::vector<uint8_t>{0}) << "no strings: one empty string";

  // Counts beyond the arrays are taken as their capacity, never read past them.
  d = test_description();
  d.address_count = 100;
  d.txt_count = -3;
  r = read_records(build(d, ANSWER_A | ANSWER_TXT));
  ASSERT_EQ(r.size(), 1u + kMaxAddresses);
  EXPECT_EQ(r[0].rdata, std::vector<uint8_t>{0});
}

TEST(DnsBuildResponse, LabelsKeepTheirBytesAndAreCutAt63) {
  ServiceDescription d = test_description();
  memset(d.instance, 'x', sizeof d.instance);  // 64 bytes, no terminator
  std::vector<WireRecord> r = read_records(build(d, ANSWER_TXT));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].name, std::string(63, 'x') + "._ferrylink._tcp.local");

  d = test_description();
  strcpy(d.instance, "Café Ü 2");  // UTF-8 and spaces go on the wire unchanged
  r = read_records(build(d, ANSWER_PTR));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].rdata, name_bytes("Café Ü 2._ferrylink._tcp.local"));
}

TEST(DnsBuildResponse, EmptyLabelsGiveNoMessage) {
  // A zero-length label would end the name early and corrupt every record after it.
  ServiceDescription d = test_description();
  d.instance[0] = '\0';
  EXPECT_EQ(dns_build_response(&d, kAnswerAnnounce, 0, std::vector<uint8_t>(1400).data(), 1400), 0);
  d = test_description();
  d.host[0] = '\0';
  EXPECT_EQ(dns_build_response(&d, ANSWER_A, 0, std::vector<uint8_t>(1400).data(), 1400), 0);
}

TEST(DnsBuildResponse, OverflowYieldsZeroAndNeverWritesPastCapacity) {
  ServiceDescription d = test_description();
  const size_t full = build(d, kAnswerAnnounce).size();
  for (size_t cap : {full, full - 1, size_t(12), size_t(11), size_t(0)}) {
    SCOPED_TRACE(cap);
    std::vector<uint8_t> buf(cap + 64, 0xEE);
    int len = dns_build_response(&d, kAnswerAnnounce, 0, buf.data(), cap);
    EXPECT_EQ(len, cap == full ? int(full) : 0);
    for (size_t i = cap; i < buf.size(); i++) ASSERT_EQ(buf[i], 0xEE) << "byte " << i;
  }
}

TEST(DnsBuildResponse, LargestDescriptionDoesNotFitTheResponseBuffer) {
  ServiceDescription d{};
  memset(d.instance, 'i', 63);
  memset(d.host, 'h', 40);
  d.port = 1;
  for (int i = 0; i < kMaxTxtStrings; i++) memset(d.txt[i], 't', kTxtSlot - 1);
  d.txt_count = kMaxTxtStrings;
  for (int i = 0; i < kMaxAddresses; i++) d.addresses[i] = 0x0A000001u + uint32_t(i);
  d.address_count = kMaxAddresses;
  uint8_t buf[1400];
  EXPECT_EQ(dns_build_response(&d, kAnswerAnnounce, 0, buf, sizeof buf), 0);
  EXPECT_GT(dns_build_response(&d, ANSWER_PTR | ANSWER_SRV | ANSWER_A, 0, buf, sizeof buf), 0);
}

TEST(DnsBuildResponse, OurAnswersSatisfyOurOwnQuestions) {
  // Whatever a query asks, the response names exactly the records the parser asked for.
  ServiceDescription d = test_description();
  Packet q = Packet::query(1).question("Test Box._ferrylink._tcp.local", kDnsTypeSrv, 1);
  int answers = dns_parse_query(&d, q.bytes.data(), q.size(), nullptr);
  std::vector<WireRecord> r = read_records(build(d, answers));
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].type, kDnsTypeSrv);
  EXPECT_EQ(r[1].name, "Test-Box.local");
}

// --- Names ---

TEST(DnsReadName, DecodesLabelsAndPointers) {
  Packet p = Packet::query(0);
  size_t plain = p.size();
  p.name("Ab.local");
  size_t compressed = p.size();
  p.labels("x").pointer(plain).u8(0xAA);
  char text[300];
  size_t next = 0;
  EXPECT_EQ(dns_read_name(p.bytes.data(), p.size(), plain, text, sizeof text, &next), 8);
  EXPECT_STREQ(text, "Ab.local");
  EXPECT_EQ(next, compressed);
  EXPECT_EQ(dns_read_name(p.bytes.data(), p.size(), compressed, text, sizeof text, &next), 10);
  EXPECT_STREQ(text, "x.Ab.local");
  EXPECT_EQ(next, compressed + 4) << "right after the first pointer";
  // The root name is the empty text.
  Packet root = Packet().u8(0).u8(0);
  EXPECT_EQ(dns_read_name(root.bytes.data(), root.size(), 0, text, sizeof text, &next), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(next, 1u);
  // Outside the packet, or not enough room for the text.
  EXPECT_EQ(dns_read_name(p.bytes.data(), p.size(), p.size(), text, sizeof text, &next), -1);
  EXPECT_EQ(dns_read_name(p.bytes.data(), p.size(), plain, text, 8, &next), -1);
  EXPECT_EQ(dns_read_name(p.bytes.data(), p.size(), plain, text, 9, &next), 8);
}

}  // namespace
