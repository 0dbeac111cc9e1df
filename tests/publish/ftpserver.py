#!/usr/bin/python3
# An FTP or FTPS server on 127.0.0.1 for the publishing tests (Debian's python3-pyftpdlib).
# Prints the port it listens on, then serves until killed.
import argparse
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True)
parser.add_argument("--user", required=True)
parser.add_argument("--password", required=True)
parser.add_argument("--cert", help="PEM certificate and key: FTP with explicit TLS, required")
parser.add_argument("--full-after", type=int, default=-1,
                    help="refuse every upload after this many, as a full disk does")
args = parser.parse_args()

authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
base = TLS_FTPHandler if args.cert else FTPHandler


class Handler(base):
    stored = 0

    def ftp_STOR(self, file, mode="w"):
        if 0 <= args.full_after <= Handler.stored:
            self.respond("552 Requested file action aborted: exceeded storage allocation (disk full).")
            return
        Handler.stored += 1
        return super().ftp_STOR(file, mode)


class DataChannel(TLS_DTPHandler):
    # libcurl starts TLS on a data connection as soon as it is open, before it sends the
    # command; pyftpdlib would take the early bytes for a closed connection.
    def readable(self):
        if getattr(self, "_ssl_accepting", False):
            return True
        return super().readable()


Handler.authorizer = authorizer
Handler.banner = "Qadora test server"
if args.cert:
    Handler.certfile = args.cert
    Handler.tls_control_required = True
    Handler.tls_data_required = True
    Handler.dtp_handler = DataChannel
server = FTPServer(("127.0.0.1", 0), Handler)
print(server.address[1], flush=True)
sys.stdout.close()
server.serve_forever()
