#pragma once
#include <string>

// A fresh, empty folder under the system's temporary folder, removed with everything in it
// when the object goes away. Paths use '/' on both builds.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() joined with a relative name.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

// Writes bytes to a file (created or truncated); returns false when it cannot.
bool write_file(const std::string& path, const std::string& bytes);
// The whole content of a file, or "" when it cannot be read.
std::string read_file(const std::string& path);
