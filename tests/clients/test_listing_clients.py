"""Directory listings as real FTP clients see them: Python's ftplib, curl and lftp,
in passive and active mode, with blanks and Japanese UTF-8 in file names."""

import ftplib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftpsite  # noqa: E402

NAMES = ["a b.txt", "日本語のファイル.txt", "plain.bin"]
SUB = "sub dir"
SUB_FILE = "中身 1.txt"
TIMEOUT = 20


def build_tree(home):
    for name in NAMES:
        with open(os.path.join(home, name), "wb") as f:
            f.write(b"x" * (len(name) + 1))
    with open(os.path.join(home, ".hidden"), "wb") as f:
        f.write(b"h")
    os.makedirs(os.path.join(home, SUB))
    with open(os.path.join(home, SUB, SUB_FILE), "wb") as f:
        f.write(b"inner")


class ListingClients(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        base = os.environ.get("TEST_BINARY_DIR") or tempfile.gettempdir()
        cls.tmp = tempfile.mkdtemp(prefix="listing-clients-", dir=base)
        cls.root, cls.port, _ = ftpsite.make_site(cls.tmp, users={"demo": {}})
        build_tree(cls.root + "home")
        cls.proc = ftpsite.start_server(cls.root)

    @classmethod
    def tearDownClass(cls):
        ftpsite.stop_server(cls.proc)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def connect(self, passive=True):
        ftp = ftplib.FTP(encoding="utf-8")
        ftp.connect("127.0.0.1", self.port, timeout=TIMEOUT)
        ftp.login("demo", "demo")
        ftp.set_pasv(passive)
        self.addCleanup(ftp.close)
        return ftp

    def lftp(self, commands, passive=True):
        script = ("set ftp:ssl-allow no; set net:max-retries 1; set net:timeout 10; "
                  "set ftp:passive-mode %s; set ftp:charset utf-8; set file:charset utf-8; %s; bye"
                  % ("on" if passive else "off", commands))
        done = subprocess.run(["lftp", "-u", "demo,demo", "-e", script,
                               "ftp://127.0.0.1:%d" % self.port],
                              capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 0, done.stderr.decode("utf-8", "replace"))
        return done.stdout.decode("utf-8")

    def curl(self, *arguments):
        done = subprocess.run(["curl", "-sS", "--max-time", "30", "--user", "demo:demo", *arguments],
                              capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 0, done.stderr.decode("utf-8", "replace"))
        return done.stdout.decode("utf-8")

    def assert_names(self, names, expected):
        for name in expected:
            self.assertIn(name, names)
        self.assertNotIn(".hidden", names)

    # ftplib

    def test_ftplib_nlst_returns_names_intact_in_both_modes(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                names = self.connect(passive).nlst()
                self.assert_names(names, NAMES + [SUB])

    def test_ftplib_dir_lines_end_with_the_names(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                lines = []
                self.connect(passive).dir(lines.append)
                for name in NAMES + [SUB]:
                    self.assertTrue(any(line.endswith(" " + name) for line in lines), (name, lines))
                self.assertFalse(any(".hidden" in line for line in lines))

    def test_ftplib_lists_a_subfolder_with_blanks_in_its_name(self):
        ftp = self.connect()
        self.assertEqual(ftp.nlst(SUB + "/"), [SUB_FILE])
        self.assertEqual(ftp.nlst(SUB), [SUB_FILE])
        ftp.cwd(SUB)
        lines = []
        ftp.dir(lines.append)
        self.assertTrue(any(line.endswith(" " + SUB_FILE) for line in lines), lines)

    # curl

    def test_curl_lists_the_home_folder(self):
        for extra in ([], ["--ftp-port", "127.0.0.1"]):
            with self.subTest(active=bool(extra)):
                text = self.curl(*extra, "ftp://127.0.0.1:%d/" % self.port)
                lines = text.splitlines()
                for name in NAMES + [SUB]:
                    self.assertTrue(any(line.endswith(" " + name) for line in lines), (name, lines))
                self.assertNotIn(".hidden", text)

    def test_curl_list_only_sends_bare_names(self):
        text = self.curl("--list-only", "ftp://127.0.0.1:%d/" % self.port)
        names = text.splitlines()
        self.assert_names(names, NAMES + [SUB])

    # lftp

    def test_lftp_ls_and_cls_in_both_modes(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                listing = self.lftp("ls", passive)
                for name in NAMES + [SUB]:
                    self.assertIn(" " + name + "\n", listing)
                long_form = self.lftp("cls -l", passive)
                self.assertIn(SUB + "/", long_form)
                for name in NAMES:
                    self.assertIn(name, long_form)
                self.assertNotIn(".hidden", long_form)

    def test_lftp_find_walks_the_tree(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                found = self.lftp("find", passive).splitlines()
                self.assertIn("./" + SUB + "/" + SUB_FILE, found)
                for name in NAMES:
                    self.assertIn("./" + name, found)

    def test_lftp_mirror_copies_the_tree(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                target = tempfile.mkdtemp(prefix="mirror-", dir=self.tmp)
                self.lftp("mirror . '%s'" % target, passive)
                home = self.root + "home"
                for name in NAMES + [os.path.join(SUB, SUB_FILE)]:
                    with open(os.path.join(home, name), "rb") as a, open(os.path.join(target, name), "rb") as b:
                        self.assertEqual(a.read(), b.read(), name)
                self.assertFalse(os.path.exists(os.path.join(target, ".hidden")))


if __name__ == "__main__":
    unittest.main()
