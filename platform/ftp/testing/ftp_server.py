"""FTP servers on 127.0.0.1 for the transfer tests (pyftpdlib).

Servers on free ports, sharing one folder: anonymous login with every write
permission. --kinds names them, in order (default "normal,nopassive"):

  normal     an ordinary server;
  nopassive  one that refuses passive mode (EPSV and PASV answer 502), so
             that clients must fall back to active mode;
  trickle    one that sends every file at about 100 bytes a second and does
             not tell a file's size beforehand (SIZE answers 502), as a
             server that never ends a transfer.

Once all listen, their ports go to PORT_FILE, in the order of --kinds,
separated by blanks ("NORMAL NO_PASSIVE" by default). The process ends by
itself after LIFETIME seconds.

All servers of one process share one event loop: a test that aborts
transfers or moves large files should have a process of its own
(testing/test_servers.h OwnServer), so that it cannot hold up the others.
"""
import argparse
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, FTPHandler, ThrottledDTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer


class HandingOverActiveDTP(ActiveDTP):
    """pyftpdlib 1.5's active-mode connector keeps the number of the socket it
    hands to the data channel, and when it is closed later (at the next PORT
    or EPRT, or at the end of the session) it takes that number out of the
    event loop. By then the data channel has closed the socket, and the number
    may belong to another client's new connection, which is then never served
    again: that client waits for an answer until its time-out. Once the
    socket is handed over, the connector forgets its number."""

    def handle_connect(self):
        super().handle_connect()
        if not self._closed:  # handed over, not given up
            self._fileno = None


class Handler(FTPHandler):
    active_dtp = HandingOverActiveDTP


class NoPassiveHandler(Handler):
    def ftp_PASV(self, line):
        self.respond("502 Passive mode refused.")

    def ftp_EPSV(self, line):
        self.respond("502 Passive mode refused.")


class TrickleDTPHandler(ThrottledDTPHandler):
    write_limit = 100
    read_limit = 100


class TrickleHandler(Handler):
    dtp_handler = TrickleDTPHandler

    def ftp_SIZE(self, path):
        self.respond("502 SIZE not told.")


HANDLERS = {
    "normal": Handler,
    "nopassive": NoPassiveHandler,
    "trickle": TrickleHandler,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--lifetime", type=float, default=1800)
    parser.add_argument("--kinds", default="normal,nopassive")
    args = parser.parse_args()
    kinds = args.kinds.split(",")
    for kind in kinds:
        if kind not in HANDLERS:
            parser.error("unknown server kind %r" % kind)

    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root, perm="elradfmwMT")

    ioloop = IOLoop()
    servers = []
    for kind in kinds:
        handler = type("Handler", (HANDLERS[kind],), {})
        handler.authorizer = authorizer
        handler.banner = "bq test server ready."
        handler.use_sendfile = kind != "trickle"
        servers.append(FTPServer(("127.0.0.1", 0), handler, ioloop=ioloop))
    ports = [s.address[1] for s in servers]

    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(" ".join("%d" % p for p in ports) + "\n")
    os.replace(tmp, args.port_file)

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    ioloop.call_later(args.lifetime, ioloop.close)
    try:
        ioloop.loop(blocking=True)
    except (KeyboardInterrupt, OSError, ValueError):
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
