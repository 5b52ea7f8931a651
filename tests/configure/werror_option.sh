#!/usr/bin/env bash
# Warnings stop the build only when asked for: a plain configuration (what a user or a
# distribution builds, Release included) compiles with the warnings but without -Werror, and
# -DFL_WERROR=ON (what the test script passes) adds it to every compile command.
# Usage: werror_option.sh SOURCE_DIR
src=$1
source "$(dirname "$0")/../e2e/shell/lib.sh"

# flags_of OPTIONS...: configures a fresh tree and prints its compile commands.
flags_of() {
  local dir; dir=$(mktemp -d "$scratch/tree.XXXXXX")
  cmake -G Ninja -S "$src" -B "$dir" -DFL_BUILD_TESTS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    "$@" > "$dir.log" 2>&1 || { cat "$dir.log" >&2; fail "configure $*"; }
  cat "$dir/compile_commands.json"
}

flags_of -DCMAKE_BUILD_TYPE=Release > "$scratch/plain.json"
check "a plain Release configuration compiles with the warnings" file_has "$scratch/plain.json" "-Wall -Wextra"
check "... and no warning is an error" bash -c "! grep -q -- -Werror '$scratch/plain.json'"
flags_of -DFL_WERROR=ON > "$scratch/ci.json"
total=$(grep -c '"command"' "$scratch/ci.json")
check "FL_WERROR=ON makes warnings errors in every compile command" \
  [ "$(grep -c -- '-Werror' "$scratch/ci.json")" -eq "$total" ]
echo "all build option checks passed"
