// System facts and process services on Linux: XDG folders, locale, uname, /proc, and an
// flock'ed file as the one-copy guard.
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fs.h"
#include "platform/locale_id.h"
#include "platform/posix/instance_lock.h"
#include "platform/posix/user_dirs.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace {

// Copies text into buf when it fits whole; otherwise buf holds the empty text.
int copy_whole(const std::string& text, char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  if (text.size() + 1 > cap) {
    buf[0] = '\0';
    return -1;
  }
  std::memcpy(buf, text.c_str(), text.size() + 1);
  return 0;
}

std::string env_text(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string home_dir() {
  std::string home = env_text("HOME");
  if (!home.empty()) return home;
  passwd pw;
  passwd* found = nullptr;
  char scratch[4096];
  if (getpwuid_r(getuid(), &pw, scratch, sizeof scratch, &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return std::string();
}

// An XDG base folder from its variable when that holds an absolute path, else home + fallback.
std::string xdg_base(const char* var, const char* fallback) {
  std::string v = env_text(var);
  if (!v.empty() && v[0] == '/') return v;
  std::string home = home_dir();
  return home.empty() ? std::string() : home + fallback;
}

std::string user_dir(const char* key, const char* fallback_leaf) {
  std::string home = home_dir();
  std::string config = xdg_base("XDG_CONFIG_HOME", "/.config");
  if (!config.empty()) {
    size_t len = 0;
    std::string file = config + "/user-dirs.dirs";
    char* text = fs_read_whole_file(file.c_str(), 65536, &len);
    if (text) {
      std::string dir = user_dir_from_text(std::string(text, len), key, home);
      std::free(text);
      if (!dir.empty()) return dir;
    }
  }
  return home.empty() ? std::string() : home + "/" + fallback_leaf;
}

std::string folder_path(int folder) {
  switch (folder) {
    case FOLDER_APPDATA: return xdg_base("XDG_CONFIG_HOME", "/.config");
    case FOLDER_LOCAL_APPDATA: return xdg_base("XDG_DATA_HOME", "/.local/share");
    case FOLDER_DOCUMENTS: return user_dir("XDG_DOCUMENTS_DIR", "Documents");
    case FOLDER_DESKTOP: return user_dir("XDG_DESKTOP_DIR", "Desktop");
    default: return std::string();
  }
}

}  // namespace

void known_folder_utf8(int folder, char* buf, size_t cap) {
  if (!buf || cap == 0) return;
  buf[0] = '\0';
  std::string path = folder_path(folder);
  if (path.empty() || fs_make_dirs(path.c_str()) != 0) return;
  copy_whole(path, buf, cap);
}

int env_utf8(const char* name, char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  buf[0] = '\0';
  if (!name) return -1;
  std::string v = env_text(name);
  if (v.empty()) return -1;
  return copy_whole(v, buf, cap);
}

int computer_name_utf8(char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  buf[0] = '\0';
  char name[256];
  if (gethostname(name, sizeof name) != 0) return -1;
  name[sizeof name - 1] = '\0';
  if (!name[0]) return -1;
  return copy_whole(name, buf, cap);
}

uint16_t ui_language_id() {
  // The first of these that is set decides, as the C library itself resolves LC_MESSAGES.
  const char* vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char* var : vars) {
    const char* v = std::getenv(var);
    if (v && *v) return language_id_from_locale(v);
  }
  return 0x0409;
}

void os_info_line(char* buf, size_t cap) {
  if (!buf || cap == 0) return;
  utsname u;
  if (uname(&u) != 0) {
    std::snprintf(buf, cap, "info %s", "unknown");
    return;
  }
  std::snprintf(buf, cap, "info %s %s", u.sysname, u.release);
}

int program_path_utf8(char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  buf[0] = '\0';
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof path) return -1;
  return copy_whole(std::string(path, static_cast<size_t>(n)), buf, cap);
}

namespace {

// Writes the parts to standard output; false when it is gone (closed, or a pipe whose
// reader left).
bool write_parts(iovec* parts, int count) {
  int index = 0;
  // One writev keeps the line whole next to other writers; finish any short write.
  while (index < count) {
    ssize_t n = writev(STDOUT_FILENO, parts + index, count - index);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    size_t left = static_cast<size_t>(n);
    while (index < count && left >= parts[index].iov_len) {
      left -= parts[index].iov_len;
      ++index;
    }
    if (index < count) {
      parts[index].iov_base = static_cast<char*>(parts[index].iov_base) + left;
      parts[index].iov_len -= left;
    }
  }
  return true;
}

}  // namespace

void console_write_line(const char* text) {
  const char* t = text ? text : "";
  char crlf[2] = {'\r', '\n'};
  iovec parts[2] = {{const_cast<char*>(t), std::strlen(t)}, {crlf, 2}};
  // A pipe whose reader is gone (`ferrylink --test | head -1`) raises SIGPIPE, which would end
  // the process; Windows just fails the write. Hold the signal back for this thread while
  // writing and discard the one the write raised, unless one was pending already.
  sigset_t pipe_only, old_mask, pending;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask);
  sigpending(&pending);
  bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  if (!write_parts(parts, 2) && errno == EPIPE && !was_pending) {
    timespec no_wait = {0, 0};
    sigtimedwait(&pipe_only, nullptr, &no_wait);
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
}

struct InstanceGuard {
  int fd;
};

namespace {

// The lock file of a guard name: in the runtime folder, else in /tmp with the user's id.
std::string lock_path(const char* name) {
  std::string leaf = name;
  for (char& c : leaf)
    if (c == '\\' || c == '/') c = '-';
  std::string runtime = env_text("XDG_RUNTIME_DIR");
  struct stat st;
  if (!runtime.empty() && runtime[0] == '/' && stat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return runtime + "/" + leaf + ".lock";
  return "/tmp/" + leaf + "-" + std::to_string(getuid()) + ".lock";
}

// O_NOFOLLOW: in a shared folder such as /tmp the name could be a planted link.
int open_lock(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

int try_lock(int fd) {
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// The holder writes its process id into the file, so that it can be asked to quit.
void write_pid(int fd) {
  char text[24];
  int n = snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
  if (ftruncate(fd, 0) == 0 && n > 0) {
    ssize_t w = pwrite(fd, text, static_cast<size_t>(n), 0);
    (void)w;  // without it the holder just cannot be asked to quit
  }
}

}  // namespace

int instance_stop_holder(const char* name, int wait_ms) {
  int fd = open_lock(lock_path(name));
  if (fd < 0) return 0;
  int result = 0;
  if (try_lock(fd) != 0) {
    char text[24] = "";
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    long pid = n > 0 ? strtol(text, nullptr, 10) : 0;
    if (pid > 0 && pid != getpid()) kill(static_cast<pid_t>(pid), SIGTERM);
    result = -1;
    for (int waited = 0; waited <= wait_ms; waited += 50) {
      if (try_lock(fd) == 0) {
        result = 1;
        break;
      }
      sleep_ms(50);
    }
  }
  close(fd);  // drops the lock taken to look
  return result;
}

InstanceGuard* instance_guard_acquire(const char* name, int* already_running) {
  if (already_running) *already_running = 0;
  if (!name || !*name) return nullptr;
  int fd = open_lock(lock_path(name));
  if (fd < 0) return nullptr;
  InstanceGuard* g = static_cast<InstanceGuard*>(std::malloc(sizeof(InstanceGuard)));
  if (!g) {
    close(fd);
    return nullptr;
  }
  g->fd = fd;
  if (try_lock(fd) != 0) {
    if (already_running) *already_running = 1;
  } else {
    write_pid(fd);
  }
  return g;
}

void instance_guard_release(InstanceGuard* g) {
  if (!g) return;
  // Closing drops the lock. The file stays: removing it could let two copies lock two
  // different files of the same name.
  close(g->fd);
  std::free(g);
}

int open_files_to_spare() {
  constexpr rlim_t kWanted = 16384;
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return 0;
  if (lim.rlim_cur < kWanted && lim.rlim_cur < lim.rlim_max) {
    struct rlimit raised = lim;
    raised.rlim_cur = lim.rlim_max < kWanted ? lim.rlim_max : kWanted;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
  }
  const int spare = int((lim.rlim_cur < kWanted ? lim.rlim_cur : kWanted) / 2);
  // A descriptor numbered that high makes the kernel grow the table once, to its final size.
  const int any = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int high = any >= 0 && spare > 0 ? fcntl(any, F_DUPFD_CLOEXEC, spare - 1) : -1;
  if (high >= 0) close(high);
  if (any >= 0) close(any);
  return spare;
}

void memory_return_large_blocks() {
  // Setting the threshold fixes both it and the trim threshold (128 KiB): the free top of a
  // heap is handed back, and only blocks beyond any transfer's (32 MiB) are mapped apart, so
  // an offer of thousands of items does not pay for fresh pages every time.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
}
