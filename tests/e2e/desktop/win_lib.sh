#!/usr/bin/env bash
# Shared by the Windows desktop scripts, which take the same arguments:
#   FERRYLINK_EXE DESK_DRIVER_EXE SENDER SCREENSHOT_DIR
# SENDER is the native ferrylink-send or ferrylink-send.exe (then run under Wine).
exe=$1; driver=$2; sender=$3; shots=$4
source "$(dirname "${BASH_SOURCE[0]}")/../shell/lib.sh"
: "${WINEPREFIX:?the Windows tests run in a prepared Wine prefix (scripts/wine-prefix.sh)}"
: "${DISPLAY:?the desktop tests need an X display (scripts/xvfb.sh)}"
export WINEDEBUG=-all
mkdir -p "$shots"

drv() { wine "$driver" "$@" | tr -d '\r'; }
shot() { import -display "$DISPLAY" -window root "$shots/$1.png"; }
win() { winepath -w "$1" 2>/dev/null; }
# send PHONE_NAME OUTPUT_FILE ARGS...: the phone; its own keys live in $scratch/phone-NAME.
send() {
  local name=$1 out=$2; shift 2
  local run=("$sender") dir="$scratch/phone-$name" args=("$@")
  if [[ $sender == *.exe ]]; then  # the Windows sender takes Windows paths
    run=(wine "$sender"); dir=$(win "$dir")
    for i in "${!args[@]}"; do [ -e "${args[$i]}" ] && args[$i]=$(win "${args[$i]}"); done
  fi
  "${run[@]}" --to "127.0.0.1:$port" --name "$name" --yes --data-dir "$dir" "${args[@]}" > "$out" 2>&1
}
same_text() {  # same_text WHAT GOT WANT
  [ "$2" = "$3" ] && return 0
  printf 'got:  %q\nwant: %q\n' "$2" "$3" >&2
  return 1
}
