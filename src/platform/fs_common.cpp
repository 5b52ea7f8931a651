// The file operations that are built from the others and read the same on every OS.
#include <cstdio>
#include <cstdlib>

#include "platform/fs.h"
#include "platform/fs_replace.h"

namespace {
constexpr size_t kTmpPathCap = 1100;  // room for "<path>.tmp"
}

char* fs_read_whole_file(const char* path, size_t max_len, size_t* out_len) {
  if (out_len) *out_len = 0;
  if (max_len == SIZE_MAX) return nullptr;  // no room for the terminator
  FsFile* f = fs_open(path, FS_READ);
  if (!f) return nullptr;
  char* buf = static_cast<char*>(std::malloc(max_len + 1));
  if (!buf) {
    fs_close(f);
    return nullptr;
  }
  size_t got = 0;
  while (got < max_len) {
    int64_t n = fs_read(f, buf + got, max_len - got);
    if (n <= 0) break;  // end of file, or an error: keep what was read so far
    got += static_cast<size_t>(n);
  }
  fs_close(f);
  buf[got] = '\0';
  if (out_len) *out_len = got;
  return buf;
}

namespace {

// Writes "<path>.tmp" through a file opened with open_mode, flushes it and moves it over the
// target.
int write_atomic(const char* path, const void* buf, size_t len, int open_mode) {
  if (!path || !*path) return -1;
  char tmp[kTmpPathCap];
  int n = std::snprintf(tmp, sizeof tmp, "%s.tmp", path);
  // A cut temporary name could be some other file: refuse instead of writing there.
  if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) return -1;
  // A left-over temporary file keeps its rights when it is reused; a private one is made
  // anew so that it cannot inherit wider ones.
  if (open_mode == FS_CREATE_PRIVATE) fs_delete(tmp);
  FsFile* f = fs_open(tmp, open_mode);
  if (!f) return -1;
  if (fs_write_all(f, buf, len) != 0 || fs_flush(f) != 0) {
    fs_close(f);
    return -1;
  }
  fs_close(f);
  return fs_replace_durably(tmp, path);
}

}  // namespace

int fs_write_atomic(const char* path, const void* buf, size_t len) {
  return write_atomic(path, buf, len, FS_WRITE_NEW);
}

int fs_write_atomic_private(const char* path, const void* buf, size_t len) {
  return write_atomic(path, buf, len, FS_CREATE_PRIVATE);
}
