// Cipher states, frames and the encrypted channel, over real loopback TCP.

#include "channel/channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "channel/cipher_state.h"
#include "channel/frame.h"
#include "channel/messages.h"
#include "crypto/aead.h"
#include "loopback.h"
#include "platform/sync.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes key_of(uint8_t fill) { return Bytes(32, fill); }

CipherState keyed(uint8_t fill, uint64_t n = 0) {
    CipherState cs{};
    Bytes k = key_of(fill);
    cipher_init_key(&cs, k.data());
    cs.n = n;
    return cs;
}

// Nothing arrives on io within a short wait.
bool silent(StreamOps* io) {
    uint8_t b;
    return io->recv_exact(io, &b, 1, 150) == -2;
}

// --- cipher state -----------------------------------------------------------------

TEST(CipherState, WithoutKeyCopiesThrough) {
    CipherState cs{};
    const uint8_t in[] = {1, 2, 3};
    uint8_t out[3] = {};
    EXPECT_EQ(cipher_encrypt(&cs, nullptr, 0, in, 3, out), 3);
    EXPECT_EQ(std::memcmp(in, out, 3), 0);
    EXPECT_EQ(cipher_decrypt(&cs, nullptr, 0, in, 3, out), 3);
    EXPECT_EQ(std::memcmp(in, out, 3), 0);
    EXPECT_EQ(cs.n, 0u);
    cipher_rekey(&cs);
    EXPECT_EQ(cs.has_key, 0);
}

TEST(CipherState, NonceIsCounterLittleEndianAfterFourZeroBytes) {
    CipherState cs = keyed(0x42, 0x0102030405060708ull);
    const uint8_t msg[] = "hello";
    uint8_t got[5 + 16], expect[5 + 16];
    ASSERT_EQ(cipher_encrypt(&cs, nullptr, 0, msg, 5, got), 21);
    EXPECT_EQ(cs.n, 0x0102030405060709ull);
    const uint8_t nonce[12] = {0, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1};
    Bytes k = key_of(0x42);
    aead_seal(k.data(), nonce, nullptr, 0, msg, 5, expect);
    EXPECT_EQ(std::memcmp(got, expect, sizeof got), 0);
}

TEST(CipherState, DecryptFailuresLeaveCounter) {
    const uint8_t ad[] = {9, 9};
    CipherState tx = keyed(1), rx = keyed(1);
    uint8_t ct[4 + 16], pt[4];
    ASSERT_EQ(cipher_encrypt(&tx, ad, 2, reinterpret_cast<const uint8_t*>("abcd"), 4, ct), 20);

    struct Case { const char* what; const uint8_t* ad; size_t ad_len; size_t len; int flip; };
    const Case cases[] = {
        {"other ad", nullptr, 0, 20, -1},
        {"tampered tag", ad, 2, 20, 19},
        {"tampered body", ad, 2, 20, 0},
        {"shorter than a tag", ad, 2, 15, -1},
    };
    for (const Case& c : cases) {
        uint8_t copy[20];
        std::memcpy(copy, ct, 20);
        if (c.flip >= 0) copy[c.flip] ^= 0x01;
        EXPECT_EQ(cipher_decrypt(&rx, c.ad, c.ad_len, copy, c.len, pt), -1) << c.what;
        EXPECT_EQ(rx.n, 0u) << c.what;
    }
    ASSERT_EQ(cipher_decrypt(&rx, ad, 2, ct, 20, pt), 4);
    EXPECT_EQ(std::memcmp(pt, "abcd", 4), 0);
    EXPECT_EQ(rx.n, 1u);
}

TEST(CipherState, InPlaceEqualsSeparateBuffers) {
    CipherState a = keyed(7), b = keyed(7);
    uint8_t buf[100 + 16], sep[100 + 16];
    for (int i = 0; i < 100; i++) buf[i] = static_cast<uint8_t>(i * 3);
    ASSERT_EQ(cipher_encrypt(&a, nullptr, 0, buf, 100, sep), 116);
    ASSERT_EQ(cipher_encrypt(&b, nullptr, 0, buf, 100, buf), 116);
    EXPECT_EQ(std::memcmp(buf, sep, 116), 0);
    CipherState r = keyed(7);
    ASSERT_EQ(cipher_decrypt(&r, nullptr, 0, buf, 116, buf), 100);
    for (int i = 0; i < 100; i++) ASSERT_EQ(buf[i], static_cast<uint8_t>(i * 3));
}

TEST(CipherState, LastNonceIsReservedForRekey) {
    CipherState cs = keyed(3, ~uint64_t{0});
    uint8_t buf[32 + 16] = {};
    EXPECT_EQ(cipher_encrypt(&cs, nullptr, 0, buf, 1, buf), -1);
    EXPECT_EQ(cipher_decrypt(&cs, nullptr, 0, buf, 17, buf), -1);
}

TEST(CipherState, RekeyTakesSealedZerosUnderLastNonceAndKeepsCounter) {
    CipherState cs = keyed(5, 77);
    cipher_rekey(&cs);
    EXPECT_EQ(cs.n, 77u);
    const uint8_t zeros[32] = {};
    const uint8_t nonce[12] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t sealed[48];
    Bytes k = key_of(5);
    aead_seal(k.data(), nonce, nullptr, 0, zeros, 32, sealed);
    EXPECT_EQ(std::memcmp(cs.key, sealed, 32), 0);
}

// --- frames -----------------------------------------------------------------------

TEST(Frame, RoundTripsBodiesAroundTheSingleSendLimit) {
    LoopbackPair p;
    ASSERT_TRUE(p.ok);
    for (size_t len : {size_t{0}, size_t{1}, size_t{512}, size_t{513}, size_t{65535}}) {
        Bytes body(len);
        for (size_t i = 0; i < len; i++) body[i] = static_cast<uint8_t>(i ^ (i >> 8));
        int wrc = 1;
        std::thread tx([&] { wrc = frame_write(p.a, body.data(), len); });
        Bytes got(65535);
        int rc = frame_read(p.b, got.data(), got.size(), 2000);
        tx.join();
        EXPECT_EQ(wrc, 0) << len;
        ASSERT_EQ(rc, static_cast<int>(len));
        got.resize(len);
        EXPECT_EQ(got, body) << len;
    }
}

TEST(Frame, WriteRefusesOversizedBodyAndSendsNothing) {
    LoopbackPair p;
    ASSERT_TRUE(p.ok);
    Bytes body(65536);
    EXPECT_EQ(frame_write(p.a, body.data(), body.size()), -1);
    EXPECT_TRUE(silent(p.b));
}

TEST(Frame, ReadRefusesLengthOverLimitWithoutReadingBody) {
    LoopbackPair p;
    ASSERT_TRUE(p.ok);
    Bytes body(100, 0xAB);
    ASSERT_EQ(frame_write(p.a, body.data(), body.size()), 0);
    uint8_t buf[99];
    EXPECT_EQ(frame_read(p.b, buf, sizeof buf, 2000), -4);
    // The body is still waiting in the stream.
    uint8_t rest[100];
    EXPECT_EQ(p.b->recv_exact(p.b, rest, 100, 2000), 0);
    EXPECT_EQ(rest[99], 0xAB);
}

TEST(Frame, ReadFailures) {
    struct Case {
        const char* what;
        Bytes raw;       // bytes the peer sends
        bool close;      // whether the peer then closes
        int expect;
    };
    const Case cases[] = {
        {"nothing arrives", {}, false, -2},
        {"peer closes before a frame", {}, true, -3},
        // A byte of it is taken: the frame began, and the stream cannot go on.
        {"half a header then silence", {0x00}, false, -3},
        {"time-out inside the body", {0x00, 0x05, 1, 2}, false, -3},
        {"peer closes inside the body", {0x00, 0x05, 1, 2}, true, -3},
    };
    for (const Case& c : cases) {
        LoopbackPair p;
        ASSERT_TRUE(p.ok);
        ASSERT_TRUE(p.feed_from_a(c.raw, c.close));
        uint8_t buf[16];
        EXPECT_EQ(frame_read(p.b, buf, sizeof buf, 200), c.expect) << c.what;
    }
}

TEST(Frame, AHeaderSplitAcrossAShortWaitIsStillReadWhole) {
    LoopbackPair p;
    ASSERT_TRUE(p.ok);
    ASSERT_TRUE(p.feed_from_a({0x00}, false));
    std::thread rest([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        p.feed_from_a({0x03, 7, 8, 9}, false);
    });
    // Waiting a moment only for the frame to begin must not cut a frame that has begun.
    EXPECT_EQ(frame_read_length(p.b, 10, 2000), 3);
    uint8_t body[3];
    EXPECT_EQ(frame_read_body(p.b, body, 3, 2000), 0);
    EXPECT_EQ(body[2], 9);
    rest.join();
}

// --- channel ----------------------------------------------------------------------

// Two ends of an established channel with crossed keys, as a handshake leaves them.
struct ChannelPair {
    LoopbackPair link;
    SecureChannel a{}, b{};
    ChannelPair() {
        a.io = link.a;
        b.io = link.b;
        a.send = b.recv = keyed(0x11);
        a.recv = b.send = keyed(0x22);
        a.established = b.established = 1;
    }
};

// Sends on a worker thread so large frames cannot stall on socket buffers.
struct Sender {
    int rc = 1;  // before t: the thread may write it as soon as t starts
    std::thread t;
    template <class F> explicit Sender(F f) : t([this, f] { rc = f(); }) {}
    ~Sender() {
        if (t.joinable()) t.join();
    }
    int wait() { t.join(); return rc; }
};

Bytes message(uint8_t type, uint8_t flags, size_t body_len) {
    Bytes m(2 + body_len);
    m[0] = type;
    m[1] = flags;
    for (size_t i = 0; i < body_len; i++) m[2 + i] = static_cast<uint8_t>(i * 7 + 1);
    return m;
}

TEST(Channel, LargestPlaintextFillsLargestFrame) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    Bytes m = message(MSG_DATA, 0, kChannelMaxPlaintext - 2);
    Sender s([&] { return channel_send(&c.a, m.data(), m.size()); });
    Bytes frame(65535);
    int len = frame_read(c.b.io, frame.data(), frame.size(), 2000);
    EXPECT_EQ(s.wait(), 0);
    ASSERT_EQ(len, 65535);
    ASSERT_EQ(cipher_decrypt(&c.b.recv, nullptr, 0, frame.data(), 65535, frame.data()), 65519);
    frame.resize(65519);
    EXPECT_EQ(frame, m);
}

TEST(Channel, OversizedMessagesAreRefusedAndNothingSent) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    Bytes big(kChannelMaxPlaintext + 1, 0x20);
    EXPECT_EQ(channel_send(&c.a, big.data(), big.size()), -1);
    EXPECT_EQ(channel_send_message(&c.a, MSG_DATA, big.data(), kChannelMaxBody + 1), -1);
    EXPECT_EQ(c.a.sent_count, 0u);
    EXPECT_EQ(c.a.send.n, 0u);
    EXPECT_TRUE(silent(c.b.io));
}

TEST(Channel, LargestBodyIsDelivered) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    Bytes m = message(MSG_DATA, 0, kChannelMaxBody);
    Sender s([&] { return channel_send_message(&c.a, MSG_DATA, m.data() + 2, kChannelMaxBody); });
    Bytes out(65583);
    int got = channel_recv(&c.b, out.data(), out.size(), 2000);
    EXPECT_EQ(s.wait(), 0);
    ASSERT_EQ(got, 65519);
    out.resize(65519);
    EXPECT_EQ(out, m);
}

TEST(Channel, EveryDeliveredTypeArrivesWhole) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    const uint8_t types[] = {MSG_OFFER, MSG_ACCEPT, MSG_REJECT, MSG_DATA, MSG_FILE_END,
                             MSG_ACK, MSG_FILE_RESULT, MSG_END, MSG_TEXT, MSG_PAIR_CONFIRM,
                             MSG_PAIR_DECLINE, MSG_TRUST_STATE, MSG_ERROR};
    for (uint8_t t : types) {
        Bytes m = message(t, 0, t % 5);
        ASSERT_EQ(channel_send_message(&c.a, t, m.data() + 2, m.size() - 2), 0);
        uint8_t out[64];
        int got = channel_recv(&c.b, out, sizeof out, 2000);
        ASSERT_EQ(got, static_cast<int>(m.size())) << int(t);
        EXPECT_EQ(Bytes(out, out + got), m) << int(t);
    }
    EXPECT_EQ(c.a.sent_count, sizeof types);
    EXPECT_EQ(c.b.recv_count, sizeof types);
}

TEST(Channel, DirectionsAreIndependent) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    ASSERT_EQ(channel_send_message(&c.a, MSG_OFFER, "x", 1), 0);
    ASSERT_EQ(channel_send_message(&c.b, MSG_ACCEPT, "yz", 2), 0);
    ASSERT_EQ(channel_send_message(&c.b, MSG_ACK, "", 0), 0);
    uint8_t out[16];
    EXPECT_EQ(channel_recv(&c.a, out, sizeof out, 2000), 4);
    EXPECT_EQ(out[0], MSG_ACCEPT);
    EXPECT_EQ(channel_recv(&c.a, out, sizeof out, 2000), 2);
    EXPECT_EQ(out[0], MSG_ACK);
    EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 2000), 3);
    EXPECT_EQ(out[0], MSG_OFFER);
    EXPECT_EQ(c.a.send.n, 1u);
    EXPECT_EQ(c.b.send.n, 2u);
}

TEST(Channel, ErrorTextIsCutAtThousandBytes) {
    struct Case { size_t text_len; size_t sent_len; };
    for (Case k : {Case{0, 0}, Case{999, 999}, Case{1000, 1000}, Case{1500, 1000}}) {
        ChannelPair c;
        ASSERT_TRUE(c.link.ok);
        std::string text(k.text_len, 'e');
        ASSERT_EQ(channel_send_error(&c.a, 0x0102, text.c_str()), 0);
        uint8_t out[2000];
        int got = channel_recv(&c.b, out, sizeof out, 2000);
        ASSERT_EQ(got, static_cast<int>(2 + 4 + k.sent_len)) << k.text_len;
        EXPECT_EQ(out[0], MSG_ERROR);
        EXPECT_EQ(out[1], 0);
        EXPECT_EQ(out[2], 0x01);  // code, big-endian
        EXPECT_EQ(out[3], 0x02);
        EXPECT_EQ((out[4] << 8) | out[5], static_cast<int>(k.sent_len));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 6), k.sent_len), text.substr(0, k.sent_len));
    }
}

TEST(Channel, FramesThatDoNotAuthenticate) {
    struct Case { const char* what; size_t len; int flip; };
    const Case cases[] = {
        {"empty frame", 0, -1},
        {"shorter than a tag", 15, -1},
        {"tampered tag", 20, 19},
        {"tampered ciphertext", 20, 2},
    };
    for (const Case& k : cases) {
        ChannelPair c;
        ASSERT_TRUE(c.link.ok);
        uint8_t frame[20];
        ASSERT_EQ(cipher_encrypt(&c.a.send, nullptr, 0, reinterpret_cast<const uint8_t*>("\x10\0ab"), 4,
                                 frame), 20);
        if (k.flip >= 0) frame[k.flip] ^= 0x80;
        ASSERT_EQ(frame_write(c.a.io, frame, k.len), 0);
        uint8_t out[64];
        EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 2000), -5) << k.what;
        EXPECT_EQ(c.b.recv.n, 0u) << k.what;
        EXPECT_EQ(c.b.recv_count, 0u) << k.what;
    }
}

TEST(Channel, MessagesShorterThanHeaderAreMalformed) {
    for (size_t len : {size_t{0}, size_t{1}}) {
        ChannelPair c;
        ASSERT_TRUE(c.link.ok);
        ASSERT_EQ(channel_send(&c.a, "\x10", len), 0);
        uint8_t out[64];
        EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 2000), -4) << len;
        EXPECT_EQ(c.b.recv_count, 1u);  // it authenticated and counts
    }
}

TEST(Channel, DroppedTypesAreSkippedUntilADeliveredOne) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    const Bytes dropped[] = {message(MSG_NOOP, 0, 3), message(MSG_NOOP, 1, 0), message(0x05, 0x01, 2),
                             message(0x00, 0x01, 0), message(0x80, 0x01, 5), message(0xFF, 0x03, 1)};
    for (const Bytes& m : dropped) ASSERT_EQ(channel_send(&c.a, m.data(), m.size()), 0);
    Bytes wanted = message(MSG_TEXT, 0, 9);
    ASSERT_EQ(channel_send(&c.a, wanted.data(), wanted.size()), 0);
    uint8_t out[64];
    int got = channel_recv(&c.b, out, sizeof out, 2000);
    ASSERT_EQ(got, static_cast<int>(wanted.size()));
    EXPECT_EQ(Bytes(out, out + got), wanted);
    EXPECT_EQ(c.b.recv_count, 7u);
}

TEST(Channel, KeepAlivesDoNotMoveADeadline) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    std::atomic<bool> stop{false};
    // A keep-alive every 20 ms: each would restart a plain wait, which then never ends.
    Sender beat([&] {
        Bytes noop = message(MSG_NOOP, 0, 0);
        while (!stop) {
            if (channel_send(&c.a, noop.data(), noop.size()) != 0) return -1;
            sleep_ms(20);
        }
        Bytes wanted = message(MSG_TEXT, 0, 4);
        return channel_send(&c.a, wanted.data(), wanted.size());
    });
    uint8_t out[64];
    const uint64_t start = monotonic_ms();
    EXPECT_EQ(channel_recv_by(&c.b, out, sizeof out, 2000, start + 300), -2);
    const uint64_t took = monotonic_ms() - start;
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 3000u);
    EXPECT_GT(c.b.recv_count, 3u) << "the keep-alives were read meanwhile";
    stop = true;
    EXPECT_EQ(beat.wait(), 0);
    // A delivered message before the deadline is returned as by channel_recv.
    EXPECT_EQ(channel_recv_by(&c.b, out, sizeof out, 2000, monotonic_ms() + 5000), 6);
    EXPECT_EQ(out[0], MSG_TEXT);
    // A deadline already passed reads nothing, even with a frame waiting.
    Bytes late = message(MSG_TEXT, 0, 1);
    ASSERT_EQ(channel_send(&c.a, late.data(), late.size()), 0);
    sleep_ms(50);
    EXPECT_EQ(channel_recv_by(&c.b, out, sizeof out, 2000, monotonic_ms()), -2);
}

TEST(Channel, AMessageBegunBeforeTheDeadlineIsReadToItsEnd) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    Bytes m = message(MSG_TEXT, 0, 4);
    Bytes frame(2 + m.size() + 16);
    int n = cipher_encrypt(&c.a.send, nullptr, 0, m.data(), m.size(), frame.data() + 2);
    ASSERT_EQ(n, static_cast<int>(m.size() + 16));
    frame[0] = static_cast<uint8_t>(n >> 8);
    frame[1] = static_cast<uint8_t>(n);
    // The length and one byte now; the rest after the deadline, within the time-out.
    ASSERT_TRUE(c.link.feed_from_a(Bytes(frame.begin(), frame.begin() + 3), false));
    Sender rest([&] {
        sleep_ms(400);
        return c.link.a->send_all(c.link.a, frame.data() + 3, frame.size() - 3);
    });
    uint8_t out[64];
    EXPECT_EQ(channel_recv_by(&c.b, out, sizeof out, 2000, monotonic_ms() + 100), 6);
    EXPECT_EQ(Bytes(out, out + 6), m);
    EXPECT_EQ(rest.wait(), 0);
}

TEST(Channel, UnknownTypesWithoutSkipFlagAreRefused) {
    for (uint8_t type : {uint8_t{0x05}, uint8_t{0x00}, uint8_t{0x41}, uint8_t{0x80}, uint8_t{0xFF}}) {
        ChannelPair c;
        ASSERT_TRUE(c.link.ok);
        Bytes m = message(type, 0x02, 1);  // only bit 0 means skippable
        ASSERT_EQ(channel_send(&c.a, m.data(), m.size()), 0);
        uint8_t out[64];
        EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 2000), -4) << int(type);
    }
}

TEST(Channel, OutputCapacityMustHoldTheMessage) {
    // A message of m bytes arrives in a frame of m + 16: capacities between the two
    // take the path where the frame does not fit but the message does.
    struct Case { size_t cap; int expect; };
    for (Case k : {Case{40, 24}, Case{24, 24}, Case{23, -4}, Case{0, -4}}) {
        ChannelPair c;
        ASSERT_TRUE(c.link.ok);
        Bytes m = message(MSG_DATA, 0, 22);
        ASSERT_EQ(channel_send(&c.a, m.data(), m.size()), 0);
        Bytes out(k.cap + 1, 0xEE);
        int got = channel_recv(&c.b, k.cap ? out.data() : nullptr, k.cap, 2000);
        ASSERT_EQ(got, k.expect) << k.cap;
        if (got > 0) {
            EXPECT_EQ(Bytes(out.begin(), out.begin() + got), m) << k.cap;
        }
        EXPECT_EQ(out[k.cap], 0xEE) << "wrote past capacity " << k.cap;
    }
}

TEST(Channel, TimeOutAndClosedPeer) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    uint8_t out[64];
    EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 150), -2);
    c.link.close_a();
    EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 2000), -3);
}

TEST(Channel, ExhaustedSendNonceRefusesAndSendsNothing) {
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    c.a.send.n = ~uint64_t{0};
    EXPECT_EQ(channel_send_message(&c.a, MSG_OFFER, "", 0), -5);
    EXPECT_EQ(c.a.sent_count, 0u);
    EXPECT_TRUE(silent(c.b.io));
}

// Counters are placed just before the first rekey point instead of sending a
// million frames; keys and nonces behave exactly as if those frames had passed.
TEST(Channel, RekeyAfterEveryMillionFramesPerDirection) {
    const uint64_t before = kRekeyInterval - 1;
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    SecureChannel lagging = c.b;  // a receiver that misses the rekey point
    c.a.sent_count = c.a.send.n = before;
    c.b.recv_count = c.b.recv.n = before;
    lagging.recv_count = 0;
    lagging.recv.n = before;
    const CipherState old_send = c.a.send;

    Bytes m1 = message(MSG_DATA, 0, 10), m2 = message(MSG_DATA, 0, 11);
    ASSERT_EQ(channel_send(&c.a, m1.data(), m1.size()), 0);  // frame 1 048 576: old key
    EXPECT_NE(std::memcmp(c.a.send.key, old_send.key, 32), 0);
    EXPECT_EQ(c.a.send.n, kRekeyInterval);
    ASSERT_EQ(channel_send(&c.a, m2.data(), m2.size()), 0);  // new key, nonce 1 048 576

    // Both frames as they travelled, for the receiver that does not rekey.
    uint8_t f1[64], f2[64];
    int l1 = frame_read(c.b.io, f1, sizeof f1, 2000);
    int l2 = frame_read(c.b.io, f2, sizeof f2, 2000);
    ASSERT_EQ(l1, 28);
    ASSERT_EQ(l2, 29);
    LoopbackPair replay;
    ASSERT_TRUE(replay.ok);
    ASSERT_EQ(frame_write(replay.a, f1, l1), 0);
    ASSERT_EQ(frame_write(replay.a, f2, l2), 0);
    ASSERT_EQ(frame_write(replay.a, f1, l1), 0);
    ASSERT_EQ(frame_write(replay.a, f2, l2), 0);

    uint8_t out[64];
    c.b.io = replay.b;
    EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 2000), 12);
    EXPECT_EQ(channel_recv(&c.b, out, sizeof out, 2000), 13);
    EXPECT_EQ(Bytes(out, out + 13), m2);
    EXPECT_EQ(c.b.recv.n, kRekeyInterval + 1);

    lagging.io = replay.b;
    EXPECT_EQ(channel_recv(&lagging, out, sizeof out, 2000), 12);
    EXPECT_EQ(channel_recv(&lagging, out, sizeof out, 2000), -5);

    // The other direction has not reached its rekey point and is untouched.
    c.b.io = c.link.b;
    ASSERT_EQ(channel_send_message(&c.b, MSG_ACK, "k", 1), 0);
    EXPECT_EQ(channel_recv(&c.a, out, sizeof out, 2000), 3);
    EXPECT_EQ(c.a.recv.n, 1u);
}

// Run twice by CTest: once as usual and once with FL_TRACE set to an empty value.
TEST(ChannelTrace, LinesFollowTheEnvironment) {
    const bool on = std::getenv("FL_TRACE") != nullptr;
    ChannelPair c;
    ASSERT_TRUE(c.link.ok);
    testing::internal::CaptureStderr();
    int rc = channel_send_message(&c.a, MSG_TRUST_STATE, "\x01", 1);
    std::string sent = testing::internal::GetCapturedStderr();
    ASSERT_EQ(rc, 0);
    uint8_t out[16];
    testing::internal::CaptureStderr();
    int got = channel_recv(&c.b, out, sizeof out, 2000);
    std::string received = testing::internal::GetCapturedStderr();
    ASSERT_EQ(got, 3);
    EXPECT_EQ(sent, on ? "[trace] send type=0x62 len=3\n" : "");
    EXPECT_EQ(received, on ? "[trace] recv type=0x62 len=3\n" : "");
}

}  // namespace
