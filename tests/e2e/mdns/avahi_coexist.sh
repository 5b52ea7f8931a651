#!/usr/bin/env bash
# The agent beside the system's mDNS daemon, as on a Linux desktop: avahi-daemon holds UDP
# 5353 on the responder side's network first, then the agent starts there and shares the
# port (address reuse). avahi-browse, through that avahi, resolves the agent's service;
# from the querier side both answer: the agent for its service and avahi for its own host.
# Runs on the querier side through netns_run.sh; avahi gets a private system bus and a
# private /run. Usage: netns_run.sh avahi_coexist.sh FERRYLINK
agent=$1
source "$(dirname "$0")/../shell/lib.sh"
: "${FL_NS_A:?run through netns_run.sh}"
for tool in avahi-daemon avahi-browse dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
bus=$scratch/system_bus
cat > "$scratch/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
cat > "$scratch/avahi.conf" <<EOF
[server]
host-name=avahi-side
use-ipv4=yes
use-ipv6=no
allow-interfaces=$FL_DEV_A
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-workstation=yes
publish-hinfo=no
EOF
not_in_log() { ! grep -q -- "$1" "$data/log.txt"; }
in_a() { ip netns exec "$FL_NS_A" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$bus" "$@"; }

in_a dbus-daemon --config-file="$scratch/bus.conf" --nofork > "$scratch/bus.log" 2>&1 &
pids+=($!)
check "the private system bus is up" wait_for 10 test -S "$bus"
# avahi keeps its pid file under /run: a /run of its own, in a mount namespace of its own.
in_a unshare -m sh -c 'mount -t tmpfs tmpfs /run && mkdir /run/avahi-daemon &&
  exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits' avahi "$scratch/avahi.conf" \
  > "$scratch/avahi.log" 2>&1 &
pids+=($!)
check "avahi-daemon holds 5353 and is up" wait_for 15 file_has "$scratch/avahi.log" "Server startup complete"

data=$scratch/data
mkdir -p "$data" "$scratch/home" "$scratch/run"
printf 'device_name=Coexist Box\n' > "$data/config.ini"
in_a env HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" "$agent" --console --autotest \
  --data-dir "$data" --inbox "$scratch/inbox" > "$scratch/agent.log" 2>&1 &
pids+=($!)
check "the agent starts beside avahi" wait_for 15 file_has "$data/log.txt" "started (id"
check "its responder shares port 5353" not_in_log "mdns"
port=$(grep -o 'listening on port [0-9]*' "$data/log.txt" | tail -1 | awk '{print $4}')

# avahi-browse asks the avahi on the agent's side, which asks the network.
resolved() {
  in_a avahi-browse -r -t -p _ferrylink._tcp > "$scratch/browse.out" 2>&1
  # (the parsable output writes the space of the instance name as \032)
  grep -qF "=;$FL_DEV_A;IPv4;Coexist\\032Box;_ferrylink._tcp;local;Coexist-Box.local;$FL_IP_A;$port;" \
    "$scratch/browse.out"
}
check "avahi-browse resolves the agent's service (name, host, address, port)" wait_for 20 resolved
check "... with its TXT description" grep -qF '"nm=Coexist Box"' "$scratch/browse.out"

# From the querier side, questions to the group: our service and avahi's host.
answers=$(/usr/bin/python3 - "$FL_IP_B" <<'EOF'
import socket, sys, time
import dns.message, dns.rdatatype
queries = [dns.message.make_query(name, rdtype) for name, rdtype in
           (("_ferrylink._tcp.local", dns.rdatatype.PTR), ("avahi-side.local", dns.rdatatype.A))]
# A querier of the group: port 5353, a member of 224.0.0.251, so that multicast answers
# reach it as they reach every other host.
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("", 5353))
s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             socket.inet_aton("224.0.0.251") + socket.inet_aton(sys.argv[1]))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(sys.argv[1]))
seen = set()
for attempt in range(3):
    for q in queries:
        s.sendto(q.to_wire(), ("224.0.0.251", 5353))
    end = time.time() + 1.5
    while time.time() < end:
        s.settimeout(max(0.05, end - time.time()))
        try:
            data, src = s.recvfrom(9000)
        except socket.timeout:
            break
        m = dns.message.from_wire(data)
        for rr in m.answer:
            for item in rr:
                # Records with the cache-flush bit come as generic data: addresses by hand.
                text = str(item)
                if rr.rdtype == dns.rdatatype.A and hasattr(item, "data"):
                    text = socket.inet_ntoa(item.data)
                seen.add(f"{rr.name} {dns.rdatatype.to_text(rr.rdtype)} {text}")
print("\n".join(sorted(seen)))
EOF
)
check "the agent answers for its service" grep -qF "_ferrylink._tcp.local. PTR Coexist\\032Box._ferrylink._tcp.local." <<< "$answers"
check "avahi answers for its own host" grep -qF "avahi-side.local. A $FL_IP_A" <<< "$answers"
echo "all avahi coexistence checks passed"
