#!/usr/bin/env python3
"""Proxies on 127.0.0.1 that misbehave on purpose, for kestrovan-check's benchmarks.

Usage: hostile-proxies.py MODE:PORT ...   (runs until killed)
  endless   answers 200 and streams without end
  stall4m   answers 200 with 4 MiB - 16 bytes of body, then sends nothing more
  bigpage   answers a page of about 3.7 MiB with the lookup result deep inside
CONNECT gets the same treatment as any request. Listens on loopback only; every connection ends
when the client closes it.
"""
import asyncio
import sys

CHUNK = b"x" * 65536
FOUR_MIB_LESS_16 = 4 * 1024 * 1024 - 16
BIG_PAGE = ("<html><body><p>" + "填充文字 " * 300_000 + "</p><p>本站主数据：北京 参考数据一：x</p></body></html>").encode()


async def read_head(reader):
    head = b""
    while b"\r\n\r\n" not in head and len(head) < 65536:
        data = await reader.read(4096)
        if not data:
            return None
        head += data
    return head


async def serve(mode, reader, writer):
    try:
        if await read_head(reader) is None:
            return
        if mode == "bigpage":
            writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                         + str(len(BIG_PAGE)).encode() + b"\r\nConnection: close\r\n\r\n" + BIG_PAGE)
            await writer.drain()
        else:
            writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n")
            sent = 0
            while mode == "endless" or sent < FOUR_MIB_LESS_16:
                piece = CHUNK if mode == "endless" else CHUNK[: min(len(CHUNK), FOUR_MIB_LESS_16 - sent)]
                writer.write(piece)
                sent += len(piece)
                await writer.drain()
        await reader.read()  # until the client closes
    except (ConnectionError, OSError):
        pass
    finally:
        writer.close()


async def main(arguments):
    servers = []
    for argument in arguments:
        mode, port = argument.split(":")
        if mode not in ("endless", "stall4m", "bigpage"):
            raise SystemExit(f"unknown mode {mode}")
        servers.append(await asyncio.start_server(lambda r, w, m=mode: serve(m, r, w), "127.0.0.1", int(port),
                                                  backlog=4096))
    await asyncio.gather(*(server.serve_forever() for server in servers))


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1:]))
