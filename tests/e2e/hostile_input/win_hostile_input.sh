#!/usr/bin/env bash
# The Windows agent under Wine against a hostile phone: its device name, built to forge a
# code line and to hide the real one, reaches the pairing box only in its safe form (and the
# box is photographed), and a folder in the inbox that is a link (Wine shows a Unix symbolic
# link as a reparse point) refuses the item instead of being written through.
# Usage: win_hostile_input.sh FERRYLINK_EXE DESK_DRIVER_EXE SENDER SCREENSHOT_DIR
source "$(dirname "$0")/../desktop/win_lib.sh"
data=$scratch/data; inbox=$scratch/inbox; outside=$scratch/outside
mkdir -p "$data" "$inbox" "$outside" "$scratch/files/linked"
printf 'first_run_done=1\nintro_shown=1\n' > "$data/config.ini"
printf 'through the link\n' > "$scratch/files/linked/x.txt"
ln -s "$outside" "$inbox/linked"
R=$'\xef\xbf\xbd'  # U+FFFD

wine "$exe" --data-dir "$(win "$data")" --inbox "$(win "$inbox")" &
agent=$!; pids+=($agent)
check "the agent starts" wait_for 60 file_has "$data/log.txt" "started (id"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')

evil=$'Eve\r\n2026-01-01 00:00:00 Paired with M\nCode: 000000\e[2K\xe2\x80\xae\xff'
"$sender" --to "127.0.0.1:$port" --name "$evil" --yes --data-dir "$scratch/phone-evil" \
  "$scratch/files/linked" > "$scratch/send.out" 2>&1 &
send=$!; pids+=($send)
box=$(drv wait-box 60)
sleep 1   # the box is painted a moment after it exists
shot hostile-name-pairing-prompt
drv box yes 5 >/dev/null
drv box yes 60 >/dev/null  # the offer
wait $send
code=$(grep -o 'Code: [0-9]\{6\}' "$scratch/send.out" | awk '{print $2}')
printf '%s\n' "$box" > "$scratch/box.txt"
check "the box names the phone in its safe form on the first line" \
  grep -qF -- "Pair with \"Eve${R}${R}2026-01-01" <<< "$(head -1 "$scratch/box.txt")"
check "the name ends on that same line" grep -qF -- "${R}[2K${R}${R}\"?" <<< "$(head -1 "$scratch/box.txt")"
check "the box has exactly one code line, the real code" \
  same_text code "$(grep '^Code' "$scratch/box.txt")" "Code: $code"
check "the box has the prompt's five lines and no more" [ "$(wc -l < "$scratch/box.txt")" -eq 5 ]
check "no escape byte reaches the box" bash -c "! grep -qP '\\x1b' '$scratch/box.txt'"

check "the item whose folder is a link is refused" \
  wait_for 10 file_has "$data/log.txt" "receive_files aborted (recv:196)"
check "nothing was written through the link" [ -z "$(ls -A "$outside")" ]
drv quit
wait $agent; check "the agent exits 0" [ $? -eq 0 ]
echo "all Windows hostile input checks passed"
