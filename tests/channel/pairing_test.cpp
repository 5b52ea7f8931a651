#include "channel/pairing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A handshake hash whose first four bytes hold i little-endian, the rest zero.
struct Hash {
    uint8_t b[32] = {};
    explicit Hash(uint32_t i, uint8_t fill = 0) {
        std::memset(b, fill, sizeof b);
        for (int k = 0; k < 4 && fill == 0; k++) b[k] = static_cast<uint8_t>(i >> (8 * k));
    }
};

// Expected codes worked out with an independent SHA-256 (Python's hashlib) over
// "ferrylink-sas" followed by the hash.
TEST(PairingCode, KnownAnswers) {
    struct Case { const char* what; Hash hash; const char* code; };
    const Case cases[] = {
        {"all zero", Hash(0), "769253"},
        {"all 0xFF", Hash(0, 0xFF), "631062"},
        {"remainder 4711 keeps its leading zeros", Hash(332619), "004711"},
        {"remainder 826", Hash(114), "000826"},
    };
    for (const Case& c : cases) {
        char out[7];
        std::memset(out, 'x', sizeof out);
        pairing_code(c.hash.b, out);
        EXPECT_STREQ(out, c.code) << c.what;
    }
}

TEST(PairingCode, DependsOnEveryHashByte) {
    uint8_t h[32];
    for (int i = 0; i < 32; i++) h[i] = static_cast<uint8_t>(i * 11);
    char base[7];
    pairing_code(h, base);
    int changed = 0;
    for (int i = 0; i < 32; i++) {
        uint8_t g[32];
        std::memcpy(g, h, 32);
        g[i] ^= 0x01;
        char c[7];
        pairing_code(g, c);
        changed += std::strcmp(c, base) != 0;
    }
    // One flipped byte may collide by chance (one in a million), never several.
    EXPECT_GE(changed, 31);
}

}  // namespace
