"""FTP servers on 127.0.0.1 for the transfer tests (pyftpdlib).

Two servers on free ports, sharing one folder: anonymous login with every
write permission. The first is an ordinary server; the second refuses
passive mode (EPSV and PASV answer 502), so that clients must fall back to
active mode. Once both listen, their ports go to PORT_FILE as
"NORMAL NO_PASSIVE". The process ends by itself after LIFETIME seconds.
"""
import argparse
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer


class NoPassiveHandler(FTPHandler):
    def ftp_PASV(self, line):
        self.respond("502 Passive mode refused.")

    def ftp_EPSV(self, line):
        self.respond("502 Passive mode refused.")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--lifetime", type=float, default=1800)
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root, perm="elradfmwMT")

    ioloop = IOLoop()
    servers = []
    for handler_class in (FTPHandler, NoPassiveHandler):
        handler = type("Handler", (handler_class,), {})
        handler.authorizer = authorizer
        handler.banner = "bq test server ready."
        handler.use_sendfile = True
        servers.append(FTPServer(("127.0.0.1", 0), handler, ioloop=ioloop))
    ports = [s.address[1] for s in servers]

    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d %d\n" % tuple(ports))
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
