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
mkdir -p "$scratch/ask"; printf 'first_run_done=1\n' > "$scratch/ask/config.ini"
"$agent" --data-dir "$scratch/ask" --inbox "$scratch/ask-inbox" < /dev/null \
  > "$scratch/ask.out" 2>&1 &
ask_pid=$!; pids+=($ask_pid)
wait_for 30 file_has "$scratch/ask/log.txt" "listening on port" || fail "prompting agent start"
ask_port=$(grep -o 'listening on port [0-9]*' "$scratch/ask/log.txt" | awk '{print $4}')
"$sender" --to "127.0.0.1:$ask_port" --name "$evil" --yes --data-dir "$scratch/phones/evil-ask" \
  "$src" > "$scratch/ask-send.out" 2>&1
check "the terminal prompt shows the name on its own line, made safe" \
  file_has "$scratch/ask.out" "ferrylink: Pair with \"$shown\"?"
check "the terminal prompt has exactly one code line" \
  [ "$(grep -c '^Code: ' "$scratch/ask.out")" -eq 1 ]
check "no escape byte reaches the terminal" no_byte '\x1b' "$scratch/ask.out"
check "no carriage return reaches the terminal" no_byte '\r' "$scratch/ask.out"
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

stop_agent
echo "all hostile input checks passed"
