#!/usr/bin/env bash
# The Windows desktop on a normal and on a scaled screen (96 and 144 DPI), in English, German
# and Japanese, with a long file name: the pairing and offer prompts, the progress panel and
# the tray menu, each photographed into SCREENSHOT_DIR and measured where a measure exists
# (buttons and their words, the default button, the box within the screen, the panel's text
# within its lines, the icon drawn at the size the DPI asks for). The menu is driven with
# real key presses and a real click elsewhere.
# Usage: win_screens.sh FERRYLINK_EXE DESK_DRIVER_EXE SENDER SCREENSHOT_DIR (see win_lib.sh)
source "$(dirname "$0")/win_lib.sh"

# The screen's DPI is read when Wine's processes start: set it, then start them anew; at the
# end the prefix gets back the value it had.
desktop_key='HKCU\Control Panel\Desktop'
old_dpi=$(wine reg query "$desktop_key" /v LogPixels 2>/dev/null | tr -d '\r' |
  awk '$1 == "LogPixels" {print $3}')
dpi_changed=0
restart_at() {  # restart_at DPI|none
  wineserver -k 2>/dev/null; wineserver -w
  if [ "$1" = none ]; then
    wine reg delete "$desktop_key" /v LogPixels /f >/dev/null 2>&1
  else
    wine reg add "$desktop_key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  fi
  wineserver -w
  wineserver -p >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  dpi_changed=1
}
restore_dpi() {
  [ $dpi_changed = 1 ] || return 0
  if [ -n "$old_dpi" ]; then restart_at $((old_dpi)); else restart_at none; fi
  dpi_changed=0
}
trap 'cleanup; restore_dpi' EXIT

# The phone's file: a camera name grown long, and a Japanese one of the same kind.
long_latin=$(printf 'Holiday_photos_summer_2024_Lake_Constance_%.0s' 1 2 3 4)IMG_20240715_183422_HDR.jpg
long_japanese=$(printf '夏休みの写真_家族で琵琶湖へ行った日の夕焼け_%.0s' 1 2 3)IMG_0042.jpg
mkdir -p "$scratch/files"

declare -A lang_index=([en]=0 [de]=8 [ja]=1)
declare -A yes_no=([en]='&Yes &No' [de]='&Ja &Nein' [ja]='はい(&Y) いいえ(&N)')

# buttons_of BUTTONS_OUTPUT: "<caption> <caption>[ default]..." left to right.
buttons_of() {
  awk '$1 ~ /^[0-9]+$/ {printf "%s%s%s", sep, $2, ($3 == "default" ? " default" : ""); sep=" "}' <<< "$1"
}
# within_screen BUTTONS_OUTPUT: the box lies wholly on the screen.
within_screen() {
  read -r _ x y w h <<< "$(grep '^box ' <<< "$1")"
  read -r _ sw sh <<< "$(grep '^screen ' <<< "$1")"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$sw" ] && [ $((y + h)) -le "$sh" ]
}
# lines_fit PANEL_FIT_OUTPUT: every text is as narrow and as low as its line.
lines_fit() {
  [ -n "$1" ] && awk '$1 > $2 || $3 > $4 {bad = 1} END {exit bad}' <<< "$1"
}

run_language() {  # run_language DPI LANG
  local dpi=$1 lang=$2 name=$1-$2
  local data=$scratch/data-$name inbox=$scratch/inbox-$name file
  mkdir -p "$data"
  printf 'lang=%s\nfirst_run_done=1\nintro_shown=1\n' "${lang_index[$lang]}" > "$data/config.ini"
  if [ "$lang" = ja ]; then file=$scratch/files/$long_japanese; else file=$scratch/files/$long_latin; fi
  [ -f "$file" ] || head -c $((3 * 1048576)) /dev/urandom > "$file"

  wine "$exe" --data-dir "$(win "$data")" --inbox "$(win "$inbox")" &
  local agent=$!; pids+=($agent)
  check "$name: the agent starts" wait_for 60 file_has "$data/log.txt" "started (id"
  local port
  port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')

  local sizes small large expect_small=$(( (16 * dpi + 48) / 96 ))
  sizes=$(drv icon-sizes)
  small=$(sed -n 's/^small //p' <<< "$sizes"); large=$(sed -n 's/^large //p' <<< "$sizes")
  check "$name: the small icon is drawn at the small-icon size of $dpi DPI" \
    same_text small "$small" "$expect_small $expect_small"
  check "$name: the large icon is drawn at the icon size" \
    [ "${large% *}" = "${large#* }" ]

  send Anna "$scratch/send-$name.out" --max-rate 1M "$file" &
  local send=$!; pids+=($send)

  local buttons
  buttons=$(drv buttons 60)
  sleep 1   # read the prompt, as a person would
  shot "pairing-$name"
  check "$name: the pairing buttons speak the language, No the default" \
    same_text buttons "$(buttons_of "$buttons")" "${yes_no[$lang]} default"
  drv box yes 5 >/dev/null

  buttons=$(drv buttons 60)
  local offer
  offer=$(drv wait-box 5)
  sleep 1
  shot "offer-$name"
  check "$name: the offer keeps Yes as its default" \
    same_text buttons "$(buttons_of "$buttons")" "${yes_no[$lang]% *} default ${yes_no[$lang]#* }"
  check "$name: the offer prompt fits the screen" within_screen "$buttons"
  check "$name: the long name is shortened in the middle, its extension kept" \
    grep -q '…[^ ]*\.jpg$' <<< "$offer"
  xdotool key Return   # Enter takes the offer's default
  check "$name: the panel appears" drv wait-progress shown 20
  drv hide-balloon   # the balloon of the allowance would cover the panel's photograph
  sleep 1
  local fit detail
  fit=$(drv panel-fit)
  detail=$(drv progress | sed -n 's/^detail: //p')
  shot "panel-$name"
  check "$name: the panel's text fits its lines" lines_fit "$fit"
  check "$name: the counts and percentage show whole after the shortened name" \
    grep -qE '….*\.jpg  [0-9.]+ (B|KB|MB) / 3\.0 MB \([0-9]+%\)$' <<< "$detail"
  wait "$send"; check "$name: the file arrives" [ $? -eq 0 ]

  # The menu: opened by a real right click on the icon, driven by keys, closed by a click
  # elsewhere.
  local width height
  read -r width height < <(xdotool getdisplaygeometry)
  xdotool mousemove $((width - 12)) $((height - 12)) click 3
  check "$name: a right click opens the menu" drv menu 5 >/dev/null
  sleep 0.5
  shot "menu-$name"
  xdotool key Up Up
  check "$name: Up twice highlights About" \
    bash -c "wine '$driver' menu 2 | grep -q '#5 hilite'"
  xdotool key Return
  check "$name: Enter runs About" bash -c "wine '$driver' wait-box 10 | grep -q 'ferrylink 0.1.0'"
  sleep 1   # read it
  xdotool key Return
  check "$name: Enter closes the About box" drv nobox 2
  xdotool mousemove $((width - 12)) $((height - 12)) click 3
  check "$name: the menu opens again" drv menu 5 >/dev/null
  xdotool mousemove $((width / 3)) $((height / 3)) click 1
  check "$name: a click elsewhere closes the menu" wait_for 5 drv nomenu 0

  check "$name: nothing is left open" drv nobox 1
  drv quit
  check "$name: the agent ends" wait_for 30 bash -c "! kill -0 $agent 2>/dev/null"
  wait "$agent"; check "$name: the agent exits 0" [ $? -eq 0 ]
}

# 96 DPI first, in the prefix as it is when that is its DPI (none set means 96).
[ -z "$old_dpi" ] || [ $((old_dpi)) -eq 96 ] || restart_at 96
for lang in en de ja; do run_language 96 "$lang"; done
restart_at 144
for lang in en de ja; do run_language 144 "$lang"; done
restore_dpi
echo "all screen checks passed"
