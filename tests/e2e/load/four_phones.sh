#!/usr/bin/env bash
# Four phones send at the same moment, each 200 small files and one 256 MiB file under the
# same names into one inbox, and again (FL_LOAD_ROUNDS times). Every byte must arrive under a
# name of its own, verified, with nothing left half-done; the agent's threads, descriptors
# and memory must come back after every round; every log line must be whole and none lost.
# Prints the figures: files, bytes, seconds and peak memory.
agent=$1; sender=$2
source "$(dirname "$0")/../shell/lib.sh"
# Sources and inbox live in memory, so that the disk does not set the pace.
shm=$(mktemp -d /dev/shm/fl-load.XXXXXX)
trap 'for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; rm -rf "$shm"; cleanup' EXIT
data=$shm/data; inbox=$shm/inbox; src=$shm/src
source "$(dirname "$0")/../shell/agent_lib.sh"
rounds=${FL_LOAD_ROUNDS:-3}
phones=4; small=200
big=$(mib 256)

for p in $(seq 1 $phones); do
  mkdir -p "$src/phone$p/batch"
  for i in $(seq -w 1 $small); do
    head -c $((1 + (RANDOM * 2) % 65536)) /dev/urandom > "$src/phone$p/batch/f$i.dat"
  done
  head -c "$big" /dev/urandom > "$src/phone$p/big.bin"
done
sent_bytes=$(du -sb "$src" | awk '{print $1}')
( cd "$src" && find . -type f -print0 | xargs -0 sha256sum | awk '{print $1}' ) > "$shm/one.sums"
for ((r = 0; r < rounds; r++)); do cat "$shm/one.sums"; done | sort > "$shm/sent.sums"

start_agent
threads0=$(threads_of "$agent_pid"); fds0=$(fds_of "$agent_pid")
settled() { [ "$(threads_of "$agent_pid")" -eq "$threads0" ] && [ "$(fds_of "$agent_pid")" -eq "$fds0" ]; }
received_line_count() { grep -cF "notice: From $1: received $((small + 1)) file(s)" "$data/log.txt"; }

total_s=0
for ((r = 1; r <= rounds; r++)); do
  t0=$(date +%s.%N)
  together=()
  # Each phone a host of its own: one address holds at most two of the agent's workers.
  for p in $(seq 1 $phones); do
    as "Phone $p"; "${cmd[@]}" --from "127.0.0.$p" "$src/phone$p/batch" "$src/phone$p/big.bin" > "$shm/r$r.p$p.txt" 2>&1 &
    together+=($!); pids+=($!)
  done
  for p in $(seq 1 $phones); do
    wait "${together[$((p - 1))]}"
    status=$?
    [ $status -eq 0 ] || { echo "phone $p exited $status:"; cat "$shm/r$r.p$p.txt"; tail -n 20 "$data/log.txt"; }
    check "round $r: phone $p stored everything" [ $status -eq 0 ]
  done
  t1=$(date +%s.%N)
  secs=$(echo "$t1 - $t0" | bc)
  total_s=$(echo "$total_s + $secs" | bc)
  check "round $r: the workers end and every descriptor is closed" wait_for 10 settled
  rss[$r]=$(rss_kib "$agent_pid")
  echo "round $r: $((phones * (small + 1))) files, $sent_bytes bytes in $secs s, agent RSS ${rss[$r]} KiB"
done

check "every file arrived once per round" \
  [ "$(find "$inbox" -type f | wc -l)" -eq $((rounds * phones * (small + 1))) ]
( cd "$inbox" && find . -type f -print0 | xargs -0 sha256sum | awk '{print $1}' | sort ) > "$shm/stored.sums"
check "every phone's bytes arrived, none lost, mixed or overwritten" cmp -s "$shm/sent.sums" "$shm/stored.sums"
check "the same names got names of their own" \
  [ -e "$inbox/big (3).bin" -a -e "$inbox/batch/f$small (3).dat" ]
check "no partial files are left" [ -z "$(find "$inbox" -name '*.flpart' -o -name '*.flmeta')" ]
for p in $(seq 1 $phones); do
  check "phone $p: one 'received' line per round in the log" [ "$(received_line_count "Phone $p")" -eq "$rounds" ]
done
check "one pairing per phone" [ "$(log_count 'AUTOTEST pairing')" -eq $phones ]
check "every log line is whole" log_lines_whole
no_run_in() { ! grep -qE '.[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ' "$1"; }
console_whole() { ! grep -vqE '^([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} |ferrylink: )' "$out"; }
check "no two log lines ran into each other" no_run_in "$data/log.txt"
# The agent writes each line to the console and the file under one lock: the same lines in the
# same order in both, or some were lost.
same_lines() { diff -q <(grep -E '^[0-9]{4}-[0-9]{2}-[0-9]{2} ' "$out") "$data/log.txt" > /dev/null; }
check "the console and the log file hold the same lines in the same order" same_lines
check "the console copy of the log is whole, nothing run together" console_whole
check "and nothing run together there either" no_run_in "$out"
# The first rounds warm up the allocator's per-thread pools; after that the agent must not grow.
if [ "$rounds" -ge 3 ]; then
  check_memory "no memory kept from round to round (RSS grew under 2 MiB after round 2)" \
    [ $((rss[rounds] - rss[2])) -lt 2048 ]
fi
peak=$(peak_rss_kib "$agent_pid")
stop_agent
check "the agent exits 0" [ $? -eq 0 ]
echo "load: $rounds rounds x $phones phones x $((small + 1)) files = $((rounds * phones * (small + 1))) files," \
     "$((rounds * sent_bytes)) bytes in ${total_s} s, agent peak RSS ${peak} KiB"
echo "all load checks passed"
