# Scratch home, data folder and inbox for an agent that asks its questions on a terminal
# (or, with no terminal, answers them No): no graphical desktop, no install question. Needs
# lib.sh; sets data and inbox.
export HOME=$scratch/home; mkdir -p "$HOME"
export XDG_RUNTIME_DIR=$scratch/run; mkdir -p "$XDG_RUNTIME_DIR"
unset XDG_CONFIG_HOME APPDATA LANG LC_ALL LC_MESSAGES WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
data=$scratch/data; inbox=$scratch/inbox
mkdir -p "$data"
printf 'first_run_done=1\n' > "$data/config.ini"
