"""pyftpdlib as a benchmark peer: serves ROOT on 127.0.0.1:PORT to the user bench/bench.

    /usr/bin/python3 bench/pyftpdlib_peer.py PORT ROOT

No connection limit, warnings only in the log (a line per command would measure the
logging, not the server).
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    port, root = int(sys.argv[1]), sys.argv[2]
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user("bench", "bench", root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 0
    server.max_cons_per_ip = 0
    server.serve_forever()


if __name__ == "__main__":
    main()
