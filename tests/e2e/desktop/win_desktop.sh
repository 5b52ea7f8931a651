#!/usr/bin/env bash
# The Windows desktop under Wine, driven as a user would: the first-run question, the tray
# icon and its menu, the pairing and offer prompts, the clipboard, balloons that open the
# inbox, the progress panel (shown, read, hidden after the files and after 10 s of silence),
# changing the inbox, the notification area restarting, and quitting with a prompt open.
# A real sender (ferrylink-send) plays the phone over 127.0.0.1.
# Usage: win_desktop.sh FERRYLINK_EXE DESK_DRIVER_EXE SENDER SCREENSHOT_DIR (see win_lib.sh)
source "$(dirname "$0")/win_lib.sh"
# A folder on drive C: as well, since the folder picker is answered with a C: path.
cdir=$(mktemp -d "$WINEPREFIX/drive_c/fl-e2e.XXXXXX")
trap 'cleanup; rm -rf "$cdir"' EXIT

has_line() { grep -qxF -- "$2" <<< "$1"; }
no_line_starting() { ! grep -q -- "^$2" <<< "$1"; }
menu_now() {  # opens the tray menu, prints it and closes it again
  drv tray rbuttonup && drv menu && drv dismiss >/dev/null
}

accept_note='(If you choose Yes, this device can send you anything for the next 10 minutes without asking again.)'
data=$scratch/data
# A leaf name of this run's own, so that a window of an earlier run cannot pass for the inbox.
leaf=inbox-${scratch##*.}
inbox=$scratch/$leaf
mkdir -p "$scratch/files"
for f in a.jpg b.txt c.bin; do head -c 512 /dev/urandom > "$scratch/files/$f"; done
# The menu's "Start with Windows" check follows the Run value: start without one, whatever an
# earlier install test left in this prefix.
wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v ferrylink /f \
  >/dev/null 2>&1 || true

# --- first run: the install question, answered No, is remembered --------------------------
wine "$exe" --data-dir "$(win "$data")" --inbox "$(win "$inbox")" &
agent=$!; pids+=($agent)
text=$(drv box no 60)
check "first run asks the install question" same_text q "$text" \
  "$(printf 'Install ferrylink on this PC and start it when Windows starts?\n\nYes: install and start with Windows\nNo: just run it this time\nCancel: exit')"
check "the agent starts" wait_for 60 file_has "$data/log.txt" "started (id"
check "answering No stores first_run_done=1" file_has "$data/config.ini" "first_run_done=1"
check "the intro balloon is shown once and remembered" wait_for 10 file_has "$data/config.ini" "intro_shown=1"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')
check "the listener's port is logged" [ -n "$port" ]
check "the tray icon is there" [ "$(drv icon)" = present ]

# --- the menu without allowances; right click and the context-menu key both open it -------
plain_menu=$(printf '%s\n' "Open inbox folder #1" "Settings >" "  Change inbox folder... #3" \
  "  Start with Windows #4" "About ferrylink #5" "---" "Quit #6")
menu=$(menu_now)
check "the menu without allowances" same_text menu "$menu" "$plain_menu"
drv tray contextmenu
check "the context-menu event opens the same menu" same_text menu "$(drv menu)" "$plain_menu"
drv dismiss
# A real right click on the icon in the notification area opens the menu exactly once.
read -r width height < <(xdotool getdisplaygeometry)
xdotool mousemove $((width - 11)) $((height - 11)) click 3
check "a right click on the icon opens the menu" drv menu 5 >/dev/null
drv dismiss
check "the menu does not open a second time" drv nomenu 2

# --- pairing and the first offer: prompts with the exact texts ----------------------------
send Anna "$scratch/send1.out" "$scratch/files/a.jpg" "$scratch/files/b.txt" "$scratch/files/c.bin" &
send1=$!; pids+=($send1)
pairing=$(drv wait-box 60)
shot pairing-prompt
drv box yes 5 >/dev/null
offer=$(drv wait-box 60)
sleep 0.5   # the balloon of message 21 comes with the box
shot offer-prompt
drv box yes 5 >/dev/null
wait $send1; code=$?
check "the first send succeeds" [ $code -eq 0 ]
code_sent=$(grep -o 'Code: [0-9]\{6\}' "$scratch/send1.out" | awk '{print $2}')
check "the pairing prompt shows the phone's name and its code" same_text pairing "$pairing" \
  "$(printf 'Pair with "Anna"?\n\nCode: %s\n\nIf the same code is shown on the other device, choose Yes.' "$code_sent")"
check "the offer prompt names sender, count, size and first file" same_text offer "$offer" \
  "$(printf '"Anna" wants to send you 3 file(s) (1.5 KB):\na.jpg\n\nAccept?\n%s' "$accept_note")"
for f in a.jpg b.txt c.bin; do
  check "$f arrives whole" cmp -s "$scratch/files/$f" "$inbox/$f"
done
check "the progress panel is not left showing" drv wait-progress hidden 5

# --- the allowance: listed in the menu, text passes without a prompt ----------------------
menu=$(drv tray rbuttonup && drv menu)
shot menu-allowance
drv dismiss
check "the menu lists the allowance, grayed" has_line "$menu" "Allowing Anna (10 min left) #0 grayed"
check "the menu offers to stop allowing" has_line "$menu" "Stop allowing (ask every time) #2"
text='Grüße ✓ from the phone'
send Anna "$scratch/send2.out" --text "$text" &
send2=$!; pids+=($send2)
check "an allowed sender is not asked" drv nobox 4
wait $send2; check "the text is delivered" [ $? -eq 0 ]
check "the text is on the clipboard" same_text clip "$(drv clipboard)" "$text"

# The text's balloon has no target: clicking it opens nothing.
drv tray balloonclick
check "clicking a balloon without a target opens nothing" bash -c "! wine '$driver' window $leaf 3 >/dev/null"
# A files balloon opens the inbox of the moment.
send Anna "$scratch/send3.out" "$scratch/files/a.jpg"
drv tray balloonclick
check "clicking the files balloon opens the inbox" same_text window "$(drv window "$leaf" 10)" "$leaf"
drv tray lbuttonup
check "a left click opens the inbox" same_text window "$(drv window "$leaf" 10)" "$leaf"

# --- stop allowing: the next offer asks again; No refuses it ------------------------------
drv tray rbuttonup
drv pick "Stop allowing (ask every time)"
check "no allowance is listed any more" no_line_starting "$(menu_now)" "Allowing "
send Anna "$scratch/send4.out" --link "https://example.org/ferry?x=1" &
send4=$!; pids+=($send4)
link=$(drv box no 30)
check "the link prompt" same_text link "$link" \
  "$(printf '"Anna" wants to send you a link.\n\nAccept?\n%s' "$accept_note")"
wait $send4; code=$?
check "a refused link fails on the phone" [ $code -ne 0 ]
check "a refused link leaves the clipboard alone" same_text clip "$(drv clipboard)" "$text"

# --- the progress panel during a slow transfer --------------------------------------------
head -c $((24 * 1048576)) /dev/urandom > "$scratch/files/big.bin"
drv focus-guard 12 > "$scratch/focus.out" &
guard=$!; pids+=($guard)
check "a window of the user's has the focus" wait_for 20 grep -q ready "$scratch/focus.out"
send Anna "$scratch/send5.out" --max-rate 2M "$scratch/files/big.bin" &
send5=$!; pids+=($send5)
drv box yes 30 >/dev/null
check "the panel appears while the file arrives" drv wait-progress shown 20
sleep 2
panel=$(drv progress)
shot progress-panel
wait $guard
check "the panel leaves the focus where it was" grep -qx kept "$scratch/focus.out"
field() { sed -n "s/^$1: //p" <<< "$panel"; }
check "the panel's title names the sender" same_text title "$(field title)" "Receiving from Anna"
detail=$(field detail)
check "the detail line shows file and bytes" \
  grep -qE '^big\.bin  [0-9.]+ (KB|MB) / 24\.0 MB \([0-9]+%\)$' <<< "$detail"
percent=$(sed -E 's/.*\(([0-9]+)%\)$/\1/' <<< "$detail")
check "the bar stands where the text says" [ $(( $(field bar) / 10 )) -eq "$percent" ]
check "the bar counts to 1000" same_text range "$(field bar-range)" "0-1000"
read -r al at ar ab <<< "$(field workarea)"
check "the panel sits in the work area's bottom-right corner" \
  same_text rect "$(field rect)" "$((ar - 374)) $((ab - 106)) 360 92"
check "the panel is topmost, a tool window and never activated" \
  [ $(( 0x$(field exstyle) & 0x08000088 )) -eq $(( 0x08000088 )) ]
wait $send5; check "the big file arrives" [ $? -eq 0 ]
check "the panel hides when the files are stored" drv wait-progress hidden 5
check "big.bin is whole" cmp -s "$scratch/files/big.bin" "$inbox/big.bin"

# --- ten seconds without a report hide the panel ------------------------------------------
head -c $((16 * 1048576)) /dev/urandom > "$scratch/files/stall.bin"
send Anna "$scratch/send6.out" --max-rate 1M "$scratch/files/stall.bin" &
send6=$!; pids+=($send6)
check "the panel shows for the next transfer" drv wait-progress shown 20
sleep 2
kill -STOP $send6
stopped=$SECONDS
sleep 8
check "8 s after the sender stalled the panel is still shown" drv wait-progress shown 0
check "the panel hides about 10 s after the last report" drv wait-progress hidden 6
check "... and not before" [ $((SECONDS - stopped)) -ge 10 ]
kill -CONT $send6
check "it shows again when reports resume" drv wait-progress shown 10
wait $send6; check "the stalled transfer completes" [ $? -eq 0 ]

# --- the notification area restarts; a log-off is cancelled ------------------------------
drv drop-icon
check "the shell lost the icon" [ "$(drv icon)" = absent ]
drv taskbar-created
check "TaskbarCreated adds the icon again" [ "$(drv icon)" = present ]
drv endsession 0
check "a cancelled log-off keeps the icon" [ "$(drv icon)" = present ]
drv endsession 1
check "an ending session removes the icon" [ "$(drv icon)" = absent ]
drv taskbar-created
check "... and the agent still runs to add it again" [ "$(drv icon)" = present ]

# --- changing the inbox restarts the listener; new files go there -------------------------
newbox="C:\\$(basename "$cdir")\\inbox-two"
mkdir -p "$cdir/inbox-two"
listening_before=$(grep -c 'listening on port' "$data/log.txt")
drv tray rbuttonup
drv pick Settings "Change inbox folder..."
picker=$(drv folder "$newbox" 20)
check "the folder picker asks for the inbox" has_line "$picker" "text: Choose the folder where received files are saved"
check "a new listener starts" wait_for 10 \
  bash -c "[ \$(grep -c 'listening on port' '$data/log.txt') -gt $listening_before ]"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')
check "the new inbox is saved" same_text inbox "$(sed -n 's/^inbox_dir=//p' "$data/config.ini" | tr -d '\r')" "$newbox"
send Anna "$scratch/send7.out" "$scratch/files/b.txt" &
send7=$!; pids+=($send7)
check "the allowance outlives the listener" drv nobox 3
wait $send7; check "a send after the change succeeds" [ $? -eq 0 ]
check "new files land in the new inbox" cmp -s "$scratch/files/b.txt" "$cdir/inbox-two/b.txt"

# --- About ---------------------------------------------------------------------------------
drv tray rbuttonup
drv pick "About ferrylink"
about=$(drv wait-box 10)
shot about-box
drv box ok 5 >/dev/null
device=$(sed -n 's/.*started (id \([0-9a-f]*\),.*/\1/p' "$data/log.txt" | tail -1)
check "the About box shows version, device id, inbox and port" same_text about "$about" \
  "$(printf 'ferrylink 0.1.0\nReceives files from your iPhone over the local network.\n\nDevice ID: %s\nInbox: %s\nPort: %s' "$device" "$newbox" "$port")"

# --- Enter on a pairing prompt declines; Quit while a prompt is open ------------------------
send Ben "$scratch/send8.out" "$scratch/files/a.jpg" &
send8=$!; pids+=($send8)
buttons=$(drv buttons 30)
check "the pairing prompt's buttons, No the default" same_text buttons \
  "$(awk '$1 ~ /^[0-9]+$/ {print $1, $2 ($3 == "default" ? " default" : "")}' <<< "$buttons")" \
  "$(printf '6 &Yes\n7 &No default')"
sleep 2   # read the prompt, as a person would
xdotool key Return
wait $send8; check "Enter declines the pairing" [ $? -ne 0 ]
check "the phone is told the PC declined" file_has "$scratch/send8.out" "pairing declined on the PC"

send Cara "$scratch/send9.out" "$scratch/files/a.jpg" &
send9=$!; pids+=($send9)
drv wait-box 30 >/dev/null
drv tray rbuttonup
drv pick Quit
wait $agent; code=$?
check "Quit ends the agent with a prompt still open" [ $code -eq 0 ]
check "the prompt went with the process" drv nobox 2
wait $send9
check "the agent window is gone" bash -c "! wine '$driver' quit 1 2>/dev/null"

# --- unattended mode: codes and offers are taken without a box and logged -----------------
wine "$exe" --autotest --data-dir "$(win "$data")" --inbox "$(win "$inbox")" &
agent=$!; pids+=($agent)
lines_before=$(grep -c 'started (id' "$data/log.txt")
check "the unattended agent starts" wait_for 60 \
  bash -c "[ \$(grep -c 'started (id' '$data/log.txt') -gt $lines_before ]"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')
send Dave "$scratch/send10.out" "$scratch/files/c.bin" &
send10=$!; pids+=($send10)
check "unattended mode shows no box" drv nobox 5
wait $send10; check "the unattended send succeeds" [ $? -eq 0 ]
code_sent=$(grep -o 'Code: [0-9]\{6\}' "$scratch/send10.out" | awk '{print $2}')
check "the pairing code is logged instead of asked" \
  file_has "$data/log.txt" "AUTOTEST pairing code=$code_sent peer=Dave"
check "the offer is logged instead of asked" \
  file_has "$data/log.txt" "AUTOTEST offer from=Dave kind=1 count=1 total=512 B"
drv quit
wait $agent; check "the unattended agent exits 0" [ $? -eq 0 ]
echo "all Windows desktop checks passed"
