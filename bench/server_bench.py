#!/usr/bin/env python3
"""How long zoba takes to book on a recording server that holds 1,000
reservations and tunes 100 channels: from its start to the question, and the
whole booking (answered y at once, to its end), on a pseudo-terminal as a
user runs it, against a stand-in on 127.0.0.1.

Two servers, each serving canned answers of that size:
  EPGStation  built from its api.yml: ChannelItem x 100, Reserves pages of
              500 ReserveItems (zoba asks for 500 at a time, so two pages),
              ScheduleProgramItem for the booked programme, AddedReserve
  mirakc      tests/server_e2e/mirakc_standin.py with 100 services and
              1,000 WebRecordingSchedules in one list

Each server is also timed holding no reservation, to show what the 1,000
cost. Each booking is taken back before the next run, so every run sees the
same server. The stand-ins run in this process's threads; the timing loop only
waits on the terminal meanwhile.

Usage: server_bench.py ZOBA [RUNS]   (default 20 runs per server, after 3
untimed ones). Prints a Markdown table of the median, lowest and highest
times; exit status 1 when a run did not ask or did not book as expected.
"""
import json
import os
import pty
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from http.server import BaseHTTPRequestHandler

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "server_e2e"))
import mirakc_standin  # noqa: E402
from run_server import local, tvpid  # noqa: E402

CHANNELS = 100
RESERVATIONS = 1000
PAGE = 500
WARM_UP = 3
HOUR = 3600 * 1000
# An hour-long reservation every ten minutes: about a week of them, six on
# the air at any time (a household's tuners), so the booked programme
# overlaps six.
SPACING = 10 * 60 * 1000
BOOKED_NETWORK, BOOKED_SERVICE, BOOKED_EVENT = 32736, 1024, 4242
DESCRIPTION = "番組の説明です。" * 12
EXTENDED = "出演者：テスト太郎、テスト花子　内容：" + "番組の詳しい内容。" * 20


def channel_list():
    """(networkId, serviceId, type, name) of 100 services: 40 terrestrial on
    their own networks, 30 BS, 30 CS; the first is the booked one."""
    out = []
    for k in range(40):
        out.append((BOOKED_NETWORK - 16 * k, BOOKED_SERVICE + 8 * (k % 4), "GR", "地上%d" % k))
    for k in range(30):
        out.append((4, 101 + 10 * k, "BS", "ＢＳ%d" % k))
    for k in range(30):
        out.append((6 + k % 2, 200 + 10 * k, "CS", "ＣＳ%d" % k))
    return out


def epgstation_answers(now_ms, count):
    """The canned answers, JSON encoded: the channels, the two pages of
    reservations, the booked programme, and its window."""
    channels = channel_list()
    items = []
    for network, service, kind, name in channels:
        items.append({"id": network * 100000 + service, "serviceId": service,
                      "networkId": network, "name": name, "halfWidthName": name,
                      "remoteControlKeyId": 1, "hasLogoData": False, "channelType": kind,
                      "channel": "27", "type": 1})
    base = (now_ms // HOUR + 2) * HOUR
    reserves = []
    for i in range(count):
        network, service, _, name = channels[i % CHANNELS]
        start = base + i * SPACING
        reserves.append({
            "id": i + 1, "isSkip": False, "isConflict": False, "isOverlap": False,
            "allowEndLack": False, "isTimeSpecified": False,
            "isDeleteOriginalAfterEncode": False, "tags": [],
            "programId": network * 10**10 + service * 10**5 + 10000 + i,
            "channelId": network * 100000 + service, "startAt": start, "endAt": start + HOUR,
            "name": "予約番組%d（%s）" % (i + 1, name), "description": DESCRIPTION,
            "extended": EXTENDED, "genre1": 2, "subGenre1": 0, "videoType": "mpeg2",
            "videoResolution": "1080i", "videoStreamContent": 1, "videoComponentType": 179,
            "audioSamplingRate": 48000, "audioComponentType": 3})
    # The booked programme: at the time of the first reservations, so that
    # the question names the six it overlaps.
    programme_id = BOOKED_NETWORK * 10**10 + BOOKED_SERVICE * 10**5 + BOOKED_EVENT
    programme = {"id": programme_id, "channelId": BOOKED_NETWORK * 100000 + BOOKED_SERVICE,
                 "startAt": base, "endAt": base + HOUR, "isFree": True, "name": "ベンチ番組",
                 "description": DESCRIPTION, "extended": EXTENDED, "genre1": 2,
                 "subGenre1": 0}

    def encoded(value):
        return json.dumps(value, ensure_ascii=False).encode()

    pages = {offset: encoded({"reserves": reserves[offset:offset + PAGE],
                              "total": len(reserves)})
             for offset in range(0, count + PAGE, PAGE)}
    return {"version": encoded({"version": "2.7.3"}), "channels": encoded(items),
            "pages": pages, "programme_id": programme_id, "programme": encoded(programme),
            "window": (base, base + HOUR)}


class EPGStation:
    """EPGStation's answers to what zoba asks, canned."""

    def __init__(self, now_ms, count):
        self.count = count
        self.canned = epgstation_answers(now_ms, count)
        self.requests = []
        self.booked = 0
        standin = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def answer(self):
                length = int(self.headers.get("Content-Length") or 0)
                raw = self.rfile.read(min(length, 1 << 20)) if length else b""
                standin.requests.append((self.command, self.path))
                path, _, query = self.path.partition("?")
                c = standin.canned
                if self.command == "GET" and path == "/api/version":
                    return 200, c["version"]
                if self.command == "GET" and path == "/api/channels":
                    return 200, c["channels"]
                if self.command == "GET" and path == "/api/reserves":
                    args = dict(p.partition("=")[::2] for p in query.split("&"))
                    if args.get("limit") != str(PAGE) or args.get("type") != "all":
                        return 400, b'{"status":400,"errors":"unexpected query"}'
                    page = c["pages"].get(int(args.get("offset", "0")))
                    return (200, page) if page else (400, b'{"status":400}')
                if self.command == "GET" and path == "/api/schedules/detail/%d" % c["programme_id"]:
                    return 200, c["programme"]
                if self.command == "POST" and path == "/api/reserves":
                    body = json.loads(raw)
                    if body.get("programId") != c["programme_id"] or "allowEndLack" not in body:
                        return 500, b'{"code":500,"message":"Internal Server Error",' \
                                    b'"errors":"ProgramIsNotFound"}'
                    standin.booked += 1
                    return 201, b'{"reserveId":%d}' % (count + standin.booked)
                return 404, b'{"code":404,"message":"Not Found"}'

            def handle_one(self):
                status, data = self.answer()
                self.send_response(status)
                self.send_header("Content-Type", "application/json; charset=utf-8")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            do_GET = do_POST = handle_one

            def log_message(self, *args):
                pass

        self.server, self.url, self.thread = mirakc_standin.serve(Handler)

    def window(self):
        return self.canned["window"]

    def event(self):
        return BOOKED_EVENT

    def reset(self):
        self.requests = []

    def check_run(self, text):
        """What one run must have asked and shown."""
        gets = [p for m, p in self.requests if m == "GET" and p.startswith("/api/reserves")]
        pages = max(1, -(-self.count // PAGE))
        if len(gets) != pages:
            return "reservations asked %d times, not %d: %r" % (len(gets), pages, gets)
        if "録画サーバー: EPGStation 2.7.3" not in text or \
                ("※ 重なる予約: " in text) != (self.count > 0):
            return "the question: %r" % text
        if "EPGStation 予約 " not in text or "登録しました" not in text:
            return "not booked: %r" % text
        return None

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class Mirakc(mirakc_standin.Standin):
    """The mirakc stand-in with 100 services and 1,000 schedules, the list
    encoded once; a booking is taken back before the next run."""

    def __init__(self, now_ms, count):
        super().__init__("mirakc", now_ms)
        self.count = count
        self.services = []
        for network, service, kind, name in channel_list():
            s = mirakc_standin.make_service(service, name, "27")
            s.update({"id": network * 100000 + service, "networkId": network,
                      "channel": {"type": kind, "channel": "27"}})
            self.services.append(s)
        base = (now_ms // HOUR + 2) * HOUR
        channels = channel_list()
        for i in range(count):
            network, service, _, name = channels[i % CHANNELS]
            start = base + i * SPACING
            p = mirakc_standin.make_programme(service, 10000 + i, start, HOUR,
                                              "予約番組%d（%s）" % (i + 1, name))
            p.update({"id": network * 10**10 + service * 10**5 + 10000 + i, "networkId": network,
                      "description": DESCRIPTION, "extended": {"番組内容": EXTENDED}})
            self.schedules[p["id"]] = {"state": "scheduled", "program": p,
                                       "options": {"contentPath": "%d.m2ts" % p["id"],
                                                   "priority": 0, "preFilters": [],
                                                   "postFilters": []},
                                       "tags": ["manual"]}
        self.booked = self.add_programme(BOOKED_SERVICE, BOOKED_EVENT, base, HOUR, "ベンチ番組")
        self.listed = json.dumps(list(self.schedules.values()), ensure_ascii=False).encode()
        self.start()

    def answer(self, method, path, headers, raw):
        if method == "GET" and path == "/api/recording/schedules":
            with self.lock:
                self.requests.append((method, path))
            return 200, self.listed, False
        return super().answer(method, path, headers, raw)

    def window(self):
        return self.booked["startAt"], self.booked["startAt"] + HOUR

    def event(self):
        return BOOKED_EVENT

    def reset(self):
        with self.lock:
            self.schedules.pop(self.booked["id"], None)
            self.requests = []

    def check_run(self, text):
        listed = self.requests.count(("GET", "/api/recording/schedules"))
        if listed < 1:
            return "the schedules were not asked for: %r" % self.requests
        if self.booked["id"] not in self.schedules:
            return "not held: %r" % text
        if "録画サーバー: mirakc " not in text or \
                ("※ 重なる予約: " in text) != (self.count > 0):
            return "the question: %r" % text
        if "mirakc 予約 %d" % self.booked["id"] not in text:
            return "not booked: %r" % text
        return None


def one_run(zoba, data_path, folder):
    """(seconds to the question, seconds to the end, terminal text)."""
    master, slave = pty.openpty()
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", XDG_RUNTIME_DIR=folder)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    began = time.monotonic()
    process = subprocess.Popen([zoba, data_path], stdin=slave, stdout=slave, stderr=slave,
                               env=env, start_new_session=True)
    os.close(slave)
    out, asked = b"", None
    deadline = began + 30
    try:
        while time.monotonic() < deadline:
            if not select.select([master], [], [], 1)[0]:
                continue
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            out += chunk
            if asked is None and b"[y/N] " in out:
                asked = time.monotonic() - began
                os.write(master, b"y\n")
        status = process.wait(timeout=30)
        ended = time.monotonic() - began
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        os.close(master)
    if status != 0:
        raise RuntimeError("zoba ended with %d: %r" % (status, out))
    return asked, ended, out.decode("utf-8", "replace")


def measure(zoba, server, runs):
    folder = tempfile.mkdtemp(prefix="zoba_server_bench_")
    try:
        tool = os.path.join(folder, "zoba")
        shutil.copy(zoba, tool)
        with open(os.path.join(folder, "zoba.ini"), "w", encoding="utf-8") as f:
            f.write("[SERVER]\nurl=%s\n" % server.url)
        start, end = server.window()
        data_path = os.path.join(folder, "programme.tvpid")
        with open(data_path, "wb") as f:
            f.write(tvpid("DFS%05X" % BOOKED_SERVICE, local(start), local(end), "ベンチ番組",
                          server.event()))
        asked_times, whole_times = [], []
        for n in range(WARM_UP + runs):
            server.reset()
            asked, ended, text = one_run(tool, data_path, folder)
            if asked is None:
                raise RuntimeError("zoba did not ask: %r" % text)
            wrong = server.check_run(text)
            if wrong:
                raise RuntimeError(wrong)
            if n >= WARM_UP:
                asked_times.append(asked)
                whole_times.append(ended)
        return asked_times, whole_times
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def requests_of(requests):
    """The requests of a run, counted by method and path without query:
    "GET /api/version, 2x GET /api/reserves, ..."."""
    counted = {}
    for method, path in requests:
        key = "%s %s" % (method, path.split("?")[0])
        counted[key] = counted.get(key, 0) + 1
    return ", ".join(("%dx " % n if n > 1 else "") + key for key, n in counted.items())


def ms(seconds):
    return "%.1f ms" % (seconds * 1000)


def main():
    zoba = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    now_ms = int(time.time() * 1000)
    print("| server (%d channels) | reservations | to the question: median (low-high) |"
          " whole booking: median (low-high) | requests a run |" % CHANNELS)
    print("|---|---:|---:|---:|---|")
    failed = False
    for label, make, count in (("EPGStation stand-in", EPGStation, 0),
                               ("EPGStation stand-in", EPGStation, RESERVATIONS),
                               ("mirakc stand-in", Mirakc, 0),
                               ("mirakc stand-in", Mirakc, RESERVATIONS)):
        server = make(now_ms, count)
        try:
            asked, whole = measure(zoba, server, runs)
        except RuntimeError as error:
            print("| %s | %d | failed: %s | | |" % (label, count, str(error)[:400]))
            failed = True
            continue
        finally:
            server.stop()
        print("| %s | %d | %s (%s-%s) | %s (%s-%s) | %s |" % (
            label, count, ms(statistics.median(asked)), ms(min(asked)), ms(max(asked)),
            ms(statistics.median(whole)), ms(min(whole)), ms(max(whole)),
            requests_of(server.requests)))
    print("Runs: %d a server after %d untimed; zoba on a pseudo-terminal answered y as soon "
          "as it asks; goals: the question within 300 ms, the whole booking within 500 ms"
          % (runs, WARM_UP))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
