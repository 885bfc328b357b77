"""The everyday work of independent FTP clients against the real quorsrv.

Clients: curl, lftp, Python's ftplib, Perl's Net::FTP (active and passive), python3-ftputil
(Debian's interpreter), tnftp and basic-ftp from npm (installed into the build tree on first
use). Each one lists the home folder (names with blanks and Japanese UTF-8 names intact),
downloads, uploads, resumes a download, makes and removes a folder, renames and deletes,
and every file arrives byte for byte. The whole matrix runs twice: with the server in UTC
and in Asia/Tokyo, and MDTM gives the same answers in both.
"""

import calendar
import ftplib
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftpsite  # noqa: E402

TIMEOUT = 120
PLAIN = "a b.txt"
JAPANESE = "日本語 ファイル.bin"
FOLDER = "フォルダ one"
INNER = "中身 1.txt"
OLD_TIME = calendar.timegm((2021, 3, 4, 5, 6, 7))
NEW_FOLDER = "新しい dir"
UPLOADED = "上り 1.bin"
RENAMED = "名前 2.bin"
DEBIAN_PYTHON = "/usr/bin/python3"
BASIC_FTP = "basic-ftp@6.2.6"


def pattern(size, seed):
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(b"%d-%d" % (seed, counter)).digest()
        counter += 1
    return bytes(out[:size])


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def run(arguments, stdin_text=None, env=None):
    done = subprocess.run(arguments, capture_output=True, timeout=TIMEOUT, env=env,
                          input=stdin_text.encode("utf-8") if stdin_text is not None else None,
                          stdin=None if stdin_text is not None else subprocess.DEVNULL)
    if done.returncode != 0:
        raise AssertionError("%s exited %d\n%s\n%s" % (arguments[0], done.returncode,
                                                       done.stdout.decode("utf-8", "replace"),
                                                       done.stderr.decode("utf-8", "replace")))
    return done.stdout.decode("utf-8")


def node_modules():
    """basic-ftp installed once into the build tree with npm (the registry is reached on a
    fresh machine the same way)."""
    base = os.path.join(os.environ.get("TEST_BINARY_DIR") or tempfile.gettempdir(), "npm-clients")
    if not os.path.isdir(os.path.join(base, "node_modules", "basic-ftp")):
        os.makedirs(base, exist_ok=True)
        run(["npm", "install", "--no-audit", "--no-fund", "--prefix", base, BASIC_FTP])
    return os.path.join(base, "node_modules")


class Matrix:
    """The suite; each subclass below runs it with the server in one time zone."""

    ZONE = "UTC"

    @classmethod
    def setUpClass(cls):
        cls.files = {PLAIN: pattern(1000, 1), JAPANESE: pattern(200 * 1024 + 7, 2),
                     FOLDER + "/" + INNER: pattern(4097, 3)}
        # The port picked as free may be taken before the server binds it (by another
        # test's connection on a busy machine): then a new site with new ports.
        for attempt in range(3):
            try:
                cls.start_site()
                return
            except RuntimeError:
                shutil.rmtree(cls.tmp, ignore_errors=True)
                if attempt == 2:
                    raise

    @classmethod
    def start_site(cls):
        base = os.environ.get("TEST_BINARY_DIR") or tempfile.gettempdir()
        cls.tmp = tempfile.mkdtemp(prefix="client-matrix-", dir=base)
        cls.root, cls.port, _ = ftpsite.make_site(cls.tmp, users={"demo": {}})
        cls.home = cls.root + "home/"
        for name, data in cls.files.items():
            write(cls.home + name, data)
        os.utime(cls.home + PLAIN, (OLD_TIME, OLD_TIME))
        cls.proc = ftpsite.start_server(cls.root, environment={"TZ": cls.ZONE})

    @classmethod
    def tearDownClass(cls):
        ftpsite.stop_server(cls.proc)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def local(self, client):
        """A fresh local folder and the client's own work folder on the server."""
        folder = tempfile.mkdtemp(prefix=client + "-", dir=self.tmp)
        os.makedirs(self.home + "work-" + client, exist_ok=True)
        return folder + "/"

    def check_work(self, client, listed, downloaded, resumed):
        """What every client must have achieved."""
        for name in (PLAIN, JAPANESE, FOLDER):
            self.assertIn(name, listed, (client, listed))
        self.assertEqual(downloaded, self.files[JAPANESE], client)
        self.assertEqual(resumed, self.files[JAPANESE], client)
        work = self.home + "work-" + client + "/"
        self.assertFalse(os.path.exists(work + NEW_FOLDER), client)
        self.assertFalse(os.path.exists(work + UPLOADED), client)
        self.assertFalse(os.path.exists(work + RENAMED), client)

    def upload_source(self, folder):
        data = pattern(70 * 1024 + 3, 9)
        write(folder + UPLOADED, data)
        return data

    def partial(self, folder):
        """A local file that holds the first part of the Japanese file, to resume."""
        write(folder + "resumed.bin", self.files[JAPANESE][:50000])
        return folder + "resumed.bin"

    def assert_renamed(self, client, data):
        self.assertEqual(read(self.home + "work-" + client + "/" + RENAMED), data)

    # --- the clients ------------------------------------------------------------------------

    def test_ftplib_in_both_modes(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                client = "ftplib-%s" % ("pasv" if passive else "port")
                folder = self.local(client)
                ftp = ftplib.FTP(encoding="utf-8")
                ftp.connect("127.0.0.1", self.port, timeout=30)
                ftp.login("demo", "demo")
                ftp.set_pasv(passive)
                facts = dict(ftp.mlsd())
                self.assertEqual(facts[JAPANESE]["type"], "file")
                self.assertEqual(int(facts[JAPANESE]["size"]), len(self.files[JAPANESE]))
                self.assertEqual(facts[FOLDER]["type"], "dir")
                self.assertEqual(ftp.nlst(FOLDER), [INNER])
                self.assertEqual(ftp.nlst(FOLDER + "/"), [INNER])
                chunks = []
                ftp.retrbinary("RETR " + JAPANESE, chunks.append)
                resumed = bytearray(self.files[JAPANESE][:50000])
                ftp.retrbinary("RETR " + JAPANESE, resumed.extend, rest=50000)
                data = self.upload_source(folder)
                work = "work-" + client + "/"
                with open(folder + UPLOADED, "rb") as f:
                    ftp.storbinary("STOR " + work + UPLOADED, f)
                self.assertEqual(read(self.home + work + UPLOADED), data)
                ftp.mkd(work + NEW_FOLDER)
                self.assertTrue(os.path.isdir(self.home + work + NEW_FOLDER))
                ftp.rmd(work + NEW_FOLDER)
                ftp.rename(work + UPLOADED, work + RENAMED)
                self.assert_renamed(client, data)
                ftp.delete(work + RENAMED)
                listed = ftp.nlst()
                ftp.quit()
                self.check_work(client, listed, b"".join(chunks), bytes(resumed))

    def curl(self, *arguments):
        return run(["curl", "-sS", "--max-time", "60", "--user", "demo:demo", *arguments])

    def test_curl_in_both_modes(self):
        for active in (False, True):
            with self.subTest(active=active):
                client = "curl-%s" % ("port" if active else "pasv")
                folder = self.local(client)
                mode = ["--ftp-port", "127.0.0.1"] if active else []
                url = "ftp://127.0.0.1:%d/" % self.port
                quote = urllib.parse.quote
                listed = self.curl(*mode, url)
                names = self.curl(*mode, "--list-only", url).splitlines()
                self.assertTrue(any(line.endswith(" " + JAPANESE) for line in listed.splitlines()), listed)
                self.curl(*mode, "-o", folder + "down.bin", url + quote(JAPANESE))
                partial = self.partial(folder)
                self.curl(*mode, "-C", "-", "-o", partial, url + quote(JAPANESE))
                data = self.upload_source(folder)
                work = "work-" + client + "/"
                self.curl(*mode, "-T", folder + UPLOADED, url + quote(work + UPLOADED))
                self.assertEqual(read(self.home + work + UPLOADED), data)
                self.curl(*mode, "--list-only", "-Q", "MKD " + work + NEW_FOLDER, url)
                self.assertTrue(os.path.isdir(self.home + work + NEW_FOLDER))
                self.curl(*mode, "--list-only", "-Q", "RMD " + work + NEW_FOLDER,
                          "-Q", "RNFR " + work + UPLOADED, "-Q", "RNTO " + work + RENAMED, url)
                self.assert_renamed(client, data)
                self.curl(*mode, "--list-only", "-Q", "DELE " + work + RENAMED, url)
                self.check_work(client, names, read(folder + "down.bin"), read(partial))

    def lftp(self, commands, passive=True):
        script = ("set ftp:ssl-allow no; set net:max-retries 1; set net:timeout 20; "
                  "set ftp:passive-mode %s; %s; bye" % ("on" if passive else "off", commands))
        return run(["lftp", "-u", "demo,demo", "-e", script, "ftp://127.0.0.1:%d" % self.port])

    def test_lftp_everyday_work_and_mirrors_keeping_times(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                client = "lftp-%s" % ("pasv" if passive else "port")
                folder = self.local(client)
                work = "work-" + client
                data = self.upload_source(folder)
                partial = self.partial(folder)
                listed = [name.rstrip("/") for name in self.lftp("cls -1", passive).splitlines()]
                folder_listing = self.lftp("ls '%s'" % FOLDER, passive)
                self.assertIn(" " + INNER + "\n", folder_listing)
                self.lftp("lcd %s; get '%s' -o down.bin; get -c '%s' -o resumed.bin; "
                          "cd %s; put '%s'; mkdir '%s'; rmdir '%s'; mv '%s' '%s'"
                          % (folder, JAPANESE, JAPANESE, work, UPLOADED, NEW_FOLDER, NEW_FOLDER,
                             UPLOADED, RENAMED), passive)
                self.assert_renamed(client, data)
                self.lftp("rm '%s/%s'" % (work, RENAMED), passive)
                self.check_work(client, listed, read(folder + "down.bin"), read(partial))

                mirror = folder + "mirror/"
                self.lftp("mirror . '%s' -x '^work-'" % mirror, passive)
                for name, content in self.files.items():
                    self.assertEqual(read(mirror + name), content, name)
                self.assertEqual(int(os.stat(mirror + PLAIN).st_mtime), OLD_TIME)
                up = folder + "up/"
                write(up + "deep/" + JAPANESE, self.files[JAPANESE])
                write(up + PLAIN, self.files[PLAIN])
                os.utime(up + PLAIN, (OLD_TIME, OLD_TIME))
                self.lftp("mirror -R '%s' '%s/up'" % (up, work), passive)
                target = self.home + work + "/up/"
                self.assertEqual(read(target + "deep/" + JAPANESE), self.files[JAPANESE])
                self.assertEqual(int(os.stat(target + PLAIN).st_mtime), OLD_TIME)

    PERL = r"""
use strict; use warnings; use Net::FTP;
my ($port, $passive, $folder, $work, $jp, $up, $renamed, $newdir, $partial) = @ARGV;
binmode STDOUT;
my $ftp = Net::FTP->new("127.0.0.1", Port => $port, Passive => $passive, Timeout => 30)
  or die "connect: $@";
$ftp->login("demo", "demo") or die "login: " . $ftp->message;
$ftp->binary;
print join("\n", $ftp->ls), "\n";
$ftp->get($jp, "$folder/down.bin") or die "get: " . $ftp->message;
$ftp->get($jp, $partial, -s $partial) or die "resume: " . $ftp->message;
$ftp->put("$folder/$up", "$work/$up") or die "put: " . $ftp->message;
$ftp->mkdir("$work/$newdir") or die "mkdir: " . $ftp->message;
$ftp->rmdir("$work/$newdir") or die "rmdir: " . $ftp->message;
$ftp->rename("$work/$up", "$work/$renamed") or die "rename: " . $ftp->message;
$ftp->delete("$work/$renamed") or die "delete: " . $ftp->message;
$ftp->quit;
"""

    def test_perl_net_ftp_in_active_and_passive_mode(self):
        for passive in (1, 0):
            with self.subTest(passive=passive):
                client = "perl-%s" % ("pasv" if passive else "port")
                folder = self.local(client)
                self.upload_source(folder)
                partial = self.partial(folder)
                out = run(["perl", "-e", self.PERL, str(self.port), str(passive), folder, "work-" + client,
                           JAPANESE, UPLOADED, RENAMED, NEW_FOLDER, partial])
                self.check_work(client, out.splitlines(), read(folder + "down.bin"), read(partial))

    FTPUTIL = r"""
import ftplib, json, sys, ftputil, ftputil.session
port, folder, work, jp, up, renamed, newdir, partial = sys.argv[1:]
factory = ftputil.session.session_factory(port=int(port), encoding="UTF-8")
with ftputil.FTPHost("127.0.0.1", "demo", "demo", session_factory=factory) as host:
    listed = host.listdir(host.curdir)
    host.download(jp, folder + "down.bin")
    with open(partial, "ab") as out, host.open(jp, "rb", rest=out.tell()) as source:
        out.write(source.read())
    host.upload(folder + up, work + "/" + up)
    host.mkdir(work + "/" + newdir)
    host.rmdir(work + "/" + newdir)
    host.rename(work + "/" + up, work + "/" + renamed)
    uploaded = host.stat(work + "/" + renamed).st_size
    host.remove(work + "/" + renamed)
print(json.dumps({"listed": listed, "uploaded": uploaded}))
"""

    def test_ftputil(self):
        client = "ftputil"
        folder = self.local(client)
        data = self.upload_source(folder)
        partial = self.partial(folder)
        out = json.loads(run([DEBIAN_PYTHON, "-c", self.FTPUTIL, str(self.port), folder, "work-" + client,
                              JAPANESE, UPLOADED, RENAMED, NEW_FOLDER, partial]))
        self.assertEqual(out["uploaded"], len(data))
        self.check_work(client, out["listed"], read(folder + "down.bin"), read(partial))

    def test_tnftp(self):
        client = "tnftp"
        folder = self.local(client)
        data = self.upload_source(folder)
        partial = self.partial(folder)
        work = "work-" + client
        script = "\n".join([
            "user demo demo", "binary", "passive on", "lcd %s" % folder, "nlist",
            'get "%s" down.bin' % JAPANESE, 'reget "%s" resumed.bin' % JAPANESE,
            "cd %s" % work, 'put "%s"' % UPLOADED, 'mkdir "%s"' % NEW_FOLDER, 'rmdir "%s"' % NEW_FOLDER,
            'rename "%s" "%s"' % (UPLOADED, RENAMED), "bye", ""])
        out = run(["tnftp", "-n", "-v", "127.0.0.1", str(self.port)], stdin_text=script)
        self.assertNotIn("550", out)
        self.assert_renamed(client, data)
        run(["tnftp", "-n", "127.0.0.1", str(self.port)],
            stdin_text="user demo demo\ncd %s\ndelete \"%s\"\nbye\n" % (work, RENAMED))
        self.check_work(client, out.splitlines(), read(folder + "down.bin"), read(partial))

    NODE = r"""
const ftp = require("basic-ftp");
const [port, folder, work, jp, up, renamed, newdir, partial, size] = process.argv.slice(1);
(async () => {
  const client = new ftp.Client(30000);
  await client.access({host: "127.0.0.1", port: Number(port), user: "demo", password: "demo"});
  const listed = (await client.list()).map((entry) => entry.name);
  const inner = (await client.list(process.env.FOLDER)).map((entry) => entry.name);
  await client.downloadTo(folder + "down.bin", jp);
  await client.downloadTo(partial, jp, Number(size));
  await client.uploadFrom(folder + up, work + "/" + up);
  await client.ensureDir(work + "/" + newdir);
  await client.cd("/");
  await client.removeDir(work + "/" + newdir);
  await client.rename(work + "/" + up, work + "/" + renamed);
  await client.remove(work + "/" + renamed);
  client.close();
  console.log(JSON.stringify({listed, inner}));
})().catch((error) => { console.error(error); process.exit(1); });
"""

    def test_basic_ftp_from_npm(self):
        client = "basic-ftp"
        folder = self.local(client)
        self.upload_source(folder)
        partial = self.partial(folder)
        env = dict(os.environ, NODE_PATH=node_modules(), FOLDER=FOLDER)
        out = json.loads(run(["node", "-e", self.NODE, str(self.port), folder, "work-" + client, JAPANESE,
                              UPLOADED, RENAMED, NEW_FOLDER, partial, str(os.path.getsize(partial))], env=env))
        self.assertEqual(out["inner"], [INNER])
        self.check_work(client, out["listed"], read(folder + "down.bin"), read(partial))

    # --- times ------------------------------------------------------------------------------

    def test_mdtm_is_utc_whatever_the_server_zone(self):
        ftp = ftplib.FTP(encoding="utf-8")
        ftp.connect("127.0.0.1", self.port, timeout=30)
        ftp.login("demo", "demo")
        self.assertEqual(ftp.sendcmd("MDTM " + PLAIN), "213 20210304050607")
        stamp = time.strftime("%Y%m%d%H%M%S", time.gmtime(int(os.stat(self.home + JAPANESE).st_mtime)))
        self.assertEqual(ftp.sendcmd("MDTM " + JAPANESE), "213 " + stamp)
        self.assertIn("modify=20210304050607;", ftp.sendcmd("MLST " + PLAIN))
        ftp.quit()


class MatrixUtc(Matrix, unittest.TestCase):
    ZONE = "UTC"


class MatrixTokyo(Matrix, unittest.TestCase):
    ZONE = "Asia/Tokyo"


if __name__ == "__main__":
    unittest.main()
