#include "app/data_dir.h"

#include <cstdio>
#include <cstring>

#include "app/log.h"
#include "platform/fs.h"
#include "platform/system.h"

namespace {

// The files only this user may read: the private key above all, and who is trusted.
const char* const kPrivateFiles[] = {"identity.key", "trust.txt", "config.ini"};

void restrict_logged(const char* path) {
  int rc = fs_restrict_to_owner(path);
  if (rc == 1) agent_log("%s was open to other users; now only its owner may use it", path);
  if (rc < 0) agent_log("%s is open to other users and could not be made private", path);
}

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

void secure_data_dir(const char* dir) {
  fs_make_private_dirs(dir);
  restrict_logged(dir);
  for (const char* name : kPrivateFiles) {
    char path[800];
    snprintf(path, sizeof path, "%s%c%s", dir, kPathSep, name);
    restrict_logged(path);
  }
}
