#!/usr/bin/env bash
# Pairing prompts do not pile up from one host: while a pairing question for a peer at
# 127.0.0.2 waits for the user, a second pairing from that address is declined at once
# without a question; a peer at another address still gets its own question; and once the
# first is answered, the address may pair again. The agent runs on a terminal of its own
# (script(1)); the answers are typed through a FIFO.
agent=$1; hostile=$2
source "$(dirname "$0")/../shell/lib.sh"
source "$(dirname "$0")/terminal_agent.sh"

mkfifo "$scratch/keys"
script -qfec "'$agent' --data-dir '$data' --inbox '$inbox'" /dev/null \
  < "$scratch/keys" > "$scratch/terminal.out" 2>&1 &
pids+=($!)
exec 3> "$scratch/keys"
questions() { grep -o '\[y/[nN]' "$scratch/terminal.out" | wc -l; }
answer() {  # answer QUESTION_NUMBER KEY
  wait_for 20 bash -c "[ \$(grep -o '\\[y/[nN]' '$scratch/terminal.out' | wc -l) -ge $1 ]" || return 1
  echo "$2" >&3
}
pair_from() {  # pair_from NAME ADDRESS: a peer there asks to pair; its report in NAME.txt
  "$hostile" --port "$port" --from "$2" --wait-s 40 pair-wait > "$scratch/$1.txt" 2>&1
}
ended_with() {  # ended_with NAME GOT MAX_MS
  awk -v got="got=$2" -v hi="$3" '
    { split($3, kv, "="); if (kv[1] == "closed_ms" && kv[2] <= hi && $4 == got) ok = 1 }
    END { exit !ok }' "$scratch/$1.txt"
}

check "the agent starts" wait_for 20 file_has "$data/log.txt" "started (id"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')

pair_from first 127.0.0.2 &
first=$!; pids+=($first)
check "the first pairing from 127.0.0.2 is asked" wait_for 20 bash -c "[ \$(grep -o '\\[y/[nN]' '$scratch/terminal.out' | wc -l) -ge 1 ]"
pair_from second 127.0.0.2
check "a second pairing from 127.0.0.2 meanwhile is declined at once" \
  ended_with second pair-declined 3000
check "and logged" file_has "$data/log.txt" "pairing refused: another pairing from the same address is open"
pair_from other 127.0.0.3 &
other=$!; pids+=($other)
sleep 1
check "a pairing from 127.0.0.3 is not declined: it waits for its own question" \
  [ ! -s "$scratch/other.txt" ]

check "the first question is answered No" answer 1 n
wait "$first"
check "so the first peer is declined" ended_with first pair-declined 40000
check "the peer at 127.0.0.3 gets its question next, answered Yes" answer 2 y
wait "$other"
check "and it is paired" ended_with other paired 40000

pair_from again 127.0.0.2 &
again=$!; pids+=($again)
check "with no question open, 127.0.0.2 is asked again and answered Yes" answer 3 y
wait "$again"
check "and it is paired" ended_with again paired 40000
check "three questions were asked in all: the declined pairing never reached the user" \
  [ "$(questions)" -eq 3 ]

pid=$(pgrep -f -- "--data-dir $data --inbox $inbox" | grep -v "^$$\$" | tail -1)
check "the agent is found by its data folder" [ -n "$pid" ]
kill -INT "$pid"
check "the agent stops" wait_for 10 bash -c "! kill -0 $pid 2>/dev/null"
exec 3>&-
echo "all pairing-prompt checks passed"
