"""An FTP server for the notice upload test: pyftpdlib with one user whose home is
<folder>/home, passive ports from the system.

usage: ftp_server.py PORT FOLDER USER PASSWORD
"""
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

port, folder, user, password = sys.argv[1:5]
home = os.path.join(folder, "home")
os.makedirs(home, exist_ok=True)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmw")
handler = FTPHandler
handler.authorizer = authorizer
server = FTPServer(("127.0.0.1", int(port)), handler)
open(os.path.join(folder, "ready"), "w").close()
server.serve_forever(timeout=1, blocking=True)
