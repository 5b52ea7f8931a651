#!/usr/bin/env bash
# The agent killed with SIGKILL in the middle of things: a file transfer cut twice by a kill
# resumes after each restart and arrives byte for byte; kills while several phones pair at
# once leave trust.txt and identity.key whole, and the agent keeps its identity.
agent=$1; sender=$2
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox; src=$scratch/src
source "$(dirname "$0")/../shell/agent_lib.sh"
mkdir -p "$src"

start_agent
id=$(grep -o 'started (id [0-9a-f]*' "$data/log.txt" | awk '{print $3}')
printf 'hello\n' > "$src/first.txt"
send Kim "$src/first.txt" > /dev/null 2>&1
check "the phone pairs and sends" cmp "$src/first.txt" "$inbox/first.txt"

# ---- one file, two kills, two resumes ----
big=$(mib 192)
head -c "$big" /dev/urandom > "$src/big.bin"
for cut in 1 2; do
  as Kim; "${cmd[@]}" --max-rate "$(mib 48)" "$src/big.bin" > "$scratch/cut.$cut.txt" 2>&1 &
  phone=$!; pids+=($phone)
  check "transfer $cut gets past $cut quarter(s)" \
    wait_for 60 bigger_than "$inbox/big.bin.flpart" $((big * cut / 4))
  kill_agent
  kept=$(size_of "$inbox/big.bin.flpart")
  wait "$phone"
  check "the phone fails when the agent is killed ($cut)" [ $? -ne 0 ]
  check "the partial file and its metadata survive kill $cut" \
    [ "$kept" -gt 0 -a -s "$inbox/big.bin.flmeta" ]
  check "identity.key whole after kill $cut" identity_whole
  check "trust.txt whole after kill $cut" trust_file_whole
  start_agent
  check "the agent keeps its identity after kill $cut" \
    file_has "$data/log.txt" "started (id $id"
done
send Kim "$src/big.bin" > "$scratch/resume.txt" 2>&1
check "the last send exits 0" [ $? -eq 0 ]
check "it resumed where the second kill cut it" grep -q "^stored    big.bin (.*, resumed at " "$scratch/resume.txt"
check "the file is byte-identical" cmp "$src/big.bin" "$inbox/big.bin"
check "no partial file is left" [ -z "$(find "$inbox" -name '*.flpart' -o -name '*.flmeta')" ]

# ---- kills while four phones pair at the same moment ----
for round in 1 2 3 4 5; do
  for p in 1 2 3 4; do
    send "Round$round-$p" --from "127.0.0.$p" --text "hello $round $p" > /dev/null 2>&1 &
    pids+=($!)
  done
  sleep "0.$(printf '%03d' $((RANDOM % 400)))"
  kill_agent
  check "trust.txt whole after pairing kill $round" trust_file_whole
  check "identity.key whole after pairing kill $round" identity_whole
  start_agent
done
check "the log's lines are whole after every kill" log_lines_whole
# Every phone the agent confirmed a pairing for before a kill must still be known, unless the
# kill came between the confirmation and the save; all of them must pair or send again now.
for p in 1 2 3 4; do
  send "Round5-$p" --text "again $p" > /dev/null 2>&1
  check "phone Round5-$p is served after the kills" [ $? -eq 0 ]
done
stop_agent
check "the agent exits 0 after all the kills" [ $? -eq 0 ]
echo "all kill-the-agent checks passed"
