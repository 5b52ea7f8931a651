#pragma once
// Maps a POSIX locale name ("ja_JP.UTF-8", "pt_PT", "zh_HK@stroke") to the Windows language
// id of the same language and region, so that the agent's language choice is made by one
// rule on both builds.
#include <cstdint>

// 0x0409 (English, United States) for null, empty, "C", "POSIX" and unknown languages.
uint16_t language_id_from_locale(const char* locale);
