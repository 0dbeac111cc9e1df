#!/usr/bin/python3
# An FTP or FTPS server on 127.0.0.1 for the publishing tests (Debian's python3-pyftpdlib),
# friendly or hostile. Prints the port it listens on, then serves until killed.
# Hostile modes apply to pages only (uploads once the record is in place, temporary files outside
# the lock folder), so that the publish gets as far as sending them.
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True)
parser.add_argument("--user", required=True)
parser.add_argument("--password", required=True)
parser.add_argument("--cert", help="PEM certificate and key: FTP with explicit TLS, required")
parser.add_argument("--refuse-store", type=int, default=0,
                    help="answer this code (552: disk full, 451: local error) to every page upload")
parser.add_argument("--short-store", type=int, default=-1,
                    help="keep this many bytes of a longer page upload, then answer 552")
parser.add_argument("--silent", default="",
                    help="never answer this command (STOR, RNTO, SIZE) for a page; APPE: the first "
                         "append to the placed record, later ones answered")
parser.add_argument("--no-rename-over", action="store_true",
                    help="refuse to rename onto a name that is taken, as some servers do")
parser.add_argument("--answer", action="append", default=[],
                    help="COMMAND=REPLY: give this reply to RNTO, SIZE or DELE for a page instead of doing it")
parser.add_argument("--password-log",
                    help="append every password a client sends (PASS) to this file, one a line, as received")
args = parser.parse_args()

authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
base = TLS_FTPHandler if args.cert else FTPHandler
data_base = TLS_DTPHandler if args.cert else DTPHandler


answers = dict(a.split("=", 1) for a in args.answer)
# A publish puts its record in place before any page goes up: uploads until then are the record.
record_placed = False
record_appended = False


def is_ours(path):
    name = path.replace("\\", "/")
    return "/.qadora-lock/" in name or name.endswith("/.qadora-published")


def is_page(path):
    name = path.replace("\\", "/")
    return record_placed and "/.qadora-up-" in name and "/.qadora-lock/" not in name


class DataChannel(data_base):
    kept = 0

    # libcurl starts TLS on a data connection as soon as it is open, before it sends the
    # command; pyftpdlib would take the early bytes for a closed connection.
    def readable(self):
        if getattr(self, "_ssl_accepting", False):
            return True
        return super().readable()

    def handle_read(self):
        if args.short_store < 0 or not self.receive or not is_page(self.file_obj.name):
            return super().handle_read()
        chunk = self.recv(self.ac_in_buffer_size)
        room = args.short_store - self.kept
        if chunk and room > 0:
            self.file_obj.write(chunk[:room])
            self.kept += min(room, len(chunk))
        if chunk and len(chunk) > room:
            # Full: what arrived so far stays, and the client hears so.
            self._resp = ("552 Requested file action aborted: exceeded storage allocation (disk full).", logging.warning)
            self.close()
        elif not chunk:
            self.transfer_finished = True

    handle_read_event = handle_read


class Handler(base):
    def ftp_PASS(self, line):
        if args.password_log:
            with open(args.password_log, "a", encoding="utf-8", errors="surrogateescape") as log:
                log.write(repr(line) + "\n")
        return super().ftp_PASS(line)

    def ftp_STOR(self, file, mode="w"):
        global record_appended
        if (args.silent == "APPE" and mode == "a" and record_placed and not record_appended
                and file.replace("\\", "/").endswith("/.qadora-published")):
            record_appended = True
            return
        if is_page(file) and mode == "w":
            if args.silent == "STOR":
                return
            if args.refuse_store:
                self.respond("%d Requested action aborted: %s." % (
                    args.refuse_store, "exceeded storage allocation (disk full)" if args.refuse_store == 552
                    else "local error in processing"))
                return
        return super().ftp_STOR(file, mode)

    def ftp_RNTO(self, path):
        global record_placed
        refused = None
        if args.no_rename_over and os.path.lexists(path):
            refused = "550 Cannot create a file when that file already exists."
        if not is_ours(path):
            if args.silent == "RNTO":
                return
            refused = answers.get("RNTO", refused)
        if refused:
            self._rnfr = None
            self.respond(refused)
            return
        if path.replace("\\", "/").endswith("/.qadora-published"):
            record_placed = True
        return super().ftp_RNTO(path)

    def ftp_DELE(self, path):
        if "DELE" in answers and "/.qadora-up-" not in path and not is_ours(path):
            self.respond(answers["DELE"])
            return
        return super().ftp_DELE(path)

    def ftp_SIZE(self, path):
        if is_page(path):
            if args.silent == "SIZE":
                return
            if "SIZE" in answers:
                self.respond(answers["SIZE"])
                return
        return super().ftp_SIZE(path)


Handler.authorizer = authorizer
Handler.banner = "Qadora test server"
Handler.dtp_handler = DataChannel
if args.cert:
    Handler.certfile = args.cert
    Handler.tls_control_required = True
    Handler.tls_data_required = True
server = FTPServer(("127.0.0.1", 0), Handler)
print(server.address[1], flush=True)
sys.stdout.close()
server.serve_forever()
