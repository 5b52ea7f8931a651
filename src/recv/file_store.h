#pragma once
// The incoming file store: turns the names a phone offers into safe paths below the inbox,
// receives each file into a partial file beside its final place, remembers in a small
// metadata file what each partial file belongs to (so an interrupted transfer resumes where
// it stopped), verifies each finished file by SHA-256 and moves it to a final name that never
// replaces an existing file. Paths are UTF-8 and joined with "/".
//
// Several sessions may receive into the same folder at once: a partial file is created only
// when its name is free (otherwise the next numbered name is taken), a partial file in use by
// one session is never resumed by another, and the final move never replaces a file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "crypto/sha256.h"

struct FsFile;

constexpr size_t kStorePathCap = 2200;       // every path the store builds, terminator included
constexpr size_t kComponentCap = 808;        // one sanitised path component, terminator included
constexpr int kComponentMaxChars = 200;      // characters kept of one component
constexpr int kMaxComponents = 64;           // components of one offered name
constexpr size_t kMetaReadLimit = 2400;      // resume metadata is read back up to this size
constexpr unsigned kUniqueMaxSuffix = 99999; // "(n)" and partial-file numbers run 1..this

// Abort codes of the file transfer that the store reports.
enum StoreAbort {
  ABORT_SPLIT_NAME = 192,       // the offered name cannot be split into usable components
  ABORT_FOLDER_TOO_LONG = 195,  // the item's folder path is 2200 bytes or longer
  ABORT_MAKE_FOLDER = 196,      // the item's folder cannot be created
  ABORT_NO_NAME_RESUMED = 204,  // no unique final name for a resumed item
  ABORT_NO_NAME_NEW = 211,      // no unique final name for a new item
  ABORT_CREATE_PARTIAL = 216,   // the partial file cannot be created
  ABORT_SIZE_MISMATCH = 258,    // file end while the stored count differs from the size
  ABORT_READ_BACK = 259,        // reading the partial file back for hashing failed
  ABORT_HASH_MISMATCH = 262,    // the SHA-256 of the stored bytes is not the announced one
  ABORT_MOVE = 272,             // moving the partial file to its final name failed
};

// File statuses reported to the peer per item.
enum FileStatus { FILE_STORED = 0, FILE_HASH_MISMATCH = 1, FILE_FAILED = 2 };

// One item of the offer being received. The session allocates these zero-filled.
struct IncomingFile {
  // The item's paths, each shorter than kStorePathCap: heap text, null until chosen, freed
  // by incoming_cleanup.
  char* final_path;                  // folder, "/", unique leaf
  char* partial_path;                // receives the bytes (".flpart")
  char* meta_path;                   // resume metadata (".flmeta")
  uint64_t size;                     // announced in the offer
  uint64_t mtime_ms;                 // announced modification time, 0 = none
  uint64_t stored;                   // bytes present in the partial file
  uint64_t unacked;                  // bytes stored since the last acknowledgement
  FsFile* handle;                    // open for writing from the first data (or, kept open,
                                     // from the partial file's creation) until the end
  int kept_open;                     // 1 while handle counts against the keep-open budget
  Sha256Ctx hash;                    // the bytes written, hashed while they are in the cache
  uint64_t hashed;                   // bytes from offset 0 in hash; a resumed prefix is not
  char* pending_meta;                // a new item's metadata line, until it is written (heap)
  size_t pending_meta_len;
  int has_meta;                      // 1 when meta_path holds this item's metadata
  int finished;                      // 1 once verified and moved to final_path
  int registered;                    // 1 while partial_path is marked in use by this session
  int made_folders;                  // deepest folders of final_path created for this item
  int sync_later;                    // 1: the final move leaves the folder's sync to
                                     // incoming_sync_folder
};

// The sanitised components of one offered name; the last one is the leaf.
struct OfferPath {
  int count;  // 1..kMaxComponents
  char parts[kMaxComponents][kComponentCap];
};

// Makes one path component safe as a file or folder name: control bytes, 0x7F and
// < > : " / \ | ? * become "_", trailing spaces and dots go, reserved device names get a "_"
// in front, and more than 200 characters are cut (keeping a short extension). Bytes of 0x80
// and above are copied; a UTF-8 lead byte takes its continuation bytes along only when they
// are all there. 0 with the result in out, or -1 when the component is not usable (empty,
// ".", "..", drive-like such as "c:x", nothing left after trimming, or it does not fit cap).
int sanitize_component(const char* component, char* out, size_t cap);

// Cuts an offered name at every "/" and sanitises each piece. -1 when the name starts with a
// slash or backslash, any piece is unusable (so also for "//" and a trailing "/"), or there
// are more than 64 pieces; else 0 with out filled.
int split_offer_path(const char* name, OfferPath* out);

// The final names the earlier items of one offer chose: a later item may not take one of them,
// though nothing exists under it yet. A set, so that an offer of thousands of items does not
// compare every name with every other.
using ClaimedNames = std::unordered_set<std::string>;

// What the items of one offer prepared so far leave to the next: the final names they
// claimed, and the folder made and checked for the last of them. The items of an offer
// mostly share their folders, and are prepared one right after the other.
struct OfferNames {
  ClaimedNames claimed;
  std::string folder;
  // The folder was created for this offer: it held nothing when the offer began, so the
  // names in it are chosen among the claimed ones without a look at the disk for each. A
  // file another session stores there meanwhile is no danger: the final move never
  // replaces, and takes another name then.
  bool folder_is_new = false;
};

// Chooses a free name in folder for leaf: "folder/leaf", else "folder/stem (n).ext" for
// n = 1..99999. A name is free when nothing exists there and it is not among the claimed
// names (null: none). 0 with the path in out, or -1 when none is free or the path does not
// fit cap.
int unique_name(const char* folder, const char* leaf, char* out, size_t cap,
                const ClaimedNames* claimed);

// Prepares records[index] for the offered item: folder (created), final name, partial file,
// resume metadata and resume offset (stored). An earlier partial file of the same peer, name,
// size and time that no other item in this process is using is resumed; otherwise a new one
// is created. names->claimed holds the final names of the earlier items; on success the
// item's own (records[index].final_path) is added. A folder on the way that is a link
// (Windows: a reparse point) is ABORT_MAKE_FOLDER; a partial or metadata file that is a link
// is never resumed. Returns 0, or ABORT_SPLIT_NAME, ABORT_FOLDER_TOO_LONG, ABORT_MAKE_FOLDER,
// ABORT_NO_NAME_RESUMED, ABORT_NO_NAME_NEW or ABORT_CREATE_PARTIAL.
int incoming_prepare(IncomingFile* records, int index, const char* inbox_dir,
                     const char* peer_device_id, const char* offered_name, uint64_t size,
                     uint64_t mtime_ms, OfferNames* names);

// Writes len bytes at offset `stored` of the partial file, opening it when it is not open.
// The caller has checked the offset and the size, and advances `stored` itself. 0 or -1. A
// new item's resume metadata is written (only under a name nothing has) just before its
// first bytes that leave it unfinished: an item that arrives whole in one write never needs
// resuming, and skips that file and its syncs.
int incoming_write(IncomingFile* record, const void* data, size_t len);

// Closes the partial file until the item's next write: only the items whose data is flowing
// (and the few kept open since their creation) hold open files, however many items an offer
// has.
void incoming_pause(IncomingFile* record);

// How many new partial files the process keeps open from their creation to their end, over
// all sessions; 0 (the start) closes each at once. Kept open, a file's data needs no second
// open: for many small files that is a good part of the work. Beyond the budget, files are
// opened again for their data, so the budget bounds the files a peer can make the process
// hold, not what it can send.
void incoming_set_keep_open_budget(int files);

// Flushes the partial file to disk (also one this session wrote nothing to), a complete one
// with the announced time set, and closes it, checks its size and SHA-256 and moves it to a
// final name that replaces nothing (a new unique name when the chosen one was taken
// meanwhile); a failed flush fails the move. Returns FILE_STORED with final_path holding the
// stored file; otherwise FILE_HASH_MISMATCH (partial and metadata deleted) or FILE_FAILED,
// with *abort_code set to ABORT_SIZE_MISMATCH, ABORT_READ_BACK, ABORT_HASH_MISMATCH or
// ABORT_MOVE.
int incoming_finish(IncomingFile* record, const uint8_t sha256[32], int* abort_code);

// Puts the folder of a stored file on disk, after a move that left it (sync_later): only then
// does the file's name survive a power cut. 0 or -1.
int incoming_sync_folder(const IncomingFile* record);

// Ends a transfer however it ended: closes every open partial file, deletes the partial and
// metadata files of unfinished items that hold no bytes, keeps those that do for a resume,
// and releases the partial files' in-use marks.
void incoming_cleanup(IncomingFile* records, int count);
