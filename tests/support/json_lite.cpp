#include "support/json_lite.h"

#include <cstdlib>
#include <cstring>

#include "support/temp_dir.h"

namespace {
const JsonValue kNullValue;
const std::string kEmpty;
constexpr int kMaxDepth = 200;
}  // namespace

const std::string& JsonValue::as_string() const { return type_ == kString ? string_ : kEmpty; }

size_t JsonValue::size() const {
  if (type_ == kArray) return items_.size();
  if (type_ == kObject) return members_.size();
  return 0;
}

const JsonValue& JsonValue::operator[](size_t index) const {
  if (type_ != kArray || index >= items_.size()) return kNullValue;
  return items_[index];
}

const JsonValue& JsonValue::operator[](const char* key) const {
  if (type_ != kObject) return kNullValue;
  for (const auto& m : members_)
    if (m.first == key) return m.second;
  return kNullValue;
}

bool JsonValue::has(const char* key) const {
  if (type_ != kObject) return false;
  for (const auto& m : members_)
    if (m.first == key) return true;
  return false;
}

class JsonParser {
public:
  explicit JsonParser(const std::string& text) : s_(text) {}

  bool parse_document(JsonValue* out, std::string* error) {
    bool ok = parse_value(out, 0);
    if (ok) {
      skip_space();
      if (pos_ != s_.size()) ok = fail("trailing characters");
    }
    if (!ok && error) *error = "offset " + std::to_string(pos_) + ": " + what_;
    return ok;
  }

private:
  bool fail(const char* what) {
    what_ = what;
    return false;
  }

  void skip_space() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' ||
                                s_[pos_] == '\r'))
      pos_++;
  }

  bool literal(const char* word) {
    size_t n = strlen(word);
    if (s_.compare(pos_, n, word) != 0) return fail("unknown literal");
    pos_ += n;
    return true;
  }

  bool parse_value(JsonValue* v, int depth) {
    if (depth > kMaxDepth) return fail("nested too deeply");
    skip_space();
    if (pos_ >= s_.size()) return fail("unexpected end");
    char c = s_[pos_];
    if (c == '{') return parse_object(v, depth);
    if (c == '[') return parse_array(v, depth);
    if (c == '"') {
      v->type_ = JsonValue::kString;
      return parse_string(&v->string_);
    }
    if (c == 't' || c == 'f') {
      v->type_ = JsonValue::kBool;
      v->bool_ = c == 't';
      return literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') return literal("null");
    return parse_number(v);
  }

  bool parse_number(JsonValue* v) {
    size_t start = pos_;
    if (pos_ < s_.size() && s_[pos_] == '-') pos_++;
    size_t digits = pos_;
    while (pos_ < s_.size() && strchr("0123456789.eE+-", s_[pos_])) pos_++;
    if (pos_ == digits) return fail("expected a value");
    std::string text = s_.substr(start, pos_ - start);
    char* end = nullptr;
    v->number_ = strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return fail("malformed number");
    v->type_ = JsonValue::kNumber;
    return true;
  }

  static void append_utf8(std::string* out, uint32_t cp) {
    if (cp < 0x80) {
      out->push_back(char(cp));
    } else if (cp < 0x800) {
      out->push_back(char(0xc0 | (cp >> 6)));
      out->push_back(char(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
      out->push_back(char(0xe0 | (cp >> 12)));
      out->push_back(char(0x80 | ((cp >> 6) & 0x3f)));
      out->push_back(char(0x80 | (cp & 0x3f)));
    } else {
      out->push_back(char(0xf0 | (cp >> 18)));
      out->push_back(char(0x80 | ((cp >> 12) & 0x3f)));
      out->push_back(char(0x80 | ((cp >> 6) & 0x3f)));
      out->push_back(char(0x80 | (cp & 0x3f)));
    }
  }

  bool hex4(uint32_t* out) {
    if (pos_ + 4 > s_.size()) return fail("short \\u escape");
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) {
      char c = s_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= uint32_t(c - '0');
      else if (c >= 'a' && c <= 'f') v |= uint32_t(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= uint32_t(c - 'A' + 10);
      else return fail("bad \\u escape");
    }
    *out = v;
    return true;
  }

  bool parse_string(std::string* out) {
    pos_++;  // opening quote
    while (true) {
      if (pos_ >= s_.size()) return fail("unterminated string");
      char c = s_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return fail("control character in string");
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (pos_ >= s_.size()) return fail("unterminated escape");
      char e = s_[pos_++];
      switch (e) {
        case '"': out->push_back('"'); break;
        case '\\': out->push_back('\\'); break;
        case '/': out->push_back('/'); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          uint32_t cp;
          if (!hex4(&cp)) return false;
          if (cp >= 0xd800 && cp < 0xdc00 && s_.compare(pos_, 2, "\\u") == 0) {
            pos_ += 2;
            uint32_t low;
            if (!hex4(&low)) return false;
            if (low < 0xdc00 || low >= 0xe000) return fail("unpaired surrogate");
            cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
          }
          append_utf8(out, cp);
          break;
        }
        default: return fail("unknown escape");
      }
    }
  }

  bool parse_array(JsonValue* v, int depth) {
    v->type_ = JsonValue::kArray;
    pos_++;
    skip_space();
    if (pos_ < s_.size() && s_[pos_] == ']') {
      pos_++;
      return true;
    }
    while (true) {
      v->items_.emplace_back();
      if (!parse_value(&v->items_.back(), depth + 1)) return false;
      skip_space();
      if (pos_ >= s_.size()) return fail("unterminated array");
      char c = s_[pos_++];
      if (c == ']') return true;
      if (c != ',') return fail("expected , or ]");
    }
  }

  bool parse_object(JsonValue* v, int depth) {
    v->type_ = JsonValue::kObject;
    pos_++;
    skip_space();
    if (pos_ < s_.size() && s_[pos_] == '}') {
      pos_++;
      return true;
    }
    while (true) {
      skip_space();
      if (pos_ >= s_.size() || s_[pos_] != '"') return fail("expected a member name");
      std::string key;
      if (!parse_string(&key)) return false;
      skip_space();
      if (pos_ >= s_.size() || s_[pos_] != ':') return fail("expected :");
      pos_++;
      v->members_.emplace_back(std::move(key), JsonValue());
      if (!parse_value(&v->members_.back().second, depth + 1)) return false;
      skip_space();
      if (pos_ >= s_.size()) return fail("unterminated object");
      char c = s_[pos_++];
      if (c == '}') return true;
      if (c != ',') return fail("expected , or }");
    }
  }

  const std::string& s_;
  size_t pos_ = 0;
  const char* what_ = "";
};

bool json_parse(const std::string& text, JsonValue* out, std::string* error) {
  *out = JsonValue();
  JsonParser parser(text);
  return parser.parse_document(out, error);
}

bool json_load_file(const std::string& path, JsonValue* out, std::string* error) {
  std::string text = read_file(path);
  if (text.empty()) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  return json_parse(text, out, error);
}

bool hex_decode(const std::string& hex, std::vector<uint8_t>* out) {
  out->clear();
  if (hex.size() % 2 != 0) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out->reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) {
      out->clear();
      return false;
    }
    out->push_back(uint8_t(hi << 4 | lo));
  }
  return true;
}

std::string hex_encode(const uint8_t* data, size_t len) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(2 * len);
  for (size_t i = 0; i < len; i++) {
    s.push_back(kDigits[data[i] >> 4]);
    s.push_back(kDigits[data[i] & 15]);
  }
  return s;
}
