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
    default:
      break;
  }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK desk_hook_call_wnd_proc(int code, WPARAM wp,
                                                                          LPARAM lp) {
  if (code == HC_ACTION) {
    static const UINT request_message = RegisterWindowMessageW(kDeskHookRequestName);
    const CWPSTRUCT* c = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (c->message == request_message) serve(c->hwnd, reinterpret_cast<HWND>(c->wParam), c->lParam);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
