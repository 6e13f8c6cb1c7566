"""The demo exam server of the networked examination, on 127.0.0.1 only.

One process serves two things on free ports (or the ports given):
  - HTTP: the exam pages of WWW, and /config.js, which tells the pages where
    the FTP server is:
        var bqExamServer = {ftpHost: "127.0.0.1", ftpPort: "PORT",
                            questions: "exam", answers: "answer"};
  - FTP (pyftpdlib): FTP_ROOT to anonymous users, read-only, except the
    answers folder FTP_ROOT/answer, where the examinee's files are uploaded
    (created when missing).
Once both listen, "HTTP_PORT FTP_PORT" goes to PORT_FILE (written beside and
renamed). The process ends on SIGTERM or SIGINT, and by itself after LIFETIME
seconds.

Run it with the Python that has pyftpdlib (Debian's python3-pyftpdlib is
installed for /usr/bin/python3).
"""
import argparse
import functools
import http.server
import logging
import os
import signal
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

QUESTIONS = "exam"
ANSWERS = "answer"


class PageHandler(http.server.SimpleHTTPRequestHandler):
    config = b""

    def do_GET(self):
        if self.path.split("?")[0] == "/config.js":
            self.send_response(200)
            self.send_header("Content-Type", "application/javascript")
            self.send_header("Content-Length", str(len(self.config)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            self.wfile.write(self.config)
            return
        super().do_GET()

    def log_message(self, format, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--www", required=True)
    parser.add_argument("--ftp-root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--http-port", type=int, default=0)
    parser.add_argument("--ftp-port", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=3600)
    args = parser.parse_args()
    logging.basicConfig(level=logging.WARNING)

    ftp_root = os.path.abspath(args.ftp_root)
    answers = os.path.join(ftp_root, ANSWERS)
    os.makedirs(answers, exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(ftp_root, perm="elr")
    authorizer.override_perm("anonymous", answers, perm="elradfmwMT", recursive=True)
    handler = type("Handler", (FTPHandler,), {})
    handler.authorizer = authorizer
    handler.banner = "Brightquill demo exam server ready."
    ioloop = IOLoop()
    ftp = FTPServer(("127.0.0.1", args.ftp_port), handler, ioloop=ioloop)
    ftp_port = ftp.address[1]

    pages = type("Pages", (PageHandler,), {})
    pages.config = (
        'var bqExamServer = {ftpHost: "127.0.0.1", ftpPort: "%d", '
        'questions: "%s", answers: "%s"};\n' % (ftp_port, QUESTIONS, ANSWERS)
    ).encode("ascii")
    web = http.server.ThreadingHTTPServer(
        ("127.0.0.1", args.http_port),
        functools.partial(pages, directory=os.path.abspath(args.www)))
    web.daemon_threads = True
    threading.Thread(target=web.serve_forever, daemon=True).start()

    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d %d\n" % (web.server_address[1], ftp_port))
    os.replace(tmp, args.port_file)

    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: os._exit(0))
    ioloop.call_later(args.lifetime, ioloop.close)
    try:
        ioloop.loop(blocking=True)
    except (KeyboardInterrupt, OSError, ValueError):
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
