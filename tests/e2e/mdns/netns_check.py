#!/usr/bin/python3
"""Discovery over real sockets between two network namespaces (run by netns_run.sh, inside
the querier's namespace). The responder program runs in the other namespace.

usage: netns_check.py SUITE --instance LABEL --host LABEL --port N --id ID --os WORD
                      [--probe BROWSE_PROBE] -- RESPONDER_COMMAND...

SUITE: wire      raw sockets and dnspython: announcements, answers, gap, update, address
                 change, goodbye, bind failure
       zeroconf  python-zeroconf's ServiceBrowser resolves the agent and sees the goodbye
       client    our own query client (the browse probe) finds the agent
       interfaces  with two networks (FL_NETNS_NETWORKS=2) each one hears every message
       overrun   a stop that gives up waiting for a stalled thread frees nothing under it
                 (needs our responder_demo: it appends --log-delay-ms and --linger-ms)
       flood     one querier asking 50 times a second does not keep another from being
                 answered; a join of the group that failed is tried again

The responder program is started with its stdin as a pipe and stopped by closing it (then
SIGTERM). Its stdout and stderr are read for its log lines."""
import argparse
import os
import queue
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "mdns"))
from wire_check import A, ENUMERATION, FLUSH, IN, PTR, SERVICE, SRV, TXT, records  # noqa: E402

import dns.message  # noqa: E402

NS_A = os.environ.get("FL_NS_A", "")
DEV_A = os.environ.get("FL_DEV_A", "")
IP_A = os.environ.get("FL_IP_A", "10.77.0.1")
IP_B = os.environ.get("FL_IP_B", "10.77.0.2")
IP_A2 = os.environ.get("FL_IP_A2", "10.77.1.1")  # the second network, when there is one
IP_B2 = os.environ.get("FL_IP_B2", "10.77.1.2")
GROUP = "224.0.0.251"
PORT = 5353
ADDED_IP = "10.77.0.11"

ARGS = None  # parsed command line


def expected_txt(instance=None):
    return [b"v=1", ("id=" + ARGS.id).encode(), ("nm=" + (instance or ARGS.instance)).encode(),
            ("os=" + ARGS.os).encode(), b"sv=0.1.0", b"pm=0", b"op=1"]


def instance_name():
    return (ARGS.instance.encode(),) + SERVICE


def host_name():
    return (ARGS.host.encode(), b"local", b"")


def announcement(port=None, ttl_unique=120, ttl_shared=4500, addresses=(IP_A,)):
    """The records of an announcement (or goodbye) in wire order."""
    return [(SERVICE, PTR, IN, ttl_shared, instance_name()),
            (instance_name(), SRV, FLUSH, ttl_unique,
             (0, 0, port or ARGS.port, host_name())),
            (instance_name(), TXT, FLUSH, ttl_unique, expected_txt())] + \
           [(host_name(), A, FLUSH, ttl_unique, ip) for ip in addresses]


def parse_response(data):
    """The records of a response, or None for queries and undecodable messages."""
    if len(data) < 12 or not data[2] & 0x80:
        return None
    try:
        return records(data)[1]
    except Exception:  # a message dnspython cannot read is a failure of its sender
        return ["UNREADABLE", data.hex()]


def make_query(name, rdtype, unicast):
    msg = dns.message.make_query(name, rdtype, rdclass=0x8001 if unicast else 1)
    msg.id = 0
    msg.flags = 0
    return msg.to_wire()


class Responder:
    """The responder program in the other namespace, with its output collected."""

    def __init__(self, command):
        self.proc = subprocess.Popen(["ip", "netns", "exec", NS_A] + command,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True, bufsize=1)
        self.lines = []
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            with self.cond:
                self.lines.append((time.monotonic(), line.rstrip("\n")))
                self.cond.notify_all()

    def wait_line(self, text, timeout):
        """Monotonic time of the first output line containing text, or None."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for t, line in self.lines:
                    if text in line:
                        return t
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def output(self):
        with self.cond:
            return "\n".join(line for _, line in self.lines)

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def stop(self, timeout=8.0):
        """Closes its input (then SIGTERM, then SIGKILL); the exit code."""
        try:
            self.proc.stdin.close()
        except OSError:
            pass
        for sig in (None, signal.SIGTERM, signal.SIGKILL):
            if sig is not None:
                self.proc.send_signal(sig)
            try:
                return self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                continue
        return None


class Capture:
    """Every mDNS response heard on the group in this namespace, with its arrival time."""

    def __init__(self, interfaces=(IP_B,)):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("", PORT))
        for ip in interfaces:
            mreq = socket.inet_aton(GROUP) + socket.inet_aton(ip)
            self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, mreq)
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(IP_B))
        self.sock.settimeout(0.2)
        self.heard = []  # (time, records, source address)
        self.cond = threading.Condition()
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while self.running:
            try:
                data, addr = self.sock.recvfrom(9000)
            except socket.timeout:
                continue
            except OSError:
                return
            recs = parse_response(data)
            if recs is None:
                continue
            with self.cond:
                self.heard.append((time.monotonic(), recs, addr))
                self.cond.notify_all()

    def wait(self, match, after, timeout, source=None):
        """The first (time, records, source) heard at or after `after` whose records satisfy
        match (and that came from the source address, when given), waiting at most timeout
        seconds from now; None when none came."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for item in self.heard:
                    if item[0] >= after and match(item[1]) and source in (None, item[2][0]):
                        return item
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def since(self, after):
        with self.cond:
            return [item for item in self.heard if item[0] >= after]

    def send_query(self, wire):
        """A query from port 5353 to the group, as mDNS queriers send them."""
        self.sock.sendto(wire, (GROUP, PORT))

    def close(self):
        self.running = False
        self.thread.join(2)
        self.sock.close()


def is_full(recs, port=None):
    """An announcement-shaped message: PTR, SRV, TXT and A records with normal TTLs."""
    types = [r[1] for r in recs]
    return types[:3] == [PTR, SRV, TXT] and A in types and recs[1][4][2] == (port or ARGS.port) \
        and all(r[3] != 0 for r in recs)


def ip_of(address_record):
    return address_record[4]


class UnicastQuerier:
    """A socket on an ephemeral port that asks with the unicast-response bit."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
        self.sock.bind((IP_B, 0))
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(IP_B))

    def ask(self, name, rdtype):
        self.sock.sendto(make_query(name, rdtype, unicast=True), (GROUP, PORT))

    def reply(self, timeout):
        """(records, source) of the next datagram within timeout, or None."""
        self.sock.settimeout(timeout)
        try:
            data, addr = self.sock.recvfrom(9000)
        except socket.timeout:
            return None
        return parse_response(data), addr

    def close(self):
        self.sock.close()


class WireTests(unittest.TestCase):
    """The responder's behaviour on the wire, read with dnspython."""

    def setUp(self):
        self.capture = Capture()
        self.querier = UnicastQuerier()
        self.started = time.monotonic()
        self.responder = Responder(ARGS.responder)
        self.first = self.capture.wait(is_full, self.started, 5)
        self.assertIsNotNone(self.first, "no announcement after start\n" + self.responder.output())

    def tearDown(self):
        self.responder.stop()
        self.querier.close()
        self.capture.close()

    def settle(self):
        """Waits out the second start announcement so that what follows is an answer."""
        second = self.capture.wait(is_full, self.first[0] + 0.05, 3)
        self.assertIsNotNone(second, "no second announcement")
        time.sleep(0.3)
        return second

    def test_start_announces_all_records_twice_about_a_second_apart(self):
        t1, recs, source = self.first
        self.assertEqual(recs, announcement())
        self.assertEqual(source, (IP_A, PORT))
        t2, recs2, _ = self.settle()
        self.assertEqual(recs2, announcement())
        self.assertTrue(0.75 <= t2 - t1 <= 1.6, "second announcement after %.2f s" % (t2 - t1))

    def test_multicast_answer_then_unicast_answer_to_the_querier(self):
        self.settle()
        asked = time.monotonic()
        self.capture.send_query(make_query("_ferrylink._tcp.local.", "PTR", unicast=False))
        answer = self.capture.wait(lambda r: True, asked, 1.0)
        self.assertIsNotNone(answer, "no multicast answer")
        self.assertEqual(answer[1], announcement())
        self.assertEqual(answer[2], (IP_A, PORT))

        time.sleep(1.0)  # past the gap between replies
        asked = time.monotonic()
        self.querier.ask("_FERRYLINK._TCP.LOCAL.", "PTR")
        got = self.querier.reply(1.0)
        self.assertIsNotNone(got, "no unicast answer to the querier's port")
        self.assertEqual(got, (announcement(), (IP_A, PORT)))
        time.sleep(0.5)
        self.assertEqual(self.capture.since(asked), [],
                         "a unicast question was answered by multicast")

    def test_replies_keep_a_gap_of_900_ms(self):
        self.settle()
        first = time.monotonic()
        self.querier.ask("_ferrylink._tcp.local.", "PTR")
        self.assertIsNotNone(self.querier.reply(1.0), "first query not answered")
        time.sleep(max(0.0, first + 0.5 - time.monotonic()))
        self.querier.ask("_ferrylink._tcp.local.", "PTR")
        self.assertIsNone(self.querier.reply(0.3), "a query 500 ms after a reply was answered")
        time.sleep(max(0.0, first + 1.2 - time.monotonic()))
        self.querier.ask("_services._dns-sd._udp.local.", "PTR")
        got = self.querier.reply(1.0)
        self.assertIsNotNone(got, "no answer once the gap had passed")
        self.assertEqual(got[0], [(ENUMERATION, PTR, IN, 4500, SERVICE)])

    def test_instance_and_host_questions(self):
        self.settle()
        instance = ARGS.instance + "._ferrylink._tcp.local."
        cases = [
            (instance, "SRV", [SRV, A]),
            (instance, "TXT", [TXT]),
            (ARGS.host.upper() + ".local.", "A", [A]),
        ]
        for name, rdtype, types in cases:
            with self.subTest(name=name, rdtype=rdtype):
                time.sleep(1.0)
                self.querier.ask(name, rdtype)
                got = self.querier.reply(1.0)
                self.assertIsNotNone(got, "no answer")
                self.assertEqual([r[1] for r in got[0]], types)

    def test_update_announces_the_new_port(self):
        self.settle()
        sent = time.monotonic()
        self.responder.send("port 47999")
        got = self.capture.wait(lambda r: is_full(r, port=47999), sent, 2.0)
        self.assertIsNotNone(got, "no announcement with the new port\n" + self.responder.output())
        self.assertEqual(got[1], announcement(port=47999))
        self.assertLess(got[0] - sent, 1.0, "announced %.2f s after the update" % (got[0] - sent))

    def test_added_address_is_announced_within_about_5_s(self):
        self.settle()
        subprocess.run(["ip", "-n", NS_A, "addr", "add", ADDED_IP + "/24", "dev", DEV_A],
                       check=True)
        try:
            added = time.monotonic()
            both = lambda r: is_full(r) and sorted(ip_of(x) for x in r if x[1] == A) == \
                sorted([IP_A, ADDED_IP])
            got = self.capture.wait(both, added, 7.5)
            self.assertIsNotNone(got, "new address not announced\n" + self.responder.output())
            self.assertLess(got[0] - added, 6.5)
            self.assertIsNotNone(self.responder.wait_line("mdns: ip list changed", 1.0),
                                 self.responder.output())
        finally:
            subprocess.run(["ip", "-n", NS_A, "addr", "del", ADDED_IP + "/24", "dev", DEV_A])

    def test_stop_sends_goodbye(self):
        self.settle()
        stopping = time.monotonic()
        rc = self.responder.stop()
        goodbye = self.capture.wait(lambda r: all(x[3] == 0 for x in r), stopping, 1.0)
        self.assertIsNotNone(goodbye, "no goodbye\n" + self.responder.output())
        self.assertEqual(goodbye[1], announcement(ttl_unique=0, ttl_shared=0))
        self.assertEqual(rc, 0, self.responder.output())
        self.assertLess(time.monotonic() - stopping, 3.0, "stop took too long")


class InterfaceTests(unittest.TestCase):
    """A machine on two networks: each network hears the announcements and the goodbye,
    sent from the machine's address on that network, with both A records."""

    def test_every_network_hears_every_message(self):
        capture = Capture(interfaces=(IP_B, IP_B2))
        responder = None
        try:
            started = time.monotonic()
            responder = Responder(ARGS.responder)
            hello = announcement(addresses=(IP_A, IP_A2))
            bye = announcement(ttl_unique=0, ttl_shared=0, addresses=(IP_A, IP_A2))
            for source in (IP_A, IP_A2):
                self.assertIsNotNone(capture.wait(lambda r: r == hello, started, 5, source),
                                     "no announcement from %s\n%s" % (source, capture.heard))
            stopping = time.monotonic()
            self.assertEqual(responder.stop(), 0, responder.output())
            for source in (IP_A, IP_A2):
                self.assertIsNotNone(capture.wait(lambda r: r == bye, stopping, 1, source),
                                     "no goodbye from %s" % source)
        finally:
            if responder:
                responder.stop()
            capture.close()


class StopOverrunTests(unittest.TestCase):
    """The log writer stalls the responder thread for 8 s, longer than stop waits (about
    5 s). Stop must return without freeing what the thread still uses: the thread then
    sends its goodbye on the socket that is still open, and releases everything itself."""

    def test_stalled_thread_still_says_goodbye_after_stop_returned(self):
        capture = Capture()
        responder = Responder(ARGS.responder + ["--log-delay-ms", "8000", "--linger-ms", "6000"])
        try:
            self.assertIsNotNone(capture.wait(is_full, 0, 5), responder.output())
            subprocess.run(["ip", "-n", NS_A, "addr", "add", ADDED_IP + "/24", "dev", DEV_A],
                           check=True)
            stalled = responder.wait_line("mdns: ip list changed", 8)
            self.assertIsNotNone(stalled, responder.output())
            quit_at = time.monotonic()
            responder.send("quit")
            stopped = responder.wait_line("STOPPED", 8)
            self.assertIsNotNone(stopped, responder.output())
            self.assertGreater(stopped - quit_at, 4.0, "stop did not wait for the thread")
            goodbye = capture.wait(lambda r: all(x[3] == 0 for x in r), quit_at, 8)
            self.assertIsNotNone(goodbye, "the thread never said goodbye\n" + responder.output())
            self.assertGreater(goodbye[0], stopped, "goodbye before the stalled log returned")
            self.assertEqual(goodbye[1], announcement(ttl_unique=0, ttl_shared=0,
                                                      addresses=(IP_A, ADDED_IP)))
            self.assertEqual(responder.proc.wait(10), 0, responder.output())
            self.assertIsNotNone(responder.wait_line("EXIT", 1), responder.output())
        finally:
            responder.stop()
            capture.close()
            subprocess.run(["ip", "-n", NS_A, "addr", "del", ADDED_IP + "/24", "dev", DEV_A])


class BindTests(unittest.TestCase):
    def test_port_held_without_reuse_fails_the_start(self):
        holder = subprocess.Popen(
            ["ip", "netns", "exec", NS_A, "/usr/bin/python3", "-c",
             "import socket,sys\n"
             "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
             "s.bind(('0.0.0.0',5353))\nprint('held',flush=True)\nsys.stdin.read()"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "held")
            responder = Responder(ARGS.responder)
            try:
                rc = responder.proc.wait(10)
            finally:
                responder.stop()
            out = responder.output()
            self.assertNotEqual(rc, 0, out)
            self.assertIn("mdns: bind 5353 failed", out)
            self.assertLess(out.index("mdns: bind 5353 failed"),
                            out.index("mdns failed to start"), out)
        finally:
            holder.stdin.close()
            holder.wait(5)


FLOOD_IP = "10.77.0.3"  # a second querier on the querier's network


def any_answer(recs):
    return any(r[1] == PTR for r in recs)


class FloodTests(unittest.TestCase):
    """A querier at FLOOD_IP asks 50 times a second; an honest querier at IP_B asks once a
    second and must be answered every time, while the flooder gets no more than one answer
    per 900 ms for its question."""

    def setUp(self):
        subprocess.run(["ip", "addr", "add", FLOOD_IP + "/24", "dev", os.environ["FL_DEV_B"]],
                       check=True)
        capture = Capture()
        try:
            started = time.monotonic()
            self.responder = Responder(ARGS.responder)
            self.assertIsNotNone(capture.wait(any_answer, started, 8), self.responder.output())
        finally:
            capture.close()

    def tearDown(self):
        self.responder.stop()
        subprocess.run(["ip", "addr", "del", FLOOD_IP + "/24", "dev", os.environ["FL_DEV_B"]])

    def test_an_honest_querier_is_answered_while_another_floods(self):
        flooder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
        flooder.bind((FLOOD_IP, 0))
        flooder.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(FLOOD_IP))
        flooder.settimeout(0)
        query = make_query("_ferrylink._tcp.local.", "PTR", unicast=True)
        stop = threading.Event()
        flood = {"sent": 0, "answers": 0}

        def run_flood():
            while not stop.is_set():
                flooder.sendto(query, (GROUP, PORT))
                flood["sent"] += 1
                deadline = time.monotonic() + 0.02
                while time.monotonic() < deadline:
                    try:
                        flooder.recvfrom(9000)
                        flood["answers"] += 1
                    except (BlockingIOError, socket.timeout):
                        time.sleep(0.002)

        honest = UnicastQuerier()
        thread = threading.Thread(target=run_flood, daemon=True)
        began = time.monotonic()
        thread.start()
        try:
            time.sleep(1.0)  # the flood is in full swing before the first honest question
            latencies = []
            for _ in range(10):
                asked = time.monotonic()
                honest.ask("_ferrylink._tcp.local.", "PTR")
                got = honest.reply(1.0)
                if got is not None and any_answer(got[0]):
                    latencies.append((time.monotonic() - asked) * 1000)
                time.sleep(max(0.0, asked + 1.0 - time.monotonic()))
        finally:
            stop.set()
            thread.join(2)
            flooder.close()
            honest.close()
        flood_s = time.monotonic() - began
        print("figure: honest querier answered %d of 10 while another sent %d queries in %.1f s"
              " (%.0f a second) and got %d answers; honest answer ms: %s"
              % (len(latencies), flood["sent"], flood_s, flood["sent"] / flood_s,
                 flood["answers"], " ".join("%.1f" % t for t in latencies)), flush=True)
        self.assertGreater(flood["sent"] / flood_s, 30, "the flood was too slow to test anything")
        self.assertEqual(len(latencies), 10, self.responder.output())
        self.assertLessEqual(flood["answers"], flood_s / 0.9 + 2,
                             "the flooder was answered more often than once per 900 ms")
        self.assertGreater(flood["answers"], 0)


class JoinRetryTests(unittest.TestCase):
    """With the membership limit of the responder's network at 0 its join of the group fails,
    so it cannot hear queries; once the limit is back the next interface refresh (every 5 s)
    joins, and queries are answered."""

    def sysctl(self, value):
        subprocess.run(["ip", "netns", "exec", NS_A, "sysctl", "-qw",
                        "net.ipv4.igmp_max_memberships=%d" % value], check=True)

    def test_a_failed_join_is_tried_again_at_the_next_refresh(self):
        self.sysctl(0)
        responder = Responder(ARGS.responder)
        querier = UnicastQuerier()
        try:
            self.assertIsNotNone(responder.wait_line("started (id", 15), responder.output())
            time.sleep(1.0)
            querier.ask("_ferrylink._tcp.local.", "PTR")
            self.assertIsNone(querier.reply(1.0), "answered without a membership of the group")
            self.sysctl(20)
            restored = time.monotonic()
            answered = None
            while answered is None and time.monotonic() < restored + 8:
                asked = time.monotonic()
                querier.ask("_ferrylink._tcp.local.", "PTR")
                got = querier.reply(1.0)
                if got is not None and any_answer(got[0]):
                    answered = time.monotonic() - restored
                time.sleep(max(0.0, asked + 1.0 - time.monotonic()))
            self.assertIsNotNone(answered, "the join was never tried again\n" + responder.output())
            print("figure: answered %.1f s after the membership limit was restored" % answered,
                  flush=True)
        finally:
            self.sysctl(20)
            querier.close()
            responder.stop()


class ZeroconfTests(unittest.TestCase):
    """A real mDNS client we did not write finds the agent and sees it leave."""

    def test_browser_resolves_everything_and_sees_the_goodbye(self):
        from zeroconf import ServiceBrowser, ServiceStateChange, Zeroconf

        events = queue.Queue()

        def on_change(zeroconf, service_type, name, state_change):
            events.put((state_change, name))

        def next_event(kind, timeout):
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                try:
                    change, name = events.get(timeout=max(0.01, deadline - time.monotonic()))
                except queue.Empty:
                    break
                if change == kind:
                    return name
            return None

        service = "_ferrylink._tcp.local."
        full_name = ARGS.instance + "." + service
        zc = Zeroconf(interfaces=[IP_B])
        responder = None
        try:
            ServiceBrowser(zc, service, handlers=[on_change])
            responder = Responder(ARGS.responder)
            added = next_event(ServiceStateChange.Added, 8)
            self.assertEqual(added, full_name, responder.output())
            info = zc.get_service_info(service, full_name, timeout=4000)
            self.assertIsNotNone(info, "not resolved")
            self.assertEqual(info.server, ARGS.host + ".local.")
            self.assertEqual(info.parsed_addresses(), [IP_A])
            self.assertEqual(info.port, ARGS.port)
            expected = dict(s.split(b"=", 1) for s in expected_txt())
            self.assertEqual(info.properties, expected)
            self.assertEqual(info.text, b"".join(bytes([len(s)]) + s for s in expected_txt()),
                             "TXT strings and their order")

            self.assertEqual(responder.stop(), 0, responder.output())
            self.assertEqual(next_event(ServiceStateChange.Removed, 6), full_name,
                             "the browser did not see the goodbye")
        finally:
            if responder:
                responder.stop()
            zc.close()


class ClientTests(unittest.TestCase):
    """Our own query client (the sender's discovery) finds the agent."""

    def setUp(self):
        capture = Capture()
        try:
            started = time.monotonic()
            self.responder = Responder(ARGS.responder)
            self.assertIsNotNone(capture.wait(is_full, started, 5), self.responder.output())
        finally:
            capture.close()

    def tearDown(self):
        self.responder.stop()

    def probe(self, *args, timeout=15):
        return subprocess.run([ARGS.probe] + list(args), capture_output=True, text=True,
                              timeout=timeout)

    def agent_line(self):
        return "AGENT " + "|".join(
            [ARGS.instance, ARGS.host + ".local", IP_A, str(ARGS.port), ARGS.id] +
            [s.decode() for s in expected_txt()])

    def test_browse_lists_the_agent(self):
        done = self.probe("2500")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(done.stdout.splitlines(), [self.agent_line()])

    def test_lookup_by_instance_name(self):
        started = time.monotonic()
        done = self.probe("6000", ARGS.instance.upper())
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(done.stdout.splitlines(), [self.agent_line()])
        self.assertLess(time.monotonic() - started, 4.0, "lookup did not stop once answered")
        missing = self.probe("1500", "Nobody Here")
        self.assertEqual((missing.returncode, missing.stdout), (1, ""))


SUITES = {"wire": [WireTests, BindTests], "zeroconf": [ZeroconfTests], "client": [ClientTests],
          "interfaces": [InterfaceTests], "overrun": [StopOverrunTests],
          "flood": [FloodTests, JoinRetryTests]}


def main():
    global ARGS
    if "--" not in sys.argv:
        print(__doc__)
        return 2
    split = sys.argv.index("--")
    parser = argparse.ArgumentParser()
    parser.add_argument("suite", choices=sorted(SUITES))
    parser.add_argument("--instance", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--id", required=True)
    parser.add_argument("--os", required=True)
    parser.add_argument("--probe")
    ARGS = parser.parse_args(sys.argv[1:split])
    ARGS.responder = sys.argv[split + 1:]
    if not NS_A:
        print("run me through netns_run.sh")
        return 2
    loader = unittest.defaultTestLoader
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in SUITES[ARGS.suite])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
