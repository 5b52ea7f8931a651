#pragma once
// A private scratch folder for the fuzz targets that work through files: made once per
// process under the system's temporary folder, emptied between runs, removed at exit.

#include <string>
#include <vector>

// The folder (created on first use; the process ends if it cannot be made).
const std::string& scratch_root();
// Removes everything inside the scratch folder, keeping the folder itself.
void scratch_clear();
// Writes bytes to a file below the scratch folder (created or truncated); returns its path.
std::string scratch_write(const std::string& name, const void* data, size_t len);
// The whole file, or an empty vector when it is no regular file or cannot be read.
std::vector<unsigned char> scratch_read(const std::string& path);
// Every path below dir (files, folders, links), without following links.
std::vector<std::string> tree_paths(const std::string& dir);
