// Test driver for the Windows desktop: acts as the user and as the shell, from outside the
// agent process, and prints what it sees (UTF-8) for the test scripts. Reading a popup
// menu and choosing a folder in the picker go through desk_hook.dll on the agent's window
// thread (see there); everything else uses ordinary messages between processes.
//
//   box BUTTON [SECONDS]        waits for a "ferrylink" message box, prints its text, presses
//                               BUTTON (ok | yes | no | cancel)
//   wait-box [SECONDS]          waits for a "ferrylink" message box and prints its text, leaving
//                               it open
//   buttons [SECONDS]           waits for a "ferrylink" message box and prints its buttons left
//                               to right, one "<id> <caption>[ default] <x> <y> <width>
//                               <height>" a line (client coordinates of the box), then
//                               "box <width> <height>" and "screen <width> <height>"
//   nobox SECONDS               fails when a "ferrylink" message box shows up in that time
//   tray EVENT                  posts the tray icon's callback: rbuttonup, contextmenu,
//                               lbuttonup, lbuttondblclk, balloonclick, mousemove
//   menu [SECONDS]              waits for the popup menu and prints its items, one a line
//   pick TEXT [SUBTEXT]         chooses an item of the open menu with the keyboard, as a user
//                               would: TEXT, or SUBTEXT in TEXT's submenu
//   nomenu SECONDS              fails when a popup menu shows up in that time
//   dismiss                     closes the open menu without a choice
//   folder PATH [SECONDS]       waits for the agent's folder picker, prints its texts and
//                               chooses PATH (a Windows path); "cancel" cancels it
//   clipboard                   prints the clipboard's Unicode text
//   progress                    prints the progress panel's state, one "key: value" a line
//   wait-progress shown|hidden SECONDS
//   icon                        prints "present" when the agent's tray icon exists, else
//                               "absent"
//   icon-sizes                  prints the sizes of the agent's small and large icons beside the
//                               icon metrics and the DPI of the agent's process
//   panel-fit                   prints, per text line of the progress panel, the width of its
//                               text, the line's width, the text's and the line's height
//   foreground                  prints the class of the foreground window ("none" without one)
//   hide-balloon                takes the balloon off the agent's tray icon (as its timeout would)
//   drop-icon                   removes the agent's tray icon as a restarted shell loses it
//   taskbar-created             sends the registered "TaskbarCreated" message to the agent
//   endsession WPARAM           sends WM_ENDSESSION to the agent window
//   window TEXT SECONDS         waits for a visible top-level window whose title contains
//                               TEXT, prints the title and closes the window
//   focus-guard SECONDS         shows a window of its own with the keyboard focus and prints
//                               "kept" when it still has the focus after SECONDS, else the
//                               class of the window that took it
//   agent-path [SECONDS]        prints the program file of the process that owns the agent
//                               window
//   quit [SECONDS]              closes the hidden agent window
//   watch-exit SECONDS          takes hold of the agent's process, prints "watching", and waits
//                               until it has ended (its shutdown outlasts its window)
//   refuse-window SECONDS       for that long no agent window can be created in the session
//                               (a global hook); prints "refusing" once it is in place
//   version FILE                prints the US English entries of FILE's version record
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "desk_hook.h"

namespace {

// The agent's private message, tray icon id and classes, written out here on purpose: the
// tests must fail when the program changes them.
constexpr UINT kTrayCallback = 0x8001;
constexpr UINT kTrayIconId = 1;
const wchar_t kAgentClass[] = L"ferrylinkAgentWnd";
const wchar_t kPanelClass[] = L"ferrylinkProgressWnd";
constexpr int kMessageTextId = 0xFFFF;  // the static control with a message box's text
constexpr UINT kNotifyIconV2Size = NOTIFYICONDATAW_V2_SIZE;

std::string utf8(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return "";
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

std::wstring window_text(HWND w) {
  wchar_t text[4096] = L"";
  GetWindowTextW(w, text, 4096);
  return text;
}

std::wstring class_name(HWND w) {
  wchar_t cls[256] = L"";
  GetClassNameW(w, cls, 256);
  return cls;
}

HWND wait_for_window(const wchar_t* cls, const wchar_t* title, int seconds) {
  for (int i = 0; i <= seconds * 10; ++i) {
    if (HWND w = FindWindowW(cls, title)) return w;
    Sleep(100);
  }
  return nullptr;
}

HWND agent_window(int seconds = 30) {
  HWND w = wait_for_window(kAgentClass, nullptr, seconds);
  if (!w) fprintf(stderr, "no agent window found\n");
  return w;
}

DWORD agent_process() {
  HWND agent = FindWindowW(kAgentClass, nullptr);
  DWORD pid = 0;
  if (agent) GetWindowThreadProcessId(agent, &pid);
  return pid;
}

// Visible top-level windows of a class, in z-order (the topmost first).
std::vector<HWND> visible_windows(const wchar_t* cls) {
  struct Search {
    const wchar_t* cls;
    std::vector<HWND> found;
  } search{cls, {}};
  EnumWindows(
      [](HWND w, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        if (IsWindowVisible(w) && class_name(w) == s->cls) s->found.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// ---- the hook library and its answers ----

std::string g_reply;

LRESULT CALLBACK sink_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    const auto* cd = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (cd->dwData == kDeskHookReply) {
      g_reply.assign(static_cast<const char*>(cd->lpData), cd->cbData);
      return TRUE;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND sink_window() {
  static HWND sink = nullptr;
  if (sink) return sink;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = sink_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"desk_driver_sink";
  RegisterClassW(&wc);
  sink = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         wc.hInstance, nullptr);
  return sink;
}

// A hook procedure of desk_hook.dll (beside this program), and the library in *lib.
HOOKPROC hook_proc(const char* name, HMODULE* lib) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dll = path;
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"desk_hook.dll";
  *lib = LoadLibraryW(dll.c_str());
  FARPROC found = *lib ? GetProcAddress(*lib, name) : nullptr;
  if (!found) fprintf(stderr, "desk_hook.dll cannot be loaded\n");
  // Through void*: the exported symbol is a HOOKPROC, whatever GetProcAddress calls it.
  return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(found));
}

// For the given time, no program of the session can create the agent's window (a global
// CBT hook); prints "refusing" once the hook is in place.
int refuse_agent_window(int seconds) {
  HMODULE lib = nullptr;
  HOOKPROC proc = hook_proc("desk_hook_refuse_agent_window", &lib);
  HHOOK hook = proc ? SetWindowsHookExW(WH_CBT, proc, lib, 0) : nullptr;
  if (!hook) return 2;
  printf("refusing\n");
  fflush(stdout);
  DWORD end = GetTickCount() + DWORD(seconds) * 1000;
  while (GetTickCount() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  UnhookWindowsHookEx(hook);
  return 0;
}

// Hooks the thread that owns `target` with desk_hook.dll for the time of one request, and
// returns the hook's answer; empty when there was none.
std::string ask_hook(HWND target, LPARAM request, const wchar_t* text = L"") {
  HMODULE lib = nullptr;
  HOOKPROC proc = hook_proc("desk_hook_call_wnd_proc", &lib);
  if (!proc) return "";
  DWORD thread = GetWindowThreadProcessId(target, nullptr);
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, proc, lib, thread);
  if (!hook) {
    fprintf(stderr, "hook refused (%lu)\n", GetLastError());
    return "";
  }
  g_reply.clear();
  HWND sink = sink_window();
  SetWindowTextW(sink, text);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(target, RegisterWindowMessageW(kDeskHookRequestName),
                      reinterpret_cast<WPARAM>(sink), request, SMTO_NORMAL, 5000, &result);
  UnhookWindowsHookEx(hook);
  return g_reply;
}

// ---- message boxes ----

int button_id(const std::wstring& name) {
  if (name == L"yes") return IDYES;
  if (name == L"no") return IDNO;
  if (name == L"cancel") return IDCANCEL;
  return IDOK;
}

int answer_box(int button, int seconds) {
  HWND box = wait_for_window(L"#32770", L"ferrylink", seconds);
  if (!box) {
    fprintf(stderr, "no ferrylink message box appeared\n");
    return 2;
  }
  wchar_t text[4096] = L"";
  GetDlgItemTextW(box, kMessageTextId, text, 4096);
  printf("%s\n", utf8(text).c_str());
  fflush(stdout);
  if (button == 0) return 0;  // only look
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  // Gone before the next step looks for another box.
  for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
  return IsWindow(box) ? 2 : 0;
}

int print_buttons(int seconds) {
  HWND box = wait_for_window(L"#32770", L"ferrylink", seconds);
  if (!box) {
    fprintf(stderr, "no ferrylink message box appeared\n");
    return 2;
  }
  Sleep(300);  // the box is laid out when it is activated
  std::vector<std::pair<LONG, std::string>> lines;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (_wcsicmp(class_name(c).c_str(), L"Button") != 0 || !IsWindowVisible(c)) continue;
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
    int id = GetDlgCtrlID(c);
    // The default button is drawn as such and is the one Enter presses.
    bool is_default = (GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    char line[512];
    snprintf(line, sizeof line, "%d %s%s %ld %ld %ld %ld", id, utf8(window_text(c).c_str()).c_str(),
             is_default ? " default" : "", r.left, r.top, r.right - r.left, r.bottom - r.top);
    lines.emplace_back(r.left, line);
  }
  std::sort(lines.begin(), lines.end());
  for (const auto& l : lines) printf("%s\n", l.second.c_str());
  RECT b;
  GetWindowRect(box, &b);
  printf("box %ld %ld %ld %ld\n", b.left, b.top, b.right - b.left, b.bottom - b.top);
  printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  return 0;
}

int no_box(int seconds) {
  if (HWND box = wait_for_window(L"#32770", L"ferrylink", seconds)) {
    wchar_t text[4096] = L"";
    GetDlgItemTextW(box, kMessageTextId, text, 4096);
    fprintf(stderr, "unexpected box: %s\n", utf8(text).c_str());
    return 1;
  }
  return 0;
}

// ---- the tray icon ----

int tray_event(const std::wstring& name) {
  struct Event {
    const wchar_t* name;
    UINT value;
  } const events[] = {
      {L"rbuttonup", WM_RBUTTONUP},       {L"contextmenu", WM_CONTEXTMENU},
      {L"lbuttonup", WM_LBUTTONUP},       {L"lbuttondblclk", WM_LBUTTONDBLCLK},
      {L"balloonclick", NIN_BALLOONUSERCLICK}, {L"mousemove", WM_MOUSEMOVE},
  };
  for (const Event& e : events) {
    if (name != e.name) continue;
    HWND agent = agent_window();
    if (!agent) return 2;
    PostMessageW(agent, kTrayCallback, kTrayIconId, e.value);
    return 0;
  }
  fprintf(stderr, "unknown tray event\n");
  return 2;
}

NOTIFYICONDATAW icon_record(HWND agent) {
  NOTIFYICONDATAW nid = {};
  nid.cbSize = kNotifyIconV2Size;
  nid.hWnd = agent;
  nid.uID = kTrayIconId;
  return nid;
}

int icon_state() {
  HWND agent = agent_window();
  if (!agent) return 2;
  // Modifying nothing succeeds exactly when the icon exists.
  NOTIFYICONDATAW nid = icon_record(agent);
  printf("%s\n", Shell_NotifyIconW(NIM_MODIFY, &nid) ? "present" : "absent");
  return 0;
}

int drop_icon() {
  HWND agent = agent_window();
  if (!agent) return 2;
  NOTIFYICONDATAW nid = icon_record(agent);
  return Shell_NotifyIconW(NIM_DELETE, &nid) ? 0 : 1;
}

// ---- the popup menu ----

HWND wait_for_menu(int seconds) {
  for (int i = 0; i <= seconds * 10; ++i) {
    std::vector<HWND> menus = visible_windows(L"#32768");
    if (!menus.empty()) return menus.back();  // the main menu is below its submenus
    Sleep(100);
  }
  return nullptr;
}

std::string menu_text(HWND popup) { return ask_hook(popup, kDeskHookDumpMenu); }

// The text of the highlighted line of a menu description, or "".
std::string hilited(const std::string& menu) {
  size_t end = menu.find(" hilite\n");
  if (end == std::string::npos) return "";
  size_t start = menu.rfind('\n', end);
  start = start == std::string::npos ? 0 : start + 1;
  std::string line = menu.substr(start, end - start);
  size_t mark = line.rfind(" #");
  if (mark == std::string::npos) mark = line.rfind(" >");
  if (mark != std::string::npos) line.erase(mark);
  size_t grayed = line.find(" grayed");
  if (grayed != std::string::npos) line.erase(grayed);
  return line.substr(line.find_first_not_of(' '));
}

void press(HWND popup, UINT key) {
  PostMessageW(popup, WM_KEYDOWN, key, 1);
  PostMessageW(popup, WM_KEYUP, key, 0xC0000001);
  Sleep(150);
}

// Moves the highlight of a popup's menu down to the item with the text; false when it went
// all the way round without finding it.
bool highlight(HWND popup, const std::string& text) {
  std::string first;
  for (int step = 0; step < 40; ++step) {
    press(popup, VK_DOWN);
    std::string now = hilited(menu_text(popup));
    if (now == text) return true;
    if (step > 0 && now == first) return false;
    if (step == 0) first = now;
  }
  return false;
}

int pick(const std::string& text, const std::string& subtext) {
  HWND popup = wait_for_menu(10);
  if (!popup) {
    fprintf(stderr, "no menu is open\n");
    return 2;
  }
  if (!highlight(popup, text)) {
    fprintf(stderr, "no item \"%s\"\n", text.c_str());
    return 1;
  }
  if (subtext.empty()) {
    press(popup, VK_RETURN);
    return 0;
  }
  press(popup, VK_RIGHT);
  std::vector<HWND> menus = visible_windows(L"#32768");
  HWND sub = menus.size() > 1 ? menus.front() : nullptr;
  if (!sub) {
    fprintf(stderr, "the submenu did not open\n");
    return 1;
  }
  // Opening by keyboard highlights the submenu's first item already.
  if (hilited(menu_text(sub)) != subtext && !highlight(sub, subtext)) {
    fprintf(stderr, "no item \"%s\" in the submenu\n", subtext.c_str());
    return 1;
  }
  press(sub, VK_RETURN);
  return 0;
}

int show_menu(int seconds) {
  HWND popup = wait_for_menu(seconds);
  if (!popup) {
    fprintf(stderr, "no menu appeared\n");
    return 2;
  }
  Sleep(200);  // let the menu finish opening
  std::string text = menu_text(popup);
  fputs(text.c_str(), stdout);
  return text.empty() ? 1 : 0;
}

int no_menu(int seconds) {
  if (wait_for_menu(seconds)) {
    fprintf(stderr, "a menu is open\n");
    return 1;
  }
  return 0;
}

int dismiss_menu() {
  HWND popup = wait_for_menu(5);
  if (!popup) return 2;
  ask_hook(popup, kDeskHookEndMenu);
  for (int i = 0; i < 50 && wait_for_menu(0); ++i) Sleep(100);
  return wait_for_menu(0) ? 1 : 0;
}

// ---- the folder picker ----

// A dialog of the agent's process other than its message boxes.
HWND agent_dialog(int seconds) {
  DWORD pid = agent_process();
  for (int i = 0; i <= seconds * 10; ++i) {
    for (HWND w : visible_windows(L"#32770")) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && window_text(w) != L"ferrylink") return w;
    }
    Sleep(100);
  }
  return nullptr;
}

int choose_folder(const std::wstring& path, int seconds) {
  HWND dialog = agent_dialog(seconds);
  if (!dialog) {
    fprintf(stderr, "no folder picker appeared\n");
    return 2;
  }
  Sleep(500);  // the picker fills its tree after it shows
  EnumChildWindows(
      dialog,
      [](HWND w, LPARAM) -> BOOL {
        if (_wcsicmp(class_name(w).c_str(), L"Static") == 0 && !window_text(w).empty()) {
          printf("text: %s\n", utf8(window_text(w).c_str()).c_str());
        }
        return TRUE;
      },
      0);
  fflush(stdout);
  if (path == L"cancel") {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    return 0;
  }
  std::string answer;
  for (int attempt = 0; attempt < 20; ++attempt) {
    answer = ask_hook(dialog, kDeskHookPickFolder, path.c_str());
    if (answer == "picked\n") return 0;
    Sleep(500);
  }
  fprintf(stderr, "the picker did not take the folder (%s)\n", answer.c_str());
  return 1;
}

// ---- clipboard, progress panel, other windows ----

int print_clipboard() {
  for (int i = 0; i < 50; ++i) {
    if (OpenClipboard(nullptr)) break;
    Sleep(100);
  }
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const wchar_t* text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
  if (text) {
    printf("%s", utf8(text).c_str());
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text ? 0 : 1;
}

int print_progress() {
  HWND panel = FindWindowW(kPanelClass, nullptr);
  if (!panel) {
    printf("panel: none\n");
    return 0;
  }
  std::vector<HWND> children;
  for (HWND c = GetWindow(panel, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  RECT r, area;
  GetWindowRect(panel, &r);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  printf("panel: %s\n", IsWindowVisible(panel) ? "shown" : "hidden");
  printf("caption: %s\n", utf8(window_text(panel).c_str()).c_str());
  printf("rect: %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  printf("workarea: %ld %ld %ld %ld\n", area.left, area.top, area.right, area.bottom);
  printf("style: %08lx\n", static_cast<unsigned long>(GetWindowLongW(panel, GWL_STYLE)));
  printf("exstyle: %08lx\n", static_cast<unsigned long>(GetWindowLongW(panel, GWL_EXSTYLE)));
  int line = 0;
  for (HWND c : children) {
    RECT cr;
    GetWindowRect(c, &cr);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&cr), 2);
    std::wstring cls = class_name(c);
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
      printf("%s: %s\n", line++ == 0 ? "title" : "detail", utf8(window_text(c).c_str()).c_str());
      printf("static-style: %08lx\n", static_cast<unsigned long>(GetWindowLongW(c, GWL_STYLE)));
    } else {
      // PBM_GETPOS / PBM_GETRANGE carry no pointers, so they work across processes.
      printf("bar: %ld\n", static_cast<long>(SendMessageW(c, WM_USER + 8, 0, 0)));
      printf("bar-range: %ld-%ld\n", static_cast<long>(SendMessageW(c, WM_USER + 7, TRUE, 0)),
             static_cast<long>(SendMessageW(c, WM_USER + 7, FALSE, 0)));
      printf("bar-class: %s\n", utf8(cls.c_str()).c_str());
    }
    printf("child: %ld %ld %ld %ld\n", cr.left, cr.top, cr.right - cr.left, cr.bottom - cr.top);
  }
  return 0;
}

int wait_progress(bool shown, int seconds) {
  for (int i = 0; i <= seconds * 10; ++i) {
    HWND panel = FindWindowW(kPanelClass, nullptr);
    if ((panel && IsWindowVisible(panel)) == shown) return 0;
    Sleep(100);
  }
  return 1;
}

int close_window_titled(const std::wstring& part, int seconds) {
  struct Search {
    const std::wstring* part;
    HWND found;
  };
  for (int i = 0; i <= seconds * 10; ++i) {
    Search s{&part, nullptr};
    EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<Search*>(lp);
          if (IsWindowVisible(w) && window_text(w).find(*s->part) != std::wstring::npos) {
            s->found = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    if (s.found) {
      printf("%s\n", utf8(window_text(s.found).c_str()).c_str());
      PostMessageW(s.found, WM_CLOSE, 0, 0);
      return 0;
    }
    Sleep(100);
  }
  return 1;
}

int focus_guard(int seconds) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"desk_driver_typing";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"typing here", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           40, 40, 320, 160, nullptr, nullptr, wc.hInstance, nullptr);
  SetForegroundWindow(w);
  SetFocus(w);
  printf("ready\n");
  fflush(stdout);
  DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  HWND taken = nullptr;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    HWND fg = GetForegroundWindow();
    if (fg != w && !taken) taken = fg;
    Sleep(20);
  }
  if (taken) {
    printf("taken by %s\n", utf8(class_name(taken).c_str()).c_str());
  } else {
    printf("kept\n");
  }
  DestroyWindow(w);
  return 0;
}

int print_agent_path(int seconds) {
  if (!agent_window(seconds)) return 2;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, agent_process());
  wchar_t path[MAX_PATH] = L"";
  DWORD size = MAX_PATH;
  bool ok = process && QueryFullProcessImageNameW(process, 0, path, &size);
  if (process) CloseHandle(process);
  if (!ok) return 1;
  printf("%s\n", utf8(path).c_str());
  return 0;
}

int watch_exit(int seconds) {
  if (!agent_window(seconds)) return 2;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, agent_process());
  if (!process) return 2;
  printf("watching\n");
  fflush(stdout);
  DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(seconds) * 1000);
  CloseHandle(process);
  return waited == WAIT_OBJECT_0 ? 0 : 1;
}

// ---- the program file ----

int print_version_record(const wchar_t* file) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  if (size == 0) return 2;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(file, 0, size, data.data())) return 2;
  const wchar_t* names[] = {L"FileDescription", L"FileVersion",     L"InternalName",
                            L"OriginalFilename", L"ProductName",    L"ProductVersion",
                            L"CompanyName",      L"LegalCopyright", L"Comments"};
  for (const wchar_t* name : names) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT len = 0;
    if (VerQueryValueW(data.data(), key.c_str(), &value, &len) && len > 0) {
      printf("%s=%s\n", utf8(name).c_str(), utf8(static_cast<const wchar_t*>(value)).c_str());
    }
  }
  return 0;
}

int seconds_arg(int argc, wchar_t** argv, int i, int fallback) {
  return argc > i ? _wtoi(argv[i]) : fallback;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring cmd = argc > 1 ? argv[1] : L"";
  std::wstring a2 = argc > 2 ? argv[2] : L"";
  if (cmd == L"box" && argc > 2) return answer_box(button_id(a2), seconds_arg(argc, argv, 3, 30));
  if (cmd == L"wait-box") return answer_box(0, seconds_arg(argc, argv, 2, 30));
  if (cmd == L"buttons") return print_buttons(seconds_arg(argc, argv, 2, 30));
  if (cmd == L"nobox") return no_box(seconds_arg(argc, argv, 2, 5));
  if (cmd == L"tray" && argc > 2) return tray_event(a2);
  if (cmd == L"menu") return show_menu(seconds_arg(argc, argv, 2, 10));
  if (cmd == L"nomenu") return no_menu(seconds_arg(argc, argv, 2, 3));
  if (cmd == L"pick" && argc > 2) return pick(utf8(argv[2]), argc > 3 ? utf8(argv[3]) : "");
  if (cmd == L"dismiss") return dismiss_menu();
  if (cmd == L"folder" && argc > 2) return choose_folder(a2, seconds_arg(argc, argv, 3, 20));
  if (cmd == L"clipboard") return print_clipboard();
  if (cmd == L"progress") return print_progress();
  if (cmd == L"wait-progress" && argc > 2) {
    return wait_progress(a2 == L"shown", seconds_arg(argc, argv, 3, 10));
  }
  if (cmd == L"icon") return icon_state();
  if (cmd == L"icon-sizes") {
    HWND agent = agent_window();
    if (!agent) return 2;
    std::string sizes = ask_hook(agent, kDeskHookIconSizes);
    fputs(sizes.c_str(), stdout);
    return sizes.empty() ? 1 : 0;
  }
  if (cmd == L"panel-fit") {
    HWND panel = FindWindowW(kPanelClass, nullptr);
    std::string fit = panel ? ask_hook(panel, kDeskHookPanelFit) : "";
    fputs(fit.c_str(), stdout);
    return fit.empty() ? 1 : 0;
  }
  if (cmd == L"foreground") {
    HWND w = GetForegroundWindow();
    printf("%s\n", w ? utf8(class_name(w).c_str()).c_str() : "none");
    return 0;
  }
  if (cmd == L"hide-balloon") {
    HWND agent = agent_window();
    if (!agent) return 2;
    // An empty balloon text removes the balloon on screen.
    NOTIFYICONDATAW nid = icon_record(agent);
    nid.uFlags = NIF_INFO;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) ? 0 : 1;
  }
  if (cmd == L"drop-icon") return drop_icon();
  if (cmd == L"taskbar-created") {
    HWND agent = agent_window();
    if (!agent) return 2;
    SendMessageW(agent, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    return 0;
  }
  if (cmd == L"endsession" && argc > 2) {
    HWND agent = agent_window();
    if (!agent) return 2;
    SendMessageW(agent, WM_ENDSESSION, static_cast<WPARAM>(_wtoi(argv[2])), 0);
    return 0;
  }
  if (cmd == L"window" && argc > 2) return close_window_titled(a2, seconds_arg(argc, argv, 3, 10));
  if (cmd == L"focus-guard") return focus_guard(seconds_arg(argc, argv, 2, 5));
  if (cmd == L"agent-path") return print_agent_path(seconds_arg(argc, argv, 2, 30));
  if (cmd == L"quit") {
    HWND agent = agent_window(seconds_arg(argc, argv, 2, 30));
    if (!agent) return 2;
    PostMessageW(agent, WM_CLOSE, 0, 0);
    return 0;
  }
  if (cmd == L"watch-exit") return watch_exit(seconds_arg(argc, argv, 2, 30));
  if (cmd == L"refuse-window") return refuse_agent_window(seconds_arg(argc, argv, 2, 30));
  if (cmd == L"version" && argc > 2) return print_version_record(argv[2]);
  fprintf(stderr, "usage: see the comment at the top of desk_driver.cpp\n");
  return 2;
}
