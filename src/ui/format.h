#pragma once
// Text and figures of the desktop that do not depend on the desktop itself: byte counts
// for the offer prompt and the progress window, and the progress window's figures.
// All output is UTF-8, cut to its buffer and always terminated (snprintf semantics).
#include <cstddef>
#include <cstdint>

// Buffer size that always holds a format_bytes text.
enum : size_t { FORMAT_BYTES_CAP = 32 };

// A byte count for people: "%u B" below 1 KiB, then "%.1f KB", "%.1f MB" and from 1 GiB on
// "%.2f GB" of the count divided (in floating point) by 1024, 1024^2 or 1024^3. printf's
// rounding applies, so 1048575 reads "1024.0 KB". An empty text when cap is 0 or out null.
void format_bytes(uint64_t n, char* out, size_t cap);

// Percentage of a transfer for the tooltip: done * 100 / total, truncated, with no
// intermediate overflow; 0 when total is 0. More than 100 when done exceeds total; capped
// at INT_MAX so that a wild report cannot wrap into a negative figure.
int progress_percent(uint64_t done, uint64_t total);

// Position of the progress bar (range 0..1000): done, held at total, times 1000 / total,
// truncated, with no intermediate overflow; 0 when total is 0.
int progress_permille(uint64_t done, uint64_t total);

// The progress window's detail line: the file path, two spaces when there is a path, then
// "<done> / <total> (<percent>%)" with both counts through format_bytes, done held at total
// and the percent being progress_permille / 10. E.g. "photos/a.jpg  1.5 MB / 3.0 MB (50%)".
// A null path counts as empty.
void progress_detail_text(const char* path, uint64_t done, uint64_t total, char* out,
                          size_t cap);

// Length of a UTF-8 text in UTF-16 units, the measure of the Windows text fields: a
// four-byte sequence counts two, any other character one; a byte that starts no valid
// sequence counts one on its own. A null text is 0.
size_t utf16_length(const char* text);

// Copies text into out (cap bytes, always terminated), shortened in the middle when it is
// longer than max_units UTF-16 units or does not fit cap: its start, "…" and its end, at
// most max_units units in all. The end keeps the extension (from the last dot of the last
// path component, when that is 1 to 16 units long and the dot is not the component's first
// character) as long as the start keeps at least one character. Cuts fall only between
// whole characters: a code point with the combining marks, variation selectors and joined
// code points that follow it. Returns the length of the result in UTF-16 units. A null
// text counts as empty; with cap 0 or out null nothing is written.
size_t shorten_middle(const char* text, size_t max_units, char* out, size_t cap);
