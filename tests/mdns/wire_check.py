#!/usr/bin/python3
"""Reads every message our DNS codec writes with dnspython, an independent parser, and
compares header, record order, names (byte for byte), types, classes, TTLs and RDATA.

usage: wire_check.py <mdns_wire_dump program>"""
import os
import subprocess
import sys
import tempfile
import unittest

try:
    import dns.flags
    import dns.message
    import dns.name
    import dns.opcode
    import dns.rdata
    import dns.rdataclass
    import dns.rdatatype
except ImportError:
    print("SKIP: dnspython is not installed for /usr/bin/python3 (Debian: python3-dnspython)")
    sys.exit(77)

PTR, SRV, TXT, A = 12, 33, 16, 1
IN, FLUSH = 1, 0x8001

SERVICE = (b"_ferrylink", b"_tcp", b"local", b"")
ENUMERATION = (b"_services", b"_dns-sd", b"_udp", b"local", b"")


def instance(label):
    return (label.encode(),) + SERVICE


def host(label):
    return (label.encode(), b"local", b"")


BOX_TXT = [b"v=1", b"id=0123456789abcdef", b"nm=Test Box", b"os=win", b"sv=0.1.0", b"pm=0",
           b"op=1"]
BOX_A = [(host("Test-Box"), A, FLUSH, 120, "10.77.0.1"),
         (host("Test-Box"), A, FLUSH, 120, "192.168.1.20")]
BOX_SRV = (instance("Test Box"), SRV, FLUSH, 120, (0, 0, 47650, host("Test-Box")))
BOX = [(SERVICE, PTR, IN, 4500, instance("Test Box")),
       BOX_SRV,
       (instance("Test Box"), TXT, FLUSH, 120, BOX_TXT)] + BOX_A

WIDE_NAME = "Caf\u00e9 \u00dc-home"
WIDE = [(ENUMERATION, PTR, IN, 4500, SERVICE),
        (SERVICE, PTR, IN, 4500, instance(WIDE_NAME)),
        (instance(WIDE_NAME), SRV, FLUSH, 120, (0, 0, 65535, host("Caf-home"))),
        (instance(WIDE_NAME), TXT, FLUSH, 120,
         [b"v=1", b"id=fedcba9876543210", ("nm=" + WIDE_NAME).encode(), b"os=linux",
          b"sv=0.1.0", b"pm=0", b"op=1"])] + \
       [(host("Caf-home"), A, FLUSH, 120, "10.77.0.%d" % (i + 1)) for i in range(8)]

EXPECTED = {
    "announce": BOX,
    "goodbye": [(n, t, c, 0, r) for (n, t, c, _, r) in BOX],
    "services": [(ENUMERATION, PTR, IN, 4500, SERVICE)],
    "srv_a": [BOX_SRV] + BOX_A,
    "everything": WIDE,
    "txt_empty": [(instance("Test Box"), TXT, FLUSH, 120, [b""])],
}


def rdata_value(rtype, rd):
    if rtype == PTR:
        return rd.target.labels
    if rtype == SRV:
        return (rd.priority, rd.weight, rd.port, rd.target.labels)
    if rtype == TXT:
        return list(rd.strings)
    if rtype == A:
        return rd.address
    raise AssertionError("unexpected type %d" % rtype)


def records(wire):
    """(owner labels, type, class, ttl, value) of each answer record, in wire order."""
    msg = dns.message.from_wire(wire, one_rr_per_rrset=True)
    out = []
    for rrset in msg.answer:
        rdclass = int(rrset.rdclass)
        for rd in rrset:
            if rdclass == FLUSH and isinstance(rd, dns.rdata.GenericRdata):
                # The cache-flush bit makes an unknown class for a unicast DNS parser, which
                # keeps class-specific RDATA (SRV, A) as bytes: read them again as class IN.
                raw = rd.data
                rd = dns.rdata.from_wire(dns.rdataclass.IN, rrset.rdtype, raw, 0, len(raw))
            out.append((rrset.name.labels, int(rrset.rdtype), rdclass, rrset.ttl,
                        rdata_value(int(rrset.rdtype), rd)))
    return msg, out


class WireCheck(unittest.TestCase):
    folder = None

    def load(self, name):
        with open(os.path.join(self.folder, name + ".bin"), "rb") as f:
            return f.read()

    def test_responses_read_back_exactly(self):
        for name, expected in EXPECTED.items():
            with self.subTest(case=name):
                msg, got = records(self.load(name))
                self.assertEqual(msg.id, 0)
                self.assertEqual(msg.flags, dns.flags.QR | dns.flags.AA)
                self.assertEqual(msg.opcode(), dns.opcode.QUERY)
                self.assertEqual((len(msg.question), len(msg.authority), len(msg.additional)),
                                 (0, 0, 0))
                self.assertEqual(got, expected)

    def test_browse_query(self):
        msg = dns.message.from_wire(self.load("browse_query"))
        self.assertEqual(msg.flags & dns.flags.QR, 0)
        self.assertEqual(len(msg.question), 1)
        q = msg.question[0]
        self.assertEqual(q.name.labels, SERVICE)
        self.assertEqual(int(q.rdtype), PTR)
        self.assertEqual(int(q.rdclass), FLUSH, "class IN with the unicast-response bit")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([sys.argv[1], folder], check=True)
        WireCheck.folder = folder
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(WireCheck)
        result = unittest.TextTestRunner(verbosity=2).run(suite)
        return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
