#include "app/data_dir.h"

#include <cstdio>
#include <cstring>

#include "platform/fs.h"
#include "platform/system.h"

namespace {

// Number of UTF-16 units the UTF-8 text needs (without a terminator): APPDATA counts only
// while it fits the platform's 260-unit buffer.
size_t utf16_units(const char* utf8) {
  size_t units = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8); *p; ++p) {
    if ((*p & 0xC0) == 0x80) continue;  // continuation bytes add nothing
    units += (*p >= 0xF0) ? 2 : 1;      // four-byte sequences need a surrogate pair
  }
  return units;
}

}  // namespace

void settle_data_dir(const char* override_dir, char* out, size_t cap) {
  if (override_dir && override_dir[0]) {
    snprintf(out, cap, "%s", override_dir);
    return;
  }
  char base[780];
  if (env_utf8("APPDATA", base, sizeof base) != 0 || utf16_units(base) >= 260) {
    known_folder_utf8(FOLDER_APPDATA, base, sizeof base);
  }
  snprintf(out, cap, "%s%cferrylink", base, kPathSep);
}
