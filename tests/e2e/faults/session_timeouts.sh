#!/usr/bin/env bash
# The receive sessions' waits after the handshake, with the idle time-out shortened through
# the session settings (3 s instead of 60 s): a peer idle between offers, a peer that stalls
# in the middle of a file, and peers that trickle an offer or a data message one byte a
# second, and one that sends nothing but keep-alives. Each must be closed after about the
# idle limit (a trickled message after at most twice that for its body) with its log line,
# and a stalled file must keep its bytes.
fault_agent=$1; sender=$2; hostile=$3
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox
mkdir -p "$data"
"$fault_agent" --data-dir "$data" --inbox "$inbox" --idle-ms 3000 > "$scratch/agent.out" 2>&1 &
agent_pid=$!; pids+=($agent_pid)
wait_for 20 file_has "$scratch/agent.out" "listening on port" || fail "fault_agent start"
port=$(awk '/listening on port/ {print $4}' "$scratch/agent.out")

# Two hosts, as one address may hold only two of the agent's four workers.
"$hostile" --port "$port" --wait-s 40 --interval-ms 1000 --hosts 2 \
  idle-silent data-stall idle-slow data-slow > "$scratch/peers.txt" 2>&1
cat "$scratch/peers.txt"
closed_ms() { awk -v b="$1" '$1 == b { split($3, kv, "="); if (kv[1] == "closed_ms") print kv[2] }' "$scratch/peers.txt"; }
between() { local v; v=$(closed_ms "$1"); [ -n "$v" ] && [ "$v" -ge "$2" ] && [ "$v" -le "$3" ]; }
# The times count from the connect, so they include the handshake (and the first mebibyte),
# which a sanitizer build makes take a second or more.
check "an idle peer is closed at the 3 s idle limit" between idle-silent 2900 6500
check "a peer stalled inside a file is closed at the idle limit" between data-stall 2900 8000
# A trickled message: its 2-byte header arrives within a wait, its body gets two waits in all.
check "a trickled offer is cut off after its body's two waits" between idle-slow 6000 13000
check "a trickled data message is cut off the same way" between data-slow 6000 14000
# A peer admitted without pairing that sends only keep-alives, one every 500 ms: they do not
# restart its idle time, so it ends like the silent one.
"$hostile" --port "$port" --wait-s 20 --interval-ms 500 keepalive > "$scratch/keepalive.txt" 2>&1
cat "$scratch/keepalive.txt"
check "a peer sending only keep-alives is closed at the 3 s idle limit" \
  awk '$1 == "keepalive" { split($3, kv, "="); ok = kv[1] == "closed_ms" && kv[2] >= 2900 && kv[2] <= 6500 }
       END { exit !ok }' "$scratch/keepalive.txt"
check "both idle endings are logged" \
  wait_for 5 bash -c "[ \$(grep -c 'session end: recv=-2' '$data/log.txt') -eq 2 ]"
for line in "session end: recv=-2" "recv error -2" "session end: recv=-3" "recv error -3"; do
  check "logged: $line" file_has "$data/log.txt" "$line"
done
check "both cut transfers end the offer" [ "$(grep -c 'handle_offer failed' "$data/log.txt")" -eq 2 ]
check "the stalled and the trickled file keep their first mebibyte for a resume" \
  [ "$(find "$inbox" -name 'hostile*.flpart' -size 1024k | wc -l)" -eq 2 ]
kill -TERM "$agent_pid"; wait "$agent_pid"
check "the agent stops cleanly" [ $? -eq 0 ]
echo "all session time-out checks passed"
