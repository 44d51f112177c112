#!/usr/bin/env python3
"""Serves one file on 127.0.0.1 with byte ranges, for the Windows download check.

Usage: range_file_server.py FILE PORTFILE [--drop-at OFFSET --drop-after BYTES]
Writes the chosen port to PORTFILE once listening. The first GET whose range
starts at OFFSET is cut after BYTES of its body (the connection is closed).
Stops after 300 seconds at the latest.
"""
import argparse
import http.server
import os
import re
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("portfile")
    parser.add_argument("--drop-at", type=int, default=-1)
    parser.add_argument("--drop-after", type=int, default=0)
    args = parser.parse_args()
    size = os.path.getsize(args.file)
    state = {"dropped": False}
    lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, fmt, *a):
            print("server: " + (fmt % a), flush=True)

        def do_HEAD(self):
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.send_header("Accept-Ranges", "bytes")
            self.send_header("Connection", "close")
            self.end_headers()

        def do_GET(self):
            first, last = 0, size - 1
            match = re.match(r"bytes=(\d+)-(\d*)", self.headers.get("Range", ""))
            if match:
                first = int(match.group(1))
                if match.group(2):
                    last = min(int(match.group(2)), size - 1)
                self.send_response(206)
                self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
            else:
                self.send_response(200)
            self.send_header("Content-Length", str(last - first + 1))
            self.send_header("Connection", "close")
            self.end_headers()
            limit = last + 1
            with lock:
                if match and first == args.drop_at and not state["dropped"]:
                    state["dropped"] = True
                    limit = min(limit, first + args.drop_after)
            with open(args.file, "rb") as f:
                f.seek(first)
                at = first
                while at < limit:
                    chunk = f.read(min(65536, limit - at))
                    if not chunk:
                        break
                    try:
                        self.wfile.write(chunk)
                    except OSError:
                        return
                    at += len(chunk)
            self.close_connection = True

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(args.portfile + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(args.portfile + ".tmp", args.portfile)
    threading.Timer(300, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
