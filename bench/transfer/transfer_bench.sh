#!/usr/bin/env bash
# One file from ferrylink-send to the native agent over loopback into a tmpfs inbox, side by
# side in the same run with scp (chacha20-poly1305) to a throwaway sshd on loopback and a raw
# socat TCP copy. Wall time from the sender's start to its exit, median of the runs. Prints
# MB/s, the ratios and the agent's peak memory.
#
#   transfer_bench.sh FERRYLINK FERRYLINK_SEND [SIZE_MIB] [RUNS]
set -uo pipefail
agent=$1; sender=$2; size_mib=${3:-1024}; runs=${4:-5}
work=$(mktemp -d /dev/shm/fl-bench.XXXXXX)
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
elapsed() { echo "$2 - $1" | bc; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
rate() { echo "scale=1; $bytes / $1 / 1000000" | bc; }
free_port() {
  local p
  for p in $(seq "$1" $(($1 + 200))); do
    ss -Htln "sport = :$p" | grep -q . || { echo "$p"; return; }
  done
}

# ---- ferrylink ----
export XDG_RUNTIME_DIR=$work/run; mkdir -p "$XDG_RUNTIME_DIR"
"$agent" --console --autotest --data-dir "$work/data" --inbox "$work/inbox" > "$work/agent.out" 2>&1 &
agent_pid=$!; pids+=($agent_pid)
for _ in $(seq 100); do grep -q "listening on port" "$work/agent.out" && break; sleep 0.1; done
port=$(grep -o 'listening on port [0-9]*' "$work/agent.out" | awk '{print $4}')
[ -n "$port" ] || die "the agent did not start"
send() { "$sender" --to "127.0.0.1:$port" --data-dir "$work/phone" --yes "$@" > /dev/null 2>&1; }
echo warm > "$work/warm.txt"
send "$work/warm.txt" || die "pairing failed"  # pairs once, outside the measurement
for i in $(seq "$runs"); do
  rm -f "$work/inbox/src"*
  t0=$(now); send "$src" || die "ferrylink-send failed"; t1=$(now)
  cmp -s "$src" "$work/inbox/src.bin" || die "ferrylink stored a different file"
  elapsed "$t0" "$t1"
done > "$work/ferrylink.times"
rss_kib=$(awk '/VmHWM/ {print $2}' "/proc/$agent_pid/status")

# ---- scp with chacha20-poly1305 to a throwaway sshd ----
ssh_port=$(free_port 22200)
mkdir -p "$work/ssh" && chmod 700 "$work/ssh"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host_key" || die "ssh-keygen"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/user_key" || die "ssh-keygen"
cp "$work/ssh/user_key.pub" "$work/ssh/authorized_keys"
cat > "$work/ssh/sshd_config" <<EOF
Port $ssh_port
ListenAddress 127.0.0.1
HostKey $work/ssh/host_key
AuthorizedKeysFile $work/ssh/authorized_keys
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
StrictModes no
UsePAM no
PidFile $work/ssh/sshd.pid
Ciphers chacha20-poly1305@openssh.com
Subsystem sftp /usr/lib/openssh/sftp-server
EOF
[ "$(id -u)" -eq 0 ] && mkdir -p /run/sshd
/usr/sbin/sshd -D -e -f "$work/ssh/sshd_config" 2> "$work/ssh/sshd.log" &
pids+=($!)
for _ in $(seq 50); do ss -Htln "sport = :$ssh_port" | grep -q . && break; sleep 0.1; done
scp_opts=(-q -c chacha20-poly1305@openssh.com -P "$ssh_port" -i "$work/ssh/user_key"
          -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes)
mkdir -p "$work/scp"
for i in $(seq "$runs"); do
  rm -f "$work/scp/src.bin"
  t0=$(now); scp "${scp_opts[@]}" "$src" "127.0.0.1:$work/scp/src.bin" || die "scp failed"; t1=$(now)
  cmp -s "$src" "$work/scp/src.bin" || die "scp stored a different file"
  elapsed "$t0" "$t1"
done > "$work/scp.times"

# ---- raw TCP copy ----
raw_port=$(free_port 22500)
for i in $(seq "$runs"); do
  rm -f "$work/raw.bin"
  socat -u "TCP-LISTEN:$raw_port,bind=127.0.0.1,reuseaddr" "OPEN:$work/raw.bin,creat,trunc" &
  listener=$!
  for _ in $(seq 50); do ss -Htln "sport = :$raw_port" | grep -q . && break; sleep 0.05; done
  t0=$(now); socat -u "OPEN:$src" "TCP:127.0.0.1:$raw_port" || die "socat failed"; wait "$listener"; t1=$(now)
  elapsed "$t0" "$t1"
done > "$work/raw.times"

fl=$(median < "$work/ferrylink.times"); sc=$(median < "$work/scp.times"); raw=$(median < "$work/raw.times")
echo "file: $size_mib MiB in /dev/shm, $runs runs each, median wall time"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-28s %8.2f s %9s MB/s   (runs: %s)\n' "ferrylink-send -> ferrylink" "$fl" "$(rate "$fl")" "$(tr '\n' ' ' < "$work/ferrylink.times")"
printf '%-28s %8.2f s %9s MB/s   (runs: %s)\n' "scp chacha20-poly1305" "$sc" "$(rate "$sc")" "$(tr '\n' ' ' < "$work/scp.times")"
printf '%-28s %8.2f s %9s MB/s   (runs: %s)\n' "socat raw TCP" "$raw" "$(rate "$raw")" "$(tr '\n' ' ' < "$work/raw.times")"
echo "ferrylink / scp: $(echo "scale=2; $sc / $fl" | bc)x   (target >= 2)"
echo "ferrylink / raw: $(echo "scale=2; $raw / $fl" | bc)x   (target >= 0.5)"
echo "agent peak RSS: $((rss_kib / 1024)) MiB ($rss_kib KiB)   (target <= 16 MiB)"
