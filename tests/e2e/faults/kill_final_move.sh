#!/usr/bin/env bash
# The final move of a resumed file. A partial file that is complete already when its transfer
# resumes is flushed to disk before it takes its final name, and its folder is synced after
# the move (seen in the agent's own system calls), so "stored" survives a power cut. An agent
# killed with SIGKILL at any moment around that move loses nothing: the partial file is there
# to resume, or the file is stored whole under its name.
agent=$1; sender=$2
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox; src=$scratch/src
source "$(dirname "$0")/../shell/agent_lib.sh"
rounds=${FL_KILL_ROUNDS:-20}
mkdir -p "$src" "$scratch/saved"
size=$(mib 32)
head -c "$size" /dev/urandom > "$src/doc.bin"

# A transfer cut by a kill leaves its partial file and metadata; the partial file is then
# completed, so that the resume finds every byte there and only verifies and moves it.
start_agent
as Kim; "${cmd[@]}" --max-rate "$(mib 4)" "$src/doc.bin" > /dev/null 2>&1 &
phone=$!; pids+=($phone)
check "a first transfer gets going" wait_for 60 bigger_than "$inbox/doc.bin.flpart" 0
kill_agent; wait "$phone"
check "the cut transfer leaves its metadata" [ -s "$inbox/doc.bin.flmeta" ]
cp "$src/doc.bin" "$inbox/doc.bin.flpart"
cp -p "$inbox/doc.bin.flpart" "$inbox/doc.bin.flmeta" "$scratch/saved/"
restore() {
  rm -f "$inbox/doc.bin" "$inbox"/doc.bin.fl*
  cp -p "$scratch/saved/"* "$inbox/"
}

# Watched: the resumed bytes are flushed before the move, the folder is synced after it, and
# only then does the phone hear that the file is stored.
strace -f -qq -y -e trace=fsync,fdatasync,rename,renameat,renameat2,link,sendto -o "$scratch/trace" \
  "$agent" --console --autotest --data-dir "$data" --inbox "$inbox" > "$scratch/traced.out" 2>&1 &
tracer=$!; pids+=($tracer)
check "the traced agent starts" wait_for 30 file_has "$scratch/traced.out" "started (id"
port=$(grep -o 'listening on port [0-9]*' "$scratch/traced.out" | head -1 | awk '{print $4}')
send Kim "$src/doc.bin" > "$scratch/resume.txt" 2>&1
check "the complete partial file is resumed and stored" \
  grep -q "^stored    doc.bin (.*, resumed at " "$scratch/resume.txt"
check "... byte for byte" cmp "$src/doc.bin" "$inbox/doc.bin"
kill -TERM "$(pgrep -P "$tracer")"; wait "$tracer"
part_sync=$(grep -n "fsync([0-9]*<$inbox/doc.bin.flpart>" "$scratch/trace" | tail -1 | cut -d: -f1)
move=$(grep -n "rename.*\"$inbox/doc.bin.flpart\".*\"$inbox/doc.bin\".* = 0" "$scratch/trace" | cut -d: -f1)
folder_sync=$(grep -n "fsync([0-9]*<$inbox>)" "$scratch/trace" | cut -d: -f1 |
              awk -v m="${move:-0}" '$1 > m' | head -1)
check "the move is in the trace" [ -n "$move" ]
check "the resumed partial file is flushed before its move" [ "${part_sync:-$move}" -lt "$move" ]
check "the inbox folder is synced after the move" [ -n "$folder_sync" ]
told=$(grep -n "^[0-9]* *sendto(" "$scratch/trace" | cut -d: -f1 | awk -v m="${move:-0}" '$1 > m' |
       head -1)
check "the result leaves after the folder's sync" [ "${told:-0}" -gt "${folder_sync:-0}" ]

# Killed around the move: each round starts from the complete partial file, the phone asks to
# resume it, and the agent dies at a random moment of the time a whole resume takes.
restore
start_agent
t0=$(date +%s%N); send Kim "$src/doc.bin" > /dev/null 2>&1; t1=$(date +%s%N)
stop_agent
span_ms=$(( (t1 - t0) / 1000000 + 50 ))
kept=0; stored=0
for ((i = 1; i <= rounds; i++)); do
  restore
  start_agent
  send Kim "$src/doc.bin" > /dev/null 2>&1 &
  phone=$!; pids+=($phone)
  sleep "$(awk -v ms=$((RANDOM % span_ms)) 'BEGIN { printf "%.3f", ms / 1000 }')"
  kill_agent; wait "$phone" 2>/dev/null
  if [ -e "$inbox/doc.bin" ]; then
    cmp -s "$src/doc.bin" "$inbox/doc.bin" || fail "kill $i left a stored file that differs"
    stored=$((stored + 1))
  else
    cmp -s "$src/doc.bin" "$inbox/doc.bin.flpart" && [ -s "$inbox/doc.bin.flmeta" ] ||
      fail "kill $i lost the file: neither stored nor kept for a resume"
    kept=$((kept + 1))
  fi
done
check "nothing lost in $rounds kills around the move ($kept kept to resume, $stored stored)" \
  [ $((kept + stored)) -eq "$rounds" ]
# Whatever the last kill left, the phone gets its file.
start_agent
send Kim "$src/doc.bin" > /dev/null 2>&1
check "after the kills the file is there byte for byte" cmp "$src/doc.bin" "$inbox/doc.bin"
stop_agent
echo "all final-move checks passed"
