#include "app/settings.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"

namespace {

constexpr size_t kMaxFileBytes = 16384;
constexpr size_t kSaveBufferBytes = 2400;

void set_defaults(AgentSettings* s) {
  memset(s, 0, sizeof *s);
  s->auto_accept = 1;
  s->lang = -1;
}

void copy_cut(char* dst, size_t cap, const char* src, size_t len) {
  if (len > cap - 1) len = cap - 1;
  memcpy(dst, src, len);
  dst[len] = '\0';
}

// The number at the start of text as atoi reads it (leading white space, a sign, digits up
// to the first other character; none gives 0), held at the int range instead of atoi's
// undefined overflow: "lang=4294967296" must not come out as language 0, nor a non-zero flag
// as 0.
int parse_int(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = *text == '-';
  if (*text == '+' || *text == '-') ++text;
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > 2147483648LL) value = 2147483648LL;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

// One "key=value" line, its line end already removed. Keys match exactly: no trimming.
void apply_line(AgentSettings* s, char* line, size_t len) {
  if (len == 0 || line[0] == '#' || line[0] == ';' || line[0] == '[') return;
  char* eq = static_cast<char*>(memchr(line, '=', len));
  if (!eq) return;
  *eq = '\0';
  const char* key = line;
  const char* value = eq + 1;
  size_t value_len = len - static_cast<size_t>(value - line);
  // A text value that still holds a carriage return could never be saved again (a line break
  // would split it into lines of its own), so every later save would fail: such a line sets
  // nothing, like any other line that does not fit.
  bool text_fits = memchr(value, '\r', value_len) == nullptr;
  if (strcmp(key, "device_name") == 0) {
    if (!text_fits) return;
    copy_cut(s->device_name, sizeof s->device_name, value, value_len);
  } else if (strcmp(key, "inbox_dir") == 0) {
    if (!text_fits) return;
    copy_cut(s->inbox_dir, sizeof s->inbox_dir, value, value_len);
  } else if (strcmp(key, "auto_accept") == 0) {
    s->auto_accept = parse_int(value) != 0;
  } else if (strcmp(key, "first_run_done") == 0) {
    s->first_run_done = parse_int(value) != 0;
  } else if (strcmp(key, "intro_shown") == 0) {
    s->intro_shown = parse_int(value) != 0;
  } else if (strcmp(key, "lang") == 0) {
    s->lang = parse_int(value);
  }
}

// A line break would split a value into lines of its own, which the next load reads as keys.
bool has_line_break(const char* text) { return strpbrk(text, "\r\n") != nullptr; }

}  // namespace

int settings_load(const char* path, AgentSettings* s) {
  set_defaults(s);
  size_t len = 0;
  char* text = fs_read_whole_file(path, kMaxFileBytes, &len);
  if (!text) return -1;
  // The walk ends at the end of the text or at a zero byte inside it.
  len = strnlen(text, len);
  size_t pos = 0;
  while (pos < len) {
    char* line = text + pos;
    char* lf = static_cast<char*>(memchr(line, '\n', len - pos));
    size_t line_len = lf ? static_cast<size_t>(lf - line) : len - pos;
    pos += line_len + (lf ? 1 : 0);
    if (line_len > 0 && line[line_len - 1] == '\r') --line_len;
    line[line_len] = '\0';
    apply_line(s, line, line_len);
  }
  free(text);
  return 0;
}

int settings_save(const char* path, const AgentSettings* s) {
  if (has_line_break(s->device_name) || has_line_break(s->inbox_dir)) return -1;
  char buf[kSaveBufferBytes];
  int n = snprintf(buf, sizeof buf,
                   "# ferrylink settings\ndevice_name=%s\ninbox_dir=%s\nauto_accept=%d\nlang=%d\n"
                   "first_run_done=%d\nintro_shown=%d\n",
                   s->device_name, s->inbox_dir, s->auto_accept, s->lang, s->first_run_done,
                   s->intro_shown);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return -1;
  return fs_write_atomic_private(path, buf, static_cast<size_t>(n));
}
