#!/usr/bin/env python3
"""A stand-in for mirakc (3.x) on 127.0.0.1, answering what zoba asks of it
as mirakc's published Web API does (its web-api.md, models.rs, schedules.rs
and error.rs): the version in Mirakurun's form, the services, one
programme, and the recording schedules (the list, and a booking).

mirakc's shapes:
  GET  /api/version                {"current": V, "latest": V} (latest = current)
  GET  /api/services               [MirakurunService]: id (networkId x 100000 +
                                   serviceId), serviceId, networkId, name,
                                   type, channel {type, channel}, ...
  GET  /api/programs/{id}          MirakurunProgram: id (networkId x 10^10 +
                                   serviceId x 10^5 + eventId), eventId,
                                   serviceId, networkId, startAt, duration (ms),
                                   name, ...; 404 for one it does not hold
  GET  /api/recording/schedules    [WebRecordingSchedule]: state, program,
                                   options, tags
  POST /api/recording/schedules    WebRecordingScheduleInput {programId,
                                   options {contentPath, ...}, tags?} -> 201
                                   and the schedule. The body is read as
                                   axum's Json extractor reads it (415 without
                                   a JSON content type, 400 for bad JSON, 422
                                   for a missing or mistyped field, in plain
                                   text), then validated (400: contentPath
                                   required when no records folder is set,
                                   relative, under the recording folder), then
                                   the programme (404), then the schedule
                                   (400: one exists, or the programme ended).
Errors of mirakc's own are error.rs's body: {"code": N, "reason": R or null,
"errors": []}.

With mode "mirakurun" it is a Mirakurun alone: the same version form, the
services and programmes, and no recording schedules (404 for those paths).

As a module: Standin(mode).start() -> its url; .posts (every POST body
received, parsed or raw), .schedules, .add_programme(...), .stop(); serve()
for another handler on 127.0.0.1. As a program: serves until interrupted or
--seconds have passed (--mode) for looking at by hand.
"""
import argparse
import copy
import json
import posixpath
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MIRAKC_VERSION = "3.4.1"
MIRAKURUN_VERSION = "3.9.0-rc.4"
NETWORK = 32736  # 0x7FE0, a terrestrial network
# (serviceId, name, physical channel): terrestrial services whose station
# codes are DFS00400 and DFS00420.
SERVICES = [(1024, "ＮＨＫ総合", "27"), (1056, "フジテレビ", "21")]


def service_item_id(network_id, service_id):
    return network_id * 100000 + service_id


def programme_id(network_id, service_id, event_id):
    return network_id * 10**10 + service_id * 10**5 + event_id


def make_service(service_id, name, channel):
    return {"id": service_item_id(NETWORK, service_id), "serviceId": service_id,
            "networkId": NETWORK, "type": 1, "logoId": -1, "remoteControlKeyId": 1,
            "name": name, "channel": {"type": "GR", "channel": channel}, "hasLogoData": False}


def make_programme(service_id, event_id, start_ms, duration_ms, name):
    return {"id": programme_id(NETWORK, service_id, event_id), "eventId": event_id,
            "serviceId": service_id, "networkId": NETWORK, "startAt": int(start_ms),
            "duration": int(duration_ms), "isFree": True, "name": name,
            "description": name + "の説明",
            "genres": [{"lv1": 2, "lv2": 0, "un1": 15, "un2": 15}],
            "video": {"type": "mpeg2", "resolution": "1080i", "streamContent": 1,
                      "componentType": 179},
            "audios": [{"componentType": 3, "componentTag": 16, "isMain": True,
                        "samplingRate": 48000, "langs": ["jpn"]}]}


def serve(handler):
    """Serves handler on 127.0.0.1 from a thread of this process:
    (server, its url, the thread)."""
    server = ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    return server, "http://127.0.0.1:%d" % server.server_address[1], thread


def error_body(code, reason=None):
    """error.rs's ErrorBody."""
    return {"code": code, "reason": reason, "errors": []}


class Rejected(Exception):
    """An answer other than success: status, body and its content type."""

    def __init__(self, status, body, plain=False):
        super().__init__(status)
        self.status, self.body, self.plain = status, body, plain


def schedule_input(headers, raw):
    """WebRecordingScheduleInput as axum's Json extractor and serde read it;
    Rejected otherwise."""
    if headers.get("Content-Type", "").split(";")[0].strip().lower() != "application/json":
        raise Rejected(415, "Expected request with `Content-Type: application/json`", True)
    try:
        body = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        raise Rejected(400, "Failed to parse the request body as JSON: %s" % error, True)

    def data_error(text):
        raise Rejected(422, "Failed to deserialize the JSON body into the target type: " + text,
                       True)

    if not isinstance(body, dict):
        data_error("invalid type: expected struct WebRecordingScheduleInput")
    if "programId" not in body:
        data_error("missing field `programId`")
    pid = body["programId"]
    if isinstance(pid, bool) or not isinstance(pid, int) or not 0 <= pid < 2**64:
        data_error("programId: invalid type or value: %r, expected u64" % (pid,))
    if "options" not in body:
        data_error("missing field `options`")
    options = body["options"]
    if not isinstance(options, dict):
        data_error("options: invalid type, expected struct RecordingOptions")
    content_path = options.get("contentPath")
    if content_path is not None and not isinstance(content_path, str):
        data_error("options.contentPath: invalid type, expected a path")
    priority = options.get("priority", 0)
    if isinstance(priority, bool) or not isinstance(priority, int):
        data_error("options.priority: invalid type, expected i32")
    tags = body.get("tags", [])
    if not isinstance(tags, list) or not all(isinstance(t, str) for t in tags):
        data_error("tags: invalid type, expected a sequence of strings")
    # WebRecordingScheduleInput::validate, with no records folder configured.
    if content_path is None:
        raise Rejected(400, error_body(400, "contentPath is required"))
    if posixpath.isabs(content_path):
        raise Rejected(400, error_body(400, "Must be a relative path"))
    basedir = "/var/lib/mirakc/recording"
    if not posixpath.normpath(posixpath.join(basedir, content_path)).startswith(basedir + "/"):
        raise Rejected(400, error_body(400, "Must be under config.recording.basedir"))
    return pid, {"contentPath": content_path, "priority": priority,
                 "preFilters": options.get("preFilters", []),
                 "postFilters": options.get("postFilters", [])}, sorted(set(tags))


class Standin:
    def __init__(self, mode="mirakc", now_ms=None):
        if mode not in ("mirakc", "mirakurun"):
            raise ValueError(mode)
        self.mode = mode
        self.lock = threading.Lock()
        self.services = [make_service(*s) for s in SERVICES]
        self.programmes = {}
        self.schedules = {}  # programme id -> WebRecordingSchedule
        self.posts = []      # every POST body, parsed when it was JSON
        self.requests = []   # (method, path) of every request
        now_ms = int(time.time() * 1000) if now_ms is None else now_ms
        # Per service: hour-long programmes (event ids 2...) from the next
        # whole hour for two days, and event 1 that ended an hour ago.
        base = (now_ms // 3600000 + 1) * 3600000
        for service_id, name, _ in SERVICES:
            self.add_programme(service_id, 1, base - 3 * 3600000, 3600000, "終わった番組")
            for k in range(48):
                self.add_programme(service_id, 2 + k, base + k * 3600000, 3600000,
                                   "テスト番組%d（%s）" % (2 + k, name))
        self.server = None
        self.thread = None
        self.url = None

    def add_programme(self, service_id, event_id, start_ms, duration_ms, name):
        p = make_programme(service_id, event_id, start_ms, duration_ms, name)
        with self.lock:
            self.programmes[p["id"]] = p
        return p

    def programme(self, service_id, event_id):
        return self.programmes[programme_id(NETWORK, service_id, event_id)]

    # What each path answers: (status, body, plain text?); the body is
    # JSON-able, text, or JSON already encoded as bytes.
    def answer(self, method, path, headers, raw):
        with self.lock:
            self.requests.append((method, path))
        path = path.split("?", 1)[0]
        mirakc = self.mode == "mirakc"
        if method == "GET" and path == "/api/version":
            v = MIRAKC_VERSION if mirakc else MIRAKURUN_VERSION
            return 200, {"current": v, "latest": v}, False
        if method == "GET" and path == "/api/services":
            return 200, self.services, False
        if method == "GET" and path.startswith("/api/programs/"):
            text = path[len("/api/programs/"):]
            if not text.isdigit():
                return 400, "Invalid URL: Cannot parse `%s` to a `u64`" % text, True
            with self.lock:
                p = self.programmes.get(int(text))
            return (200, p, False) if p else (404, error_body(404), False)
        if mirakc and path == "/api/recording/schedules":
            if method == "GET":
                with self.lock:
                    return 200, list(self.schedules.values()), False
            if method == "POST":
                return self.book(headers, raw)
            return 405, "", True
        # mirakc (axum) and a Mirakurun alone answer paths they lack with 404.
        return 404, "", True

    def book(self, headers, raw):
        try:
            recorded = json.loads(raw.decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            recorded = raw
        with self.lock:
            self.posts.append(recorded)
        try:
            pid, options, tags = schedule_input(headers, raw)
        except Rejected as r:
            return r.status, r.body, r.plain
        with self.lock:
            program = self.programmes.get(pid)
            if program is None:
                return 404, error_body(404), False
            if pid in self.schedules:
                return 400, error_body(400), False  # AlreadyExists
            if program["startAt"] + program["duration"] <= time.time() * 1000:
                return 400, error_body(400), False  # ProgramEnded
            schedule = {"state": "scheduled", "program": copy.deepcopy(program),
                        "options": options, "tags": tags}
            self.schedules[pid] = schedule
            return 201, schedule, False

    def start(self):
        standin = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def handle_one(self, method):
                length = int(self.headers.get("Content-Length") or 0)
                raw = self.rfile.read(min(length, 1 << 20)) if length else b""
                status, body, plain = standin.answer(method, self.path, self.headers, raw)
                # bytes: JSON encoded already (the benchmark's canned lists).
                if isinstance(body, bytes):
                    data = body
                else:
                    data = (body if plain else json.dumps(body, ensure_ascii=False)).encode()
                self.send_response(status)
                self.send_header("Content-Type", "text/plain; charset=utf-8" if plain
                                 else "application/json")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def do_GET(self):
                self.handle_one("GET")

            def do_POST(self):
                self.handle_one("POST")

            def do_DELETE(self):
                self.handle_one("DELETE")

            def log_message(self, *args):
                pass

        self.server, self.url, self.thread = serve(Handler)
        return self.url

    def stop(self):
        if self.server is not None:
            self.server.shutdown()
            self.server.server_close()
            self.thread.join(timeout=10)
            self.server = None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mode", choices=("mirakc", "mirakurun"), default="mirakc")
    parser.add_argument("--seconds", type=float, default=600, help="serve this long at most")
    args = parser.parse_args()
    standin = Standin(args.mode)
    print("URL=" + standin.start(), flush=True)
    try:
        time.sleep(args.seconds)
    except KeyboardInterrupt:
        pass
    standin.stop()


if __name__ == "__main__":
    main()
