// The published Noise_XX_25519_ChaChaPoly_SHA256 vectors, replayed as data: with the
// vectors' keys and prologue both roles must produce every message byte for byte.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/cipher_state.h"
#include "channel/handshake.h"
#include "support/json_lite.h"
#include "support/testdata.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes hex(const JsonValue& v) {
    Bytes out;
    EXPECT_TRUE(hex_decode(v.as_string(), &out)) << v.as_string();
    return out;
}

// One side of a vector's conversation.
struct Side {
    HandshakeState hs;
    CipherState send{}, recv{};
};

void start(Side* s, int initiator, const JsonValue& v) {
    const char* who = initiator ? "init" : "resp";
    Bytes prologue = hex(v[(std::string(who) + "_prologue").c_str()]);
    Bytes stat = hex(v[(std::string(who) + "_static").c_str()]);
    Bytes eph = hex(v[(std::string(who) + "_ephemeral").c_str()]);
    ASSERT_EQ(stat.size(), 32u);
    ASSERT_EQ(eph.size(), 32u);
    handshake_init(&s->hs, initiator, stat.data(), prologue.data(), prologue.size(), eph.data());
}

void replay(const JsonValue& v, size_t index) {
    SCOPED_TRACE("vector " + std::to_string(index));
    ASSERT_EQ(v["protocol_name"].as_string(), "Noise_XX_25519_ChaChaPoly_SHA256");
    Side init, resp;
    start(&init, 1, v);
    start(&resp, 0, v);
    const JsonValue& msgs = v["messages"];
    ASSERT_GT(msgs.size(), 3u);
    for (size_t i = 0; i < msgs.size(); i++) {
        SCOPED_TRACE("message " + std::to_string(i));
        Bytes payload = hex(msgs[i]["payload"]);
        Bytes expect = hex(msgs[i]["ciphertext"]);
        // Messages alternate, the initiator first, through the handshake and after it.
        Side* tx = i % 2 == 0 ? &init : &resp;
        Side* rx = i % 2 == 0 ? &resp : &init;
        Bytes got(kHandshakeMaxMessage), plain(kHandshakeMaxMessage);
        size_t got_len = 0, plain_len = 0;
        if (i < 3) {
            ASSERT_EQ(handshake_write_message(&tx->hs, payload.data(), payload.size(), got.data(), &got_len), 0);
            got.resize(got_len);
            ASSERT_EQ(got, expect);
            ASSERT_EQ(handshake_read_message(&rx->hs, expect.data(), expect.size(), plain.data(), &plain_len), 0);
        } else {
            int n = cipher_encrypt(&tx->send, nullptr, 0, payload.data(), payload.size(), got.data());
            ASSERT_EQ(n, static_cast<int>(expect.size()));
            got.resize(static_cast<size_t>(n));
            ASSERT_EQ(got, expect);
            int m = cipher_decrypt(&rx->recv, nullptr, 0, expect.data(), expect.size(), plain.data());
            ASSERT_GE(m, 0);
            plain_len = static_cast<size_t>(m);
        }
        plain.resize(plain_len);
        EXPECT_EQ(plain, payload);
        if (i == 2) {
            ASSERT_EQ(handshake_split(&init.hs, &init.send, &init.recv), 0);
            ASSERT_EQ(handshake_split(&resp.hs, &resp.send, &resp.recv), 0);
            EXPECT_EQ(Bytes(init.hs.h, init.hs.h + 32), Bytes(resp.hs.h, resp.hs.h + 32));
            EXPECT_EQ(Bytes(init.hs.rs, init.hs.rs + 32), Bytes(resp.hs.s_public, resp.hs.s_public + 32));
            EXPECT_EQ(Bytes(resp.hs.rs, resp.hs.rs + 32), Bytes(init.hs.s_public, init.hs.s_public + 32));
            if (v.has("handshake_hash")) {
                EXPECT_EQ(Bytes(resp.hs.h, resp.hs.h + 32), hex(v["handshake_hash"]));
            }
        }
    }
}

TEST(NoiseVectors, BothRolesReproduceEveryMessage) {
    FL_REQUIRE_TESTDATA();
    JsonValue doc;
    std::string error;
    ASSERT_TRUE(json_load_file(testdata_dir() + "/noise_xx_25519_chachapoly_sha256.json", &doc, &error))
        << error;
    const JsonValue& vectors = doc["vectors"];
    ASSERT_GE(vectors.size(), 2u);
    size_t with_hash = 0;
    for (size_t i = 0; i < vectors.size(); i++) {
        replay(vectors[i], i);
        if (vectors[i].has("handshake_hash")) with_hash++;
    }
    EXPECT_GE(with_hash, 1u) << "no vector checks the handshake hash";
}

}  // namespace
