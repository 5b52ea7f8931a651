#!/bin/bash
# Runs a discovery check between two private network namespaces joined by a veth pair:
#   responder side  $FL_NS_A  $FL_DEV_A  10.77.0.1/24
#   querier side    $FL_NS_B  $FL_DEV_B  10.77.0.2/24   (the check itself runs here)
# With FL_NETNS_NETWORKS=2 a second pair joins them as a second network:
#                   $FL_DEV_A2 10.77.1.1/24  --  $FL_DEV_B2 10.77.1.2/24
# These addresses exist only inside the two namespaces; nothing reaches the host's network.
# Everything is removed on exit. Exit 77 (skip) when namespaces cannot be made here.
#
# usage: netns_run.sh <check.py|check.sh> [arguments of the check...]
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 <check.py|check.sh> [arguments...]" >&2
  exit 2
fi

tag="fl$$"
export FL_NS_A="${tag}a" FL_NS_B="${tag}b" FL_DEV_A="${tag}va" FL_DEV_B="${tag}vb"
export FL_IP_A=10.77.0.1 FL_IP_B=10.77.0.2
export FL_DEV_A2="${tag}va2" FL_DEV_B2="${tag}vb2" FL_IP_A2=10.77.1.1 FL_IP_B2=10.77.1.2
networks="${FL_NETNS_NETWORKS:-1}"

cleanup() {
  for ns in "$FL_NS_A" "$FL_NS_B"; do
    # Only our own namespaces: whatever still runs in them was started by this test.
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
    ip netns del "$ns" 2>/dev/null
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! ip netns add "$FL_NS_A" 2>/dev/null; then
  echo "SKIP: network namespaces cannot be created here" \
       "(needs root with CAP_SYS_ADMIN and CAP_NET_ADMIN)"
  exit 77
fi
# A veth pair from A to B with an address at each end, multicast on.
link_pair() {  # dev_a ip_a dev_b ip_b
  ip link add "$1" netns "$FL_NS_A" type veth peer name "$3" netns "$FL_NS_B" &&
  ip -n "$FL_NS_A" addr add "$2/24" dev "$1" &&
  ip -n "$FL_NS_B" addr add "$4/24" dev "$3" &&
  ip -n "$FL_NS_A" link set "$1" multicast on up &&
  ip -n "$FL_NS_B" link set "$3" multicast on up
}

# Both ends up (a veth end stays down until its peer is up).
wait_up() {  # dev_a dev_b
  for _ in $(seq 1 50); do
    if ip -n "$FL_NS_A" -o link show "$1" | grep -q 'state UP' &&
       ip -n "$FL_NS_B" -o link show "$2" | grep -q 'state UP'; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

set -e
ip netns add "$FL_NS_B"
ip -n "$FL_NS_A" link set lo up
ip -n "$FL_NS_B" link set lo up
link_pair "$FL_DEV_A" "$FL_IP_A" "$FL_DEV_B" "$FL_IP_B"
wait_up "$FL_DEV_A" "$FL_DEV_B"
if [ "$networks" = 2 ]; then
  link_pair "$FL_DEV_A2" "$FL_IP_A2" "$FL_DEV_B2" "$FL_IP_B2"
  wait_up "$FL_DEV_A2" "$FL_DEV_B2"
fi
set +e

# A shell script runs with bash, anything else is a Python check.
case $1 in
  *.sh) ip netns exec "$FL_NS_B" bash "$@" ;;
  *) ip netns exec "$FL_NS_B" /usr/bin/python3 "$@" ;;
esac
