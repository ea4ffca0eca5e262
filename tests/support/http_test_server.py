#!/usr/bin/env python3
"""Loopback HTTP(S) peer for the tests: standard library only.

Prints one line with its ports, then serves until killed:
  http=N      plain HTTP with the routes below
  https=N     the same routes over TLS with a fresh self-signed certificate
              (only with --tls; needs the openssl program)
  stall=N     accepts connections and never answers
  noaccept=N  a listener whose accept queue is full, so connects time out

Routes: /playlist.m3u8 (200, two entries), /empty (200, no body),
/redirect (301 to /playlist.m3u8), /missing (404 with a body), /nocontent (204),
/headers (200, the request headers as text), /files/NAME (NAME from --root).
"""
import argparse
import http.server
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import threading

PLAYLIST = (b"#EXTM3U\n"
            b"#EXTINF:-1 tvg-logo=\"a.png\",News 24\nhttp://127.0.0.1:9/news\n"
            b"#EXTINF:-1,Music\nhttp://127.0.0.1:9/music\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = None

    def log_message(self, *args):
        pass

    def reply(self, code, body=b"", headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        if code != 204:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body and self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path == "/playlist.m3u8":
            self.reply(200, PLAYLIST)
        elif path == "/empty":
            self.reply(200)
        elif path == "/redirect":
            self.reply(301, b"moved\n", [("Location", "/playlist.m3u8")])
        elif path == "/missing":
            self.reply(404, b"<html>not here</html>\n")
        elif path == "/nocontent":
            self.reply(204)
        elif path == "/headers":
            self.reply(200, str(self.headers).encode())
        elif path.startswith("/files/") and self.root:
            name = os.path.basename(path[len("/files/"):])
            try:
                with open(os.path.join(self.root, name), "rb") as f:
                    self.reply(200, f.read())
            except OSError:
                self.reply(404, b"no such file\n")
        else:
            self.reply(404, b"unknown route\n")


def serve_forever(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def self_signed_context(workdir):
    cert = os.path.join(workdir, "cert.pem")
    key = os.path.join(workdir, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def stall_listener():
    """Accepts and holds every connection without a byte in reply."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    held = []

    def accept_loop():
        while True:
            conn, _ = listener.accept()
            held.append(conn)

    threading.Thread(target=accept_loop, daemon=True).start()
    return listener


def full_queue_listener():
    """Never accepts; its one-slot queue is filled so later SYNs go unanswered."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(4):
        filler = socket.socket()
        filler.setblocking(False)
        try:
            filler.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        fillers.append(filler)
    return listener, fillers


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", help="directory served under /files/")
    parser.add_argument("--tls", action="store_true", help="also serve HTTPS")
    args = parser.parse_args()
    Handler.root = args.root

    http_server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    http_server.daemon_threads = True
    serve_forever(http_server)
    ports = {"http": http_server.server_address[1]}

    workdir = tempfile.TemporaryDirectory()
    if args.tls:
        https_server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        https_server.daemon_threads = True
        https_server.socket = self_signed_context(workdir.name).wrap_socket(
            https_server.socket, server_side=True)
        serve_forever(https_server)
        ports["https"] = https_server.server_address[1]

    stall = stall_listener()
    ports["stall"] = stall.getsockname()[1]
    noaccept, _fillers = full_queue_listener()
    ports["noaccept"] = noaccept.getsockname()[1]

    print(" ".join(f"{name}={port}" for name, port in ports.items()), flush=True)
    # Serve until the test kills us or closes our stdin.
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
