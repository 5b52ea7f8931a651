#pragma once
// The sending side of the ferrylink protocol (what the phone does): the handshake as
// initiator, the trust-state exchange and pairing, offers of files, a text or a link, and
// the file data with resume from the agent's offsets. ferrylink-send drives it from the
// command line; tests drive it as the peer of a real agent session over loopback.

#include <cstddef>
#include <cstdint>

#include "channel/channel.h"

struct TrustStore;

// Bits 0..2 as the agent sends them; bit 3 (send without pairing) stays clear, so an agent
// always pairs with this sender before it takes anything.
constexpr uint32_t kSenderFeatures = 0x00000007;
// How long the agent's user may take to answer a pairing or an offer, by default.
constexpr int kSenderAnswerTimeoutMs = 600000;
// How long the agent may take for anything else (its first message, a file's result).
constexpr int kSenderReplyTimeoutMs = 120000;

struct SenderConfig {
  uint8_t private_key[32];  // this sender's long-term X25519 key
  char name[64];            // shown to the agent's user, at most 63 bytes
  TrustStore* agents;       // the agents this sender trusts; pairing adds to it; may be null
  uint32_t features;        // kSenderFeatures normally
  uint8_t version;          // 1; tests try others
  // Shows the six-digit code and asks the user: non-zero when the PC shows the same code.
  // Null declines every pairing.
  int (*confirm_pairing)(void* ctx, const char* code, const char* agent_name,
                         const char* agent_id);
  void* ctx;
  int answer_timeout_ms;  // 0 or less: kSenderAnswerTimeoutMs
};

// Results of the sender's operations.
enum SendStatus {
  SEND_OK = 0,
  SEND_HANDSHAKE_FAILED = -1,
  SEND_INCOMPATIBLE_VERSION = -2,  // either side speaks another protocol version
  SEND_NOT_PAIRED = -3,            // the agent takes no new devices now
  SEND_PAIRING_DECLINED = -4,      // this side's user said the codes differ
  SEND_PAIRING_REFUSED = -5,       // the PC's user declined
  SEND_PAIRING_FAILED = -6,        // the pairing exchange broke off
  SEND_REJECTED = -7,              // the offer was rejected; Sender::reject_reason says why
  SEND_AGENT_ERROR = -8,           // the agent sent an error; error_code and error_text
  SEND_CONNECTION_LOST = -9,
  SEND_NOT_STORED = -10,           // the transfer ended with files not stored
  SEND_PROTOCOL = -11,             // the agent answered something unexpected
  SEND_NO_MEMORY = -12,
};

// A one-line description of a status ("connection lost", "the PC declined the offer: not
// enough free space", ...), using the sender's reject reason and error text where they apply.
struct Sender;
const char* send_status_text(const Sender* s, int status, char* buf, size_t cap);

// One open connection to an agent.
struct Sender {
  SecureChannel ch;
  StreamOps* io;                // from client_stream_connect; closed by sender_close
  const SenderConfig* config;
  char agent_name[64];
  char agent_id[17];
  int agent_trust_state;        // the agent's trust-state byte
  int paired;                   // 1 when this connection paired the two devices
  int reject_reason;            // of the last MSG_REJECT
  int error_code;               // of the last MSG_ERROR
  char error_text[1001];
  uint8_t* msg;                 // the last message received (65583 bytes)
};

// Handshake, version check, trust states and, when needed, pairing over io (a stream of
// client_stream_connect, now owned by s). SEND_OK leaves s ready for offers; on any other
// status s is closed already.
int sender_open(Sender* s, StreamOps* io, const SenderConfig* config);
// Says goodbye (MSG_END), closes the connection and frees what s holds. Safe twice.
void sender_close(Sender* s);
// Closes the connection without a word, as a phone that vanishes. Safe twice.
void sender_drop(Sender* s);

// The next message from the agent into s->msg: its length (>= 2) or a channel result < 0.
int sender_recv(Sender* s, int timeout_ms);

// Offers a text (kind 2) or link (kind 3) and sends it once accepted.
int sender_send_text(Sender* s, int kind, const char* text);

// One file to send: its local path and the name the agent sees ("/" between folders).
struct SendItem {
  const char* local_path;
  const char* name;
  uint64_t size;
  uint64_t mtime_ms;   // milliseconds since 1970, 0 = none
  // Filled by sender_send_files:
  uint64_t resumed_from;  // the agent's resume offset
  int status;             // -1 not stored (not sent, or the transfer broke off), else FileStatus
  int local_error;        // 1 when the local file could not be read as listed
};

struct SendProgress {
  // done counts resumed bytes too; name is the item being sent.
  void (*report)(void* ctx, uint64_t done, uint64_t total, const char* name);
  void* ctx;
};

// Offers the items (in offers of as many items as one message carries), sends every file
// from the agent's resume offset with its SHA-256, and waits for every file's result.
// SEND_OK when every file was stored; otherwise the first failure's status (SEND_NOT_STORED
// when files were refused one by one). progress may be null.
int sender_send_files(Sender* s, SendItem* items, int count, const SendProgress* progress);

// Building blocks for peers that need to say odd things (tests).
// Encodes a MSG_OFFER body for count items (names and sizes from items) into out (cap bytes);
// the body length, or 0 when it does not fit.
size_t offer_encode(const uint8_t id[16], int kind, int count, uint64_t total,
                    const SendItem* items, uint8_t* out, size_t cap);
