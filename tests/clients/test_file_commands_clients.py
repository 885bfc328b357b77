"""Python's ftplib works with folders and files on quorsrv: mkd, rmd, delete, rename,
size, cwd and pwd, with ASCII, Japanese (UTF-8) and blank-containing names."""

import ftplib
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftpsite  # noqa: E402


class FileCommandClients(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="file-commands-clients-")
        cls.root, cls.port, _ = ftpsite.make_site(cls.tmp, users={"demo": {}})
        cls.home = cls.root + "home/"
        cls.server = ftpsite.start_server(cls.root)

    @classmethod
    def tearDownClass(cls):
        ftpsite.stop_server(cls.server)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def login(self):
        ftp = ftplib.FTP(encoding="utf-8")
        ftp.connect("127.0.0.1", self.port, timeout=10)
        ftp.login("demo", "demo")
        self.addCleanup(ftp.close)
        return ftp

    def write(self, relative, data):
        path = self.home + relative
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def test_folders_are_made_entered_and_removed(self):
        ftp = self.login()
        self.assertEqual(ftp.pwd(), "/")
        self.assertEqual(ftp.mkd("plain/deep/deeper"), "plain/deep/deeper")
        self.assertTrue(os.path.isdir(self.home + "plain/deep/deeper"))
        ftp.cwd("plain/deep")
        self.assertEqual(ftp.pwd(), "/plain/deep/")
        ftp.rmd("deeper")
        self.assertFalse(os.path.exists(self.home + "plain/deep/deeper"))
        ftp.cwd("/")
        self.assertEqual(ftp.pwd(), "/")

    def test_refusals_raise_permanent_errors(self):
        ftp = self.login()
        with self.assertRaises(ftplib.error_perm) as raised:
            ftp.cwd("..")
        self.assertTrue(str(raised.exception).startswith("550"))
        with self.assertRaises(ftplib.error_perm):
            ftp.size("does-not-exist.txt")
        self.write("full/keep.txt", b"keep")
        with self.assertRaises(ftplib.error_perm):
            ftp.rmd("full")
        self.assertTrue(os.path.exists(self.home + "full/keep.txt"))

    def test_size_rename_and_delete(self):
        self.write("data.bin", b"x" * 1234)
        ftp = self.login()
        ftp.voidcmd("TYPE I")
        self.assertEqual(ftp.size("data.bin"), 1234)
        ftp.rename("data.bin", "moved.bin")
        self.assertFalse(os.path.exists(self.home + "data.bin"))
        self.assertEqual(ftp.size("moved.bin"), 1234)
        ftp.delete("moved.bin")
        self.assertFalse(os.path.exists(self.home + "moved.bin"))

    def test_japanese_names_and_blanks_come_back_intact(self):
        self.write("日本語 の ファイル.txt", b"abcdef")
        ftp = self.login()
        self.assertEqual(ftp.mkd("新しい フォルダ"), "新しい フォルダ")
        self.assertTrue(os.path.isdir(self.home + "新しい フォルダ"))
        self.assertEqual(ftp.size("日本語 の ファイル.txt"), 6)
        ftp.rename("日本語 の ファイル.txt", "新しい フォルダ/名前 変更.txt")
        self.assertTrue(os.path.isfile(self.home + "新しい フォルダ/名前 変更.txt"))
        ftp.cwd("新しい フォルダ")
        self.assertEqual(ftp.pwd(), "/新しい フォルダ/")
        self.assertEqual(ftp.size("名前 変更.txt"), 6)
        ftp.delete("名前 変更.txt")
        ftp.cwd("..")
        ftp.rmd("新しい フォルダ")
        self.assertFalse(os.path.exists(self.home + "新しい フォルダ"))


if __name__ == "__main__":
    unittest.main()
