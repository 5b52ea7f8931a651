#pragma once
// The receive session: the agent's side of one connection, from the handshake to the close.
// It checks the peer's protocol version, exchanges trust states, pairs a peer that is not yet
// trusted, and then serves any number of offers of files, a text or a link, asking the user
// through the config's events unless an allowance (or a trusted peer's accept flag) covers
// the offer.
//
// Bodies (big-endian) besides those of the file transfer (transfer.h):
//   MSG_TRUST_STATE  one byte: TrustState
//   MSG_PAIR_CONFIRM the agent sends the byte 1; the peer's body is not examined
//   MSG_PAIR_DECLINE empty
//   MSG_OFFER        offer id (16), kind (u8), item count (u16), total bytes (u64), then per
//                    item: name length (u16), name, size (u64), modification time (u64, ms
//                    since 1970, 0 = none), one ignored byte
//   MSG_REJECT       offer id (16), RejectReason (u8)
//   MSG_TEXT         offer id (16), the text to the end
//   MSG_ERROR        code (u16), text length (u16), text

#include <cstdint>

#include "channel/stream.h"
#include "recv/listener.h"
#include "recv/session_config.h"

constexpr int kProtocolVersion = 1;
constexpr uint32_t kAgentFeatures = 0x0000000F;
// A peer announcing this feature may send without pairing while the agent is in open mode.
constexpr uint32_t kFeatureSendUnpaired = 0x08;

enum TrustState { TRUST_NO = 0, TRUST_YES = 1, TRUST_ADMITTED = 2 };
enum RejectReason { REJECT_DECLINED = 1, REJECT_NO_SPACE = 2, REJECT_NOT_ACCEPTABLE = 3 };
enum ErrorCode { ERROR_VERSION = 1, ERROR_PROTOCOL = 2, ERROR_NOT_PAIRED = 4 };

constexpr int kMaxOfferItems = 10000;
constexpr uint64_t kMaxTextBytes = 60000;
// Files of this size or more do not fit a FAT volume.
constexpr uint64_t kFatFileLimit = 4294967296ull;

constexpr int kTrustStateTimeoutMs = 15000;
constexpr int kTextTimeoutMs = 30000;
constexpr size_t kOpeningMessageCap = 65519;

// Runs the whole session on the calling worker thread and returns when the connection is
// finished; always ends by calling stream->close(stream). config is the listener's copy.
void receive_session_run(const SessionConfig* config, StreamOps* stream);
// The same for a connection of a listener: a pairing prompt is shown only while no other
// connection from the peer's address has one open (otherwise the pairing is declined).
void receive_session_run_from(const SessionConfig* config, StreamOps* stream,
                              const ConnectionPeer* peer);

// Whether the volume of a folder is FAT (and so refuses files of 4 GiB or more). Sessions ask
// fs_is_fat_volume; tests put another answer here. Null restores the file system's answer.
typedef int (*FatVolumeTest)(const char* path);
void receive_session_set_fat_test(FatVolumeTest test);
