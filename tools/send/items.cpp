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

void push_item(ItemList* list, std::string path, std::string name, uint64_t size,
               uint64_t mtime_ms) {
  list->local_paths.push_back(std::move(path));
  list->names.push_back(std::move(name));
  SendItem it{};
  it.size = size;
  it.mtime_ms = mtime_ms;
  list->items.push_back(it);
}

// Adds the file when it can be looked at: its size and time come from one look, taken as
// the file is listed.
bool add_file(ItemList* list, const stdfs::path& p, const std::string& name) {
  const std::string path = to_utf8(p);
  uint64_t size, mtime_ms;
  if (fs_stat(path.c_str(), &size, &mtime_ms) != 0) return false;
  push_item(list, path, name, size, mtime_ms);
  return true;
}

// The name a folder is offered under: its own last component ("." and "dir/" included).
std::string folder_name(const stdfs::path& p) {
  std::error_code ec;
  stdfs::path abs = stdfs::absolute(p, ec).lexically_normal();
  if (!abs.has_filename()) abs = abs.parent_path();
  return to_utf8(abs.filename());
}

// A file found below a folder: its offered name, its path and what the listing said of it.
struct Found {
  std::string name, path;
  uint64_t size, mtime_ms;
  bool operator<(const Found& o) const { return name < o.name; }
};

bool is_separator(char c) { return c == '/' || c == '\\'; }

// "folder/name", with no second separator after a folder that ends in one ("/", "C:\\").
std::string join(const std::string& folder, const std::string& name) {
  return !folder.empty() && is_separator(folder.back()) ? folder + name : folder + "/" + name;
}

struct Walk {
  std::string folder;  // being listed now
  std::string prefix;  // its offered name, "" or ending in "/"
  std::vector<Found>* found;
  std::vector<std::string> subfolders;
};

void take_entry(void* ctx, const FsFolderEntry& e) {
  Walk* w = static_cast<Walk*>(ctx);
  if (e.is_folder) w->subfolders.push_back(e.name);
  if (e.is_file)
    w->found->push_back({w->prefix + e.name, join(w->folder, e.name), e.size, e.mtime_ms});
}

// Every file below folder (links to folders are not followed), offered under prefix and its
// path from there. False when a folder on the way cannot be listed.
bool walk(const std::string& folder, const std::string& prefix, std::vector<Found>* found) {
  Walk w{folder, prefix, found, {}};
  if (fs_list_folder(folder.c_str(), take_entry, &w) != 0) return false;
  for (const std::string& sub : w.subfolders) {
    if (!walk(join(folder, sub), prefix + sub + "/", found)) return false;
  }
  return true;
}

// The folder as named, without separators at its end ("dir//" is "dir"; "/" and "C:\\"
// stay as they are).
std::string without_end_separators(std::string dir) {
  while (dir.size() > 1 && is_separator(dir.back()) && dir[dir.size() - 2] != ':') dir.pop_back();
  return dir;
}

bool add_folder(ItemList* list, const std::string& dir, std::string* error) {
  const std::string base = folder_name(from_utf8(dir));
  std::vector<Found> found;
  if (!walk(without_end_separators(dir), base.empty() ? "" : base + "/", &found)) {
    *error = "cannot list " + dir;
    return false;
  }
  std::sort(found.begin(), found.end());
  for (Found& f : found) push_item(list, std::move(f.path), std::move(f.name), f.size, f.mtime_ms);
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
      if (!add_folder(list, arg, error)) return false;
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
