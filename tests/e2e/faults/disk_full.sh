#!/usr/bin/env bash
# A full disk under the inbox (an 8 MiB tmpfs mounted by the test; skipped when mounting is
# not allowed): an offer larger than the free space is rejected for space before anything is
# written; a disk that fills up in the middle of a file fails that file with status 2 and
# ends the connection, files stored before stay, and once space is freed the same file
# resumes where the disk ran out and arrives intact. Once with the real agent (the disk
# filled by another writer during the transfer), once with the receive subsystem's own agent
# told a larger free space than there is (the offer gets in although it cannot fit).
agent=$1; sender=$2; fault_agent=$3
source "$(dirname "$0")/../shell/lib.sh"
src=$scratch/src; mkdir -p "$src"
mnt=$scratch/disk; mkdir -p "$mnt"
if ! mount -t tmpfs -o size=8m tmpfs "$mnt" 2> "$scratch/mount.err"; then
  echo "SKIP: cannot mount a tmpfs here: $(cat "$scratch/mount.err")"
  exit 77
fi
trap 'for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; sleep 0.3
      umount -l "$mnt"; cleanup' EXIT
data=$scratch/data; inbox=$mnt/inbox
source "$(dirname "$0")/../shell/agent_lib.sh"
free_kib() { df -k --output=avail "$mnt" | tail -1 | tr -d ' '; }
# fill: takes every free byte of the disk with a file outside the inbox.
fill() { head -c 16M /dev/zero > "$mnt/filler" 2>/dev/null; }
unfill() { rm -f "$mnt/filler"; }

start_agent
head -c 100000 /dev/urandom > "$src/keep.bin"
send Dana "$src/keep.bin" > /dev/null 2>&1
check "a file is stored before the disk troubles" cmp "$src/keep.bin" "$inbox/keep.bin"

# ---- an offer larger than the free space ----
head -c $((10 * 1048576)) /dev/urandom > "$src/huge.bin"
send Dana "$src/huge.bin" > "$scratch/huge.txt" 2>&1
check "an offer larger than the disk fails" [ $? -ne 0 ]
check "it is rejected for space" file_has "$scratch/huge.txt" "not enough free space"
check "nothing of it is written" [ -z "$(find "$inbox" -name 'huge*')" ]
check "the user is not even asked" [ "$(log_count 'AUTOTEST offer from=Dana kind=1 count=1 total=10')" -eq 0 ]

# ---- the disk fills up while a file arrives ----
mkdir -p "$src/pair"
head -c 1048576 /dev/urandom > "$src/pair/a.bin"
# 4 MiB: once the filler is gone the free space holds the whole file again (the offer's
# space check counts whole files, bytes already in a partial file included).
head -c $((4 * 1048576)) /dev/urandom > "$src/pair/b.bin"
as Dana; "${cmd[@]}" --max-rate 2M "$src/pair/a.bin" "$src/pair/b.bin" > "$scratch/mid.txt" 2>&1 &
phone=$!; pids+=($phone)
check "the second file gets going" wait_for 30 bigger_than "$inbox/b.bin.flpart" 1048576
fill
wait "$phone"
check "the phone fails when the disk is full" [ $? -ne 0 ]
check "the first file of the offer is stored" cmp "$src/pair/a.bin" "$inbox/a.bin"
check "the second file is reported as not stored" file_has "$scratch/mid.txt" "FAILED    b.bin: the PC could not store it"
check "the agent logs the failed write" file_has "$data/log.txt" "receive_files aborted (recv:241)"
check "and ends the offer" file_has "$data/log.txt" "handle_offer failed"
check "the earlier file stays" cmp "$src/keep.bin" "$inbox/keep.bin"
check "the bytes that fitted stay for a resume" \
  [ -s "$inbox/b.bin.flpart" -a -s "$inbox/b.bin.flmeta" ]
unfill
send Dana "$src/pair/b.bin" > "$scratch/mid-resume.txt" 2>&1
check "the same file is sent again once space is freed" [ $? -eq 0 ]
check "it resumes where the disk ran out" grep -q '^stored    b.bin (.*, resumed at ' "$scratch/mid-resume.txt"
check "it arrives intact" cmp "$src/pair/b.bin" "$inbox/b.bin"
check "the agent is still alive" kill -0 "$agent_pid"
stop_agent
check "the agent exits 0" [ $? -eq 0 ]
rm -rf "$inbox"/*

# ---- an offer let in by a pretended free space, larger than the disk ----
"$fault_agent" --data-dir "$scratch/fdata" --inbox "$inbox" --free-space 1073741824 \
  > "$scratch/fault_agent.out" 2>&1 &
agent_pid=$!; pids+=($agent_pid)
wait_for 20 file_has "$scratch/fault_agent.out" "listening on port" || fail "fault_agent start"
port=$(awk '/listening on port/ {print $4}' "$scratch/fault_agent.out")
head -c $((3 * 1048576)) /dev/zero > "$mnt/filler"
mkdir -p "$src/over"
head -c $((2 * 1048576)) /dev/urandom > "$src/over/c.bin"
head -c $((5 * 1048576)) /dev/urandom > "$src/over/d.bin"
echo "free before the offer: $(free_kib) KiB for 7168 KiB offered"
send Eli "$src/over/c.bin" "$src/over/d.bin" > "$scratch/over.txt" 2>&1
check "an offer larger than the disk fails when let in" [ $? -ne 0 ]
check "the first file is stored" cmp "$src/over/c.bin" "$inbox/c.bin"
check "the second gets status 2" file_has "$scratch/over.txt" "FAILED    d.bin: the PC could not store it"
check "the write failure is logged" file_has "$scratch/fdata/log.txt" "receive_files aborted (recv:241)"
check "the connection ends with the offer" file_has "$scratch/fdata/log.txt" "handle_offer failed"
check "the agent is still alive" kill -0 "$agent_pid"
unfill
send Eli "$src/over/d.bin" > "$scratch/over-resume.txt" 2>&1
check "the file is sent again once space is freed" [ $? -eq 0 ]
check "it resumes where the disk ran out" grep -q '^stored    d.bin (.*, resumed at ' "$scratch/over-resume.txt"
check "it arrives intact" cmp "$src/over/d.bin" "$inbox/d.bin"
check "the first file is untouched" cmp "$src/over/c.bin" "$inbox/c.bin"
kill -TERM "$agent_pid"; wait "$agent_pid"
echo "all disk-full checks passed"
