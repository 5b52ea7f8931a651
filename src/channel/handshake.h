#pragma once
// Noise_XX_25519_ChaChaPoly_SHA256: mutual authentication and the session keys of
// one connection. The agent is always the responder; the initiator is the other
// half of the same state machine.
//
//   XX:
//     -> e
//     <- e, ee, s, es
//     -> s, se
//
// Every handshake message travels in one frame of at most 512 bytes.

#include <cstddef>
#include <cstdint>

#include "channel/channel.h"
#include "channel/cipher_state.h"
#include "channel/stream.h"

constexpr char kHandshakePrologue[] = "ferrylink/1";
constexpr size_t kHandshakeMaxMessage = 512;
constexpr int kHandshakeFrameTimeoutMs = 10000;
constexpr size_t kPayloadMaxEncoded = 1 + 63 + 1 + 1 + 4;

struct HandshakeState {
    int initiator;
    int message_index;  // messages written or read so far, 0..3
    CipherState cs;
    uint8_t ck[32];     // chaining key
    uint8_t h[32];      // handshake hash
    uint8_t s_private[32], s_public[32];
    uint8_t e_private[32], e_public[32];
    uint8_t re[32];     // peer's ephemeral public key
    uint8_t rs[32];     // peer's static public key
    int has_rs;
    uint8_t fixed_e[32];  // ephemeral private key to use instead of a random one
    int has_fixed_e;
};

// Starts a handshake with the protocol name as h and ck and the prologue hashed in.
// fixed_e may be null (a fresh random ephemeral key is drawn when needed).
void handshake_init(HandshakeState* hs, int initiator, const uint8_t s_private[32],
                    const uint8_t* prologue, size_t prologue_len, const uint8_t* fixed_e);

// Writes this side's next message into out (room for 512 bytes). 0 with *out_len set;
// -1 when it is not this side's turn, a Diffie-Hellman result is all zero, the random
// source fails or the message would exceed 512 bytes. A refused message leaves hs as it was.
int handshake_write_message(HandshakeState* hs, const uint8_t* payload, size_t payload_len,
                            uint8_t* out, size_t* out_len);

// Processes the peer's next message; its payload goes to payload_out (room for 512
// bytes). 0 with *payload_len set; -1 when it is not the peer's turn, the message is
// too short or longer than 512 bytes, a tag does not verify, or a Diffie-Hellman
// result is all zero. A refused message leaves hs as it was.
int handshake_read_message(HandshakeState* hs, const uint8_t* message, size_t len,
                           uint8_t* payload_out, size_t* payload_len);

// After the third message: the two transport cipher states (n = 0), crossed so that
// one side's send key is the other's receive key. -1 before the handshake is complete.
int handshake_split(HandshakeState* hs, CipherState* send_out, CipherState* recv_out);

// Runs the whole handshake over io with prologue "ferrylink/1" and fills ch (io,
// keys, remote_static, handshake_hash, peer, established). 0 on success; -2 when a
// handshake frame did not begin within 10 s; -3 connection closed or failed; -4 a
// frame over 512 bytes or a malformed peer payload; -5 any cryptographic or ordering
// failure. After a failure ch must not be used. fixed_e may be null.
int handshake_run(SecureChannel* ch, StreamOps* io, const uint8_t identity_private[32],
                  const HandshakePayload* own_payload, int initiator, const uint8_t* fixed_e);
// The same with another wait for each handshake frame (tests shorten it).
int handshake_run_timed(SecureChannel* ch, StreamOps* io, const uint8_t identity_private[32],
                        const HandshakePayload* own_payload, int initiator,
                        const uint8_t* fixed_e, int frame_timeout_ms);

// Encodes N, name (cut to 63 bytes on a character boundary), kind, version,
// features; returns the length written (N + 7, at most kPayloadMaxEncoded).
size_t payload_encode(const HandshakePayload* payload, uint8_t* out);
// Decodes into payload_out (name cut at 63 bytes, NUL-terminated; bytes after the
// features ignored). 0, or -1 when the body ends early (missing fields read as 0).
int payload_decode(const uint8_t* bytes, size_t len, HandshakePayload* payload_out);
