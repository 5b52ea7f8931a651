#!/bin/bash
# The real agent as the responder of a discovery check (netns_check.py): a scratch data
# folder of its own, stopped with SIGTERM once the check closes this script's input.
# usage: agent_responder.sh FERRYLINK
agent=$1
scratch=$(mktemp -d /tmp/fl-ns-agent.XXXXXX)
mkdir -p "$scratch/home" "$scratch/run"
HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/run \
  "$agent" --console --autotest --data-dir "$scratch/data" --inbox "$scratch/inbox" < /dev/null &
pid=$!
trap 'kill -TERM $pid 2>/dev/null; wait $pid; rm -rf "$scratch"' EXIT
cat > /dev/null
