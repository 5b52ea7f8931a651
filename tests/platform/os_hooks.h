#pragma once
// The few things the platform tests must do to their own process in the OS's own way.
#include <string>

// Sets (or with null removes) an environment variable, UTF-8.
void test_set_env(const char* name, const char* value);
// The variable's current value and whether it was set, to put it back afterwards.
struct SavedEnv {
  explicit SavedEnv(const char* name);
  ~SavedEnv();
  std::string name, value;
  bool was_set;
};

// A file's last-write time in milliseconds since 1970 as the OS reports it (the C++
// library's answer on Windows has whole seconds only), or -1.
long long test_mtime_ms(const std::string& utf8_path);

// Points the process's standard output at a file (or at nothing when path is null) for the
// life of the object, then restores it.
class StdoutRedirect {
public:
  explicit StdoutRedirect(const char* path);
  ~StdoutRedirect();

private:
  void* saved_;
  void* file_;
};
