#pragma once
// The agent's log: one stamped line per call, appended to log.txt in the data directory
// (opened and closed per line) and echoed to standard error with --console. Any thread may
// log; the log lock keeps each line whole.

// Formats the message (cut to 759 bytes) and writes "YYYY-MM-DD hh:mm:ss message\n" in
// local time (the whole line cut to 899 bytes).
void agent_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs a text as it is: a percent sign inside it stays a percent sign.
void agent_log_text(const char* text);
// The log slot of the session events; the context is ignored.
void session_log(void* ctx, const char* text);

struct LocalTime {
  int year, month, day, hour, minute, second;
};
// The whole log line for a message at a local time, into buf (cut to cap - 1 bytes).
void format_log_line(char* buf, unsigned cap, const LocalTime& t, const char* message);
