#!/usr/bin/env bash
# Quitting while four phones send: the agent cuts the four transfers, waits for their
# sessions to close their files and only then frees what they use (under the address and
# thread sanitizers a use after free or a race makes the agent end with an error). The
# partial files stay, and after a restart every transfer resumes to the last byte.
agent=$1; sender=$2
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox; src=$scratch/src
source "$(dirname "$0")/../shell/agent_lib.sh"
mkdir -p "$src"
size=$(mib 64)
for p in 1 2 3 4; do head -c "$size" /dev/urandom > "$src/f$p.bin"; done

start_agent
phones=()
for p in 1 2 3 4; do
  # Each from an address of its own: one address may hold only two of the four workers.
  as "Phone$p"; "${cmd[@]}" --from "127.0.0.$p" --max-rate "$(mib 4)" "$src/f$p.bin" \
    > "$scratch/send$p.out" 2>&1 &
  phones+=($!); pids+=($!)
done
for p in 1 2 3 4; do
  check "phone $p is sending" wait_for 60 bigger_than "$inbox/f$p.bin.flpart" 0
done
kill -TERM "$agent_pid"
check "the agent quits within a few seconds" wait_for 20 bash -c "! kill -0 $agent_pid 2>/dev/null"
wait "$agent_pid"
check "... with exit code 0 (no sanitizer report)" [ $? -eq 0 ]
check "all four sessions ended before the agent did" [ "$(log_count 'handle_offer failed')" -eq 4 ]
check "no session was left running" bash -c "! grep -q 'still waiting for an answer' '$data/log.txt'"
for p in 1 2 3 4; do
  wait "${phones[$((p - 1))]}"
  check "phone $p sees its transfer fail" [ $? -ne 0 ]
  check "phone $p's partial file and metadata stay" \
    [ -s "$inbox/f$p.bin.flpart" -a -s "$inbox/f$p.bin.flmeta" ]
done

start_agent
for p in 1 2 3 4; do
  send "Phone$p" --from "127.0.0.$p" "$src/f$p.bin" > "$scratch/resume$p.out" 2>&1 &
  phones[$((p - 1))]=$!; pids+=($!)
done
for p in 1 2 3 4; do
  wait "${phones[$((p - 1))]}"
  check "phone $p's transfer resumes" grep -q "^stored    f$p.bin (.*, resumed at " "$scratch/resume$p.out"
  check "phone $p's file is byte-identical" cmp "$src/f$p.bin" "$inbox/f$p.bin"
done
stop_agent
check "the agent exits 0 after the resumes" [ $? -eq 0 ]
echo "all quit-during-transfer checks passed"
