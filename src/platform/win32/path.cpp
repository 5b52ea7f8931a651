#include "platform/win32/path.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

namespace {

bool is_sep(char c) { return c == '\\' || c == '/'; }
bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

wchar_t* fs_convert_path(const char* utf8, int long_prefix) {
  if (!utf8) return nullptr;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (n <= 1) return nullptr;  // invalid text, or the empty path

  const wchar_t* prefix = L"";
  int skip = 0;  // leading source characters the prefix stands in for
  if (is_ascii_letter(utf8[0]) && utf8[1] == ':') {
    if (long_prefix && is_sep(utf8[2])) prefix = L"\\\\?\\";
  } else if (is_sep(utf8[0]) && is_sep(utf8[1]) && utf8[2] != '?' && long_prefix) {
    prefix = L"\\\\?\\UNC\\";
    skip = 2;  // \\server\share -> \\?\UNC\server\share
  }

  size_t plen = std::wcslen(prefix);
  size_t total = plen + static_cast<size_t>(n);  // n counts the terminator
  wchar_t* out = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * total));
  if (!out) return nullptr;
  std::wmemcpy(out, prefix, plen);
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out + plen, n) != n) {
    std::free(out);
    return nullptr;
  }
  if (skip) std::wmemmove(out + plen, out + plen + skip, static_cast<size_t>(n - skip));
  // The long-path form takes no '/', so every separator becomes '\'.
  for (wchar_t* p = out; *p; ++p)
    if (*p == L'/') *p = L'\\';
  return out;
}

size_t fs_root_length(const wchar_t* p) {
  if (!p) return 0;
  size_t len = std::wcslen(p);
  if (std::wcsncmp(p, L"\\\\?\\UNC\\", 8) == 0) {
    // Past the server and the share names, and the separator after them.
    const wchar_t* c = p + 8;
    for (int names = 0; names < 2 && *c; ++names) {
      while (*c && *c != L'\\') ++c;
      if (*c) ++c;
    }
    return static_cast<size_t>(c - p);
  }
  // Never past the end: "C:" and "\\?\C:" are shorter than their usual roots.
  if (std::wcsncmp(p, L"\\\\?\\", 4) == 0) return len < 7 ? len : 7;  // prefix, drive, colon, separator
  if (p[0] && p[1] == L':') return len < 3 ? len : 3;
  return 0;
}

int fs_is_fat_name(const wchar_t* fs_name) {
  if (!fs_name) return 0;
  return (_wcsicmp(fs_name, L"FAT32") == 0 || _wcsicmp(fs_name, L"FAT") == 0) ? 1 : 0;
}
