// The driver's eyes inside the agent's window thread. Wine keeps a menu's items in the
// process that made it, so another process cannot read a popup menu; and a folder picker
// takes its selection only as a pointer. The driver therefore installs this library as a
// window-procedure hook on the agent's window thread and sends one of the agent's windows
// the registered request message (wParam: the driver's window, lParam: the request); the
// hook answers with WM_COPYDATA to the driver's window. A text the request needs (a folder)
// is that window's title. The hook never changes what the agent does by itself.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>

#include "desk_hook.h"

namespace {

constexpr UINT kMenuGetHmenu = 0x01E1;  // MN_GETHMENU: the menu a popup window shows

std::string utf8(const wchar_t* w) {
  char buf[1024];
  if (WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, sizeof buf, nullptr, nullptr) <= 0) return "?";
  return buf;
}

// One line per item: "---" for a separator, "<text> >" for a submenu followed by its items
// indented by two spaces, "<text> #<id>" for a command with " grayed", " checked" and
// " hilite" when they apply.
void describe(HMENU menu, const std::string& indent, std::string* out) {
  int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    wchar_t text[512] = L"";
    MENUITEMINFOW mi = {};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    mi.dwTypeData = text;
    mi.cch = 512;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mi)) {
      *out += indent + "(unreadable)\n";
      continue;
    }
    if (mi.fType & MFT_SEPARATOR) {
      *out += indent + "---\n";
      continue;
    }
    std::string line = indent + utf8(text);
    if (mi.hSubMenu) {
      line += " >";
    } else {
      line += " #" + std::to_string(mi.wID);
      if (mi.fState & MFS_GRAYED) line += " grayed";
      if (mi.fState & MFS_CHECKED) line += " checked";
    }
    if (mi.fState & MFS_HILITE) line += " hilite";
    *out += line + "\n";
    if (mi.hSubMenu) describe(mi.hSubMenu, indent + "  ", out);
  }
}

// The text of the selected item of the dialog's folder tree.
std::wstring selected_tree_item(HWND dialog) {
  HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
  if (!tree) {
    // The new dialog style keeps the tree one level further down.
    for (HWND c = GetWindow(dialog, GW_CHILD); c && !tree; c = GetWindow(c, GW_HWNDNEXT)) {
      tree = FindWindowExW(c, nullptr, WC_TREEVIEWW, nullptr);
    }
  }
  if (!tree) return L"";
  HTREEITEM item = TreeView_GetSelection(tree);
  wchar_t text[MAX_PATH] = L"";
  TVITEMW tv = {};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = MAX_PATH;
  if (!item || !TreeView_GetItem(tree, &tv)) return L"";
  return text;
}

int screen_dpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi;
}

int icon_width(HICON icon) {
  ICONINFO ii = {};
  if (!icon || !GetIconInfo(icon, &ii)) return 0;
  BITMAP bm = {};
  GetObjectW(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof bm, &bm);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  if (ii.hbmMask) DeleteObject(ii.hbmMask);
  return bm.bmWidth;
}

// "small <drawn> <metric>" and "large <drawn> <metric>": the width of the window's class
// icons and the icon metrics in the agent's process.
std::string icon_sizes(HWND window) {
  HICON small = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
  HICON large = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
  return "small " + std::to_string(icon_width(small)) + " " +
         std::to_string(GetSystemMetrics(SM_CXSMICON)) + "\nlarge " +
         std::to_string(icon_width(large)) + " " + std::to_string(GetSystemMetrics(SM_CXICON)) +
         "\ndpi " + std::to_string(screen_dpi()) + "\n";
}

// One line per static line of the panel: "<text width> <line width> <text height> <line
// height>", measured in the line's own font.
std::string panel_fit(HWND panel) {
  std::string out;
  for (HWND c = GetWindow(panel, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = L"";
    GetClassNameW(c, cls, 32);
    if (_wcsicmp(cls, L"Static") != 0) continue;
    wchar_t text[512] = L"";
    int n = GetWindowTextW(c, text, 512);
    HDC dc = GetDC(c);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text, n, &size);
    SelectObject(dc, old);
    ReleaseDC(c, dc);
    RECT r;
    GetClientRect(c, &r);
    out += std::to_string(size.cx) + " " + std::to_string(r.right) + " " +
           std::to_string(size.cy) + " " + std::to_string(r.bottom) + "\n";
  }
  return out;
}

void reply(HWND to, HWND from, const std::string& text) {
  COPYDATASTRUCT cd = {kDeskHookReply, static_cast<DWORD>(text.size()),
                       const_cast<char*>(text.data())};
  SendMessageW(to, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&cd));
}

void serve(HWND target, HWND driver, LPARAM request) {
  switch (request) {
    case kDeskHookDumpMenu: {
      std::string text;
      HMENU menu = reinterpret_cast<HMENU>(SendMessageW(target, kMenuGetHmenu, 0, 0));
      if (menu) describe(menu, "", &text);
      reply(driver, target, text);
      break;
    }
    case kDeskHookEndMenu:
      EndMenu();
      reply(driver, target, "ended\n");
      break;
    case kDeskHookPickFolder: {
      wchar_t path[MAX_PATH] = L"";
      GetWindowTextW(driver, path, MAX_PATH);
      SendMessageW(target, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path));
      // The picker fills its tree after it shows: press OK only once the folder is the
      // selected item, else tell the driver to ask again.
      std::wstring leaf = path;
      leaf = leaf.substr(leaf.find_last_of(L"\\/") + 1);
      std::wstring selected = selected_tree_item(target);
      if (_wcsicmp(selected.c_str(), leaf.c_str()) != 0) {
        reply(driver, target, "not selected: " + utf8(selected.c_str()) + "\n");
        break;
      }
      PostMessageW(target, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(target, IDOK)));
      reply(driver, target, "picked\n");
      break;
    }
    case kDeskHookIconSizes:
      reply(driver, target, icon_sizes(target));
      break;
    case kDeskHookPanelFit:
      reply(driver, target, panel_fit(target));
      break;
    default:
      break;
  }
}

}  // namespace

// A global CBT hook: refuses to create the agent's window, so that a test can see what the
// agent does when it cannot have one.
extern "C" __declspec(dllexport) LRESULT CALLBACK desk_hook_refuse_agent_window(int code,
                                                                              WPARAM wp,
                                                                              LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    wchar_t name[64] = L"";
    GetClassNameW(reinterpret_cast<HWND>(wp), name, 64);
    if (wcscmp(name, L"ferrylinkAgentWnd") == 0) return 1;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK desk_hook_call_wnd_proc(int code, WPARAM wp,
                                                                          LPARAM lp) {
  if (code == HC_ACTION) {
    static const UINT request_message = RegisterWindowMessageW(kDeskHookRequestName);
    const CWPSTRUCT* c = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (c->message == request_message) serve(c->hwnd, reinterpret_cast<HWND>(c->wParam), c->lParam);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
