#include "items.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/fs.h"

namespace {

namespace stdfs = std::filesystem;

stdfs::path from_utf8(const std::string& s) { return stdfs::path(std::u8string(s.begin(), s.end())); }

std::string to_utf8(const stdfs::path& p) {
  std::u8string s = p.generic_u8string();
  return std::string(s.begin(), s.end());
}

// Adds the file when it can be looked at: its size and time come from one look, taken as
// the file is listed.
bool add_file(ItemList* list, const stdfs::path& p, const std::string& name) {
  const std::string path = to_utf8(p);
  SendItem it{};
  if (fs_stat(path.c_str(), &it.size, &it.mtime_ms) != 0) return false;
  list->local_paths.push_back(path);
  list->names.push_back(name);
  list->items.push_back(it);
  return true;
}

// The name a folder is offered under: its own last component ("." and "dir/" included).
std::string folder_name(const stdfs::path& p) {
  std::error_code ec;
  stdfs::path abs = stdfs::absolute(p, ec).lexically_normal();
  if (!abs.has_filename()) abs = abs.parent_path();
  return to_utf8(abs.filename());
}

bool add_folder(ItemList* list, const stdfs::path& dir, std::string* error) {
  const std::string base = folder_name(dir);
  std::vector<std::pair<std::string, stdfs::path>> found;
  std::error_code ec;
  for (stdfs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fec;
    if (!it->is_regular_file(fec)) continue;
    std::string rel = to_utf8(it->path().lexically_relative(dir));
    found.emplace_back(base.empty() ? rel : base + "/" + rel, it->path());
  }
  if (ec) {
    *error = "cannot list " + to_utf8(dir) + ": " + ec.message();
    return false;
  }
  std::sort(found.begin(), found.end());
  for (const auto& [name, path] : found) add_file(list, path, name);
  return true;
}

}  // namespace

bool collect_items(const std::vector<std::string>& paths, ItemList* list, std::string* error) {
  for (const std::string& arg : paths) {
    const stdfs::path p = from_utf8(arg);
    std::error_code ec;
    auto st = stdfs::status(p, ec);
    if (ec || !stdfs::exists(st)) {
      *error = "no such file or folder: " + arg;
      return false;
    }
    if (stdfs::is_directory(st)) {
      if (!add_folder(list, p, error)) return false;
    } else if (!stdfs::is_regular_file(st) || !add_file(list, p, to_utf8(p.filename()))) {
      *error = "cannot read " + arg;  // a pipe or a device has no size to offer
      return false;
    }
  }
  // The vectors are complete: the items may point into them now.
  for (size_t i = 0; i < list->items.size(); ++i) {
    list->items[i].local_path = list->local_paths[i].c_str();
    list->items[i].name = list->names[i].c_str();
  }
  return true;
}
