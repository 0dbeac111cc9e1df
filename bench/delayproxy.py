#!/usr/bin/python3
# A TCP proxy on 127.0.0.1 that delays every byte by half the round trip in each direction,
# for measuring publishing over a slow link without touching the machine's network. With
# --ftp it also carries FTP data connections: the server's PASV and EPSV answers are rewritten
# to ports of the proxy, which are delayed the same way.
# Prints the port it listens on, then serves until killed.
import argparse
import asyncio
import re
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--target-port", type=int, required=True)
parser.add_argument("--rtt-ms", type=float, default=20.0)
parser.add_argument("--ftp", action="store_true")
args = parser.parse_args()
ONE_WAY = args.rtt_ms / 2000.0


async def pump(reader, writer, rewrite=None):
    """Copies reader to writer, each chunk delivered ONE_WAY seconds after it arrived."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                try:
                    writer.write_eof()
                except (OSError, RuntimeError):
                    pass
                return
            writer.write(data)
            try:
                await writer.drain()
            except OSError:
                return

    sender = asyncio.ensure_future(deliver())
    pending = b""
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if rewrite:
                # Whole lines only: an answer may arrive in pieces.
                pending += data
                lines, _, pending = pending.rpartition(b"\n")
                if not lines and not _:
                    continue
                data = b""
                for line in (lines + b"\n").split(b"\n")[:-1]:
                    data += await rewrite(line + b"\n")
            queue.put_nowait((loop.time() + ONE_WAY, data))
    except OSError:
        pass
    queue.put_nowait((loop.time() + ONE_WAY, None))
    await sender


async def splice(client_reader, client_writer, port, rewrite=None):
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", port)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(pump(client_reader, server_writer), pump(server_reader, client_writer, rewrite))
    for w in (client_writer, server_writer):
        try:
            w.close()
        except OSError:
            pass


async def data_port(port):
    """A one-connection proxy for an FTP data connection to `port`; its own port."""
    done = asyncio.Event()

    async def handle(reader, writer):
        server.close()
        await splice(reader, writer, port)
        done.set()

    server = await asyncio.start_server(handle, "127.0.0.1", 0)
    return server.sockets[0].getsockname()[1]


PASV = re.compile(rb"^227 .*\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)")
EPSV = re.compile(rb"^229 (.*)\(\|\|\|(\d+)\|\)")


async def ftp_rewrite(line):
    m = PASV.match(line)
    if m:
        port = await data_port(int(m.group(5)) * 256 + int(m.group(6)))
        return b"227 Entering Passive Mode (127,0,0,1,%d,%d).\r\n" % (port // 256, port % 256)
    m = EPSV.match(line)
    if m:
        port = await data_port(int(m.group(2)))
        return b"229 %s(|||%d|)\r\n" % (m.group(1), port)
    return line


async def main():
    async def handle(reader, writer):
        await splice(reader, writer, args.target_port, ftp_rewrite if args.ftp else None)

    server = await asyncio.start_server(handle, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    sys.stdout.close()
    async with server:
        await server.serve_forever()


asyncio.run(main())
