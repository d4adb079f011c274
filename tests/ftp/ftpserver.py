#!/usr/bin/python3
"""An anonymous, read-only FTP server for the download tests and the
benchmark, with the misbehaviours a real site shows now and then.

  ftpserver.py --root DIR --port-file FILE

It listens on 127.0.0.1 on a port the system picks and writes that port to
FILE once it accepts connections. It runs until SIGTERM or SIGINT and logs
to stderr.

How a file is sent depends on the first folder of its path, so one server
serves every case (the files lie in those folders below DIR):

  /pause/...     the first 64 KiB, then nothing more; the data connection
                 stays open until the client closes it (or the server stops)
  /resume/...    the first 64 KiB, a pause of 6 seconds, then the rest;
  /resume-N/...  the same with a pause of N seconds
  /drop/...      half the file, then the data connection closes as if the
                 server had died (no error on the connection: the client
                 sees the end of the data early)
  /slow/...      about 64 KiB per second
  anything else  the whole file at full speed

Requires Debian's python3-pyftpdlib (run with /usr/bin/python3).
"""

import argparse
import logging
import os
import signal
import socket
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

HOLD_AFTER = 64 * 1024  # bytes sent before a pause
SLOW_RATE = 64 * 1024  # bytes per second of /slow/
WATCH_INTERVAL = 0.2  # seconds between checks of a held connection


class Transfer:
    """A file sent whole at full speed."""

    def limit(self, dtp):
        """Bytes to send before on_limit; None for no limit."""
        return None

    def on_limit(self, dtp):
        pass

    def rate(self):
        """Bytes per second; 0 for no limit."""
        return 0


class PauseTransfer(Transfer):
    """64 KiB, then silence on an open connection."""

    def limit(self, dtp):
        return HOLD_AFTER

    def on_limit(self, dtp):
        dtp.hold()


class ResumeTransfer(Transfer):
    """64 KiB, a pause, then the rest."""

    def __init__(self, seconds):
        self.seconds = seconds

    def limit(self, dtp):
        return HOLD_AFTER

    def on_limit(self, dtp):
        dtp.hold()
        dtp.call_later(self.seconds, dtp.release)


class DropTransfer(Transfer):
    """Half the file, then the end of the data connection."""

    def limit(self, dtp):
        return dtp.file_size() // 2

    def on_limit(self, dtp):
        dtp.cut()


class SlowTransfer(Transfer):
    def rate(self):
        return SLOW_RATE


def transfer_for(ftp_path):
    """The way a file is sent, from the first folder of its FTP path."""
    first = ftp_path.lstrip("/").split("/", 1)[0]
    if first == "pause":
        return PauseTransfer()
    if first == "drop":
        return DropTransfer()
    if first == "slow":
        return SlowTransfer()
    if first == "resume":
        return ResumeTransfer(6)
    if first.startswith("resume-") and first[len("resume-"):].isdigit():
        return ResumeTransfer(int(first[len("resume-"):]))
    return Transfer()


class ModeDTPHandler(ThrottledDTPHandler):
    """The data connection, sending as the file's Transfer says."""

    # A held connection waits for the client however long it takes.
    timeout = 0

    def __init__(self, sock, cmd_channel):
        super().__init__(sock, cmd_channel)
        self._transfer = None
        self._limit = None
        self._held = False

    def _start(self):
        # The command channel chose the transfer when RETR arrived; in
        # active mode this connection existed before that.
        self._transfer = getattr(self.cmd_channel, "transfer", None) or Transfer()
        self._limit = self._transfer.limit(self)
        rate = self._transfer.rate()
        if rate:
            self.write_limit = rate
            # Small sends keep the rate even rather than bursty.
            self.ac_out_buffer_size = 8192

    def file_size(self):
        return os.fstat(self.file_obj.fileno()).st_size if self.file_obj else 0

    def send(self, data):
        if self._transfer is None:
            self._start()
        if self._held:
            return 0
        if self._limit is not None:
            room = self._limit - self.tot_bytes_sent
            if room <= 0:
                self._reach_limit()
                return 0
            data = data[:room]
        sent = super().send(data)
        if self._limit is not None and self.tot_bytes_sent >= self._limit:
            self._reach_limit()
        return sent

    def _reach_limit(self):
        # Nothing more goes out from here on. What the transfer does next
        # waits for the I/O loop: this runs inside a send, and the loop
        # still has its own bookkeeping to do for this connection.
        self._limit = None
        self._held = True
        self.call_later(0, self._transfer.on_limit, self)

    def hold(self):
        """Keeps the connection open without sending."""
        self.del_channel()
        self._watch()

    def release(self):
        """Sends the rest after a hold."""
        if self._closed or not self._held:
            return
        self._held = False
        self.add_channel(events=self.ioloop.WRITE)

    def _watch(self):
        # Out of the I/O loop a held connection would not notice the client
        # leaving: look for the end of its stream now and then.
        if self._closed or not self._held:
            return
        try:
            data = self.socket.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT)
        except BlockingIOError:
            data = None
        except OSError:
            data = b""
        if data == b"":
            logging.info("client closed a held data connection after %d bytes",
                         self.tot_bytes_sent)
            self.handle_close()
            return
        self.call_later(WATCH_INTERVAL, self._watch)

    def cut(self):
        """Closes the connection in the middle of the file.

        A close, not a reset: a reset that reaches the client before it
        accepted the connection (active mode) makes some clients fail to
        open the file at all, which is another case than a transfer that
        breaks off."""
        logging.info("closing the data connection after %d bytes", self.tot_bytes_sent)
        self._resp = ("426 Connection closed; transfer aborted.", logging.info)
        self.close()


class ModeFTPHandler(FTPHandler):
    dtp_handler = ModeDTPHandler

    def ftp_RETR(self, file):
        self.transfer = transfer_for(self.fs.fs2ftp(file))
        return super().ftp_RETR(file)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr, level=logging.INFO,
                        format="%(asctime)s ftpserver: %(message)s")
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(os.path.abspath(args.root), perm="elr")
    ModeFTPHandler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), ModeFTPHandler)

    def stop(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    # The port file appears whole, and only once the server listens.
    port = server.socket.getsockname()[1]
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, args.port_file)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
