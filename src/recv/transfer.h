#pragma once
// The file transfer of an accepted file offer: prepares every item in the incoming file
// store, tells the peer where each file resumes (MSG_ACCEPT), takes the data messages in any
// order of items, acknowledges every mebibyte per item, verifies and stores each finished
// file, and on every way out leaves the inbox so that the same offer can resume.
//
// Bodies (big-endian), the peer's:
//   MSG_DATA      offer id (16), item index (u16), offset (u64), data to the end
//   MSG_FILE_END  offer id (16), item index (u16), SHA-256 of the whole file (32)
// and the agent's:
//   MSG_ACCEPT       offer id (16), one u64 resume offset per item
//   MSG_ACK          offer id (16), item index (u16), bytes of that item now stored (u64)
//   MSG_FILE_RESULT  offer id (16), item index (u16), FileStatus (u8)

#include <cstddef>
#include <cstdint>

#include "recv/session_config.h"

struct SecureChannel;

constexpr size_t kOfferIdLen = 16;
// Receive capacity of the session for every message it waits for between and during offers.
constexpr size_t kSessionMessageCap = 65583;
// The data of one MSG_DATA: the largest message (65519) less type, flags, id, index, offset.
constexpr size_t kMaxDataPerMessage = 65491;
// An item is acknowledged once more than this many bytes arrived since its last MSG_ACK.
constexpr uint64_t kAckThreshold = 1048575;
// Verification reads a finished file back in blocks of this size.
constexpr size_t kVerifyBlock = 65536;

// One offered file, as the offer announced it.
struct OfferItem {
  char* name;         // raw offered name, UTF-8, "/" between folders, NUL-terminated
  uint64_t size;      // bytes
  uint64_t mtime_ms;  // milliseconds since 1970, 0 = not given
};

struct FileOffer {
  uint8_t id[kOfferIdLen];
  uint64_t total_bytes;  // as announced; progress is reported against it
  int count;             // items, at least 1
  const OfferItem* items;
};

// The session's side of one transfer.
struct TransferPeer {
  SecureChannel* channel;
  const SessionConfig* config;
  const char* peer_name;       // at most 63 bytes
  const char* peer_device_id;  // 16 lowercase hex characters
  // An untrusted peer's idle time runs from its last data or file end: keep-alives and
  // ignored messages do not extend it. A trusted peer's restarts with every message.
  bool trusted;
};

enum TransferOutcome {
  TRANSFER_COMPLETE = 0,  // every item stored; on_files_received was called
  TRANSFER_STOPPED = 1,   // the peer sent MSG_END or MSG_ERROR; the connection may go on
  TRANSFER_ABORTED = -1,  // logged; the session must close the connection
};

// Runs the transfer of an accepted offer to its end and returns how it ended. Aborts log
// "receive_files aborted (recv:%d)" with their code after telling the peer what the code
// calls for; a failed receive logs "recv error %d". Files finished stay stored, partial files
// that hold bytes stay for a resume, empty ones are removed.
int receive_files(const TransferPeer* session, const FileOffer* offer);

// Formats one line (cut to 512 bytes) and hands it to the config's on_log, when present.
void recv_log(const SessionConfig* config, const char* fmt, ...);
