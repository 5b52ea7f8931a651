#!/usr/bin/env bash
# Creates (once) a Wine prefix that answers like Windows 10, with a virtual desktop that has a
# taskbar and a notification area, and keeps a wineserver warm. Start the X display first
# (scripts/xvfb.sh): the desktop binds to the display it finds.
# Usage: source scripts/wine-prefix.sh [PREFIX]   (default: build/wineprefix in the checkout)
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Wine turns file names into bytes with the locale of each program it starts: under the C
# locale (a cron job, a bare container) a non-ASCII name cannot be stored at all. C.UTF-8
# is always there on Debian, and it overrides whatever the caller has set.
export LC_ALL=C.UTF-8
export WINEPREFIX=${1:-${WINEPREFIX:-$top/build/wineprefix}}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.ferrylink-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.ferrylink-ready"
fi
# Wine has no font of its own for Chinese, Japanese or Korean: link the dialog and menu fonts
# to the CJK font from Debian (scripts/deps.sh installs it) so that those languages show
# letters instead of boxes.
if [ ! -f "$WINEPREFIX/.ferrylink-cjk" ]; then
  for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI"; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
  done
  wineserver -w
  touch "$WINEPREFIX/.ferrylink-cjk"
fi
wineserver -p >/dev/null 2>&1 || true
# The first program of a session starts Wine's own services (devices, desktop, tray), which
# live as long as the server and keep the standard handles of that program: start them here
# with nothing attached, so no test's output pipe stays open behind it.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
