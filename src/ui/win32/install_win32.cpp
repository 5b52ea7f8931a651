// Installing on Windows: the per-user folder under the local application data, the Run key
// of the current user, netsh for the firewall and a delayed cmd.exe for removing the
// running program file. Every failure here is silent; install.cpp decides what it means.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <memory>

#include "app/install.h"
#include "app/install_os.h"
#include "platform/win32/text.h"
#include "ui/win32/wide_text.h"

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"ferrylink";
constexpr DWORD kCommandWaitMs = 15000;
constexpr size_t kCommandUnits = 1200;
constexpr size_t kStartUnits = 800;
constexpr size_t kRunDataUnits = 800;
// What the running program file is renamed to until it can be deleted.
const wchar_t kRemovedSuffix[] = L".removed";
const wchar_t kAgentWindowClass[] = L"ferrylinkAgentWnd";

// A folder from an environment variable when it is 1 to 259 units long.
bool folder_from_env(const wchar_t* name, wchar_t out[MAX_PATH]) {
  DWORD n = GetEnvironmentVariableW(name, out, MAX_PATH);
  return n >= 1 && n < MAX_PATH;
}

// Starts a command line with the given creation flags and a hidden window. The process
// handles go to *pi; false when it cannot start.
bool start_hidden(wchar_t* command_line, DWORD flags, PROCESS_INFORMATION* pi) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  return CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &si, pi) != 0;
}

void close_process_handles(PROCESS_INFORMATION* pi) {
  CloseHandle(pi->hThread);
  CloseHandle(pi->hProcess);
}

std::unique_ptr<wchar_t, decltype(&free)> wide_copy(const char* utf8) {
  return {utf8_to_wide(utf8), &free};
}

}  // namespace

int install_os_folder(char* out, size_t cap) {
  if (!out || cap == 0) return -1;
  out[0] = '\0';
  wchar_t base[MAX_PATH];
  bool found = folder_from_env(L"LOCALAPPDATA", base) ||
               SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE,
                                          nullptr, SHGFP_TYPE_CURRENT, base)) ||
               folder_from_env(L"APPDATA", base);
  if (!found) return -1;
  wchar_t folder[MAX_PATH];
  // A cut folder name would install somewhere else entirely: no fit, no install folder.
  int n = swprintf(folder, MAX_PATH, L"%ls\\ferrylink", base);
  if (n < 0 || n >= MAX_PATH) return -1;
  return wide_to_utf8(folder, out, cap);
}

const char* install_os_program_name() { return "ferrylink.exe"; }

int install_os_same_path(const char* a, const char* b) {
  auto wa = wide_copy(a), wb = wide_copy(b);
  if (!wa || !wb) return 0;
  return CompareStringOrdinal(wa.get(), -1, wb.get(), -1, TRUE) == CSTR_EQUAL;
}

void install_os_make_folder(const char* folder) {
  if (auto w = wide_copy(folder)) CreateDirectoryW(w.get(), nullptr);
}

int install_os_copy_program(const char* from, const char* to) {
  auto wf = wide_copy(from), wt = wide_copy(to);
  if (!wf || !wt) return -1;
  return CopyFileW(wf.get(), wt.get(), FALSE) ? 0 : -1;
}

int install_os_remove_dir(const char* dir) {
  auto w = wide_copy(dir);
  return (w && RemoveDirectoryW(w.get())) ? 0 : -1;
}

int install_os_firewall_tool() {
  OSVERSIONINFOW v = {};
  v.dwOSVersionInfoSize = sizeof v;
  if (!GetVersionExW(&v)) return FIREWALL_NETSH_ADVANCED;
  return v.dwMajorVersion > 5 ? FIREWALL_NETSH_ADVANCED : FIREWALL_NETSH_LEGACY;
}

int install_os_remove_program(const char* program) {
  // A running program's file cannot be deleted, but it can be renamed: the installed
  // program is gone from its place at once, and the renamed file goes after the process.
  auto wp = wide_copy(program);
  wchar_t aside[kCommandUnits];
  if (!wp || swprintf(aside, kCommandUnits, L"%ls%ls", wp.get(), kRemovedSuffix) < 0) return -1;
  return MoveFileExW(wp.get(), aside, MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
}

void install_os_finish_removal(const char* program, const char* folder) {
  auto wp = wide_copy(program), wf = wide_copy(folder);
  if (!wp || !wf) return;
  // Started after the last message, when this process is about to end: each ping waits
  // about two seconds, and the deletion is tried again after a second wait in case the
  // process was slow to let go of its file.
  wchar_t command[kCommandUnits];
  int n = swprintf(command, kCommandUnits,
                   L"cmd.exe /c ping 127.0.0.1 -n 3 >nul & del /f /q \"%ls%ls\" & "
                   L"ping 127.0.0.1 -n 3 >nul & del /f /q \"%ls%ls\" & rmdir \"%ls\"",
                   wp.get(), kRemovedSuffix, wp.get(), kRemovedSuffix, wf.get());
  if (n < 0) return;
  PROCESS_INFORMATION pi;
  if (start_hidden(command, CREATE_NO_WINDOW | DETACHED_PROCESS, &pi)) close_process_handles(&pi);
}

int install_os_stop_agent(int wait_ms) {
  HWND agent = FindWindowW(kAgentWindowClass, L"ferrylink");
  if (!agent) return 0;
  DWORD pid = 0;
  GetWindowThreadProcessId(agent, &pid);
  HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
  // WM_CLOSE destroys the agent window on its own thread, which is what Quit does.
  PostMessageW(agent, WM_CLOSE, 0, 0);
  int result = -1;
  if (process) {
    if (WaitForSingleObject(process, static_cast<DWORD>(wait_ms)) == WAIT_OBJECT_0) result = 1;
    CloseHandle(process);
  }
  return result;
}

unsigned long run_hidden_and_wait(const char* command_line) {
  wchar_t command[kCommandUnits];
  utf8_to_wide_field(command_line, command, kCommandUnits);
  PROCESS_INFORMATION pi;
  if (!command[0] || !start_hidden(command, CREATE_NO_WINDOW, &pi)) return 1;
  DWORD code = 1;
  if (WaitForSingleObject(pi.hProcess, kCommandWaitMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(pi.hProcess, &code)) {
    code = 1;  // still running (it is left alone) or no code to read
  }
  close_process_handles(&pi);
  return code;
}

void start_installed_copy(const char* path) {
  auto w = wide_copy(path);
  if (!w) return;
  wchar_t command[kStartUnits];
  int n = swprintf(command, kStartUnits, L"\"%ls\"", w.get());
  if (n < 0) return;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    close_process_handles(&pi);
  }
}

bool autostart_is_enabled() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  bool exists = RegQueryValueExW(key, kRunValue, nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS;
  RegCloseKey(key);
  return exists;
}

void autostart_set(const char* program_path, bool enable) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (enable) {
    auto w = wide_copy(program_path);
    wchar_t data[kRunDataUnits];
    // A path cut to fit would start nothing at log-on; such a path is not registered.
    int n = w ? swprintf(data, kRunDataUnits, L"\"%ls\"", w.get()) : -1;
    if (n > 0 && static_cast<size_t>(n) < kRunDataUnits) {
      RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                     static_cast<DWORD>((n + 1) * sizeof(wchar_t)));
    }
  } else {
    RegDeleteValueW(key, kRunValue);
  }
  RegCloseKey(key);
}
