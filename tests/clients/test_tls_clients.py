"""FTP over TLS with real clients: curl (--ssl-reqd, and ftps:// on the implicit port),
lftp (ssl-force, ssl-protect-data: ls, mirror, mirror -R, active and passive) and
Python's ftplib.FTP_TLS with PROT P. Files of 0 bytes, 1 byte and 64 MiB must arrive
byte for byte in both directions. A data connection that does not resume the control
connection's TLS session is refused with 425."""

import ftplib
import io
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftpsite  # noqa: E402
from ftpsite import pattern, read, tree_digests, write  # noqa: E402

TIMEOUT = 60
TLS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "tls")
SIZES = {"zero.bin": 0, "one.bin": 1, "large.bin": 64 * 1024 * 1024}


def client_context():
    context = ssl.create_default_context(cafile=os.path.join(TLS_DIR, "cert.pem"))
    context.check_hostname = False  # the test certificate names localhost, we use 127.0.0.1
    return context


class ReusingFTP_TLS(ftplib.FTP_TLS):
    """FTP_TLS whose protected data connections resume the control connection's session."""

    def ntransfercmd(self, cmd, rest=None):
        conn, size = ftplib.FTP.ntransfercmd(self, cmd, rest)
        if self._prot_p:
            conn = self.context.wrap_socket(conn, server_hostname=self.host,
                                            session=self.sock.session)
        return conn, size


class TlsClients(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        base = os.environ.get("TEST_BINARY_DIR") or tempfile.gettempdir()
        cls.tmp = tempfile.mkdtemp(prefix="tls-clients-", dir=base)
        cls.implicit_port = ftpsite.free_port()
        tls = {"Enable": 1, "Certificate": os.path.join(TLS_DIR, "cert.pem"),
               "PrivateKey": os.path.join(TLS_DIR, "key.pem"),
               "ImplicitPort": cls.implicit_port}
        cls.root, cls.port, _ = ftpsite.make_site(cls.tmp, users={"demo": {}},
                                                  ini={"TLS": tls})
        cls.home = cls.root + "home/"
        cls.files = {name: pattern(size, i) for i, (name, size) in enumerate(SIZES.items())}
        for name, data in cls.files.items():
            write(cls.home + "tree/" + name, data)
        cls.proc = ftpsite.start_server(cls.root)
        ftpsite.wait_port(cls.implicit_port)

    @classmethod
    def tearDownClass(cls):
        ftpsite.stop_server(cls.proc)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def local_folder(self):
        return tempfile.mkdtemp(prefix="local-", dir=self.tmp)

    def run_tool(self, command):
        done = subprocess.run(command, capture_output=True, timeout=300,
                              stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 0, done.stderr.decode(errors="replace"))
        return done

    # ---- ftplib ----

    def connect(self, cls=ReusingFTP_TLS, passive=True):
        ftp = cls(context=client_context(), timeout=TIMEOUT)
        ftp.connect("127.0.0.1", self.port)
        ftp.auth()
        ftp.prot_p()
        ftp.login("demo", "demo")
        ftp.set_pasv(passive)
        self.addCleanup(ftp.close)
        return ftp

    def test_ftplib_prot_p_in_both_modes(self):
        for passive in (True, False):
            ftp = self.connect(passive=passive)
            for name, data in self.files.items():
                with self.subTest(passive=passive, name=name):
                    got = io.BytesIO()
                    ftp.retrbinary("RETR tree/" + name, got.write, blocksize=65536)
                    self.assertTrue(got.getvalue() == data)
                    target = "ftplib-%s-%s" % (passive, name)
                    self.assertTrue(ftp.storbinary("STOR " + target, io.BytesIO(data))
                                    .startswith("226"))
                    self.assertTrue(read(self.home + target) == data)
            self.assertIn("zero.bin", ftp.nlst("tree"))

    def test_ftplib_without_session_reuse_gets_425(self):
        ftp = self.connect(cls=ftplib.FTP_TLS)
        try:
            ftp.retrbinary("RETR tree/one.bin", lambda _: None)
            self.fail("the data connection was not refused")
        except ssl.SSLError:
            # ftplib's close of the refused connection fails before it reads the reply.
            with self.assertRaises(ftplib.error_temp) as refused:
                ftp.getresp()
            message = str(refused.exception)
        except ftplib.error_temp as refused:
            message = str(refused)
        self.assertTrue(message.startswith("425 "), message)

    # ---- curl ----

    def curl(self, *arguments):
        return self.run_tool(["curl", "-sS", "--max-time", "120", "--cacert",
                              os.path.join(TLS_DIR, "cert.pem"), "-u", "demo:demo",
                              *arguments])

    def test_curl_explicit_and_implicit_tls(self):
        # Passive only: curl 7.87 and later never start TLS on an active data connection.
        bases = {"explicit": "ftp://localhost:%d/" % self.port,
                 "implicit": "ftps://localhost:%d/" % self.implicit_port}
        for kind, base in bases.items():
            folder = self.local_folder()
            for name, data in self.files.items():
                with self.subTest(kind=kind, name=name):
                    out = os.path.join(folder, name)
                    self.curl("--ssl-reqd", "-o", out, base + "tree/" + name)
                    self.assertTrue(read(out) == data)
                    self.curl("--ssl-reqd", "-T", out, base + "curl-%s-%s" % (kind, name))
                    self.assertTrue(read(self.home + "curl-%s-%s" % (kind, name)) == data)

    # ---- lftp ----

    def lftp(self, commands, folder, passive):
        script = ("set ssl:ca-file %s; set ssl:check-hostname no; "
                  "set ftp:ssl-force true; set ftp:ssl-protect-data true; "
                  "set ftp:passive-mode %s; set net:max-retries 1; set net:timeout 30; "
                  "set xfer:clobber on; lcd %s; %s; bye"
                  % (os.path.join(TLS_DIR, "cert.pem"), "on" if passive else "off", folder,
                     commands))
        return self.run_tool(["lftp", "-u", "demo,demo", "-e", script,
                              "ftp://127.0.0.1:%d" % self.port])

    def test_lftp_lists_and_mirrors_both_ways(self):
        expected = tree_digests(self.home + "tree")
        for passive in (True, False):
            with self.subTest(passive=passive):
                folder = self.local_folder()
                listing = self.lftp("ls tree", folder, passive).stdout.decode()
                self.assertIn("large.bin", listing)
                self.lftp("mirror tree down", folder, passive)
                self.assertEqual(tree_digests(os.path.join(folder, "down")), expected)
                up = "up-%s" % passive
                self.lftp("mirror -R down %s" % up, folder, passive)
                self.assertEqual(tree_digests(self.home + up), expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
