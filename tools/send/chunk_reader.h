#pragma once
// Reads a file ahead of the sender on a thread of its own and hashes it on the way, so that
// reading and SHA-256 run while the sender encrypts and the socket drains. Chunks arrive in
// file order in a small ring of buffers; each leaves room in front for the message header,
// so a chunk is sealed where it lies. A file of one chunk is read when it is opened, on the
// caller's thread.

#include <cstddef>
#include <cstdint>

struct ChunkReader;

// Opens path and starts reading: the bytes [0, from) are only hashed, then [from, to) are
// handed out in chunks of at most chunk bytes, each placed headroom bytes into its buffer.
// Null when the file cannot be opened or the thread cannot start (a file of one chunk that
// cannot be read is reported by chunk_reader_next, like any other read failure).
ChunkReader* chunk_reader_start(const char* path, uint64_t from, uint64_t to, size_t headroom,
                                size_t chunk);

// Waits for the next chunk: 1 with *buf (headroom + data) and *len (data bytes); 0 at the end,
// when the digest of [0, to) is ready; -1 when the file could not be read as far as to.
// The buffer stays the caller's until chunk_reader_release.
int chunk_reader_next(ChunkReader* r, uint8_t** buf, size_t* len);
// Hands the buffer of the last chunk back for reading further.
void chunk_reader_release(ChunkReader* r);
// The SHA-256 of the bytes [0, to), once chunk_reader_next has returned 0.
void chunk_reader_digest(ChunkReader* r, uint8_t out[32]);
// Stops the thread (at any point), closes the file and frees everything. Null allowed.
void chunk_reader_stop(ChunkReader* r);
