#pragma once
// File system layer. Every file operation of the system goes through here. Paths are UTF-8
// with either separator; results are plain integers (0 success, -1 failure unless stated)
// so callers never see platform handles or error codes. Stateless: any thread may call.
#include <cstddef>
#include <cstdint>

struct FsFile;  // opaque; made by fs_open, released by fs_close

enum FsOpenMode {
  FS_READ = 1,            // read an existing file
  FS_WRITE_NEW = 2,       // write; created, or truncated when it exists
  FS_WRITE_EXISTING = 3,  // write an existing file; position 0, caller seeks
  FS_CREATE_EXCLUSIVE = 4,// write a new file; fails when the name exists already
  FS_CREATE_PRIVATE = 5   // as FS_CREATE_EXCLUSIVE, and only its owner may read or write it
};

// Added to a mode: the file is not opened when its name is a symbolic link (on Windows, when
// it carries any reparse point), whatever the link leads to. For folders where others may
// have planted links (the inbox).
constexpr int FS_NO_LINK = 0x100;

// All modes share read and write access with other openers. Null on failure.
FsFile* fs_open(const char* path, int mode);
// One read of at most 1 GiB: bytes read, 0 at end of file, -1 on error.
int64_t fs_read(FsFile* f, void* buf, size_t len);
// Writes everything in chunks of at most 1 MiB; bytes already written stay on failure.
int fs_write_all(FsFile* f, const void* buf, size_t len);
// Absolute position from the start of the file.
int fs_seek(FsFile* f, uint64_t offset);
int fs_flush(FsFile* f);
void fs_close(FsFile* f);  // null allowed

// 1 when the path names an existing file or directory, else 0. A link counts as existing
// whether or not it leads anywhere: its name is taken.
int fs_exists(const char* path);
// 1 when the path itself is a symbolic link (Windows: carries a reparse point), else 0.
int fs_is_link(const char* path);
// Size of a file and, when mtime_ms is given, its last-write time in milliseconds since
// 1970-01-01 UTC (0 when earlier): both from one look.
int fs_stat(const char* path, uint64_t* size, uint64_t* mtime_ms = nullptr);
// One entry of a folder, as fs_list_folder finds it.
struct FsFolderEntry {
  const char* name;   // the entry's own name, UTF-8
  int is_folder;      // 1: a folder that is no link (Windows: carries no reparse point)
  int is_file;        // 1: a regular file, also through a link; then size and time are set
  uint64_t size;
  uint64_t mtime_ms;  // as fs_stat gives it
};
using FsVisit = void (*)(void* ctx, const FsFolderEntry& entry);
// Calls visit for every entry of a folder but "." and "..", in no particular order. Size
// and time come with the listing (Windows) or from one look beside it (Linux), instead of a
// look along the whole path for each entry. Names that are no valid UTF-8 are passed over:
// no other call here would take them. 0, or -1 when the folder cannot be listed (entries
// visited before a failure stay visited).
int fs_list_folder(const char* path, FsVisit visit, void* ctx);
// Creates every missing ancestor and the directory itself; an existing directory is success.
int fs_make_dirs(const char* path);
// As fs_make_dirs; the directory itself, when this call creates it, is open to its owner
// only (Linux: mode 0700 from the start; on Windows the per-user folders it is made in
// already keep other users out). The ancestors get the usual rights.
int fs_make_private_dirs(const char* path);
// Takes every right of group and others from an existing file or directory: 1 when there
// were some (now gone), 0 when there were none or nothing exists there (always 0 on
// Windows, where the per-user folders decide), -1 when they cannot be taken.
int fs_restrict_to_owner(const char* path);
// Creates one directory, never through a link: 1 when it was created now, 0 when a
// directory that is no link is there already, -1 otherwise (a link, a file, an error).
int fs_make_dir(const char* path);
// Removes a directory when it is empty; 0 when it is gone.
int fs_remove_empty_dir(const char* path);
// Never replaces: fails when the new path exists. Returns once the move is on disk (Linux:
// the folders of both names are synced).
int fs_rename(const char* old_path, const char* new_path);
// As fs_rename, but on Linux the folders are not synced: the caller makes the move durable with
// fs_sync_folder, once for many moves into one folder. (Windows writes every move through.)
int fs_rename_unsynced(const char* old_path, const char* new_path);
// Puts a folder's entries on disk: after it, the moves into the folder survive a power cut.
// Linux syncs the folder; nothing is left to do on Windows. 0 or -1.
int fs_sync_folder(const char* path);
int fs_delete(const char* path);
// Sets only the last-write time of a file open for writing, in milliseconds since 1970-01-01
// UTC. A later write may move it again, so it comes after the last one.
int fs_set_file_mtime(FsFile* f, uint64_t unix_ms);
// Bytes available to the calling user on the volume of a directory (quotas apply).
int fs_free_space(const char* dir, uint64_t* bytes);
// 1 when the volume holding the path is formatted FAT or FAT32, else 0 (also on any failure).
int fs_is_fat_volume(const char* path);
// At most max_len bytes of a file plus a terminating zero byte, in a buffer the caller
// releases with free(); the count read goes to *out_len when given. Null when unreadable.
char* fs_read_whole_file(const char* path, size_t max_len, size_t* out_len);
// Writes "<path>.tmp", makes it durable, then moves it over the target: the target holds
// either its old or its new content, never a mixture.
int fs_write_atomic(const char* path, const void* buf, size_t len);
// The same for a file only its owner may read (a key, the trusted devices, the settings):
// the temporary file is created anew with FS_CREATE_PRIVATE, so no other user can read the
// content at any moment, and the target takes its rights.
int fs_write_atomic_private(const char* path, const void* buf, size_t len);

// The separator the system joins its own paths with: '\\' on Windows, '/' elsewhere. Every
// operation above accepts either separator in the paths it is given.
#ifdef _WIN32
constexpr char kPathSep = '\\';
#else
constexpr char kPathSep = '/';
#endif
