#include "mdns_query.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dns_test_util.h"
#include "mdns/service_description.h"

namespace {

constexpr uint32_t kAgentIp = 0x0A4D0001;  // 10.77.0.1, the first A record of the fixture
constexpr uint32_t kOtherIp = 0xC0A80114;  // 192.168.1.20, the second

struct Collector {
  std::unique_ptr<MdnsCollected> c{new MdnsCollected};
  Collector() { mdns_collect_init(c.get()); }

  void feed(const std::vector<uint8_t>& m, uint32_t source) {
    std::vector<uint8_t> exact(m);  // exact size: the sanitizer sees any read past the end
    mdns_collect_response(c.get(), exact.data(), exact.size(), source);
  }
  std::vector<DiscoveredAgent> agents(int max = kMaxDiscovered) {
    std::vector<DiscoveredAgent> out(kMaxDiscovered);
    out.resize(size_t(mdns_collected_agents(c.get(), out.data(), max)));
    return out;
  }
};

ServiceDescription agent_description(const char* name, uint16_t port) {
  ServiceDescription d;
  build_service_description(&d, name, "0123456789abcdef", port);
  d.addresses[0] = kAgentIp;
  d.addresses[1] = kOtherIp;
  d.address_count = 2;
  return d;
}

TEST(MdnsCollect, OurAnnouncementGivesTheWholeAgent) {
  Collector col;
  col.feed(build(agent_description("Test Box", 47650), kAnswerAnnounce), kOtherIp);
  std::vector<DiscoveredAgent> a = col.agents();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_STREQ(a[0].instance, "Test Box");
  EXPECT_STREQ(a[0].host, "Test-Box.local");
  EXPECT_EQ(a[0].port, 47650);
  EXPECT_EQ(a[0].ip, kOtherIp) << "the sender's own address is among the A records";
  EXPECT_STREQ(a[0].device_id, "0123456789abcdef");
  ASSERT_EQ(a[0].txt_count, 7);
  EXPECT_STREQ(a[0].txt[0], "v=1");
  EXPECT_STREQ(a[0].txt[2], "nm=Test Box");
  EXPECT_STREQ(a[0].txt[6], "op=1");
}

TEST(MdnsCollect, AddressChoice) {
  ServiceDescription d = agent_description("Test Box", 47650);
  {
    SCOPED_TRACE("sender not among the A records: the first A record");
    Collector col;
    col.feed(build(d, kAnswerAnnounce), 0xAC100009);
    ASSERT_EQ(col.agents().size(), 1u);
    EXPECT_EQ(col.agents()[0].ip, kAgentIp);
  }
  {
    SCOPED_TRACE("no A record: the sender");
    Collector col;
    col.feed(build(d, ANSWER_PTR | ANSWER_SRV), 0xAC100009);
    ASSERT_EQ(col.agents().size(), 1u);
    EXPECT_EQ(col.agents()[0].ip, 0xAC100009u);
  }
  {
    SCOPED_TRACE("an address said goodbye");
    Collector col;
    col.feed(build(d, kAnswerAnnounce), 0xAC100009);
    ServiceDescription first_only = d;
    first_only.address_count = 1;
    col.feed(build(first_only, ANSWER_A, 1), 0xAC100009);
    ASSERT_EQ(col.agents().size(), 1u);
    EXPECT_EQ(col.agents()[0].ip, kOtherIp);
  }
}

TEST(MdnsCollect, GoodbyeForgetsTheAgent) {
  Collector col;
  col.feed(build(agent_description("One", 1), kAnswerAnnounce), kAgentIp);
  col.feed(build(agent_description("Two", 2), kAnswerAnnounce), kAgentIp);
  col.feed(build(agent_description("Three", 3), kAnswerAnnounce), kAgentIp);
  col.feed(build(agent_description("two", 2), kAnswerAnnounce, 1), kAgentIp);
  std::vector<DiscoveredAgent> a = col.agents();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_STREQ(a[0].instance, "One");
  EXPECT_STREQ(a[1].instance, "Three") << "order of first hearing is kept";
}

TEST(MdnsCollect, CompressedResponseWithAdditionalRecords) {
  // How other responders answer: the question echoed, PTR in the answers, SRV, TXT and A in
  // the additional section, names compressed against earlier ones.
  Packet p = Packet::response(1, 1, 0, 3);
  const size_t service = p.size();
  const size_t local = service + 1 + 10 + 1 + 4;  // the "local" label inside it
  p.question("_ferrylink._tcp.local", kDnsTypePtr, 1);
  p.pointer(service).record_head(kDnsTypePtr, 1, 4500, 4 + 2);
  const size_t instance = p.size();
  p.labels("Lab").pointer(service);
  p.pointer(instance).record_head(kDnsTypeSrv, 0x8001, 120, 6 + 4 + 2).u16(0).u16(0).u16(5000);
  const size_t host = p.size();
  p.labels("lab").pointer(local);
  p.pointer(instance).record_head(kDnsTypeTxt, 0x8001, 120, 6 + 6).text("\x05id=ab\x05nm=Lb");
  p.pointer(host).record_head(kDnsTypeA, 0x8001, 120, 4).u32(0x0A4D0009);

  Collector col;
  col.feed(p.bytes, 0x0A4D0009);
  std::vector<DiscoveredAgent> a = col.agents();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_STREQ(a[0].instance, "Lab");
  EXPECT_STREQ(a[0].host, "lab.local");
  EXPECT_EQ(a[0].port, 5000);
  EXPECT_EQ(a[0].ip, 0x0A4D0009u);
  EXPECT_STREQ(a[0].device_id, "ab");
  ASSERT_EQ(a[0].txt_count, 2);
  EXPECT_STREQ(a[0].txt[1], "nm=Lb");
}

TEST(MdnsCollect, RecordsFromSeparateMessagesAreMerged) {
  ServiceDescription d = agent_description("Test Box", 47650);
  Collector col;
  col.feed(build(d, ANSWER_A), kAgentIp);
  col.feed(build(d, ANSWER_TXT), kAgentIp);
  EXPECT_TRUE(col.agents().empty()) << "no port known yet";
  ServiceDescription upper = d;
  strcpy(upper.instance, "TEST BOX");
  col.feed(build(upper, ANSWER_SRV), kOtherIp);
  std::vector<DiscoveredAgent> a = col.agents();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_STREQ(a[0].device_id, "0123456789abcdef");
  EXPECT_EQ(a[0].ip, kOtherIp);
  EXPECT_EQ(a[0].port, 47650);
}

TEST(MdnsCollect, IgnoresQueriesOtherServicesAndCountsBeyondTheMessage) {
  Collector col;
  uint8_t q[128];
  int qlen = mdns_build_browse_query(q, sizeof q);
  col.feed(std::vector<uint8_t>(q, q + qlen), kAgentIp);
  Packet other = Packet::response(0, 2, 0, 0);
  other.name("_http._tcp.local").record_head(kDnsTypePtr, 1, 4500, 22);
  other.name("Web._http._tcp.local");
  other.name("Web._http._tcp.local").record_head(kDnsTypeSrv, 1, 120, 9).u16(0).u16(0).u16(80);
  other.u8(1).u8('w').u8(0);
  col.feed(other.bytes, kAgentIp);
  EXPECT_TRUE(col.agents().empty());

  // ANCOUNT says 9 but the message holds 4 records: the ones present count.
  std::vector<uint8_t> m = build(agent_description("Box", 7), kAnswerAnnounce);
  m[7] = 9;
  col.feed(m, kAgentIp);
  EXPECT_EQ(col.agents().size(), 1u);
}

TEST(MdnsCollect, EveryTruncationIsSafe) {
  std::vector<uint8_t> full = build(agent_description("Test Box", 47650), kAnswerAnnounce);
  for (size_t len = 0; len < full.size(); len++) {
    Collector col;
    col.feed(std::vector<uint8_t>(full.begin(), full.begin() + long(len)), kAgentIp);
    for (const DiscoveredAgent& a : col.agents()) {
      EXPECT_STREQ(a.instance, "Test Box") << "length " << len;
      EXPECT_EQ(a.port, 47650) << "length " << len;
    }
  }
}

TEST(MdnsCollect, TableIsBounded) {
  Collector col;
  for (int i = 0; i < kMaxDiscovered + 5; i++) {
    std::string name = "agent " + std::to_string(i);
    col.feed(build(agent_description(name.c_str(), uint16_t(1000 + i)), kAnswerAnnounce),
             kAgentIp);
  }
  EXPECT_EQ(col.agents().size(), size_t(kMaxDiscovered));
  std::vector<DiscoveredAgent> three = col.agents(3);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_STREQ(three[2].instance, "agent 2");
}

TEST(MdnsBrowseQuery, AsksForTheServiceByUnicast) {
  uint8_t q[128];
  int len = mdns_build_browse_query(q, sizeof q);
  ASSERT_GT(len, 12);
  EXPECT_TRUE(dns_is_query(q, size_t(len)));
  ServiceDescription d = agent_description("Test Box", 1);
  int unicast = 0;
  EXPECT_EQ(dns_parse_query(&d, q, size_t(len), &unicast), kAnswerAnnounce);
  EXPECT_EQ(unicast, 1);
  EXPECT_EQ(mdns_build_browse_query(q, size_t(len) - 1), 0);
}

}  // namespace
