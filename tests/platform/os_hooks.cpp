#include "os_hooks.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>

#include <vector>

namespace {
std::wstring wide(const char* s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::vector<wchar_t> w(static_cast<size_t>(n > 0 ? n : 1));
  MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  return std::wstring(w.data());
}
}  // namespace

void test_set_env(const char* name, const char* value) {
  SetEnvironmentVariableW(wide(name).c_str(), value ? wide(value).c_str() : nullptr);
}

SavedEnv::SavedEnv(const char* n) : name(n), was_set(false) {
  std::wstring w = wide(n);
  DWORD len = GetEnvironmentVariableW(w.c_str(), nullptr, 0);
  if (len == 0) return;
  std::vector<wchar_t> buf(len);
  GetEnvironmentVariableW(w.c_str(), buf.data(), len);
  int u = WideCharToMultiByte(CP_UTF8, 0, buf.data(), -1, nullptr, 0, nullptr, nullptr);
  std::vector<char> out(static_cast<size_t>(u > 0 ? u : 1));
  WideCharToMultiByte(CP_UTF8, 0, buf.data(), -1, out.data(), u, nullptr, nullptr);
  value = out.data();
  was_set = true;
}

long long test_mtime_ms(const std::string& utf8_path) {
  HANDLE h = CreateFileW(wide(utf8_path.c_str()).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  FILETIME ft;
  BOOL ok = GetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
  if (!ok) return -1;
  long long ticks = static_cast<long long>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) |
                                           ft.dwLowDateTime);
  return (ticks - 116444736000000000LL) / 10000;
}

StdoutRedirect::StdoutRedirect(const char* path) {
  saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE f = INVALID_HANDLE_VALUE;
  if (path)
    f = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  file_ = f;
  SetStdHandle(STD_OUTPUT_HANDLE, f);
}

StdoutRedirect::~StdoutRedirect() {
  SetStdHandle(STD_OUTPUT_HANDLE, static_cast<HANDLE>(saved_));
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(static_cast<HANDLE>(file_));
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

void test_set_env(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

SavedEnv::SavedEnv(const char* n) : name(n), was_set(false) {
  const char* v = std::getenv(n);
  if (v) {
    value = v;
    was_set = true;
  }
}

long long test_mtime_ms(const std::string& utf8_path) {
  struct stat st;
  if (stat(utf8_path.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

StdoutRedirect::StdoutRedirect(const char* path) {
  std::fflush(stdout);
  saved_ = reinterpret_cast<void*>(static_cast<intptr_t>(dup(1)));
  int fd = path ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
  file_ = reinterpret_cast<void*>(static_cast<intptr_t>(fd));
  if (fd >= 0)
    dup2(fd, 1);
  else
    close(1);  // no standard output at all
}

StdoutRedirect::~StdoutRedirect() {
  int saved = static_cast<int>(reinterpret_cast<intptr_t>(saved_));
  int fd = static_cast<int>(reinterpret_cast<intptr_t>(file_));
  dup2(saved, 1);
  close(saved);
  if (fd >= 0) close(fd);
}
#endif

SavedEnv::~SavedEnv() { test_set_env(name.c_str(), was_set ? value.c_str() : nullptr); }
