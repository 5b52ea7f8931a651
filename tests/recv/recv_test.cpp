// The receive session over real loopback TCP, with a peer built from ferrylink-send's code:
// the opening (version, trust states, pairing), the offer checks and their answers, the
// accept decision with prompts, trusted peers and allowances, text and link offers, and
// the idle time-out.
#include "session_harness.h"

namespace {

using namespace harness;

// A peer that completed pairing with the agent on an earlier connection.
void pair_once(Agent& agent, Peer& peer) {
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  ASSERT_EQ(peer.s.paired, 1);
  peer.close();
  ASSERT_TRUE(eventually([&] { return trust_store_count(agent.trust) > 0; }));
}

TEST(Session, PairsOnFirstContactAndRemembersBothWays) {
  Agent agent;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  EXPECT_EQ(peer.s.paired, 1);
  EXPECT_EQ(peer.s.agent_trust_state, TRUST_NO);
  EXPECT_STREQ(peer.s.agent_name, "Test PC");
  // The agent stores the phone once the phone's confirmation reaches it.
  ASSERT_TRUE(eventually([&] { return trust_store_count(agent.trust) == 1; }));
  {
    std::lock_guard<std::mutex> g(agent.recorder.m);
    ASSERT_EQ(agent.recorder.pairing_codes.size(), 1u);
    // Both ends derive the same code from the handshake.
    char code[7];
    pairing_code(peer.s.ch.handshake_hash, code);
    EXPECT_EQ(agent.recorder.pairing_codes[0], code);
    EXPECT_EQ(agent.recorder.paired, std::vector<std::string>{"Test Phone"});
  }
  uint8_t peer_public[32];
  x25519_base(peer_public, peer.config.private_key);
  TrustRecord rec;
  ASSERT_TRUE(trust_store_find(agent.trust, peer_public, &rec));
  EXPECT_EQ(rec.accept_flag, 1);
  EXPECT_STREQ(rec.name, "Test Phone");
  EXPECT_EQ(trust_store_count(peer.agents), 1);

  // The next connection: both trust each other, nobody is asked again.
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  EXPECT_EQ(peer.s.paired, 0);
  EXPECT_EQ(peer.s.agent_trust_state, TRUST_YES);
  std::lock_guard<std::mutex> g(agent.recorder.m);
  EXPECT_EQ(agent.recorder.pairing_codes.size(), 1u);
}

TEST(Session, PeerOfAnotherVersionIsToldAndClosedBeforeAnyTrustState) {
  Agent agent;
  agent.start();
  Peer peer;
  peer.config.version = 2;
  ASSERT_EQ(peer.handshake(agent.port), 0);
  EXPECT_TRUE(error_then_close(peer, ERROR_VERSION, "incompatible version"));
  // The sender's own opening reports it in words.
  EXPECT_EQ(peer.open(agent.port), SEND_INCOMPATIBLE_VERSION);
}

TEST(Session, ClosedAgentRefusesUnknownPeersUnlessThePairingWindowIsOpen) {
  Agent agent;
  agent.config.open_mode = 0;
  int window = 0;
  agent.config.pairing_window = &window;
  agent.start();
  Peer peer;
  EXPECT_EQ(peer.open(agent.port), SEND_NOT_PAIRED);
  EXPECT_EQ(peer.s.error_code, ERROR_NOT_PAIRED);
  EXPECT_STREQ(peer.s.error_text, "not paired");
  EXPECT_EQ(trust_store_count(agent.trust), 0);

  window = 1;
  EXPECT_EQ(peer.open(agent.port), SEND_OK);
  EXPECT_EQ(peer.s.paired, 1);
  ASSERT_TRUE(eventually([&] { return trust_store_count(agent.trust) == 1; }));
  window = 0;  // a paired peer needs no window
  EXPECT_EQ(peer.open(agent.port), SEND_OK);
  EXPECT_EQ(peer.s.paired, 0);
}

TEST(Session, PeerWithoutTrustStateIsLoggedAndClosed) {
  Agent agent;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.handshake(agent.port), 0);
  EXPECT_EQ(peer.recv().type, MSG_TRUST_STATE);
  ASSERT_EQ(peer.send(MSG_END, {}), 0);
  EXPECT_EQ(peer.recv().len, -3);
  ASSERT_TRUE(agent.wait_sessions_ended(1));
  EXPECT_TRUE(agent.recorder.has_log("no trust state from peer"));
}

TEST(Session, DeclinedPairingSendsOneDeclineAndStoresNothing) {
  Agent agent;
  agent.recorder.pairing_answer = 0;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.handshake(agent.port), 0);
  EXPECT_EQ(peer.recv().type, MSG_TRUST_STATE);
  ASSERT_EQ(peer.send(MSG_TRUST_STATE, {0}), 0);
  Peer::Msg m = peer.recv();
  EXPECT_EQ(m.type, MSG_PAIR_DECLINE);
  EXPECT_TRUE(m.body.empty());
  EXPECT_EQ(peer.recv().len, -3);  // nothing after it: the connection is closed
  EXPECT_EQ(trust_store_count(agent.trust), 0);
  EXPECT_TRUE(agent.recorder.paired.empty());

  // The sender puts it in words.
  EXPECT_EQ(peer.open(agent.port), SEND_PAIRING_REFUSED);
  EXPECT_EQ(trust_store_count(peer.agents), 0);
}

TEST(Session, PairingThatThePeerDoesNotConfirmStoresNothing) {
  struct Case {
    const char* what;
    int (*confirm)(void*, const char*, const char*, const char*);
    bool send_nothing;  // stay silent instead of closing
  };
  const Case cases[] = {{"the phone's user says the codes differ", confirm_no, false},
                        {"the phone never answers", confirm_yes, true}};
  for (const Case& c : cases) {
    Agent agent;
    agent.config.pairing_timeout_ms = 300;
    agent.start();
    Peer peer;
    if (c.send_nothing) {
      ASSERT_EQ(peer.handshake(agent.port), 0) << c.what;
      EXPECT_EQ(peer.recv().type, MSG_TRUST_STATE) << c.what;
      ASSERT_EQ(peer.send(MSG_TRUST_STATE, {0}), 0) << c.what;
      EXPECT_EQ(peer.recv().type, MSG_PAIR_CONFIRM) << c.what;
      EXPECT_EQ(peer.recv(5000).len, -3) << c.what;  // closed after the pairing time-out
    } else {
      peer.config.confirm_pairing = c.confirm;
      EXPECT_EQ(peer.open(agent.port), SEND_PAIRING_DECLINED) << c.what;
    }
    ASSERT_TRUE(agent.wait_sessions_ended(1)) << c.what;
    EXPECT_TRUE(agent.recorder.has_log("pairing did not complete")) << c.what;
    EXPECT_EQ(trust_store_count(agent.trust), 0) << c.what;
    EXPECT_EQ(trust_store_count(peer.agents), 0) << c.what;
  }
}

TEST(Session, WithoutAnyCallbacksPairingIsDeclinedAndNothingIsLogged) {
  Agent agent;
  agent.config.events = SessionEvents{};
  agent.start();
  Peer peer;
  EXPECT_EQ(peer.open(agent.port), SEND_PAIRING_REFUSED);
  ASSERT_TRUE(agent.wait_sessions_ended(1));
  EXPECT_TRUE(agent.recorder.log_copy().empty());
}

TEST(Session, OpenModeAdmitsAPeerThatMaySendUnpaired) {
  Agent agent;
  agent.config.auto_accept_trusted = 1;
  agent.start();
  Peer peer;
  peer.config.features = kSenderFeatures | kFeatureSendUnpaired;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  EXPECT_EQ(peer.s.agent_trust_state, TRUST_ADMITTED);
  EXPECT_EQ(peer.s.paired, 0);
  EXPECT_EQ(sender_send_text(&peer.s, kOfferKindText, "hi"), SEND_OK);
  EXPECT_EQ(trust_store_count(agent.trust), 0);
  std::lock_guard<std::mutex> g(agent.recorder.m);
  EXPECT_TRUE(agent.recorder.pairing_codes.empty());
  ASSERT_EQ(agent.recorder.offers.size(), 1u);  // not trusted: still asked
  EXPECT_EQ(agent.recorder.offers[0].trusted, 0);
}

// ---- offers -------------------------------------------------------------------------------

// An offer that breaks the protocol: the agent names the fault and closes the connection.
TEST(Session, MalformedOffersAreAnsweredWithAnErrorAndTheConnectionCloses) {
  struct Case {
    const char* what;
    std::vector<uint8_t> offer;
    std::string error;
  };
  const auto id = offer_id(7);
  auto body = [&](uint8_t kind, uint16_t count, uint64_t total) {
    return Body().id(id).u8(kind).u16(count).u64(total);
  };
  std::vector<Case> cases = {
      {"kind 4", body(4, 1, 1).b, "malformed offer"},
      {"kind 0", body(0, 0, 0).b, "malformed offer"},
      {"header cut short", Body().id(id).u8(1).u16(1).b, "malformed offer"},
      {"files without items", body(1, 0, 0).b, "empty offer"},
      {"text with an item", body(2, 1, 5).u16(1).str("a").u64(5).u64(0).u8(0).b,
       "text offer with items"},
      {"link with an item", body(3, 1, 5).b, "text offer with items"},
      {"name shorter than its length", body(1, 1, 1).u16(50).str("short").b, "malformed offer"},
      {"item without its last byte", body(1, 1, 1).u16(1).str("a").u64(1).u64(0).b,
       "malformed offer"},
      {"second item missing", body(1, 2, 2).u16(1).str("a").u64(1).u64(0).u8(0).b,
       "malformed offer"},
      // 10000 items pass the count check; then the items are read and do not all fit.
      {"10000 announced, one present", body(1, 10000, 1).u16(1).str("a").u64(1).u64(0).u8(0).b,
       "malformed offer"},
  };
  Agent agent;
  agent.start();
  Peer peer;
  pair_once(agent, peer);
  for (const Case& c : cases) {
    ASSERT_EQ(peer.open(agent.port), SEND_OK) << c.what;
    ASSERT_EQ(peer.send(MSG_OFFER, c.offer), 0) << c.what;
    EXPECT_TRUE(error_then_close(peer, ERROR_PROTOCOL, c.error)) << c.what;
  }
  ASSERT_TRUE(agent.wait_sessions_ended(int(cases.size()) + 1));
  auto logs = agent.recorder.log_copy();
  EXPECT_EQ(std::count(logs.begin(), logs.end(), "handle_offer failed"), long(cases.size()));
  EXPECT_EQ(agent.recorder.offer_count(), 0u);  // nobody was asked
}

// A well-formed offer the agent cannot take: MSG_REJECT with the reason, and the same
// connection then serves a good offer.
TEST(Session, UnacceptableOffersAreRejectedAndTheConnectionGoesOn) {
  static int fat_answer = 0;
  receive_session_set_fat_test([](const char*) { return fat_answer; });
  struct Case {
    const char* what;
    std::vector<uint8_t> offer;
    int reason;
    uint64_t free_space = kFreeSpaceAsk;
    int fat = 0;
  };
  const auto id = offer_id(9);
  auto head = [&](uint8_t kind, uint16_t count, uint64_t total) {
    return Body().id(id).u8(kind).u16(count).u64(total);
  };
  const std::string deep = [] {
    std::string s;
    for (int i = 0; i < 64; ++i) s += "d/";
    return s + "x";
  }();
  std::vector<Case> cases = {
      {"10001 items", head(1, 10001, 1).b, REJECT_NOT_ACCEPTABLE},
      {"text of 60001 bytes", head(2, 0, 60001).b, REJECT_NOT_ACCEPTABLE},
      {"link of 60001 bytes", head(3, 0, 60001).b, REJECT_NOT_ACCEPTABLE},
      {"empty path component", file_offer(id, {{"a//b", 1}}), REJECT_NOT_ACCEPTABLE},
      {"parent folder", file_offer(id, {{"../x", 1}}), REJECT_NOT_ACCEPTABLE},
      {"drive-like name", file_offer(id, {{"c:x", 1}}), REJECT_NOT_ACCEPTABLE},
      {"absolute name", file_offer(id, {{"/etc/x", 1}}), REJECT_NOT_ACCEPTABLE},
      {"65 components", file_offer(id, {{deep, 1}}), REJECT_NOT_ACCEPTABLE},
      {"bad second name", file_offer(id, {{"ok.txt", 1}, {"a/", 1}}), REJECT_NOT_ACCEPTABLE},
      {"more than the free space", file_offer(id, {{"a", 600}, {"b", 401}}), REJECT_NO_SPACE,
       1000},
      {"4 GiB file on FAT", file_offer(id, {{"big", 4294967296ull}}), REJECT_NOT_ACCEPTABLE,
       uint64_t(1) << 40, 1},
  };
  for (const Case& c : cases) {
    Agent agent;
    agent.config.free_space_override = c.free_space;
    fat_answer = c.fat;
    agent.start();
    Peer peer;
    ASSERT_EQ(peer.open(agent.port), SEND_OK) << c.what;
    ASSERT_EQ(peer.send(MSG_OFFER, c.offer), 0) << c.what;
    Peer::Msg m = peer.recv();
    ASSERT_EQ(m.type, MSG_REJECT) << c.what;
    EXPECT_EQ(m.body, Body().id(id).u8(uint8_t(c.reason)).b) << c.what;
    EXPECT_EQ(agent.recorder.offer_count(), 0u) << c.what;  // decided before anybody is asked
    // The same connection takes the next offer.
    EXPECT_EQ(sender_send_text(&peer.s, kOfferKindText, "still here"), SEND_OK) << c.what;
  }
  receive_session_set_fat_test(nullptr);
}

// The limits themselves are still acceptable.
TEST(Session, OffersAtTheLimitsAreServed) {
  static int fat_answer = 1;
  receive_session_set_fat_test([](const char*) { return fat_answer; });
  Agent agent;
  agent.config.free_space_override = 4294967295ull + 1000;
  agent.recorder.offer_answer = 0;  // stop at the prompt: reaching it is the point
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  const auto id = offer_id(3);
  struct Case {
    const char* what;
    std::vector<uint8_t> offer;
  };
  const Case cases[] = {
      {"just under 4 GiB on FAT", file_offer(id, {{"big", 4294967295ull}})},
      {"exactly the free space", file_offer(id, {{"a", 4294967295ull}, {"b", 1000}})},
      {"text of 60000 bytes", Body().id(id).u8(2).u16(0).u64(60000).b},
      {"64 components", file_offer(id, {{[] {
                                           std::string s;
                                           for (int i = 0; i < 63; ++i) s += "d/";
                                           return s + "x";
                                         }(),
                                         1}})},
  };
  size_t asked = 0;
  for (const Case& c : cases) {
    ASSERT_EQ(peer.send(MSG_OFFER, c.offer), 0) << c.what;
    Peer::Msg m = peer.recv();
    ASSERT_EQ(m.type, MSG_REJECT) << c.what;
    EXPECT_EQ(m.body.back(), REJECT_DECLINED) << c.what;
    EXPECT_EQ(agent.recorder.offer_count(), ++asked) << c.what;
  }
  receive_session_set_fat_test(nullptr);
}

TEST(Session, TextOfSixtyThousandBytesArrivesWhole) {
  Agent agent;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  const std::string text(60000, 'x');
  ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, text.c_str()), SEND_OK);
  ASSERT_EQ(sender_send_text(&peer.s, kOfferKindLink, "https://example.org/a?b=c"), SEND_OK);
  std::lock_guard<std::mutex> g(agent.recorder.m);
  ASSERT_EQ(agent.recorder.texts.size(), 2u);
  EXPECT_EQ(agent.recorder.texts[0], std::make_pair(int(kOfferKindText), text));
  EXPECT_EQ(agent.recorder.texts[1],
            std::make_pair(int(kOfferKindLink), std::string("https://example.org/a?b=c")));
  // The first acceptance granted an allowance that covered the link.
  EXPECT_EQ(agent.recorder.offers.size(), 1u);
  EXPECT_EQ(agent.recorder.grants, std::vector<uint64_t>{600000});
}

TEST(Session, TextThatDoesNotFollowItsAcceptanceClosesTheConnection) {
  struct Case {
    const char* what;
    uint8_t type;
    std::vector<uint8_t> body;
  };
  const auto id = offer_id(5);
  const Case cases[] = {
      {"another offer id", MSG_TEXT, Body().id(offer_id(6)).str("hello").b},
      {"shorter than an id", MSG_TEXT, Body().str("hello").b},
      {"data instead of text", MSG_DATA, data_msg(id, 0, 0, "hello")},
  };
  Agent agent;
  agent.start();
  Peer peer;
  pair_once(agent, peer);
  for (const Case& c : cases) {
    ASSERT_EQ(peer.open(agent.port), SEND_OK) << c.what;
    ASSERT_EQ(peer.send(MSG_OFFER, Body().id(id).u8(2).u16(0).u64(5).b), 0) << c.what;
    Peer::Msg m = peer.recv();
    ASSERT_EQ(m.type, MSG_ACCEPT) << c.what;
    EXPECT_EQ(m.body, id) << c.what;  // a text offer is accepted with its id alone
    ASSERT_EQ(peer.send(c.type, c.body), 0) << c.what;
    EXPECT_TRUE(error_then_close(peer, ERROR_PROTOCOL, "expected text")) << c.what;
  }
  std::lock_guard<std::mutex> g(agent.recorder.m);
  EXPECT_TRUE(agent.recorder.texts.empty());
}

TEST(Session, DeclinedOfferIsRejectedAndTheNextOneAsksAgain) {
  Agent agent;
  agent.recorder.offer_answer = 0;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  EXPECT_EQ(sender_send_text(&peer.s, kOfferKindLink, "https://a.example"), SEND_REJECTED);
  EXPECT_EQ(peer.s.reject_reason, REJECT_DECLINED);
  agent.recorder.offer_answer = 1;
  EXPECT_EQ(sender_send_text(&peer.s, kOfferKindLink, "https://a.example"), SEND_OK);
  std::lock_guard<std::mutex> g(agent.recorder.m);
  ASSERT_EQ(agent.recorder.offers.size(), 2u);
  EXPECT_EQ(agent.recorder.offers[1].kind, kOfferKindLink);
  EXPECT_EQ(agent.recorder.offers[1].count, 0);
  EXPECT_EQ(agent.recorder.offers[1].total_bytes, 17u);
  EXPECT_EQ(agent.recorder.offers[1].auto_allowed, 0);
  EXPECT_EQ(agent.recorder.offer_first_names[1], "");
  EXPECT_EQ(agent.recorder.grants.size(), 1u);  // only the accepted prompt grants
}

TEST(Session, OfferPromptSeesTheSanitisedFirstNameAndTheTotals) {
  Agent agent;
  agent.recorder.offer_answer = 0;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  const auto id = offer_id(1);
  ASSERT_EQ(peer.send(MSG_OFFER, file_offer(id, {{"Photos/2024/ab:c.jpg", 1000}, {"c.txt", 536}})),
            0);
  EXPECT_EQ(peer.recv().type, MSG_REJECT);
  std::lock_guard<std::mutex> g(agent.recorder.m);
  ASSERT_EQ(agent.recorder.offers.size(), 1u);
  const OfferInfo& o = agent.recorder.offers[0];
  EXPECT_EQ(o.kind, kOfferKindFiles);
  EXPECT_EQ(o.count, 2);
  EXPECT_EQ(o.total_bytes, 1536u);
  EXPECT_EQ(o.trusted, 1);  // paired on this very connection
  EXPECT_EQ(agent.recorder.offer_first_names[0], "ab_c.jpg");
  EXPECT_EQ(agent.recorder.offer_peer_names[0], "Test Phone");
}

std::atomic<uint64_t> g_now{1000};
uint64_t test_clock(void*) { return g_now.load(); }

TEST(Session, AllowanceCoversTheNextOffersForTenMinutesAcrossConnections) {
  Agent agent;
  allowance_free(agent.allowance);
  agent.allowance = allowance_new_with_clock(test_clock, nullptr);
  agent.config.allowance = agent.allowance;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, "one"), SEND_OK);
  EXPECT_EQ(agent.recorder.offer_count(), 1u);

  ASSERT_EQ(peer.open(agent.port), SEND_OK);  // a new connection
  g_now += 599999;
  ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, "two"), SEND_OK);
  EXPECT_EQ(agent.recorder.offer_count(), 1u);

  g_now += 1;  // ten minutes after the grant
  ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, "three"), SEND_OK);
  EXPECT_EQ(agent.recorder.offer_count(), 2u);
  std::lock_guard<std::mutex> g(agent.recorder.m);
  EXPECT_EQ(agent.recorder.texts.size(), 3u);
  EXPECT_EQ(agent.recorder.grants.size(), 2u);

  // Another phone is not covered by this one's allowance.
}

TEST(Session, AllowanceOfOnePhoneDoesNotCoverAnother) {
  Agent agent;
  agent.start();
  Peer first("First"), second("Second");
  ASSERT_EQ(first.open(agent.port), SEND_OK);
  ASSERT_EQ(sender_send_text(&first.s, kOfferKindText, "a"), SEND_OK);
  ASSERT_EQ(second.open(agent.port), SEND_OK);
  ASSERT_EQ(sender_send_text(&second.s, kOfferKindText, "b"), SEND_OK);
  EXPECT_EQ(agent.recorder.offer_count(), 2u);
}

TEST(Session, WithoutAllowanceTableOrLengthNothingIsGranted) {
  for (int variant = 0; variant < 2; ++variant) {
    Agent agent;
    if (variant == 0) agent.config.allowance = nullptr;
    else agent.config.allowance_ms = 0;
    agent.start();
    Peer peer;
    ASSERT_EQ(peer.open(agent.port), SEND_OK);
    ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, "a"), SEND_OK);
    ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, "b"), SEND_OK);
    EXPECT_EQ(agent.recorder.offer_count(), 2u) << variant;
    std::lock_guard<std::mutex> g(agent.recorder.m);
    EXPECT_TRUE(agent.recorder.grants.empty()) << variant;
  }
}

TEST(Session, TrustedPeerWithAcceptFlagIsAcceptedOnlyWhenTheConfigSaysSo) {
  for (int auto_accept = 0; auto_accept < 2; ++auto_accept) {
    Agent agent;
    agent.config.auto_accept_trusted = auto_accept;
    agent.config.allowance = nullptr;
    agent.start();
    Peer peer;
    ASSERT_EQ(peer.open(agent.port), SEND_OK);  // pairs: trusted with accept flag 1
    ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, "a"), SEND_OK);
    EXPECT_EQ(agent.recorder.offer_count(), auto_accept ? 0u : 1u) << auto_accept;
  }
}

TEST(Session, IdleConnectionIsClosedAfterTheConfiguredTime) {
  Agent agent;
  agent.config.idle_timeout_ms = 300;
  agent.start();
  Peer peer;
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  const uint64_t start = monotonic_ms();
  EXPECT_EQ(peer.recv(5000).len, -3);
  EXPECT_GE(monotonic_ms() - start, 250u);
  ASSERT_TRUE(agent.wait_sessions_ended(1));
  EXPECT_TRUE(agent.recorder.has_log("session end: recv=-2"));
}

TEST(Session, PeerEndsTheConnectionWithoutALogLine) {
  for (uint8_t type : {MSG_END, MSG_ERROR}) {
    Agent agent;
    agent.start();
    Peer peer;
    ASSERT_EQ(peer.open(agent.port), SEND_OK);
    // Messages the agent does not serve between offers are ignored.
    ASSERT_EQ(peer.send(MSG_ACK, Body().id(offer_id(1)).u16(0).u64(0).b), 0);
    ASSERT_EQ(peer.send(type, Body().u16(2).u16(0).b), 0);
    EXPECT_EQ(peer.recv().len, -3);
    ASSERT_TRUE(agent.wait_sessions_ended(1));
    EXPECT_TRUE(agent.recorder.log_copy().empty()) << int(type);
  }
}

}  // namespace

namespace {

using namespace harness;

// With FL_TRACE in the environment every rejection is traced on standard error. The switch is
// read once per process, so the check runs in a fresh one.
TEST(SessionTrace, RejectionsAreTracedWhenAskedFor) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static char trace_on[] = "FL_TRACE=1";
        putenv(trace_on);
        Agent agent;
        agent.start();
        Peer peer;
        if (peer.open(agent.port) != SEND_OK) exit(2);
        std::string long_text(60001, 'x');
        int rc = sender_send_text(&peer.s, kOfferKindText, long_text.c_str());
        peer.close();
        exit(rc == SEND_REJECTED ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "\\[trace\\] reject reason=3");
}

}  // namespace
