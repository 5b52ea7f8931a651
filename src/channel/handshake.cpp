// Noise XX with 25519, ChaChaPoly and SHA256:
//
//   -> e
//   <- e, ee, s, es
//   -> s, se
//
// Each message is a list of tokens processed in order; the writer and the reader
// walk the same list, so the two roles cannot drift apart.

#include "channel/handshake.h"

#include <cstring>

#include "channel/field.h"
#include "channel/frame.h"
#include "crypto/aead.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "platform/sync.h"

static constexpr char kProtocolName[] = "Noise_XX_25519_ChaChaPoly_SHA256";
static_assert(sizeof kProtocolName - 1 == 32, "a 32-byte name is used as h unhashed");

enum Token { TOKEN_E, TOKEN_S, TOKEN_EE, TOKEN_ES, TOKEN_SE, TOKEN_END };

// Messages 1 and 3 come from the initiator, message 2 from the responder.
static const Token kPattern[3][5] = {
    {TOKEN_E, TOKEN_END},
    {TOKEN_E, TOKEN_EE, TOKEN_S, TOKEN_ES, TOKEN_END},
    {TOKEN_S, TOKEN_SE, TOKEN_END},
};

// --- symmetric state -------------------------------------------------------------

static void mix_hash(HandshakeState* hs, const uint8_t* data, size_t len) {
    Sha256Ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, hs->h, 32);
    sha256_update(&ctx, data, static_cast<uint32_t>(len));
    sha256_final(&ctx, hs->h);
}

// New chaining key and handshake key from fresh input; the nonce starts again at 0.
static void mix_key(HandshakeState* hs, const uint8_t* ikm, size_t len) {
    uint8_t temp_k[32];
    hkdf2(hs->ck, ikm, len, hs->ck, temp_k);
    cipher_init_key(&hs->cs, temp_k);
}

static int mix_key_dh(HandshakeState* hs, const uint8_t priv[32], const uint8_t pub[32]) {
    uint8_t dh[32];
    // An all-zero result means a low-order peer key: it would add no secret.
    if (x25519(dh, priv, pub) != 0) return -1;
    mix_key(hs, dh, sizeof dh);
    return 0;
}

// The output (ciphertext, or the plaintext while there is no key) is what gets
// hashed. Returns its length or -1.
static int encrypt_and_hash(HandshakeState* hs, const uint8_t* plaintext, size_t len, uint8_t* out) {
    int n = cipher_encrypt(&hs->cs, hs->h, sizeof hs->h, plaintext, len, out);
    if (n < 0) return -1;
    mix_hash(hs, out, static_cast<size_t>(n));
    return n;
}

// out must not overlap ciphertext: the ciphertext as received is hashed afterwards.
static int decrypt_and_hash(HandshakeState* hs, const uint8_t* ciphertext, size_t len, uint8_t* out) {
    int n = cipher_decrypt(&hs->cs, hs->h, sizeof hs->h, ciphertext, len, out);
    if (n < 0) return -1;
    mix_hash(hs, ciphertext, len);
    return n;
}

// Ciphertext size of a plaintext at this point of the handshake.
static size_t sealed_size(const HandshakeState* hs, size_t len) {
    return len + (hs->cs.has_key ? kAeadTagSize : 0);
}

// --- tokens ----------------------------------------------------------------------

static int generate_e(HandshakeState* hs) {
    if (hs->has_fixed_e) {
        std::memcpy(hs->e_private, hs->fixed_e, 32);
    } else if (random_bytes(hs->e_private, 32) != 0) {
        return -1;
    }
    x25519_base(hs->e_public, hs->e_private);
    return 0;
}

// The two keys each Diffie-Hellman token combines, seen from this side.
static int mix_dh_token(HandshakeState* hs, Token t) {
    bool i = hs->initiator != 0;
    switch (t) {
    case TOKEN_EE: return mix_key_dh(hs, hs->e_private, hs->re);
    case TOKEN_ES: return i ? mix_key_dh(hs, hs->e_private, hs->rs) : mix_key_dh(hs, hs->s_private, hs->re);
    case TOKEN_SE: return i ? mix_key_dh(hs, hs->s_private, hs->re) : mix_key_dh(hs, hs->e_private, hs->rs);
    default: return -1;
    }
}

// Appends one token's bytes at out + *pos (room up to kHandshakeMaxMessage).
static int write_token(HandshakeState* hs, Token t, uint8_t* out, size_t* pos) {
    size_t room = kHandshakeMaxMessage - *pos;
    if (t == TOKEN_E) {
        if (room < 32 || generate_e(hs) != 0) return -1;
        std::memcpy(out + *pos, hs->e_public, 32);
        mix_hash(hs, hs->e_public, 32);
        *pos += 32;
        return 0;
    }
    if (t == TOKEN_S) {
        if (room < sealed_size(hs, 32)) return -1;
        int n = encrypt_and_hash(hs, hs->s_public, 32, out + *pos);
        if (n < 0) return -1;
        *pos += static_cast<size_t>(n);
        return 0;
    }
    return mix_dh_token(hs, t);
}

// Consumes one token's bytes from message + *pos.
static int read_token(HandshakeState* hs, Token t, const uint8_t* message, size_t len, size_t* pos) {
    size_t left = len - *pos;
    if (t == TOKEN_E) {
        if (left < 32) return -1;
        std::memcpy(hs->re, message + *pos, 32);
        mix_hash(hs, hs->re, 32);
        *pos += 32;
        return 0;
    }
    if (t == TOKEN_S) {
        size_t n = sealed_size(hs, 32);
        if (left < n || decrypt_and_hash(hs, message + *pos, n, hs->rs) != 32) return -1;
        hs->has_rs = 1;
        *pos += n;
        return 0;
    }
    return mix_dh_token(hs, t);
}

// Whether message number message_index is this side's to write (or, if not, to read).
static bool my_turn(const HandshakeState* hs) {
    return (hs->message_index % 2 == 0) == (hs->initiator != 0);
}

// --- handshake state -------------------------------------------------------------

void handshake_init(HandshakeState* hs, int initiator, const uint8_t s_private[32],
                    const uint8_t* prologue, size_t prologue_len, const uint8_t* fixed_e) {
    std::memset(hs, 0, sizeof *hs);
    hs->initiator = initiator ? 1 : 0;
    std::memcpy(hs->s_private, s_private, 32);
    x25519_base(hs->s_public, hs->s_private);
    std::memcpy(hs->h, kProtocolName, 32);
    std::memcpy(hs->ck, hs->h, 32);
    mix_hash(hs, prologue, prologue_len);
    if (fixed_e) {
        std::memcpy(hs->fixed_e, fixed_e, 32);
        hs->has_fixed_e = 1;
    }
}

// Both directions work on a copy that replaces the state only on success, so a
// refused message leaves the handshake exactly where it was.
static int write_message(HandshakeState* hs, const uint8_t* payload, size_t payload_len,
                         uint8_t* out, size_t* out_len) {
    size_t pos = 0;
    for (const Token* t = kPattern[hs->message_index]; *t != TOKEN_END; t++)
        if (write_token(hs, *t, out, &pos) != 0) return -1;
    if (kHandshakeMaxMessage - pos < sealed_size(hs, payload_len)) return -1;
    int n = encrypt_and_hash(hs, payload, payload_len, out + pos);
    if (n < 0) return -1;
    *out_len = pos + static_cast<size_t>(n);
    return 0;
}

static int read_message(HandshakeState* hs, const uint8_t* message, size_t len,
                        uint8_t* payload_out, size_t* payload_len) {
    size_t pos = 0;
    for (const Token* t = kPattern[hs->message_index]; *t != TOKEN_END; t++)
        if (read_token(hs, *t, message, len, &pos) != 0) return -1;
    // With a key the payload part carries at least its tag; cipher_decrypt checks that.
    int n = decrypt_and_hash(hs, message + pos, len - pos, payload_out);
    if (n < 0) return -1;
    *payload_len = static_cast<size_t>(n);
    return 0;
}

int handshake_write_message(HandshakeState* hs, const uint8_t* payload, size_t payload_len,
                            uint8_t* out, size_t* out_len) {
    if (hs->message_index > 2 || !my_turn(hs)) return -1;
    HandshakeState next = *hs;
    if (write_message(&next, payload, payload_len, out, out_len) != 0) return -1;
    next.message_index++;
    *hs = next;
    return 0;
}

int handshake_read_message(HandshakeState* hs, const uint8_t* message, size_t len,
                           uint8_t* payload_out, size_t* payload_len) {
    if (hs->message_index > 2 || my_turn(hs) || len > kHandshakeMaxMessage) return -1;
    HandshakeState next = *hs;
    if (read_message(&next, message, len, payload_out, payload_len) != 0) return -1;
    next.message_index++;
    *hs = next;
    return 0;
}

int handshake_split(HandshakeState* hs, CipherState* send_out, CipherState* recv_out) {
    if (hs->message_index != 3) return -1;
    uint8_t k1[32], k2[32];
    hkdf2(hs->ck, nullptr, 0, k1, k2);
    cipher_init_key(send_out, hs->initiator ? k1 : k2);
    cipher_init_key(recv_out, hs->initiator ? k2 : k1);
    return 0;
}

// --- over the wire ---------------------------------------------------------------

struct Exchange {
    StreamOps* io;
    HandshakeState* hs;
    int timeout_ms;
    uint8_t message[kHandshakeMaxMessage];
};

// Frame-layer results pass through unchanged; a message the state refuses is -5.
static int send_next(Exchange* x, const uint8_t* payload, size_t payload_len) {
    size_t len = 0;
    if (handshake_write_message(x->hs, payload, payload_len, x->message, &len) != 0) return -5;
    return frame_write(x->io, x->message, len);
}

static int receive_next(Exchange* x, uint8_t* payload_out, size_t* payload_len) {
    int len = frame_read(x->io, x->message, sizeof x->message, x->timeout_ms);
    if (len < 0) return len;
    if (handshake_read_message(x->hs, x->message, static_cast<size_t>(len), payload_out, payload_len) != 0)
        return -5;
    return 0;
}

// Runs the three messages of one role; the peer's payload is the one it sent with
// its static key (message 2 or 3). The payload of message 1 is only hashed.
static int exchange(Exchange* x, const uint8_t* own, size_t own_len, uint8_t* peer, size_t* peer_len) {
    int rc;
    if (x->hs->initiator) {
        rc = send_next(x, nullptr, 0);
        if (rc == 0) rc = receive_next(x, peer, peer_len);
        if (rc == 0) rc = send_next(x, own, own_len);
    } else {
        rc = receive_next(x, peer, peer_len);
        if (rc == 0) rc = send_next(x, own, own_len);
        if (rc == 0) rc = receive_next(x, peer, peer_len);
    }
    return rc;
}

int handshake_run_timed(SecureChannel* ch, StreamOps* io, const uint8_t identity_private[32],
                        const HandshakePayload* own_payload, int initiator,
                        const uint8_t* fixed_e, int frame_timeout_ms) {
    std::memset(ch, 0, sizeof *ch);
    ch->io = io;
    HandshakeState hs;
    handshake_init(&hs, initiator, identity_private,
                   reinterpret_cast<const uint8_t*>(kHandshakePrologue), sizeof kHandshakePrologue - 1,
                   fixed_e);
    uint8_t own[kPayloadMaxEncoded];
    size_t own_len = payload_encode(own_payload, own);

    Exchange x{io, &hs, frame_timeout_ms, {}};
    uint8_t peer[kHandshakeMaxMessage];
    size_t peer_len = 0;
    int rc = exchange(&x, own, own_len, peer, &peer_len);
    if (rc != 0) return rc;
    if (!hs.has_rs || handshake_split(&hs, &ch->send, &ch->recv) != 0) return -5;
    std::memcpy(ch->remote_static, hs.rs, 32);
    std::memcpy(ch->handshake_hash, hs.h, 32);
    if (payload_decode(peer, peer_len, &ch->peer) != 0) return -4;
    ch->established = 1;
    return 0;
}

int handshake_run(SecureChannel* ch, StreamOps* io, const uint8_t identity_private[32],
                  const HandshakePayload* own_payload, int initiator, const uint8_t* fixed_e) {
    return handshake_run_timed(ch, io, identity_private, own_payload, initiator, fixed_e,
                               kHandshakeFrameTimeoutMs);
}

// --- payload ---------------------------------------------------------------------

static constexpr size_t kMaxName = 63;

static bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

size_t payload_encode(const HandshakePayload* payload, uint8_t* out) {
    const uint8_t* name = reinterpret_cast<const uint8_t*>(payload->name);
    size_t n = 0;
    while (n < sizeof payload->name && name[n] != 0) n++;
    if (n > kMaxName) {
        n = kMaxName;
        // Never cut inside a character: drop the one that would be split.
        while (n > 0 && is_continuation(name[n])) n--;
    }
    FieldWriter w;
    writer_init(&w, out, kPayloadMaxEncoded);
    writer_u8(&w, static_cast<uint8_t>(n));
    writer_bytes(&w, name, static_cast<uint32_t>(n));
    writer_u8(&w, payload->kind);
    writer_u8(&w, payload->version);
    writer_u32(&w, payload->features);
    return w.pos;
}

int payload_decode(const uint8_t* bytes, size_t len, HandshakePayload* payload_out) {
    std::memset(payload_out, 0, sizeof *payload_out);
    if (len == 0 || len > UINT32_MAX) return -1;
    FieldReader r;
    reader_init(&r, bytes, static_cast<uint32_t>(len));
    uint8_t n = reader_u8(&r);
    const uint8_t* name = reader_take(&r, n);
    if (!name) return -1;
    std::memcpy(payload_out->name, name, n < kMaxName ? n : kMaxName);
    // A short body keeps the fields it reached; the rest read as 0.
    payload_out->kind = reader_u8(&r);
    payload_out->version = reader_u8(&r);
    payload_out->features = reader_u32(&r);
    return r.failed ? -1 : 0;
}
