#!/usr/bin/env python3
"""Local HTTP and HTTPS servers for the network tests of the Windows build.

Usage: wine_test_server.py CERT_DIR READY_FILE
Listens on ephemeral ports of 127.0.0.1: one plain HTTP server and three
HTTPS servers (named localhost) (certificate chaining to CERT_DIR/ca.pem, one for another host
name, one from an unknown CA). Writes their URLs as shell assignments to
READY_FILE, then serves until terminated.
"""
import http.server
import json
import os
import ssl
import sys
import threading

DIRECTORY_PATH = "/api/multi_platform_manage_bff/v1/disaster/backup_domain/list"
PACKAGE_PATH = "/official/pc/client_channel/QVInstaller.exe"
BLOCK = b"q" * 65536
URLS = {}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path == "/hello":
            self.reply(200, b"hello")
        elif path == "/headers":
            # The X- header lines as received, in their order.
            lines = ["%s: %s" % (k, v) for k, v in self.headers.items() if k.startswith("X-")]
            self.reply(200, "\n".join(lines).encode())
        elif path == "/missing":
            self.reply(404, b"no such page")
        elif path == DIRECTORY_PATH:
            answer = {
                "domain_list": [
                    {"domain_key": "API_DOMAIN", "main_url": "https://api.invalid"},
                    {
                        "domain_key": "OSS_DOMAIN",
                        "main_url": URLS["HTTP"],
                        "backup_urls": [URLS["HTTPS"], 5, "query:" + self.path.split("?", 1)[-1],
                                        "build:" + self.headers.get("Client-Build-Version", "-"),
                                        "agent:" + self.headers.get("User-Agent", "-")],
                    },
                ]
            }
            self.reply(200, json.dumps(answer).encode(), "application/json")
        elif path == PACKAGE_PATH:
            total = 4 * 1024 * 1024
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(total))
            self.end_headers()
            try:
                sent = 0
                while sent < total:
                    self.wfile.write(BLOCK)
                    sent += len(BLOCK)
            except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
                self.close_connection = True
        else:
            self.reply(404, b"unknown")

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        if self.path == "/echo":
            text = "%s|%s|%s" % (self.headers.get("Content-Type", ""), self.headers.get("User-Agent", ""),
                                 body.decode("utf-8", "replace"))
            self.reply(200, text.encode())
        else:
            self.reply(404, b"unknown")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # probes end their transfers early on purpose


def serve(tls_name, cert_dir):
    server = Server(("127.0.0.1", 0), Handler)
    scheme = "http"
    if tls_name:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(cert_dir, tls_name + ".pem"), os.path.join(cert_dir, tls_name + ".key"))
        server.socket = context.wrap_socket(server.socket, server_side=True)
        scheme = "https"
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # libcurl on Schannel matches DNS names only, never an IP address.
    host = "localhost" if tls_name else "127.0.0.1"
    return "%s://%s:%d" % (scheme, host, server.server_address[1])


def main():
    cert_dir, ready_file = sys.argv[1], sys.argv[2]
    URLS["HTTP"] = serve(None, cert_dir)
    URLS["HTTPS"] = serve("server", cert_dir)
    URLS["HTTPS_WRONGHOST"] = serve("wronghost", cert_dir)
    URLS["HTTPS_UNTRUSTED"] = serve("untrusted", cert_dir)
    with open(ready_file + ".part", "w") as out:
        for name, url in URLS.items():
            out.write("QV_TEST_%s_URL=%s\n" % (name, url))
    os.rename(ready_file + ".part", ready_file)
    threading.Event().wait()


if __name__ == "__main__":
    main()
