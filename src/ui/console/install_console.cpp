// Installing on Linux: the program goes to ~/.local/bin/ferrylink and an XDG autostart entry
// starts it when the user logs in to a graphical session. There is no firewall step and no
// registry; processes are started with fork and exec.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/agent_state.h"
#include "app/install.h"
#include "app/install_os.h"
#include "platform/fs.h"
#include "platform/posix/instance_lock.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace {

constexpr uint64_t kCommandWaitMs = 15000;
constexpr uint32_t kCommandPollMs = 20;

// "<config home>/autostart/ferrylink.desktop"; empty when the config home is unknown.
std::string autostart_file() {
  char config[700];
  known_folder_utf8(FOLDER_APPDATA, config, sizeof config);
  if (!config[0]) return {};
  return std::string(config) + "/autostart/ferrylink.desktop";
}

// One argument of an Exec line, quoted as desktop entries want: inside double quotes a
// backslash escapes '"', '`', '$' and '\'; a '%' is written twice.
std::string exec_quoted(const char* path) {
  std::string out = "\"";
  for (const char* p = path; *p; ++p) {
    if (*p == '"' || *p == '`' || *p == '$' || *p == '\\') out += '\\';
    if (*p == '%') out += '%';
    out += *p;
  }
  return out + "\"";
}

bool write_all(int fd, const char* buf, ssize_t len) {
  while (len > 0) {
    ssize_t n = write(fd, buf, static_cast<size_t>(len));
    if (n <= 0) return false;
    buf += n;
    len -= n;
  }
  return true;
}

bool copy_bytes(int in, int out) {
  char buf[65536];
  for (;;) {
    ssize_t n = read(in, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0 || !write_all(out, buf, n)) return false;
  }
}

// The child side of fork: a session of its own, input from /dev/null, then the program.
[[noreturn]] void exec_detached(const char* path, const char* arg0, const char* arg1,
                                const char* arg2) {
  setsid();
  int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd >= 0) {
    dup2(null_fd, STDIN_FILENO);
    if (null_fd != STDIN_FILENO) close(null_fd);
  }
  execl(path, arg0, arg1, arg2, static_cast<char*>(nullptr));
  _exit(127);
}

}  // namespace

int install_os_folder(char* out, size_t cap) {
  if (!out || cap == 0) return -1;
  out[0] = '\0';
  char home[PATH_MAX];
  if (env_utf8("HOME", home, sizeof home) != 0) return -1;
  int n = snprintf(out, cap, "%s/.local/bin", home);
  if (n < 0 || static_cast<size_t>(n) >= cap) {
    out[0] = '\0';
    return -1;
  }
  return 0;
}

const char* install_os_program_name() { return "ferrylink"; }

int install_os_same_path(const char* a, const char* b) {
  // Symbolic links (a linked home folder) must not make the installed copy look foreign.
  char ra[PATH_MAX], rb[PATH_MAX];
  if (realpath(a, ra) && realpath(b, rb)) return strcmp(ra, rb) == 0;
  return strcmp(a, b) == 0;
}

void install_os_make_folder(const char* folder) { fs_make_dirs(folder); }

int install_os_copy_program(const char* from, const char* to) {
  // Written beside the target and renamed over it: a running installed copy keeps its old
  // file, and a failed copy leaves no half program behind.
  std::string tmp = std::string(to) + ".tmp";
  int in = open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return -1;
  int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  bool ok = out >= 0 && copy_bytes(in, out);
  if (out >= 0) ok = (fchmod(out, 0755) == 0) && (close(out) == 0) && ok;
  close(in);
  if (ok && rename(tmp.c_str(), to) == 0) return 0;
  unlink(tmp.c_str());
  return -1;
}

int install_os_remove_dir(const char* dir) { return rmdir(dir) == 0 ? 0 : -1; }

int install_os_firewall_tool() { return FIREWALL_NONE; }

int install_os_remove_program(const char* program) {
  // A running program's file can go at once on Linux.
  return unlink(program) == 0 ? 0 : -1;
}

// Nothing is left: ~/.local/bin is shared with other programs and stays.
void install_os_finish_removal(const char*, const char*) {}

int install_os_stop_agent(int wait_ms) { return instance_stop_holder(kInstanceName, wait_ms); }

unsigned long run_hidden_and_wait(const char* command_line) {
  pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) exec_detached("/bin/sh", "sh", "-c", command_line);
  uint64_t deadline = monotonic_ms() + kCommandWaitMs;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? static_cast<unsigned long>(WEXITSTATUS(status)) : 1;
    if (done < 0 || monotonic_ms() >= deadline) return 1;  // a late command is left running
    sleep_ms(kCommandPollMs);
  }
}

void start_installed_copy(const char* path) {
  // Started through an intermediate child that exits at once, so the agent is nobody's
  // child to wait for.
  pid_t pid = fork();
  if (pid < 0) return;
  if (pid == 0) {
    if (fork() == 0) exec_detached(path, path, nullptr, nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

bool autostart_is_enabled() {
  std::string file = autostart_file();
  return !file.empty() && fs_exists(file.c_str());
}

void autostart_set(const char* program_path, bool enable) {
  std::string file = autostart_file();
  if (file.empty()) return;
  if (!enable) {
    fs_delete(file.c_str());
    return;
  }
  fs_make_dirs(file.substr(0, file.rfind('/')).c_str());
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=ferrylink\n"
      "Comment=Receives files from your phone over the local network\n"
      "Exec=" + exec_quoted(program_path) + "\n"
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n";
  fs_write_atomic(file.c_str(), entry.data(), entry.size());
}
