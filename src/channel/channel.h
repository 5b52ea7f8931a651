#pragma once
// The encrypted connection after the handshake: one message per frame, each
// sealed under its direction's key, rekeyed every 2^20 frames per direction.
//
// Shared results: -1 too long (nothing sent), -2 no frame began within the
// time-out, -3 connection closed or failed, -4 malformed or oversized,
// -5 cryptographic failure.

#include <cstddef>
#include <cstdint>

#include "channel/cipher_state.h"
#include "channel/stream.h"

// What a device says about itself in the handshake.
struct HandshakePayload {
    char name[64];      // UTF-8, NUL-terminated, at most 63 bytes
    uint8_t kind;       // the agent sends 1
    uint8_t version;    // protocol version, 1
    uint32_t features;  // bit set; the agent sends 0x0000000F
};

struct SecureChannel {
    StreamOps* io;              // not owned
    CipherState send;
    CipherState recv;
    uint64_t sent_count;        // messages sealed and handed to the frame layer
    uint64_t recv_count;        // frames received and authenticated
    uint8_t remote_static[32];  // the peer's static X25519 public key
    uint8_t handshake_hash[32]; // final handshake hash, input of the pairing code
    HandshakePayload peer;
    int established;
};

constexpr size_t kChannelMaxPlaintext = 65519;  // largest message in one frame
constexpr size_t kChannelMaxBody = 65517;       // largest body behind type and flags
constexpr size_t kChannelMaxErrorText = 1000;
// Each direction changes its key after every this many frames.
constexpr uint64_t kRekeyInterval = uint64_t{1} << 20;

// Seals and sends one message. 0; -1 when len > 65519; -5 when the send nonce is
// exhausted; -3 when the send failed (the message still counts as sent).
int channel_send(SecureChannel* ch, const void* plaintext, size_t len);
// Seals one message into frame (2 + len + 16 bytes): the big-endian length, then the sealed
// message. Returns the frame's size; -1 when len > 65519; -5 when the send nonce is exhausted.
// The message counts as sent: the caller sends the frame before any other message, so that
// several frames can leave in one write.
int channel_seal(SecureChannel* ch, const void* plaintext, size_t len, uint8_t* frame);
// Sends type, flags 0 and body. As channel_send; -1 when body_len > 65517.
int channel_send_message(SecureChannel* ch, uint8_t type, const void* body, size_t body_len);
// Sends MSG_ERROR: code, text length, text cut to its first 1000 bytes. As channel_send_message.
int channel_send_error(SecureChannel* ch, uint16_t code, const char* text);

// Waits for the next message the session handles and copies it (type, flags, body)
// to out. Returns its length m >= 2; -2/-3 from the frame layer; -5 when a frame does
// not authenticate; -4 when a message is shorter than 2 bytes, of an unknown type
// without the skip flag, or longer than out_cap. MSG_NOOP and skippable unknown
// types are dropped and the wait starts again with the full timeout_ms.
int channel_recv(SecureChannel* ch, void* out, size_t out_cap, int timeout_ms);
// As channel_recv, but dropped messages do not restart the wait: -2 when no message the
// session handles has begun by the monotonic time deadline_ms (platform/sync.h), however many
// keep-alives arrived meanwhile. A message that began in time is read as channel_recv reads
// it, with timeout_ms.
int channel_recv_by(SecureChannel* ch, void* out, size_t out_cap, int timeout_ms,
                    uint64_t deadline_ms);
