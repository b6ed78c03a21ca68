#!/usr/bin/env python3
"""End-to-end tests of REC, the recorder launcher, on Linux: the real REC in
a folder of its own with its [REC] settings, recording short programmes that
start within the next minute or two, side by side: with a fake recorder that
logs its arguments and writes bytes (a whole recording, a busy tuner, a
recorder that exits early, a late start, a missed programme), with the real
curl against a local stand-in of a tuner server, and once the whole chain
zoba -> AT -> atd -> REC -> recorder -> REC's log line.

Usage: run_rec.py REC ZOBA AT. Exit status 0 when every case passed, 1 when
one failed, 77 (skipped) when curl or at/atd cannot be used here (the other
cases still run).
"""
import datetime
import errno
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_e2e  # noqa: E402  (its zoba and at helpers)

SKIP = 77
TITLE = "表示|ポスト/50%"  # 表 and ポ end in \ and | in Shift_JIS
FILE_TITLE = "表示_ポスト_50％"
FAKE_RECORDER = """#!/usr/bin/env python3
import json, os, select, stat, sys, time
here = os.path.dirname(os.path.abspath(__file__))
mode, seconds, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(os.path.join(here, "recorder.log"), "a") as f:
    f.write(json.dumps(sys.argv[1:]) + "\\n")
with open(os.path.join(here, "recorder.log")) as f:
    calls = len(f.readlines())
# What REC handed over: the entry at the name as the recorder finds it.
try:
    info = os.lstat(path)
    state = "link" if stat.S_ISLNK(info.st_mode) else "file %d" % info.st_size
except FileNotFoundError:
    state = "absent"
folder_mode = oct(os.stat(os.path.dirname(path)).st_mode & 0o7777)
with open(os.path.join(here, "handed.log"), "a") as f:
    f.write(json.dumps([state, path, folder_mode]) + "\\n")
if mode == "busy" and calls == 1:
    sys.exit(1)
if mode == "tvtest":
    # As TVTest does with /recfile: a name that exists is not written to,
    # the next numbered one is.
    if os.path.lexists(path):
        stem, ext = os.path.splitext(path)
        path = stem + "-2" + ext
    # Another program takes the name the recording is meant to end under.
    if os.path.exists(os.path.join(here, "plant")):
        outside = os.path.join(os.path.dirname(os.path.dirname(path)), os.path.basename(path))
        with open(outside, "x") as f:
            f.write("OTHER")
mark_path = os.path.join(here, "mark")
mark = open(mark_path, "rb").read() if os.path.exists(mark_path) else b"\\0"
run_for = 10 if mode == "early" and calls == 1 else seconds
end = time.time() + (10 ** 6 if mode in ("forever", "enter") else run_for)
with open(path, "ab") as out:
    while time.time() < end:
        out.write(mark * 1000)
        out.flush()
        wait = min(1, max(0, end - time.time()))
        if mode == "enter" and select.select([sys.stdin], [], [], wait)[0]:
            sys.exit(0 if sys.stdin.readline() == "\\n" else 5)
        time.sleep(0 if mode == "enter" else wait)
"""


def check(condition, what):
    if not condition:
        raise AssertionError(what)


class Folder:
    """REC in a fresh folder with a zoba.ini holding [REC]; all of them are
    removed when every case passed, kept otherwise."""
    made = []

    def __init__(self, rec, command, extra="", videos="videos", encoding="cp932", setting=None):
        self.path = tempfile.mkdtemp(prefix="zoba_rec_")
        Folder.made.append(self.path)
        self.rec = os.path.join(self.path, "REC")
        shutil.copy(rec, self.rec)
        self.recorder = os.path.join(self.path, "fake_rec")
        with open(self.recorder, "w") as f:
            f.write(FAKE_RECORDER)
        os.chmod(self.recorder, 0o755)
        self.videos = os.path.join(self.path, videos)
        text = "[REC]\r\ncommand=%s\r\nfolder=%s\r\n%s" % (
            command, self.videos if setting is None else setting, extra)
        with open(os.path.join(self.path, "zoba.ini"), "wb") as f:
            f.write(text.encode(encoding))

    def start(self, *words, env=None):
        # A copy made while another case's thread forks can be held open for
        # writing by that child until it execs: starting it then fails with
        # "text file busy", and a moment later it starts. REC runs in its own
        # folder, where a relative folder= would land.
        for attempt in range(50):
            try:
                return subprocess.Popen([self.rec] + list(words), cwd=self.path, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            except OSError as error:
                if error.errno != errno.ETXTBSY or attempt == 49:
                    raise
                time.sleep(0.1)

    def run(self, *words, env=None):
        process = self.start(*words, env=env)
        out, err = process.communicate(timeout=400)
        return subprocess.CompletedProcess(process.args, process.returncode, out, err)

    def log(self):
        with open(os.path.join(self.path, "REC.log"), encoding="utf-8") as f:
            return f.read().splitlines()

    def recorder_calls(self):
        path = os.path.join(self.path, "recorder.log")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return [json.loads(line) for line in f]

    def recordings(self):
        return {n: os.path.getsize(os.path.join(self.videos, n)) for n in os.listdir(self.videos)}

    def handed(self):
        """What each start of the recorder found at the name it was given:
        [state, path, its folder's mode]."""
        with open(os.path.join(self.path, "handed.log")) as f:
            return [json.loads(line) for line in f]


def fields(start, end, title=TITLE, number="Y0001", channel="27"):
    return [number, channel, "%s-%s" % (start.strftime("%H:%M"), end.strftime("%H:%M")),
            "%04d" % start.year, "%02d" % start.month, "%02d" % start.day, title]


def file_name(start, suffix="", channel="27"):
    return "%s_%s_%s%s.ts" % (start.strftime("%Y%m%d-%H%M"), channel, FILE_TITLE, suffix)


def verdicts(log):
    return [line.split(" ")[5] for line in log]


def case_busy_tuner_is_retried(rec, start, end):
    """The first start fails at once: REC starts it again 5 s later with a
    new {seconds} and file name, still in time for the whole programme."""
    folder = Folder(rec, "fake_rec busy {seconds} {file}")
    result = folder.run(*fields(start, end))
    calls = folder.recorder_calls()
    check(result.returncode == 0, "recorded: %r %r" % (result, folder.log()))
    check(verdicts(folder.log()) == ["failed", "recorded"], "the log: %r" % folder.log())
    check([c[2] for c in calls] == [os.path.join(folder.videos, file_name(start)),
                                    os.path.join(folder.videos, file_name(start, "-2"))],
          "a new name for the second attempt: %r" % calls)
    seconds = [int(c[1]) for c in calls]
    check(seconds[0] - seconds[1] in range(4, 8), "a new {seconds}: %r" % seconds)
    sizes = folder.recordings()
    check(list(sizes) == [file_name(start, "-2")] and
          1000 * (seconds[1] - 3) <= sizes[file_name(start, "-2")] <= 1000 * (seconds[1] + 1),
          "the bytes: %r" % sizes)
    return folder.log()


def case_early_exit_with_status_0(rec, start, end):
    """A recorder that exits 0 after 10 s is judged by time: partial, and
    started again for what is left."""
    folder = Folder(rec, "fake_rec early {seconds} {file}", "stop=terminate\r\n")
    result = folder.run(*fields(start, end))
    log = folder.log()
    check(result.returncode == 1, "partial: %r %r" % (result, log))
    check(verdicts(log) == ["partial", "partial"] and ": exit 0, " in log[0],
          "the log: %r" % log)
    check(set(folder.recordings()) == {file_name(start), file_name(start, "-2")},
          "two files: %r" % folder.recordings())
    return log


def case_late_start_records_what_is_left(rec, start, end):
    """Started after the programme began, with the recorder that must be
    ended (stop=terminate): it records from now to the end."""
    begun = start - datetime.timedelta(minutes=2)
    folder = Folder(rec, "fake_rec forever {seconds} {file}", "stop=terminate\r\n")
    started = time.time()
    result = folder.run(*fields(begun, end))
    log = folder.log()
    check(result.returncode == 1 and verdicts(log) == ["partial"], "partial: %r %r" % (result, log))
    seconds = int(folder.recorder_calls()[0][1])
    check(abs(started + seconds - end.timestamp()) <= 2, "{seconds} to the end: %d" % seconds)
    check(": signal 15, " in log[0], "ended by REC at the end: %r" % log)
    return log


def case_line_end_stops_a_recorder(rec, start, end):
    """stop=stdin: a recorder with no duration stops on the line end REC
    writes to its standard input at the end. The settings file is UTF-8
    here, its folder one with a character Shift_JIS lacks."""
    folder = Folder(rec, "fake_rec enter {seconds} {file}", "stop=stdin\r\n", "Vidéos", "utf-8")
    result = folder.run(*fields(start, end))
    log = folder.log()
    check(result.returncode == 0 and verdicts(log) == ["recorded"], "%r %r" % (result, log))
    check(": exit 0, " in log[0] and " to %s:" % end.strftime("%H:%M:00") in log[0],
          "stopped by the line end at the end: %r" % log)
    check(list(folder.recordings()) == [file_name(start)], "in Vidéos: %r" % log)
    return log


WRAPPER = """#!/bin/sh
# Hands the recording to a writer in the background that ignores SIGTERM
# and outlives it, says so on standard error, and exits at once.
here=$(dirname "$0")
nohup sh -c 'trap "" TERM; while :; do printf x >> "$1"; sleep 1; done' writer "$2" \\
    >/dev/null 2>&1 &
echo $! >> "$here/writers"
echo "wrapper: writer $! took over" >&2
echo "wrapper: line 2 of attempt" >&2
sleep 1  # the writer has set its trap and written by then
exit 3
"""


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return True


def case_background_writers_end_with_each_attempt(rec, start, end):
    """A wrapper that leaves a writer running (nohup, SIGTERM ignored) and
    exits: REC ends the writer before it starts the next attempt and after
    the last, and logs the wrapper's standard error."""
    folder = Folder(rec, "wrapper {seconds} {file}")
    wrapper = os.path.join(folder.path, "wrapper")
    with open(wrapper, "w") as f:
        f.write(WRAPPER)
    os.chmod(wrapper, 0o755)
    result = folder.run(*fields(start, end))
    log = folder.log()
    with open(os.path.join(folder.path, "writers")) as f:
        writers = [int(line) for line in f]
    check(len(writers) == 4 and verdicts(log) == ["partial"] * 4, "four attempts: %r" % log)
    check(not [pid for pid in writers if alive(pid)], "no writer left: %r" % writers)
    check(all(", errors \"wrapper: writer %d took over\\nwrapper: line 2 of attempt\": " % pid
              in line for pid, line in zip(writers, log)), "its errors logged: %r" % log)
    # Each writer was ended before the next attempt began: a byte a second
    # for the grace REC gives between SIGTERM and SIGKILL, never the whole
    # window's.
    rec_grace = 5
    sizes = folder.recordings()
    check(len(sizes) == 4 and max(sizes.values()) <= rec_grace + 3, "ended: %r" % sizes)
    check(all(": exit 3, " in line for line in log), "the wrapper's status: %r" % log)
    check(result.returncode == 1, "partial: %r" % result)
    return log


def case_missed(rec, start, end):
    folder = Folder(rec, "fake_rec whole {seconds} {file}")
    gone = start - datetime.timedelta(minutes=30)
    result = folder.run(*fields(gone, gone + datetime.timedelta(minutes=10)))
    check(result.returncode == 2 and folder.recorder_calls() == [], "missed: %r" % result)
    check(folder.log()[0].endswith(" missed: the programme had ended"), "%r" % folder.log())
    return folder.log()


def entries(folder):
    """The names in a folder: a file's size, "link" for a link."""
    return {n: "link" if os.path.islink(os.path.join(folder, n))
            else os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)}


def case_planted_links_are_never_followed(rec, start, end):
    """A link planted in the folder at the name REC will choose, to a file
    of someone's, and a link at the next name to a file outside the folder
    that does not exist yet: REC makes a new file of its own under the name
    after them and hands that to the recorder, which finds it there, empty.
    The file linked to is untouched and nothing is made outside."""
    folder = Folder(rec, "fake_rec whole {seconds} {file}")
    os.makedirs(folder.videos)
    os.chmod(folder.videos, 0o755)
    victim = os.path.join(folder.path, "victim.txt")
    with open(victim, "w") as f:
        f.write("IMPORTANT DATA")
    outside = os.path.join(folder.path, "outside.ts")
    os.symlink(victim, os.path.join(folder.videos, file_name(start)))
    os.symlink(outside, os.path.join(folder.videos, file_name(start, "-2")))
    result = folder.run(*fields(start, end))
    log = folder.log()
    check(result.returncode == 0 and verdicts(log) == ["recorded"], "%r %r" % (result, log))
    with open(victim) as f:
        check(f.read() == "IMPORTANT DATA", "the file linked to is untouched")
    check(not os.path.lexists(outside), "nothing made outside the folder")
    recording = os.path.join(folder.videos, file_name(start, "-3"))
    check(folder.handed() == [["file 0", recording, "0o755"]],
          "a new empty file of REC's handed over: %r" % folder.handed())
    found = entries(folder.videos)
    check(found[file_name(start)] == "link" and found[file_name(start, "-2")] == "link"
          and found[file_name(start, "-3")] > 100000, "the recording beside the links: %r" % found)
    return log


def case_two_recs_for_one_programme(rec, start, end):
    """The same programme booked twice: two RECs started together, writing
    into one folder, each get a file of their own, each holding only its own
    recorder's bytes."""
    first = Folder(rec, "fake_rec whole {seconds} {file}")
    second = Folder(rec, "fake_rec whole {seconds} {file}", videos=first.videos)
    for folder, mark in ((first, b"A"), (second, b"B")):
        with open(os.path.join(folder.path, "mark"), "wb") as f:
            f.write(mark)
    processes = [folder.start(*fields(start, end)) for folder in (first, second)]
    for process in processes:
        process.communicate(timeout=400)
    logs = first.log() + second.log()
    check([p.returncode for p in processes] == [0, 0] and verdicts(logs) == ["recorded"] * 2,
          "both recorded: %r" % logs)
    given = [first.handed()[0][1], second.handed()[0][1]]
    check(sorted(given) == sorted(os.path.join(first.videos, file_name(start, suffix))
                                  for suffix in ("", "-2")), "two names: %r" % given)
    for path, mark in zip(given, (b"A", b"B")):
        with open(path, "rb") as f:
            data = f.read()
        check(len(data) > 100000 and data == mark * len(data),
              "%s holds only %r: %d bytes, %r" % (path, mark, len(data), set(data)))
    check(sorted(os.listdir(first.videos)) == sorted(os.path.basename(p) for p in given),
          "nothing else: %r" % os.listdir(first.videos))
    return logs


def case_folder_in_the_home_folder(rec, start, end):
    """folder=~/... is in the home folder ($HOME), not a folder named ~
    where REC happens to run."""
    home = tempfile.mkdtemp(prefix="zoba_home_")
    Folder.made.append(home)
    folder = Folder(rec, "fake_rec whole {seconds} {file}", setting="~/録画", encoding="utf-8")
    result = folder.run(*fields(start, end), env=dict(os.environ, HOME=home))
    log = folder.log()
    check(result.returncode == 0 and verdicts(log) == ["recorded"], "%r %r" % (result, log))
    check(os.listdir(os.path.join(home, "録画")) == [file_name(start)],
          "in the home folder: %r" % log)
    check(not os.path.exists(os.path.join(folder.path, "~")), "no folder named ~")
    return log


def case_fresh_for_a_recorder_that_renames(rec, start, end):
    """file=fresh, for a recorder that, as TVTest, writes elsewhere when its
    file exists: it is given a name no file holds, in a folder REC made for
    the attempt (mode 0700). Another program takes the planned name while it
    records: the recording is moved out under the next name, never over it,
    and REC's folder is gone."""
    folder = Folder(rec, "fake_rec tvtest {seconds} {file}", "file=fresh\r\n")
    os.makedirs(folder.videos)
    os.chmod(folder.videos, 0o755)
    open(os.path.join(folder.path, "plant"), "w").close()
    result = folder.run(*fields(start, end))
    log = folder.log()
    check(result.returncode == 0 and verdicts(log) == ["recorded"], "%r %r" % (result, log))
    kept = os.path.join(folder.videos, file_name(start, "-2"))
    check(": exit 0, kept as %s, " % kept in log[0], "where it was kept: %r" % log)
    [(state, given, mode)] = folder.handed()
    check(state == "absent" and mode == "0o700" and os.path.basename(given) == file_name(start)
          and os.path.basename(os.path.dirname(given)).startswith(".REC-")
          and os.path.dirname(os.path.dirname(given)) == folder.videos,
          "a free name in REC's own folder: %r" % folder.handed())
    found = entries(folder.videos)
    check(found[file_name(start)] == 5 and found[file_name(start, "-2")] > 100000
          and len(found) == 2, "the other program's file and the recording: %r" % found)
    return log


def case_check_refuses_unsafe_folders(rec, start, end):
    """--check, and a run, refuse a folder that is not a full path and one
    whose entries other users may change; file= is checked too."""
    reasons = []
    relative = Folder(rec, "fake_rec whole {seconds} {file}", setting="Videos")
    result = relative.run("--check", *fields(start, end))
    reasons.append(result.stderr.decode())
    check((result.returncode, result.stderr) == (
        9, b"REC: folder=Videos is not a full path (one from / or ~/) in [REC]\n"),
        "relative: %r" % result)
    result = relative.run(*fields(start, end))
    check(result.returncode == 9 and " failed: folder=Videos is not a full path" in
          relative.log()[0], "a run refuses it too: %r %r" % (result, relative.log()))
    check(not os.path.exists(os.path.join(relative.path, "Videos")), "no folder made")
    shared = Folder(rec, "fake_rec whole {seconds} {file}")
    os.makedirs(shared.videos)
    os.chmod(shared.videos, 0o777)
    result = shared.run("--check", *fields(start, end))
    reasons.append(result.stderr.decode())
    check(result.returncode == 9 and (b"REC: other users may rename or remove what is in %s "
                                      % shared.videos.encode()) in result.stderr,
          "writable by all: %r" % result)
    os.chmod(shared.videos, 0o1777)
    result = shared.run("--check", *fields(start, end))
    check((result.returncode, result.stderr) == (0, b""), "with the sticky bit: %r" % result)
    bogus = Folder(rec, "fake_rec whole {seconds} {file}", "file=new\r\n")
    result = bogus.run("--check", *fields(start, end))
    reasons.append(result.stderr.decode())
    check(result.returncode == 9 and b"REC: file=new is not made or fresh" in result.stderr,
          "file=: %r" % result)
    return [r.strip() for r in reasons]


class Stream(http.server.BaseHTTPRequestHandler):
    """A tuner server's stream: 4 KB every 0.1 s until the client leaves."""
    requests = []

    def do_GET(self):
        Stream.requests.append((self.path, self.headers.get("X-Mirakurun-Priority")))
        self.send_response(200)
        self.send_header("Content-Type", "video/MP2T")
        self.end_headers()
        try:
            while True:
                self.wfile.write(b"G" * 4096)
                time.sleep(0.1)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, *args):
        pass


def case_curl_against_a_tuner_server(rec, start, end):
    """The real curl with the Mirakurun line: its status 28 at --max-time is
    the normal end, and the recording is judged by time and bytes."""
    if shutil.which("curl") is None:
        return "skip: curl is not installed"
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Stream)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        command = ('curl -sS --fail --max-time {seconds} -H "X-Mirakurun-Priority: 2" -o {file} '
                   "http://127.0.0.1:%d/api/channels/{type}/{channel}/stream?decode=1"
                   % server.server_address[1])
        folder = Folder(rec, command)
        result = folder.run(*fields(start, end, channel="BS15_0"))
        log = folder.log()
        check(result.returncode == 0 and verdicts(log) == ["recorded"], "%r %r" % (result, log))
        check(": exit 28, " in log[0], "curl's normal end: %r" % log)
        check(Stream.requests == [("/api/channels/BS/BS15_0/stream?decode=1", "2")],
              "the request: %r" % Stream.requests)
        size = folder.recordings()[file_name(start, channel="BS15_0")]
        check(size > 4096 * 10 * 100, "the stream's bytes: %d" % size)
        return log
    finally:
        server.shutdown()


def case_the_whole_chain(rec, zoba, at, start, end):
    """zoba books the programme through AT with atd; at the launch time the
    job starts REC, which starts the recorder and logs the recording."""
    reason = run_e2e.can_use_at()
    if reason is not None:
        return "skip: " + reason
    case = run_e2e.Case(zoba, at)
    try:
        shutil.copy(rec, os.path.join(case.folder, "REC"))
        recorder = os.path.join(case.folder, "fake_rec")
        with open(recorder, "w") as f:
            f.write(FAKE_RECORDER)
        os.chmod(recorder, 0o755)
        videos = os.path.join(case.folder, "videos")
        text = ("[ZOBA]\r\nrec_exec=%s\r\n[TVCH]\r\n%s=8\r\n[REC]\r\ncommand=fake_rec whole "
                "{seconds} {file}\r\nfolder=%s\r\n" % (os.path.join(case.folder, "REC"),
                                                       run_e2e.STATION, videos))
        with open(case.ini(), "wb") as f:
            f.write(text.encode("cp932"))
        day = start.date()
        path = case.write_iepg(run_e2e.iepg(day, start.strftime("%H:%M"), end.strftime("%H:%M"),
                                            "連鎖"))
        status, text = run_e2e.run_answering(case, path, "y")
        check(run_e2e.REGISTERED in text, "registered: %r" % text)
        launch = start - datetime.timedelta(minutes=1)
        check(launch in case.new_jobs().values(), "a job at %s: %r" % (launch, case.new_jobs()))
        log_path = os.path.join(case.folder, "REC.log")
        deadline = end.timestamp() + 60
        while time.time() < deadline and not os.path.exists(log_path):
            time.sleep(1)
        jobs_log = os.path.join(case.folder, "zoba-jobs.log")
        check(os.path.exists(log_path), "REC logged by the end; the job's log: %r" % (
            open(jobs_log, encoding="utf-8", errors="replace").read()
            if os.path.exists(jobs_log) else None))
        with open(log_path, encoding="utf-8") as f:
            log = f.read().splitlines()
        name = "%s_8_連鎖.ts" % start.strftime("%Y%m%d-%H%M")
        check(verdicts(log) == ["recorded"] and log[0].endswith(os.path.join(videos, name)),
              "the job's REC recorded: %r" % log)
        return log
    finally:
        case.clean()


def next_minute(after_seconds):
    """The first whole minute at least after_seconds from now."""
    now = datetime.datetime.now().replace(microsecond=0)
    minute = now.replace(second=0) + datetime.timedelta(minutes=1)
    while (minute - now).total_seconds() < after_seconds:
        minute += datetime.timedelta(minutes=1)
    return minute


def main():
    rec, zoba, at = (os.path.abspath(p) for p in sys.argv[1:4])
    os.environ.update(LANG="C.UTF-8", LC_ALL="C.UTF-8")
    start = next_minute(20)
    end = start + datetime.timedelta(minutes=2)
    minute = datetime.timedelta(minutes=1)
    # zoba's booking reads the reservations already queued first: room for a
    # long queue before the launch, a minute before the programme.
    launch = next_minute(40)
    cases = [(case_busy_tuner_is_retried, (rec, start, end)),
             (case_early_exit_with_status_0, (rec, start, end)),
             (case_late_start_records_what_is_left, (rec, start, end)),
             (case_line_end_stops_a_recorder, (rec, start, end)),
             (case_missed, (rec, start, end)),
             (case_planted_links_are_never_followed, (rec, start, end)),
             (case_two_recs_for_one_programme, (rec, start, end)),
             (case_folder_in_the_home_folder, (rec, start, end)),
             (case_fresh_for_a_recorder_that_renames, (rec, start, end)),
             (case_check_refuses_unsafe_folders, (rec, start, end)),
             (case_background_writers_end_with_each_attempt, (rec, start, end)),
             (case_curl_against_a_tuner_server, (rec, start, end)),
             (case_the_whole_chain, (rec, zoba, at, launch + minute, launch + 2 * minute))]
    results = {}

    def run(case, args):
        try:
            results[case.__name__] = case(*args)
        except Exception:  # noqa: BLE001  (reported below)
            results[case.__name__] = "FAIL: " + traceback.format_exc()

    threads = [threading.Thread(target=run, args=c) for c in cases]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    failed = skipped = False
    for name, result in results.items():
        print("%s:" % name)
        lines = result if isinstance(result, list) else [result]
        for line in lines:
            print("  " + line)
        failed = failed or str(lines[0]).startswith("FAIL")
        skipped = skipped or str(lines[0]).startswith("skip")
    if not failed:
        for path in Folder.made:
            shutil.rmtree(path, ignore_errors=True)
    return 1 if failed else SKIP if skipped else 0


if __name__ == "__main__":
    sys.exit(main())
