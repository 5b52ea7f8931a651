#!/usr/bin/env bash
# What a stranger on the network says, against the real agent: a device name built to forge
# prompt and log lines, offers whose totals or names lie, received names that look like the
# store's own bookkeeping, links planted in the inbox, and offers large and deep enough to
# exhaust descriptors, memory or the folder tree. Nothing of it may be shown, stored or
# believed unchecked.
# Usage: hostile_input.sh FERRYLINK FERRYLINK_SEND HOSTILE_OFFER
agent=$1; sender=$2; hostile=$3
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox; src=$scratch/src
source "$(dirname "$0")/../shell/agent_lib.sh"
mkdir -p "$src"
offer() { "$hostile" --port "$port" "$@"; }
no_byte() { ! grep -qP -- "$1" "$2"; }  # no_byte REGEX FILE: no such byte in the file
R=$'\xef\xbf\xbd'  # U+FFFD, what every unsafe piece of peer text is shown as

# ---- peer text on the terminal and in the log ----------------------------------------------
# A name (59 bytes of the 63 a name may have) with a forged log line, a forged code line, an escape sequence that would erase the
# terminal's line, a direction override and a byte that is not UTF-8.
evil=$'Eve\r\n2026-01-01 00:00:00 Paired with M\nCode: 000000\e[2K\xe2\x80\xae\xff'
shown="Eve${R}${R}2026-01-01 00:00:00 Paired with M${R}Code: 000000${R}[2K${R}${R}"

# The terminal prompt: an agent without --autotest asks on standard error (no terminal on
# standard input, so the answer is No).
# That agent's own name holds an escape sequence and a direction override: the phone's
# terminal shows it made safe too.
mkdir -p "$scratch/ask"
printf 'first_run_done=1\ndevice_name=PC\033[2K\342\200\256\n' > "$scratch/ask/config.ini"
"$agent" --data-dir "$scratch/ask" --inbox "$scratch/ask-inbox" < /dev/null \
  > "$scratch/ask.out" 2>&1 &
ask_pid=$!; pids+=($ask_pid)
wait_for 30 file_has "$scratch/ask/log.txt" "listening on port" || fail "prompting agent start"
ask_port=$(grep -o 'listening on port [0-9]*' "$scratch/ask/log.txt" | awk '{print $4}')
"$sender" --to "127.0.0.1:$ask_port" --name "$evil" --yes --data-dir "$scratch/phones/evil-ask" \
  "$src" > "$scratch/ask-send.out" 2>&1
# Long names are shortened in the middle in a prompt: its start and its end are checked.
check "the terminal prompt shows the name on its own line, made safe" \
  grep -qF -- "ferrylink: Pair with \"Eve${R}${R}2026-01-01" "$scratch/ask.out"
check "the name ends on the prompt's own line" \
  grep -qF -- "${R}[2K${R}${R}\"?" "$scratch/ask.out"
check "the terminal prompt has exactly one code line" \
  [ "$(grep -c '^Code: ' "$scratch/ask.out")" -eq 1 ]
check "no escape byte reaches the terminal" no_byte '\x1b' "$scratch/ask.out"
check "no carriage return reaches the terminal" no_byte '\r' "$scratch/ask.out"
check "the phone's terminal shows the agent's name made safe" \
  grep -qF -- "Pairing with \"PC${R}[2K${R}\"" "$scratch/ask-send.out"
check "no escape byte reaches the phone's terminal" no_byte '\x1b' "$scratch/ask-send.out"
kill -TERM "$ask_pid"; wait "$ask_pid"

start_agent
printf 'a file\n' > "$src/plain.txt"
"$sender" --to "127.0.0.1:$port" --name "$evil" --yes --data-dir "$scratch/phones/evil" \
  "$src/plain.txt" > "$scratch/evil-send.out" 2>&1
check "the hostile phone's file arrives" cmp -s "$src/plain.txt" "$inbox/plain.txt"
check "the pairing line of the log holds the name made safe" \
  file_has "$data/log.txt" "peer=$shown"
check "the paired notice holds the name made safe" file_has "$data/log.txt" "Paired with $shown"
check "the name forges no line of the log" log_lines_whole
check "no log line starts with the forged text" \
  [ "$(grep -c '^2026-01-01 00:00:00 Paired with M' "$data/log.txt")" -eq 0 ]
check "no escape byte reaches the log" no_byte '\x1b' "$data/log.txt"
"$sender" --to "127.0.0.1:$port" --name "$evil" --yes --data-dir "$scratch/phones/evil" \
  --text $'line one\nferrylink: fake notice\e[31m' > /dev/null 2>&1
check "a received text reaches the terminal on one line, made safe" \
  wait_for 10 grep -qF -- "line one${R}ferrylink: fake notice${R}[31m" "$out"
check "no escape byte reaches the terminal or the log" \
  bash -c "! grep -qP '\x1b' '$out' '$data/log.txt'"
check "the trust store keeps the name as it was sent" grep -qF $'\xe2\x80\xae\xff' "$data/trust.txt"

# ---- offers checked before anyone is asked ------------------------------------------------
prompts() { grep -c "AUTOTEST offer" "$data/log.txt"; }
before=$(prompts)
check "a total that is not the sum of the sizes is a malformed offer" \
  [ "$(offer total-lies)" = "error 2 malformed offer" ]
check "a sum that wraps around is a malformed offer" \
  [ "$(offer total-wraps)" = "error 2 malformed offer" ]
check "a name that is not UTF-8 is an unusable name" [ "$(offer bad-utf8)" = "reject 3" ]
check "none of them reached a prompt" [ "$(prompts)" -eq "$before" ]
check "none of them left anything in the inbox" \
  [ -z "$(find "$inbox" -name 'huge*' -o -name 'half*' -o -name 'bad*')" ]

# ---- the store's own names and links planted in the inbox ---------------------------------
printf 'mine\n' > "$inbox/notes.flmeta"
mkdir -p "$src/names"; printf 'received meta\n' > "$src/names/notes.flmeta"
printf 'received notes\n' > "$src/names/notes"
send Names "$src/names/notes.flmeta" "$src/names/notes" > /dev/null 2>&1
check "the user's file with the store's metadata name is untouched" \
  [ "$(cat "$inbox/notes.flmeta")" = mine ]
check "a received file with such a name is stored under a changed one" \
  cmp -s "$src/names/notes.flmeta" "$inbox/notes_flmeta"
check "the file of the same stem arrives" cmp -s "$src/names/notes" "$inbox/notes"

outside=$scratch/outside; mkdir -p "$outside"
printf 'outside\n' > "$outside/target"
ln -s "$outside" "$inbox/linked"
ln -s "$outside/target" "$inbox/p.txt.flpart"
mkdir -p "$src/linked"; printf 'through the link\n' > "$src/linked/x.txt"
printf 'beside the link\n' > "$src/p.txt"
log_mark() { mark=$(wc -l < "$data/log.txt"); }
log_mark
send Links "$src/linked" > /dev/null 2>&1
check "an item whose folder is a planted link is refused" \
  wait_for 10 bash -c "tail -n +$((mark + 1)) '$data/log.txt' | grep -q 'receive_files aborted (recv:196)'"
send Links "$src/p.txt" > /dev/null 2>&1
check "a file whose partial name is a planted link still arrives" cmp -s "$src/p.txt" "$inbox/p.txt"
check "nothing was written through the links" \
  [ "$(ls "$outside")" = target ] && [ "$(cat "$outside/target")" = outside ]

# ---- resources held by one offer -----------------------------------------------------------
# Nearly the largest offer of distinct names one message carries (3000 files; fewer in the
# slow sanitizer builds), the first byte of every one sent before any is finished.
items=$((3000 / scale))
fds_before=$(fds_of "$agent_pid"); rss_before=$(rss_kib "$agent_pid")
coproc spread { offer spread $items; }
read -r -t 120 line <&"${spread[0]}"
check "the spread offer is taken" [ "$line" = waiting ]
fds_during=$(fds_of "$agent_pid"); rss_during=$(rss_kib "$agent_pid")
echo "figure: $items items begun: open descriptors $fds_before -> $fds_during," \
     "resident memory ${rss_before} KiB -> ${rss_during} KiB"
check "begun items hold no open files of their own" [ "$fds_during" -le $((fds_before + 4)) ]
check_memory "one offer's records stay within 48 MiB" [ $((rss_during - rss_before)) -le 49152 ]
echo go >&"${spread[1]}"
read -r -t 300 line <&"${spread[0]}"
check "every spread file is stored" [ "$line" = "stored $items" ]
check "and every one holds its two bytes" \
  [ "$(cat "$inbox"/?? | wc -c)" -eq $((2 * items)) ]

# An offer of files 63 folders deep, each in a tree of its own, ended after the first file.
check "the deep offer stores its first file" [ "$(offer deep $((200 / scale)))" = "stored 1" ]
# The agent removes them after the phone has gone: a busy machine may take a while.
wait_for 60 bash -c "[ \$(find '$inbox' -path '*/tree*' -type d 2>/dev/null | wc -l) -le 63 ]"
check "only the first file's 63 folders are left" \
  [ "$(find "$inbox" -path '*/tree*' -type d | wc -l)" -eq 63 ]
check "the first file is there" [ "$(find "$inbox/tree0" -name f.bin | wc -l)" -eq 1 ]

stop_agent
echo "all hostile input checks passed"
