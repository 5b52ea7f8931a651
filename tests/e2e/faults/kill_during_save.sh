#!/usr/bin/env bash
# The agent's own files survive a kill -9 at any moment of a save: a program saves trust.txt,
# config.ini or identity.key in a loop with the product's save functions, is killed after a
# random delay, and what is left must be one whole version of the file every time. Whatever
# is left, the temporary file of a save that was cut short included, is the owner's alone
# under the usual umask.
save_loop=$1
source "$(dirname "$0")/../shell/lib.sh"
rounds=${FL_KILL_ROUNDS:-40}
umask 022

# Every file in DIR is readable and writable by its owner only.
owner_only() {
  local f
  for f in "$1"/*; do
    [ "$(stat -c %a "$f")" = 600 ] || { echo "$f has rights $(stat -c %a "$f")" >&2; return 1; }
  done
}

# kill_once KIND DIR: starts the loop, lets it save for 0-150 ms, kills it, checks the file.
kill_once() {
  local kind=$1 dir=$2 out
  out=$(mktemp "$scratch/out.XXXXXX")
  "$save_loop" run "$kind" "$dir" > "$out" 2>&1 &
  local pid=$!
  wait_for 20 file_has "$out" ready || fail "$kind loop never got ready"
  sleep "0.$(printf '%03d' $((RANDOM % 150)))"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null
  "$save_loop" check "$kind" "$dir" && owner_only "$dir"
}

for kind in trust settings identity; do
  dir=$scratch/$kind; mkdir -p "$dir"
  whole=0
  for ((i = 1; i <= rounds; i++)); do
    kill_once "$kind" "$dir" || fail "$kind file torn or readable by others after kill $i"
    whole=$((whole + 1))
  done
  check "$kind file whole and private after $rounds kills during saves" [ "$whole" -eq "$rounds" ]
done
echo "all kill-during-save checks passed"
