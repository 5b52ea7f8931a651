#!/usr/bin/env bash
# Many small files in one folder: ferrylink-send to the native agent over loopback, side by
# side in the same run with `tar -c | ssh ... tar -x` to a throwaway sshd on loopback
# (chacha20-poly1305), taking turns run by run. The source is on tmpfs; the receiving folders
# are on tmpfs too, or below DEST_PARENT when given (a real disk shows what syncing costs: the
# agent syncs every stored file, tar syncs nothing). Prints median wall times, files/s, the
# CPU time of both ends and the ratio.
#
#   small_files_bench.sh FERRYLINK FERRYLINK_SEND [COUNT] [SIZE_KIB] [RUNS] [DEST_PARENT]
set -uo pipefail
source "$(dirname "$0")/../bench_lib.sh"
bench_isolate "$0" "$@"
agent=$1; sender=$2; count=${3:-10000}; size_kib=${4:-4}; runs=${5:-5}; dest_parent=${6:-}
bench_workdir
dest=$work
if [ -n "$dest_parent" ]; then
  dest=$(mktemp -d "$dest_parent/fl-bench-dest.XXXXXX") || die "cannot use $dest_parent"
  trap 'bench_cleanup; rm -rf "$dest"' EXIT
fi

src=$work/files
mkdir -p "$src"
head -c $((count * size_kib * 1024)) /dev/urandom |
  split -a 5 -d -b $((size_kib * 1024)) - "$src/f" || die "cannot make the files"

start_agent "$agent" "$sender" "$dest/inbox"
start_sshd
ssh_cmd=(ssh -p "$ssh_port" "${ssh_opts[@]}" 127.0.0.1)
mkdir -p "$dest/tar"

same_tree() { diff -rq "$src" "$1" > /dev/null || die "$2 stored different files"; }
for i in $(seq "$runs"); do
  rm -rf "$dest/inbox/files"
  sync
  a=$(cpu_of "$agent_pid")
  timed ferrylink "${send[@]}" "$src"
  b=$(cpu_of "$agent_pid")
  same_tree "$dest/inbox/files" ferrylink
  echo "$b - $a" | bc >> "$work/ferrylink.server"

  rm -rf "$dest/tar/files"
  sync
  a=$(cpu_of "$sshd_pid")
  timed tar bash -c 'tar -C "$1" -cf - files | "${@:3}" "tar -C $2 -xf -"' tar \
    "$work" "$dest/tar" "${ssh_cmd[@]}"
  sleep 0.3  # the session's own sshd has ended and is counted in its parent's children
  b=$(cpu_of "$sshd_pid")
  same_tree "$dest/tar/files" "tar over ssh"
  echo "$b - $a" | bc >> "$work/tar.server"
done
for t in ferrylink tar; do
  paste -d' ' "$work/$t.cpu" "$work/$t.server" | awk '{print $1 + $2}' > "$work/$t.both"
done

fl=$(median < "$work/ferrylink.wall"); tr=$(median < "$work/tar.wall")
row() {  # row NAME WALL CPU WALL_FILE
  printf '%-28s %7.2f s %8.0f files/s   cpu both ends %5.2f s   (runs: %s)\n' "$1" "$2" \
    "$(echo "$count / $2" | bc -l)" "$3" "$(runs_of "$4")"
}
where=tmpfs
[ -n "$dest_parent" ] && where="$(df --output=fstype "$dest" | tail -1) at $dest_parent"
echo "$count files of $size_kib KiB, from tmpfs to $where; $runs runs each, taking turns; medians"
machine_line
row "ferrylink-send -> ferrylink" "$fl" "$(median < "$work/ferrylink.both")" "$work/ferrylink.wall"
row "tar | ssh tar -x" "$tr" "$(median < "$work/tar.both")" "$work/tar.wall"
echo "throughput ferrylink / tar over ssh: $(ratio "$tr" "$fl")x   (goal >= 2)"
