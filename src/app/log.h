#pragma once
// The agent's log: one stamped line per call, appended to log.txt in the data directory
// (opened and closed per line) and echoed to standard error with --console. Any thread may
// log; the log lock keeps each line whole. The log stays bounded while the agent runs: what
// peers cause is limited per address, and the file starts afresh at its size limit.

#include <cstdint>

// Formats the message (cut to 759 bytes) and writes "YYYY-MM-DD hh:mm:ss message\n" in
// local time (the whole line cut to 899 bytes).
void agent_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs a text as it is: a percent sign inside it stays a percent sign.
void agent_log_text(const char* text);
// The log slot of the session events; the context is ignored.
void session_log(void* ctx, const char* text);

// While a source is open on a thread, that thread's lines count against the budget of the
// remote address ip (host byte order), shared by every thread logging for that address: a
// burst of lines, then one a second (app/line_budget.h). Lines over it are left out; a line
// "log: N more lines caused by a.b.c.d were left out" follows once the budget has room again
// (written with the next line logged by anyone, or when the source ends). Lines of threads
// without a source are never left out. When a line would take log.txt past kLogSizeLimit,
// the file starts afresh with the line "log started afresh: ...".
void log_source_begin(uint32_t ip);
void log_source_end();

// Opens a source for the lifetime of a scope.
struct LogSourceScope {
  explicit LogSourceScope(uint32_t ip) { log_source_begin(ip); }
  ~LogSourceScope() { log_source_end(); }
  LogSourceScope(const LogSourceScope&) = delete;
  LogSourceScope& operator=(const LogSourceScope&) = delete;
};

struct LocalTime {
  int year, month, day, hour, minute, second;
};
// The whole log line for a message at a local time, into buf (cut to cap - 1 bytes).
void format_log_line(char* buf, unsigned cap, const LocalTime& t, const char* message);
