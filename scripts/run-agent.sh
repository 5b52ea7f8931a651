#!/usr/bin/env bash
# Builds the Linux agent and runs it in the foreground with its log on the terminal.
# Data lives in the default per-user folder (~/.config/ferrylink). Ctrl-C stops it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh" native
cmake -G Ninja -S "$top" -B "$top/build/agent" -DCMAKE_BUILD_TYPE=Release -DFL_BUILD_TESTS=OFF >/dev/null
ninja -C "$top/build/agent" ferrylink ferrylink-send
exec "$top/build/agent/src/app/ferrylink" --console "$@"
