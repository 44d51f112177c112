#!/usr/bin/env python3
"""A small HTTP proxy for the tests, on 127.0.0.1 only.

CONNECT tunnels (https) and plain forwarding of absolute-form requests (http).
Every request is recorded before it is answered. It can refuse (close at once),
stall (read the request, never answer), or ask for authentication (407), and
it resolves host names that only it knows (--map), as an office proxy does, so
that the direct route to those names fails. It connects to loopback addresses
only: names it cannot map or that resolve elsewhere get 502.

usage: test_proxy.py [--port N] [--port-file FILE] [--log FILE]
                     [--mode forward|refuse|stall|auth] [--auth-user USER:PASS]
                     [--map PATTERN=ADDRESS[:PORT]]... [--max-lifetime S]
                     [--exit-on-stdin-eof]

Log lines (JSON): {"seq":1,"time_ms":...,"method":"CONNECT","host":"a.corp.test",
"port":443,"path":"","action":"tunnel","status":200}; action is one of tunnel,
forward, refused, stalled, auth-required, unreachable, bad-request.
"""
import argparse
import asyncio
import base64
import fnmatch
import ipaddress
import json
import os
import signal
import socket
import sys
import threading
import time

HEADER_LIMIT = 64 * 1024


class Proxy:
    def __init__(self, args):
        self.args = args
        self.seq = 0
        self.log_lock = threading.Lock()
        self.maps = []
        for item in args.map:
            pattern, _, target = item.partition("=")
            address, _, port = target.partition(":")
            self.maps.append((pattern.lower(), address, int(port) if port else None))

    def record(self, **fields):
        with self.log_lock:
            self.seq += 1
            line = {"seq": self.seq, "time_ms": int(time.time() * 1000)}
            line.update(fields)
            if self.args.log:
                with open(self.args.log, "a", encoding="utf-8") as f:
                    f.write(json.dumps(line) + "\n")
                    f.flush()

    def resolve(self, host, port):
        """(address, port) to connect to, or None when not allowed/unknown."""
        for pattern, address, mapped_port in self.maps:
            if fnmatch.fnmatchcase(host.lower(), pattern):
                loopback = ipaddress.ip_address(address).is_loopback
                return (address, mapped_port or port) if loopback else None
        try:
            address = socket.getaddrinfo(host, port, proto=socket.IPPROTO_TCP)[0][4][0]
        except OSError:
            return None
        return (address, port) if ipaddress.ip_address(address).is_loopback else None

    def authorized(self, headers):
        if self.args.mode != "auth":
            return True
        if not self.args.auth_user:
            return False
        expected = "basic " + base64.b64encode(self.args.auth_user.encode()).decode()
        return headers.get("proxy-authorization", "").strip().lower() == expected.lower()

    async def handle(self, reader, writer):
        try:
            await self.serve(reader, writer)
        except (ConnectionError, asyncio.IncompleteReadError, asyncio.LimitOverrunError, OSError):
            pass
        finally:
            writer.close()

    async def serve(self, reader, writer):
        if self.args.mode == "refuse":
            self.record(method="", host="", port=0, path="", action="refused", status=0)
            return
        head = await reader.readuntil(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        parts = lines[0].split(" ")
        headers = {}
        for line in lines[1:]:
            if ":" in line:
                name, _, value = line.partition(":")
                headers[name.strip().lower()] = value.strip()
        if len(parts) != 3:
            self.record(method="", host="", port=0, path="", action="bad-request", status=400)
            await self.answer(writer, 400, "Bad Request")
            return
        method, target, version = parts
        if method == "CONNECT":
            host, _, port = target.rpartition(":")
            host, port, path = host.strip("[]"), int(port or 443), ""
        else:
            if not target.startswith("http://"):
                self.record(method=method, host="", port=0, path=target, action="bad-request", status=400)
                await self.answer(writer, 400, "Bad Request")
                return
            rest = target[len("http://"):]
            authority, slash, path = rest.partition("/")
            path = slash + path if slash else "/"
            host, colon, port = authority.rpartition(":")
            if not colon or not port.isdigit():
                host, port = authority, "80"
            host, port = host.strip("[]"), int(port)
        base = dict(method=method, host=host, port=port, path=path)

        if self.args.mode == "stall":
            self.record(action="stalled", status=0, **base)
            await reader.read()  # until the client gives up
            return
        if not self.authorized(headers):
            self.record(action="auth-required", status=407, **base)
            await self.answer(writer, 407, "Proxy Authentication Required",
                              'Proxy-Authenticate: Basic realm="test proxy"\r\n')
            return
        destination = self.resolve(host, port)
        upstream = None
        if destination:
            try:
                upstream = await asyncio.wait_for(asyncio.open_connection(*destination), 5)
            except (OSError, asyncio.TimeoutError):
                upstream = None
        if upstream is None:
            self.record(action="unreachable", status=502, **base)
            await self.answer(writer, 502, "Bad Gateway")
            return
        up_reader, up_writer = upstream
        if method == "CONNECT":
            self.record(action="tunnel", status=200, **base)
            writer.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            await writer.drain()
            await self.pipe_both(reader, writer, up_reader, up_writer)
            return
        self.record(action="forward", status=0, **base)
        # One request per connection: the upstream is asked to close, and so
        # is the client, so no request can slip past the record.
        out = [f"{method} {path} {version}"]
        for line in lines[1:]:
            name = line.partition(":")[0].strip().lower()
            if line and name not in ("connection", "proxy-connection", "proxy-authorization", "keep-alive"):
                out.append(line)
        out.append("Connection: close")
        up_writer.write(("\r\n".join(out) + "\r\n\r\n").encode("latin-1"))
        await up_writer.drain()
        upload = asyncio.ensure_future(self.pipe(reader, up_writer))
        try:
            response_head = await up_reader.readuntil(b"\r\n\r\n")
            kept = [l for l in response_head.decode("latin-1").split("\r\n")
                    if l and l.partition(":")[0].strip().lower() not in ("connection", "keep-alive")]
            writer.write(("\r\n".join(kept) + "\r\nConnection: close\r\n\r\n").encode("latin-1"))
            await self.pipe(up_reader, writer)
        finally:
            upload.cancel()
            up_writer.close()

    @staticmethod
    async def answer(writer, status, reason, extra=""):
        body = f"{status} {reason}\n".encode()
        writer.write(f"HTTP/1.1 {status} {reason}\r\n{extra}Content-Length: {len(body)}\r\n"
                     f"Connection: close\r\n\r\n".encode() + body)
        await writer.drain()

    @staticmethod
    async def pipe(reader, writer):
        try:
            while True:
                data = await reader.read(65536)
                if not data:
                    break
                writer.write(data)
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            try:
                writer.write_eof()
            except (OSError, RuntimeError, AttributeError):
                pass

    async def pipe_both(self, reader, writer, up_reader, up_writer):
        await asyncio.gather(self.pipe(reader, up_writer), self.pipe(up_reader, writer))
        up_writer.close()


async def main_async(args):
    proxy = Proxy(args)
    server = await asyncio.start_server(proxy.handle, "127.0.0.1", args.port, limit=HEADER_LIMIT)
    port = server.sockets[0].getsockname()[1]
    info = json.dumps({"pid": os.getpid(), "port": port, "url": f"http://127.0.0.1:{port}"})
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(info + "\n")
        os.replace(args.port_file + ".tmp", args.port_file)
    print(info, flush=True)

    loop = asyncio.get_running_loop()
    stop = loop.create_future()
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        loop.add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))
    if args.exit_on_stdin_eof:
        def wait_stdin():
            sys.stdin.buffer.read()
            loop.call_soon_threadsafe(lambda: stop.done() or stop.set_result(None))
        threading.Thread(target=wait_stdin, daemon=True).start()
    parent = os.getppid()

    async def watch_parent():
        while os.getppid() == parent:
            await asyncio.sleep(0.2)
        stop.done() or stop.set_result(None)

    watcher = asyncio.ensure_future(watch_parent())
    try:
        await asyncio.wait_for(asyncio.shield(stop), args.max_lifetime)
    except asyncio.TimeoutError:
        pass
    watcher.cancel()
    server.close()


def main():
    p = argparse.ArgumentParser(description="HTTP proxy for tests (127.0.0.1 only)")
    p.add_argument("--port", type=int, default=0, help="listening port (default: any)")
    p.add_argument("--port-file", help="write {pid,port,url} as JSON here once listening")
    p.add_argument("--log", help="append one JSON line per request")
    p.add_argument("--mode", choices=["forward", "refuse", "stall", "auth"], default="forward")
    p.add_argument("--auth-user", help="USER:PASS accepted in auth mode (default: none is)")
    p.add_argument("--map", action="append", default=[],
                   help="PATTERN=ADDRESS[:PORT]: host names (glob) only this proxy resolves")
    p.add_argument("--max-lifetime", type=float, default=900)
    p.add_argument("--exit-on-stdin-eof", action="store_true")
    args = p.parse_args()
    for item in args.map:
        if "=" not in item:
            p.error(f"--map needs PATTERN=ADDRESS[:PORT]: {item}")
    try:
        asyncio.run(main_async(args))
    except OSError as e:
        print(f"test_proxy: {e}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
