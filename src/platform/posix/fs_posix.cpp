// File layer on Linux. Paths arrive with either separator; '\' becomes '/' (there are no
// drive letters or long-path prefixes here). Every promise of fs.h is kept with the
// platform's own primitives: exclusive creation, a rename that never replaces, durable
// atomic replacement.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs.h"
#include "platform/fs_replace.h"
#include "platform/utf8.h"

struct FsFile {
  int fd;
};

namespace {

constexpr size_t kMaxRead = size_t(1) << 30;   // one read asks for at most 1 GiB
constexpr size_t kMaxWrite = size_t(1) << 20;  // one write hands over at most 1 MiB
constexpr size_t kListInHalvesFrom = 2048;      // entries of a folder worth a second thread

// The path as the kernel takes it: '\' becomes '/'. False for empty or invalid UTF-8, so
// both builds refuse the same names before touching the disk.
bool native_path(const char* utf8, std::string* out) {
  if (!utf8 || !*utf8) return false;
  if (!utf8_is_valid(utf8, strlen(utf8))) return false;
  *out = utf8;
  for (char& c : *out)
    if (c == '\\') c = '/';
  return true;
}

uint64_t mtime_ms_of(const struct stat& st) {
  const struct timespec& t = st.st_mtim;
  return t.tv_sec < 0 ? 0 : uint64_t(t.tv_sec) * 1000u + uint64_t(t.tv_nsec) / 1000000u;
}

// One entry as the folder lists it: its name and the type the listing gives (d_type).
struct Listed {
  std::string name;
  unsigned char type;
  FsFolderEntry info;
};

// What one listed entry of the folder open as dir is: a folder (never through a link), a
// regular file (also through a link, with its size and time), or neither. The listing's own
// type spares a look at folders; for files the look is needed for size and time anyway.
void classify(int dir, const Listed& e, FsFolderEntry* out) {
  struct stat st;
  if (e.type == DT_DIR) {
    out->is_folder = 1;
    return;
  }
  bool looked = false;
  if (e.type == DT_UNKNOWN) {  // file systems that do not say: look at the name itself
    if (::fstatat(dir, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      out->is_folder = 1;
      return;
    }
    looked = !S_ISLNK(st.st_mode);  // only a link needs a second look, through it
  }
  if (!looked && ::fstatat(dir, e.name.c_str(), &st, 0) != 0) return;
  if (!S_ISREG(st.st_mode)) return;
  out->is_file = 1;
  out->size = static_cast<uint64_t>(st.st_size);
  out->mtime_ms = mtime_ms_of(st);
}

int close_quietly(int fd) {
  // Linux releases the descriptor even when close reports EINTR, so it is not retried.
  return ::close(fd);
}

// Makes a directory entry change (rename, creation) durable by syncing its folder.
// The folder a path names an entry of.
std::string parent_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

int sync_dir(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int rc = ::fsync(fd);
  close_quietly(fd);
  return rc == 0 ? 0 : -1;
}

void sync_parent_dir(const std::string& path) { sync_dir(parent_of(path)); }

bool is_directory(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates one directory with the given rights (less the umask); an existing directory
// counts as created, anything else named the same does not.
bool make_one_dir(const char* path, mode_t mode = 0777) {
  if (::mkdir(path, mode) == 0) return true;
  return errno == EEXIST && is_directory(path);
}

// Creates every missing ancestor of p, then p itself with the given rights.
int make_dirs(std::string p, mode_t mode) {
  // The common case, a folder that is there already, costs one look instead of a creation
  // attempt per level.
  if (is_directory(p.c_str())) return 0;
  // Every ancestor first: cut at each separator after the root, create, put it back.
  for (size_t i = 1; i < p.size(); ++i) {
    if (p[i] != '/' || p[i - 1] == '/') continue;
    p[i] = '\0';
    bool ok = make_one_dir(p.c_str());
    p[i] = '/';
    if (!ok) return -1;
  }
  return make_one_dir(p.c_str(), mode) ? 0 : -1;
}

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

// rename(2) without replacement through renameat2; -1 with errno ENOSYS/EINVAL when the
// kernel or the file system does not offer it.
int rename_noreplace(const char* from, const char* to) {
#ifdef SYS_renameat2
  return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
  errno = ENOSYS;
  return -1;
#endif
}

// The rename itself, never replacing an existing name.
int rename_without_replacing(const std::string& from, const std::string& to) {
  if (rename_noreplace(from.c_str(), to.c_str()) == 0) return 0;
  if (errno != ENOSYS && errno != EINVAL) return -1;
  // Without renameat2: a hard link fails on an existing name, so it cannot replace either.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return 0;
    ::unlink(to.c_str());
    return -1;
  }
  if (errno == EEXIST) return -1;
  // Folders and file systems without hard links: check, then move (best effort).
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return -1;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : -1;
}

}  // namespace

FsFile* fs_open(const char* path, int mode) {
  int flags;
  switch (mode & ~FS_NO_LINK) {
    case FS_READ: flags = O_RDONLY; break;
    case FS_WRITE_NEW: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case FS_WRITE_EXISTING: flags = O_WRONLY; break;
    case FS_CREATE_EXCLUSIVE:
    case FS_CREATE_PRIVATE: flags = O_WRONLY | O_CREAT | O_EXCL; break;
    default: return nullptr;
  }
  // Created with the owner's rights only, never widened: there is no moment in which
  // another user could open a private file.
  const mode_t rights = (mode & ~FS_NO_LINK) == FS_CREATE_PRIVATE ? 0600 : 0666;
  if (mode & FS_NO_LINK) flags |= O_NOFOLLOW;
  std::string p;
  if (!native_path(path, &p)) return nullptr;
  int fd;
  do {
    fd = ::open(p.c_str(), flags | O_CLOEXEC, rights);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  // A folder is not a file to read. (Opening one for writing fails by itself.)
  struct stat st;
  if (mode == FS_READ && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close_quietly(fd);
    return nullptr;
  }
  FsFile* f = static_cast<FsFile*>(std::malloc(sizeof(FsFile)));
  if (!f) {
    close_quietly(fd);
    return nullptr;
  }
  f->fd = fd;
  return f;
}

int64_t fs_read(FsFile* f, void* buf, size_t len) {
  if (!f) return -1;
  if (len > kMaxRead) len = kMaxRead;
  for (;;) {
    ssize_t n = ::read(f->fd, buf, len);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

int fs_write_all(FsFile* f, const void* buf, size_t len) {
  if (!f) return -1;
  const char* p = static_cast<const char*>(buf);
  while (len > 0) {
    size_t chunk = len < kMaxWrite ? len : kMaxWrite;
    ssize_t n = ::write(f->fd, p, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    p += n;
    len -= static_cast<size_t>(n);
  }
  return 0;
}

int fs_seek(FsFile* f, uint64_t offset) {
  if (!f || offset > static_cast<uint64_t>(INT64_MAX)) return -1;
  return ::lseek(f->fd, static_cast<off_t>(offset), SEEK_SET) < 0 ? -1 : 0;
}

int fs_flush(FsFile* f) {
  if (!f) return -1;
  return ::fsync(f->fd) == 0 ? 0 : -1;
}

void fs_close(FsFile* f) {
  if (!f) return;
  close_quietly(f->fd);
  std::free(f);
}

int fs_exists(const char* path) {
  std::string p;
  struct stat st;
  return native_path(path, &p) && ::lstat(p.c_str(), &st) == 0 ? 1 : 0;
}

int fs_is_link(const char* path) {
  std::string p;
  struct stat st;
  return native_path(path, &p) && ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? 1 : 0;
}

int fs_stat(const char* path, uint64_t* size, uint64_t* mtime_ms) {
  std::string p;
  struct stat st;
  if (!native_path(path, &p) || ::stat(p.c_str(), &st) != 0) return -1;
  if (size) *size = static_cast<uint64_t>(st.st_size);
  if (mtime_ms) *mtime_ms = mtime_ms_of(st);
  return 0;
}

int fs_list_folder(const char* path, FsVisit visit, void* ctx) {
  std::string p;
  if (!native_path(path, &p)) return -1;
  const int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    close_quietly(fd);
    return -1;
  }
  int rc = 0;
  std::vector<Listed> listed;
  try {
    for (;;) {
      errno = 0;
      const struct dirent* e = ::readdir(d);
      if (!e) {
        rc = errno == 0 ? 0 : -1;
        break;
      }
      const char* name = e->d_name;
      if (!strcmp(name, ".") || !strcmp(name, "..") || !utf8_is_valid(name, strlen(name)))
        continue;
      listed.push_back(Listed{name, e->d_type, FsFolderEntry{}});
    }
    // The look at each entry costs more than reading its name: a large folder is looked at
    // from two threads, half each (the one waiting for the listing has nothing else to do).
    auto settle = [&](size_t from, size_t to) {
      for (size_t i = from; i < to; ++i) classify(fd, listed[i], &listed[i].info);
    };
    size_t half = listed.size() >= kListInHalvesFrom ? listed.size() / 2 : listed.size();
    std::thread helper;
    try {
      if (half < listed.size()) helper = std::thread(settle, half, listed.size());
    } catch (...) {
      half = listed.size();  // no second thread: this one looks at all of them
    }
    settle(0, half);
    if (helper.joinable()) helper.join();
  } catch (...) {
    rc = -1;  // out of memory for the names
  }
  ::closedir(d);  // closes fd too
  if (rc != 0) return -1;
  for (Listed& e : listed) {
    e.info.name = e.name.c_str();
    visit(ctx, e.info);
  }
  return 0;
}

int fs_make_dirs(const char* path) {
  std::string p;
  return native_path(path, &p) ? make_dirs(p, 0777) : -1;
}

int fs_make_private_dirs(const char* path) {
  std::string p;
  return native_path(path, &p) ? make_dirs(p, 0700) : -1;
}

int fs_restrict_to_owner(const char* path) {
  std::string p;
  struct stat st;
  if (!native_path(path, &p)) return -1;
  // Through a symbolic link: what others could read is the file it leads to.
  if (::stat(p.c_str(), &st) != 0) return errno == ENOENT ? 0 : -1;
  if ((st.st_mode & 077) == 0) return 0;
  return ::chmod(p.c_str(), st.st_mode & 07700) == 0 ? 1 : -1;
}

int fs_make_dir(const char* path) {
  std::string p;
  if (!native_path(path, &p)) return -1;
  if (::mkdir(p.c_str(), 0777) == 0) return 1;
  struct stat st;
  return errno == EEXIST && ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : -1;
}

int fs_remove_empty_dir(const char* path) {
  std::string p;
  return native_path(path, &p) && ::rmdir(p.c_str()) == 0 ? 0 : -1;
}

int fs_rename(const char* old_path, const char* new_path) {
  std::string from, to;
  if (!native_path(old_path, &from) || !native_path(new_path, &to)) return -1;
  if (rename_without_replacing(from, to) != 0) return -1;
  // A name changes in its folder's entries, which reach the disk only with the folder: a
  // power cut after "stored" must not take the new name away again.
  sync_parent_dir(to);
  if (parent_of(from) != parent_of(to)) sync_parent_dir(from);
  return 0;
}

int fs_rename_unsynced(const char* old_path, const char* new_path) {
  std::string from, to;
  if (!native_path(old_path, &from) || !native_path(new_path, &to)) return -1;
  return rename_without_replacing(from, to);
}

int fs_sync_folder(const char* path) {
  std::string p;
  return native_path(path, &p) ? sync_dir(p) : -1;
}

int fs_delete(const char* path) {
  std::string p;
  return native_path(path, &p) && ::unlink(p.c_str()) == 0 ? 0 : -1;
}

int fs_set_file_mtime(FsFile* f, uint64_t unix_ms) {
  if (!f) return -1;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
  times[1].tv_sec = static_cast<time_t>(unix_ms / 1000);
  times[1].tv_nsec = static_cast<long>((unix_ms % 1000) * 1000000);
  return ::futimens(f->fd, times) == 0 ? 0 : -1;
}

int fs_free_space(const char* dir, uint64_t* bytes) {
  std::string p;
  struct statvfs vfs;
  if (!native_path(dir, &p) || ::statvfs(p.c_str(), &vfs) != 0) return -1;
  // f_bavail: blocks an unprivileged caller may use (reserved blocks excluded).
  if (bytes) *bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
  return 0;
}

int fs_is_fat_volume(const char* path) {
  std::string p;
  struct statfs sfs;
  if (!native_path(path, &p) || ::statfs(p.c_str(), &sfs) != 0) return 0;
  // msdos and vfat both report MSDOS_SUPER_MAGIC; exFAT has its own magic and no 4 GiB limit.
  return sfs.f_type == MSDOS_SUPER_MAGIC ? 1 : 0;
}

int fs_replace_durably(const char* tmp_path, const char* target_path) {
  std::string from, to;
  if (!native_path(tmp_path, &from) || !native_path(target_path, &to)) return -1;
  if (::rename(from.c_str(), to.c_str()) != 0) return -1;
  sync_parent_dir(to);
  return 0;
}
