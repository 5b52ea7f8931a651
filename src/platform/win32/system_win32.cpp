// System facts and process services on Windows.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/system.h"
#include "platform/win32/text.h"

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

int folder_csidl(int folder) {
  switch (folder) {
    case FOLDER_APPDATA: return CSIDL_APPDATA;
    case FOLDER_LOCAL_APPDATA: return CSIDL_LOCAL_APPDATA;
    case FOLDER_DOCUMENTS: return CSIDL_PERSONAL;
    case FOLDER_DESKTOP: return CSIDL_DESKTOPDIRECTORY;
    default: return -1;
  }
}

}  // namespace

void known_folder_utf8(int folder, char* buf, size_t cap) {
  if (!buf || cap == 0) return;
  buf[0] = '\0';
  int csidl = folder_csidl(folder);
  if (csidl < 0) return;
  wchar_t path[MAX_PATH];
  if (SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
    return;
  wide_to_utf8(path, buf, cap);
}

int env_utf8(const char* name, char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  buf[0] = '\0';
  std::unique_ptr<wchar_t, FreeDeleter> wname(utf8_to_wide(name));
  if (!wname) return -1;
  constexpr DWORD kMaxEnv = 32767;  // the longest value Windows stores
  std::unique_ptr<wchar_t[]> value(new (std::nothrow) wchar_t[kMaxEnv + 1]);
  if (!value) return -1;
  DWORD n = GetEnvironmentVariableW(wname.get(), value.get(), kMaxEnv + 1);
  if (n == 0 || n > kMaxEnv) return -1;  // missing, empty, or too long to read whole
  return wide_to_utf8(value.get(), buf, cap);
}

int computer_name_utf8(char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  buf[0] = '\0';
  wchar_t name[16];
  DWORD size = 16;
  if (!GetComputerNameW(name, &size) || size == 0) return -1;
  return wide_to_utf8(name, buf, cap);
}

uint16_t ui_language_id() { return GetUserDefaultUILanguage(); }

void os_info_line(char* buf, size_t cap) {
  if (!buf || cap == 0) return;
  OSVERSIONINFOW v;
  std::memset(&v, 0, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;  // 276: the basic record
  static_assert(sizeof(OSVERSIONINFOW) == 276, "basic version record");
  GetVersionExW(&v);
  std::snprintf(buf, cap, "info windows %lu.%lu build %lu", static_cast<unsigned long>(v.dwMajorVersion),
                static_cast<unsigned long>(v.dwMinorVersion),
                static_cast<unsigned long>(v.dwBuildNumber));
}

int program_path_utf8(char* buf, size_t cap) {
  if (!buf || cap == 0) return -1;
  buf[0] = '\0';
  constexpr DWORD kMaxPath = 32768;
  std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[kMaxPath]);
  if (!path) return -1;
  DWORD n = GetModuleFileNameW(nullptr, path.get(), kMaxPath);
  if (n == 0 || n >= kMaxPath) return -1;  // failed, or cut to the buffer
  return wide_to_utf8(path.get(), buf, cap);
}

void console_write_line(const char* text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;  // a GUI program without redirection
  std::string line = text ? text : "";
  line += "\r\n";
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    DWORD done = 0;
    DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    if (!WriteFile(out, p, chunk, &done, nullptr) || done == 0) return;
    p += done;
    left -= done;
  }
}

struct InstanceGuard {
  HANDLE mutex;
};

InstanceGuard* instance_guard_acquire(const char* name, int* already_running) {
  if (already_running) *already_running = 0;
  std::unique_ptr<wchar_t, FreeDeleter> wname(utf8_to_wide(name));
  if (!wname || !wname.get()[0]) return nullptr;
  HANDLE m = CreateMutexW(nullptr, FALSE, wname.get());
  if (!m) return nullptr;
  // The mutex is never owned: its existence in the session is the guard.
  if (GetLastError() == ERROR_ALREADY_EXISTS && already_running) *already_running = 1;
  InstanceGuard* g = static_cast<InstanceGuard*>(std::malloc(sizeof(InstanceGuard)));
  if (!g) {
    CloseHandle(m);
    return nullptr;
  }
  g->mutex = m;
  return g;
}

void instance_guard_release(InstanceGuard* g) {
  if (!g) return;
  CloseHandle(g->mutex);
  std::free(g);
}

void memory_return_large_blocks() {}

int open_files_to_spare() { return 8192; }
