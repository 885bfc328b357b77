"""FTP over IPv6 on ::1 with real clients: Python's ftplib, curl and lftp log in, list,
download and upload in passive (EPSV) and active (EPRT) mode, byte for byte; the
commands that cannot carry an IPv6 address and bad EPRT arguments are refused; a refusal
pattern for ::1 refuses, and with Ip2Host on the name ::1 resolves to is what the refusal
list matches. Skipped only when the kernel has IPv6 switched off."""

import ftplib
import hashlib
import io
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftpsite  # noqa: E402

TIMEOUT = 30
DATA = hashlib.sha256(b"v6").digest() * 40000  # 1.25 MiB


def ipv6_loopback_usable():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def read(path):
    with open(path, "rb") as f:
        return f.read()


def raw_session(port, user="demo"):
    """A logged-in control connection over ::1; returns (socket, command)."""
    s = socket.create_connection(("::1", port), timeout=TIMEOUT)
    reader = s.makefile("rb")

    def command(line):
        if line is not None:
            s.sendall(line.encode() + b"\r\n")
        while True:
            text = reader.readline().decode()
            if not text:
                return "<closed>"
            if len(text) >= 4 and text[3] == " ":
                return text.rstrip("\r\n")

    command(None)
    if user is not None:
        command("USER " + user)
        assert command("PASS " + user).startswith("230")
    return s, command


@unittest.skipUnless(ipv6_loopback_usable(), "IPv6 is switched off in this kernel: no ::1")
class Ipv6Clients(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="velmora-ipv6-")
        cls.root, cls.port, _ = ftpsite.make_site(
            cls.tmp, users={"demo": {}, "nov6": {"ProhIP0": "::*"},
                            "one": {"MaxConPerIP": "1"}})
        with open(cls.root + "home/data.bin", "wb") as f:
            f.write(DATA)
        cls.proc = ftpsite.start_server(cls.root)

    @classmethod
    def tearDownClass(cls):
        ftpsite.stop_server(cls.proc)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_ftplib_passive_and_active(self):
        for passive in (True, False):
            with ftplib.FTP(timeout=TIMEOUT) as ftp:
                ftp.connect("::1", self.port)
                ftp.login("demo", "demo")
                ftp.set_pasv(passive)
                self.assertIn("data.bin", ftp.nlst())
                chunks = []
                ftp.retrbinary("RETR data.bin", chunks.append)
                self.assertEqual(b"".join(chunks), DATA, passive)
                name = "ftplib-%d.bin" % passive
                ftp.storbinary("STOR " + name, io.BytesIO(DATA))
                self.assertEqual(read(self.root + "home/" + name), DATA, passive)

    def run_tool(self, arguments):
        result = subprocess.run(arguments, capture_output=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return result.stdout

    @unittest.skipUnless(shutil.which("curl"), "curl is not installed")
    def test_curl_epsv_and_eprt(self):
        url = "ftp://[::1]:%d/" % self.port
        for mode, extra in (("epsv", []), ("eprt", ["-P", "-"])):
            base = ["curl", "-sS", "-g", "--user", "demo:demo", *extra]
            self.assertIn(b"data.bin", self.run_tool(base + [url]))
            self.assertEqual(self.run_tool(base + [url + "data.bin"]), DATA)
            source = os.path.join(self.tmp, "curl-up.bin")
            with open(source, "wb") as f:
                f.write(DATA)
            self.run_tool(base + ["-T", source, url + "curl-%s.bin" % mode])
            self.assertEqual(read(self.root + "home/curl-%s.bin" % mode), DATA)

    @unittest.skipUnless(shutil.which("lftp"), "lftp is not installed")
    def test_lftp_passive_and_active(self):
        for passive in ("on", "off"):
            local = os.path.join(self.tmp, "lftp-" + passive)
            os.makedirs(local, exist_ok=True)
            with open(os.path.join(local, "up.bin"), "wb") as f:
                f.write(DATA)
            script = ("set ftp:passive-mode %s; set net:max-retries 1; set ftp:ssl-allow no; "
                      "cls -1; lcd %s; get data.bin; put up.bin -o lftp-%s.bin; bye"
                      % (passive, local, passive))
            listing = self.run_tool(["lftp", "-u", "demo,demo", "-e", script,
                                     "ftp://[::1]:%d" % self.port])
            self.assertIn(b"data.bin", listing)
            self.assertEqual(read(os.path.join(local, "data.bin")), DATA)
            self.assertEqual(read(self.root + "home/lftp-%s.bin" % passive), DATA)

    def test_ipv4_only_commands_and_bad_eprt_are_refused(self):
        s, command = raw_session(self.port)
        try:
            self.assertTrue(command("PASV").startswith("522 "))
            self.assertTrue(command("PORT 127,0,0,1,200,10").startswith("522 "))
            self.assertEqual(command("EPSV 1"), "522 Network protocol not supported, use (2)")
            self.assertEqual(command("EPRT |1|127.0.0.1|50000|"),
                             "522 Network protocol not supported, use (2)")
            for bad in ("|2|::1%lo|50000|", "|2|127.0.0.1|50000|", "|2|::g|50000|",
                        "|2|2001:db8::5|50000|", "|2|::ffff:127.0.0.1|50000|"):
                self.assertTrue(command("EPRT " + bad).startswith("501 "), bad)
            self.assertTrue(command("EPRT |2|::1|80|").startswith("500 Illegal EPRT"))
            # Nothing above set a data target: a listing has nowhere to go.
            self.assertTrue(command("NLST").startswith("425"))
            reply = command("EPSV 2")
            self.assertTrue(reply.startswith("229 "), reply)
        finally:
            s.close()

    def test_account_host_pattern_and_per_host_limit(self):
        s, command = raw_session(self.port, None)
        try:
            self.assertEqual(command("USER nov6"), "503 can't accept you or your IP.")
        finally:
            s.close()
        # The limit counts every session from ::1: wait until the server has dropped the
        # one just closed (slow builds take a moment) before "one" logs in.
        deadline = time.monotonic() + 10
        while True:
            first, first_command = raw_session(self.port, None)
            answer = first_command("USER one")
            if answer.startswith("331") or time.monotonic() > deadline:
                break
            first.close()
            time.sleep(0.1)
        self.assertTrue(answer.startswith("331"), answer)
        self.assertTrue(first_command("PASS one").startswith("230"))
        second, command = raw_session(self.port, None)
        try:
            # The limit counts the other session from ::1.
            self.assertEqual(command("USER one"), "530 Your IP is already loged in.")
        finally:
            first.close()
            second.close()

    def test_refusal_pattern_for_ipv6_loopback(self):
        for pattern in ("::1", "::*"):
            with open(self.root + "RefuseIP.txt", "w") as f:
                f.write("2001:db8:*\n" + pattern + "\n")
            try:
                with socket.create_connection(("::1", self.port), timeout=TIMEOUT) as s:
                    self.assertTrue(s.makefile("rb").readline().startswith(b"421"), pattern)
            finally:
                os.remove(self.root + "RefuseIP.txt")
        with ftplib.FTP(timeout=TIMEOUT) as ftp:
            ftp.connect("::1", self.port)  # the list is gone: welcome again
            ftp.login("demo", "demo")

    def test_ip2host_names_an_ipv6_client(self):
        """With Ip2Host on, the refusal list matches the name ::1 resolves to; where ::1
        has no name (no hosts entry), the address stays the host text."""
        try:
            name = socket.getnameinfo(("::1", 0), socket.NI_NAMEREQD)[0]
        except OSError:
            name = None
        tmp = os.path.join(self.tmp, "ip2host")
        root, port, _ = ftpsite.make_site(tmp, users={"demo": {}}, ini={"Log": {"Ip2Host": 1}})
        proc = ftpsite.start_server(root)

        def refused_with(entry):
            with open(root + "RefuseIP.txt", "w") as f:
                f.write(entry + "\n")
            with socket.create_connection(("::1", port), timeout=TIMEOUT) as s:
                return s.makefile("rb").readline().startswith(b"421")

        try:
            if name is None:
                self.assertTrue(refused_with("::1"))
            else:
                self.assertTrue(refused_with(name), name)
                self.assertFalse(refused_with("::1"), name)
        finally:
            ftpsite.stop_server(proc)

if __name__ == "__main__":
    unittest.main()
