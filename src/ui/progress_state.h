#pragma once
// Where the current transfer stands, handed from the receive sessions (worker threads) to
// the window thread that draws the progress window. Every access holds the UI state lock;
// worker threads write a report and, when it is worth a redraw, ask the window thread to
// show it; the window thread copies it out and never blocks a worker for longer than a copy.
#include <cstdint>

struct Lock;

// A redraw is skipped while the percentage stands still and reports come closer than this.
constexpr uint32_t kProgressRepostMs = 250;
// The progress window goes away when no report has come for longer than this.
constexpr uint32_t kProgressIdleHideMs = 10000;

struct ProgressState {
  char peer_name[64];        // sender of the last report; empty when it named none
  char file_path[260];       // offered path of the file concerned; may be empty
  uint64_t done;             // bytes received so far in the offer
  uint64_t total;            // total bytes of the offer
  int last_percent;          // last percentage posted; -1 at start and after hiding
  uint32_t last_report_ms;   // 32-bit tick count of the last report
};

// The process-wide state (last_percent starts at -1).
ProgressState* progress_state();

// Stores one report (names cut to their fields, null as empty) at tick `now`. Returns 1
// when the window thread should redraw: the percentage changed since the last redraw, or
// more than kProgressRepostMs passed since the previous report (modulo 2^32). A report
// that returns 0 still moves the report time, so a steady stream of unchanged percentages
// stays quiet.
int progress_state_report(ProgressState* s, Lock* lock, const char* peer_name,
                          const char* file_path, uint64_t done, uint64_t total, int percent,
                          uint32_t now);

// What the progress window shows, copied out under the lock.
struct ProgressSnapshot {
  char peer_name[64];
  char file_path[260];
  uint64_t done;
  uint64_t total;
};
void progress_state_snapshot(ProgressState* s, Lock* lock, ProgressSnapshot* out);

// The window was hidden: the next report redraws whatever its percentage.
void progress_state_hidden(ProgressState* s, Lock* lock);

// 1 when more than kProgressIdleHideMs passed between the last report and `now`, counted
// modulo 2^32 so the tick counter's wrap after 49.7 days does not matter.
int progress_state_idle(ProgressState* s, Lock* lock, uint32_t now);
