#!/usr/bin/env bash
# The Linux agent's terminal desktop with a real sender: the first-run question, the pairing
# and offer questions on the terminal with their exact texts, notices on the terminal and in
# the log, received text printed and put on the clipboard with xclip; when the copy fails
# (the display is gone), the notice says so and the log says why.
# Usage: console_desktop.sh FERRYLINK FERRYLINK_SEND
agent=$1; sender=$2
source "$(dirname "$0")/../shell/lib.sh"
export HOME=$scratch/home; mkdir -p "$HOME"
export XDG_RUNTIME_DIR=$scratch/run; mkdir -p "$XDG_RUNTIME_DIR"
# No session bus: the terminal desktop even where a display is set.
unset XDG_CONFIG_HOME APPDATA LANG LC_ALL LC_MESSAGES WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
data=$scratch/data; inbox=$scratch/inbox

# A display of the test's own, for the clipboard.
exec 4> "$scratch/display"
Xvfb -displayfd 4 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!; pids+=($xvfb)
exec 4>&-
wait_for 10 test -s "$scratch/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$scratch/display")

# The agent gets a terminal from script(1); the answers are typed into it through a FIFO.
mkfifo "$scratch/keys"
script -qfec "'$agent' --data-dir '$data' --inbox '$inbox'" /dev/null \
  < "$scratch/keys" > "$scratch/terminal.out" 2>&1 &
pids+=($!)
exec 3> "$scratch/keys"
agent_pid() { pgrep -f -- "--data-dir $data --inbox $inbox" | grep -v "^$$\$" | tail -1; }
terminal_has() { file_has "$scratch/terminal.out" "$1"; }
# answer PROMPT_NUMBER KEY: waits for the n-th question on the terminal and types KEY.
answer() {
  wait_for 30 bash -c "[ \$(grep -o '\\[y/[nN]' '$scratch/terminal.out' | wc -l) -ge $1 ]" || return 1
  echo "$2" >&3
}
send() {  # send NAME ARGS...
  local name=$1; shift
  "$sender" --to "127.0.0.1:$port" --name "$name" --yes --data-dir "$scratch/phone-$name" "$@"
}

check "the first-run question is asked on the terminal" answer 1 n
check "the agent starts" wait_for 20 file_has "$data/log.txt" "started (id"
check "the question's text is shown" terminal_has "Install ferrylink for this user and start it when you log in?"
check "No is remembered" file_has "$data/config.ini" "first_run_done=1"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')

head -c 1536 /dev/urandom > "$scratch/a.jpg"
send Anna "$scratch/a.jpg" > "$scratch/send1.out" 2>&1 &
send1=$!; pids+=($send1)
check "the pairing question is asked" answer 2 y
check "the offer question is asked" answer 3 y
wait $send1; check "the send succeeds" [ $? -eq 0 ]
check "the file arrives" cmp -s "$scratch/a.jpg" "$inbox/a.jpg"
code=$(grep -o 'Code: [0-9]\{6\}' "$scratch/send1.out" | awk '{print $2}')
check "the pairing question names the phone" terminal_has 'ferrylink: Pair with "Anna"?'
check "the pairing question shows the code" terminal_has "Code: $code"
check "the offer question names sender, count and size" \
  terminal_has 'ferrylink: "Anna" wants to send you 1 file(s) (1.5 KB):'
for notice in "Paired with Anna" 'Receiving from "Anna" without asking for the next 10 minutes' \
              "From Anna: received 1 file(s)"; do
  # The last notice may come just after the phone has its answer.
  check "notice on the terminal: $notice" wait_for 5 terminal_has "ferrylink: $notice"
  check "notice in the log: $notice" file_has "$data/log.txt" "notice: $notice"
done

text="hello from the phone"
send Anna --text "$text" > "$scratch/send2.out" 2>&1
check "the allowed text needs no question" [ "$(grep -o '\[y/[nN]' "$scratch/terminal.out" | wc -l)" -eq 3 ]
check "the text is printed" wait_for 5 terminal_has "text from Anna: $text"
check "the text notice is shown" \
  wait_for 5 terminal_has "ferrylink: Text from Anna was copied to the clipboard"
check "the text is on the X clipboard" wait_for 5 \
  bash -c "[ \"\$(xclip -o -selection clipboard 2>/dev/null)\" = '$text' ]"

# The display goes away: the copy fails, and nothing claims it worked.
kill "$xvfb"; wait "$xvfb" 2>/dev/null
link="https://example.org/after"
send Anna --link "$link" > "$scratch/send3.out" 2>&1
check "the link is printed" wait_for 5 terminal_has "link from Anna: $link"
# The notice follows once the copy has failed, which takes the clipboard tool a moment.
check "the notice says the link was not copied" \
  wait_for 5 terminal_has "ferrylink: Link from Anna could not be copied to the clipboard"
check "... and the log, too" file_has "$data/log.txt" "notice: Link from Anna could not be copied"
check "the log says why" file_has "$data/log.txt" "text not copied to the clipboard: xclip"
check "nothing claims the link was copied" bash -c "! grep -q 'Link from Anna was copied' '$scratch/terminal.out'"

pid=$(agent_pid)
check "the agent is found by its data folder" [ -n "$pid" ]
kill -INT "$pid"
check "the agent stops on SIGINT" wait_for 10 bash -c "! kill -0 $pid 2>/dev/null"
exec 3>&-
echo "all Linux desktop checks passed"
