// File layer on Windows: the wide-character file API with long-path prefixes.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "platform/fs.h"
#include "platform/fs_replace.h"
#include "platform/win32/path.h"
#include "platform/win32/text.h"

struct FsFile {
  HANDLE handle;
};

namespace {

constexpr DWORD kMaxRead = DWORD(1) << 30;   // one read asks for at most 1 GiB
constexpr DWORD kMaxWrite = DWORD(1) << 20;  // one write hands over at most 1 MiB
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
// 1970-01-01 in the file times' 100-nanosecond intervals since 1601-01-01.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using WidePath = std::unique_ptr<wchar_t, FreeDeleter>;

WidePath wide(const char* utf8, int long_prefix) {
  return WidePath(fs_convert_path(utf8, long_prefix));
}

bool is_directory(const wchar_t* path) {
  DWORD a = GetFileAttributesW(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates one directory; one that already exists counts as created. Anything else of that
// name (a file) is reported by the caller's next step or by the final check.
bool make_one_dir(const wchar_t* path) {
  return CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool is_reparse_point(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return !GetFileInformationByHandle(h, &info) ||
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

FsFile* fs_open(const char* path, int mode) {
  DWORD access, disposition;
  switch (mode & ~FS_NO_LINK) {
    case FS_READ: access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case FS_WRITE_NEW: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    case FS_WRITE_EXISTING: access = GENERIC_WRITE; disposition = OPEN_EXISTING; break;
    case FS_CREATE_EXCLUSIVE:
    case FS_CREATE_PRIVATE: access = GENERIC_WRITE; disposition = CREATE_NEW; break;
    default: return nullptr;
  }
  WidePath w = wide(path, 1);
  if (!w) return nullptr;
  // Opening the reparse point itself, instead of what it leads to, shows what it is.
  const bool no_link = (mode & FS_NO_LINK) != 0;
  HANDLE h = CreateFileW(w.get(), access, kShareAll, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL | (no_link ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (no_link && is_reparse_point(h)) {
    CloseHandle(h);
    return nullptr;
  }
  FsFile* f = static_cast<FsFile*>(std::malloc(sizeof(FsFile)));
  if (!f) {
    CloseHandle(h);
    return nullptr;
  }
  f->handle = h;
  return f;
}

int64_t fs_read(FsFile* f, void* buf, size_t len) {
  if (!f) return -1;
  DWORD want = len > kMaxRead ? kMaxRead : static_cast<DWORD>(len);
  DWORD got = 0;
  if (!ReadFile(f->handle, buf, want, &got, nullptr)) return -1;
  return got;
}

int fs_write_all(FsFile* f, const void* buf, size_t len) {
  if (!f) return -1;
  const char* p = static_cast<const char*>(buf);
  while (len > 0) {
    DWORD chunk = len > kMaxWrite ? kMaxWrite : static_cast<DWORD>(len);
    DWORD done = 0;
    if (!WriteFile(f->handle, p, chunk, &done, nullptr) || done == 0) return -1;
    p += done;
    len -= done;
  }
  return 0;
}

int fs_seek(FsFile* f, uint64_t offset) {
  if (!f || offset > static_cast<uint64_t>(INT64_MAX)) return -1;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(f->handle, to, nullptr, FILE_BEGIN) ? 0 : -1;
}

int fs_flush(FsFile* f) {
  if (!f) return -1;
  return FlushFileBuffers(f->handle) ? 0 : -1;
}

void fs_close(FsFile* f) {
  if (!f) return;
  CloseHandle(f->handle);
  std::free(f);
}

int fs_exists(const char* path) {
  WidePath w = wide(path, 1);
  return w && GetFileAttributesW(w.get()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int fs_is_link(const char* path) {
  WidePath w = wide(path, 1);
  if (!w) return 0;
  DWORD a = GetFileAttributesW(w.get());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) ? 1 : 0;
}

// A 64-bit value from the two halves the file API hands it out in.
uint64_t from_halves(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

uint64_t mtime_ms_of(const FILETIME& ft) {
  const uint64_t ticks = from_halves(ft.dwHighDateTime, ft.dwLowDateTime);
  return ticks < kUnixEpochTicks ? 0 : (ticks - kUnixEpochTicks) / 10000u;
}

int fs_stat(const char* path, uint64_t* size, uint64_t* mtime_ms) {
  WidePath w = wide(path, 1);
  if (!w) return -1;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(w.get(), GetFileExInfoStandard, &data)) return -1;
  if (size) *size = from_halves(data.nFileSizeHigh, data.nFileSizeLow);
  if (mtime_ms) *mtime_ms = mtime_ms_of(data.ftLastWriteTime);
  return 0;
}

int fs_list_folder(const char* path, FsVisit visit, void* ctx) {
  const size_t n = strlen(path);
  const bool ends_in_separator = n > 0 && (path[n - 1] == '/' || path[n - 1] == '\\');
  std::string folder(path, ends_in_separator ? n - 1 : n);
  WidePath pattern = wide((folder + "\\*").c_str(), 1);
  if (!pattern) return -1;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileExW(pattern.get(), FindExInfoBasic, &found, FindExSearchNameMatch,
                              nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return -1;
  do {
    char name[4 * MAX_PATH];
    const wchar_t* w = found.cFileName;
    if (!wcscmp(w, L".") || !wcscmp(w, L"..") || wide_to_utf8(w, name, sizeof name) != 0)
      continue;
    FsFolderEntry entry{name, 0, 0, 0, 0};
    const DWORD a = found.dwFileAttributes;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link to a file counts as that file; one to a folder is not followed.
      if (!(a & FILE_ATTRIBUTE_DIRECTORY))
        entry.is_file = fs_stat((folder + "\\" + name).c_str(), &entry.size, &entry.mtime_ms) == 0;
    } else if (a & FILE_ATTRIBUTE_DIRECTORY) {
      entry.is_folder = 1;
    } else {
      entry.is_file = 1;
      entry.size = from_halves(found.nFileSizeHigh, found.nFileSizeLow);
      entry.mtime_ms = mtime_ms_of(found.ftLastWriteTime);
    }
    visit(ctx, entry);
  } while (FindNextFileW(h, &found));
  const int rc = GetLastError() == ERROR_NO_MORE_FILES ? 0 : -1;
  FindClose(h);
  return rc;
}

int fs_make_dirs(const char* path) {
  WidePath w = wide(path, 1);
  if (!w) return -1;
  wchar_t* p = w.get();
  for (wchar_t* c = p + fs_root_length(p); *c; ++c) {
    if (*c != L'\\' || c == p || c[-1] == L'\\') continue;
    *c = L'\0';
    bool ok = make_one_dir(p);
    *c = L'\\';
    if (!ok) return -1;
  }
  // A file of that name "already exists" too, but it is no folder to put things in.
  return make_one_dir(p) && is_directory(p) ? 0 : -1;
}

// The data directory lives in the user's own profile, whose inherited rights already keep
// other users out.
int fs_make_private_dirs(const char* path) { return fs_make_dirs(path); }

int fs_restrict_to_owner(const char*) { return 0; }

int fs_make_dir(const char* path) {
  WidePath w = wide(path, 1);
  if (!w) return -1;
  if (CreateDirectoryW(w.get(), nullptr)) return 1;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return -1;
  DWORD a = GetFileAttributesW(w.get());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
                 !(a & FILE_ATTRIBUTE_REPARSE_POINT)
             ? 0
             : -1;
}

int fs_remove_empty_dir(const char* path) {
  WidePath w = wide(path, 1);
  return w && RemoveDirectoryW(w.get()) ? 0 : -1;
}

int fs_rename(const char* old_path, const char* new_path) {
  WidePath from = wide(old_path, 1);
  WidePath to = wide(new_path, 1);
  if (!from || !to) return -1;
  // No REPLACE_EXISTING: never replaces. Write-through: returns once the move is on disk.
  return MoveFileExW(from.get(), to.get(), MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}

int fs_rename_unsynced(const char* old_path, const char* new_path) {
  return fs_rename(old_path, new_path);
}

int fs_sync_folder(const char*) { return 0; }

int fs_delete(const char* path) {
  WidePath w = wide(path, 1);
  if (!w) return -1;
  return DeleteFileW(w.get()) ? 0 : -1;
}

int fs_set_file_mtime(FsFile* f, uint64_t unix_ms) {
  if (!f) return -1;
  uint64_t ticks = unix_ms * 10000u + kUnixEpochTicks;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  // Creation and access times untouched.
  return SetFileTime(f->handle, nullptr, nullptr, &ft) ? 0 : -1;
}

int fs_free_space(const char* dir, uint64_t* bytes) {
  WidePath w = wide(dir, 0);
  if (!w) return -1;
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(w.get(), &available, nullptr, nullptr)) return -1;
  if (bytes) *bytes = available.QuadPart;  // what the caller may use, quotas included
  return 0;
}

int fs_is_fat_volume(const char* path) {
  WidePath w = wide(path, 0);
  if (!w) return 0;
  wchar_t volume[MAX_PATH + 1];
  if (!GetVolumePathNameW(w.get(), volume, MAX_PATH + 1)) return 0;
  wchar_t fs_name[33];  // at most 32 characters
  if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, fs_name, 33)) return 0;
  return fs_is_fat_name(fs_name);
}

int fs_replace_durably(const char* tmp_path, const char* target_path) {
  WidePath from = wide(tmp_path, 1);
  WidePath to = wide(target_path, 1);
  if (!from || !to) return -1;
  return MoveFileExW(from.get(), to.get(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : -1;
}
