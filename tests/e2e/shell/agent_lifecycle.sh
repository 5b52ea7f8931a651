#!/usr/bin/env bash
# The Linux agent's life: --help and --version, start-up with its log, one copy per user, the
# log size limit, a clean stop on SIGINT, and the self-test.
agent=$1 sender=$2
source "$(dirname "$0")/lib.sh"
export XDG_RUNTIME_DIR=$scratch/run; mkdir -p "$XDG_RUNTIME_DIR"
export HOME=$scratch/home; mkdir -p "$HOME"
unset XDG_CONFIG_HOME APPDATA LANG LC_ALL LC_MESSAGES

# --help and --version answer at once and start nothing, for the agent and the sender alike.
for prog in "$agent" "$sender"; do
  name=$(basename "$prog")
  timeout 10 "$prog" --version --data-dir "$scratch/never" > "$scratch/version.txt" 2>&1
  check "$name --version exits 0" [ $? -eq 0 ]
  check "$name --version prints its name and version" grep -qx "$name 0.1.0" "$scratch/version.txt"
  timeout 10 "$prog" --data-dir "$scratch/never" --help > "$scratch/help.txt" 2>&1
  check "$name --help exits 0" [ $? -eq 0 ]
  check "$name --help prints the usage" grep -q "^usage: $name " "$scratch/help.txt"
  check "$name --help lists --version" grep -q -- "--version" "$scratch/help.txt"
done
check "--help and --version create no data folder" [ ! -e "$scratch/never" ]
check "... nor the default one" [ ! -e "$HOME/.config" ]
# A folder named like the option is a folder, not a question: here the self-test runs.
timeout 10 "$agent" --inbox --help --test > "$scratch/help-inbox.txt"
check "an --inbox folder named --help is no --help" file_has "$scratch/help-inbox.txt" "SELFTEST OK"

# Self-test: eight lines, each ended by CR LF, exit 0, and nothing written anywhere else.
"$agent" --test --data-dir "$scratch/never" > "$scratch/selftest.txt"
check "self-test exits 0" [ $? -eq 0 ]
check "self-test prints eight CR LF lines" [ "$(grep -c $'\r$' "$scratch/selftest.txt")" -eq 8 ]
check "self-test ends with the summary" file_has "$scratch/selftest.txt" "SELFTEST OK (0 failures)"
check "self-test creates no data directory" [ ! -e "$scratch/never" ]

# A log of exactly 262144 bytes survives start-up; the run's first line would take it past
# the limit, so the run starts it afresh, with a line saying so.
data=$scratch/data; inbox=$scratch/inbox
mkdir -p "$data"; head -c 262144 /dev/zero | tr '\0' 'a' > "$data/log.txt"
"$agent" --console --autotest --data-dir "$data" --inbox "$inbox" 2> "$scratch/first.err" &
pids+=($!); first=$!
check "start line is logged" wait_for 20 file_has "$data/log.txt" "ferrylink 0.1.0 started (id "
check "a 262144-byte log survives start-up and the run starts it afresh" \
  bash -c "head -1 '$data/log.txt' | grep -q ' log started afresh: it had reached its limit of 262144 bytes$'"
first_id=$(grep -o 'started (id [0-9a-f]*' "$data/log.txt" | head -1)
check "the device id is 16 lower-case hex digits" bash -c "[[ '$first_id' =~ ^'started (id '[0-9a-f]{16}$ ]]"

check "log lines are echoed with --console" file_has "$scratch/first.err" "started (id"
check "inbox is created" [ -d "$inbox" ]
# Unattended, with the inbox given: no question, no intro, so nothing reaches config.ini.
check "an unattended run saves no settings" [ ! -e "$data/config.ini" ]

# A second copy says so and ends with 0, saving nothing. (It does drop the oversized log
# first: the size check comes before the single-copy check.)
"$agent" --data-dir "$data" --inbox "$inbox" 2> "$scratch/second.err" < /dev/null
check "second copy exits 0" [ $? -eq 0 ]
check "second copy shows the already-running message" \
  file_has "$scratch/second.err" "ferrylink is already running for this user."
check "second copy saves no settings" [ ! -e "$data/config.ini" ]

# Ctrl-C stops the agent cleanly.
kill -INT "$first"
check "agent stops on SIGINT" wait_for 10 bash -c "! kill -0 $first 2>/dev/null"
wait "$first"; check "agent exits 0" [ $? -eq 0 ]

# One byte over the limit and the log starts afresh.
head -c 262145 /dev/zero | tr '\0' 'a' > "$data/log.txt"
"$agent" --autotest --data-dir "$data" --inbox "$inbox" 2>/dev/null &
pids+=($!); again=$!
check "restart logs its start line" wait_for 20 file_has "$data/log.txt" "started (id"
check "a 262145-byte log is dropped at start-up" [ "$(head -c 4 "$data/log.txt")" != "aaaa" ]
check "by start-up itself, before any line of the run" \
  bash -c "! grep -q 'log started afresh' '$data/log.txt'"
check "a restart reads back the same device id" file_has "$data/log.txt" "$first_id"
kill -TERM "$again"; wait "$again"
check "agent exits 0 on SIGTERM" [ $? -eq 0 ]

# An identity key that can be neither read nor written stops the start with exit code 1.
mkdir -p "$scratch/broken/identity.key"
"$agent" --autotest --data-dir "$scratch/broken" --inbox "$inbox" 2> "$scratch/broken.err" < /dev/null
check "an unusable identity key ends the start with exit code 1" [ $? -eq 1 ]
check "and says identity error" file_has "$scratch/broken.err" "identity error"
check "and starts no listener" bash -c "! grep -q 'listening on port' '$scratch/broken/log.txt' 2>/dev/null"

# A desktop that cannot be made (here: no descriptor left for its wake-up pipe) ends the start
# with a message and exit code 1, instead of leaving an agent nobody can quit that holds the
# one-copy lock. The smallest descriptor limit that lets the program load and read its
# identity key is the one (what the test runner leaves open counts too).
# The sanitizers' own checks need descriptors too (they test memory through a pipe), so
# there the starved process would show the sanitizer's limits, not the agent's.
if [ -n "${FL_E2E_SANITIZER:-}" ]; then
  echo "skip: a start without descriptors for its window (${FL_E2E_SANITIZER} sanitizer build)"
else
  for n in $(seq 4 16); do
    (ulimit -n "$n"; exec timeout 20 "$agent" --console --autotest --data-dir "$scratch/nowin" \
       --inbox "$inbox") < /dev/null > "$scratch/nowin.out" 2>&1
    rc=$?
    [ $rc -eq 127 ] || file_has "$scratch/nowin.out" "identity error" || break
  done
  check "a start whose window cannot be made ends with exit code 1" [ "$rc" -eq 1 ]
  check "... and says so" file_has "$scratch/nowin.out" "ferrylink could not create its window and stops."
  check "... before any network is started" bash -c "! grep -q 'listening on port' '$scratch/nowin.out'"
  "$agent" --autotest --data-dir "$scratch/nowin" --inbox "$inbox" 2>/dev/null &
  pids+=($!); after=$!
  check "the next start runs" wait_for 20 file_has "$scratch/nowin/log.txt" "started (id"
  kill -INT "$after"; wait "$after"
fi

# The data folder and the private files in it are the user's alone under the usual umask:
# made so from the start, and tightened at start-up, with a log line, when they are open.
umask 022
rights() { stat -c %a "$1"; }
open=$scratch/open; mkdir -m 755 "$open"
cp "$data/identity.key" "$open/"; chmod 644 "$open/identity.key"
printf 'first_run_done=1\n' > "$open/config.ini"; chmod 664 "$open/config.ini"
"$agent" --autotest --data-dir "$open" --inbox "$inbox" 2>/dev/null &
pids+=($!); tightened=$!
check "an agent starts on an open data folder" wait_for 20 file_has "$open/log.txt" "started (id"
kill -INT "$tightened"; wait "$tightened"
check "the open data folder is tightened to its owner" [ "$(rights "$open")" = 700 ]
check "the open identity key is tightened to its owner" [ "$(rights "$open/identity.key")" = 600 ]
check "the open settings are tightened to their owner" [ "$(rights "$open/config.ini")" = 600 ]
check "the log names each one it tightened" \
  [ "$(grep -c 'was open to other users; now only its owner may use it' "$open/log.txt")" -eq 3 ]
check "the tightened key is the same key" file_has "$open/log.txt" "$first_id"

# Without --data-dir the data lives in the per-user config folder.
"$agent" --autotest --inbox "$inbox" 2>/dev/null &
pids+=($!); default=$!
check "default data directory is ~/.config/ferrylink" wait_for 20 file_has "$HOME/.config/ferrylink/log.txt" "started (id"
kill -INT "$default"; wait "$default"
check "a new data folder is its owner's alone" [ "$(rights "$HOME/.config/ferrylink")" = 700 ]
check "a new identity key is its owner's alone" [ "$(rights "$HOME/.config/ferrylink/identity.key")" = 600 ]
check "the folders above it keep the usual rights" [ "$(rights "$HOME/.config")" = 755 ]
check "nothing needed tightening" bash -c "! grep -q 'open to other users' '$HOME/.config/ferrylink/log.txt'"
echo "all agent lifecycle checks passed"
