#include "channel/pairing.h"

#include <cstdio>

#include "crypto/sha256.h"

static constexpr char kLabel[] = "ferrylink-sas";

void pairing_code(const uint8_t handshake_hash[32], char out[7]) {
    Sha256Ctx ctx;
    uint8_t d[32];
    sha256_init(&ctx);
    sha256_update(&ctx, kLabel, sizeof kLabel - 1);
    sha256_update(&ctx, handshake_hash, 32);
    sha256_final(&ctx, d);
    uint32_t v = (uint32_t{d[0]} << 24) | (uint32_t{d[1]} << 16) | (uint32_t{d[2]} << 8) | d[3];
    std::snprintf(out, 7, "%06u", static_cast<unsigned>(v % 1000000u));
}
