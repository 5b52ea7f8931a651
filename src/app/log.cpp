#include "app/log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "app/agent_state.h"
#include "platform/sync.h"

namespace {

constexpr unsigned kMessageBytes = 760;
constexpr unsigned kLineBytes = 900;

LocalTime local_now() {
  // localtime() shares one result buffer between threads; copy it out under a mutex.
  static std::mutex guard;
  std::time_t now = std::time(nullptr);
  std::lock_guard<std::mutex> hold(guard);
  const std::tm* tm = std::localtime(&now);
  if (!tm) return LocalTime{1970, 1, 1, 0, 0, 0};
  return LocalTime{tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday,
                   tm->tm_hour,        tm->tm_min,     tm->tm_sec};
}

void append_to_file(const char* path, const char* line) {
  std::u8string u8(reinterpret_cast<const char8_t*>(path));
  std::ofstream out(std::filesystem::path(u8), std::ios::binary | std::ios::app);
  if (out) out << line;  // a file that cannot be opened loses the line; the next one retries
}

}  // namespace

void format_log_line(char* buf, unsigned cap, const LocalTime& t, const char* message) {
  snprintf(buf, cap, "%04d-%02d-%02d %02d:%02d:%02d %s\n", t.year, t.month, t.day, t.hour,
           t.minute, t.second, message);
}

void agent_log(const char* format, ...) {
  char message[kMessageBytes];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);

  char line[kLineBytes];
  format_log_line(line, sizeof line, local_now(), message);

  AgentState* a = agent_state();
  LockGuard hold(a->log_lock);
  if (a->console) {
    fputs(line, stderr);
    fflush(stderr);
  }
  if (a->log_path[0]) append_to_file(a->log_path, line);
}

void agent_log_text(const char* text) { agent_log("%s", text); }

void session_log(void*, const char* text) { agent_log("%s", text); }
