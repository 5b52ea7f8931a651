#include "ui/format.h"

#include <climits>
#include <cstdio>

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;
constexpr uint64_t kGiB = 1024 * kMiB;

// part * scale / total without the 64-bit product wrapping for counts beyond 2^64 / scale;
// total is not 0.
uint64_t scaled_share(uint64_t part, unsigned scale, uint64_t total) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(part) * scale / total);
}

}  // namespace

void format_bytes(uint64_t n, char* out, size_t cap) {
  if (!out || cap == 0) return;
  double v = static_cast<double>(n);
  if (n < kKiB)
    std::snprintf(out, cap, "%u B", static_cast<unsigned>(n));
  else if (n < kMiB)
    std::snprintf(out, cap, "%.1f KB", v / static_cast<double>(kKiB));
  else if (n < kGiB)
    std::snprintf(out, cap, "%.1f MB", v / static_cast<double>(kMiB));
  else
    std::snprintf(out, cap, "%.2f GB", v / static_cast<double>(kGiB));
}

int progress_percent(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  uint64_t percent = scaled_share(done, 100, total);
  return percent > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(percent);
}

int progress_permille(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  uint64_t shown = done > total ? total : done;
  return static_cast<int>(scaled_share(shown, 1000, total));
}

void progress_detail_text(const char* path, uint64_t done, uint64_t total, char* out,
                          size_t cap) {
  if (!out || cap == 0) return;
  if (!path) path = "";
  uint64_t shown = done > total ? total : done;
  char shown_text[FORMAT_BYTES_CAP], total_text[FORMAT_BYTES_CAP];
  format_bytes(shown, shown_text, sizeof shown_text);
  format_bytes(total, total_text, sizeof total_text);
  std::snprintf(out, cap, "%s%s%s / %s (%d%%)", path, path[0] ? "  " : "", shown_text,
                total_text, progress_permille(done, total) / 10);
}
