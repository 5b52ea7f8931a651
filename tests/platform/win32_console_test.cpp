// A GUI program's lines must reach a redirected standard output (file or pipe), the way
// `ferrylink.exe --test > out.txt` is read.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/system.h"
#include "support/temp_dir.h"

namespace {

std::wstring probe_path() {
  char self[4096];
  if (program_path_utf8(self, sizeof self) != 0) return L"";
  std::string dir(self);
  dir.resize(dir.find_last_of("\\/") + 1);
  std::string probe = dir + "platform_console_probe.exe";
  int n = MultiByteToWideChar(CP_UTF8, 0, probe.c_str(), -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, probe.c_str(), -1, w.data(), n);
  w.resize(static_cast<size_t>(n - 1));
  return w;
}

// Runs the probe with out as its standard output; its exit code, or -1.
int run_probe(HANDLE out) {
  std::wstring exe = probe_path();
  STARTUPINFOW si;
  std::memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  PROCESS_INFORMATION pi;
  std::wstring cmd = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi))
    return -1;
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

SECURITY_ATTRIBUTES inheritable() {
  SECURITY_ATTRIBUTES sa;
  sa.nLength = sizeof sa;
  sa.lpSecurityDescriptor = nullptr;
  sa.bInheritHandle = TRUE;
  return sa;
}

const char kExpected[] = "ok probe\r\nSELFTEST OK (0 failures)\r\n";

}  // namespace

TEST(ConsoleRedirect, GuiProgramWritesIntoAPipe) {
  SECURITY_ATTRIBUTES sa = inheritable();
  HANDLE rd = nullptr, wr = nullptr;
  ASSERT_TRUE(CreatePipe(&rd, &wr, &sa, 0));
  SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
  EXPECT_EQ(run_probe(wr), 7);
  CloseHandle(wr);  // the probe's copy is gone too: reading ends at its last byte
  std::string got;
  char buf[256];
  DWORD n = 0;
  while (ReadFile(rd, buf, sizeof buf, &n, nullptr) && n > 0) got.append(buf, n);
  CloseHandle(rd);
  EXPECT_EQ(got, kExpected);
}

TEST(ConsoleRedirect, GuiProgramWritesIntoAFile) {
  TempDir dir;
  std::string path = dir.file("out.txt");
  std::wstring wpath(path.begin(), path.end());  // the temporary path is ASCII
  SECURITY_ATTRIBUTES sa = inheritable();
  HANDLE f = CreateFileW(wpath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(run_probe(f), 7);
  CloseHandle(f);
  EXPECT_EQ(read_file(path), kExpected);
}

TEST(ConsoleRedirect, GuiProgramWithoutOutputStillEnds) {
  EXPECT_EQ(run_probe(nullptr), 7) << "no standard output: nothing written, same exit code";
}
