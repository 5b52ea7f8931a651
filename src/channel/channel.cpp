#include "channel/channel.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel/frame.h"
#include "channel/messages.h"
#include "platform/sync.h"

bool msg_type_delivered(uint8_t type) {
    switch (type) {
    case MSG_OFFER: case MSG_ACCEPT: case MSG_REJECT:
    case MSG_DATA: case MSG_FILE_END: case MSG_ACK: case MSG_FILE_RESULT:
    case MSG_END: case MSG_TEXT:
    case MSG_PAIR_CONFIRM: case MSG_PAIR_DECLINE: case MSG_TRUST_STATE:
    case MSG_ERROR:
        return true;
    default:
        return false;
    }
}

// Decided once per process from the presence of FL_TRACE (an empty value counts).
// Every thread computes the same answer, so a racing first look is harmless.
static bool tracing() {
    static std::atomic<int> state{-1};
    int s = state.load(std::memory_order_relaxed);
    if (s < 0) {
        s = std::getenv("FL_TRACE") != nullptr ? 1 : 0;
        state.store(s, std::memory_order_relaxed);
    }
    return s == 1;
}

// frame[2..] is where the sealed message goes; the plaintext may already sit there.
static int seal_into(SecureChannel* ch, const uint8_t* plaintext, size_t len, uint8_t* frame) {
    unsigned type = len > 0 ? plaintext[0] : 0;
    int sealed = cipher_encrypt(&ch->send, nullptr, 0, plaintext, len, frame + 2);
    if (sealed < 0) return -5;
    ch->sent_count++;
    if (tracing()) std::fprintf(stderr, "[trace] send type=0x%02x len=%zu\n", type, len);
    // Both ends switch keys after the same frame: this one still leaves under the old key.
    if (ch->sent_count % kRekeyInterval == 0) cipher_rekey(&ch->send);
    frame[0] = static_cast<uint8_t>(sealed >> 8);
    frame[1] = static_cast<uint8_t>(sealed);
    return 2 + sealed;
}

static int seal_and_send(SecureChannel* ch, const uint8_t* plaintext, size_t len, uint8_t* frame) {
    int size = seal_into(ch, plaintext, len, frame);
    if (size < 0) return size;
    return ch->io->send_all(ch->io, frame, static_cast<size_t>(size)) == 0 ? 0 : -3;
}

int channel_seal(SecureChannel* ch, const void* plaintext, size_t len, uint8_t* frame) {
    if (len > kChannelMaxPlaintext) return -1;
    return seal_into(ch, static_cast<const uint8_t*>(plaintext), len, frame);
}

int channel_send(SecureChannel* ch, const void* plaintext, size_t len) {
    if (len > kChannelMaxPlaintext) return -1;
    uint8_t frame[2 + kFrameMaxBody];
    return seal_and_send(ch, static_cast<const uint8_t*>(plaintext), len, frame);
}

int channel_send_message(SecureChannel* ch, uint8_t type, const void* body, size_t body_len) {
    if (body_len > kChannelMaxBody) return -1;
    // The message is laid out where its ciphertext will be and sealed in place.
    uint8_t frame[2 + kFrameMaxBody];
    uint8_t* msg = frame + 2;
    msg[0] = type;
    msg[1] = 0;
    if (body_len > 0) std::memcpy(msg + 2, body, body_len);
    return seal_and_send(ch, msg, body_len + 2, frame);
}

int channel_send_error(SecureChannel* ch, uint16_t code, const char* text) {
    size_t n = 0;
    while (text && n < kChannelMaxErrorText && text[n] != '\0') n++;
    uint8_t body[4 + kChannelMaxErrorText];
    body[0] = static_cast<uint8_t>(code >> 8);
    body[1] = static_cast<uint8_t>(code);
    body[2] = static_cast<uint8_t>(n >> 8);
    body[3] = static_cast<uint8_t>(n);
    if (n > 0) std::memcpy(body + 4, text, n);
    return channel_send_message(ch, MSG_ERROR, body, n + 4);
}

// What to do with an authenticated message of m >= 2 bytes.
enum Disposition { kDeliver, kDrop, kRefuse };

static Disposition classify(const uint8_t* msg) {
    if (msg[0] == MSG_NOOP) return kDrop;
    if (msg_type_delivered(msg[0])) return kDeliver;
    return (msg[1] & MSG_FLAG_SKIPPABLE) ? kDrop : kRefuse;
}

// channel_recv, where dropped frames either restart the wait (bounded false) or count
// against deadline_ms, by which the next frame must begin (bounded true). A frame that began
// is read with timeout_ms either way.
static int recv_message(SecureChannel* ch, void* out, size_t out_cap, int timeout_ms,
                        bool bounded, uint64_t deadline_ms) {
    // Frames that fit are opened into out, from where the stream holds them or read there
    // first; only larger ones (which may still hold a message small enough) pass through
    // this buffer.
    uint8_t spill[kFrameMaxBody];
    for (;;) {
        int header_ms = timeout_ms;
        if (bounded) {
            // Checked before every frame: a peer that never stops sending keep-alives would
            // otherwise always have the next one ready.
            const uint64_t now = monotonic_ms();
            if (now >= deadline_ms) return -2;
            header_ms = static_cast<int>(std::min<uint64_t>(deadline_ms - now, 1u << 30));
            if (timeout_ms >= 0) header_ms = std::min(header_ms, timeout_ms);
        }
        int len = frame_read_length(ch->io, header_ms, timeout_ms);
        if (len < 0) return len;
        uint8_t* frame = static_cast<size_t>(len) <= out_cap ? static_cast<uint8_t*>(out) : spill;
        const uint8_t* sealed;
        int rc = frame_take_body(ch->io, frame, static_cast<size_t>(len), timeout_ms, &sealed);
        if (rc < 0) return rc;
        int m = cipher_decrypt(&ch->recv, nullptr, 0, sealed, static_cast<size_t>(len), frame);
        if (m < 0) return -5;
        ch->recv_count++;
        if (tracing() && m >= 2) std::fprintf(stderr, "[trace] recv type=0x%02x len=%d\n", frame[0], m);
        if (ch->recv_count % kRekeyInterval == 0) cipher_rekey(&ch->recv);
        if (m < 2) return -4;
        switch (classify(frame)) {
        case kDrop:
            continue;
        case kRefuse:
            return -4;
        case kDeliver:
            if (out_cap < static_cast<size_t>(m)) return -4;
            if (frame != out) std::memcpy(out, frame, static_cast<size_t>(m));
            return m;
        }
    }
}

int channel_recv(SecureChannel* ch, void* out, size_t out_cap, int timeout_ms) {
    return recv_message(ch, out, out_cap, timeout_ms, false, 0);
}

int channel_recv_by(SecureChannel* ch, void* out, size_t out_cap, int timeout_ms,
                    uint64_t deadline_ms) {
    return recv_message(ch, out, out_cap, timeout_ms, true, deadline_ms);
}
