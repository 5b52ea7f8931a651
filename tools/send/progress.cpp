#include "progress.h"

#include <cstdlib>
#include <cstring>

#include "platform/sync.h"

namespace {

constexpr uint64_t kRedrawMs = 100;
constexpr int kBarWidth = 24;

// Bytes per second since the first report; 0 until there is something to measure.
double rate(const ProgressView* v, uint64_t done, uint64_t now) {
  uint64_t ms = now - v->start_ms;
  if (ms == 0 || done <= v->start_done) return 0;
  return double(done - v->start_done) * 1000.0 / double(ms);
}

void format_eta(double bytes_per_s, uint64_t left, char* buf, size_t cap) {
  if (bytes_per_s <= 0) {
    snprintf(buf, cap, "--:--");
    return;
  }
  uint64_t s = uint64_t(double(left) / bytes_per_s + 0.5);
  if (s >= 3600)
    snprintf(buf, cap, "%u:%02u:%02u", unsigned(s / 3600), unsigned(s / 60 % 60), unsigned(s % 60));
  else
    snprintf(buf, cap, "%u:%02u", unsigned(s / 60), unsigned(s % 60));
}

void draw_bar(ProgressView* v, uint64_t done, uint64_t total, const char* name, uint64_t now) {
  const int percent = total ? int(done * 100 / total) : 100;
  char bar[kBarWidth + 1];
  int filled = total ? int(done * kBarWidth / total) : kBarWidth;
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = 0;
  char have[32], all[32], eta[16];
  format_size(done, have, sizeof have);
  format_size(total, all, sizeof all);
  double r = rate(v, done, now);
  format_eta(r, total - done, eta, sizeof eta);
  fprintf(v->out, "\r%-24.24s [%s] %3d%% %s / %s  %.1f MB/s  ETA %s \x1b[K", name ? name : "",
          bar, percent, have, all, r / 1e6, eta);
  fflush(v->out);
  v->drawn = true;
}

void write_line(ProgressView* v, uint64_t done, uint64_t total, uint64_t now) {
  char have[32], all[32];
  format_size(done, have, sizeof have);
  format_size(total, all, sizeof all);
  fprintf(v->out, "progress %d%% (%s of %s, %.1f MB/s)\n", total ? int(done * 100 / total) : 100,
          have, all, rate(v, done, now) / 1e6);
  fflush(v->out);
}

// Sleeps while the bytes sent since the first report are ahead of the allowed rate.
void hold_back(const ProgressView* v, uint64_t done, uint64_t now) {
  if (!v->max_rate || done <= v->start_done) return;
  uint64_t due_ms = (done - v->start_done) * 1000 / v->max_rate;
  if (due_ms > now - v->start_ms) sleep_ms(uint32_t(due_ms - (now - v->start_ms)));
}

}  // namespace

void progress_init(ProgressView* v, FILE* out, bool terminal) {
  memset(v, 0, sizeof *v);
  v->out = out;
  v->terminal = terminal;
  v->last_tenth = -1;
}

void progress_report(void* view, uint64_t done, uint64_t total, const char* name) {
  auto* v = static_cast<ProgressView*>(view);
  const uint64_t now = monotonic_ms();
  if (v->start_ms == 0) {
    v->start_ms = now;
    v->start_done = done;
  }
  if (v->terminal) {
    if (now - v->last_draw_ms >= kRedrawMs || done == total) {
      v->last_draw_ms = now;
      draw_bar(v, done, total, name, now);
    }
  } else {
    int tenth = total ? int(done * 10 / total) : 10;
    if (tenth != v->last_tenth) {
      v->last_tenth = tenth;
      write_line(v, done, total, now);
    }
  }
  hold_back(v, done, now);
}

bool parse_rate(const char* text, uint64_t* bytes_per_s) {
  char* end = nullptr;
  unsigned long long n = strtoull(text, &end, 10);
  if (end == text) return false;
  uint64_t unit = 1;
  if (*end == 'K' || *end == 'k') unit = 1000;
  else if (*end == 'M' || *end == 'm') unit = 1000 * 1000;
  else if (*end == 'G' || *end == 'g') unit = 1000 * 1000 * 1000;
  if (unit != 1) ++end;
  if (*end != 0 || n == 0) return false;
  *bytes_per_s = n * unit;
  return true;
}

void progress_finish(ProgressView* v) {
  if (v->drawn) fputc('\n', v->out);
  v->drawn = false;
}

void format_size(uint64_t bytes, char* buf, size_t cap) {
  static const char* const kUnits[] = {"bytes", "KB", "MB", "GB", "TB"};
  if (bytes < 1000) {
    snprintf(buf, cap, "%u bytes", unsigned(bytes));
    return;
  }
  double v = double(bytes);
  int u = 0;
  while (v >= 1000 && u < 4) {
    v /= 1000;
    ++u;
  }
  snprintf(buf, cap, "%.1f %s", v, kUnits[u]);
}
