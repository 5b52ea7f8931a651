#include "support/testdata.h"

#include <cstdlib>
#include <filesystem>

std::string testdata_dir() {
  std::string dir = FL_TESTDATA_DIR;
  if (const char* env = std::getenv("FL_TESTDATA"); env && *env) dir = env;
#ifdef _WIN32
  // Under Wine the Linux file system is drive Z:.
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
  std::error_code ec;
  return std::filesystem::is_directory(dir, ec) ? dir : std::string();
}
