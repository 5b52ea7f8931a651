#include "support/scratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

static std::string g_root;

static void remove_root() {
  std::error_code ec;
  if (!g_root.empty()) fs::remove_all(g_root, ec);
}

const std::string& scratch_root() {
  if (g_root.empty()) {
    std::string tmpl = (fs::temp_directory_path() / "ferrylink-fuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    g_root = tmpl;
    std::atexit(remove_root);
  }
  return g_root;
}

void scratch_clear() {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(scratch_root(), ec)) fs::remove_all(e.path(), ec);
}

std::string scratch_write(const std::string& name, const void* data, size_t len) {
  std::string path = scratch_root() + "/" + name;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(static_cast<const char*>(data), std::streamsize(len));
  return path;
}

std::vector<unsigned char> scratch_read(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return {};  // a folder may carry any name, ".flpart" too
  std::ifstream f(path, std::ios::binary);
  if (!f) return {};
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> tree_paths(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec))
    out.push_back(it->path().string());
  return out;
}
