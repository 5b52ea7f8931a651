#pragma once
// Byte-stream operations under the secure channel. The channel never knows
// what carries its bytes: the listener supplies these over a TCP socket, tests
// over a loopback pair. Every slot receives the record itself as first argument.

#include <cstddef>
#include <cstdint>

struct StreamOps {
    // Reads exactly `len` bytes. timeout_ms applies to each wait for data, and the whole
    // read ends after twice timeout_ms, so a peer trickling bytes cannot hold the reader;
    // negative waits without limit.
    // 0: all bytes read; -2: time ran out; -3: socket error or peer closed.
    int (*recv_exact)(StreamOps* self, void* buf, size_t len, int timeout_ms);
    // Sends all `len` bytes. 0: sent; -1: error or closed connection.
    int (*send_all)(StreamOps* self, const void* buf, size_t len);
    // Closes the connection and frees the context and the record itself;
    // nothing may use the record afterwards.
    void (*close)(StreamOps* self);
    // The transport's own state (for TCP: a heap cell holding the socket).
    void* ctx;
    // Optional (null when the transport keeps no buffer of its own): the next `len` bytes
    // where they already lie in the transport's buffer, taken as read, so that a frame can
    // be opened there without a copy first; the pointer holds until the next call on the
    // stream. nullptr, with nothing taken, when not all of them have arrived yet.
    const uint8_t* (*borrow)(StreamOps* self, size_t len) = nullptr;
};
