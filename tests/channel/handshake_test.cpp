// The handshake over real loopback TCP: both roles of handshake_run, and hand-driven
// peers that misbehave in the ways a hostile or broken phone could.

#include "channel/handshake.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channel/frame.h"
#include "channel/messages.h"
#include "channel/pairing.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "loopback.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Device {
    uint8_t priv[32];
    uint8_t pub[32];
    HandshakePayload payload{};
};

Device device(uint8_t seed, const char* name, uint32_t features) {
    Device d;
    for (int i = 0; i < 32; i++) d.priv[i] = static_cast<uint8_t>(seed + 13 * i);
    x25519_base(d.pub, d.priv);
    std::snprintf(d.payload.name, sizeof d.payload.name, "%s", name);
    d.payload.kind = 1;
    d.payload.version = 1;
    d.payload.features = features;
    return d;
}

const Device kAgent = device(0x10, "Agent PC", 0x0F);
const Device kPhone = device(0x80, "Phone", 0x08);

struct RunResult {
    SecureChannel ch{};
    int rc = 1;
};

// handshake_run in the given role on its own thread.
struct Runner {
    RunResult r;
    std::thread t;
    Runner(StreamOps* io, const Device& d, int initiator, const uint8_t* fixed_e = nullptr,
           int timeout_ms = kHandshakeFrameTimeoutMs)
        : t([this, io, &d, initiator, fixed_e, timeout_ms] {
              r.rc = handshake_run_timed(&r.ch, io, d.priv, &d.payload, initiator, fixed_e, timeout_ms);
          }) {}
    ~Runner() {
        if (t.joinable()) t.join();  // a failed assertion left early
    }
    RunResult& wait() { t.join(); return r; }
};

const uint8_t* prologue() { return reinterpret_cast<const uint8_t*>(kHandshakePrologue); }
const size_t kPrologueLen = sizeof kHandshakePrologue - 1;

// Both roles through handshake_run; returns the two channels.
void full_handshake(StreamOps* ia, StreamOps* ib, RunResult* init, RunResult* resp,
                    const uint8_t* e_init = nullptr, const uint8_t* e_resp = nullptr) {
    Runner i(ia, kPhone, 1, e_init);
    Runner r(ib, kAgent, 0, e_resp);
    *init = i.wait();
    *resp = r.wait();
}

TEST(Handshake, BothRolesAgreeOnKeysHashAndPeers) {
    LoopbackPair p;
    ASSERT_TRUE(p.ok);
    RunResult i, r;
    full_handshake(p.a, p.b, &i, &r);
    ASSERT_EQ(i.rc, 0);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(i.ch.established, 1);
    EXPECT_EQ(r.ch.established, 1);
    EXPECT_EQ(std::memcmp(i.ch.handshake_hash, r.ch.handshake_hash, 32), 0);
    EXPECT_EQ(std::memcmp(i.ch.send.key, r.ch.recv.key, 32), 0);
    EXPECT_EQ(std::memcmp(i.ch.recv.key, r.ch.send.key, 32), 0);
    EXPECT_NE(std::memcmp(i.ch.send.key, i.ch.recv.key, 32), 0);
    EXPECT_EQ(i.ch.send.n + i.ch.recv.n + r.ch.send.n + r.ch.recv.n, 0u);
    EXPECT_EQ(std::memcmp(i.ch.remote_static, kAgent.pub, 32), 0);
    EXPECT_EQ(std::memcmp(r.ch.remote_static, kPhone.pub, 32), 0);
    EXPECT_STREQ(r.ch.peer.name, "Phone");
    EXPECT_EQ(r.ch.peer.features, 0x08u);
    EXPECT_STREQ(i.ch.peer.name, "Agent PC");
    EXPECT_EQ(i.ch.peer.kind, 1);
    EXPECT_EQ(i.ch.peer.version, 1);
    EXPECT_EQ(i.ch.peer.features, 0x0Fu);

    // The channels carry messages both ways.
    ASSERT_EQ(channel_send_message(&i.ch, MSG_TRUST_STATE, "\x01", 1), 0);
    ASSERT_EQ(channel_send_message(&r.ch, MSG_TRUST_STATE, "\x02", 1), 0);
    uint8_t out[16];
    ASSERT_EQ(channel_recv(&r.ch, out, sizeof out, 2000), 3);
    EXPECT_EQ(out[2], 1);
    ASSERT_EQ(channel_recv(&i.ch, out, sizeof out, 2000), 3);
    EXPECT_EQ(out[2], 2);

    char ci[7], cr[7];
    pairing_code(i.ch.handshake_hash, ci);
    pairing_code(r.ch.handshake_hash, cr);
    EXPECT_STREQ(ci, cr);
}

TEST(Handshake, FreshEphemeralKeysGiveUnrelatedHashes) {
    RunResult i1, r1, i2, r2;
    {
        LoopbackPair p;
        ASSERT_TRUE(p.ok);
        full_handshake(p.a, p.b, &i1, &r1);
    }
    {
        LoopbackPair p;
        ASSERT_TRUE(p.ok);
        full_handshake(p.a, p.b, &i2, &r2);
    }
    ASSERT_EQ(r1.rc, 0);
    ASSERT_EQ(r2.rc, 0);
    EXPECT_NE(std::memcmp(r1.ch.handshake_hash, r2.ch.handshake_hash, 32), 0);
    EXPECT_NE(std::memcmp(r1.ch.recv.key, r2.ch.recv.key, 32), 0);
}

// A peer driven message by message, to put exactly the chosen bytes on the wire.
struct ManualPeer {
    HandshakeState hs;
    StreamOps* io;
    Bytes last;  // the last message received, as it travelled
    ManualPeer(StreamOps* io_, const Device& d, int initiator, const char* prologue_text = kHandshakePrologue,
               const uint8_t* fixed_e = nullptr)
        : io(io_) {
        handshake_init(&hs, initiator, d.priv, reinterpret_cast<const uint8_t*>(prologue_text),
                       std::strlen(prologue_text), fixed_e);
    }
    int send(const Bytes& payload) {
        uint8_t msg[kHandshakeMaxMessage];
        size_t len = 0;
        if (handshake_write_message(&hs, payload.data(), payload.size(), msg, &len) != 0) return -100;
        return frame_write(io, msg, len);
    }
    int receive(Bytes* payload = nullptr) {
        uint8_t msg[kHandshakeMaxMessage], pl[kHandshakeMaxMessage];
        size_t pl_len = 0;
        int len = frame_read(io, msg, sizeof msg, 5000);
        if (len < 0) return len;
        last.assign(msg, msg + len);
        int rc = handshake_read_message(&hs, msg, static_cast<size_t>(len), pl, &pl_len);
        if (payload) payload->assign(pl, pl + pl_len);
        return rc;
    }
};

Bytes encoded(const HandshakePayload& p) {
    uint8_t buf[kPayloadMaxEncoded];
    size_t n = payload_encode(&p, buf);
    return Bytes(buf, buf + n);
}

// The agent's handshake_run against a hand-driven phone that has exchanged messages
// 1 and 2 and is about to write message 3.
struct PhoneAtMessageThree {
    LoopbackPair p;
    std::unique_ptr<Runner> agent;
    std::unique_ptr<ManualPeer> phone;
    bool start() {
        if (!p.ok) return false;
        agent = std::make_unique<Runner>(p.b, kAgent, 0);
        phone = std::make_unique<ManualPeer>(p.a, kPhone, 1);
        return phone->send({}) == 0 && phone->receive() == 0;
    }
};

// SHA-256(h || data), the hash chain step of every Noise handshake.
void chain(uint8_t h[32], const uint8_t* data, size_t len) {
    Sha256Ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, h, 32);
    sha256_update(&ctx, data, static_cast<uint32_t>(len));
    sha256_final(&ctx, h);
}

TEST(Handshake, InitiatorWithOtherPrologueFailsAtMessageThree) {
    // An initiator that started its hash with "ferrylink/2" but presses on regardless
    // of message 2: it holds the right keys, and only its hash differs.
    PhoneAtMessageThree x;
    ASSERT_TRUE(x.start());
    const Bytes& msg2 = x.phone->last;
    ASSERT_GE(msg2.size(), 96u);
    uint8_t h[32];
    std::memcpy(h, "Noise_XX_25519_ChaChaPoly_SHA256", 32);
    chain(h, reinterpret_cast<const uint8_t*>("ferrylink/2"), 11);
    chain(h, x.phone->hs.e_public, 32);
    chain(h, nullptr, 0);  // the empty payload of message 1
    chain(h, msg2.data(), 32);
    chain(h, msg2.data() + 32, 48);
    chain(h, msg2.data() + 80, msg2.size() - 80);
    std::memcpy(x.phone->hs.h, h, 32);
    ASSERT_EQ(x.phone->send(encoded(kPhone.payload)), 0);
    EXPECT_EQ(x.agent->wait().rc, -5);
}

TEST(Handshake, ResponderWithOtherPrologueFailsTheInitiatorAtMessageTwo) {
    LoopbackPair p;
    ASSERT_TRUE(p.ok);
    Runner phone(p.a, kPhone, 1);
    ManualPeer agent(p.b, kAgent, 0, "ferrylink/0");
    ASSERT_EQ(agent.receive(), 0);  // message 1 carries no tag: nothing to notice yet
    ASSERT_EQ(agent.send(encoded(kAgent.payload)), 0);
    EXPECT_EQ(phone.wait().rc, -5);
    uint8_t b;
    EXPECT_EQ(p.b->recv_exact(p.b, &b, 1, 150), -2) << "message 3 was sent";
}

TEST(Handshake, MessageOnePayloadIsAcceptedAndOnlyHashed) {
    const uint8_t e_phone[32] = {1, 2, 3, 4, 5};
    const uint8_t e_agent[32] = {9, 8, 7, 6, 5};
    uint8_t hash_plain[32];
    {
        LoopbackPair p;
        ASSERT_TRUE(p.ok);
        RunResult i, r;
        full_handshake(p.a, p.b, &i, &r, e_phone, e_agent);
        ASSERT_EQ(r.rc, 0);
        std::memcpy(hash_plain, r.ch.handshake_hash, 32);
    }
    LoopbackPair p;
    ASSERT_TRUE(p.ok);
    Runner agent(p.b, kAgent, 0, e_agent);
    ManualPeer phone(p.a, kPhone, 1, kHandshakePrologue, e_phone);
    ASSERT_EQ(phone.send({'h', 'e', 'l', 'l', 'o'}), 0);
    Bytes agent_payload;
    ASSERT_EQ(phone.receive(&agent_payload), 0);
    EXPECT_EQ(agent_payload, encoded(kAgent.payload));
    ASSERT_EQ(phone.send(encoded(kPhone.payload)), 0);
    RunResult& r = agent.wait();
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(std::memcmp(r.ch.handshake_hash, phone.hs.h, 32), 0);
    EXPECT_NE(std::memcmp(r.ch.handshake_hash, hash_plain, 32), 0);
    EXPECT_STREQ(r.ch.peer.name, "Phone");
}

TEST(Handshake, BrokenFirstMessagesFailBeforeAnyReply) {
    struct Case { const char* what; Bytes msg1; };
    const Case cases[] = {
        {"31 bytes", Bytes(31, 0x55)},
        {"empty frame", Bytes{}},
        {"all-zero ephemeral key", Bytes(32, 0x00)},
        {"low-order ephemeral key", Bytes{0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                          0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        LoopbackPair p;
        ASSERT_TRUE(p.ok);
        Runner agent(p.b, kAgent, 0);
        ASSERT_EQ(frame_write(p.a, c.msg1.data(), c.msg1.size()), 0);
        EXPECT_EQ(agent.wait().rc, -5) << c.what;
        uint8_t b;
        EXPECT_EQ(p.a->recv_exact(p.a, &b, 1, 150), -2) << c.what << ": message 2 was sent";
    }
}

TEST(Handshake, TamperedOrShortLaterMessagesFail) {
    struct Case { const char* what; size_t cut; int flip; };
    // Message 3 with the phone's 12-byte payload is 48 + 12 + 16 = 76 bytes.
    const Case cases[] = {
        {"static key tampered", 0, 5},
        {"payload tampered", 0, 60},
        {"payload tag missing", 16, -1},
        {"only the static key", 28, -1},
        {"shorter than a sealed key", 76 - 47, -1},
    };
    for (const Case& c : cases) {
        PhoneAtMessageThree x;
        ASSERT_TRUE(x.start());
        uint8_t msg[kHandshakeMaxMessage];
        size_t len = 0;
        Bytes pl = encoded(kPhone.payload);
        ASSERT_EQ(handshake_write_message(&x.phone->hs, pl.data(), pl.size(), msg, &len), 0);
        ASSERT_EQ(len, 76u);
        if (c.flip >= 0) msg[c.flip] ^= 0x04;
        ASSERT_EQ(frame_write(x.p.a, msg, len - c.cut), 0);
        EXPECT_EQ(x.agent->wait().rc, -5) << c.what;
    }
}

TEST(Handshake, ShortMessageTwoFailsTheInitiator) {
    for (size_t len : {size_t{79}, size_t{95}}) {
        LoopbackPair p;
        ASSERT_TRUE(p.ok);
        Runner phone(p.a, kPhone, 1);
        ManualPeer agent(p.b, kAgent, 0);
        ASSERT_EQ(agent.receive(), 0);
        uint8_t msg[kHandshakeMaxMessage];
        size_t full = 0;
        Bytes pl = encoded(kAgent.payload);
        ASSERT_EQ(handshake_write_message(&agent.hs, pl.data(), pl.size(), msg, &full), 0);
        ASSERT_EQ(frame_write(p.b, msg, len), 0);
        EXPECT_EQ(phone.wait().rc, -5) << len;
    }
}

TEST(Handshake, MalformedPeerPayloadIsReportedAsMalformed) {
    struct Case { Bytes payload; int expect; };
    const Bytes good = {0x04, 'a', 'b', 'c', 'd', 0x01, 0x01, 0x00, 0x00, 0x00, 0x08};
    const Case cases[] = {
        {good, 0},
        {Bytes(good.begin(), good.end() - 1), -4},
        {Bytes{}, -4},
    };
    for (const Case& c : cases) {
        PhoneAtMessageThree x;
        ASSERT_TRUE(x.start());
        ASSERT_EQ(x.phone->send(c.payload), 0);
        RunResult& r = x.agent->wait();
        EXPECT_EQ(r.rc, c.expect) << c.payload.size();
        if (c.expect == 0) {
            EXPECT_STREQ(r.ch.peer.name, "abcd");
        }
    }
}

TEST(Handshake, FrameLayerResultsPassThrough) {
    struct Case { const char* what; Bytes raw; bool close; int expect; };
    Bytes oversized = {0x02, 0x01};  // a 513-byte frame
    oversized.resize(2 + 513, 0x33);
    const Case cases[] = {
        {"no first message", {}, false, -2},
        {"peer closes", {}, true, -3},
        {"513-byte frame", oversized, false, -4},
        {"frame cut short", {0x00, 0x20, 1, 2, 3}, false, -3},
    };
    for (const Case& c : cases) {
        LoopbackPair p;
        ASSERT_TRUE(p.ok);
        ASSERT_TRUE(p.feed_from_a(c.raw, c.close));
        Runner agent(p.b, kAgent, 0, nullptr, 200);  // a shortened wait instead of 10 s
        EXPECT_EQ(agent.wait().rc, c.expect) << c.what;
    }
}

TEST(HandshakeState, OnlyTheNextMessageOfTheRightSideIsAccepted) {
    HandshakeState resp, init;
    handshake_init(&resp, 0, kAgent.priv, prologue(), kPrologueLen, nullptr);
    handshake_init(&init, 1, kPhone.priv, prologue(), kPrologueLen, nullptr);
    uint8_t msg[kHandshakeMaxMessage], pl[kHandshakeMaxMessage];
    size_t len = 0, pl_len = 0;
    CipherState s{}, r{};

    std::memset(msg, 0x42, sizeof msg);
    EXPECT_EQ(handshake_write_message(&resp, nullptr, 0, msg, &len), -1);  // the initiator starts
    EXPECT_EQ(handshake_read_message(&init, msg, 200, pl, &pl_len), -1);
    EXPECT_EQ(handshake_split(&init, &s, &r), -1);
    ASSERT_EQ(handshake_write_message(&init, nullptr, 0, msg, &len), 0);
    EXPECT_EQ(handshake_write_message(&init, nullptr, 0, msg, &len), -1);  // twice in a row
    ASSERT_EQ(handshake_read_message(&resp, msg, len, pl, &pl_len), 0);
    ASSERT_EQ(handshake_write_message(&resp, nullptr, 0, msg, &len), 0);
    EXPECT_EQ(len, 96u);
    ASSERT_EQ(handshake_read_message(&init, msg, len, pl, &pl_len), 0);
    EXPECT_EQ(init.has_rs, 1);
    ASSERT_EQ(handshake_write_message(&init, nullptr, 0, msg, &len), 0);
    EXPECT_EQ(len, 64u);
    EXPECT_EQ(handshake_split(&resp, &s, &r), -1);  // message 3 not read yet
    ASSERT_EQ(handshake_read_message(&resp, msg, len, pl, &pl_len), 0);
    EXPECT_EQ(handshake_write_message(&resp, nullptr, 0, msg, &len), -1);  // nothing after 3
    EXPECT_EQ(handshake_read_message(&resp, msg, len, pl, &pl_len), -1);
    EXPECT_EQ(handshake_split(&resp, &s, &r), 0);
    EXPECT_EQ(s.has_key, 1);
    EXPECT_EQ(std::memcmp(init.h, resp.h, 32), 0);
}

TEST(HandshakeState, MessagesNeverExceedTheFrameLimit) {
    HandshakeState resp, init;
    handshake_init(&resp, 0, kAgent.priv, prologue(), kPrologueLen, nullptr);
    handshake_init(&init, 1, kPhone.priv, prologue(), kPrologueLen, nullptr);
    Bytes payload(kHandshakeMaxMessage, 0x61);
    uint8_t msg[kHandshakeMaxMessage + 64], pl[kHandshakeMaxMessage];
    size_t len = 0, pl_len = 0;
    // Message 1 holds 32 key bytes and at most 480 payload bytes; a refused write
    // leaves the state as it was, so the next attempt is a correct message 1.
    EXPECT_EQ(handshake_write_message(&init, payload.data(), 481, msg, &len), -1);
    EXPECT_EQ(init.message_index, 0);
    ASSERT_EQ(handshake_write_message(&init, payload.data(), 480, msg, &len), 0);
    EXPECT_EQ(len, 512u);
    // A longer message is refused before its payload could overrun the caller's buffer.
    uint8_t longer[kHandshakeMaxMessage + 1] = {};
    std::memcpy(longer, msg, len);
    EXPECT_EQ(handshake_read_message(&resp, longer, sizeof longer, pl, &pl_len), -1);
    ASSERT_EQ(handshake_read_message(&resp, msg, len, pl, &pl_len), 0);
    EXPECT_EQ(pl_len, 480u);
    // Message 2: 32 + 48 + payload + 16.
    EXPECT_EQ(handshake_write_message(&resp, payload.data(), 417, msg, &len), -1);
    ASSERT_EQ(handshake_write_message(&resp, payload.data(), 416, msg, &len), 0);
    EXPECT_EQ(len, 512u);
    ASSERT_EQ(handshake_read_message(&init, msg, len, pl, &pl_len), 0);
    EXPECT_EQ(pl_len, 416u);
}

// --- payload ----------------------------------------------------------------------

TEST(HandshakePayload, DecodeTable) {
    struct Case {
        const char* what;
        Bytes bytes;
        int rc;
        const char* name;
        uint8_t kind, version;
        uint32_t features;
    };
    const Bytes base = {0x04, 'a', 'b', 'c', 'd', 0x01, 0x01, 0x00, 0x00, 0x00, 0x08};
    Bytes extra = base;
    extra.insert(extra.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    Bytes long_name = {70};
    long_name.insert(long_name.end(), 70, 'n');
    long_name.insert(long_name.end(), {2, 1, 0x12, 0x34, 0x56, 0x78});
    const Case cases[] = {
        {"complete", base, 0, "abcd", 1, 1, 8},
        {"extra bytes ignored", extra, 0, "abcd", 1, 1, 8},
        {"empty name", {0x00, 0x03, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}, 0, "", 3, 2, 0xFFFFFFFF},
        {"features cut short", Bytes(base.begin(), base.end() - 1), -1, "abcd", 1, 1, 0},
        {"no features", Bytes(base.begin(), base.end() - 4), -1, "abcd", 1, 1, 0},
        {"no version", Bytes(base.begin(), base.end() - 5), -1, "abcd", 1, 0, 0},
        {"nothing after the name", Bytes(base.begin(), base.end() - 6), -1, "abcd", 0, 0, 0},
        {"name longer than the body", {0x05, 'a', 'b', 'c', 'd'}, -1, "", 0, 0, 0},
        {"empty body", {}, -1, "", 0, 0, 0},
        {"name cut at 63 bytes", long_name, 0, nullptr, 2, 1, 0x12345678},
    };
    for (const Case& c : cases) {
        HandshakePayload out;
        std::memset(&out, 0x5A, sizeof out);
        EXPECT_EQ(payload_decode(c.bytes.data(), c.bytes.size(), &out), c.rc) << c.what;
        if (c.name) {
            EXPECT_STREQ(out.name, c.name) << c.what;
        } else {
            EXPECT_EQ(std::string(out.name), std::string(63, 'n')) << c.what;
        }
        EXPECT_EQ(out.kind, c.kind) << c.what;
        EXPECT_EQ(out.version, c.version) << c.what;
        EXPECT_EQ(out.features, c.features) << c.what;
    }
}

TEST(HandshakePayload, EncodeCutsNamesOnCharacterBoundaries) {
    struct Case { const char* what; std::string name; size_t sent; };
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const Case cases[] = {
        {"short", "abcd", 4},
        {"exactly 63 bytes", std::string(63, 'a'), 63},
        {"64 bytes, no terminator", std::string(64, 'a'), 63},
        {"three-byte character over the cut", std::string(61, 'a') + euro, 61},
        {"three-byte character ending at the cut", std::string(60, 'a') + euro, 63},
        {"two-byte character over the cut", std::string(62, 'a') + "\xC3\xA9", 62},
    };
    for (const Case& c : cases) {
        HandshakePayload p{};
        std::memcpy(p.name, c.name.data(), std::min(c.name.size(), sizeof p.name));
        p.kind = 1;
        p.version = 1;
        p.features = 0x0000000F;
        uint8_t out[kPayloadMaxEncoded];
        size_t n = payload_encode(&p, out);
        ASSERT_EQ(n, c.sent + 7) << c.what;
        EXPECT_EQ(out[0], c.sent) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), c.sent), c.name.substr(0, c.sent)) << c.what;
        const uint8_t tail[] = {1, 1, 0, 0, 0, 0x0F};
        EXPECT_EQ(std::memcmp(out + 1 + c.sent, tail, 6), 0) << c.what;

        HandshakePayload back;
        ASSERT_EQ(payload_decode(out, n, &back), 0) << c.what;
        EXPECT_EQ(std::string(back.name), c.name.substr(0, c.sent)) << c.what;
    }
}

}  // namespace
