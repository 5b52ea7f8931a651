#pragma once
// Where the agent keeps config.ini, log.txt, identity.key and trust.txt.
#include <cstddef>

// The data directory: the override when given, else "<application data>/ferrylink" with the
// application-data folder taken from APPDATA (when set and shorter than 260 UTF-16 units)
// or from the system's known folder. Cut to cap - 1 bytes.
void settle_data_dir(const char* override_dir, char* out, size_t cap);
