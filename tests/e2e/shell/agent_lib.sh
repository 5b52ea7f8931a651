# Starting, killing and driving the real agent for the whole-program scripts. Needs lib.sh,
# and $agent, $sender, $data and $inbox set by the script.
export XDG_RUNTIME_DIR=$scratch/run; mkdir -p "$XDG_RUNTIME_DIR"
export HOME=$scratch/home; mkdir -p "$HOME"
unset XDG_CONFIG_HOME APPDATA LANG LC_ALL LC_MESSAGES
# Sizes are divided by FL_E2E_SCALE (for slow sanitizer builds); never below 1 byte per MiB.
scale=${FL_E2E_SCALE:-1}
mib() { echo $(( ($1 * 1048576) / scale )); }

starts=0
# Starts the agent; sets agent_pid, port and out (its console output).
start_agent() {
  starts=$((starts + 1))
  out=$scratch/agent.$starts.out
  "$agent" --console --autotest --data-dir "$data" --inbox "$inbox" > "$out" 2>&1 &
  agent_pid=$!; pids+=($agent_pid)
  # The start line comes after the listener and the responder, so every thread is there.
  wait_for 30 file_has "$out" "started (id" || fail "agent start $starts"
  port=$(grep -o 'listening on port [0-9]*' "$out" | head -1 | awk '{print $4}')
}
stop_agent() {
  kill -TERM "$agent_pid"
  wait "$agent_pid"
}
kill_agent() {
  kill -9 "$agent_pid"
  wait "$agent_pid" 2>/dev/null
}
# as PHONE: sets cmd to ferrylink-send as the phone named PHONE.
as() {
  cmd=("$sender" --to "127.0.0.1:$port" --name "$1" --data-dir "$scratch/phones/$1" --yes)
}
send() {
  as "$1"; shift
  "${cmd[@]}" "$@"
}
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
bigger_than() { [ "$(size_of "$1")" -gt "$2" ]; }
log_count() { grep -cF -- "$1" "$data/log.txt"; }
# Figures of the agent process from /proc.
threads_of() { ls "/proc/$1/task" | wc -l; }
fds_of() { ls "/proc/$1/fd" | wc -l; }
# check_memory DESCRIPTION COMMAND...: a check of memory figures, which mean nothing in a
# sanitizer build (the address sanitizer keeps freed memory in quarantine).
check_memory() {
  if [ -n "${FL_E2E_SANITIZER:-}" ]; then
    echo "skip: $1 (${FL_E2E_SANITIZER} sanitizer build)"
    return
  fi
  check "$@"
}
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
peak_rss_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
# Every line of the log has the log's own shape: a local time stamp, one space, a message.
log_lines_whole() {
  ! grep -vqE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [^ ]' "$data/log.txt"
}
# trust.txt holds only whole records.
trust_file_whole() {
  [ ! -s "$data/trust.txt" ] && return 0
  ! grep -vqP '^[0-9a-f]{64}\t1\t[0-9]+\t[^\t]*$' "$data/trust.txt" &&
    [ "$(tail -c 1 "$data/trust.txt" | od -An -c | tr -d ' ')" = '\n' ]
}
identity_whole() { grep -qxE '[0-9a-f]{64}' "$data/identity.key" && [ "$(size_of "$data/identity.key")" -eq 65 ]; }
