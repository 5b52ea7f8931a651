#pragma once
// Where the agent keeps config.ini, log.txt, identity.key and trust.txt.
#include <cstddef>

// The data directory: the override when given, else "<application data>/ferrylink" with the
// application-data folder taken from APPDATA (when set and shorter than 260 UTF-16 units)
// or from the system's known folder. Cut to cap - 1 bytes.
void settle_data_dir(const char* override_dir, char* out, size_t cap);

// Creates the data directory (only its owner may enter a directory it creates) and takes
// the rights of other users from an existing one and from the private files in it: the
// identity key, the trusted devices and the settings. Logs each one it had to tighten, and
// each one it could not.
void secure_data_dir(const char* dir);
