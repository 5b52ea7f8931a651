#pragma once
// Transfer progress for the person at the console: on a terminal a bar redrawn in place
// (bytes, MB/s, time left); otherwise a plain line at every tenth of the way.

#include <cstdint>
#include <cstdio>

struct ProgressView {
  FILE* out;
  bool terminal;
  uint64_t start_ms;    // first report
  uint64_t start_done;  // bytes already there at the first report (resumed)
  uint64_t last_draw_ms;
  int last_tenth;       // plain lines: the last tenth written
  bool drawn;           // a bar is on screen and needs a line end
  uint64_t max_rate;    // bytes per second the send may not exceed; 0 = no limit
};

void progress_init(ProgressView* v, FILE* out, bool terminal);
// SendProgress::report: done and total bytes of the whole send, the file being sent. With a
// max_rate it also holds the send back until it is no faster than that.
void progress_report(void* view, uint64_t done, uint64_t total, const char* name);
// Ends the bar's line when one is shown.
void progress_finish(ProgressView* v);

// Parses a rate such as "500000", "800K", "16M" or "1G" (decimal units) in bytes per second.
// False for anything else or zero.
bool parse_rate(const char* text, uint64_t* bytes_per_s);

// "1.5 MB" style size text (decimal units) into buf.
void format_size(uint64_t bytes, char* buf, size_t cap);
