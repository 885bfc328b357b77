"""Lays out a velmoraFTPd site in a folder and runs the real quorsrv on it.

Used by the client tests (tests/clients/test_*.py), which drive the server with
real FTP clients (Python's ftplib, curl, ...).

    import ftpsite
    root, ftp_port, admin_port = ftpsite.make_site(tmp, users={"demo": {}})
    proc = ftpsite.start_server(root)
    try:
        ...  # connect to 127.0.0.1:ftp_port
    finally:
        ftpsite.stop_server(proc)

The quorsrv program is taken from the environment variable QUORSRV, else from
$TEST_BINARY_DIR/quorsrv. The site's program directory is handed to the server
through VELMORAFTPD_HOME.
"""

import errno
import hashlib
import os
import random
import socket
import subprocess
import time

CONFIG_NAME = "velmoraFTPd.ini"


def free_port():
    """A TCP port that was free a moment ago on 127.0.0.1 (and on :: where IPv6 is on).

    It is taken from 10000-19999: below the system's ephemeral ports, so that no client
    connection of a running test can hold it by the time the server binds it, and apart
    from the 20000-31999 of the C++ tests that may run beside these."""
    rng = random.SystemRandom()
    while True:
        port = rng.randrange(10000, 20000)
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
                s.bind(("127.0.0.1", port))
        except OSError:
            continue
        try:
            with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
                s.bind(("::", port))
        except OSError as error:
            if error.errno != errno.EAFNOSUPPORT:
                continue
        return port


def write_ini(path, sections):
    """Writes an INI file (CR LF line ends) from {section: {key: value}}."""
    lines = []
    for section, keys in sections.items():
        lines.append("[%s]" % section)
        for key, value in keys.items():
            lines.append("%s=%s" % (key, value))
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("utf-8"))


def read_ini(path):
    """Reads an INI file into {section: {key: value}} (sections and keys as written)."""
    sections = {}
    current = None
    with open(path, "rb") as f:
        text = f.read().decode("utf-8")
    for raw in text.splitlines():
        line = raw.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif "=" in line and current is not None:
            key, value = line.split("=", 1)
            current.setdefault(key.strip(), value.strip())
    return sections


def make_site(tmp, users=None, ini=None, groups=None):
    """Creates a site under the folder tmp.

    users:  {name: {key: value}} written to user/<name>.usr, section UserInfo.
            PassWord defaults to the name and HomeDir to the served folder home/.
    ini:    {section: {key: value}} merged into velmoraFTPd.ini (System Port and
            FtpdCoreListenPort are set to free ports unless given).
    groups: {name: {key: value}} written to user/<name>.grp, section UserInfo.

    Returns (root, ftp_port, admin_port); root ends with '/'.
    """
    root = os.path.join(os.path.abspath(tmp), "")
    os.makedirs(root + "user", exist_ok=True)
    os.makedirs(root + "home", exist_ok=True)

    sections = {"System": {}, "Log": {}, "UnKnownID": {}}
    for section, keys in (ini or {}).items():
        sections.setdefault(section, {}).update({k: str(v) for k, v in keys.items()})
    system = sections["System"]
    if "Port" not in system:
        system["Port"] = str(free_port())
    if "FtpdCoreListenPort" not in system:
        port = free_port()
        while str(port) == system["Port"]:
            port = free_port()
        system["FtpdCoreListenPort"] = str(port)
    write_ini(root + CONFIG_NAME, sections)

    for name, keys in (users or {}).items():
        values = {"PassWord": name, "HomeDir": root + "home/"}
        values.update({k: str(v) for k, v in keys.items()})
        write_ini(root + "user/" + name + ".usr", {"UserInfo": values})
    for name, keys in (groups or {}).items():
        write_ini(root + "user/" + name + ".grp",
                  {"UserInfo": {k: str(v) for k, v in keys.items()}})

    return root, int(system["Port"]), int(system["FtpdCoreListenPort"])


def site_ports(root):
    """(ftp_port, admin_port) read back from the site's configuration file."""
    system = read_ini(os.path.join(root, CONFIG_NAME)).get("System", {})
    return int(system.get("Port", "21")), int(system.get("FtpdCoreListenPort", "54253"))


def quorsrv_path():
    path = os.environ.get("QUORSRV")
    if not path:
        path = os.path.join(os.environ.get("TEST_BINARY_DIR", "."), "quorsrv")
    return path


def wait_port(port, timeout=10.0):
    """True once 127.0.0.1:port accepts a connection (the probe is closed at once)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def start_server(root, arguments=("-ns",), environment=None, timeout=10.0):
    """Starts quorsrv on the site and waits until its FTP port answers.

    Standard output and error go to <root>/quorsrv.out. Raises RuntimeError when the
    port does not answer within timeout seconds (the process is stopped first).
    """
    env = dict(os.environ)
    env["VELMORAFTPD_HOME"] = root
    env.update(environment or {})
    out = open(os.path.join(root, "quorsrv.out"), "ab")
    proc = subprocess.Popen([quorsrv_path(), *arguments], env=env, stdout=out,
                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, cwd=root)
    out.close()
    ftp_port, _ = site_ports(root)
    if not wait_port(ftp_port, timeout):
        stop_server(proc)
        raise RuntimeError("quorsrv did not listen on port %d" % ftp_port)
    return proc


def stop_server(proc, timeout=10.0):
    """SIGTERM, then SIGKILL after timeout seconds; returns the exit code."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    return proc.returncode


def pattern(size, seed):
    """Bytes that differ from position to position."""
    block = hashlib.sha256(str(seed).encode()).digest() * 2048  # 64 KiB
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(block[:64] + counter.to_bytes(4, "little")).digest() + block
        counter += 1
    return bytes(out[:size])


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree_digests(top):
    """{relative path: sha256} of every file below top."""
    found = {}
    for folder, _, files in os.walk(top):
        for name in files:
            full = os.path.join(folder, name)
            found[os.path.relpath(full, top)] = hashlib.sha256(read(full)).hexdigest()
    return found
