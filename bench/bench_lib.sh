# Helpers shared by the end-to-end benchmark scripts; source it after `set -uo pipefail`.
#
# bench_isolate "$0" "$@" re-runs the calling script in a network namespace of its own with
# only loopback up, so the agent's discovery announcements and every benchmark connection stay
# on this machine. Afterwards: bench_workdir makes $work in /dev/shm (removed at exit), the
# agent and sshd helpers start the programs under test and the anchors, and the arithmetic
# helpers reduce the runs.

bench_isolate() {
  if [ -z "${FL_BENCH_NETNS:-}" ]; then
    exec unshare -n env FL_BENCH_NETNS=1 bash -c 'ip link set lo up && exec bash "$@"' bash "$@"
  fi
}

pids=()
bench_cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  [ -n "${work:-}" ] && rm -rf "$work"
}

die() { echo "bench: $*" >&2; exit 1; }

# bench_workdir [PARENT]: the scratch folder $work (tmpfs unless another parent is given).
bench_workdir() {
  work=$(mktemp -d "${1:-/dev/shm}/fl-bench.XXXXXX") || exit 1
  trap bench_cleanup EXIT
}

now() { date +%s.%N; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
ratio() { printf "%.2f" "$(echo "$1 / $2" | bc -l)"; }
runs_of() { awk '{printf "%.2f ", $1}' "$1"; }

free_port() {
  local p
  for p in $(seq "$1" $(($1 + 200))); do
    ss -Htln "sport = :$p" | grep -q . || { echo "$p"; return; }
  done
}
wait_listening() { for _ in $(seq 100); do ss -Htln "sport = :$1" | grep -q . && return; sleep 0.05; done; }
# CPU seconds (user + system) of a process and of the children it has reaped.
cpu_of() { awk '{printf "%.2f\n", ($14 + $15 + $16 + $17) / 100}' "/proc/$1/stat"; }
peak_rss_kib() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }

# timed NAME CMD...: runs CMD; appends its wall time to $work/NAME.wall and its own and its
# children's CPU time to $work/NAME.cpu.
timed() {
  local name=$1; shift
  local t0 t1
  t0=$(now)
  /usr/bin/time -f '%U %S' -o "$work/time.tmp" "$@" > /dev/null 2>&1 || die "$* failed"
  t1=$(now)
  echo "$t1 - $t0" | bc >> "$work/$name.wall"
  awk '{print $1 + $2}' "$work/time.tmp" >> "$work/$name.cpu"
}

machine_line() {
  echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
}

# start_agent AGENT SENDER INBOX: the agent in unattended mode with its data in $work/data,
# paired once with a sender whose data is in $work/phone. Sets agent_pid, port and send (the
# sender's command line up to the files).
start_agent() {
  local agent=$1 sender=$2 inbox=$3
  export XDG_RUNTIME_DIR=$work/run
  mkdir -p "$XDG_RUNTIME_DIR"
  "$agent" --console --autotest --data-dir "$work/data" --inbox "$inbox" > "$work/agent.out" 2>&1 &
  agent_pid=$!; pids+=("$agent_pid")
  for _ in $(seq 100); do grep -q "listening on port" "$work/agent.out" && break; sleep 0.1; done
  port=$(grep -o 'listening on port [0-9]*' "$work/agent.out" | awk '{print $4}')
  [ -n "$port" ] || die "the agent did not start"
  send=("$sender" --to "127.0.0.1:$port" --data-dir "$work/phone" --yes)
  echo warm > "$work/warm.txt"
  "${send[@]}" "$work/warm.txt" > /dev/null 2>&1 || die "pairing failed"
  rm -f "$inbox/warm.txt"
}

# start_sshd: a throwaway sshd on loopback with its own host and user keys, cipher
# chacha20-poly1305 as the anchor for an encrypted copy. Sets sshd_pid, ssh_port and ssh_opts
# (what ssh and scp need besides the port flag).
start_sshd() {
  ssh_port=$(free_port 22200)
  mkdir -p "$work/ssh" && chmod 700 "$work/ssh"
  ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host_key" || die "ssh-keygen"
  ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/user_key" || die "ssh-keygen"
  cp "$work/ssh/user_key.pub" "$work/ssh/authorized_keys"
  printf '%s\n' "Port $ssh_port" "ListenAddress 127.0.0.1" "HostKey $work/ssh/host_key" \
    "AuthorizedKeysFile $work/ssh/authorized_keys" "PasswordAuthentication no" \
    "KbdInteractiveAuthentication no" "PermitRootLogin prohibit-password" "StrictModes no" \
    "UsePAM no" "PidFile $work/ssh/sshd.pid" "Ciphers chacha20-poly1305@openssh.com" \
    "Subsystem sftp /usr/lib/openssh/sftp-server" > "$work/ssh/sshd_config"
  [ "$(id -u)" -eq 0 ] && mkdir -p /run/sshd
  /usr/sbin/sshd -D -e -f "$work/ssh/sshd_config" 2> "$work/ssh/sshd.log" &
  sshd_pid=$!; pids+=("$sshd_pid")
  wait_listening "$ssh_port"
  ssh_opts=(-c chacha20-poly1305@openssh.com -i "$work/ssh/user_key"
            -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes)
}
