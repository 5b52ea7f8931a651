#include "recv/file_store.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "channel/peer_text.h"
#include "crypto/sha256.h"
#include "platform/fs.h"
#include "platform/sync.h"

namespace {

// ---- sanitising -------------------------------------------------------------------------

bool is_ascii_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_separator(char c) { return c == '/' || c == '\\'; }

// Bytes that may not appear in a file name on any platform we store to.
unsigned char safe_byte(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return '_';
  if (c != 0 && strchr("<>:\"/\\|?*", c)) return '_';
  return c;
}

// Length in bytes of the character starting at s (n bytes available). A lead byte takes its
// continuation bytes only when all of them are there and each is 0x80..0xBF; otherwise it
// stands alone, so a forbidden ASCII byte right after it is still seen and replaced.
size_t char_len(const unsigned char* s, size_t n) {
  unsigned char c = s[0];
  size_t need = 0;
  if ((c & 0xE0) == 0xC0) need = 1;
  else if ((c & 0xF0) == 0xE0) need = 2;
  else if ((c & 0xF8) == 0xF0) need = 3;
  if (need == 0 || need >= n) return 1;
  for (size_t i = 1; i <= need; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 1;
  }
  return need + 1;
}

// Windows refuses these names (with any extension) as files: CON, PRN, AUX, NUL, COM1..9,
// LPT1..9. The stem is the text before the first dot, leading and trailing spaces ignored.
bool is_reserved_device_name(const unsigned char* s, size_t n) {
  size_t i = 0;
  while (i < n && s[i] == ' ') ++i;
  size_t stem_end = i;
  while (stem_end < n && s[stem_end] != '.') ++stem_end;
  size_t len = stem_end - i;
  if (len >= 15) return false;
  char stem[16];
  for (size_t k = 0; k < len; ++k) {
    unsigned char c = safe_byte(s[i + k]);
    stem[k] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : char(c);
  }
  while (len > 0 && stem[len - 1] == ' ') --len;
  stem[len] = 0;
  if (!strcmp(stem, "CON") || !strcmp(stem, "PRN") || !strcmp(stem, "AUX") ||
      !strcmp(stem, "NUL"))
    return true;
  return len == 4 && (!strncmp(stem, "COM", 3) || !strncmp(stem, "LPT", 3)) && stem[3] >= '1' &&
         stem[3] <= '9';
}

bool is_space_or_dot(char c) { return c == ' ' || c == '.'; }

// Copies one character of cl bytes, with forbidden bytes as "_" and a direction control as
// one "_" (it would make "invoice<RLO>fdp.exe" read as a PDF). Returns the bytes written,
// never more than cl.
size_t emit_char(const unsigned char* s, size_t cl, char* out) {
  uint32_t cp = 0;
  if (cl > 1 && utf8_decode(s, cl, &cp) == cl && is_bidi_control(cp)) {
    out[0] = '_';
    return 1;
  }
  for (size_t k = 0; k < cl; ++k) out[k] = char(safe_byte(s[k]));
  return cl;
}

bool ends_with_nocase(const char* s, size_t n, const char* tail) {
  size_t t = strlen(tail);
  if (n < t) return false;
  for (size_t k = 0; k < t; ++k) {
    char c = s[n - t + k];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != tail[k]) return false;
  }
  return true;
}

// The endings of the store's own files beside a received one (partial, resume metadata and
// the metadata's temporary name). A received name with one of them would be taken for, or
// overwritten and deleted as, the store's bookkeeping: its last dot becomes "_" (same
// length, so every limit still holds). Case does not matter: Windows ignores it.
void rename_store_name(char* name, size_t n) {
  if (!ends_with_nocase(name, n, ".flpart") && !ends_with_nocase(name, n, ".flmeta") &&
      !ends_with_nocase(name, n, ".flmeta.tmp"))
    return;
  strrchr(name, '.')[0] = '_';
}

// A name of more than 200 characters keeps its first `chars` characters (head; bound[k] is
// the byte length of the first k), then its extension when it has one. Cut there, it may end
// in spaces or dots (which Windows drops, reaching another name, or keeps as a name nothing
// else can open), and what is left may be a device name: trims again and puts "_" in front,
// in the place of the last character when the name would otherwise grow past 200. The
// extension begins with a dot, so it neither needs the trim nor changes the device-name
// stem. Returns the byte length of head kept, 0 when nothing is left.
size_t settle_cut(char* head, const size_t* bound, size_t chars, size_t prefixed, bool has_ext) {
  const size_t limit = chars;
  auto trim = [&] {
    while (!has_ext && chars > prefixed && is_space_or_dot(head[bound[chars] - 1])) --chars;
  };
  trim();
  if (chars == prefixed) return 0;
  if (prefixed || !is_reserved_device_name(reinterpret_cast<const unsigned char*>(head),
                                           bound[chars]))
    return bound[chars];
  if (chars == limit) {
    --chars;
    trim();  // a device name's letters stay, so something is always left
  }
  const size_t keep = bound[chars];
  memmove(head + 1, head, keep);  // without a prefix, head has a byte to spare
  head[0] = '_';
  return keep + 1;
}

// The sanitiser works on (pointer, length) so that split_offer_path need not copy pieces.
int sanitize_range(const unsigned char* s, size_t n, char* out, size_t cap) {
  if (n == 0) return -1;
  if ((n == 1 && s[0] == '.') || (n == 2 && s[0] == '.' && s[1] == '.')) return -1;
  if (n >= 2 && is_ascii_letter(s[0]) && s[1] == ':') return -1;

  // Replacing bytes never produces a space or a dot, so
  // trimming can be decided on the raw bytes.
  size_t end = n;
  while (end > 0 && is_space_or_dot(char(s[end - 1]))) --end;
  if (end == 0) return -1;
  const size_t prefix = is_reserved_device_name(s, end) ? 1 : 0;

  // Keep the first 200 characters; bound[k] is the byte length of the first k of them.
  char head[1 + 4 * kComponentMaxChars];
  size_t bound[kComponentMaxChars + 1];
  size_t hlen = 0, chars = 0, i = 0;
  bound[0] = 0;
  if (prefix) {
    head[hlen++] = '_';
    bound[++chars] = hlen;
  }
  while (i < end && chars < size_t(kComponentMaxChars)) {
    size_t cl = char_len(s + i, end - i);
    hlen += emit_char(s + i, cl, head + hlen);
    i += cl;
    bound[++chars] = hlen;
  }

  size_t keep = hlen;
  const unsigned char* ext = nullptr;
  size_t ext_len = 0;
  if (i < end) {  // more than 200 characters: cut, keeping a short extension
    size_t dot = end;
    while (dot > 0 && s[dot - 1] != '.') --dot;
    if (dot > 0) {
      size_t d = dot - 1;                  // index of the last dot in s
      bool first = (d + prefix) == 0;      // the component's first character
      bool last = d == end - 1;
      if (!first && !last && end - d - 1 <= 20) {
        ext = s + d;
        ext_len = end - d;
      }
    }
    keep = settle_cut(head, bound, kComponentMaxChars - ext_len, prefix, ext != nullptr);
    if (keep == 0) return -1;
  }
  if (keep + ext_len + 1 > cap) return -1;
  memcpy(out, head, keep);
  size_t o = keep;
  for (size_t k = 0; k < ext_len;) {
    size_t cl = char_len(ext + k, ext_len - k);
    o += emit_char(ext + k, cl, out + o);
    k += cl;
  }
  out[o] = 0;
  rename_store_name(out, o);
  return 0;
}

// ---- paths ------------------------------------------------------------------------------

// snprintf that reports a result that did not fit as a failure: a cut path would name
// another file.
template <typename... A>
bool format_path(char* out, size_t cap, const char* fmt, A... args) {
  int n = snprintf(out, cap, fmt, args...);
  return n >= 0 && size_t(n) < cap;
}

// "folder/leaf" without doubling a separator the folder already ends with (a drive root).
const char* join_sep(const char* folder) {
  size_t n = strlen(folder);
  return (n > 0 && is_separator(folder[n - 1])) ? "" : "/";
}

// The inbox without trailing separators, unless they are all that names the root.
bool copy_folder_base(const char* inbox, char* out, size_t cap) {
  size_t n = strlen(inbox);
  while (n > 1 && is_separator(inbox[n - 1])) {
    if (n == 3 && inbox[1] == ':') break;  // "C:\" stays
    --n;
  }
  if (n + 1 > cap) return false;
  memcpy(out, inbox, n);
  out[n] = 0;
  return true;
}

bool is_claimed(const char* path, const ClaimedNames* claimed) {
  try {
    return claimed && claimed->count(path) > 0;
  } catch (...) {
    return true;  // out of memory for the key: not free, as far as anyone can tell
  }
}

bool claim(ClaimedNames* claimed, const char* path) {
  try {
    claimed->insert(path);
    return true;
  } catch (...) {
    return false;
  }
}

// unique_name, with the look at the disk left out when look is false (a folder that held
// nothing when the offer began).
int choose_name(const char* folder, const char* leaf, char* out, size_t cap,
                const ClaimedNames* claimed, bool look) {
  auto is_free = [&] { return (!look || !fs_exists(out)) && !is_claimed(out, claimed); };
  const char* sep = join_sep(folder);
  if (!format_path(out, cap, "%s%s%s", folder, sep, leaf)) return -1;
  if (is_free()) return 0;

  const char* dot = strrchr(leaf, '.');
  bool has_ext = dot && dot != leaf && dot[1] != 0;
  int stem_len = has_ext ? int(dot - leaf) : 0;
  for (unsigned n = 1; n <= kUniqueMaxSuffix; ++n) {
    bool fits = has_ext ? format_path(out, cap, "%s%s%.*s (%u)%s", folder, sep, stem_len, leaf,
                                      n, dot)
                        : format_path(out, cap, "%s%s%s (%u)", folder, sep, leaf, n);
    if (!fits) return -1;
    if (is_free()) return 0;
  }
  return -1;
}

// ---- partial files in use -----------------------------------------------------------------
// Sessions of this process receive side by side; a partial file being written by one of
// them must not be resumed (and then appended to or deleted) by another.

struct InUse {
  Lock* lock = lock_create();
  std::set<std::string> paths;
};

// Never destroyed: a session still running while the process ends must not find it gone.
InUse& in_use() {
  static InUse* table = new InUse;
  return *table;
}

bool mark_in_use(const char* path) {
  InUse& t = in_use();
  LockGuard g(t.lock);
  try {
    return t.paths.insert(path).second;
  } catch (...) {
    return false;
  }
}

void unmark_path(const char* path) {
  InUse& t = in_use();
  LockGuard g(t.lock);
  t.paths.erase(path);
}

void unmark_in_use(IncomingFile* r) {
  if (!r->registered) return;
  unmark_path(r->partial_path);
  r->registered = 0;
}

// ---- the item's paths ---------------------------------------------------------------------
// Each path is a heap copy of just its length: an offer of thousands of items would
// otherwise hold three path buffers of the longest size for every one of them.

// Puts a copy of path in *field in the place of the old one; false when out of memory (the
// old one stays).
bool set_path(char** field, const char* path) {
  char* copy = strdup(path);
  if (!copy) return false;
  free(*field);
  *field = copy;
  return true;
}

void drop_path(char** field) {
  free(*field);
  *field = nullptr;
}

// The item's partial file and its metadata file: both set, or (out of memory) neither.
bool set_partial(IncomingFile* r, const char* part, const char* meta) {
  char* p = strdup(part);
  char* m = strdup(meta);
  if (!p || !m) {
    free(p);
    free(m);
    return false;
  }
  free(r->partial_path);
  free(r->meta_path);
  r->partial_path = p;
  r->meta_path = m;
  return true;
}

void drop_partial(IncomingFile* r) {
  drop_path(&r->partial_path);
  drop_path(&r->meta_path);
}

// ---- preparing ----------------------------------------------------------------------------

// "%s|%s|%llu|%llu": peer id, name as offered, size, time. Heap text (free) or null.
char* make_meta_line(const char* peer_id, const char* name, uint64_t size, uint64_t mtime,
                     size_t* len) {
  size_t cap = strlen(peer_id) + strlen(name) + 48;
  char* line = static_cast<char*>(malloc(cap));
  if (!line) return nullptr;
  int n = snprintf(line, cap, "%s|%s|%" PRIu64 "|%" PRIu64, peer_id, name, size, mtime);
  *len = size_t(n);
  return line;
}

bool meta_matches(const char* meta_path, const char* line, size_t line_len) {
  size_t len = 0;
  char* text = fs_read_whole_file(meta_path, kMetaReadLimit, &len);
  if (!text) return false;
  bool same = len == line_len && memcmp(text, line, len) == 0;
  free(text);
  return same;
}

// The leaf's own partial file from an earlier transfer, when it belongs to this very item
// and nobody else in this process is using it. The candidate is claimed before its files are
// even read: an open metadata file would keep its owner from deleting or replacing it on
// platforms that lock open files. Stays claimed on success.
bool try_resume(IncomingFile* r, const char* folder, const char* leaf, const char* line,
                size_t line_len) {
  char part[kStorePathCap], meta[kStorePathCap];
  if (!line ||
      !format_path(part, sizeof part, "%s%s%s.flpart", folder, join_sep(folder), leaf) ||
      !format_path(meta, sizeof meta, "%s%s%s.flmeta", folder, join_sep(folder), leaf) ||
      !mark_in_use(part))
    return false;
  uint64_t have = 0;
  // A link in the place of either file was planted: neither is read, let alone appended to.
  if (fs_exists(part) && !fs_is_link(part) && !fs_is_link(meta) &&
      meta_matches(meta, line, line_len) && fs_stat(part, &have) == 0 && have <= r->size &&
      set_partial(r, part, meta)) {
    r->registered = 1;
    r->has_meta = 1;
    r->stored = have;
    return true;
  }
  unmark_path(part);
  return false;
}

constexpr int kCreateAttempts = 3;

// Opens a new file for writing under a name nothing has (not even a link). 0 with *out set;
// 1 when the name is taken; -1 on another failure.
int open_new_file(const char* path, FsFile** out) {
  // A create that failed on a name which is free again a moment later lost a race: another
  // session moved its partial file of that name to its final name, or gave it up. The name
  // is free now, so it is tried again; a failure of another kind fails every time.
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    *out = fs_open(path, FS_CREATE_EXCLUSIVE | FS_NO_LINK);
    if (*out) return 0;
    if (fs_exists(path)) return 1;
  }
  return -1;
}

// Creates a file under a name nothing has and writes len bytes of text into it, durably.
// 0; 1 when the name is taken; -1 on another failure (nothing left).
int create_new_file(const char* path, const char* text, size_t len) {
  FsFile* f;
  int made = open_new_file(path, &f);
  if (made != 0) return made;
  bool ok = fs_write_all(f, text, len) == 0 && fs_flush(f) == 0;
  fs_close(f);
  if (ok) return 0;
  fs_delete(path);
  return -1;
}

// ---- partial files kept open ----------------------------------------------------------------
// A new item's partial file stays open from its creation on while the process holds fewer
// such files than its budget: the item's data then needs no second open. Beyond the budget it
// is closed at once and opened again for its first data, however many items an offer has.

std::atomic<int> g_keep_open_budget{0};
std::atomic<int> g_kept_open{0};

bool take_keep_open_slot() {
  const int budget = g_keep_open_budget.load(std::memory_order_relaxed);
  int kept = g_kept_open.load(std::memory_order_relaxed);
  while (kept < budget) {
    if (g_kept_open.compare_exchange_weak(kept, kept + 1, std::memory_order_relaxed))
      return true;
  }
  return false;
}

// Closes the item's partial file, if open, and gives back its slot when it was kept open.
void close_partial(IncomingFile* r) {
  fs_close(r->handle);
  r->handle = nullptr;
  if (r->kept_open) g_kept_open.fetch_sub(1, std::memory_order_relaxed);
  r->kept_open = 0;
}

// Creates "<final>.flpart" (n = 0) or "<final>.<n>.flpart" when that name is free. The
// partial file is created only when nothing of that name exists, so two sessions never share
// one; its metadata ("<final>[.<n>].flmeta") is written later, under the same rule
// (incoming_write): the store never writes over, and later deletes, a file it did not make.
// 0 when made; 1 when the name is taken; ABORT_CREATE_PARTIAL.
int create_numbered_partial(IncomingFile* r, unsigned n) {
  char part[kStorePathCap];
  bool fits = n == 0 ? format_path(part, sizeof part, "%s.flpart", r->final_path)
                     : format_path(part, sizeof part, "%s.%u.flpart", r->final_path, n);
  if (!fits) return ABORT_CREATE_PARTIAL;
  FsFile* f;
  int made = open_new_file(part, &f);
  if (made != 0) return made < 0 ? ABORT_CREATE_PARTIAL : 1;
  char meta[kStorePathCap];
  const size_t len = strlen(part);
  memcpy(meta, part, len + 1);
  memcpy(meta + len - 7, ".flmeta", 7);
  // Another session is looking at the new file as its resume candidate right now (it finds
  // no metadata and lets go): the file is removed again and the caller tries the next name.
  const bool ours = mark_in_use(part);
  if (!ours || !set_partial(r, part, meta)) {
    if (ours) unmark_path(part);
    fs_close(f);
    fs_delete(part);
    return ours ? ABORT_CREATE_PARTIAL : 1;
  }
  r->registered = 1;
  r->handle = f;
  r->kept_open = take_keep_open_slot();
  if (!r->kept_open) close_partial(r);
  return 0;
}

// The first free pair of create_numbered_partial from number `first` on. 0 or
// ABORT_CREATE_PARTIAL.
int create_partial(IncomingFile* r, unsigned first) {
  for (unsigned n = first; n <= kUniqueMaxSuffix; ++n) {
    int rc = create_numbered_partial(r, n);
    if (rc != 1) return rc;
  }
  return ABORT_CREATE_PARTIAL;
}

// True when unique_name gave the leaf its own name, "folder/leaf", not a numbered one.
bool is_own_name(const char* final_path, const char* folder, const char* leaf) {
  const size_t n = strlen(final_path), leaf_len = strlen(leaf);
  return n == strlen(folder) + strlen(join_sep(folder)) + leaf_len &&
         memcmp(final_path + n - leaf_len, leaf, leaf_len) == 0;
}

// Gives a prepared item its partial file: the earlier one of this very item when there is
// one (resumed), else a new one. Under its own name, a new item's partial file is the resume
// candidate itself: when creating it succeeds, there was nothing to resume, and the look for
// one is spared. 0 or ABORT_CREATE_PARTIAL.
int take_partial(IncomingFile* r, const char* folder, const char* leaf, const char* line,
                 size_t line_len) {
  const bool own = is_own_name(r->final_path, folder, leaf);
  if (own) {
    int made = create_numbered_partial(r, 0);
    if (made != 1) return made;
  }
  if (try_resume(r, folder, leaf, line, line_len)) return 0;
  return create_partial(r, own ? 1 : 0);  // the unnumbered pair was just found taken
}

// Removes the deepest `made` levels of folder while they are empty: the folders a transfer
// created for an item and left empty.
void remove_made_folders(const char* folder, int made) {
  if (made <= 0) return;
  char path[kStorePathCap];
  snprintf(path, sizeof path, "%s", folder);
  for (int k = 0; k < made; ++k) {
    if (fs_remove_empty_dir(path) != 0) return;
    char* slash = strrchr(path, '/');
    if (!slash) return;
    *slash = 0;
  }
}

// Makes the item's folder: the inbox, "/" and every folder component. The inbox is made with
// its parents as it is (the user may have made it a link); below it each folder is made or
// checked in turn, and one that is a link (or no folder) refuses the item: nothing is ever
// written through a link planted in the inbox. The folder made and checked for the item
// before (names->folder) is taken as it is: an offer's items are prepared one right after
// the other. *made: how many of the deepest folders were created here, for
// remove_made_folders.
int make_folder(const char* inbox, const OfferPath& p, char* folder, int* made,
                OfferNames* names) {
  *made = 0;
  if (!copy_folder_base(inbox, folder, kStorePathCap)) return ABORT_FOLDER_TOO_LONG;
  size_t len = strlen(folder);
  const size_t base_len = len;
  size_t ends[kMaxComponents];  // where each folder component ends in folder
  const int depth = p.count - 1;
  for (int i = 0; i < depth; ++i) {
    const char* sep = join_sep(folder);
    size_t add = strlen(sep) + strlen(p.parts[i]);
    if (len + add >= kStorePathCap) return ABORT_FOLDER_TOO_LONG;
    len += size_t(snprintf(folder + len, kStorePathCap - len, "%s%s", sep, p.parts[i]));
    ends[i] = len;
  }
  if (names->folder == folder) return 0;
  names->folder.clear();
  char step[kStorePathCap];
  memcpy(step, folder, base_len);
  step[base_len] = 0;
  if (fs_make_dirs(step) != 0) return ABORT_MAKE_FOLDER;
  for (int i = 0; i < depth; ++i) {
    memcpy(step, folder, ends[i]);
    step[ends[i]] = 0;
    int created = fs_make_dir(step);
    if (created < 0) return ABORT_MAKE_FOLDER;
    if (created > 0 && *made == 0) *made = depth - i;
  }
  names->folder_is_new = *made > 0;
  try {
    names->folder = folder;
  } catch (...) {
  }
  return 0;
}

// Splits a stored path at its last separator into folder and leaf.
void split_final(const char* path, char* folder, const char** leaf) {
  const char* slash = path;
  for (const char* p = path; *p; ++p) {
    if (is_separator(*p)) slash = p;
  }
  size_t n = size_t(slash - path);
  memcpy(folder, path, n);
  folder[n] = 0;
  *leaf = is_separator(*slash) ? slash + 1 : slash;
}

int hash_file(const char* path, uint8_t digest[32]) {
  FsFile* f = fs_open(path, FS_READ | FS_NO_LINK);
  if (!f) return -1;
  uint8_t* block = static_cast<uint8_t*>(malloc(65536));
  if (!block) {
    fs_close(f);
    return -1;
  }
  Sha256Ctx ctx;
  sha256_init(&ctx);
  int64_t got;
  while ((got = fs_read(f, block, 65536)) > 0) sha256_update(&ctx, block, uint32_t(got));
  free(block);
  fs_close(f);
  if (got < 0) return -1;
  sha256_final(&ctx, digest);
  return 0;
}

// Moves the verified partial file to its final name. The move never replaces: when the name
// is taken (before or during the move) a new unique name in the same folder is chosen.
int move_to_final(IncomingFile* r) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int moved = r->sync_later ? fs_rename_unsynced(r->partial_path, r->final_path)
                                    : fs_rename(r->partial_path, r->final_path);
    if (moved == 0) return 0;
    if (!fs_exists(r->final_path)) return -1;  // failed for another reason than a taken name
    char folder[kStorePathCap], fresh[kStorePathCap];
    const char* leaf;
    split_final(r->final_path, folder, &leaf);
    if (unique_name(folder, leaf, fresh, sizeof fresh, nullptr) != 0) return -1;
    if (!set_path(&r->final_path, fresh)) return -1;
  }
  return -1;
}

// Puts the partial file's bytes on disk, also when this session wrote none of them (a
// resumed file that was complete already): what is reported stored must survive a power
// cut. A complete file takes its announced time here, after its last write: the flush puts
// the time on disk with the bytes, and the move keeps it. 0 or -1.
int flush_partial(IncomingFile* r) {
  if (!r->handle) r->handle = fs_open(r->partial_path, FS_WRITE_EXISTING | FS_NO_LINK);
  // A failed time is no failure: the file keeps the time it was written at.
  if (r->mtime_ms != 0 && r->stored == r->size) fs_set_file_mtime(r->handle, r->mtime_ms);
  int rc = fs_flush(r->handle);
  close_partial(r);
  return rc;
}

}  // namespace

int sanitize_component(const char* component, char* out, size_t cap) {
  if (!component) return -1;
  return sanitize_range(reinterpret_cast<const unsigned char*>(component), strlen(component),
                        out, cap);
}

int split_offer_path(const char* name, OfferPath* out) {
  if (!name || is_separator(name[0])) return -1;
  out->count = 0;
  const char* piece = name;
  for (;;) {
    const char* slash = strchr(piece, '/');
    size_t len = slash ? size_t(slash - piece) : strlen(piece);
    if (out->count == kMaxComponents) return -1;
    if (sanitize_range(reinterpret_cast<const unsigned char*>(piece), len,
                       out->parts[out->count], kComponentCap) != 0)
      return -1;
    ++out->count;
    if (!slash) return 0;
    piece = slash + 1;
  }
}

int unique_name(const char* folder, const char* leaf, char* out, size_t cap,
                const ClaimedNames* claimed) {
  return choose_name(folder, leaf, out, cap, claimed, true);
}

int incoming_prepare(IncomingFile* records, int index, const char* inbox_dir,
                     const char* peer_device_id, const char* offered_name, uint64_t size,
                     uint64_t mtime_ms, OfferNames* names) {
  IncomingFile* r = &records[index];
  OfferPath* path = static_cast<OfferPath*>(malloc(sizeof(OfferPath)));
  if (!path) return ABORT_SPLIT_NAME;
  int rc = 0;
  char folder[kStorePathCap];
  const char* leaf = nullptr;
  size_t line_len = 0;
  char* line = nullptr;

  if (split_offer_path(offered_name, path) != 0) {
    rc = ABORT_SPLIT_NAME;
  } else {
    rc = make_folder(inbox_dir, *path, folder, &r->made_folders, names);
    leaf = path->parts[path->count - 1];
  }
  if (rc == 0) {
    r->size = size;
    r->mtime_ms = mtime_ms;
    r->stored = 0;
    sha256_init(&r->hash);
    r->hashed = 0;
    line = make_meta_line(peer_device_id, offered_name, size, mtime_ms, &line_len);
    char final_path[kStorePathCap];
    if (choose_name(folder, leaf, final_path, sizeof final_path, &names->claimed,
                    !names->folder_is_new) != 0 ||
        !set_path(&r->final_path, final_path)) {
      rc = try_resume(r, folder, leaf, line, line_len) ? ABORT_NO_NAME_RESUMED : ABORT_NO_NAME_NEW;
    } else if ((rc = take_partial(r, folder, leaf, line, line_len)) == 0 && !r->has_meta) {
      r->pending_meta = line;  // written once the item's bytes need it (incoming_write)
      r->pending_meta_len = line_len;
      line = nullptr;
    }
  }
  if (rc == 0 && !claim(&names->claimed, r->final_path)) rc = ABORT_NO_NAME_NEW;
  if (rc != 0) {  // the folders this item made are not left behind empty
    if (r->made_folders > 0) names->folder.clear();
    remove_made_folders(folder, r->made_folders);
    r->made_folders = 0;
  }
  free(line);
  free(path);
  return rc;
}

int incoming_write(IncomingFile* record, const void* data, size_t len) {
  if (record->pending_meta && record->stored + len < record->size) {
    // Without it the item just cannot resume.
    record->has_meta =
        create_new_file(record->meta_path, record->pending_meta, record->pending_meta_len) == 0;
    free(record->pending_meta);
    record->pending_meta = nullptr;
  }
  if (!record->handle) {
    record->handle = fs_open(record->partial_path, FS_WRITE_EXISTING | FS_NO_LINK);
    if (!record->handle) return -1;
    if (record->stored > 0 && fs_seek(record->handle, record->stored) != 0) return -1;
  }
  if (fs_write_all(record->handle, data, len) != 0) return -1;
  // Hashing now, while the bytes are in the cache, spares reading the whole file back at the
  // end. A resumed item's hash would have to start with the bytes already on disk: it is
  // verified by reading back instead.
  if (record->hashed == record->stored && len <= UINT32_MAX) {
    sha256_update(&record->hash, data, uint32_t(len));
    record->hashed += len;
  }
  return 0;
}

void incoming_pause(IncomingFile* record) { close_partial(record); }

void incoming_set_keep_open_budget(int files) {
  g_keep_open_budget.store(files > 0 ? files : 0, std::memory_order_relaxed);
}

int incoming_finish(IncomingFile* record, const uint8_t sha256[32], int* abort_code) {
  int flushed = flush_partial(record);
  if (record->stored != record->size) {
    *abort_code = ABORT_SIZE_MISMATCH;
    return FILE_FAILED;
  }
  uint8_t digest[32];
  if (record->size > 0 && record->hashed == record->size) {
    sha256_final(&record->hash, digest);
  } else if (hash_file(record->partial_path, digest) != 0) {
    *abort_code = ABORT_READ_BACK;
    return FILE_FAILED;
  }
  if (memcmp(digest, sha256, 32) != 0) {
    fs_delete(record->partial_path);
    if (record->has_meta) fs_delete(record->meta_path);
    // The names are free again for other sessions; forget them so that cleanup cannot
    // delete a file someone else creates under them.
    unmark_in_use(record);
    drop_partial(record);
    *abort_code = ABORT_HASH_MISMATCH;
    return FILE_HASH_MISMATCH;
  }
  if (flushed != 0 || move_to_final(record) != 0) {
    *abort_code = ABORT_MOVE;
    return FILE_FAILED;
  }
  if (record->has_meta) fs_delete(record->meta_path);  // still ours: released only now
  unmark_in_use(record);
  record->finished = 1;
  *abort_code = 0;
  return FILE_STORED;
}

int incoming_sync_folder(const IncomingFile* record) {
  char folder[kStorePathCap];
  const char* leaf;
  split_final(record->final_path, folder, &leaf);
  return fs_sync_folder(folder[0] ? folder : "/");
}

void incoming_cleanup(IncomingFile* records, int count) {
  // Last item first: a later item's folders may lie inside an earlier one's.
  for (int i = count - 1; i >= 0; --i) {
    IncomingFile* r = &records[i];
    close_partial(r);
    if (!r->finished && (r->stored == 0 || !r->has_meta)) {
      if (r->partial_path) fs_delete(r->partial_path);
      if (r->meta_path && r->has_meta) fs_delete(r->meta_path);
    }
    free(r->pending_meta);
    r->pending_meta = nullptr;
    unmark_in_use(r);
    if (r->made_folders > 0 && r->final_path) {
      char folder[kStorePathCap];
      const char* leaf;
      split_final(r->final_path, folder, &leaf);
      remove_made_folders(folder, r->made_folders);
    }
    drop_partial(r);
    drop_path(&r->final_path);
  }
}
