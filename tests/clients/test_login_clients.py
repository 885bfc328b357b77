"""Real FTP clients log in to quorsrv: Python's ftplib and curl."""

import ftplib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftpsite  # noqa: E402


class LoginClients(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="login-clients-")
        cls.root, cls.port, _ = ftpsite.make_site(
            cls.tmp,
            users={
                "demo": {"PassWord": "demo"},
                "open": {"NeedPassWord": "0", "NeedEmailAddr": "0"},
                "greeter": {"PassWord": "pw", "UseLogOnMessage": "1",
                            "Message230_0": "hello $USER$"},
            },
            ini={"UnKnownID": {"Refuse": "1"}})
        cls.server = ftpsite.start_server(cls.root)

    @classmethod
    def tearDownClass(cls):
        ftpsite.stop_server(cls.server)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def connect(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=10)
        return ftp

    def test_ftplib_logs_in_and_quits(self):
        ftp = self.connect()
        self.assertTrue(ftp.getwelcome().startswith("220-Welcome To velmoraFTP !!!"))
        reply = ftp.login("demo", "demo")
        self.assertTrue(reply.startswith("230-"))
        self.assertTrue(reply.endswith("230 Login OK!!!"))
        self.assertEqual(ftp.voidcmd("NOOP"), "200 OK")
        self.assertEqual(ftp.quit(), "221 Good-Bye")

    def test_ftplib_sees_the_custom_login_text(self):
        ftp = self.connect()
        self.assertEqual(ftp.login("greeter", "pw"), "230-hello greeter\n230 ")
        ftp.quit()

    def test_ftplib_wrong_password_is_refused(self):
        ftp = self.connect()
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.login("demo", "nope")
        self.assertEqual(str(caught.exception), "530 Illegal Password.")
        ftp.close()

    def test_ftplib_unknown_user_is_refused(self):
        ftp = self.connect()
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.login("stranger", "x")
        self.assertEqual(str(caught.exception), "530 cannot accept your ID")
        ftp.close()
        self.assertFalse(os.path.exists(self.root + "user/stranger.usr"))

    def test_ftplib_account_without_password(self):
        ftp = self.connect()
        # ftplib sends PASS only after a 3xx reply; the 230 at USER ends the login.
        self.assertTrue(ftp.login("open", "ignored").endswith("230 Login OK!!!"))
        self.assertEqual(ftp.voidcmd("NOOP"), "200 OK")
        ftp.quit()

    def curl(self, user):
        if shutil.which("curl") is None:
            self.skipTest("curl is not installed")
        url = "ftp://127.0.0.1:%d/" % self.port
        # -I with -Q NOOP needs the control connection only: login, PWD, NOOP.
        return subprocess.run(
            ["curl", "-sS", "--max-time", "20", "-u", user, url, "-Q", "NOOP", "-I"],
            capture_output=True, text=True, timeout=60)

    def test_curl_logs_in(self):
        result = self.curl("demo:demo")
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_curl_wrong_password_is_access_denied(self):
        result = self.curl("demo:wrong")
        self.assertEqual(result.returncode, 67, result.stderr)  # login denied


if __name__ == "__main__":
    unittest.main(verbosity=2)
