#include "platform/locale_id.h"

#include <cstring>

namespace {

struct LocaleRow {
  const char* prefix;  // language, or language_REGION; matched before any '.' or '@'
  uint16_t id;
};

// Longer prefixes first so that a region beats its bare language.
const LocaleRow kRows[] = {
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404}, {"zh_SG", 0x1004},
    {"zh_CN", 0x0804}, {"pt_PT", 0x0816}, {"ja", 0x0411},    {"zh", 0x0804},
    {"ko", 0x0412},    {"fr", 0x040C},    {"ru", 0x0419},    {"es", 0x0C0A},
    {"de", 0x0407},    {"pt", 0x0416},
};

// True when the locale's language(_REGION) part equals prefix: the next character after
// the prefix must end the language ('\0', '.', '@') or, for a bare language, start a region.
bool matches(const char* locale, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (std::strncmp(locale, prefix, n) != 0) return false;
  char next = locale[n];
  if (next == '\0' || next == '.' || next == '@') return true;
  bool bare_language = std::strchr(prefix, '_') == nullptr;
  return bare_language && (next == '_' || next == '-');
}

}  // namespace

uint16_t language_id_from_locale(const char* locale) {
  if (!locale || !*locale) return 0x0409;
  for (const LocaleRow& row : kRows)
    if (matches(locale, row.prefix)) return row.id;
  return 0x0409;
}
