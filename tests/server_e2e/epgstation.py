#!/usr/bin/env python3
"""The real EPGStation 2.7.3 for end-to-end tests, through
scripts/epgstation.sh: start it on two free 127.0.0.1 ports, call its REST
API, stop it.

Run as a program it is a smoke test of the server itself: its version, its
channels, one programme's details, a booking by programme and one by time,
and the list of bookings.

Usage: epgstation.py [WORKDIR]. Without WORKDIR a temporary one is used and
removed (its first start runs npm ci and tsc, about 2 min); a WORKDIR kept
between runs starts in seconds. Exit status 0 when every check passed, 1
when one failed.
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "scripts", "epgstation.sh")
NHK = 3273601024          # the stand-in's ＮＨＫ総合 channel
NHK_EVENT_3 = 327360102400003


def free_ports(count):
    """count distinct ports that nothing listens on at 127.0.0.1 now."""
    sockets = [socket.socket() for _ in range(count)]
    try:
        for s in sockets:
            s.bind(("127.0.0.1", 0))
        return [s.getsockname()[1] for s in sockets]
    finally:
        for s in sockets:
            s.close()


class Server:
    """EPGStation and the Mirakurun stand-in, running in workdir."""

    def __init__(self, workdir, standin_options=()):
        self.workdir = workdir
        self.standin_options = list(standin_options)
        self.url = None
        self.mirakurun_url = None

    def start(self, timeout=1200):
        mport, eport = free_ports(2)
        out = subprocess.run(
            ["bash", SCRIPT, "start", self.workdir, str(mport), str(eport)]
            + self.standin_options,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            timeout=timeout, check=False)
        if out.returncode != 0:
            raise RuntimeError("epgstation.sh start failed (%d):\n%s%s"
                               % (out.returncode, out.stdout, out.stderr))
        env = dict(line.split("=", 1) for line in out.stdout.splitlines() if "=" in line)
        self.url = env["EPGSTATION_URL"]
        self.mirakurun_url = env["MIRAKURUN_URL"]
        return self

    def stop(self):
        subprocess.run(["bash", SCRIPT, "stop", self.workdir],
                       stdout=subprocess.DEVNULL, timeout=60, check=False)

    def request(self, method, path, body=None, timeout=10):
        """(HTTP status, decoded JSON or the raw text) of one API call."""
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.url + path, data=data, method=method)
        if data is not None:
            req.add_header("Content-Type", "application/json")
        try:
            with urllib.request.urlopen(req, timeout=timeout) as resp:
                status, raw = resp.status, resp.read()
        except urllib.error.HTTPError as err:
            status, raw = err.code, err.read()
        text = raw.decode("utf-8", "replace")
        try:
            return status, json.loads(text)
        except ValueError:
            return status, text


def smoke(server):
    """Runs the checks; returns (passed, failed)."""
    results = [0, 0]

    def check(name, ok, seen):
        results[0 if ok else 1] += 1
        print(("ok   " if ok else "FAIL ") + name + ": " + json.dumps(seen, ensure_ascii=False)[:300])

    status, body = server.request("GET", "/api/version")
    check("version", status == 200 and body == {"version": "2.7.3"}, [status, body])
    status, body = server.request("GET", "/api/channels")
    check("channels", status == 200 and [c.get("id") for c in body] == [NHK, 3273601056],
          [status, body])
    status, body = server.request("GET", "/api/schedules/detail/%d?isHalfWidth=true" % NHK_EVENT_3)
    check("programme", status == 200 and body.get("id") == NHK_EVENT_3
          and body.get("channelId") == NHK, [status, body])
    status, body = server.request("POST", "/api/reserves",
                                  {"programId": NHK_EVENT_3, "allowEndLack": False})
    check("booking by programme", status == 201 and "reserveId" in body, [status, body])
    start = (int(time.time()) // 3600 + 10) * 3600 * 1000
    status, body = server.request("POST", "/api/reserves", {
        "allowEndLack": False,
        "timeSpecifiedOption": {"name": "zoba time test", "channelId": NHK,
                                "startAt": start, "endAt": start + 30 * 60 * 1000}})
    check("booking by time", status == 201 and "reserveId" in body, [status, body])
    status, body = server.request("GET", "/api/reserves?type=all&isHalfWidth=true")
    booked = body.get("reserves", []) if isinstance(body, dict) else []
    check("bookings listed", status == 200 and body.get("total") == 2
          and {r.get("programId") for r in booked} == {NHK_EVENT_3, None}
          and any(r.get("isTimeSpecified") and r.get("startAt") == start for r in booked),
          [status, body])
    return results


def main():
    workdir = sys.argv[1] if len(sys.argv) > 1 else None
    temp = workdir is None
    if temp:
        workdir = tempfile.mkdtemp(prefix="zoba-epgs.")
    server = Server(workdir)
    try:
        began = time.monotonic()
        server.start()
        print("started in %.1f s: %s" % (time.monotonic() - began, server.url))
        passed, failed = smoke(server)
    except Exception as err:  # noqa: BLE001 -- reported as one failure
        print("FAIL start: %s" % err)
        passed, failed = 0, 1
    finally:
        server.stop()
        if temp:
            shutil.rmtree(workdir, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
