#!/usr/bin/env bash
# One host must not lock every phone out. A host at 127.0.0.2 opens four connections that,
# once admitted without pairing, send nothing but keep-alives: it gets two workers and its
# other two connections are closed at once. Meanwhile a phone at 127.0.0.1 sends again and
# again and is served every time; how long each send took is printed. (That keep-alives do
# not hold a worker beyond the idle time-out is shown with a short time-out in
# faults/session_timeouts.sh.)
agent=$1; sender=$2; hostile=$3
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox; src=$scratch/src
source "$(dirname "$0")/../shell/agent_lib.sh"
mkdir -p "$src"
sends=10

held_by_host() {  # the agent runs two more threads than at rest: the host's two workers
  [ "$(threads_of "$agent_pid")" -ge $((threads0 + 2)) ]
}
# closed_between BEHAVIOUR MIN_MS MAX_MS COUNT: COUNT connections closed in that window.
closed_between() {
  awk -v b="$1" -v lo="$2" -v hi="$3" -v n="$4" '
    $1 == b { split($3, kv, "="); if (kv[1] == "closed_ms" && kv[2] >= lo && kv[2] <= hi) ok++ }
    END { exit !(ok == n) }' "$scratch/host.txt"
}

start_agent
threads0=$(threads_of "$agent_pid")
head -c 200000 /dev/urandom > "$src/warm.bin"
check "the phone pairs while nobody else is there" send Phone "$src/warm.bin"
check "its worker ends" wait_for 5 bash -c "[ \$(ls /proc/$agent_pid/task | wc -l) -eq $threads0 ]"

started=$(date +%s%N)
"$hostile" --port "$port" --from 127.0.0.2 --wait-s 15 --interval-ms 1000 keepalivex4 \
  > "$scratch/host.txt" 2>&1 &
host=$!; pids+=($host)
check "the host holds two workers" wait_for 10 held_by_host

served=0; times=()
for i in $(seq 1 $sends); do
  f=$src/send$i.bin
  head -c 300000 /dev/urandom > "$f"
  t0=$(date +%s%N)
  if send Phone "$f" > "$scratch/send$i.out" 2>&1 && cmp -s "$f" "$inbox/send$i.bin"; then
    served=$((served + 1))
    times+=($(( ($(date +%s%N) - t0) / 1000000 )))
  fi
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
if [ "$served" -gt 0 ]; then
  spread="min ${sorted[0]} median ${sorted[$((served / 2))]} max ${sorted[$((served - 1))]}"
fi
echo "figure: honest phone served $served of $sends sends while a host held connections;" \
     "ms per send: ${spread:-none} (all: ${times[*]})"
check "every send of the phone was served while the host held its share" [ "$served" -eq "$sends" ]
check "the host still holds its two workers meanwhile" held_by_host

wait "$host"
cat "$scratch/host.txt"
check "two of the host's four connections were closed at once" closed_between keepalive 0 1000 2
check "its two others were held to the end" [ "$(grep -c '^keepalive [0-9]* open' "$scratch/host.txt")" -eq 2 ]
check "the workers are free again" wait_for 5 bash -c "[ \$(ls /proc/$agent_pid/task | wc -l) -eq $threads0 ]"
stop_agent
check "the agent exits 0" [ $? -eq 0 ]
echo "took $(( ($(date +%s%N) - started) / 1000000000 )) s with the host"
echo "all lockout checks passed"
