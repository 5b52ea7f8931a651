// Program entry of the Windows agent: a GUI program with no console of its own. The command
// line is split by the platform's rules and handed on in UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <vector>

#include "app/agent.h"

namespace {

// UTF-8 copy of a wide argument, or null when it does not convert (lone surrogates).
char* to_utf8(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return nullptr;
  char* s = static_cast<char*>(malloc(static_cast<size_t>(n)));
  if (s && WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w, -1, s, n, nullptr, nullptr) <= 0) {
    free(s);
    s = nullptr;
  }
  return s;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<char*> argv;
  if (wargv) {
    for (int i = 0; i < argc; ++i) argv.push_back(to_utf8(wargv[i]));
    LocalFree(wargv);
  } else {
    argc = 0;  // the command line could not be split: every option is off
  }
  int code = agent_main(argc, argv.data(), instance);
  for (char* s : argv) free(s);
  return code;
}
