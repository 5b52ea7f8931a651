#!/usr/bin/env bash
# The Windows agent under Wine: self-test through a redirected standard output, start-up with
# its data directory under the Wine user's roaming AppData, and a second copy that shows the
# "already running" box and ends with 0.
exe=$1; driver=$2
source "$(dirname "$0")/lib.sh"
: "${WINEPREFIX:?the Windows tests run in a prepared Wine prefix (scripts/wine-prefix.sh)}"
export WINEDEBUG=-all

wine "$exe" --test > "$scratch/selftest.txt"
check "self-test exits 0" [ $? -eq 0 ]
check "self-test prints eight CR LF lines" [ "$(grep -c $'\r$' "$scratch/selftest.txt")" -eq 8 ]
check "self-test reports Windows 10" file_has "$scratch/selftest.txt" "info windows 10.0 build"
check "self-test ends with the summary" file_has "$scratch/selftest.txt" "SELFTEST OK (0 failures)"

# The version record carries exactly the product's entries.
wine "$driver" version "$(winepath -w "$exe")" | tr -d '\r' > "$scratch/version.txt"
printf '%s\n' "FileDescription=ferrylink receiver" "FileVersion=0.1.0" "InternalName=ferrylink" \
  "OriginalFilename=ferrylink.exe" "ProductName=ferrylink" "ProductVersion=0.1.0" > "$scratch/version.want"
check "version record has exactly the product entries" cmp -s "$scratch/version.txt" "$scratch/version.want"

appdata=$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
data_unix=$(winepath -u "$appdata\\ferrylink" 2>/dev/null)
inbox=$scratch/inbox
rm -rf "$data_unix"
wine "$exe" --autotest --inbox "$(winepath -w "$inbox")" &
pids+=($!); first=$!
check "data directory is created under the roaming AppData" wait_for 60 file_has "$data_unix/log.txt" "started (id"

wine "$exe" --inbox "$(winepath -w "$inbox")" &
second=$!; pids+=($second)
text=$(wine "$driver" box ok 60 | tr -d '\r')
check "second copy shows the already-running message" \
  [ "$text" = "ferrylink is already running (look in the notification area)." ]
wait "$second"; code=$?
check "second copy exits 0" [ $code -eq 0 ]
wine "$driver" quit 10
wait "$first"; check "agent exits 0 after its window closes" [ $? -eq 0 ]
# An identity key that can be neither read nor written: the "identity error" box, exit 1.
mkdir -p "$scratch/broken/identity.key"
wine "$exe" --autotest --data-dir "$(winepath -w "$scratch/broken")" --inbox "$(winepath -w "$inbox")" &
broken=$!; pids+=($broken)
text=$(wine "$driver" box ok 60 | tr -d '\r')
check "an unusable identity key shows the identity error box" [ "$text" = "identity error" ]
wait "$broken"; code=$?
check "and ends with exit code 1" [ $code -eq 1 ]
# A window that cannot be created (a hook refuses it): a box that says so, exit code 1, and
# no agent left behind holding the one-copy mutex.
wine "$driver" refuse-window 20 > "$scratch/refuse.out" &
refuser=$!; pids+=($refuser)
wait_for 30 file_has "$scratch/refuse.out" refusing || fail "the window hook cannot be set"
wine "$exe" --autotest --data-dir "$(winepath -w "$scratch/nowin")" --inbox "$(winepath -w "$inbox")" &
nowin=$!; pids+=($nowin)
text=$(wine "$driver" wait-box 60 | tr -d '\r'); sleep 2
check "a window that cannot be created is reported" [ "$text" = "ferrylink could not create its window and stops." ]
wine "$driver" box ok 10 > /dev/null
wait "$nowin"; code=$?
check "and the start ends with exit code 1" [ $code -eq 1 ]
wait "$refuser"  # the hook is gone with it
wine "$exe" --autotest --data-dir "$(winepath -w "$scratch/nowin")" --inbox "$(winepath -w "$inbox")" &
again=$!; pids+=($again)
check "the next start runs: nothing holds the one-copy mutex" \
  wait_for 60 file_has "$scratch/nowin/log.txt" "started (id"
wine "$driver" quit 10
wait "$again"
echo "all Windows agent lifecycle checks passed"
