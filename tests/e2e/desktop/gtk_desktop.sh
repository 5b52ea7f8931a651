#!/usr/bin/env bash
# The Linux agent's graphical desktop, used as a person would: on a virtual display of its
# own with a private session bus, where desk_session.py plays the panel (a
# StatusNotifierWatcher that reads and clicks the tray menu) and the notification server.
# Dialogs are read for a moment and answered from the keyboard (xdotool), the clipboard is
# read with xclip, a real sender (ferrylink-send) plays the phone over 127.0.0.1.
# Usage: gtk_desktop.sh FERRYLINK FERRYLINK_SEND SCREENSHOT_DIR   (run under dbus-run-session)
agent=$1; sender=$2; shots=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../shell/lib.sh"
: "${DBUS_SESSION_BUS_ADDRESS:?run under dbus-run-session}"
mkdir -p "$shots"
export HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/run XDG_CONFIG_HOME=$scratch/home/.config
export XDG_DATA_HOME=$scratch/home/.local/share
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY LANG LC_ALL LC_MESSAGES LANGUAGE
export NO_AT_BRIDGE=1 GDK_BACKEND=x11

# A display of our own; Xvfb picks a free number.
exec 4> "$scratch/display"
Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
exec 4>&-
wait_for 10 test -s "$scratch/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$scratch/display")

# "Opening" a folder runs this recorder: the session's default application for folders.
cat > "$scratch/opened.sh" <<EOF
#!/bin/sh
echo "\$1" >> "$scratch/opened.txt"
EOF
chmod +x "$scratch/opened.sh"
cat > "$XDG_DATA_HOME/applications/fl-test-files.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Files
Exec=$scratch/opened.sh %u
MimeType=inode/directory;
EOF
printf '[Default Applications]\ninode/directory=fl-test-files.desktop\n' \
  > "$XDG_CONFIG_HOME/mimeapps.list"

session() { /usr/bin/python3 "$here/desk_session.py" "$@"; }
session serve > "$scratch/session.out" 2>&1 &
pids+=($!)
wait_for 10 file_has "$scratch/session.out" serving || fail "session services did not start"

shot() { import -display "$DISPLAY" -window root "$shots/linux-$1.png"; }
same_text() {  # same_text WHAT GOT WANT
  [ "$2" = "$3" ] && return 0
  printf 'got:  %q\nwant: %q\n' "$2" "$3" >&2
  return 1
}
has_line() { grep -qxF -- "$2" <<< "$1"; }
# The agent's visible windows titled "ferrylink", by their kind (dialog or notification).
windows_of_kind() {
  local w
  for w in $(xdotool search --onlyvisible --name '^ferrylink$' 2>/dev/null); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q "_NET_WM_WINDOW_TYPE_$1" && echo "$w"
  done
}
window_listed() { windows_of_kind "$2" | grep -qx "$1"; }
dialog_shown() { [ -n "$(windows_of_kind DIALOG)" ]; }
progress_shown() { [ -n "$(windows_of_kind NOTIFICATION)" ]; }
# answer KEY [SHOT]: waits for a dialog, reads it for a moment like a person, then types KEY.
answer() {
  wait_for 30 dialog_shown || return 1
  local w; w=$(windows_of_kind DIALOG | head -1)
  sleep 2
  [ -n "${2:-}" ] && shot "$2"
  xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus --sync "$w"
  xdotool key --clearmodifiers "$1"
  wait_for 10 not window_listed "$w" DIALOG
}
notes() { session notes; }
note_bodies() { notes | /usr/bin/python3 -c 'import json,sys
for l in sys.stdin:
    l = l.strip()
    if l: print(json.loads(l)["body"])'; }
# the id of the newest notification whose body is the text
note_id() { notes | /usr/bin/python3 -c 'import json,sys
ids = [json.loads(l)["id"] for l in sys.stdin if l.strip() and json.loads(l)["body"] == sys.argv[1]]
print(ids[-1] if ids else "")' "$1"; }
noted() { has_line "$(note_bodies)" "$1"; }
send() {  # send NAME OUT ARGS...
  local name=$1 out=$2; shift 2
  "$sender" --to "127.0.0.1:$port" --name "$name" --yes --data-dir "$scratch/phone-$name" "$@" \
    > "$out" 2>&1
}
item_field() { session item | sed -n "s/^$1: //p"; }
item_registered() { session item >/dev/null 2>&1; }
title_is() { [ "$(item_field Title)" = "$1" ]; }
clipboard_is() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]; }
not() { ! "$@"; }
chooser_title="Choose the folder where received files are saved"
chooser_shown() { xdotool search --onlyvisible --name "^$chooser_title\$" >/dev/null; }
more_lines_than() { [ "$(grep -c "$2" "$data/log.txt")" -gt "$1" ]; }
user_window_shown() { xdotool search --onlyvisible --name "^user-editor$" >/dev/null; }
menu_has() { session menu | grep -- "$1" >/dev/null; }

data=$scratch/data; inbox=$scratch/inbox
mkdir -p "$scratch/files"
for f in a.jpg b.txt c.bin; do head -c 512 /dev/urandom > "$scratch/files/$f"; done

# --- first run: the install question as a dialog, answered No ------------------------------
"$agent" --data-dir "$data" --inbox "$inbox" > "$scratch/agent.out" 2>&1 &
agent_pid=$!; pids+=($agent_pid)
check "the first-run question is a dialog; No runs it this time" answer alt+n first-run
check "the agent starts" wait_for 20 file_has "$data/log.txt" "started (id"
check "No is remembered" file_has "$data/config.ini" "first_run_done=1"
check "nothing is asked on the terminal" not file_has "$scratch/agent.out" "[y/"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')

# --- the tray item and the intro notification ---------------------------------------------
check "the tray item registers with the watcher" wait_for 10 item_registered
check "the tray item shows the agent's icon" same_text icon "$(item_field IconName)" ferrylink
icon_dir=$(item_field IconThemePath)
check "the icon file is the drawn 64-pixel icon" \
  same_text png "$(identify -format '%m %wx%h %[channels]' "$icon_dir/ferrylink.png")" "PNG 64x64 srgba"
check "the tray item is active" same_text status "$(item_field Status)" Active
check "the tooltip (title) says ready" same_text title "$(item_field Title)" "ferrylink - ready"
check "the intro notification is shown" wait_for 10 noted \
  "ferrylink is now running in the background. When a device wants to send you files, you will be asked to accept. Click its icon in the panel to open the menu."
check "the intro is remembered" wait_for 5 file_has "$data/config.ini" "intro_shown=1"

plain_menu=$(printf '%s\n' "Open inbox folder" "Settings >" "  Change inbox folder..." \
  "  Start at login [ ]" "About ferrylink" "---" "Quit")
check "the menu without allowances" same_text menu "$(session menu)" "$plain_menu"

# --- pairing and the first offer ------------------------------------------------------------
send Anna "$scratch/send1.out" "$scratch/files/a.jpg" "$scratch/files/b.txt" "$scratch/files/c.bin" &
send1=$!; pids+=($send1)
check "the pairing question is a dialog; Yes" answer alt+y pairing-prompt
check "the offer question is a dialog; Yes" answer alt+y offer-prompt
wait $send1; check "the first send succeeds" [ $? -eq 0 ]
for f in a.jpg b.txt c.bin; do check "$f arrives whole" cmp -s "$scratch/files/$f" "$inbox/$f"; done
for n in "Paired with Anna" "Anna wants to send you something. Please answer the question." \
         'Receiving from "Anna" without asking for the next 10 minutes' "From Anna: received 3 file(s)"; do
  check "notification: $n" wait_for 5 noted "$n"
done

# --- the allowance in the menu; text passes without a question ------------------------------
# The menu follows the allowances within a second.
check "the menu lists the allowance, grayed" wait_for 3 menu_has '^Allowing Anna (10 min left) (grayed)$'
check "the menu offers to stop allowing" menu_has '^Stop allowing (ask every time)$'
text='Grüße ✓ from the phone'
send Anna "$scratch/send2.out" --text "$text"
check "the allowed text is delivered without a question" [ $? -eq 0 ]
check "the text is on the clipboard" wait_for 5 clipboard_is "$text"
check "the text notification" wait_for 5 noted "Text from Anna was copied to the clipboard"

# --- a files notification opens the inbox when clicked; only the newest counts -------------
text_note=$(note_id "Text from Anna was copied to the clipboard")
session click-note "$text_note"
sleep 1
check "clicking the text notification opens nothing" not test -e "$scratch/opened.txt"
send Anna "$scratch/send2b.out" "$scratch/files/a.jpg"
check "a file notification" wait_for 5 noted "From Anna: received 1 file(s)"
check "the files notification offers a click" \
  grep -qF '"actions": ["default", "Open inbox folder"]' <<< "$(notes | grep -F 'received 1 file')"
session click-note "$(note_id "From Anna: received 1 file(s)")"
check "clicking the files notification opens the inbox" wait_for 10 file_has "$scratch/opened.txt" "$inbox"

# --- Stop allowing from the menu: the next offer asks again; No refuses it -------------------
session click "Stop allowing (ask every time)"
check "no allowance is listed any more" wait_for 5 not menu_has '^Allowing '
send Anna "$scratch/send3.out" --link "https://example.org/ferry?x=1" &
send3=$!; pids+=($send3)
check "the link question is a dialog; No" answer alt+n
wait $send3; check "a refused link fails on the phone" [ $? -ne 0 ]
check "a refused link leaves the clipboard alone" same_text clip "$(xclip -o -selection clipboard)" "$text"

# --- the progress window during a slow transfer ---------------------------------------------
session focus-window &
pids+=($!)
check "a window of the user's is there" wait_for 10 user_window_shown
user_win=$(xdotool search --onlyvisible --name '^user-editor$' | head -1)
head -c $((12 * 1048576)) /dev/urandom > "$scratch/files/big.bin"
send Anna "$scratch/send4.out" --max-rate 2M "$scratch/files/big.bin" &
send4=$!; pids+=($send4)
check "the big file's question; Yes" answer alt+y
xdotool windowfocus --sync "$user_win"
check "the progress window appears" wait_for 20 progress_shown
sleep 2
panel=$(windows_of_kind NOTIFICATION | head -1)
shot progress-window
check "the user's window keeps the focus" same_text focus "$(xdotool getwindowfocus)" "$user_win"
check "the progress window never accepts focus" \
  grep -q 'Client accepts input or input focus: False' <<< "$(xprop -id "$panel" WM_HINTS)"
eval "$(xdotool getwindowgeometry --shell "$panel")"
check "it sits in the bottom-right corner" same_text rect "$X $Y $WIDTH $HEIGHT" "650 662 360 92"
check "the tooltip shows the percentage" grep -qE '^Receiving from Anna: [0-9]+%$' <<< "$(item_field Title)"
wait $send4; check "the big file arrives" [ $? -eq 0 ]
check "the progress window hides when the files are stored" wait_for 5 not progress_shown
check "big.bin is whole" cmp -s "$scratch/files/big.bin" "$inbox/big.bin"
check "the tooltip is back to ready" wait_for 5 title_is "ferrylink - ready"

# --- ten seconds without a report hide the progress window --------------------------------
head -c $((8 * 1048576)) /dev/urandom > "$scratch/files/stall.bin"
send Anna "$scratch/send4s.out" --max-rate 1M "$scratch/files/stall.bin" &
send4s=$!; pids+=($send4s)
check "the progress window shows for the next transfer" wait_for 20 progress_shown
sleep 1
kill -STOP $send4s
# Reports come per piece received, so the last one may be a little older than the stall.
sleep 7
check "7 s after the sender stalled it is still shown" progress_shown
check "it hides once no report came for 10 s" wait_for 8 not progress_shown
kill -CONT $send4s
wait $send4s; check "the stalled transfer completes" [ $? -eq 0 ]

# --- Settings: start at login, another inbox -----------------------------------------------
entry=$XDG_CONFIG_HOME/autostart/ferrylink.desktop
session click Settings "Start at login"
check "Start at login writes the autostart entry" wait_for 5 test -f "$entry"
check "... for this program" file_has "$entry" "Exec=\"$(readlink -f "$agent")\""
check "... and the menu shows it checked" wait_for 3 menu_has '^  Start at login \[x\]$'
session click Settings "Start at login"
check "choosing it again removes the entry" wait_for 5 not test -e "$entry"

newbox=$scratch/inbox-two
mkdir -p "$newbox"
listening_before=$(grep -c 'listening on port' "$data/log.txt")
session click Settings "Change inbox folder..."
check "the folder chooser opens" wait_for 10 chooser_shown
sleep 2
shot folder-chooser
chooser=$(xdotool search --onlyvisible --name "^$chooser_title\$" | head -1)
xdotool windowactivate --sync "$chooser" 2>/dev/null || xdotool windowfocus --sync "$chooser"
xdotool key --clearmodifiers ctrl+l
sleep 0.5
xdotool type --delay 20 "$newbox/"
sleep 1
xdotool key --clearmodifiers alt+o
check "the new inbox is saved" wait_for 10 file_has "$data/config.ini" "inbox_dir=$newbox"
check "the chooser is gone" wait_for 5 not chooser_shown
check "a new listener starts" wait_for 10 more_lines_than "$listening_before" 'listening on port'
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')
send Anna "$scratch/send4b.out" "$scratch/files/b.txt"
check "a send after the change succeeds (the allowance outlives the listener)" [ $? -eq 0 ]
check "new files land in the new inbox" cmp -s "$scratch/files/b.txt" "$newbox/b.txt"

# --- Enter pressed by habit does not pair: No is the pairing question's default ------------
send Ben "$scratch/send5b.out" "$scratch/files/a.jpg" &
send5b=$!; pids+=($send5b)
check "Enter answers the pairing question" answer Return
wait $send5b; check "... with No: the pairing fails on the phone" [ $? -ne 0 ]
check "the phone is told the PC declined" file_has "$scratch/send5b.out" "pairing declined on the PC"

# --- About --------------------------------------------------------------------------------
session click "About ferrylink"
check "About shows a message; Return closes it" answer Return about-box

# --- Quit while a question is open ---------------------------------------------------------
send Cara "$scratch/send5.out" "$scratch/files/a.jpg" &
send5=$!; pids+=($send5)
check "a pairing question is open" wait_for 30 dialog_shown
shot notifications
session click Quit
check "Quit ends the agent with a question open" wait_for 10 not kill -0 "$agent_pid" 2>/dev/null
wait $agent_pid; check "... with exit code 0" [ $? -eq 0 ]
wait $send5; check "the unanswered pairing fails on the phone" [ $? -ne 0 ]

# --- --console keeps the terminal desktop in a graphical session; SIGTERM ends either ------
# (unattended, so that nothing waits for an answer)
run_unattended() {  # run_unattended OUT [OPTIONS...]
  local out=$1; shift
  "$agent" "$@" --autotest --data-dir "$data" --inbox "$inbox" > "$out" 2>&1 &
  agent_pid=$!; pids+=($agent_pid)
  wait_for 20 more_lines_than "$started" "started (id" || return 1
  started=$((started + 1))
  port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')
}
stops_on_term() { kill -TERM "$agent_pid"; wait_for 10 not kill -0 "$agent_pid" 2>/dev/null; }
started=$(grep -c "started (id" "$data/log.txt")
check "an unattended agent with --console starts" run_unattended "$scratch/console.out" --console
send Dave "$scratch/send6.out" "$scratch/files/c.bin"
check "its send succeeds without a question" [ $? -eq 0 ]
check "its notices go to the terminal" wait_for 5 file_has "$scratch/console.out" "ferrylink: Paired with Dave"
check "... not to the notification server" not noted "Paired with Dave"
check "SIGTERM ends the terminal desktop" stops_on_term
check "an unattended agent on the desktop starts" run_unattended "$scratch/desktop.out"
send Eve "$scratch/send7.out" "$scratch/files/c.bin"
check "its send succeeds without a dialog" [ $? -eq 0 ]
check "its notices are notifications" wait_for 5 noted "Paired with Eve"
check "SIGTERM ends the graphical desktop" stops_on_term
wait "$agent_pid"; check "... with exit code 0" [ $? -eq 0 ]
echo "all Linux graphical desktop checks passed"
