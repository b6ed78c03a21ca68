#!/usr/bin/env python3
"""Runs a command beside a tiny HTTP server on 127.0.0.1, for the HTTP seam's
tests: the command finds the server in ZOBA_HTTP_TEST_URL and a port nobody
listens on in ZOBA_HTTP_CLOSED_PORT, and its exit status is ours.

Paths: GET /version answers 200 with JSON; POST /echo answers 200 with what
it was sent (method, Content-Type, Authorization, body); /fail answers
EPGStation's 500; /never accepts and never answers."""
import json
import socket
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _json(self, status, value):
        data = json.dumps(value).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        if self.path == "/version":
            self._json(200, {"version": "2.7.3"})
        elif self.path == "/fail":
            self._json(500, {"code": 500, "message": "Internal Server Error",
                             "errors": "ReservationManageModelAddReserveConflict"})
        elif self.path == "/never":
            time.sleep(20)  # long past any limit the tests set
        else:
            self._json(404, {"code": 404, "message": "not found"})

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", "replace")
        self._json(200, {"method": "POST", "path": self.path, "body": body,
                         "contentType": self.headers.get("Content-Type", ""),
                         "authorization": self.headers.get("Authorization", "")})


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    env = dict(__import__("os").environ)
    env["ZOBA_HTTP_TEST_URL"] = "http://127.0.0.1:%d" % server.server_address[1]
    env["ZOBA_HTTP_CLOSED_PORT"] = str(closed_port())
    status = subprocess.call(sys.argv[1:], env=env)
    server.shutdown()
    return status


if __name__ == "__main__":
    sys.exit(main())
