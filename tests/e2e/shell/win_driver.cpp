// Test driver that acts as the user, from outside the agent process.
//   win_driver.exe box BUTTON [SECONDS]  waits for a "ferrylink" message box, prints its text
//                                        (UTF-8) and presses BUTTON: ok | yes | no | cancel
//   win_driver.exe quit [SECONDS]        closes the hidden agent window, which ends the agent
//   win_driver.exe version FILE          prints the US English entries of FILE's version record
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

// The static control that carries a message box's text.
constexpr int kMessageTextId = 0xFFFF;

int button_id(const wchar_t* name) {
  if (wcscmp(name, L"yes") == 0) return IDYES;
  if (wcscmp(name, L"no") == 0) return IDNO;
  if (wcscmp(name, L"cancel") == 0) return IDCANCEL;
  return IDOK;
}

// Waits up to the given seconds for a top-level window of that class and title.
HWND wait_for_window(const wchar_t* cls, const wchar_t* title, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (HWND w = FindWindowW(cls, title)) return w;
    Sleep(100);
  }
  return nullptr;
}

int answer_box(int button, int seconds) {
  HWND box = wait_for_window(L"#32770", L"ferrylink", seconds);
  if (!box) {
    fprintf(stderr, "no ferrylink message box appeared\n");
    return 2;
  }
  wchar_t text[4096] = L"";
  GetDlgItemTextW(box, kMessageTextId, text, 4096);
  char utf8[16384];
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  printf("%s\n", utf8);
  fflush(stdout);
  HWND item = GetDlgItem(box, button);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(item));
  return 0;
}

int quit_agent(int seconds) {
  HWND agent = wait_for_window(L"ferrylinkAgentWnd", nullptr, seconds);
  if (!agent) {
    fprintf(stderr, "no agent window found\n");
    return 2;
  }
  PostMessageW(agent, WM_CLOSE, 0, 0);
  return 0;
}

int print_version_record(const wchar_t* file) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  if (size == 0) return 2;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(file, 0, size, data.data())) return 2;
  const wchar_t* names[] = {L"FileDescription", L"FileVersion",      L"InternalName",
                            L"OriginalFilename", L"ProductName",     L"ProductVersion",
                            L"CompanyName",      L"LegalCopyright",  L"Comments"};
  for (const wchar_t* name : names) {
    wchar_t key[128];
    swprintf(key, 128, L"\\StringFileInfo\\040904B0\\%ls", name);
    void* value = nullptr;
    UINT len = 0;
    if (VerQueryValueW(data.data(), key, &value, &len) && len > 0) {
      printf("%ls=%ls\n", name, static_cast<const wchar_t*>(value));
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 2 && wcscmp(argv[1], L"box") == 0) {
    return answer_box(button_id(argv[2]), argc > 3 ? _wtoi(argv[3]) : 30);
  }
  if (argc > 1 && wcscmp(argv[1], L"quit") == 0) return quit_agent(argc > 2 ? _wtoi(argv[2]) : 30);
  if (argc > 2 && wcscmp(argv[1], L"version") == 0) return print_version_record(argv[2]);
  fprintf(stderr, "usage: win_driver box ok|yes|no|cancel [SECONDS] | quit [SECONDS] | version FILE\n");
  return 2;
}
