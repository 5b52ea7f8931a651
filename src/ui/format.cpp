#include "ui/format.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;
constexpr uint64_t kGiB = 1024 * kMiB;

// part * scale / total without the 64-bit product wrapping for counts beyond 2^64 / scale;
// total is not 0.
uint64_t scaled_share(uint64_t part, unsigned scale, uint64_t total) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(part) * scale / total);
}

// One UTF-8 sequence: its length in bytes, its code point (the byte itself when it starts no
// valid sequence) and its UTF-16 units.
struct Sequence {
  size_t bytes;
  uint32_t code;
  size_t units;
};

Sequence next_sequence(const unsigned char* p) {
  unsigned char b = p[0];
  size_t n = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3
           : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
  if (n == 0) return {1, b, 1};
  uint32_t code = n == 1 ? b : b & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return {1, b, 1};  // also stops at the terminator
    code = (code << 6) | (p[i] & 0x3F);
  }
  return {n, code, n == 4 ? 2u : 1u};
}

// Code points that belong to the character before them.
bool extends_previous(uint32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
         (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) ||
         (c >= 0xFE20 && c <= 0xFE2F) || (c >= 0x1F3FB && c <= 0x1F3FF) ||
         (c >= 0xE0100 && c <= 0xE01EF) || c == 0x200D;
}

// A character as the cuts see it: where it starts and how wide it is.
struct Character {
  size_t offset;
  size_t bytes;
  size_t units;
};

std::vector<Character> characters_of(const char* text) {
  std::vector<Character> out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  bool joined = false;  // the previous code point was a joiner: this one goes with it
  for (size_t at = 0; p[at];) {
    Sequence s = next_sequence(p + at);
    if (!out.empty() && (joined || extends_previous(s.code))) {
      out.back().bytes += s.bytes;
      out.back().units += s.units;
    } else {
      out.push_back({at, s.bytes, s.units});
    }
    joined = s.code == 0x200D;
    at += s.bytes;
  }
  return out;
}

// Units of the extension of the name's last path component, or 0 when it has none worth
// keeping.
size_t extension_units(const char* text) {
  const char* name = text;
  for (const char* p = text; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  const char* dot = std::strrchr(name, '.');
  if (!dot || dot == name) return 0;
  size_t units = utf16_length(dot);
  return units <= 16 ? units : 0;
}

constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026, one unit
constexpr size_t kEllipsisBytes = sizeof kEllipsis - 1;

// The start and the end of the text within max_units and cap bytes; false when the
// result would not fit cap.
bool write_shortened(const char* text, const std::vector<Character>& chars, size_t ext,
                     size_t max_units, char* out, size_t cap, size_t* units) {
  if (max_units == 0) {
    out[0] = '\0';
    *units = 0;
    return true;
  }
  size_t budget = max_units - 1;
  size_t tail_budget = std::max(ext, budget / 3);
  if (budget >= 2) tail_budget = std::min(tail_budget, budget - 1);
  else tail_budget = 0;
  size_t tail_units = 0, tail_bytes = 0, first_tail = chars.size();
  while (first_tail > 0 && tail_units + chars[first_tail - 1].units <= tail_budget) {
    --first_tail;
    tail_units += chars[first_tail].units;
    tail_bytes += chars[first_tail].bytes;
  }
  size_t head_units = 0, head_bytes = 0;
  for (size_t i = 0; i < first_tail && head_units + tail_units + chars[i].units <= budget; ++i) {
    head_units += chars[i].units;
    head_bytes += chars[i].bytes;
  }
  if (head_bytes + kEllipsisBytes + tail_bytes + 1 > cap) return false;
  std::memcpy(out, text, head_bytes);
  std::memcpy(out + head_bytes, kEllipsis, kEllipsisBytes);
  std::memcpy(out + head_bytes + kEllipsisBytes, text + (first_tail < chars.size() ? chars[first_tail].offset : 0), tail_bytes);
  out[head_bytes + kEllipsisBytes + tail_bytes] = '\0';
  *units = head_units + 1 + tail_units;
  return true;
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

size_t utf16_length(const char* text) {
  if (!text) return 0;
  size_t units = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (size_t at = 0; p[at];) {
    Sequence s = next_sequence(p + at);
    units += s.units;
    at += s.bytes;
  }
  return units;
}

size_t shorten_middle(const char* text, size_t max_units, char* out, size_t cap) {
  if (!out || cap == 0) return 0;
  if (!text) text = "";
  size_t length = std::strlen(text), units = utf16_length(text);
  if (units <= max_units && length < cap) {
    std::memcpy(out, text, length + 1);
    return units;
  }
  std::vector<Character> chars = characters_of(text);
  size_t ext = extension_units(text);
  // Fewer units until the bytes fit too; 0 units always fits.
  for (size_t m = std::min(max_units, units); ; --m) {
    size_t written = 0;
    if (write_shortened(text, chars, ext, m, out, cap, &written)) return written;
  }
}
