"""A stand-in EPGStation for the Wine suite: a small http.server on
127.0.0.1 that answers from a table of canned bodies (the shapes of
EPGStation 2.7.3's API) and records every request it receives.

    with StandIn(answers) as server:
        ... server.url, server.port ...
    server.received  # [Received(method, path, headers, body), ...]

answers maps "METHOD /path?query" (exactly as the client sends it) to
(status, body); anything else is answered 404 {"code":404}.
"""

import collections
import http.server
import json
import socket
import threading

Received = collections.namedtuple("Received", "method path headers body")

# Longest a request body may be before the stand-in refuses to read it.
BODY_LIMIT = 1 << 20
# Seconds the stand-in waits on one connection's bytes.
CONNECTION_LIMIT = 10


def epgstation_answers(programme_id, channel_id, start_ms, end_ms, name, reserve_id=7):
    """EPGStation's answers for a zoba run that books one programme: its
    version, two terrestrial channels, the programme's detail, no
    reservations, and the booking's number."""
    channels = [
        {"id": channel_id, "serviceId": channel_id % 100000, "networkId": channel_id // 100000,
         "name": "NHK", "channelType": "GR"},
        {"id": 3273601056, "serviceId": 1056, "networkId": 32736, "name": "Fuji",
         "channelType": "GR"},
    ]
    detail = {"id": programme_id, "channelId": channel_id, "startAt": start_ms,
              "endAt": end_ms, "name": name, "isFree": True}
    return {
        "GET /api/version": (200, {"version": "2.7.3"}),
        "GET /api/channels": (200, channels),
        "GET /api/schedules/detail/%d?isHalfWidth=true" % programme_id: (200, detail),
        "GET /api/reserves?type=all&isHalfWidth=true&offset=0&limit=500":
            (200, {"reserves": [], "total": 0}),
        "POST /api/reserves": (201, {"reserveId": reserve_id}),
    }


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = CONNECTION_LIMIT

    def _answer(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(min(length, BODY_LIMIT)) if length > 0 else b""
        self.server.standin.received.append(
            Received(self.command, self.path, dict(self.headers.items()), body))
        status, answer = self.server.standin.answers.get(
            self.command + " " + self.path, (404, {"code": 404}))
        data = answer if isinstance(answer, bytes) else json.dumps(answer).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    do_GET = do_POST = do_PUT = do_DELETE = _answer

    def log_message(self, format, *args):  # quiet: the suite prints what it checks
        pass


class StandIn:
    def __init__(self, answers):
        self.answers = answers
        self.received = []
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _Handler)
        self._server.daemon_threads = True
        self._server.standin = self
        self.port = self._server.server_address[1]
        self.url = "http://127.0.0.1:%d" % self.port
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.1}, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(timeout=CONNECTION_LIMIT)
        return False


def free_port():
    """A port on 127.0.0.1 that nothing listens on (it was free a moment ago)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
