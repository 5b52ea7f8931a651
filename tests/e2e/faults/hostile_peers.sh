#!/usr/bin/env bash
# Hostile peers against the real agent: connections that stay silent, a flood of connections,
# slow peers that trickle a byte every two seconds, oversized frames, random bytes before and
# after the handshake. Every hostile connection must end with the agent's real time-out and
# its log line, no worker may be held beyond that, a well-behaved sender must be served again
# once they are gone, and threads, descriptors and memory must come back to where they were.
agent=$1; sender=$2; hostile=$3
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox; src=$scratch/src
source "$(dirname "$0")/../shell/agent_lib.sh"
mkdir -p "$src"

# peers NAME WAIT_S BEHAVIOUR...: runs hostile_peer, its report in $scratch/NAME.txt.
peers() {
  local name=$1 wait_s=$2; shift 2
  "$hostile" --port "$port" --wait-s "$wait_s" "$@" > "$scratch/$name.txt" 2>&1
}
# closed_between NAME BEHAVIOUR MIN_MS MAX_MS COUNT: COUNT connections of BEHAVIOUR were
# closed by the agent, each between MIN_MS and MAX_MS after they connected.
closed_between() {
  awk -v b="$2" -v lo="$3" -v hi="$4" -v n="$5" '
    $1 == b { seen++; split($3, kv, "="); if (kv[1] != "closed_ms" || kv[2] < lo || kv[2] > hi) bad++ }
    END { exit !(seen == n && bad == 0) }' "$scratch/$1.txt"
}
# Marks the log's end; new_failures then lists the failure lines logged since, sorted.
log_mark() { mark=$(wc -l < "$data/log.txt"); }
new_failures() {
  tail -n +$((mark + 1)) "$data/log.txt" | cut -d' ' -f3- |
    grep -E '^(handshake failed|no trust state from peer|session end: |recv error |handle_offer failed|receive_files aborted)' |
    sort
}
# A peer sees its connection close a moment before the worker logs why: callers wait_for it.
expect_failures() {  # expect_failures LINE...: exactly these failure lines since the mark
  diff <([ $# -gt 0 ] && printf '%s\n' "$@" | sort) <(new_failures) > "$scratch/failures.diff"
}
good_send() {  # a well-behaved phone sends a small file; 0 when it was stored
  local f; f=$(mktemp "$src/good.XXXXXX")
  head -c 300000 /dev/urandom > "$f"
  send Good "$f" > /dev/null 2>&1 && cmp -s "$f" "$inbox/$(basename "$f")"
}
workers_at_least() { [ "$(threads_of "$agent_pid")" -ge $((threads0 + $1)) ]; }
settled() {  # the agent is back to its resting number of threads and descriptors
  [ "$(threads_of "$agent_pid")" -eq "$threads0" ] && [ "$(fds_of "$agent_pid")" -eq "$fds0" ]
}

start_agent
threads0=$(threads_of "$agent_pid"); fds0=$(fds_of "$agent_pid")
check "a well-behaved phone pairs and sends" good_send
check "its worker ends" wait_for 5 settled
rss0=$(rss_kib "$agent_pid")

# ---- four silent connections hold every worker; a flood meanwhile is turned away ----
# (Two hosts: one address holds at most two workers.)
log_mark
peers silent 30 --hosts 2 silentx4 &
holders=$!
wait_for 5 workers_at_least 4 || fail "four workers never started"
peers flood 30 silentx40 hangupx200
check "while four workers are held, flooding connections are closed at once" \
  closed_between flood silent 0 1000 40
good_send
check "a fifth peer, even a good one, is turned away while four workers are held" [ $? -ne 0 ]
wait "$holders"
check "silent connections end at the 10 s handshake limit" closed_between silent silent 9500 13000 4
check "each silent connection logs one failed handshake, the turned-away ones nothing" \
  wait_for 5 expect_failures "handshake failed" "handshake failed" "handshake failed" "handshake failed"
check "the workers are free again" wait_for 5 settled
check "the good phone is served once they are gone" good_send

# ---- a flood of connections that hang up at once ----
peers hangups 30 hangupx400
check "the agent lives through a flood of hang-ups" kill -0 "$agent_pid"
check "and its workers and descriptors come back" wait_for 10 settled
check "and it serves the good phone after the flood" good_send

# ---- slow peers: one byte every two seconds of a frame that would take 17 minutes ----
log_mark
peers slow 90 --interval-ms 2000 --hosts 2 slowx4
check "slow peers are cut off well before their frame could arrive" \
  closed_between slow slow 9500 30000 4
check "each slow peer logs a failed handshake" \
  wait_for 5 expect_failures "handshake failed" "handshake failed" "handshake failed" "handshake failed"
check "the workers are free after the slow peers" wait_for 5 settled
check "the good phone is served after the slow peers" good_send

# ---- oversized frames and random bytes, before and after the handshake ----
log_mark
peers garbage 20 --hosts 4 oversize frame513 garbage hs-random
check "oversized and random handshakes are closed at once" closed_between garbage oversize 0 2000 1
check "a 513-byte handshake frame is closed at once" closed_between garbage frame513 0 2000 1
check "random handshake messages are closed at once" closed_between garbage garbage 0 2000 1
check "random bytes instead of a trust state are closed at once" \
  closed_between garbage hs-random 0 2000 1
check "three failed handshakes and a missing trust state are logged" \
  wait_for 5 expect_failures "handshake failed" "handshake failed" "handshake failed" "no trust state from peer"
log_mark
peers channel 20 --hosts 3 idle-random idle-unknown data-random
check "random bytes between offers are closed at once" closed_between channel idle-random 0 2000 1
check "an unknown message type is closed at once" closed_between channel idle-unknown 0 2000 1
check "random bytes inside a transfer are closed at once" closed_between channel data-random 0 3000 1
check "each ends with its channel result in the log" \
  wait_for 5 expect_failures "session end: recv=-5" "session end: recv=-4" "recv error -5" "handle_offer failed"
check "the transfer that was cut keeps its bytes for a resume" [ -s "$inbox/hostile.bin.flpart" ]

# ---- names that would land outside the inbox; one name for 200 files of one offer ----
log_mark
peers escape 60 --items 200 escape same-names
check "200 files offered under one name are all stored" \
  grep -qx "same-names 0 closed_ms=[0-9]* got=stored:200" "$scratch/escape.txt"
check "each under a name of its own" \
  [ "$(find "$inbox" -maxdepth 1 -type f \( -name s -o -name 's ([0-9]*)' \) | wc -l)" -eq 200 ]
check "every escaping name is rejected as unusable and the connection stays open for the next" \
  grep -qx "escape 0 closed_ms=[0-9]* got=12,03,12,03,12,03,12,03,12,03,12,03,12,03,12,03" \
  "$scratch/escape.txt"
check "nothing was written outside the inbox" \
  [ -z "$(find "$scratch" -name 'evil-*')" -a ! -e /tmp/evil-3.txt ]
check "rejections are not failures: nothing logged" expect_failures

# ---- peers that go quiet after the handshake: the 15 s and 60 s limits ----
log_mark
peers quiet 90 --from 127.0.0.2 hs-silent idle-silent &
quiet=$!
sleep 2
check "a good phone is served while two quiet peers wait" good_send
wait "$quiet"
check "a peer that never sends its trust state is closed after 15 s" \
  closed_between quiet hs-silent 14500 18000 1
check "a peer idle between offers is closed after 60 s" closed_between quiet idle-silent 59500 64000 1
check "both log their ending" wait_for 5 expect_failures "no trust state from peer" "session end: recv=-2"

# ---- what the agent holds afterwards ----
check "threads and descriptors back to where they were" wait_for 5 settled
rss1=$(rss_kib "$agent_pid"); peak=$(peak_rss_kib "$agent_pid")
echo "agent RSS: before ${rss0} KiB, after ${rss1} KiB, peak ${peak} KiB"
check_memory "peak memory stays bounded (under 64 MiB above the start)" [ $((peak - rss0)) -lt 65536 ]
check_memory "no memory kept after the hostile peers (under 16 MiB above the start)" \
  [ $((rss1 - rss0)) -lt 16384 ]
check "every log line is whole" log_lines_whole
stop_agent
check "the agent exits 0" [ $? -eq 0 ]
echo "all hostile-peer checks passed"
