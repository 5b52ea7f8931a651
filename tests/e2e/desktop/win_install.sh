#!/usr/bin/env bash
# Installing and uninstalling under Wine as a user would: --install from a download folder,
# the installed copy starting without a question, "Start with Windows" in the tray menu,
# --uninstall from another copy while the installed copy runs (which is asked to quit first;
# answering No) and from the installed copy (answering Yes), which removes the data files,
# the Run value and the program, however long the person reads the last box. The boxes are
# read for a few seconds before they are answered, as a person would.
# Wine's netsh does nothing; the exact firewall command lines are checked by the
# install_win32_tests unit test through its recording seam.
# Usage: win_install.sh FERRYLINK_EXE DESK_DRIVER_EXE
exe=$1; driver=$2
source "$(dirname "$0")/../shell/lib.sh"
: "${WINEPREFIX:?the Windows tests run in a prepared Wine prefix (scripts/wine-prefix.sh)}"
: "${DISPLAY:?the desktop tests need an X display (scripts/xvfb.sh)}"
export WINEDEBUG=-all

drv() { wine "$driver" "$@" | tr -d '\r'; }
# The installed copy is started by the installer, not by this script: quit whatever agent
# still runs, or it would hold the test's output open.
trap 'wine "$driver" quit 1 >/dev/null 2>&1; cleanup' EXIT
win_env() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run_value() {  # the data of the Run value "ferrylink", or nothing
  wine reg query "$run_key" /v ferrylink 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *ferrylink *REG_SZ *//p'
}
menu_now() { drv tray rbuttonup && drv menu && drv dismiss >/dev/null; }
same_text() {
  [ "$2" = "$3" ] && return 0
  printf 'got:  %q\nwant: %q\n' "$2" "$3" >&2
  return 1
}
has_line() { grep -qxF -- "$2" <<< "$1"; }
agent_gone() { ! wine "$driver" agent-path 0 >/dev/null 2>&1; }
run_value_is() { [ "$(run_value)" = "$1" ]; }

local_win=$(win_env LOCALAPPDATA)
installed_win="$local_win\\ferrylink\\ferrylink.exe"
installed=$(winepath -u "$installed_win" 2>/dev/null)
folder=$(dirname "$installed")
data=$(winepath -u "$(win_env APPDATA)\\ferrylink" 2>/dev/null)
check "the prefix names its folders" [ -n "$local_win" ] && [ -n "$installed" ] && [ -n "$data" ]
# Start from a user who never installed the agent.
rm -rf "$folder" "$data"
wine reg delete "$run_key" /v ferrylink /f >/dev/null 2>&1

downloads=$scratch/Downloads
mkdir -p "$downloads"
cp "$exe" "$downloads/ferrylink.exe"

# --- install from the download folder ------------------------------------------------------
wine "$downloads/ferrylink.exe" --install &
installer=$!; pids+=($installer)
text=$(drv box ok 60)
check "install says so" same_text installed "$text" "Installed. ferrylink will start with Windows."
wait $installer; check "install exits 0" [ $? -eq 0 ]
check "the program is copied into the local application data" cmp -s "$exe" "$installed"
check "the Run value starts the installed copy" same_text run "$(run_value)" "\"$installed_win\""
check "the firewall step is logged" file_has "$data/log.txt" "firewall rule exit code 0"
check "the install is remembered" file_has "$data/config.ini" "first_run_done=1"

# --- the installed copy runs, asks nothing, and switches autostart -----------------------
running=$(drv agent-path 60)
check "the installed copy was started" same_text path "${running,,}" "${installed_win,,}"
check "the installed copy asks no install question" drv nobox 3
check "the menu shows autostart on" has_line "$(menu_now)" "  Start with Windows #4 checked"
drv tray rbuttonup
drv pick Settings "Start with Windows"
check "unchecking removes the Run value" wait_for 5 run_value_is ""
check "the menu shows autostart off" has_line "$(menu_now)" "  Start with Windows #4"
drv tray rbuttonup
drv pick Settings "Start with Windows"
check "checking registers the running copy again" wait_for 5 run_value_is "\"$running\""
# The process lets go of the one-copy guard only after its window is gone: wait for the
# process itself before starting another copy.
wine "$driver" watch-exit 30 > "$scratch/watch.out" 2>/dev/null &
watcher=$!
wait_for 30 file_has "$scratch/watch.out" watching || fail "the agent's process cannot be watched"
drv tray rbuttonup
drv pick Quit
check "Quit ends the installed copy" wait_for 20 agent_gone
check "and its process ends" wait "$watcher"

# "Start with Windows" from a copy that is not the installed one registers that copy.
wine "$downloads/ferrylink.exe" --autotest --data-dir "$(winepath -w "$scratch/other-data")" \
  --inbox "$(winepath -w "$scratch/inbox")" &
other=$!; pids+=($other)
check "another copy runs" wait_for 60 file_has "$scratch/other-data/log.txt" "started (id"
check "autostart shows checked, whichever copy it names" has_line "$(menu_now)" "  Start with Windows #4 checked"
drv tray rbuttonup
drv pick Settings "Start with Windows"   # checked: this removes it
drv tray rbuttonup
drv pick Settings "Start with Windows"   # and this registers the download copy
check "the download copy is registered" wait_for 5 \
  run_value_is "\"$(winepath -w "$downloads/ferrylink.exe")\""
drv quit
wait $other

# --- uninstall from the download copy while the installed copy runs, keeping the data -----
# No phone was paired here; an empty list stands in for the trusted devices.
[ -e "$data/trust.txt" ] || : > "$data/trust.txt"
wine "$installed" &
pids+=($!)
check "the installed copy runs again" wait_for 60 bash -c "[ \$(grep -c 'started (id' '$data/log.txt') -ge 2 ]"
wine "$downloads/ferrylink.exe" --uninstall &
uninstaller=$!; pids+=($uninstaller)
drv wait-box 60 >/dev/null; sleep 4
check "the running agent was asked to quit first" agent_gone
check "... and the log says it ended" file_has "$data/log.txt" "the running agent was asked to quit and has ended"
question=$(drv box no 5)
check "uninstall asks about the data" same_text question "$question" \
  "$(printf 'Also delete settings and paired devices?\n(Received files are kept.)')"
check "uninstall says so" same_text removed "$(drv box ok 30)" "ferrylink was removed."
wait $uninstaller; check "uninstall exits 0" [ $? -eq 0 ]
check "the Run value is gone" [ -z "$(run_value)" ]
for f in identity.key trust.txt config.ini log.txt; do
  check "answering No keeps $f" [ -f "$data/$f" ]
done
sleep 4
check "an uninstall from another copy leaves the installed program" [ -f "$installed" ]

# --- an installed program that cannot be removed is not reported removed -----------------
mkdir "$installed.removed"  # a folder in the way of the program file's rename
wine "$installed" --uninstall &
uninstaller=$!; pids+=($uninstaller)
drv wait-box 60 >/dev/null; sleep 3
drv box no 5 >/dev/null
last=$(drv wait-box 30); sleep 3
check "the last box says the program file stays" same_text unremoved "$last" \
  "$(printf 'ferrylink was turned off, but its program file could not be removed:\n%s' "$(winepath -w "$installed")")"
drv box ok 5 >/dev/null
wait $uninstaller
check "the program file is still there" [ -f "$installed" ]
rmdir "$installed.removed"

# --- uninstall from the installed copy, deleting the data --------------------------------
autostart_probe=$(run_value)
echo stray > "$data/config.ini.tmp"
wine "$installed" --uninstall &
uninstaller=$!; pids+=($uninstaller)
drv wait-box 60 >/dev/null; sleep 3
drv box yes 5 >/dev/null
check "the installed copy's uninstall says so" same_text removed "$(drv wait-box 30)" "ferrylink was removed."
check "the program file is gone while the box is read" [ ! -e "$installed" ]
sleep 6  # a person reads the last box
drv box ok 5 >/dev/null
wait $uninstaller; check "uninstall exits 0" [ $? -eq 0 ]
for f in identity.key trust.txt config.ini log.txt; do
  check "answering Yes deletes $f" [ ! -e "$data/$f" ]
done
check "other files keep the data folder" [ -f "$data/config.ini.tmp" ]
check "the Run value stays gone" [ -z "$(run_value)$autostart_probe" ]
check "what was left of the program goes after the process" wait_for 15 [ ! -e "$installed.removed" ]
check "and its folder with it" wait_for 5 [ ! -d "$folder" ]
rm -rf "$data"
echo "all Windows install checks passed"
