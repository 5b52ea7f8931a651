#!/usr/bin/env bash
# Receiving end to end with the real programs: the agent in unattended mode and ferrylink-send
# over loopback. Pairing, a folder tree, a 50 MiB file, text and link, a sender killed half-way
# and resumed, the agent restarted between two halves, and four senders at once sending the
# same names into one inbox.
agent=$1; sender=$2
source "$(dirname "$0")/../shell/lib.sh"
data=$scratch/data; inbox=$scratch/inbox; src=$scratch/src
mkdir -p "$src"
source "$(dirname "$0")/../shell/agent_lib.sh"
anna_pairings() { grep -cE "AUTOTEST pairing code=[0-9]{6} peer=Anna$" "$data/log.txt"; }

start_agent

# ---- pairing, a folder tree and a 50 MiB file in one go ----
mkdir -p "$src/Trip/day 1" "$src/Trip/day 2/deeper" "$src/Trip/été"
head -c 1234567 /dev/urandom > "$src/Trip/day 1/IMG 1.jpg"
head -c 70000 /dev/urandom > "$src/Trip/day 2/deeper/clip.mov"
printf 'notes\n' > "$src/Trip/été/notes.txt"
: > "$src/Trip/empty.txt"
head -c 52428800 /dev/urandom > "$src/big.bin"
send Anna "$src/Trip" "$src/big.bin" > "$scratch/first.txt" 2> "$scratch/first.err"
check "first send exits 0" [ $? -eq 0 ]
check "the phone shows the pairing code" grep -qE '^Code: [0-9]{6}$' "$scratch/first.txt"
code=$(grep -oE '^Code: [0-9]{6}$' "$scratch/first.txt" | awk '{print $2}')
check "the agent logs the same code" file_has "$data/log.txt" "AUTOTEST pairing code=$code peer=Anna"
check "the agent logs the offer" file_has "$data/log.txt" "AUTOTEST offer from=Anna kind=1 count=5 total="
check "the phone reports every file stored" file_has "$scratch/first.txt" "5 of 5 file(s) stored"
check "the folder tree arrives intact" diff -r "$src/Trip" "$inbox/Trip"
check "the 50 MiB file arrives intact" cmp "$src/big.bin" "$inbox/big.bin"
check "the agent remembers the phone" grep -qP '^[0-9a-f]{64}\t1\t[0-9]+\tAnna$' "$data/trust.txt"
check "the phone remembers the agent" [ -s "$scratch/phones/Anna/trust.txt" ]

# ---- text and link; a paired phone within its allowance is not asked again ----
offers_before=$(log_count "AUTOTEST offer")
send Anna --text "hello from the e2e test" > "$scratch/text.txt"
check "text send exits 0" [ $? -eq 0 ]
send Anna --link "https://example.org/a?b=c" > /dev/null
check "link send exits 0" [ $? -eq 0 ]
check "the agent received the text" wait_for 5 file_has "$out" "text from Anna: hello from the e2e test"
check "the agent received the link" wait_for 5 file_has "$out" "link from Anna: https://example.org/a?b=c"
check "the allowance covered both" [ "$(log_count "AUTOTEST offer")" -eq "$offers_before" ]
check "no pairing the second time" [ "$(anna_pairings)" -eq 1 ]

# ---- what the phone says when something goes wrong: one line, exit status 1 ----
"$sender" --to 127.0.0.1:1 --data-dir "$scratch/phones/Anna" "$src/big.bin" > /dev/null 2> "$scratch/refused.err"
check "an unreachable agent fails" [ $? -eq 1 ]
check "refused connection in words" file_has "$scratch/refused.err" "ferrylink-send: cannot connect to 127.0.0.1:1: connection refused"
printf 'n\n' | "$sender" --to "127.0.0.1:$port" --name Bert --data-dir "$scratch/phones/Bert" \
  "$src/big.bin" > "$scratch/declined.out" 2> "$scratch/declined.err"
check "a declined pairing fails" [ $? -eq 1 ]
check "the question is asked" file_has "$scratch/declined.out" "Same code on the PC? [y/N]"
check "declined pairing in words" file_has "$scratch/declined.err" "ferrylink-send: pairing declined: the codes differ"
check "the agent logs the broken pairing" wait_for 5 file_has "$data/log.txt" "pairing did not complete"
check "nothing of Bert's is offered" [ "$(grep -c "offer from=Bert" "$data/log.txt")" -eq 0 ]
send Anna --text "$(head -c 60001 /dev/zero | tr '\0' x)" > /dev/null 2> "$scratch/long.err"
check "an oversized text fails" [ $? -eq 1 ]
check "the rejection is explained" file_has "$scratch/long.err" "ferrylink-send: offer rejected: not acceptable to the PC"

# ---- a sender killed half-way, then the same file again ----
head -c 67108864 /dev/urandom > "$src/half.bin"
as Anna; "${cmd[@]}" --max-rate 16M "$src/half.bin" > /dev/null 2>&1 &
killed=$!; pids+=($killed)
check "the killed transfer gets going" wait_for 20 bigger_than "$inbox/half.bin.flpart" 8000000
kill -9 "$killed"; wait "$killed" 2>/dev/null
check "the agent notices the lost sender" wait_for 20 file_has "$data/log.txt" "recv error -3"
kept=$(size_of "$inbox/half.bin.flpart")
check "the partial file keeps what arrived" [ "$kept" -gt 8000000 -a "$kept" -lt 67108864 ]
send Anna "$src/half.bin" > "$scratch/resume.txt" 2>&1
check "the resumed send exits 0" [ $? -eq 0 ]
check "the phone reports the resume" grep -q "^stored    half.bin (67.1 MB, resumed at " "$scratch/resume.txt"
check "the resumed file is intact" cmp "$src/half.bin" "$inbox/half.bin"
check "no partial file is left" [ ! -e "$inbox/half.bin.flpart" -a ! -e "$inbox/half.bin.flmeta" ]

# ---- the agent restarted between the two halves ----
head -c 67108864 /dev/urandom > "$src/restart.bin"
as Anna; "${cmd[@]}" --max-rate 16M "$src/restart.bin" > /dev/null 2> "$scratch/cut.err" &
cut=$!; pids+=($cut)
check "the cut transfer gets going" wait_for 20 bigger_than "$inbox/restart.bin.flpart" 8000000
stop_agent
check "the agent exits 0 on SIGTERM" [ $? -eq 0 ]
wait "$cut"; code=$?
check "the phone fails when the agent goes away" [ "$code" -ne 0 ]
check "the phone says the connection was lost" file_has "$scratch/cut.err" "connection lost"
kept=$(size_of "$inbox/restart.bin.flpart")
start_agent
send Anna "$src/restart.bin" > "$scratch/restart.txt" 2>&1
check "the send after the restart exits 0" [ $? -eq 0 ]
check "it resumed after the restart" grep -q "^stored    restart.bin (67.1 MB, resumed at " "$scratch/restart.txt"
check "the restarted transfer is intact" cmp "$src/restart.bin" "$inbox/restart.bin"
check "the restarted agent still knows the phone" [ "$(anna_pairings)" -eq 1 ]

# ---- four phones at once, same names, same inbox (four hosts: one address holds two workers) ----
for i in 1 2 3 4; do
  mkdir -p "$src/phone$i/batch"
  head -c $((1000000 + i * 12345)) /dev/urandom > "$src/phone$i/batch/photo.jpg"
  printf 'from phone %d\n' "$i" > "$src/phone$i/batch/note.txt"
done
together=()
for i in 1 2 3 4; do
  as "Phone $i"; "${cmd[@]}" --from "127.0.0.$i" "$src/phone$i/batch" > "$scratch/together.$i.txt" 2>&1 &
  together+=($!); pids+=($!)
done
for i in 1 2 3 4; do
  wait "${together[$((i - 1))]}"
  check "phone $i stored everything" [ $? -eq 0 ]
done
check "eight files under unique names" [ "$(find "$inbox/batch" -type f | wc -l)" -eq 8 ]
( cd "$src" && sha256sum phone*/batch/* | awk '{print $1}' | sort ) > "$scratch/sent.sums"
( cd "$inbox/batch" && sha256sum -- * | awk '{print $1}' | sort ) > "$scratch/stored.sums"
check "every phone's bytes arrived, none lost or mixed" cmp "$scratch/sent.sums" "$scratch/stored.sums"
check "no partial files are left" [ -z "$(find "$inbox" -name '*.flpart' -o -name '*.flmeta')" ]

stop_agent
echo "all transfer checks passed"
