#!/usr/bin/env bash
# Installing and uninstalling the Linux agent in a temporary home folder: --install copies the
# program to ~/.local/bin and writes the XDG autostart entry, then starts the installed copy,
# which asks nothing; --uninstall asks on the terminal, removes the entry and, answered Yes,
# the data files; run from the installed copy it removes that copy too.
# Usage: console_install.sh FERRYLINK
agent=$1
source "$(dirname "$0")/../shell/lib.sh"
export HOME=$scratch/home; mkdir -p "$HOME"
export XDG_RUNTIME_DIR=$scratch/run; mkdir -p "$XDG_RUNTIME_DIR"
unset XDG_CONFIG_HOME XDG_DATA_HOME APPDATA LANG LC_ALL LC_MESSAGES
installed=$HOME/.local/bin/ferrylink
entry=$HOME/.config/autostart/ferrylink.desktop
data=$HOME/.config/ferrylink

# The installed copy is started by the installer, not by this script; it is found by its
# exact program path (unique to this test's home folder) and stopped by its process id.
installed_pid() { pgrep -xf "$installed" | head -1; }
stop_installed() {
  local pid; pid=$(installed_pid)
  [ -n "$pid" ] && kill -INT "$pid" && wait_for 10 bash -c "! kill -0 $pid 2>/dev/null"
}
trap 'stop_installed; cleanup' EXIT

# An install that cannot copy the program (a file where ~/.local/bin should be) says why and
# ends with a non-zero code; nothing is installed.
mkdir -p "$HOME/.local"; printf 'x' > "$HOME/.local/bin"
"$agent" --install < /dev/null 2> "$scratch/install-failed.err"
check "a failed install exits non-zero" [ $? -ne 0 ]
check "... and says why" file_has "$scratch/install-failed.err" \
  "ferrylink could not be installed: the program could not be copied into its folder"
check "... and logs where it tried" file_has "$data/log.txt" "the program could not be copied to $installed"
check "... and writes no autostart entry" [ ! -e "$entry" ]
rm "$HOME/.local/bin"

"$agent" --install < /dev/null 2> "$scratch/install.err"
check "install exits 0" [ $? -eq 0 ]
check "install says so" file_has "$scratch/install.err" "Installed. ferrylink will start when you log in."
check "the program is copied to ~/.local/bin" cmp -s "$agent" "$installed"
check "the copy can run" [ -x "$installed" ]
check "the autostart entry starts the installed copy" grep -qxF "Exec=\"$installed\"" "$entry"
check "the installed copy is started" wait_for 20 file_has "$data/log.txt" "started (id"
check "... and it is the installed copy" [ -n "$(installed_pid)" ]
check "the installed copy asked nothing and remembers the first run" \
  file_has "$data/config.ini" "first_run_done=1"
running=$(installed_pid)

# Uninstall from another copy without a terminal, while the installed copy runs: the running
# agent is asked to quit first; the question is answered No.
"$agent" --uninstall < /dev/null 2> "$scratch/uninstall1.err"
check "uninstall exits 0" [ $? -eq 0 ]
# Ended: gone, or a zombie nobody reaps (the starter's child was adopted).
ended() { local st; st=$(ps -o stat= -p "$1"); [ -z "$st" ] || [[ $st == Z* ]]; }
check "the running installed copy was asked to quit and has ended" ended "$running"
check "... and the log says so" file_has "$data/log.txt" "the running agent was asked to quit and has ended"
check "uninstall asks about the data" file_has "$scratch/uninstall1.err" \
  "Also delete settings and paired devices?"
check "uninstall says so" file_has "$scratch/uninstall1.err" "ferrylink was removed."
check "the autostart entry is gone" [ ! -e "$entry" ]
for f in identity.key config.ini log.txt; do check "answering No keeps $f" [ -f "$data/$f" ]; done
check "an uninstall from another copy leaves the installed program" [ -f "$installed" ]

# Uninstall from the installed copy on a terminal, answering Yes.
printf 'y\n' | script -qec "'$installed' --uninstall" /dev/null > "$scratch/uninstall2.out" 2>&1
check "the terminal question is answered" file_has "$scratch/uninstall2.out" "[y/N]"
for f in identity.key trust.txt config.ini log.txt; do check "answering Yes deletes $f" [ ! -e "$data/$f" ]; done
check "the emptied data folder goes too" [ ! -d "$data" ]
check "the installed copy removes itself" [ ! -e "$installed" ]
echo "all Linux install checks passed"
