#!/usr/bin/python3
# Starts Linux programs for the test suite when it runs under Wine, which starts none itself:
# the FTP/FTPS servers (pyftpdlib), sshd, ssh-keygen, openssl ... on this side of 127.0.0.1.
# scripts/windows/test.sh runs it and hands its address to the tests as
# QADORA_LINUX_LAUNCHER=127.0.0.1:PORT:TOKEN (the client is tests/support/linuxprogram.cpp).
#
# One connection per program. The client sends one line of JSON:
#   {"token": ..., "program": ..., "args": [...], "cwd": ..., "stderr": FILE to append to}
# Paths with a drive letter ("C:\..."; in any argument that is one) become the Linux paths
# they are through the Wine prefix's drives. The answer is "P <pid>\n" or "F <reason>\n",
# then the program's output as "O <length>\n<bytes>" and at its end "X <exit code>\n"
# (-signal when killed). The program, with all it started, is killed when the client hangs up.
import json
import os
import re
import secrets
import signal
import socket
import subprocess
import sys
import threading

prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
token = os.environ.get("QADORA_LINUX_LAUNCHER_TOKEN") or secrets.token_hex(16)
drive_path = re.compile(r"^([A-Za-z]):[\\/]")


def linux_path(text):
    m = drive_path.match(text)
    if not m:
        return text
    drive = os.path.realpath(os.path.join(prefix, "dosdevices", m.group(1).lower() + ":"))
    rest = text[3:].replace("\\", "/")
    return os.path.join(drive, rest) if rest else drive


def serve(conn):
    with conn:
        # Read byte by byte: what follows the line is the hang-up watch's.
        line = b""
        while not line.endswith(b"\n"):
            byte = conn.recv(1)
            if not byte:
                return
            line += byte
        try:
            request = json.loads(line)
        except ValueError:
            return
        if request.get("token") != token:
            conn.sendall(b"F wrong token\n")
            return
        args = [linux_path(a) for a in [request["program"]] + request.get("args", [])]
        cwd = linux_path(request["cwd"]) if request.get("cwd") else None
        stderr = subprocess.DEVNULL
        try:
            if request.get("stderr"):
                stderr = open(linux_path(request["stderr"]), "ab")
            process = subprocess.Popen(args, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=stderr, start_new_session=True)
        except OSError as e:
            conn.sendall(("F %s\n" % e).encode())
            return
        finally:
            if stderr is not subprocess.DEVNULL:
                stderr.close()
        conn.sendall(b"P %d\n" % process.pid)
        lock = threading.Lock()
        ended = []

        def kill_session():
            # Never once the program is reaped: its number may be another's by then.
            with lock:
                if not ended:
                    try:
                        os.killpg(process.pid, signal.SIGKILL)
                    except OSError:
                        pass

        def watch_hangup():
            # The client never sends more: anything read, or the end, is the hang-up.
            try:
                conn.recv(1)
            except OSError:
                pass
            kill_session()

        threading.Thread(target=watch_hangup, daemon=True).start()
        try:
            while True:
                chunk = os.read(process.stdout.fileno(), 65536)
                if not chunk:
                    break
                conn.sendall(b"O %d\n" % len(chunk) + chunk)
        except OSError:
            pass
        # What the program started in its session goes with it.
        os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOWAIT)
        kill_session()
        with lock:
            ended.append(process.wait())
        try:
            conn.sendall(b"X %d\n" % ended[0])
            # Wakes the hang-up watch, and ends the connection even while it waits on it.
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def main():
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("127.0.0.1:%d:%s" % (listener.getsockname()[1], token), flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
