#!/usr/bin/env bash
# Handshakes per second: handshake_client opens connections to the native agent over
# loopback, each doing the Noise handshake and the trust-state exchange, then closing. One
# client thread measures a phone's wait for a connection; two show what the agent takes when
# connections overlap. The two take turns run by run. Prints the medians and the CPU time
# each side spends per handshake, and how many connections the agent turned away (it serves a
# few connections at a time, and under load it may still be closing earlier ones).
#
#   handshake_bench.sh FERRYLINK FERRYLINK_SEND HANDSHAKE_CLIENT [CONNECTIONS] [RUNS]
set -uo pipefail
source "$(dirname "$0")/../bench_lib.sh"
bench_isolate "$0" "$@"
agent=$1; sender=$2; client=$3; connections=${4:-2000}; runs=${5:-5}
bench_workdir
start_agent "$agent" "$sender" "$work/inbox"

for i in $(seq "$runs"); do
  for threads in 1 2; do
    a=$(cpu_of "$agent_pid")
    line=$("$client" "$port" "$work/phone" "$connections" "$threads") || die "client failed"
    b=$(cpu_of "$agent_pid")
    field() { echo "$line" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
    ok=$(field ok)
    field rate >> "$work/rate$threads"
    field failed >> "$work/failed$threads"
    echo "$(field client_cpu) * 1000 / $ok" | bc -l >> "$work/client$threads"
    echo "($b - $a) * 1000 / $ok" | bc -l >> "$work/agent$threads"
  done
done

echo "$connections connections per run, $runs runs per row, taking turns; medians"
machine_line
for threads in 1 2; do
  printf '%d client thread(s): %6.0f handshakes/s   cpu per handshake: agent %.2f ms, client %.2f ms   turned away: %d   (runs: %s)\n' \
    "$threads" "$(median < "$work/rate$threads")" "$(median < "$work/agent$threads")" \
    "$(median < "$work/client$threads")" "$(awk '{s += $1} END {print s}' "$work/failed$threads")" \
    "$(runs_of "$work/rate$threads")"
done
