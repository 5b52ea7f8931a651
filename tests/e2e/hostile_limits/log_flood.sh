#!/usr/bin/env bash
# The log stays bounded while the agent runs. The agent has nobody to answer its questions
# (no terminal), so every offer is declined at once, after a notice line in the log. A host
# at 127.0.0.2 sends offers as fast as it can for five seconds: its lines are limited to a
# burst and then one a second, and a summary line counts the rest; a phone at 127.0.0.1 that
# does the same for a second meanwhile has a budget of its own. The log starts the run just under its size limit: the first lines of the
# run take it past, and it starts afresh with one line saying so.
agent=$1; sender=$2; hostile=$3
source "$(dirname "$0")/../shell/lib.sh"
source "$(dirname "$0")/terminal_agent.sh"
limit=262144
# 100-byte lines of an earlier run, up to 100 bytes short of the limit: start-up keeps them.
awk -v n=$((limit / 100 - 1)) 'BEGIN { for (i = 0; i < n; i++) printf "2026-01-01 00:00:00 %079d\n", i }' \
  > "$data/log.txt"

"$agent" --data-dir "$data" --inbox "$inbox" < /dev/null > "$scratch/agent.out" 2>&1 &
agent_pid=$!; pids+=($agent_pid)
check "the agent starts" wait_for 20 file_has "$data/log.txt" "started (id"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | awk '{print $4}')
check "the log started afresh once the run's first lines passed the limit" \
  bash -c "head -1 '$data/log.txt' | grep -q ' log started afresh: it had reached its limit of $limit bytes$'"
check "nothing of the earlier run is left" [ "$(grep -c '^2026-01-01 00:00:00 0' "$data/log.txt")" -eq 0 ]

phone() {  # for a second a phone at 127.0.0.1 offers texts; nobody answers, so each is declined
  "$hostile" --port "$port" --from 127.0.0.1 --name Phone --wait-s 1 offer-flood \
    > "$scratch/phone.txt" 2>&1
}
flood_s=5
"$hostile" --port "$port" --from 127.0.0.2 --wait-s $flood_s offer-flood > "$scratch/flood.txt" 2>&1 &
flood=$!; pids+=($flood)
sleep 1
phone
wait "$flood"
cat "$scratch/flood.txt"
offers=$(sed -n 's/.* got=answered:\([0-9]*\)$/\1/p' "$scratch/flood.txt")
check "the host's offers were answered as fast as it sent them" [ "${offers:-0}" -gt 500 ]
notices() { grep -c "notice: $1-0 wants to send you something" "$data/log.txt"; }
check "the phone's own burst of notices was logged during the flood" [ "$(notices Phone)" -ge 20 ]
sleep 2  # the host's budget has room for its summary again; the next line brings it
phone
logged=$(notices offer-flood)
left_out=$(sed -n 's/.* log: \([0-9]*\) more lines caused by 127\.0\.0\.2 were left out$/\1/p' "$data/log.txt" |
           awk '{ n += $1 } END { print n + 0 }')
size=$(stat -c %s "$data/log.txt")
echo "figure: $offers offers in $flood_s s from one host; $logged notice lines logged," \
     "$left_out left out and summed up; log.txt is $size bytes"
check "the host's notices are limited to a burst and one a second" [ "$logged" -le $((20 + flood_s + 3)) ]
check "every notice is either logged or counted in a summary line" [ $((logged + left_out)) -eq "$offers" ]
check "the log stays small" [ "$size" -lt 20000 ]
kill -TERM "$agent_pid"; wait "$agent_pid"
check "the agent stops cleanly" [ $? -eq 0 ]
echo "all log-flood checks passed"
