# Helpers for the whole-program test scripts: a scratch folder, waiting, checking.
set -u
scratch=$(mktemp -d /tmp/fl-e2e.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  "$@" || fail "$what"
  echo "ok: $what"
}
# wait_for SECONDS COMMAND...: polls every 0.1 s until the command succeeds.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  while [ $SECONDS -lt $end ]; do "$@" && return 0; sleep 0.1; done
  return 1
}
file_has() { grep -qF -- "$2" "$1" 2>/dev/null; }
