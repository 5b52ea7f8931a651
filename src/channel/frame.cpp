#include "channel/frame.h"

#include <cstring>

// Small frames (the handshake's) go out header and body in one send.
static constexpr size_t kCoalesceMax = 512;

static void put_length(uint8_t hdr[2], size_t len) {
    hdr[0] = static_cast<uint8_t>(len >> 8);
    hdr[1] = static_cast<uint8_t>(len);
}

int frame_write(StreamOps* io, const void* data, size_t len) {
    if (len > kFrameMaxBody) return -1;
    if (len <= kCoalesceMax) {
        uint8_t frame[2 + kCoalesceMax];
        put_length(frame, len);
        if (len > 0) std::memcpy(frame + 2, data, len);
        return io->send_all(io, frame, 2 + len) == 0 ? 0 : -3;
    }
    uint8_t hdr[2];
    put_length(hdr, len);
    if (io->send_all(io, hdr, 2) != 0) return -3;
    return io->send_all(io, data, len) == 0 ? 0 : -3;
}

int frame_read_length(StreamOps* io, int wait_ms, int timeout_ms) {
    uint8_t hdr[2];
    int rc = io->recv_exact(io, hdr, 1, wait_ms);
    if (rc != 0) return rc == -2 ? -2 : -3;
    // A byte is taken: a caller told "nothing came" would read on from the middle of a frame.
    if (io->recv_exact(io, hdr + 1, 1, timeout_ms) != 0) return -3;
    return (hdr[0] << 8) | hdr[1];
}

int frame_read_body(StreamOps* io, void* buf, size_t len, int timeout_ms) {
    if (len == 0) return 0;
    // Once a frame has begun, any failure to finish it leaves the stream unusable.
    return io->recv_exact(io, buf, len, timeout_ms) == 0 ? 0 : -3;
}

int frame_take_body(StreamOps* io, uint8_t* buf, size_t len, int timeout_ms,
                    const uint8_t** body) {
    const uint8_t* lying = len > 0 && io->borrow ? io->borrow(io, len) : nullptr;
    *body = lying ? lying : buf;
    return lying ? 0 : frame_read_body(io, buf, len, timeout_ms);
}

int frame_read(StreamOps* io, void* buf, size_t max_len, int timeout_ms) {
    int len = frame_read_length(io, timeout_ms, timeout_ms);
    if (len < 0) return len;
    if (static_cast<size_t>(len) > max_len) return -4;
    int rc = frame_read_body(io, buf, static_cast<size_t>(len), timeout_ms);
    return rc < 0 ? rc : len;
}
