#!/usr/bin/env bash
# One file from ferrylink-send to the native agent over loopback into a tmpfs inbox, side by
# side in the same run with scp (chacha20-poly1305) to a throwaway sshd on loopback and a raw
# socat TCP copy. The three take turns run by run, so that a change in the machine's load hits
# all alike. Prints the median wall time (sender's start to its exit) and MB/s, the median CPU
# time of both ends together, the ratios, and the agent's peak memory.
#
#   transfer_bench.sh FERRYLINK FERRYLINK_SEND [SIZE_MIB] [RUNS]
set -uo pipefail
agent=$1; sender=$2; size_mib=${3:-1024}; runs=${4:-5}
work=$(mktemp -d /dev/shm/fl-bench.XXXXXX) || exit 1
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
die() { echo "bench: $*" >&2; exit 1; }

src=$work/src.bin
head -c $((size_mib * 1048576)) /dev/urandom > "$src" || die "cannot make the test file"
bytes=$(stat -c %s "$src")

now() { date +%s.%N; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
rate() { echo "scale=1; $bytes / $1 / 1000000" | bc; }
free_port() {
  local p
  for p in $(seq "$1" $(($1 + 200))); do
    ss -Htln "sport = :$p" | grep -q . || { echo "$p"; return; }
  done
}
wait_listening() { for _ in $(seq 100); do ss -Htln "sport = :$1" | grep -q . && return; sleep 0.05; done; }
# CPU seconds (user + system) of a process and of the children it has reaped.
cpu_of() { awk '{printf "%.2f\n", ($14 + $15 + $16 + $17) / 100}' "/proc/$1/stat"; }
# timed NAME CMD...: runs CMD; appends its wall time to NAME.wall and its own and its
# children's CPU time to NAME.cpu.
timed() {
  local name=$1; shift
  local t0 t1
  t0=$(now)
  /usr/bin/time -f '%U %S' -o "$work/time.tmp" "$@" > /dev/null 2>&1 || die "$* failed"
  t1=$(now)
  echo "$t1 - $t0" | bc >> "$work/$name.wall"
  awk '{print $1 + $2}' "$work/time.tmp" >> "$work/$name.cpu"
}

# ---- ferrylink: the agent in unattended mode, paired once before measuring ----
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR"
"$agent" --console --autotest --data-dir "$work/data" --inbox "$work/inbox" > "$work/agent.out" 2>&1 &
agent_pid=$!; pids+=($agent_pid)
for _ in $(seq 100); do grep -q "listening on port" "$work/agent.out" && break; sleep 0.1; done
port=$(grep -o 'listening on port [0-9]*' "$work/agent.out" | awk '{print $4}')
[ -n "$port" ] || die "the agent did not start"
send=("$sender" --to "127.0.0.1:$port" --data-dir "$work/phone" --yes)
echo warm > "$work/warm.txt"
"${send[@]}" "$work/warm.txt" > /dev/null 2>&1 || die "pairing failed"

# ---- scp: a throwaway sshd on loopback with its own host and user keys ----
ssh_port=$(free_port 22200)
mkdir -p "$work/ssh" "$work/scp" && chmod 700 "$work/ssh"
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
sshd_pid=$!; pids+=($sshd_pid)
wait_listening "$ssh_port"
scp_cmd=(scp -q -c chacha20-poly1305@openssh.com -P "$ssh_port" -i "$work/ssh/user_key"
         -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes)
raw_port=$(free_port 22500)

for i in $(seq "$runs"); do
  rm -f "$work/inbox/src"*
  a=$(cpu_of "$agent_pid")
  timed ferrylink "${send[@]}" "$src"
  b=$(cpu_of "$agent_pid")
  cmp -s "$src" "$work/inbox/src.bin" || die "ferrylink stored a different file"
  echo "$b - $a" | bc >> "$work/ferrylink.server"

  rm -f "$work/scp/src.bin"
  a=$(cpu_of "$sshd_pid")
  timed scp "${scp_cmd[@]}" "$src" "127.0.0.1:$work/scp/src.bin"
  sleep 0.3  # the session's own sshd has ended and is counted in its parent's children
  b=$(cpu_of "$sshd_pid")
  cmp -s "$src" "$work/scp/src.bin" || die "scp stored a different file"
  echo "$b - $a" | bc >> "$work/scp.server"

  rm -f "$work/raw.bin"
  /usr/bin/time -f '%U %S' -o "$work/raw.tmp" \
    socat -u "TCP-LISTEN:$raw_port,bind=127.0.0.1,reuseaddr" "OPEN:$work/raw.bin,creat,trunc" &
  listener=$!
  wait_listening "$raw_port"
  timed raw socat -u "OPEN:$src" "TCP:127.0.0.1:$raw_port"
  wait "$listener"
  cmp -s "$src" "$work/raw.bin" || die "socat stored a different file"
  awk '{print $1 + $2}' "$work/raw.tmp" >> "$work/raw.server"
done
rss_kib=$(awk '/VmHWM/ {print $2}' "/proc/$agent_pid/status")

# Both ends' CPU per run.
for t in ferrylink scp raw; do
  paste -d' ' "$work/$t.cpu" "$work/$t.server" | awk '{print $1 + $2}' > "$work/$t.both"
done
fl=$(median < "$work/ferrylink.wall"); sc=$(median < "$work/scp.wall"); raw=$(median < "$work/raw.wall")
flc=$(median < "$work/ferrylink.both"); scc=$(median < "$work/scp.both"); rawc=$(median < "$work/raw.both")
row() {  # row NAME WALL CPU WALL_FILE
  printf '%-28s %7.2f s %8s MB/s   cpu %6.2f s   (runs: %s)\n' "$1" "$2" "$(rate "$2")" "$3" \
    "$(awk '{printf "%.2f ", $1}' "$4")"
}
echo "file: $size_mib MiB in /dev/shm; $runs runs each, taking turns; medians"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
row "ferrylink-send -> ferrylink" "$fl" "$flc" "$work/ferrylink.wall"
row "scp chacha20-poly1305" "$sc" "$scc" "$work/scp.wall"
row "socat raw TCP" "$raw" "$rawc" "$work/raw.wall"
echo "throughput ferrylink / scp: $(echo "scale=2; $sc / $fl" | bc)x   (target >= 2)"
echo "throughput ferrylink / raw: $(echo "scale=2; $raw / $fl" | bc)x   (target >= 0.5)"
echo "cpu per transfer scp / ferrylink: $(echo "scale=2; $scc / $flc" | bc)x"
echo "agent peak RSS: $((rss_kib / 1024)) MiB ($rss_kib KiB)   (target <= 16 MiB)"
