#include "chunk_reader.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "crypto/sha256.h"
#include "platform/fs.h"

namespace {

constexpr int kSlots = 8;

enum State { READING, FINISHED, FAILED };

}  // namespace

struct ChunkReader {
  FsFile* file = nullptr;
  uint64_t from = 0, to = 0;
  size_t headroom = 0, chunk = 0;
  std::vector<uint8_t> slots[kSlots];
  size_t lens[kSlots] = {};
  int head = 0, tail = 0, ready = 0;  // ready: filled slots not yet taken back
  State state = READING;
  bool stop = false;
  uint8_t digest[32] = {};
  std::mutex m;
  std::condition_variable cv;
  std::thread thread;
};

namespace {

bool read_exact(FsFile* f, uint8_t* p, size_t n) {
  while (n > 0) {
    int64_t got = fs_read(f, p, n);
    if (got <= 0) return false;
    p += got;
    n -= size_t(got);
  }
  return true;
}

void finish(ChunkReader* r, State s) {
  std::lock_guard<std::mutex> g(r->m);
  r->state = s;
  r->cv.notify_all();
}

void run(ChunkReader* r) {
  Sha256Ctx h;
  sha256_init(&h);
  // The agent holds [0, from) already; the digest covers them too. Slot 0 serves as scratch.
  for (uint64_t pos = 0; pos < r->from;) {
    size_t n = size_t(std::min<uint64_t>(r->from - pos, r->chunk));
    uint8_t* p = r->slots[0].data() + r->headroom;
    if (!read_exact(r->file, p, n)) return finish(r, FAILED);
    sha256_update(&h, p, uint32_t(n));
    pos += n;
  }
  for (uint64_t pos = r->from; pos < r->to;) {
    int slot;
    {
      std::unique_lock<std::mutex> g(r->m);
      r->cv.wait(g, [&] { return r->stop || r->ready < kSlots; });
      if (r->stop) return;
      slot = r->head;
    }
    size_t n = size_t(std::min<uint64_t>(r->to - pos, r->chunk));
    uint8_t* p = r->slots[slot].data() + r->headroom;
    if (!read_exact(r->file, p, n)) return finish(r, FAILED);
    sha256_update(&h, p, uint32_t(n));
    pos += n;
    std::lock_guard<std::mutex> g(r->m);
    r->lens[slot] = n;
    r->head = (slot + 1) % kSlots;
    ++r->ready;
    r->cv.notify_all();
  }
  sha256_final(&h, r->digest);
  finish(r, FINISHED);
}

}  // namespace

ChunkReader* chunk_reader_start(const char* path, uint64_t from, uint64_t to, size_t headroom,
                                size_t chunk) {
  auto* r = new (std::nothrow) ChunkReader();
  if (!r) return nullptr;
  r->file = fs_open(path, FS_READ);
  r->from = from;
  r->to = to;
  r->headroom = headroom;
  r->chunk = chunk;
  // A file that fits one chunk is read and hashed here and now: for small files, starting a
  // thread and waiting for it would take longer than the reading it could overlap. Its one
  // buffer is only as large as its bytes need (the prefix of a resume is read in chunks).
  const bool at_once = to - from <= chunk;
  bool started = false;
  try {
    if (at_once) {
      r->slots[0].resize(headroom + size_t(from > 0 ? chunk : to - from));
    } else {
      for (auto& s : r->slots) s.resize(headroom + chunk);
    }
    if (r->file && at_once) run(r);
    if (r->file && !at_once) r->thread = std::thread(run, r);
    started = r->file && (at_once || r->thread.joinable());
  } catch (...) {
  }
  if (!started) {
    fs_close(r->file);
    delete r;
    return nullptr;
  }
  return r;
}

int chunk_reader_next(ChunkReader* r, uint8_t** buf, size_t* len) {
  std::unique_lock<std::mutex> g(r->m);
  r->cv.wait(g, [&] { return r->ready > 0 || r->state != READING; });
  if (r->ready == 0) return r->state == FINISHED ? 0 : -1;
  *buf = r->slots[r->tail].data();
  *len = r->lens[r->tail];
  return 1;
}

void chunk_reader_release(ChunkReader* r) {
  std::lock_guard<std::mutex> g(r->m);
  r->tail = (r->tail + 1) % kSlots;
  --r->ready;
  r->cv.notify_all();
}

void chunk_reader_digest(ChunkReader* r, uint8_t out[32]) { memcpy(out, r->digest, 32); }

void chunk_reader_stop(ChunkReader* r) {
  if (!r) return;
  {
    std::lock_guard<std::mutex> g(r->m);
    r->stop = true;
    r->cv.notify_all();
  }
  if (r->thread.joinable()) r->thread.join();
  fs_close(r->file);
  delete r;
}
