#pragma once
// What the shell hands to the receiving side: who the agent is, where files go, whom it
// trusts, and the callbacks through which sessions reach the desktop. The record owns
// nothing and holds no pointer into itself, so the listener copies it whole; the objects it
// points to (trust store, allowance table, pairing window) are shared with the shell.

#include <cstdint>

struct TrustStore;
struct Allowance;

// Offer kinds as they travel in an offer.
constexpr int kOfferKindFiles = 1;
constexpr int kOfferKindText = 2;
constexpr int kOfferKindLink = 3;

// What the offer prompt is shown; valid only during the call.
struct OfferInfo {
  const char* peer_name;       // from the peer's handshake payload, at most 63 bytes
  const char* peer_device_id;  // 16 lowercase hex characters
  int trusted;                 // 1 when the peer's key is in the trust store
  int kind;                    // kOfferKindFiles, kOfferKindText or kOfferKindLink
  int count;                   // number of files; 0 for text and link
  uint64_t total_bytes;        // total announced by the offer
  const char* first_name;      // sanitised last component of the first file, "" for text/link
  int auto_allowed;            // always 0 here: an offer covered by an allowance is not prompted
};

// The callbacks of a session, called on its worker thread with user_data first. Every one
// may be null: a missing prompt counts as a refusal, a missing notice is skipped. Strings
// are UTF-8 and valid only during the call. Several sessions may call them at once.
struct SessionEvents {
  // code: six digits and a NUL. Non-zero when the user saw the same code on the phone.
  int (*on_pairing_prompt)(void* user_data, const char* code, const char* peer_name,
                           const char* peer_device_id);
  // Non-zero accepts the offer, 0 rejects it.
  int (*on_offer_prompt)(void* user_data, const OfferInfo* offer);
  // kind: kOfferKindText or kOfferKindLink.
  void (*on_text_received)(void* user_data, const char* peer_name, int kind, const char* text);
  // paths: count full paths of the stored files, freed by the session after the call.
  void (*on_files_received)(void* user_data, const char* peer_name, int count,
                            uint64_t total_bytes, const char* const* paths);
  // received includes resumed bytes; path is the offered path of the file concerned.
  void (*on_progress)(void* user_data, const char* peer_name, uint64_t received,
                      uint64_t total_bytes, const char* path);
  void (*on_paired)(void* user_data, const char* peer_name);
  void (*on_allowance_granted)(void* user_data, const char* peer_name, uint64_t allowance_ms);
  // One line without a line end.
  void (*on_log)(void* user_data, const char* line);
};

constexpr uint64_t kFreeSpaceAsk = ~uint64_t{0};  // free_space_override: ask the file system
constexpr int kDefaultPairingTimeoutMs = 180000;
constexpr int kDefaultIdleTimeoutMs = 60000;

struct SessionConfig {
  uint8_t static_private_key[32];  // the agent's long-term X25519 private key
  char device_name[64];            // announced to the peer, UTF-8, at most 63 bytes
  char inbox_dir[1024];            // where files land, UTF-8, either separator
  TrustStore* trust_store;
  // With open_mode 0 an untrusted peer may pair only while this points to a non-zero int.
  // Read without a lock. May be null.
  const int* pairing_window;
  // Non-zero: an offer from a trusted peer whose accept flag is set needs no prompt.
  int auto_accept_trusted;
  // Non-zero: every peer may pair, and a peer announcing feature bit 3 may send unpaired.
  int open_mode;
  Allowance* allowance;   // may be null
  uint64_t allowance_ms;  // granted when the user accepts an offer; 0 grants none
  void* user_data;        // first argument of every callback
  SessionEvents events;
  // Used instead of the file system's free space while its top bit is clear.
  uint64_t free_space_override;
  int pairing_timeout_ms;  // 0 or negative: kDefaultPairingTimeoutMs
  int idle_timeout_ms;     // 0 or negative: kDefaultIdleTimeoutMs
};

// Zeroes the whole record, then sets auto_accept_trusted to 1 and free_space_override to
// kFreeSpaceAsk. Returns 0.
int session_config_init(SessionConfig* config);

// Copies name into device_name, cut to 63 bytes and terminated. A null name gives "".
void session_config_set_device_name(SessionConfig* config, const char* name);

// The time-outs a session actually waits: the configured value when positive, else the default.
int session_config_pairing_timeout(const SessionConfig* config);
int session_config_idle_timeout(const SessionConfig* config);
