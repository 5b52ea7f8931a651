#pragma once
// A connected pair of StreamOps over real TCP on 127.0.0.1, standing in for the
// listener's per-connection streams.

#include <cstdint>
#include <vector>

#include "channel/stream.h"

// Both ends, or false when the pair could not be made. Each end is released by its
// own close slot.
bool loopback_pair(StreamOps** a, StreamOps** b);

// Owns both ends for one test.
struct LoopbackPair {
    StreamOps* a = nullptr;
    StreamOps* b = nullptr;
    bool ok;
    LoopbackPair() : ok(loopback_pair(&a, &b)) {}
    ~LoopbackPair() {
        if (a) a->close(a);
        if (b) b->close(b);
    }
    // End a goes away; end b then sees the connection closed.
    void close_a() {
        if (a) a->close(a);
        a = nullptr;
    }
    // Puts raw bytes on the wire from end a and, when asked, closes it after them.
    bool feed_from_a(const std::vector<uint8_t>& raw, bool then_close) {
        bool sent = raw.empty() || a->send_all(a, raw.data(), raw.size()) == 0;
        if (then_close) close_a();
        return sent;
    }
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;
};
