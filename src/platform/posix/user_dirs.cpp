#include "platform/posix/user_dirs.h"

#include <cstring>

namespace {

// The unquoted value of a line KEY="value", or false when the line is something else.
bool quoted_value(const std::string& line, const char* key, std::string* value) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] == '#') return false;
  size_t klen = std::strlen(key);
  if (line.compare(i, klen, key) != 0) return false;
  i += klen;
  if (i >= line.size() || line[i] != '=') return false;
  ++i;
  if (i >= line.size() || line[i] != '"') return false;
  std::string v;
  for (++i; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *value = v;
      return true;
    }
    if (c == '\\' && i + 1 < line.size()) c = line[++i];  // shell escape: take the next byte
    v.push_back(c);
  }
  return false;  // no closing quote
}

}  // namespace

std::string user_dir_from_text(const std::string& text, const char* key, const std::string& home) {
  std::string result;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string value;
    if (quoted_value(text.substr(start, end - start), key, &value)) {
      if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
        if (!home.empty()) result = home + value.substr(5);
      } else if (!value.empty() && value[0] == '/') {
        result = value;
      }
    }
    start = end + 1;
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}
