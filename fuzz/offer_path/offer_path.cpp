// The names a phone offers, turned into path components below the inbox. Whatever the name,
// each component must be usable as one file or folder name on every system we store to: no
// separator, colon or other reserved character, no control byte, not "." or "..", no
// trailing space or dot (Windows would drop them and reach another name), no device name,
// at most 200 characters; and joined below the inbox it must stay below the inbox.
//
// Input: first byte even: the rest is an offered name for split_offer_path (cut at a NUL,
// as the session copies it); odd: one component for sanitize_component with the capacity of
// the second byte (0 meaning the session's 808).

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "recv/file_store.h"
#include "support/check.h"
#include "support/script.h"

namespace {

bool is_reserved(const std::string& c) {
  size_t i = c.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  std::string stem = c.substr(i, c.find('.', i) - i);
  if (stem.size() >= 15) return false;
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& ch : stem)
    if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

size_t characters(const std::string& c) {
  size_t n = 0;
  for (size_t i = 0; i < c.size(); n++) {
    unsigned char b = static_cast<unsigned char>(c[i]);
    size_t len = 1;
    if ((b & 0xE0) == 0xC0) len = 2;
    else if ((b & 0xF0) == 0xE0) len = 3;
    else if ((b & 0xF8) == 0xF0) len = 4;
    for (size_t k = 1; k < len; k++)
      if (i + k >= c.size() || (static_cast<unsigned char>(c[i + k]) & 0xC0) != 0x80) len = 1;
    i += len;
  }
  return n;
}

void check_component(const char* text, size_t cap) {
  size_t len = strnlen(text, cap);
  FUZZ_CHECK(len > 0 && len < cap);
  std::string c(text, len);
  FUZZ_CHECK(c != "." && c != "..");
  for (unsigned char b : c) {
    FUZZ_CHECK(b >= 0x20 && b != 0x7F);
    FUZZ_CHECK(std::strchr("<>:\"/\\|?*", b) == nullptr);
  }
  FUZZ_CHECK(c.back() != ' ' && c.back() != '.');
  FUZZ_CHECK(!is_reserved(c));
  FUZZ_CHECK(characters(c) <= size_t(kComponentMaxChars));
}

void check_split(const std::string& name) {
  static OfferPath path;  // 52 KB: kept off the stack
  if (split_offer_path(name.c_str(), &path) != 0) return;
  FUZZ_CHECK(path.count >= 1 && path.count <= kMaxComponents);
  // Every piece between slashes became exactly one component.
  FUZZ_CHECK(size_t(path.count) == size_t(std::count(name.begin(), name.end(), '/')) + 1);
  std::string joined = "/inbox";
  for (int i = 0; i < path.count; i++) {
    check_component(path.parts[i], kComponentCap);
    joined += "/";
    joined += path.parts[i];
  }
  std::string normal = std::filesystem::path(joined).lexically_normal().string();
  FUZZ_CHECK(normal.compare(0, 7, "/inbox/") == 0 && normal.size() > 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptReader in(data, size);
  if (in.u8() % 2 == 0) {
    std::vector<uint8_t> raw = in.rest();
    std::string name(raw.begin(), raw.end());
    check_split(name.substr(0, name.find('\0')));
    return 0;
  }
  size_t cap = in.u8();
  if (cap == 0) cap = kComponentCap;
  std::vector<uint8_t> raw = in.rest();
  std::string component(raw.begin(), raw.end());
  component = component.substr(0, component.find('\0'));
  std::vector<char> out(cap, '\x5a');
  if (sanitize_component(component.c_str(), out.data(), cap) == 0) check_component(out.data(), cap);
  return 0;
}
