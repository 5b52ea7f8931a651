#include "app/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "app/agent_state.h"
#include "app/line_budget.h"
#include "platform/fs.h"
#include "platform/net.h"
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

// ---- one line out, with the log lock held ----

void echo_and_append(const AgentState* a, const char* line) {
  if (a->console) {
    fputs(line, stderr);
    fflush(stderr);
  }
  if (a->log_path[0]) append_to_file(a->log_path, line);
}

void write_stamped(const AgentState* a, const LocalTime& t, const char* message) {
  char line[kLineBytes];
  format_log_line(line, sizeof line, t, message);
  echo_and_append(a, line);
}

// A log that this line would take past its limit starts afresh, as at start-up, so that a
// long run keeps it as small as a start does.
void write_line(const AgentState* a, const LocalTime& t, const char* line) {
  uint64_t size = 0;
  if (a->log_path[0] && fs_stat(a->log_path, &size) == 0 &&
      size + strlen(line) > kLogSizeLimit) {
    fs_delete(a->log_path);
    char note[96];
    snprintf(note, sizeof note, "log started afresh: it had reached its limit of %llu bytes",
             static_cast<unsigned long long>(kLogSizeLimit));
    write_stamped(a, t, note);
  }
  echo_and_append(a, line);
}

// ---- lines caused by peers ----

// The connections of one remote address share a budget, so that a host cannot get a fresh
// one by reconnecting. Guarded by the log lock.
constexpr int kSourceSlots = 8;
struct SourceSlot {
  uint32_t ip;
  int in_use;
  uint64_t used_ms;  // when a line of it was last logged or refused
  LineBudget budget;
};
SourceSlot g_sources[kSourceSlots];

// The address the calling thread's lines count against, while log_source_begin holds.
thread_local uint32_t t_source_ip = 0;
thread_local bool t_has_source = false;

void write_summary(const AgentState* a, const LocalTime& t, SourceSlot* s) {
  char ip[16];
  ipv4_to_text(s->ip, ip);
  char note[96];
  snprintf(note, sizeof note, "log: %u more lines caused by %s were left out",
           unsigned(s->budget.dropped), ip);
  s->budget.dropped = 0;
  write_stamped(a, t, note);
}

// The slot of ip, taking the one used longest ago when ip has none (and saying first what
// that one left out).
SourceSlot* source_slot(const AgentState* a, const LocalTime& t, uint32_t ip, uint64_t now) {
  SourceSlot* oldest = &g_sources[0];
  for (SourceSlot& s : g_sources) {
    if (s.in_use && s.ip == ip) return &s;
    if (!s.in_use || (oldest->in_use && s.used_ms < oldest->used_ms)) oldest = &s;
  }
  if (oldest->in_use && oldest->budget.dropped) write_summary(a, t, oldest);
  *oldest = SourceSlot{ip, 1, now, line_budget_new(now)};
  return oldest;
}

// Says what was left out for every address whose budget has room for the summary again.
void write_due_summaries(const AgentState* a, const LocalTime& t, uint64_t now) {
  for (SourceSlot& s : g_sources)
    if (s.in_use && s.budget.dropped && line_budget_try(&s.budget, now)) write_summary(a, t, &s);
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

  const LocalTime t = local_now();
  char line[kLineBytes];
  format_log_line(line, sizeof line, t, message);

  AgentState* a = agent_state();
  LockGuard hold(a->log_lock);
  const uint64_t now = monotonic_ms();
  if (t_has_source) {
    SourceSlot* s = source_slot(a, t, t_source_ip, now);
    s->used_ms = now;
    if (!line_budget_take(&s->budget, now)) return;
    if (s->budget.dropped) write_summary(a, t, s);  // rides along with the line let through
  }
  write_due_summaries(a, t, now);
  write_line(a, t, line);
}

void log_source_begin(uint32_t ip) {
  t_source_ip = ip;
  t_has_source = true;
}

void log_source_end() {
  t_has_source = false;
  AgentState* a = agent_state();
  const LocalTime t = local_now();
  LockGuard hold(a->log_lock);
  write_due_summaries(a, t, monotonic_ms());
}

void agent_log_text(const char* text) { agent_log("%s", text); }

void session_log(void*, const char* text) { agent_log("%s", text); }
