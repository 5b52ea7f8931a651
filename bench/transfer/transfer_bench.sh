#!/usr/bin/env bash
# One file from ferrylink-send to the native agent over loopback into a tmpfs inbox, side by
# side in the same run with scp (chacha20-poly1305) to a throwaway sshd on loopback and a raw
# TCP copy with large buffers (socat -b 1048576), which is about what the machine can move.
# The three take turns run by run, so that a change in the machine's load hits all alike.
# Prints the median wall time (sender's start to its exit) and MB/s, the median CPU time of
# both ends together (per GiB as well), the ratios, and the agent's peak memory.
#
#   transfer_bench.sh FERRYLINK FERRYLINK_SEND [SIZE_MIB] [RUNS]
set -uo pipefail
source "$(dirname "$0")/../bench_lib.sh"
bench_isolate "$0" "$@"
agent=$1; sender=$2; size_mib=${3:-1024}; runs=${4:-5}
bench_workdir

src=$work/src.bin
head -c $((size_mib * 1048576)) /dev/urandom > "$src" || die "cannot make the test file"
bytes=$(stat -c %s "$src")
rate() { echo "scale=1; $bytes / $1 / 1000000" | bc; }

start_agent "$agent" "$sender" "$work/inbox"
start_sshd
mkdir -p "$work/scp"
scp_cmd=(scp -q -P "$ssh_port" "${ssh_opts[@]}")
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
  /usr/bin/time -f '%U %S' -o "$work/raw.tmp" socat -u -b 1048576 \
    "TCP-LISTEN:$raw_port,bind=127.0.0.1,reuseaddr" "OPEN:$work/raw.bin,creat,trunc" &
  listener=$!
  wait_listening "$raw_port"
  timed raw socat -u -b 1048576 "OPEN:$src" "TCP:127.0.0.1:$raw_port"
  wait "$listener"
  cmp -s "$src" "$work/raw.bin" || die "socat stored a different file"
  awk '{print $1 + $2}' "$work/raw.tmp" >> "$work/raw.server"
done
rss_kib=$(peak_rss_kib "$agent_pid")

# Both ends' CPU per run.
for t in ferrylink scp raw; do
  paste -d' ' "$work/$t.cpu" "$work/$t.server" | awk '{print $1 + $2}' > "$work/$t.both"
done
fl=$(median < "$work/ferrylink.wall"); sc=$(median < "$work/scp.wall"); raw=$(median < "$work/raw.wall")
flc=$(median < "$work/ferrylink.both"); scc=$(median < "$work/scp.both"); rawc=$(median < "$work/raw.both")
gib=$(echo "scale=6; $bytes / 1073741824" | bc)
row() {  # row NAME WALL CPU WALL_FILE
  printf '%-28s %7.2f s %8s MB/s   cpu both ends %6.2f s (%.2f s/GiB)   (runs: %s)\n' "$1" "$2" \
    "$(rate "$2")" "$3" "$(echo "$3 / $gib" | bc -l)" "$(runs_of "$4")"
}
echo "file: $size_mib MiB in /dev/shm; $runs runs each, taking turns; medians"
machine_line
row "ferrylink-send -> ferrylink" "$fl" "$flc" "$work/ferrylink.wall"
row "scp chacha20-poly1305" "$sc" "$scc" "$work/scp.wall"
row "socat -b 1048576 raw TCP" "$raw" "$rawc" "$work/raw.wall"
echo "throughput ferrylink / scp: $(ratio "$sc" "$fl")x   (goal >= 3)"
echo "throughput ferrylink / raw: $(ratio "$raw" "$fl")x   (goal >= 0.3)"
printf "ferrylink cpu of both ends: %.2f s/GiB   (aim < 2.2)\n" "$(echo "$flc / $gib" | bc -l)"
echo "agent peak RSS: $((rss_kib / 1024)) MiB ($rss_kib KiB)   (goal <= 16 MiB)"
