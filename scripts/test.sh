#!/usr/bin/env bash
# Installs what is missing, builds the Linux and the Windows programs and runs every test:
# the native suite, the Linux agent's Debian package installed with apt and started, the
# native suite again under AddressSanitizer + UndefinedBehaviorSanitizer,
# the concurrency tests under ThreadSanitizer, every fuzz target for 30 seconds, and the
# Windows test programs and the real ferrylink.exe under Wine on a virtual display.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/deps.sh all || exit 1
jobs=$(nproc)
failed=()

tsan_tests='^(ListenerTest|StreamTest|DefaultSessionTest|Session|Transfer|TransferAborts|TrustStore|Allowance|AllowanceTest|LogFile|Lock|Thread|TickExtend|Clock|Channel|Handshake|ProgressState|TrayClickTarget)\.|^mdns_netns|^e2e_(faults_(hostile_peers|session_timeouts|kill_agent_mid_transfer|quit_during_transfers)|load_four_phones|limits_(lockout|pairing_prompts|log_flood))$'

step() { echo; echo "=== $*"; }

build() {  # build DIR [cmake options...]; warnings are errors here
  local dir=$1; shift
  cmake -G Ninja -S "$top" -B "$dir" -DFL_WERROR=ON "$@" >/dev/null && ninja -C "$dir" -j"$jobs"
}

# Runs a command in a network namespace of its own with only the loopback interface, when
# the machine allows it: the agents the tests start announce themselves by multicast, and
# every connection of a test stays on this machine.
# (The Windows programs are not isolated: Wine's server, which owns their sockets, runs
# outside.)
isolated() {
  if [ "${isolate:-1}" = 1 ] && [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    unshare -n bash -c 'ip link set lo up && exec "$@"' isolated "$@"
  else
    "$@"
  fi
}

suite() {  # suite NAME DIR [ctest options...]
  local name=$1 dir=$2; shift 2
  step "tests: $name"
  isolated ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$jobs" "$@" || failed+=("$name")
}

step "build: native"
build build/native -DFL_BUILD_BENCH=ON || exit 1
suite native build/native

step "package: the .deb, installed with apt and started, then removed"
bash tests/e2e/desktop/deb_install.sh build/native || failed+=(package)

step "build: native, address + undefined sanitizers"
build build/asan -DFL_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug || exit 1
suite asan+ubsan build/asan

step "build: native, thread sanitizer"
build build/tsan -DFL_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug || exit 1
# The tests whose subject is threads: the listener and its workers, sessions, the trust
# store, the allowance table, the log, locks and clocks, the responder's start and stop.
suite tsan build/tsan -R "$tsan_tests"

step "fuzz: every target for 30 seconds"
bash fuzz/run 30 || failed+=(fuzz)

step "build: windows (mingw-w64)"
build build/win -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" || exit 1
source scripts/xvfb.sh
source scripts/wine-prefix.sh
isolate=0 suite windows build/win -j1
wineserver -k 2>/dev/null || true
[ -n "${FL_XVFB_PID:-}" ] && kill "$FL_XVFB_PID" 2>/dev/null

echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED suites: ${failed[*]}"
  exit 1
fi
echo "all suites passed"
